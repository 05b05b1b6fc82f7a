// The view: what changes while the viewer runs, beside the settings that start-up read. Start-up
// fills it from the settings; a resize, a picture's size and the user's input (-i) change it, and
// the frame reads it. The object record keeps the part of the view that the transform reads: the
// scale of each axis, the angles and the user's turn.
#pragma once

#include "object.hpp"
#include "settings.hpp"

#include <array>
#include <cstdint>

namespace zorv {

// How far the user's zoom and speed steps go (-i).
inline constexpr double zoom_factor = 1.25;  // one notch of the wheel, on every axis's scale
inline constexpr double speed_factor = 1.25; // one + or -, on every increment
// Beyond these the scale or the increments would run into the limits of single precision, where
// the way back would no longer lead to the same view.
inline constexpr int max_zoom_notches = 40;
inline constexpr int max_speed_steps = 20;

// The user's turn as it is composed, in double precision; the object record holds it rounded.
using exact_turn = std::array<std::array<double, axis_count>, axis_count>;

// The view as start-up left it, which reset_view brings back.
struct view_start {
  std::array<float, axis_count> scale;
  float w_distance;
  float z_distance;
  std::array<float, plane_count> increments; // radians per frame
  bool perspective;
  std::int64_t window_area; // of the window or picture when it was first sized
};

struct view_record {
  std::array<float, plane_count> increments; // radians per frame
  float w_distance;
  float z_distance;
  bool perspective;
  bool paused;      // the automatic motion stands still (-i)
  bool changed;     // the view changed after the last frame was made: a paused viewer redraws
  int zoom_notches; // net notches of the wheel, within max_zoom_notches either way
  int speed_steps;  // net presses of + and -, within max_speed_steps either way
  exact_turn turn;  // the user's turn while the object record has one (turned)
  // The angles of the frame on the window: a redraw before the next frame of the schedule (an
  // exposure, the user's input) draws with them, so the motion neither jumps ahead nor speeds up.
  std::array<plane_record, plane_count> shown_planes;
  view_start start;
};

// The view that the settings ask for: the increments in radians, the eye distances and
// perspective; the settings' scale copied into every axis of the object's scale; no turn of the
// user's.
void open_view(view_record& view, object_record& object, const viewer_settings& settings);

// The one rescaling, for a resize, for a window or picture that starts at a size other than
// default_window_side square, and for reset_view: the object keeps its size relative to the
// geometric mean of the sides, so every axis's scale and both eye distances are multiplied by
// sqrt(new_area) / sqrt(old_area), each in double precision and rounded back once.
void rescale_view(view_record& view, object_record& object, std::int64_t old_area,
                  std::int64_t new_area);

// Remembers the view as it stands, in a window or picture of this area, for reset_view.
void remember_start(view_record& view, const object_record& object, std::int64_t window_area);

// Orientation, speed and perspective as at start-up, and the scale and distances as start-up
// would have made them for a window of this area: rescaled from the start's area unless rescale
// is false (-ns).
void reset_view(view_record& view, object_record& object, std::int64_t window_area, bool rescale);

// A notch of the wheel, +1 in or -1 out, on every axis's scale; none beyond max_zoom_notches or
// where a scale would become infinite.
void zoom_view(view_record& view, object_record& object, int notch);

// A step of the speed keys, +1 faster or -1 slower, on every increment, within max_speed_steps.
void change_speed(view_record& view, int step);

// Turns the view by the angle in one plane, after everything turned it so far: in the screen's
// frame, whatever the object's orientation.
void turn_view(view_record& view, object_record& object, plane_index plane, double radians);

} // namespace zorv
