// The X side of the viewer: one window on the screen that the display name names, drawn with that
// screen's own GC. A frame is one XDrawSegments request; the previous frame is erased by drawing
// its segments again in the background colour, or by clearing the window when the user asked for
// that (-cw).
//
// Two options change the drawing; without them a frame costs two flag tests more. With -bb a
// frame is drawn off screen on a cleared buffer and shown whole, so the window never shows a
// half-drawn frame. With -wc the segments are grouped by the w of their lines into a few steps,
// each drawn in one request with a GC of its own colour, far steps first.
#include "display.hpp"

#include "fatal.hpp"
#include "viewer.hpp"

#include <X11/Xutil.h>
#include <X11/extensions/Xdbe.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

namespace zorv {

namespace {

constexpr int window_x = 0;
constexpr int window_y = 0;
constexpr unsigned window_size = 650;
constexpr unsigned border_width = 2;
constexpr unsigned long border_pixel = 0;
// Pixels used when a colour is known to the server but cannot be allocated.
constexpr unsigned long background_fallback_pixel = 1;
constexpr unsigned long line_fallback_pixel = 6;
// The largest pixmap side X servers create. Segment coordinates are 16-bit, so nothing is ever
// drawn beyond it anyway.
constexpr int largest_pixmap_side = 32767;
constexpr int last_depth_step = depth_step_count - 1;

// A name the server does not know leaves the pixel at 0; that is not an error.
unsigned long colour_pixel(Display* display, Colormap colormap, const std::string& name,
                           unsigned long fallback) {
  XColor exact;
  XColor screen;
  if (XLookupColor(display, colormap, name.c_str(), &exact, &screen) == 0) return 0;
  if (XAllocColor(display, colormap, &screen) == 0) return fallback;
  return screen.pixel;
}

// One entry per line, zero-filled. A negative count cannot be allocated, like any other
// impossible size.
template <typename entry> bool allocate_segments(std::vector<entry>& list, std::int32_t count) {
  if (count < 0) return false;
  try {
    list.assign(static_cast<std::size_t>(count), entry{});
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

void store_size(window_geometry& geometry, int width, int height) {
  geometry.window_width = width;
  geometry.window_height = height;
  geometry.centre_x = width / 2;
  geometry.centre_y = height / 2;
}

float rescaled(float value, double factor) {
  return static_cast<float>(static_cast<double>(value) * factor);
}

int segment_count(const std::vector<XSegment>& list) {
  return static_cast<int>(list.size());
}

// Whether the server can double-buffer the window's visual.
bool server_double_buffers(const display_state& state) {
  int major = 0;
  int minor = 0;
  if (XdbeQueryExtension(state.display, &major, &minor) == 0) return false;
  Drawable screen = state.root;
  int screens = 1;
  XdbeScreenVisualInfo* info = XdbeGetVisualInfo(state.display, &screen, &screens);
  if (info == nullptr) return false;
  const VisualID visual = XVisualIDFromVisual(state.attributes.visual);
  bool listed = false;
  for (int i = 0; i < info->count; ++i) listed = listed || info->visinfo[i].visual == visual;
  XdbeFreeVisualInfo(info);
  return listed;
}

unsigned pixmap_side(int window_side) {
  return static_cast<unsigned>(std::clamp(window_side, 1, largest_pixmap_side));
}

Pixmap window_sized_pixmap(const display_state& state) {
  return XCreatePixmap(state.display, state.window, pixmap_side(state.geometry.window_width),
                       pixmap_side(state.geometry.window_height),
                       static_cast<unsigned>(state.attributes.depth));
}

// What the server refused since the viewer last looked. Xlib reports a protocol error only to a
// handler function, so this record is the one piece of state that the X side keeps outside the
// viewer record. The errors of a frame's requests arrive with the next frame's round trip.
struct refusal_record {
  Display* display;   // the viewer's connection
  Window window;      // the viewer's window
  Drawable buffer;    // the back buffer last made, 0 without one
  int buffer_opcode;  // the DOUBLE-BUFFER extension's requests, whose errors concern the buffer
  bool window_gone;   // the window was destroyed under the viewer
  bool buffer_lost;   // the server could not make or keep the back buffer
  XErrorHandler next; // Xlib's own handler, which prints the error and ends the process
};
refusal_record refusals{};

bool names_resource(const XErrorEvent& error, XID resource) {
  return resource != 0 && error.resourceid == resource;
}

int note_refusal(Display* display, XErrorEvent* error) {
  const bool ours = display == refusals.display;
  if (ours && (error->error_code == BadWindow || error->error_code == BadDrawable) &&
      names_resource(*error, refusals.window))
    refusals.window_gone = true;
  else if (ours && refusals.buffer != 0 &&
           (error->error_code == BadAlloc || names_resource(*error, refusals.buffer) ||
            (refusals.buffer_opcode != 0 && error->request_code == refusals.buffer_opcode)))
    refusals.buffer_lost = true;
  else
    return refusals.next(display, error);
  return 0;
}

void watch_refusals(const display_state& state) {
  refusals = {state.display, state.window, 0, 0, false, false, XSetErrorHandler(note_refusal)};
}

// The viewer's end when another client destroys its window: quietly, with nothing left to do.
[[noreturn]] void end_with_window() {
  end_process(exit_status::success);
}

void prepare_back_buffer(display_state& state) {
  if (server_double_buffers(state)) {
    // Every frame fills the whole buffer first, so the server may leave it as it likes.
    state.drawable = XdbeAllocateBackBufferName(state.display, state.window, XdbeUndefined);
    state.back_buffer = back_buffer_kind::xdbe;
    int event = 0;
    int error = 0;
    XQueryExtension(state.display, "DOUBLE-BUFFER", &refusals.buffer_opcode, &event, &error);
  } else {
    // Each copy would otherwise send an event, and the viewer reads none: they would pile up in
    // Xlib's queue for as long as it runs.
    XSetGraphicsExposures(state.display, state.gc, False);
    state.drawable = window_sized_pixmap(state);
    state.back_buffer = back_buffer_kind::pixmap;
  }
  refusals.buffer = state.drawable;
  refusals.buffer_lost = false;
}

// A pixmap does not grow with the window as the extension's buffer does.
void follow_resize_with_pixmap(display_state& state) {
  XFreePixmap(state.display, state.drawable);
  state.drawable = window_sized_pixmap(state);
  refusals.buffer = state.drawable;
}

// The server refused the buffer (it could not make one the new size): draw straight into the
// window, cleared each frame, until the next resize asks for a buffer again. The lost one is not
// freed, since the server holds nothing under its name.
void drop_back_buffer(display_state& state) {
  state.back_buffer = back_buffer_kind::lost;
  state.drawable = state.window;
  refusals.buffer_lost = false;
}

bool has_back_buffer(const display_state& state) {
  return state.back_buffer == back_buffer_kind::xdbe ||
         state.back_buffer == back_buffer_kind::pixmap;
}

void clear_back_buffer(display_state& state) {
  const window_geometry& geometry = state.geometry;
  XSetForeground(state.display, state.gc, state.background_pixel);
  XFillRectangle(state.display, state.drawable, state.gc, 0, 0,
                 static_cast<unsigned>(geometry.window_width),
                 static_cast<unsigned>(geometry.window_height));
  XSetForeground(state.display, state.gc, state.line_pixel);
}

void show_back_buffer(display_state& state) {
  if (state.back_buffer == back_buffer_kind::xdbe) {
    XdbeSwapInfo swap{state.window, XdbeUndefined};
    XdbeSwapBuffers(state.display, &swap, 1);
    return;
  }
  XCopyArea(state.display, state.drawable, state.window, state.gc, 0, 0,
            pixmap_side(state.geometry.window_width), pixmap_side(state.geometry.window_height), 0,
            0);
}

// Step k of the blend from the near colour (step 0) to the far one (the last step).
unsigned short blended(unsigned short near, unsigned short far, int k) {
  return static_cast<unsigned short>(near + (int{far} - int{near}) * k / last_depth_step);
}

// The steps between the two ends are allocated like the line colour, falling back as it does.
unsigned long step_pixel(const display_state& state, const XColor& near, const XColor& far, int k) {
  XColor colour{};
  colour.red = blended(near.red, far.red, k);
  colour.green = blended(near.green, far.green, k);
  colour.blue = blended(near.blue, far.blue, k);
  if (XAllocColor(state.display, state.colormap, &colour) == 0) return line_fallback_pixel;
  return colour.pixel;
}

GC step_gc(const display_state& state, const viewer_settings& settings, unsigned long pixel) {
  XGCValues values{};
  values.foreground = pixel;
  values.background = state.background_pixel;
  values.line_width = settings.line_width;
  values.line_style = LineSolid;
  values.cap_style = CapButt;
  values.join_style = JoinMiter;
  return XCreateGC(
      state.display, state.window,
      GCForeground | GCBackground | GCLineWidth | GCLineStyle | GCCapStyle | GCJoinStyle, &values);
}

// The far colour is looked up as the line colour is; the ends of the blend are the two pixels
// as the server shows them, so that an unknown name blends into pixel 0.
void prepare_depth_cueing(display_state& state, const viewer_settings& settings,
                          const object_record& object) {
  const unsigned long far_pixel =
      colour_pixel(state.display, state.colormap, settings.depth_colour, line_fallback_pixel);
  std::array<XColor, 2> ends{};
  ends[0].pixel = state.line_pixel;
  ends[1].pixel = far_pixel;
  XQueryColors(state.display, state.colormap, ends.data(), static_cast<int>(ends.size()));
  for (int k = 0; k < depth_step_count; ++k) {
    const unsigned long pixel = k == 0                 ? state.line_pixel
                                : k == last_depth_step ? far_pixel
                                                       : step_pixel(state, ends[0], ends[1], k);
    state.depth_gcs.push_back(step_gc(state, settings, pixel));
  }
  if (!allocate_segments(state.by_depth, object.line_count) ||
      !allocate_segments(state.steps, object.line_count))
    die(exit_status::failure, "ZORV: could not allocate depth segment structure.\n");
}

// Maps a line's mean w to its step: the frame's largest w to step 0, its smallest to the last.
struct depth_scale {
  float largest;
  float steps_per_unit; // 0 when all points share one w (or none is a number)
};

depth_scale depth_scale_of(const object_record& object) {
  const std::size_t total =
      std::min(object.projected.size(), static_cast<std::size_t>(std::max(object.point_count, 0)));
  float largest = -std::numeric_limits<float>::infinity();
  float smallest = std::numeric_limits<float>::infinity();
  for (std::size_t i = 0; i < total; ++i) {
    const float w = object.projected[i].w;
    largest = std::max(largest, w); // a NaN is passed over
    smallest = std::min(smallest, w);
  }
  const float range = largest - smallest;
  const float per_unit = static_cast<float>(depth_step_count) / range;
  return {largest, range > 0.0f && std::isfinite(per_unit) ? per_unit : 0.0f};
}

// Written so that a NaN or an infinity gives a step in range without converting it.
int depth_step(const depth_scale& scale, float mean_w) {
  const float step = (scale.largest - mean_w) * scale.steps_per_unit;
  if (!(step > 0.0f)) return 0;
  return step < static_cast<float>(last_depth_step) ? static_cast<int>(step) : last_depth_step;
}

// Sorts the segment list into by_depth by step (a counting sort, in the lists made at start-up)
// and returns where each step's run begins; the last entry is the end of the list.
std::array<std::size_t, depth_step_count + 1> group_by_depth(display_state& state,
                                                             const object_record& object) {
  const depth_scale scale = depth_scale_of(object);
  const std::size_t total = std::min(state.by_depth.size(), state.segments.size());
  // The loader has checked every index against the point list; a segment without a line (there
  // is none after a successful load) goes to the nearest step.
  const std::size_t with_lines = std::min(total, object.lines.size());
  std::array<std::size_t, depth_step_count + 1> starts{};
  for (std::size_t j = 0; j < total; ++j) {
    int step = 0;
    if (j < with_lines) {
      const line& l = object.lines[j];
      const float w1 = object.projected[static_cast<std::size_t>(l.first)].w;
      const float w2 = object.projected[static_cast<std::size_t>(l.second)].w;
      step = depth_step(scale, (w1 + w2) * 0.5f);
    }
    state.steps[j] = static_cast<std::uint8_t>(step);
    ++starts[static_cast<std::size_t>(step) + 1];
  }
  for (int k = 0; k < depth_step_count; ++k) starts[k + 1] += starts[k];
  std::array<std::size_t, depth_step_count> next{};
  std::copy(starts.begin(), starts.end() - 1, next.begin());
  for (std::size_t j = 0; j < total; ++j)
    state.by_depth[next[state.steps[j]]++] = state.segments[j];
  return starts;
}

// Far steps first, so that nearer lines are drawn over farther ones.
void draw_by_depth(display_state& state, const object_record& object) {
  const std::array<std::size_t, depth_step_count + 1> starts = group_by_depth(state, object);
  for (int k = last_depth_step; k >= 0; --k) {
    const std::size_t count = starts[k + 1] - starts[k];
    if (count == 0) continue;
    XDrawSegments(state.display, state.drawable, state.depth_gcs[static_cast<std::size_t>(k)],
                  state.by_depth.data() + starts[k], static_cast<int>(count));
  }
}

// The display name's screen (":0.1" names screen 1), its root window and default colormap.
void open_display(display_state& state, const std::string& display_name) {
  std::printf(" Opening display.\n");
  state.display = XOpenDisplay(display_name.c_str());
  if (state.display == nullptr) die(exit_status::usage, "ZORV: Could not open display.\n");
  state.screen = XDefaultScreen(state.display);
  state.root = XRootWindow(state.display, state.screen);
  state.colormap = XDefaultColormap(state.display, state.screen);
}

void allocate_colours(display_state& state, const viewer_settings& settings) {
  state.background_pixel = colour_pixel(state.display, state.colormap, settings.background_colour,
                                        background_fallback_pixel);
  state.line_pixel =
      colour_pixel(state.display, state.colormap, settings.line_colour, line_fallback_pixel);
}

// The screen's own GC suits the window, which has the screen's default depth and visual.
void prepare_gc(display_state& state, const viewer_settings& settings) {
  state.gc = XDefaultGC(state.display, state.screen);
  XSetLineAttributes(state.display, state.gc, static_cast<unsigned>(settings.line_width), LineSolid,
                     CapButt, JoinMiter);
}

void create_window(display_state& state, const viewer_settings& settings) {
  Display* display = state.display;
  state.window =
      XCreateSimpleWindow(display, state.root, window_x, window_y, window_size, window_size,
                          border_width, border_pixel, state.background_pixel);
  XSizeHints hints{};
  hints.flags = USPosition | PSize;
  hints.x = window_x;
  hints.y = window_y;
  hints.width = window_size;
  hints.height = window_size;
  XSetNormalHints(display, state.window, &hints);
  state.drawable = state.window;
  if (settings.show_title) {
    const std::string title = std::string("zorv v") + version;
    XStoreName(display, state.window, title.c_str());
  }
}

void map_window(display_state& state) {
  std::printf(" Mapping window.\n");
  XMapRaised(state.display, state.window);
  XSync(state.display, False);
  XSelectInput(state.display, state.window, StructureNotifyMask);
}

// What drawing into the window needs: the GC's colours, a clear window, the segment lists, the
// window's size and what -bb and -wc add.
void prepare_drawing(viewer& v) {
  display_state& state = v.display;
  XSetForeground(state.display, state.gc, state.line_pixel);
  XSetBackground(state.display, state.gc, state.background_pixel);
  XClearWindow(state.display, state.window);

  if (!allocate_segments(state.segments, v.object.line_count))
    die(exit_status::failure, "ZORV: could not allocate segment stucture.\n");
  if (!allocate_segments(state.erased, v.object.line_count))
    die(exit_status::failure, "ZORV: could not allocate erase segment structure.\n");

  read_window_size(state);

  if (v.settings.back_buffer) prepare_back_buffer(state);
  if (v.settings.depth_cueing) prepare_depth_cueing(state, v.settings, v.object);
}

} // namespace

void connect_display(viewer& v) {
  display_state& state = v.display;
  state.target = frame_target::window;
  open_display(state, v.settings.display_name);
  allocate_colours(state, v.settings);
  prepare_gc(state, v.settings);
  create_window(state, v.settings);
  map_window(state);
  watch_refusals(state);
  prepare_drawing(v);
}

void disconnect_display(viewer& v) {
  display_state& state = v.display;
  if (state.display == nullptr) return;
  for (GC gc : state.depth_gcs) XFreeGC(state.display, gc);
  state.depth_gcs.clear();
  XCloseDisplay(state.display);
  state.display = nullptr;
}

void read_window_size(display_state& state) {
  XGetWindowAttributes(state.display, state.window, &state.attributes);
  store_size(state.geometry, state.attributes.width, state.attributes.height);
}

void follow_resize(viewer& v) {
  display_state& state = v.display;
  window_geometry& geometry = state.geometry;
  // X allows sides up to 65535, so the area needs 64 bits (46341 x 46341 already overflows 32).
  const std::int64_t old_area = std::int64_t{geometry.window_width} * geometry.window_height;
  // The round trip that brings the last frame's errors, if any.
  const Status read = XGetWindowAttributes(state.display, state.window, &state.attributes);
  if (refusals.window_gone || read == 0) end_with_window();
  if (refusals.buffer_lost && has_back_buffer(state)) drop_back_buffer(state);
  const int width = state.attributes.width;
  const int height = state.attributes.height;
  if (width == geometry.window_width && height == geometry.window_height) return;
  store_size(geometry, width, height);
  if (state.back_buffer == back_buffer_kind::pixmap) follow_resize_with_pixmap(state);
  if (state.back_buffer == back_buffer_kind::lost) prepare_back_buffer(state);
  if (!v.settings.rescale_on_resize) return;

  // The object keeps its size relative to the geometric mean of the sides.
  const std::int64_t new_area = std::int64_t{width} * height;
  const double factor =
      std::sqrt(static_cast<double>(new_area)) / std::sqrt(static_cast<double>(old_area));
  for (float& entry : v.object.scale) entry = rescaled(entry, factor);
  v.settings.z_distance = rescaled(v.settings.z_distance, factor);
  v.settings.w_distance = rescaled(v.settings.w_distance, factor);
}

void read_events(viewer& v) {
  Display* display = v.display.display;
  while (XEventsQueued(display, QueuedAlready) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == DestroyNotify && event.xdestroywindow.window == v.display.window)
      end_with_window();
    if (v.settings.interactive) take_input(v, event);
  }
}

void read_connection(viewer& v) {
  XEventsQueued(v.display.display, QueuedAfterReading);
  read_events(v);
}

void erase_previous(viewer& v) {
  display_state& state = v.display;
  // A back buffer is cleared instead: clearing the window would show an empty one.
  if (has_back_buffer(state)) {
    clear_back_buffer(state);
    return;
  }
  // Without its buffer the previous frame is not kept for erasing.
  if (v.settings.clear_each_frame || state.back_buffer == back_buffer_kind::lost) {
    XClearWindow(state.display, state.window);
    return;
  }
  XSetForeground(state.display, state.gc, state.background_pixel);
  XDrawSegments(state.display, state.drawable, state.gc, state.erased.data(),
                segment_count(state.erased));
  XSetForeground(state.display, state.gc, state.line_pixel);
}

void draw_current(viewer& v) {
  display_state& state = v.display;
  // Only erasing by redrawing needs the frame's segments again; a back buffer is cleared whole.
  if (state.back_buffer == back_buffer_kind::none && !v.settings.clear_each_frame &&
      !state.segments.empty())
    std::copy(state.segments.begin(), state.segments.end(), state.erased.begin());
  if (state.depth_gcs.empty())
    XDrawSegments(state.display, state.drawable, state.gc, state.segments.data(),
                  segment_count(state.segments));
  else
    draw_by_depth(state, v.object);
  if (has_back_buffer(state)) show_back_buffer(state);
}

void show_frame(viewer& v) {
  switch (v.display.target) {
  case frame_target::window:
    follow_resize(v);
    read_events(v);
    erase_previous(v);
    draw_current(v);
    return;
  }
}

} // namespace zorv
