// The display state: the X connection, the window, its colours and the segment lists.
#pragma once

#include "depth.hpp"
#include "geometry.hpp"
#include "object.hpp"
#include "picture.hpp"
#include "settings.hpp"

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <vector>

namespace zorv {

// Where -bb draws a frame before showing it: nowhere without -bb, a back buffer of the
// DOUBLE-BUFFER extension, or a pixmap the size of the window where the server lacks it. A
// buffer that the server could not keep (a resize beyond its memory) is lost: frames go
// straight to the cleared window until the next resize brings a buffer again.
enum class back_buffer_kind { none, xdbe, pixmap, lost };

// The side of the viewer's window, and of a picture, unless -geometry gives another.
inline constexpr std::int32_t default_window_side = 650;

// Where a frame's segments go once they are made: the viewer's X window, drawn by the server; a
// picture file (-o), with no display at all; or the window showing the frame drawn as a picture
// (-aa).
enum class frame_target { window, picture, smooth_window };

// -aa: the image that carries a frame's pixels to the window, in memory shared with the server
// (MIT-SHM) where it can attach it, in the viewer's own memory otherwise. Its pixels are those of
// the display's picture.
struct window_image {
  XImage* image = nullptr; // nullptr while no image could be made (frames are then not shown)
  XShmSegmentInfo segment{};
  bool shared = false;
};

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
  picture_state picture;           // -o and -aa: the frame drawn as a picture
  picture_output output;           // -o
  window_image image;              // -aa
  // A host's window (-root, -window-id): zorv neither made it nor changes it, and it has a
  // background of its own, so clearing it means filling it with the background colour.
  bool foreign_window;
};

struct viewer;

// Opens the display named in the settings and the viewer's window on the display's screen, or
// takes the host's window that the settings name (-window-id, -root) on whatever screen it is,
// with the colours, graphics context and segment lists. Ends the process on a failure.
void connect_display(viewer& v);

// Frees what the process otherwise keeps until it ends (GCs, back buffer) and closes the
// connection.
void disconnect_display(viewer& v);

void read_window_size(display_state& state);
void follow_resize(viewer& v);

// Sets the window geometry for a size: centres at the truncated halves.
void store_size(window_geometry& geometry, int width, int height);

// A window or picture that starts at a size of its own (-geometry) frames the object as a window
// resized from default_window_side square to that size does: scale and distances follow it,
// unless -ns is given.
void follow_start_size(viewer& v);

// The segment lists of a frame (and, with -wc, of its depth steps), one entry per line; ends
// the process with the allocation message if they cannot be had.
void allocate_frame_lists(viewer& v);

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
