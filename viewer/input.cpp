// Every event comes from Xlib's queue as the frame loop reads it, with no round trip of its own. A
// drag turns the view in the screen's frame: right and left in xz, down and up in yz, with Shift or
// the right button in xw and yw instead, the side nearest the eye following the hand.
#include "input.hpp"

#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace zorv {
namespace {

constexpr double radians_per_degree = 0.017453292519943295; // pi / 180 in double precision
constexpr double radians_per_pixel = degrees_per_pixel * radians_per_degree;

// What the window asks the server for with -i, besides the structure events of every viewer.
constexpr long input_event_mask = ExposureMask | KeyPressMask | ButtonPressMask | ButtonMotionMask;

user_request just(request_kind kind) {
  return {kind, {}};
}

// The side nearest the eye follows the hand: a drag to the right turns +z towards +x, a drag
// downwards turns +z towards -y (the window's y grows downwards); the same with w.
user_request drag_turn(int dx, int dy, bool through_w) {
  user_request request{request_kind::turn, {}};
  if (dx != 0) request.turn[through_w ? xw : xz] = -dx * radians_per_pixel;
  if (dy != 0) request.turn[through_w ? yw : yz] = dy * radians_per_pixel;
  return request;
}

user_request read_key(XKeyEvent& event) {
  char text[8];
  KeySym key = NoSymbol;
  XLookupString(&event, text, sizeof text, &key, nullptr);
  const bool shift = (event.state & ShiftMask) != 0;
  switch (key) {
  case XK_q:
  case XK_Q:
  case XK_Escape:
    return just(request_kind::quit);
  case XK_space:
    return just(request_kind::pause);
  case XK_plus:
  case XK_equal: // + without Shift
  case XK_KP_Add:
    return just(request_kind::faster);
  case XK_minus:
  case XK_KP_Subtract:
    return just(request_kind::slower);
  case XK_p:
  case XK_P:
    return just(request_kind::perspective);
  case XK_r:
  case XK_R:
    return just(request_kind::reset);
  case XK_Left:
    return drag_turn(-arrow_pixels, 0, shift);
  case XK_Right:
    return drag_turn(arrow_pixels, 0, shift);
  case XK_Up:
    return drag_turn(0, -arrow_pixels, shift);
  case XK_Down:
    return drag_turn(0, arrow_pixels, shift);
  default:
    return {};
  }
}

user_request read_press(input_state& input, const XButtonEvent& event) {
  switch (event.button) {
  case Button1:
  case Button3:
    input.drag_x = event.x;
    input.drag_y = event.y;
    return {};
  case Button4:
    return just(request_kind::zoom_in);
  case Button5:
    return just(request_kind::zoom_out);
  default:
    return {};
  }
}

// The server reports motion only while a button is down (ButtonMotionMask).
user_request read_motion(input_state& input, const XMotionEvent& event) {
  const bool left = (event.state & Button1Mask) != 0;
  const bool right = (event.state & Button3Mask) != 0;
  if (!left && !right) return {};
  const int dx = event.x - input.drag_x;
  const int dy = event.y - input.drag_y;
  input.drag_x = event.x;
  input.drag_y = event.y;
  return drag_turn(dx, dy, right || (event.state & ShiftMask) != 0);
}

bool is_close_request(const input_state& input, const XClientMessageEvent& event) {
  return event.message_type == input.wm_protocols && event.format == 32 &&
         static_cast<Atom>(event.data.l[0]) == input.wm_delete_window;
}

} // namespace

void prepare_input(input_state& input, Display* display, Window window) {
  XSelectInput(display, window, StructureNotifyMask | input_event_mask);
  input.wm_protocols = XInternAtom(display, "WM_PROTOCOLS", False);
  input.wm_delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display, window, &input.wm_delete_window, 1);
  // A window manager gives the keyboard to a window that says it takes input.
  XWMHints hints{};
  hints.flags = InputHint;
  hints.input = True;
  XSetWMHints(display, window, &hints);
}

user_request read_request(input_state& input, XEvent& event) {
  switch (event.type) {
  case KeyPress:
    return read_key(event.xkey);
  case ButtonPress:
    return read_press(input, event.xbutton);
  case MotionNotify:
    return read_motion(input, event.xmotion);
  case Expose:
  case ConfigureNotify:
    return just(request_kind::redraw);
  case ClientMessage:
    return is_close_request(input, event.xclient) ? just(request_kind::quit) : user_request{};
  case MappingNotify:
    // The keyboard's layout changed: keys are looked up in the new one.
    XRefreshKeyboardMapping(&event.xmapping);
    return {};
  default:
    return {};
  }
}

} // namespace zorv
