#include "plain_window.hpp"

#include "depth.hpp"

#include <X11/extensions/Xdbe.h>

#include <algorithm>
#include <array>
#include <cstddef>

namespace zorv {
namespace {

// The largest pixmap side X servers create. Segment coordinates are 16-bit, so nothing is ever
// drawn beyond it anyway.
constexpr int largest_pixmap_side = 32767;

int segment_count(const std::vector<XSegment>& list) {
  return static_cast<int>(list.size());
}

// Whether the server can double-buffer the window's visual.
bool server_double_buffers(const window_state& window) {
  int major = 0;
  int minor = 0;
  if (XdbeQueryExtension(window.display, &major, &minor) == 0) return false;
  Drawable screen = window.root;
  int screens = 1;
  XdbeScreenVisualInfo* info = XdbeGetVisualInfo(window.display, &screen, &screens);
  if (info == nullptr) return false;
  const VisualID visual = XVisualIDFromVisual(window.attributes.visual);
  bool listed = false;
  for (int i = 0; i < info->count; ++i) listed = listed || info->visinfo[i].visual == visual;
  XdbeFreeVisualInfo(info);
  return listed;
}

unsigned pixmap_side(int window_side) {
  return static_cast<unsigned>(std::clamp(window_side, 1, largest_pixmap_side));
}

Pixmap window_sized_pixmap(const window_state& window) {
  return XCreatePixmap(window.display, window.window, pixmap_side(window.geometry.window_width),
                       pixmap_side(window.geometry.window_height),
                       static_cast<unsigned>(window.attributes.depth));
}

void prepare_back_buffer(plain_window_state& plain, window_state& window) {
  int opcode = 0;
  if (server_double_buffers(window)) {
    // Every frame fills the whole buffer first, so the server may leave it as it likes.
    plain.drawable = XdbeAllocateBackBufferName(window.display, window.window, XdbeUndefined);
    plain.back_buffer = back_buffer_kind::xdbe;
    int event = 0;
    int error = 0;
    XQueryExtension(window.display, "DOUBLE-BUFFER", &opcode, &event, &error);
  } else {
    // Each copy would otherwise send an event, and the viewer reads none: they would pile up in
    // Xlib's queue for as long as it runs.
    XSetGraphicsExposures(window.display, window.gc, False);
    plain.drawable = window_sized_pixmap(window);
    plain.back_buffer = back_buffer_kind::pixmap;
  }
  watch_back_buffer(plain.drawable, opcode);
  forget_back_buffer_loss();
}

bool has_back_buffer(const plain_window_state& plain) {
  return plain.back_buffer == back_buffer_kind::xdbe ||
         plain.back_buffer == back_buffer_kind::pixmap;
}

void show_back_buffer(plain_window_state& plain, window_state& window) {
  if (plain.back_buffer == back_buffer_kind::xdbe) {
    XdbeSwapInfo swap{window.window, XdbeUndefined};
    XdbeSwapBuffers(window.display, &swap, 1);
    return;
  }
  XCopyArea(window.display, plain.drawable, window.window, window.gc, 0, 0,
            pixmap_side(window.geometry.window_width), pixmap_side(window.geometry.window_height),
            0, 0);
}

// The steps between the two ends are allocated like the line colour, falling back as it does.
unsigned long step_pixel(const window_state& window, const XColor& near, const XColor& far, int k) {
  XColor colour{};
  colour.red = blended(near.red, far.red, k);
  colour.green = blended(near.green, far.green, k);
  colour.blue = blended(near.blue, far.blue, k);
  if (XAllocColor(window.display, window.colormap, &colour) == 0) return line_fallback_pixel;
  return colour.pixel;
}

GC line_gc(const window_state& window, const viewer_settings& settings, unsigned long pixel) {
  XGCValues values{};
  values.foreground = pixel;
  values.background = window.background_pixel;
  values.line_width = settings.line_width;
  values.line_style = LineSolid;
  values.cap_style = CapButt;
  values.join_style = JoinMiter;
  return XCreateGC(
      window.display, window.window,
      GCForeground | GCBackground | GCLineWidth | GCLineStyle | GCCapStyle | GCJoinStyle, &values);
}

// The far colour is looked up as the line colour is; the ends of the blend are the two pixels
// as the server shows them, so that an unknown name blends into pixel 0.
void prepare_depth_cueing(plain_window_state& plain, const window_state& window,
                          const viewer_settings& settings) {
  const unsigned long far_pixel = colour_pixel(window, settings.depth_colour, line_fallback_pixel);
  std::array<XColor, 2> ends{};
  ends[0].pixel = window.line_pixel;
  ends[1].pixel = far_pixel;
  XQueryColors(window.display, window.colormap, ends.data(), static_cast<int>(ends.size()));
  for (int k = 0; k < depth_step_count; ++k) {
    const unsigned long pixel = k == 0                 ? window.line_pixel
                                : k == last_depth_step ? far_pixel
                                                       : step_pixel(window, ends[0], ends[1], k);
    plain.depth_gcs.push_back(line_gc(window, settings, pixel));
  }
}

// A channel of 8 bits as a true-colour pixel's field: its 16-bit X value cut to the mask's bits.
unsigned long true_colour_field(std::uint8_t channel, unsigned long mask) {
  if (mask == 0) return 0;
  const int shift = __builtin_ctzl(mask);
  const int bits = __builtin_popcountl(mask);
  const unsigned long wide = channel * 257ul;
  const unsigned long field = bits >= 16 ? wide << (bits - 16) : wide >> (16 - bits);
  return (field << shift) & mask;
}

long squared_distance(rgb_colour a, rgb_colour b) {
  const long red = a.red - b.red;
  const long green = a.green - b.green;
  const long blue = a.blue - b.blue;
  return red * red + green * green + blue * blue;
}

// A GC a colour makes each group one request: changing one GC's foreground would add a request
// and the server's check of the changed GC to every group. Beyond this many groups (a few MB of
// the server's memory) the rest share the window's GC.
constexpr std::size_t most_group_gcs = std::size_t{1} << 16;

// Each group's segments in one request, drawn with its own GC or the window's set to its pixel.
void draw_by_colour(plain_window_state& plain, window_state& window, frame_lists& lists) {
  const colour_groups& groups = lists.groups;
  gather_by_colour(groups, lists.segments, lists.by_colour);
  const std::size_t group_count = std::min(plain.group_pixels.size(), groups.starts.size() - 1);
  bool foreground_changed = false;
  for (std::size_t k = 0; k < group_count; ++k) {
    const std::size_t count = groups.starts[k + 1] - groups.starts[k];
    if (count == 0) continue;
    GC gc = window.gc;
    if (k < plain.group_gcs.size()) {
      gc = plain.group_gcs[k];
    } else {
      XSetForeground(window.display, window.gc, plain.group_pixels[k]);
      foreground_changed = true;
    }
    XDrawSegments(window.display, plain.drawable, gc, lists.by_colour.data() + groups.starts[k],
                  static_cast<int>(count));
  }
  if (foreground_changed) XSetForeground(window.display, window.gc, window.line_pixel);
}

// Far steps first, so that nearer lines are drawn over farther ones.
void draw_by_depth(plain_window_state& plain, window_state& window, frame_lists& lists,
                   const object_record& object) {
  const depth_runs starts = group_by_depth(lists.segments, object, lists.by_depth, lists.steps);
  for (int k = last_depth_step; k >= 0; --k) {
    const std::size_t count = starts[k + 1] - starts[k];
    if (count == 0) continue;
    XDrawSegments(window.display, plain.drawable, plain.depth_gcs[static_cast<std::size_t>(k)],
                  lists.by_depth.data() + starts[k], static_cast<int>(count));
  }
}

void erase_previous(plain_window_state& plain, window_state& window, frame_lists& lists,
                    bool clear_each_frame) {
  // A back buffer is cleared instead: clearing the window would show an empty one.
  if (has_back_buffer(plain)) {
    fill_with_background(window, plain.drawable);
    return;
  }
  // Without its buffer the previous frame is not kept for erasing.
  if (clear_each_frame || plain.back_buffer == back_buffer_kind::lost) {
    clear_window(window);
    return;
  }
  XSetForeground(window.display, window.gc, window.background_pixel);
  XDrawSegments(window.display, plain.drawable, window.gc, lists.erased.data(),
                segment_count(lists.erased));
  XSetForeground(window.display, window.gc, window.line_pixel);
}

void draw_current(plain_window_state& plain, window_state& window, frame_lists& lists,
                  const object_record& object, bool clear_each_frame) {
  // Only erasing by redrawing needs the frame's segments again; a back buffer is cleared whole.
  if (plain.back_buffer == back_buffer_kind::none && !clear_each_frame && !lists.segments.empty())
    std::copy(lists.segments.begin(), lists.segments.end(), lists.erased.begin());
  if (!plain.depth_gcs.empty())
    draw_by_depth(plain, window, lists, object);
  else if (!plain.group_pixels.empty())
    draw_by_colour(plain, window, lists);
  else
    XDrawSegments(window.display, plain.drawable, window.gc, lists.segments.data(),
                  segment_count(lists.segments));
  if (has_back_buffer(plain)) show_back_buffer(plain, window);
}

} // namespace

void prepare_plain_window(plain_window_state& plain, window_state& window,
                          const viewer_settings& settings,
                          std::span<const rgb_colour> file_colours) {
  plain.drawable = window.window;
  plain.back_buffer = back_buffer_kind::none;
  if (settings.back_buffer) prepare_back_buffer(plain, window);
  if (settings.depth_cueing) prepare_depth_cueing(plain, window, settings);
  if (!file_colours.empty()) {
    plain.group_pixels = colour_pixels(window, file_colours);
    plain.group_pixels.push_back(window.line_pixel);
    const std::size_t gcs = std::min(plain.group_pixels.size(), most_group_gcs);
    for (std::size_t k = 0; k < gcs; ++k)
      plain.group_gcs.push_back(line_gc(window, settings, plain.group_pixels[k]));
  }
}

std::vector<unsigned long> colour_pixels(const window_state& window,
                                         std::span<const rgb_colour> colours) {
  std::vector<unsigned long> pixels;
  pixels.reserve(colours.size());
  const Visual* visual = window.attributes.visual;
  if (visual->c_class == TrueColor) {
    for (const rgb_colour& c : colours)
      pixels.push_back(true_colour_field(c.red, visual->red_mask) |
                       true_colour_field(c.green, visual->green_mask) |
                       true_colour_field(c.blue, visual->blue_mask));
    return pixels;
  }
  for (const rgb_colour& c : colours) {
    XColor colour{};
    colour.red = static_cast<unsigned short>(c.red * 257);
    colour.green = static_cast<unsigned short>(c.green * 257);
    colour.blue = static_cast<unsigned short>(c.blue * 257);
    colour.flags = DoRed | DoGreen | DoBlue;
    if (XAllocColor(window.display, window.colormap, &colour) == 0) break;
    pixels.push_back(colour.pixel);
  }
  // From the first that could not be allocated, each colour takes the pixel of the nearest of
  // those allocated before it, or the line colour's where none was.
  const std::size_t allocated = pixels.size();
  for (std::size_t i = allocated; i < colours.size(); ++i) {
    if (allocated == 0) {
      pixels.push_back(window.line_pixel);
      continue;
    }
    std::size_t best = 0;
    for (std::size_t a = 1; a < allocated; ++a)
      if (squared_distance(colours[a], colours[i]) < squared_distance(colours[best], colours[i]))
        best = a;
    pixels.push_back(pixels[best]);
  }
  return pixels;
}

void release_plain_window(plain_window_state& plain, window_state& window) {
  if (window.display == nullptr) return;
  for (GC gc : plain.depth_gcs) XFreeGC(window.display, gc);
  plain.depth_gcs.clear();
  for (GC gc : plain.group_gcs) XFreeGC(window.display, gc);
  plain.group_gcs.clear();
}

// The server refused the buffer (it could not make one the new size): draw straight into the
// window, cleared each frame, until the next resize asks for a buffer again. The lost one is not
// freed, since the server holds nothing under its name.
void check_back_buffer(plain_window_state& plain, window_state& window) {
  if (!back_buffer_lost() || !has_back_buffer(plain)) return;
  plain.back_buffer = back_buffer_kind::lost;
  plain.drawable = window.window;
  forget_back_buffer_loss();
}

// A pixmap does not grow with the window as the extension's buffer does.
void follow_plain_resize(plain_window_state& plain, window_state& window) {
  if (plain.back_buffer == back_buffer_kind::pixmap) {
    XFreePixmap(window.display, plain.drawable);
    plain.drawable = window_sized_pixmap(window);
    watch_back_buffer(plain.drawable, 0);
  }
  if (plain.back_buffer == back_buffer_kind::lost) prepare_back_buffer(plain, window);
}

void show_plain_frame(plain_window_state& plain, window_state& window, frame_lists& lists,
                      const object_record& object, bool clear_each_frame) {
  erase_previous(plain, window, lists, clear_each_frame);
  draw_current(plain, window, lists, object, clear_each_frame);
}

} // namespace zorv
