// -i: the user's mouse and keys on a running viewer, read as requests. Dragging turns the object in
// the screen's frame, in three dimensions or through the fourth; the wheel zooms; keys pause,
// change the speed, switch perspective, bring back the starting view and end the viewer. Input
// only reports what the user asked for: the loop acts on it.
#pragma once

#include "object.hpp"

#include <X11/Xlib.h>

#include <array>

namespace zorv {

// How far a drag and the arrow keys turn.
inline constexpr double degrees_per_pixel = 0.5; // a drag, in the plane of its direction
inline constexpr int arrow_pixels = 10;          // an arrow key turns as a drag this long does

enum class request_kind {
  none,
  quit,        // q, Escape, the window manager's close button
  pause,       // Space: the automatic motion stops or starts again
  faster,      // +
  slower,      // -
  perspective, // p: perspective off or on
  reset,       // r: the view as start-up made it
  turn,        // a drag or an arrow key
  zoom_in,     // the wheel
  zoom_out,
  redraw, // the window was exposed or changed its size
};

struct user_request {
  request_kind kind = request_kind::none;
  // turn: radians in each plane, taken in plane order (the planes that are 0 are left out).
  std::array<double, plane_count> turn{};
};

// What input keeps between events.
struct input_state {
  int drag_x; // where the pointer was at the last press or motion of a drag
  int drag_y;
  Atom wm_protocols;     // the type of the window manager's messages
  Atom wm_delete_window; // its message for the close button
};

// Asks the server for the window's input events besides the structure events, and registers for
// the window manager's close button. Only with -i.
void prepare_input(input_state& input, Display* display, Window window);

// What the user asked for with one event read from the connection.
user_request read_request(input_state& input, XEvent& event);

} // namespace zorv
