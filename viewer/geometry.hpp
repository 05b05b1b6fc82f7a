// The viewer's geometry: scale, rotate and project the object's points and turn its lines into
// the segment list of one frame. All per-point arithmetic is single precision.
#pragma once

#include "object.hpp"
#include "settings.hpp"

#include <X11/Xlib.h>

#include <cstdint>
#include <span>

namespace zorv {

struct window_geometry {
  std::int32_t window_width;
  std::int32_t window_height;
  std::int32_t centre_x; // window_width / 2, truncated
  std::int32_t centre_y; // window_height / 2, truncated
};

void rotate_pair(float& a, float& b, float sine, float cosine);
point transform_point(const object_record& object, point p);
void project_point(const viewer_settings& settings, point& p);
void store_segment(std::span<XSegment> segments, std::int32_t j, std::int32_t x1, std::int32_t y1,
                   std::int32_t x2, std::int32_t y2);
void build_frame(object_record& object, const viewer_settings& settings,
                 const window_geometry& geometry, std::span<XSegment> segments);
void refresh_trig(object_record& object);

} // namespace zorv
