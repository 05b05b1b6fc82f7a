// The X side of the viewer: one window on the screen that the display name names, drawn with that
// screen's own GC. A frame is one XDrawSegments request; the previous frame is erased by drawing
// its segments again in the background colour, or by clearing the window when the user asked for
// that (-cw).
//
// A screen-saver host gives the viewer a window instead (-window-id, -root). The viewer then
// takes that window's screen, colormap and size, makes a GC of its own where the screen's does
// not suit the window, listens only for the window's structure changes, and leaves everything
// about the window as it was: it fills it with the background colour rather than clearing it.
//
// Two options change the drawing; without them a frame costs two flag tests more. With -bb a
// frame is drawn off screen on a cleared buffer and shown whole, so the window never shows a
// half-drawn frame. With -wc the segments are grouped by the w of their lines into a few steps,
// each drawn in one request with a GC of its own colour, far steps first.
#include "display.hpp"

#include "fatal.hpp"
#include "viewer.hpp"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdbe.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace zorv {

namespace {

constexpr int window_x = 0;
constexpr int window_y = 0;
constexpr unsigned window_size = default_window_side;
constexpr unsigned border_width = 2;
constexpr unsigned long border_pixel = 0;
// Pixels used when a colour is known to the server but cannot be allocated.
constexpr unsigned long background_fallback_pixel = 1;
constexpr unsigned long line_fallback_pixel = 6;
// The largest pixmap side X servers create. Segment coordinates are 16-bit, so nothing is ever
// drawn beyond it anyway.
constexpr int largest_pixmap_side = 32767;

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

float rescaled(float value, double factor) {
  return static_cast<float>(static_cast<double>(value) * factor);
}

// The object keeps its size relative to the geometric mean of the sides.
void rescale(viewer& v, std::int64_t old_area, std::int64_t new_area) {
  const double factor =
      std::sqrt(static_cast<double>(new_area)) / std::sqrt(static_cast<double>(old_area));
  for (float& entry : v.object.scale) entry = rescaled(entry, factor);
  v.settings.z_distance = rescaled(v.settings.z_distance, factor);
  v.settings.w_distance = rescaled(v.settings.w_distance, factor);
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
  int shm_opcode;     // -aa: the MIT-SHM extension's requests, 0 until it is used
  bool shm_refused;   // the server could not attach the shared image (it is not local)
  bool probing;       // looking through other clients' windows, any of which may go meanwhile
};
refusal_record refusals{};

bool names_resource(const XErrorEvent& error, XID resource) {
  return resource != 0 && error.resourceid == resource;
}

int note_refusal(Display* display, XErrorEvent* error) {
  const bool ours = display == refusals.display;
  if (ours && refusals.probing && error->error_code == BadWindow) return 0;
  if (ours && (error->error_code == BadWindow || error->error_code == BadDrawable) &&
      names_resource(*error, refusals.window))
    refusals.window_gone = true;
  else if (ours && refusals.shm_opcode != 0 && error->request_code == refusals.shm_opcode)
    refusals.shm_refused = true;
  else if (ours && refusals.buffer != 0 &&
           (error->error_code == BadAlloc || names_resource(*error, refusals.buffer) ||
            (refusals.buffer_opcode != 0 && error->request_code == refusals.buffer_opcode)))
    refusals.buffer_lost = true;
  else
    return refusals.next(display, error);
  return 0;
}

// Watching again (a second viewer in one process, as the tests start them) keeps Xlib's handler
// as the next one: handing an error on to note_refusal itself would never end.
void watch_refusals(const display_state& state) {
  const XErrorHandler previous = XSetErrorHandler(note_refusal);
  refusals = {.display = state.display,
              .window = state.window,
              .buffer = 0,
              .buffer_opcode = 0,
              .window_gone = false,
              .buffer_lost = false,
              .next = previous == note_refusal ? refusals.next : previous,
              .shm_opcode = 0,
              .shm_refused = false,
              .probing = false};
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

void fill_with_background(display_state& state, Drawable drawable) {
  const window_geometry& geometry = state.geometry;
  XSetForeground(state.display, state.gc, state.background_pixel);
  XFillRectangle(state.display, drawable, state.gc, 0, 0,
                 static_cast<unsigned>(geometry.window_width),
                 static_cast<unsigned>(geometry.window_height));
  XSetForeground(state.display, state.gc, state.line_pixel);
}

void clear_back_buffer(display_state& state) {
  fill_with_background(state, state.drawable);
}

// zorv's own window has the background colour as its background; a host's window keeps its own.
void clear_window(display_state& state) {
  if (state.foreign_window)
    fill_with_background(state, state.window);
  else
    XClearWindow(state.display, state.window);
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
void prepare_depth_cueing(display_state& state, const viewer_settings& settings) {
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
}

// Far steps first, so that nearer lines are drawn over farther ones.
void draw_by_depth(display_state& state, const object_record& object) {
  const depth_runs starts = group_by_depth(state.segments, object, state.by_depth, state.steps);
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

// Whether the screen's own GC suits the window: zorv's own window has the screen's default depth
// and visual, a host's window may have others.
bool screen_gc_suits(const display_state& state) {
  return !state.foreign_window ||
         (state.attributes.depth == XDefaultDepth(state.display, state.screen) &&
          state.attributes.visual == XDefaultVisual(state.display, state.screen));
}

void prepare_gc(display_state& state, const viewer_settings& settings) {
  state.gc = screen_gc_suits(state) ? XDefaultGC(state.display, state.screen)
                                    : XCreateGC(state.display, state.window, 0, nullptr);
  XSetLineAttributes(state.display, state.gc, static_cast<unsigned>(settings.line_width), LineSolid,
                     CapButt, JoinMiter);
}

// X's gravity for a position measured from the right or bottom edge.
int gravity_of(const window_placement& placement) {
  if (placement.x_from_right) return placement.y_from_bottom ? SouthEastGravity : NorthEastGravity;
  return placement.y_from_bottom ? SouthWestGravity : NorthWestGravity;
}

// Window positions are 16-bit on the wire.
int window_position(int value) {
  return std::clamp(value, int{std::numeric_limits<std::int16_t>::min()},
                    int{std::numeric_limits<std::int16_t>::max()});
}

// Without -geometry: 650 x 650 at (0, 0). A size or a position from -geometry is the user's, and
// a position from the right or bottom edge is measured to the window's outer edge, border
// included, with the matching gravity, as X programs place their windows.
XSizeHints size_hints(const display_state& state, const window_placement& placement) {
  XSizeHints hints{};
  hints.flags = USPosition | PSize;
  hints.x = window_x;
  hints.y = window_y;
  hints.width = placement.width > 0 ? placement.width : int{window_size};
  hints.height = placement.height > 0 ? placement.height : int{window_size};
  if (placement.width > 0 || placement.height > 0) hints.flags = USPosition | USSize;
  if (!placement.has_position) return hints;
  const int outer_width = hints.width + 2 * int{border_width};
  const int outer_height = hints.height + 2 * int{border_width};
  hints.x = window_position(placement.x_from_right ? DisplayWidth(state.display, state.screen) -
                                                         outer_width + placement.x
                                                   : placement.x);
  hints.y = window_position(placement.y_from_bottom ? DisplayHeight(state.display, state.screen) -
                                                          outer_height + placement.y
                                                    : placement.y);
  hints.win_gravity = gravity_of(placement);
  hints.flags |= PWinGravity;
  return hints;
}

void create_window(display_state& state, const viewer_settings& settings) {
  Display* display = state.display;
  const XSizeHints hints = size_hints(state, settings.placement);
  state.window = XCreateSimpleWindow(
      display, state.root, hints.x, hints.y, static_cast<unsigned>(hints.width),
      static_cast<unsigned>(hints.height), border_width, border_pixel, state.background_pixel);
  // The older call keeps the hints of a window without -geometry exactly as they were; only the
  // newer one carries a gravity.
  if ((hints.flags & PWinGravity) != 0)
    XSetWMNormalHints(display, state.window, const_cast<XSizeHints*>(&hints));
  else
    XSetNormalHints(display, state.window, const_cast<XSizeHints*>(&hints));
  state.drawable = state.window;
  if (settings.show_title) {
    const std::string title = std::string("zorv v") + version;
    XStoreName(display, state.window, title.c_str());
  }
}

// Stores a new size and, unless -ns, scales the object and both eye distances by the change of
// the geometric mean of the sides, so that the object keeps its size relative to the window.
void take_size(viewer& v, int width, int height) {
  window_geometry& geometry = v.display.geometry;
  // X allows sides up to 65535, so the area needs 64 bits (46341 x 46341 already overflows 32).
  const std::int64_t old_area = std::int64_t{geometry.window_width} * geometry.window_height;
  store_size(geometry, width, height);
  if (v.settings.rescale_on_resize) rescale(v, old_area, std::int64_t{width} * height);
}

// The window that swm, tvtwm and their kind put over the root and mark with __SWM_VROOT, whose
// value names it; the root itself where there is none.
Window marked_virtual_root(const display_state& state) {
  const Atom mark = XInternAtom(state.display, "__SWM_VROOT", True);
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (mark == 0 || XQueryTree(state.display, state.root, &root, &parent, &children, &count) == 0)
    return state.root;
  Window found = state.root;
  refusals.probing = true;
  for (unsigned i = 0; i < count && found == state.root; ++i) {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long left = 0;
    unsigned char* value = nullptr;
    if (XGetWindowProperty(state.display, children[i], mark, 0, 1, False, XA_WINDOW, &type, &format,
                           &items, &left, &value) == Success &&
        type == XA_WINDOW && format == 32 && items == 1)
      std::memcpy(&found, value, sizeof found); // 32-bit items come as longs
    if (value != nullptr) XFree(value);
  }
  refusals.probing = false;
  if (children != nullptr) XFree(children);
  return found;
}

// -root: the window that the host names in XSCREENSAVER_WINDOW, else the virtual root.
Window virtual_root(const display_state& state) {
  const char* named = std::getenv("XSCREENSAVER_WINDOW");
  if (named == nullptr || *named == '\0') return marked_virtual_root(state);
  std::uint32_t id = 0;
  if (!read_window_id(named, id))
    die(exit_status::usage, "ZORV: XSCREENSAVER_WINDOW holds no window ID: %s\n", named);
  return id;
}

// Takes the host's window in place of a window of zorv's own: its screen, root, colormap and
// size, and its structure changes (any client may select them; button presses, which its owner
// may already select, only one client can). prepare_drawing then sizes the object to the window as
// a 650 x 650 window resized to it would size it.
void attach_to_window(viewer& v) {
  display_state& state = v.display;
  // From here on, an ID that names no window is refused into the record, not by Xlib's handler.
  watch_refusals(state);
  state.window = v.settings.host == host_window::by_id ? v.settings.window_id : virtual_root(state);
  refusals.window = state.window;
  const unsigned long id = state.window;
  if (state.window == 0 ||
      XGetWindowAttributes(state.display, state.window, &state.attributes) == 0)
    die(exit_status::usage, "ZORV: Could not find window 0x%lx.\n", id);
  if (state.attributes.c_class == InputOnly)
    die(exit_status::usage, "ZORV: Could not draw into window 0x%lx.\n", id);
  state.drawable = state.window;
  state.screen = XScreenNumberOfScreen(state.attributes.screen);
  state.root = state.attributes.root;
  state.colormap = state.attributes.colormap != 0 ? state.attributes.colormap
                                                  : XDefaultColormap(state.display, state.screen);
  XSelectInput(state.display, state.window, StructureNotifyMask);
  store_size(state.geometry, state.attributes.width, state.attributes.height);
}

void map_window(display_state& state) {
  std::printf(" Mapping window.\n");
  XMapRaised(state.display, state.window);
  XSync(state.display, False);
  XSelectInput(state.display, state.window, StructureNotifyMask);
}

// -aa draws into 32-bit pixels 0x00RRGGBB: the screen must take them as they are.
bool takes_pictures(const display_state& state) {
  constexpr unsigned long red_mask = 0xff0000;
  constexpr unsigned long green_mask = 0x00ff00;
  constexpr unsigned long blue_mask = 0x0000ff;
  const Visual* visual = DefaultVisual(state.display, state.screen);
  const int depth = DefaultDepth(state.display, state.screen);
  return visual->c_class == TrueColor && visual->red_mask == red_mask &&
         visual->green_mask == green_mask && visual->blue_mask == blue_mask &&
         (depth == 24 || depth == 32);
}

constexpr int image_bits_per_pixel = 32;
constexpr int native_byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;

// Cairo draws into the image's memory directly: its rows must be cairo's rows.
bool suits_cairo(const XImage* image, int width) {
  return image->bits_per_pixel == image_bits_per_pixel &&
         image->bytes_per_line == cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width);
}

std::size_t image_bytes(const XImage* image, int height) {
  return static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(height);
}

// The segment is removed from the system once both sides have let go of it. An attach that the
// server refuses (it does not share this machine's memory) stops further tries.
bool make_shared_image(display_state& state, int width, int height) {
  XShmSegmentInfo& segment = state.image.segment; // the image refers to it while it lives
  segment = {};
  XImage* image = XShmCreateImage(state.display, DefaultVisual(state.display, state.screen),
                                  static_cast<unsigned>(DefaultDepth(state.display, state.screen)),
                                  ZPixmap, nullptr, &segment, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height));
  if (image == nullptr) return false;
  if (!suits_cairo(image, width) || image->byte_order != native_byte_order) {
    XDestroyImage(image);
    return false;
  }
  segment.shmid = shmget(IPC_PRIVATE, image_bytes(image, height), IPC_CREAT | 0600);
  if (segment.shmid < 0) {
    XDestroyImage(image);
    return false;
  }
  void* memory = shmat(segment.shmid, nullptr, 0);
  if (memory == reinterpret_cast<void*>(-1)) {
    shmctl(segment.shmid, IPC_RMID, nullptr);
    XDestroyImage(image);
    return false;
  }
  segment.shmaddr = image->data = static_cast<char*>(memory);
  segment.readOnly = False;
  refusals.shm_refused = false;
  XShmAttach(state.display, &segment);
  XSync(state.display, False);
  shmctl(segment.shmid, IPC_RMID, nullptr);
  if (refusals.shm_refused) {
    refusals.shm_opcode = 0;
    XDestroyImage(image);
    shmdt(memory);
    return false;
  }
  state.image.image = image;
  state.image.shared = true;
  return true;
}

// The pixels in this process's memory, sent whole with each frame. Xlib turns them into the
// server's byte order where it differs.
bool make_plain_image(display_state& state, int width, int height) {
  const std::size_t bytes =
      static_cast<std::size_t>(cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width)) *
      static_cast<std::size_t>(height);
  char* pixels = static_cast<char*>(std::malloc(bytes));
  if (pixels == nullptr) return false;
  XImage* image = XCreateImage(state.display, DefaultVisual(state.display, state.screen),
                               static_cast<unsigned>(DefaultDepth(state.display, state.screen)),
                               ZPixmap, 0, pixels, static_cast<unsigned>(width),
                               static_cast<unsigned>(height), image_bits_per_pixel, 0);
  if (image == nullptr) {
    std::free(pixels);
    return false;
  }
  if (!suits_cairo(image, width)) {
    XDestroyImage(image); // frees the pixels too
    return false;
  }
  image->byte_order = native_byte_order;
  state.image.image = image;
  state.image.shared = false;
  return true;
}

void release_window_image(display_state& state) {
  release_picture(state.picture);
  XImage* image = state.image.image;
  if (image == nullptr) return;
  if (state.image.shared) {
    XShmDetach(state.display, &state.image.segment);
    XDestroyImage(image); // the image record alone: its pixels are the segment's
    shmdt(state.image.segment.shmaddr);
  } else {
    XDestroyImage(image);
  }
  state.image.image = nullptr;
  state.image.shared = false;
}

// An image the size of the window (up to largest_side a side), with the picture drawn into its
// pixels. When none can be had, frames are not shown until the next resize tries again.
void make_window_image(display_state& state) {
  release_window_image(state);
  const int width = std::clamp(state.geometry.window_width, 1, int{largest_side});
  const int height = std::clamp(state.geometry.window_height, 1, int{largest_side});
  const bool made = (refusals.shm_opcode != 0 && make_shared_image(state, width, height)) ||
                    make_plain_image(state, width, height);
  if (!made) return;
  if (!make_picture(state.picture, width, height,
                    reinterpret_cast<unsigned char*>(state.image.image->data),
                    state.image.image->bytes_per_line))
    release_window_image(state);
}

void prepare_smooth_lines(viewer& v) {
  display_state& state = v.display;
  state.picture.colours = colours_for(v.settings, read_colour_database());
  state.picture.line_width = v.settings.line_width;
  int event = 0;
  int error = 0;
  if (XQueryExtension(state.display, "MIT-SHM", &refusals.shm_opcode, &event, &error) == False)
    refusals.shm_opcode = 0;
  make_window_image(state);
  state.target = frame_target::smooth_window;
}

// The whole window's pixels in one request: nothing is cleared first, so nothing flickers. The
// server has read the previous frame's shared pixels by the time the next frame is drawn into
// them: follow_resize's round trip comes between.
void show_smooth_frame(viewer& v) {
  display_state& state = v.display;
  XImage* image = state.image.image;
  if (image == nullptr) return;
  render_picture(state.picture, state.segments, v.object, state.by_depth, state.steps);
  const auto width = static_cast<unsigned>(image->width);
  const auto height = static_cast<unsigned>(image->height);
  if (state.image.shared)
    XShmPutImage(state.display, state.window, state.gc, image, 0, 0, 0, 0, width, height, False);
  else
    XPutImage(state.display, state.window, state.gc, image, 0, 0, 0, 0, width, height);
}

// What drawing into the window needs: the GC's colours, a clear window, the segment lists, the
// window's size and what -bb and -wc add, or with -aa the image that carries the frames.
void prepare_drawing(viewer& v) {
  display_state& state = v.display;
  XSetForeground(state.display, state.gc, state.line_pixel);
  XSetBackground(state.display, state.gc, state.background_pixel);
  clear_window(state);

  allocate_frame_lists(v);

  // A host's window, or one of a size that -geometry chose, is taken as a 650 x 650 window
  // resized to it would be.
  read_window_size(state);
  if (state.foreign_window || v.settings.placement.width > 0 || v.settings.placement.height > 0)
    follow_start_size(v);

  if (v.settings.smooth_lines) {
    prepare_smooth_lines(v);
    return;
  }
  if (v.settings.back_buffer) prepare_back_buffer(state);
  if (v.settings.depth_cueing) prepare_depth_cueing(state, v.settings);
}

} // namespace

