// -i: the user's mouse and keys on a running viewer. Dragging turns the object in the screen's
// frame, in three dimensions or through the fourth; the wheel zooms; keys pause, change the
// speed, switch perspective, bring back the starting view and end the viewer.
#pragma once

#include "object.hpp"

#include <X11/Xlib.h>

#include <array>
#include <cstdint>

namespace zorv {

// How far each input goes.
inline constexpr double degrees_per_pixel = 0.5; // a drag, in the plane of its direction
inline constexpr int arrow_pixels = 10;          // an arrow key turns as a drag this long does
inline constexpr double zoom_factor = 1.25;      // one notch of the wheel, on every axis's scale
inline constexpr double speed_factor = 1.25;     // one + or -, on every increment
// Beyond these the scale or the increments would run into the limits of single precision, where
// the way back would no longer lead to the same view.
inline constexpr int max_zoom_notches = 40;
inline constexpr int max_speed_steps = 20;

// The user's turn as it is composed, in double precision; the object record holds it rounded.
using exact_turn = std::array<std::array<double, axis_count>, axis_count>;

// The view as start-up left it, which r brings back.
struct start_view {
  std::array<float, axis_count> scale;
  float w_distance;
  float z_distance;
  std::array<float, plane_count> increments; // radians per frame
  bool perspective;
  std::int64_t window_area; // of the window when it was first read
};

// Everything -i keeps; all false and zero without it.
struct input_state {
  bool paused;  // Space: the automatic motion stands still
  bool changed; // the view changed after the last frame was made: a paused viewer redraws
  int drag_x;   // where the pointer was at the last press or motion of a drag
  int drag_y;
  int zoom_notches; // net notches of the wheel, within max_zoom_notches either way
  int speed_steps;  // net presses of + and -, within max_speed_steps either way
  exact_turn turn;  // the user's turn while the object record has one (turned)
  start_view start;
  Atom wm_protocols;     // the type of the window manager's messages
  Atom wm_delete_window; // its message for the close button
};

struct viewer;

// Remembers the starting view, asks the server for the window's input events besides the
// structure events, and registers for the window manager's close button. Only with -i.
void prepare_input(viewer& v);

// Applies one event read from the connection. q, Escape and the close button close the display
// connection and end the process with status 0.
void take_input(viewer& v, XEvent& event);

// Turns the view by the angle in one plane, after everything turned it so far: in the screen's
// frame, whatever the object's orientation.
void turn_view(input_state& input, object_record& object, plane_index plane, double radians);

} // namespace zorv
