// The display state: the X connection, the window, its colours and the segment lists.
#pragma once

#include "geometry.hpp"
#include "object.hpp"
#include "settings.hpp"

#include <X11/Xlib.h>

#include <vector>

namespace zorv {

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
