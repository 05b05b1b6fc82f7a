// The user's hold on the object (-i). Every event comes from Xlib's queue as the frame loop reads
// it, with no round trip of its own, and changes the view for the next frame: the user's turn,
// the scale, the increments or the perspective. A drag turns the view in the screen's frame:
// right and left in xz, down and up in yz, with Shift or the right button in xw and yw instead,
// the side nearest the eye following the hand.
#include "input.hpp"

#include "fatal.hpp"
#include "viewer.hpp"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdlib>

namespace zorv {
namespace {

constexpr double radians_per_degree = 0.017453292519943295; // pi / 180 in double precision
constexpr double radians_per_pixel = degrees_per_pixel * radians_per_degree;

// What the window asks the server for with -i, besides the structure events of every viewer.
constexpr long input_event_mask = ExposureMask | KeyPressMask | ButtonPressMask | ButtonMotionMask;

// The two axes of each plane, in plane order: the first turns towards the second.
constexpr int plane_axes[plane_count][2] = {{0, 1}, {0, 2}, {1, 2}, {0, 3}, {1, 3}, {2, 3}};

exact_turn identity_turn() {
  exact_turn turn{};
  for (int axis = 0; axis < axis_count; ++axis) turn[axis][axis] = 1.0;
  return turn;
}

float rescaled(float value, double factor) {
  return static_cast<float>(static_cast<double>(value) * factor);
}

std::int64_t window_area(const window_geometry& geometry) {
  return std::int64_t{geometry.window_width} * geometry.window_height;
}

// The side nearest the eye follows the hand: a drag to the right turns +z towards +x, a drag
// downwards turns +z towards -y (the window's y grows downwards); the same with w.
void turn_by_drag(viewer& v, int dx, int dy, bool through_w) {
  if (dx != 0) turn_view(v.input, v.object, through_w ? xw : xz, -dx * radians_per_pixel);
  if (dy != 0) turn_view(v.input, v.object, through_w ? yw : yz, dy * radians_per_pixel);
  v.input.changed = true;
}

// Multiplies every entry by the factor, unless that would take a finite entry to infinity, from
// where the way back would not lead to the same view. (Dividing by the factor never reaches zero:
// the smallest single-precision number divided by 1.25 rounds back to itself.)
template <std::size_t count> bool rescale_all(std::array<float, count>& values, double factor) {
  std::array<float, count> result{};
  for (std::size_t i = 0; i < count; ++i) {
    result[i] = rescaled(values[i], factor);
    if (std::isinf(result[i]) && std::isfinite(values[i])) return false;
  }
  values = result;
  return true;
}

// A step of the wheel (+1 in, -1 out) or of the speed keys (+1 faster, -1 slower), counted within
// its limit.
template <std::size_t count>
bool take_step(int& steps, int step, int limit, std::array<float, count>& values, double factor) {
  if (std::abs(steps + step) > limit) return false;
  if (!rescale_all(values, step > 0 ? factor : 1.0 / factor)) return false;
  steps += step;
  return true;
}

void zoom(viewer& v, int notch) {
  if (take_step(v.input.zoom_notches, notch, max_zoom_notches, v.object.scale, zoom_factor))
    v.input.changed = true;
}

void change_speed(viewer& v, int step) {
  take_step(v.input.speed_steps, step, max_speed_steps, v.settings.increments, speed_factor);
}

// Orientation, speed and perspective as at start-up, and the scale and distances as start-up
// would have made them for the window's present size (as a resize with rescaling would have).
void reset_view(viewer& v) {
  input_state& input = v.input;
  const start_view& start = input.start;
  const std::int64_t area = window_area(v.display.geometry);
  const double factor =
      v.settings.rescale_on_resize && start.window_area > 0 && area > 0
          ? std::sqrt(static_cast<double>(area)) / std::sqrt(static_cast<double>(start.window_area))
          : 1.0;
  for (int axis = 0; axis < axis_count; ++axis)
    v.object.scale[axis] = rescaled(start.scale[axis], factor);
  v.settings.w_distance = rescaled(start.w_distance, factor);
  v.settings.z_distance = rescaled(start.z_distance, factor);
  v.settings.increments = start.increments;
  v.settings.perspective = start.perspective;
  for (plane_record& plane : v.object.planes) plane = {0.0f, 0.0f, 1.0f};
  clear_turn(v.object);
  input.zoom_notches = 0;
  input.speed_steps = 0;
  input.changed = true;
}

[[noreturn]] void end_by_user(viewer& v) {
  disconnect_display(v);
  end_process(exit_status::success);
}

void take_key(viewer& v, XKeyEvent& event) {
  char text[8];
  KeySym key = NoSymbol;
  XLookupString(&event, text, sizeof text, &key, nullptr);
  const bool shift = (event.state & ShiftMask) != 0;
  switch (key) {
  case XK_q:
  case XK_Q:
  case XK_Escape:
    end_by_user(v);
  case XK_space:
    v.input.paused = !v.input.paused;
    return;
  case XK_plus:
  case XK_equal: // + without Shift
  case XK_KP_Add:
    change_speed(v, 1);
    return;
  case XK_minus:
  case XK_KP_Subtract:
    change_speed(v, -1);
    return;
  case XK_p:
  case XK_P:
    v.settings.perspective = !v.settings.perspective;
    v.input.changed = true;
    return;
  case XK_r:
  case XK_R:
    reset_view(v);
    return;
  case XK_Left:
    turn_by_drag(v, -arrow_pixels, 0, shift);
    return;
  case XK_Right:
    turn_by_drag(v, arrow_pixels, 0, shift);
    return;
  case XK_Up:
    turn_by_drag(v, 0, -arrow_pixels, shift);
    return;
  case XK_Down:
    turn_by_drag(v, 0, arrow_pixels, shift);
    return;
  default:
    return;
  }
}

void take_press(viewer& v, const XButtonEvent& event) {
  switch (event.button) {
  case Button1:
  case Button3:
    v.input.drag_x = event.x;
    v.input.drag_y = event.y;
    return;
  case Button4:
    zoom(v, 1);
    return;
  case Button5:
    zoom(v, -1);
    return;
  default:
    return;
  }
}

// The server reports motion only while a button is down (ButtonMotionMask).
void take_motion(viewer& v, const XMotionEvent& event) {
  const bool left = (event.state & Button1Mask) != 0;
  const bool right = (event.state & Button3Mask) != 0;
  if (!left && !right) return;
  const int dx = event.x - v.input.drag_x;
  const int dy = event.y - v.input.drag_y;
  v.input.drag_x = event.x;
  v.input.drag_y = event.y;
  turn_by_drag(v, dx, dy, right || (event.state & ShiftMask) != 0);
}

bool is_close_request(const input_state& input, const XClientMessageEvent& event) {
  return event.message_type == input.wm_protocols && event.format == 32 &&
         static_cast<Atom>(event.data.l[0]) == input.wm_delete_window;
}

} // namespace

void prepare_input(viewer& v) {
  input_state& input = v.input;
  input.start = {v.object.scale,        v.settings.w_distance,  v.settings.z_distance,
                 v.settings.increments, v.settings.perspective, window_area(v.display.geometry)};
  clear_turn(v.object);

  display_state& state = v.display;
  XSelectInput(state.display, state.window, StructureNotifyMask | input_event_mask);
  input.wm_protocols = XInternAtom(state.display, "WM_PROTOCOLS", False);
  input.wm_delete_window = XInternAtom(state.display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(state.display, state.window, &input.wm_delete_window, 1);
  // A window manager gives the keyboard to a window that says it takes input.
  XWMHints hints{};
  hints.flags = InputHint;
  hints.input = True;
  XSetWMHints(state.display, state.window, &hints);
}

void take_input(viewer& v, XEvent& event) {
  switch (event.type) {
  case KeyPress:
    take_key(v, event.xkey);
    return;
  case ButtonPress:
    take_press(v, event.xbutton);
    return;
  case MotionNotify:
    take_motion(v, event.xmotion);
    return;
  case Expose:
  case ConfigureNotify:
    v.input.changed = true;
    return;
  case ClientMessage:
    if (is_close_request(v.input, event.xclient)) end_by_user(v);
    return;
  case MappingNotify:
    // The keyboard's layout changed: keys are looked up in the new one.
    XRefreshKeyboardMapping(&event.xmapping);
    return;
  default:
    return;
  }
}

void turn_view(input_state& input, object_record& object, plane_index plane, double radians) {
  // The turn starts from the identity whenever the object has none.
  if (!object.turned) input.turn = identity_turn();
  const int a = plane_axes[plane][0];
  const int b = plane_axes[plane][1];
  const double sine = std::sin(radians);
  const double cosine = std::cos(radians);
  exact_turn& turn = input.turn;
  for (int column = 0; column < axis_count; ++column) {
    const double first = turn[a][column];
    const double second = turn[b][column];
    turn[a][column] = first * cosine - second * sine;
    turn[b][column] = first * sine + second * cosine;
  }
  for (int row = 0; row < axis_count; ++row)
    for (int column = 0; column < axis_count; ++column)
      object.turn[row][column] = static_cast<float>(turn[row][column]);
  object.turned = true;
}

} // namespace zorv