void connect_display(viewer& v) {
  display_state& state = v.display;
  state.target = frame_target::window;
  const bool hosted = draws_into_host_window(v.settings);
  state.foreign_window = hosted;
  open_display(state, v.settings.display_name);
  if (v.settings.smooth_lines && !takes_pictures(state))
    die(exit_status::usage, "ZORV: -aa needs a TrueColor screen of 24 bits.\n");
  if (hosted) attach_to_window(v);
  allocate_colours(state, v.settings);
  prepare_gc(state, v.settings);
  if (!hosted) {
    create_window(state, v.settings);
    map_window(state);
  }
  watch_refusals(state);
  prepare_drawing(v);
}

void disconnect_display(viewer& v) {
  display_state& state = v.display;
  release_picture(state.picture);
  if (state.display == nullptr) return;
  release_window_image(state);
  for (GC gc : state.depth_gcs) XFreeGC(state.display, gc);
  state.depth_gcs.clear();
  if (state.gc != XDefaultGC(state.display, state.screen)) XFreeGC(state.display, state.gc);
  XCloseDisplay(state.display);
  state.display = nullptr;
}

void read_window_size(display_state& state) {
  XGetWindowAttributes(state.display, state.window, &state.attributes);
  store_size(state.geometry, state.attributes.width, state.attributes.height);
}

