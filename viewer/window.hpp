// The X side that both window targets share: the connection, the window the frames go to (the
// viewer's own, or the one a screen-saver host gives it), its colours and GC, its size, its
// events, and what the server refuses.
#pragma once

#include "geometry.hpp"
#include "settings.hpp"

#include <X11/Xlib.h>

#include <string>
#include <vector>

namespace zorv {

struct window_state {
  Display* display;
  int screen; // the window's screen: the display name's, or the host window's
  Window root;
  Colormap colormap;
  // The window's visual and depth: the screen's defaults for zorv's own window, which it makes
  // with them; a host's window has its own, which may differ.
  Visual* visual;
  int depth;
  GC gc;
  Window window;
  unsigned long line_pixel;       // 0 until allocated
  unsigned long background_pixel; // 0 until allocated
  XWindowAttributes attributes;
  window_geometry geometry;
  // A host's window (-root, -window-id): zorv neither made it nor changes it, and it has a
  // background of its own, so clearing it means filling it with the background colour.
  bool foreign_window;
  // The host's window was exposed or resized since the last frame: the server has cleared some of
  // it to the window's own background.
  bool needs_fill;
  // The process's command line, which zorv's own window carries for session managers.
  std::vector<std::string> command_line;
};

// Prints " Opening display." and opens the display that the settings name, on the display name's
// screen, its root window and default colormap. Ends the process with status 1 if it cannot, or
// if the server has no screen of that number.
void open_display(window_state& state, const std::string& display_name);

// With -window-id or -root, finds the host's window on the open display, on whatever screen it
// is, and takes its screen, root, colormap, visual, depth and size, drawing nothing yet; ends the
// process with status 1 if there is no window to draw into. Without them it does nothing.
void find_host_window(window_state& state, const viewer_settings& settings);

// Takes the window that the frames go to: the host's window that find_host_window found, else a
// window of the viewer's own, created and mapped (" Mapping window."). Allocates the colours and
// the GC, fills the window with the background and reads its size. Ends the process on a failure.
void take_window(window_state& state, const viewer_settings& settings);

// In the process that draws into zorv's own window, after the fork: names that process in the
// window's _NET_WM_PID, so that window managers and tools (xdotool search --pid) find it.
void mark_drawing_process(window_state& state);

// Frees the GC and closes the connection.
void close_window(window_state& state);

// Reads the window's size with a round trip, which also brings the previous frame's errors: ends
// the process quietly (status 0) if the window has been destroyed. True if the size changed; the
// geometry then holds the new one.
bool follow_resize(window_state& state);

// Takes one event that Xlib has already read off its queue, without a round trip, so that the
// queue never grows. False when there is none. An event saying that the window has been destroyed
// ends the process quietly (status 0).
bool next_event(window_state& state, XEvent& event);

// Fills a host's window with the background colour where it was exposed or resized since the last
// frame, before the next frame is drawn into it.
void restore_background(window_state& state);

// Reads what the server has sent into Xlib's queue. A connection that the server closed ends the
// process through Xlib's handler for a lost connection.
void read_server(window_state& state);

// Pixels used when a colour is known to the server but cannot be allocated.
inline constexpr unsigned long background_fallback_pixel = 1;
inline constexpr unsigned long line_fallback_pixel = 6;

// The pixel of a colour name on the window's colormap: 0 for a name the server does not know
// (that is not an error), the fallback for one it cannot allocate.
unsigned long colour_pixel(const window_state& state, const std::string& name,
                           unsigned long fallback);

// Fills a drawable of the window's size with the background colour.
void fill_with_background(window_state& state, Drawable drawable);

// Clears the window: zorv's own has the background colour as its background; a host's window
// keeps its own, so it is filled instead.
void clear_window(window_state& state);

// What the server refuses about one drawable or one extension, which Xlib reports only to its
// error handler: the window's handler notes it here instead of ending the process.

// Watches the back buffer (0 for none) and the DOUBLE-BUFFER extension's requests (opcode 0 for
// none).
void watch_back_buffer(Drawable buffer, int opcode);
// Whether the server refused to make or keep the watched buffer since the loss was last forgotten.
bool back_buffer_lost();
void forget_back_buffer_loss();

// Watches the MIT-SHM extension's requests (opcode 0: none).
void watch_shared_memory(int opcode);
// Whether the server refused to attach shared memory since the last call; forgets it.
bool shared_memory_refused();

} // namespace zorv
