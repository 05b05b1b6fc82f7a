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
// DOUBLE-BUFFER extension, or a pixmap the size of the window where the server lacks it.
enum class back_buffer_kind { none, xdbe, pixmap };

// -wc colours lines in this many steps of w, from the line colour to the far colour.
inline constexpr int depth_step_count = 12;

struct display_state {
  Display* display;
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
  // Zero, empty and none without -bb and -wc: then nothing below takes part in a frame.
  back_buffer_kind back_buffer;    // -bb; drawable then names the buffer
  std::vector<GC> depth_gcs;       // -wc: one per step of w, nearest first
  std::vector<XSegment> by_depth;  // -wc: this frame's segments grouped by step, nearest first
  std::vector<std::uint8_t> steps; // -wc: each line's step this frame
};

void connect_display(display_state& state, const viewer_settings& settings,
                     const object_record& object);
void read_window_size(display_state& state);
void follow_resize(display_state& state, viewer_settings& settings, object_record& object);
void erase_previous(display_state& state, const viewer_settings& settings,
                    const object_record& object);
void draw_current(display_state& state, const viewer_settings& settings,
                  const object_record& object);

} // namespace zorv