void follow_resize(viewer& v) {
  display_state& state = v.display;
  const window_geometry& geometry = state.geometry;
  // The round trip that brings the last frame's errors, if any.
  const Status read = XGetWindowAttributes(state.display, state.window, &state.attributes);
  if (refusals.window_gone || read == 0) end_with_window();
  if (refusals.buffer_lost && has_back_buffer(state)) drop_back_buffer(state);
  const int width = state.attributes.width;
  const int height = state.attributes.height;
  if (width == geometry.window_width && height == geometry.window_height) return;
  take_size(v, width, height);
  if (state.back_buffer == back_buffer_kind::pixmap) follow_resize_with_pixmap(state);
  if (state.back_buffer == back_buffer_kind::lost) prepare_back_buffer(state);
  if (state.target == frame_target::smooth_window) make_window_image(state);
}

void store_size(window_geometry& geometry, int width, int height) {
  geometry.window_width = width;
  geometry.window_height = height;
  geometry.centre_x = width / 2;
  geometry.centre_y = height / 2;
}

void follow_start_size(viewer& v) {
  if (!v.settings.rescale_on_resize) return;
  const window_geometry& geometry = v.display.geometry;
  rescale(v, std::int64_t{default_window_side} * default_window_side,
          std::int64_t{geometry.window_width} * geometry.window_height);
}

void allocate_frame_lists(viewer& v) {
  display_state& state = v.display;
  const std::int32_t count = v.object.line_count;
  if (!allocate_segments(state.segments, count))
    die(exit_status::failure, "ZORV: could not allocate segment stucture.\n");
  if (!allocate_segments(state.erased, count))
    die(exit_status::failure, "ZORV: could not allocate erase segment structure.\n");
  if (v.settings.depth_cueing &&
      (!allocate_segments(state.by_depth, count) || !allocate_segments(state.steps, count)))
    die(exit_status::failure, "ZORV: could not allocate depth segment structure.\n");
}

void read_events(viewer& v) {
  Display* display = v.display.display;
  while (XEventsQueued(display, QueuedAlready) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == DestroyNotify && event.xdestroywindow.window == v.display.window)
      end_with_window();
    if (reads_input(v.settings)) take_input(v, event);
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
    clear_window(state);
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
  case frame_target::picture:
    show_picture_frame(v);
    return;
  case frame_target::smooth_window:
    follow_resize(v);
    read_events(v);
    show_smooth_frame(v);
    return;
  }
}

} // namespace zorv
