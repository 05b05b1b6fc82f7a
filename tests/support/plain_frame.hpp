// The frame written as plainly as it can be: one loop per stage, the record read at every step,
// the user's turn (-i) tested at every point.
// It is the baseline frame_bench times build_frame against, and the oracle the geometry test
// compares build_frame's output with, bit for bit. Segment ends are truncated plainly, so every
// projected point must stay well inside the 16-bit range.
#pragma once

#include "geometry.hpp"

#include <cstdint>
#include <vector>

namespace zorv {

// The view with perspective and both distances given, nothing else set.
inline view_record plain_view(bool perspective, float w_distance, float z_distance) {
  view_record view{};
  view.perspective = perspective;
  view.w_distance = w_distance;
  view.z_distance = z_distance;
  return view;
}

inline void plain_rotate(float& a, float& b, const plane_record& plane) {
  const float new_a = a * plane.cosine - b * plane.sine;
  b = a * plane.sine + b * plane.cosine;
  a = new_a;
}

// Fills object.projected and the first line_count segments.
inline void plain_frame(object_record& object, const view_record& settings,
                        const window_geometry& window, std::vector<XSegment>& segments) {
  for (std::int32_t i = 0; i < object.point_count; ++i) {
    const point& p = object.points[i];
    float x = object.scale[0] * p.x + object.offset[0];
    float y = object.scale[1] * p.y + object.offset[1];
    float z = object.scale[2] * p.z + object.offset[2];
    float w = object.scale[3] * p.w + object.offset[3];
    plain_rotate(x, y, object.planes[xy]);
    plain_rotate(x, z, object.planes[xz]);
    plain_rotate(y, z, object.planes[yz]);
    plain_rotate(x, w, object.planes[xw]);
    plain_rotate(y, w, object.planes[yw]);
    plain_rotate(z, w, object.planes[zw]);
    if (object.turned) {
      const turn_matrix& m = object.turn;
      const point rotated{x, y, z, w};
      x = m[0][0] * rotated.x + m[0][1] * rotated.y + m[0][2] * rotated.z + m[0][3] * rotated.w;
      y = m[1][0] * rotated.x + m[1][1] * rotated.y + m[1][2] * rotated.z + m[1][3] * rotated.w;
      z = m[2][0] * rotated.x + m[2][1] * rotated.y + m[2][2] * rotated.z + m[2][3] * rotated.w;
      w = m[3][0] * rotated.x + m[3][1] * rotated.y + m[3][2] * rotated.z + m[3][3] * rotated.w;
    }
    object.projected[i] = {x, y, z, w};
  }
  if (settings.perspective && object.point_count > 0) {
    // Depths are raised to this floor before anything is divided by them.
    constexpr double depth_floor = 3.4e-35;
    for (std::int32_t i = 0; i < object.point_count; ++i) {
      point& p = object.projected[i];
      float dw = settings.w_distance - p.w;
      if (static_cast<double>(dw) < depth_floor) dw = static_cast<float>(depth_floor);
      float dz = settings.z_distance - p.z;
      if (static_cast<double>(dz) < depth_floor) dz = static_cast<float>(depth_floor);
      const float fw = (1.0f / settings.w_distance) * dw;
      const float fz = (1.0f / settings.z_distance) * dz;
      p.x = p.x / fw / fz;
      p.y = p.y / fw / fz;
      p.z = p.z / fw;
    }
  }
  for (std::int32_t j = 0; j < object.line_count; ++j) {
    const point& a = object.projected[object.lines[j].first];
    const point& b = object.projected[object.lines[j].second];
    segments[j] = {static_cast<short>(a.x + static_cast<float>(window.centre_x)),
                   static_cast<short>(static_cast<float>(window.window_height) -
                                      (a.y + static_cast<float>(window.centre_y))),
                   static_cast<short>(b.x + static_cast<float>(window.centre_x)),
                   static_cast<short>(static_cast<float>(window.window_height) -
                                      (b.y + static_cast<float>(window.centre_y)))};
  }
}

} // namespace zorv
