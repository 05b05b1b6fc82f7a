// The window the frames go to. zorv's own is made on the screen that the display name names and
// drawn with that screen's own GC. A screen-saver host gives the viewer a window instead
// (-window-id, -root): the viewer then takes that window's screen, colormap and size, makes a GC
// of its own where the screen's does not suit the window, listens only for the window's structure
// changes, and leaves everything about the window as it was: it fills it with the background
// colour rather than clearing it.
#include "window.hpp"

#include "fatal.hpp"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

namespace zorv {

namespace {

constexpr int window_x = 0;
constexpr int window_y = 0;
constexpr unsigned window_size = default_window_side;
constexpr unsigned border_width = 2;
constexpr unsigned long border_pixel = 0;
// MIT-SHM's request that attaches a segment (X_ShmAttach of its protocol header, which needs the
// server's types).
constexpr int shm_attach_request = 1;

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
  bool shm_refused;   // the server could not attach the shared image (it is not local); any
                      // other MIT-SHM error is a fault of the viewer's, which Xlib reports
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
  else if (ours && refusals.shm_opcode != 0 && error->request_code == refusals.shm_opcode &&
           error->minor_code == shm_attach_request)
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
void watch_refusals(const window_state& state) {
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

void allocate_colours(window_state& state, const viewer_settings& settings) {
  state.background_pixel =
      colour_pixel(state, settings.background_colour, background_fallback_pixel);
  state.line_pixel = colour_pixel(state, settings.line_colour, line_fallback_pixel);
}

// Whether the screen's own GC suits the window: zorv's own window has the screen's default depth
// and visual, a host's window may have others.
bool screen_gc_suits(const window_state& state) {
  return !state.foreign_window || (state.depth == XDefaultDepth(state.display, state.screen) &&
                                   state.visual == XDefaultVisual(state.display, state.screen));
}

void prepare_gc(window_state& state, const viewer_settings& settings) {
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
XSizeHints size_hints(const window_state& state, const window_placement& placement) {
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

// WM_CLIENT_MACHINE: the host name, which a window manager needs to read _NET_WM_PID.
void name_machine(const window_state& state) {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) return;
  char* names[] = {host};
  XTextProperty property{};
  if (XStringListToTextProperty(names, 1, &property) == 0) return;
  XSetWMClientMachine(state.display, state.window, &property);
  XFree(property.value);
}

// What window managers and session managers match a window by: WM_CLASS ("zorv", "Zorv"), the
// machine and the command line (WM_COMMAND).
void name_client(const window_state& state) {
  std::string instance = "zorv";
  std::string class_name = "Zorv";
  XClassHint class_hint{instance.data(), class_name.data()};
  XSetClassHint(state.display, state.window, &class_hint);
  name_machine(state);
  std::vector<std::string> words = state.command_line;
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  if (!argv.empty())
    XSetCommand(state.display, state.window, argv.data(), static_cast<int>(argv.size()));
}

void create_window(window_state& state, const viewer_settings& settings) {
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
  if (settings.show_title) {
    const std::string title = std::string("zorv v") + version;
    XStoreName(display, state.window, title.c_str());
  }
  name_client(state);
}

// The window that swm, tvtwm and their kind put over the root and mark with __SWM_VROOT, whose
// value names it; the root itself where there is none.
Window marked_virtual_root(const window_state& state) {
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
Window virtual_root(const window_state& state) {
  const char* named = std::getenv("XSCREENSAVER_WINDOW");
  if (named == nullptr || *named == '\0') return marked_virtual_root(state);
  std::uint32_t id = 0;
  if (!read_window_id(named, id))
    die(exit_status::usage, "ZORV: XSCREENSAVER_WINDOW holds no window ID: %s\n", named);
  return id;
}

// Takes the host's window in place of a window of zorv's own: its screen, root, colormap and
// size, its structure changes and its exposures (any client may select them; button presses,
// which its owner may already select, only one client can). Start-up then sizes the object to the
// window as a 650 x 650 window resized to it would size it.
void attach_to_window(window_state& state, const viewer_settings& settings) {
  // From here on, an ID that names no window is refused into the record, not by Xlib's handler.
  watch_refusals(state);
  state.window = settings.has_window_id ? settings.window_id : virtual_root(state);
  refusals.window = state.window;
  const unsigned long id = state.window;
  if (state.window == 0 ||
      XGetWindowAttributes(state.display, state.window, &state.attributes) == 0)
    die(exit_status::usage, "ZORV: Could not find window 0x%lx.\n", id);
  if (state.attributes.c_class == InputOnly)
    die(exit_status::usage, "ZORV: Could not draw into window 0x%lx.\n", id);
  state.screen = XScreenNumberOfScreen(state.attributes.screen);
  state.root = state.attributes.root;
  state.colormap = state.attributes.colormap != 0 ? state.attributes.colormap
                                                  : XDefaultColormap(state.display, state.screen);
  state.visual = state.attributes.visual;
  state.depth = state.attributes.depth;
  XSelectInput(state.display, state.window, StructureNotifyMask | ExposureMask);
  store_size(state.geometry, state.attributes.width, state.attributes.height);
}

void map_window(window_state& state) {
  report(" Mapping window.\n");
  XMapRaised(state.display, state.window);
  XSync(state.display, False);
  XSelectInput(state.display, state.window, StructureNotifyMask);
}

} // namespace

void open_display(window_state& state, const std::string& display_name) {
  report(" Opening display.\n");
  state.display = XOpenDisplay(display_name.c_str());
  if (state.display == nullptr) die(exit_status::usage, "ZORV: Could not open display.\n");
  state.screen = XDefaultScreen(state.display);
  // Xlib takes the screen number of the name as it reads it, negative or wrapped, unchecked.
  if (state.screen < 0 || state.screen >= XScreenCount(state.display)) {
    XCloseDisplay(state.display);
    state.display = nullptr;
    die(exit_status::usage, "ZORV: Could not open display.\n");
  }
  state.root = XRootWindow(state.display, state.screen);
  state.colormap = XDefaultColormap(state.display, state.screen);
  state.visual = XDefaultVisual(state.display, state.screen);
  state.depth = XDefaultDepth(state.display, state.screen);
}

void find_host_window(window_state& state, const viewer_settings& settings) {
  state.foreign_window = settings.mode == run_mode::host_window;
  state.needs_fill = false;
  if (state.foreign_window) attach_to_window(state, settings);
}

void take_window(window_state& state, const viewer_settings& settings) {
  const bool hosted = state.foreign_window;
  allocate_colours(state, settings);
  prepare_gc(state, settings);
  if (!hosted) {
    create_window(state, settings);
    map_window(state);
  }
  watch_refusals(state);
  XSetForeground(state.display, state.gc, state.line_pixel);
  XSetBackground(state.display, state.gc, state.background_pixel);
  clear_window(state);
  XGetWindowAttributes(state.display, state.window, &state.attributes);
  store_size(state.geometry, state.attributes.width, state.attributes.height);
}

void mark_drawing_process(window_state& state) {
  if (state.foreign_window) return;
  const Atom pid_atom = XInternAtom(state.display, "_NET_WM_PID", False);
  const long pid = getpid(); // 32-bit properties travel as longs
  XChangeProperty(state.display, state.window, pid_atom, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pid), 1);
  XFlush(state.display);
}

void close_window(window_state& state) {
  if (state.display == nullptr) return;
  if (state.gc != XDefaultGC(state.display, state.screen)) XFreeGC(state.display, state.gc);
  XCloseDisplay(state.display);
  state.display = nullptr;
}

bool follow_resize(window_state& state) {
  const Status read = XGetWindowAttributes(state.display, state.window, &state.attributes);
  if (refusals.window_gone || read == 0) end_with_window();
  const int width = state.attributes.width;
  const int height = state.attributes.height;
  if (width == state.geometry.window_width && height == state.geometry.window_height) return false;
  store_size(state.geometry, width, height);
  if (state.foreign_window) state.needs_fill = true;
  return true;
}

bool next_event(window_state& state, XEvent& event) {
  if (XEventsQueued(state.display, QueuedAlready) == 0) return false;
  XNextEvent(state.display, &event);
  if (event.type == DestroyNotify && event.xdestroywindow.window == state.window) end_with_window();
  if (event.type == Expose && event.xexpose.window == state.window && state.foreign_window)
    state.needs_fill = true;
  return true;
}

void restore_background(window_state& state) {
  if (!state.needs_fill) return;
  fill_with_background(state, state.window);
  state.needs_fill = false;
}

void read_server(window_state& state) {
  XEventsQueued(state.display, QueuedAfterReading);
}

unsigned long colour_pixel(const window_state& state, const std::string& name,
                           unsigned long fallback) {
  XColor exact;
  XColor screen;
  if (XLookupColor(state.display, state.colormap, name.c_str(), &exact, &screen) == 0) return 0;
  if (XAllocColor(state.display, state.colormap, &screen) == 0) return fallback;
  return screen.pixel;
}

void fill_with_background(window_state& state, Drawable drawable) {
  const window_geometry& geometry = state.geometry;
  XSetForeground(state.display, state.gc, state.background_pixel);
  XFillRectangle(state.display, drawable, state.gc, 0, 0,
                 static_cast<unsigned>(geometry.window_width),
                 static_cast<unsigned>(geometry.window_height));
  XSetForeground(state.display, state.gc, state.line_pixel);
}

void clear_window(window_state& state) {
  if (state.foreign_window)
    fill_with_background(state, state.window);
  else
    XClearWindow(state.display, state.window);
}

void watch_back_buffer(Drawable buffer, int opcode) {
  refusals.buffer = buffer;
  refusals.buffer_opcode = opcode;
}

void forget_back_buffer_loss() {
  refusals.buffer_lost = false;
}

bool back_buffer_lost() {
  return refusals.buffer_lost;
}

void watch_shared_memory(int opcode) {
  refusals.shm_opcode = opcode;
  refusals.shm_refused = false;
}

bool shared_memory_refused() {
  const bool refused = refusals.shm_refused;
  refusals.shm_refused = false;
  return refused;
}

} // namespace zorv
