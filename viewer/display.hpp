// The display state: the X connection, the window, its colours and the segment lists.
#pragma once

#include "geometry.hpp"
#include "object.hpp"
#include "settings.hpp"

#include <X11/Xlib.h>

#include <cstdint>
#include <vector>

namespace zorv {

// Where -bb draws a frame before showing it: nowhere without -bb, a back buffer of the
// DOUBLE-BUFFER extension, or a pixmap the size of the window where the server lacks it. A
// buffer that the server could not keep (a resize beyond its memory) is lost: frames go
// straight to the cleared window until the next resize brings a buffer again.
enum class back_buffer_kind { none, xdbe, pixmap, lost };

// -wc colours lines in this many steps of w, from the line colour to the far colour.
inline constexpr int depth_step_count = 12;

// Where a frame's segments go once they are made: the viewer's X window.
enum class frame_target { window };

struct display_state {
  Display* display;
  int screen; // the display name's screen, where the window and its colours live
  Window root;
  Colormap colormap;
  GC gc;
  Window window;
  Drawable drawable;
  unsigned long line_pixel;       // 0 until allocated
  unsigned long background_pixel; // 0 until allocated
  XWindowAttributes attributes;
  std::vector<XSegment> segments; // this frame, filled by build_frame
  std::vector<XSegment> erased;   // the previous frame's segments, drawn over to erase them
  window_geometry geometry;
  frame_target target;
  // Zero, empty and none without -bb and -wc: then nothing below takes part in a frame.
  back_buffer_kind back_buffer;    // -bb; drawable then names the buffer
  std::vector<GC> depth_gcs;       // -wc: one per step of w, nearest first
  std::vector<XSegment> by_depth;  // -wc: this frame's segments grouped by step, nearest first
  std::vector<std::uint8_t> steps; // -wc: each line's step this frame
};

struct viewer;

// Opens the display named in the settings and the viewer's window on the display's screen, with
// its colours, graphics context and segment lists. Ends the process on a failure.
void connect_display(viewer& v);

// Frees what the process otherwise keeps until it ends (GCs, back buffer) and closes the
// connection.
void disconnect_display(viewer& v);

void read_window_size(display_state& state);
void follow_resize(viewer& v);

// Takes the events already read from the connection off Xlib's queue, without a round trip, so
// that it never grows; ends the process with status 0 if the window has been destroyed. With -i
// each event then goes to take_input.
void read_events(viewer& v);

// Reads what the server has sent, then the events as read_events does. A connection that the
// server closed ends the process through Xlib's handler for a lost connection.
void read_connection(viewer& v);

void erase_previous(viewer& v);
void draw_current(viewer& v);

// Puts the frame in the segment list where the viewer draws: follows a resize, erases the
// previous frame and draws this one.
void show_frame(viewer& v);

} // namespace zorv
