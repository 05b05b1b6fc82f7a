// The frame is three passes: transform every point, project every point (with perspective), then
// turn every line into a segment. The user's turn (-i), where there is one, is a pass of its own
// after the first (frame_bench times the two steps in one loop at 1.3 times the two passes); the
// frame chooses once whether to make it, so a frame without it does exactly what a frame without
// -i does. The per-point passes keep their constants in locals and do nothing but single-precision
// arithmetic in a fixed order, so the compiler can run several points at once without changing a
// bit of the result (contraction into fused multiply-add is off for the whole build). The line
// pass converts without a check when a count over the points shows that every pixel fits in 16
// bits, which is the usual case; otherwise it clips line by line.
#include "geometry.hpp"

#include "fatal.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <new>
#include <stdexcept>

namespace zorv {
namespace {

// One entry per line, zero-filled. A negative count cannot be allocated, like any other
// impossible size.
template <typename entry> bool allocate_entries(std::vector<entry>& list, std::int32_t count) {
  if (count < 0) return false;
  try {
    list.assign(static_cast<std::size_t>(count), entry{});
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

// The smallest depth a point is divided by. The comparison is made in double precision and the
// replacement is the single-precision value; a NaN depth compares false and stays NaN.
constexpr double depth_floor = 3.4e-35;
constexpr float depth_floor_single = 3.4e-35f;

// XSegment coordinates are 16-bit; segments are clipped to this square before conversion.
constexpr float pixel_min = -32768.0f;
constexpr float pixel_max = 32767.0f;

// Where a segment with nothing to show goes: zero length, in the far corner of the 16-bit plane.
// Window pixels have coordinates of 0 and up, and an X line width is a 16-bit count, so no line or
// cap drawn there reaches a window pixel (and a zero-length wide line with CapButt draws nothing).
constexpr std::int32_t hidden_coordinate = -32768;

// The object's transform, copied out of the record once per frame.
struct transform_terms {
  std::array<float, axis_count> scale;
  std::array<float, axis_count> offset;
  std::array<float, plane_count> sine;
  std::array<float, plane_count> cosine;
};

struct projection_terms {
  float w_distance;
  float z_distance;
  float w_reciprocal;
  float z_reciprocal;
};

// The window geometry as the single-precision values the pixel mapping adds.
struct pixel_terms {
  float centre_x;
  float centre_y;
  float height;
};

transform_terms transform_terms_of(const object_record& object) {
  transform_terms terms{object.scale, object.offset, {}, {}};
  for (int k = 0; k < plane_count; ++k) {
    terms.sine[k] = object.planes[k].sine;
    terms.cosine[k] = object.planes[k].cosine;
  }
  return terms;
}

projection_terms projection_terms_of(const view_record& view) {
  return {view.w_distance, view.z_distance, 1.0f / view.w_distance, 1.0f / view.z_distance};
}

pixel_terms pixel_terms_of(const window_geometry& geometry) {
  return {static_cast<float>(geometry.centre_x), static_cast<float>(geometry.centre_y),
          static_cast<float>(geometry.window_height)};
}

// Writes through a reference rather than returning a point: a returned four-float record keeps
// clang from vectorising the loops.
inline void transform_into(const transform_terms& t, const point& p, point& out) {
  float x = t.scale[0] * p.x + t.offset[0];
  float y = t.scale[1] * p.y + t.offset[1];
  float z = t.scale[2] * p.z + t.offset[2];
  float w = t.scale[3] * p.w + t.offset[3];
  rotate_pair(x, y, t.sine[xy], t.cosine[xy]);
  rotate_pair(x, z, t.sine[xz], t.cosine[xz]);
  rotate_pair(y, z, t.sine[yz], t.cosine[yz]);
  rotate_pair(x, w, t.sine[xw], t.cosine[xw]);
  rotate_pair(y, w, t.sine[yw], t.cosine[yw]);
  rotate_pair(z, w, t.sine[zw], t.cosine[zw]);
  out.x = x;
  out.y = y;
  out.z = z;
  out.w = w;
}

// The user's turn, on a point as the six planes left it: each coordinate is the sum of the row's
// four products, added from the left.
inline void turn_in_place(const turn_matrix& m, point& p) {
  const float x = p.x;
  const float y = p.y;
  const float z = p.z;
  const float w = p.w;
  p.x = m[0][0] * x + m[0][1] * y + m[0][2] * z + m[0][3] * w;
  p.y = m[1][0] * x + m[1][1] * y + m[1][2] * z + m[1][3] * w;
  p.z = m[2][0] * x + m[2][1] * y + m[2][2] * z + m[2][3] * w;
  p.w = m[3][0] * x + m[3][1] * y + m[3][2] * z + m[3][3] * w;
}

inline float floored_depth(float depth) {
  return static_cast<double>(depth) < depth_floor ? depth_floor_single : depth;
}

// Both depth factors come from the point as transformed, before either division.
inline void project_in_place(const projection_terms& t, point& p) {
  const float fw = t.w_reciprocal * floored_depth(t.w_distance - p.w);
  const float fz = t.z_reciprocal * floored_depth(t.z_distance - p.z);
  p.x = p.x / fw / fz;
  p.y = p.y / fw / fz;
  p.z = p.z / fw;
}

// Whether a point in pixels lies inside the 16-bit square (a NaN does not). Free of branches, so
// that loops counting with it can be vectorised.
template <typename number> bool pixel_fits(number x, number y) {
  return (x >= pixel_min) & (x <= pixel_max) & (y >= pixel_min) & (y <= pixel_max);
}

// One edge of the 16-bit square, seen from a segment: the rate at which the segment moves out
// through it, the first end's room inside it, and the coordinate it bounds.
struct edge_crossing {
  double outward;
  double room;
  bool bounds_x;
  double bound;
};

// Puts an end cut at an edge exactly onto that edge (the arithmetic may leave it a hair off).
void onto_edge(const edge_crossing* edge, double& x, double& y) {
  if (edge != nullptr) (edge->bounds_x ? x : y) = edge->bound;
  x = std::clamp<double>(x, pixel_min, pixel_max);
  y = std::clamp<double>(y, pixel_min, pixel_max);
}

// Cuts the segment down to its part inside the 16-bit square; false when no part is inside or an
// end is not a finite number. An end inside the square is kept exactly, and the segment is
// measured from such an end, so a cut end is accurate to far below a pixel. (With both ends
// outside, the double-precision error is still far below the rounding the ends already carry.)
bool clip_to_pixel_range(double& x1, double& y1, double& x2, double& y2) {
  if (!(std::isfinite(x1) && std::isfinite(y1) && std::isfinite(x2) && std::isfinite(y2)))
    return false;
  if (!pixel_fits(x1, y1) && pixel_fits(x2, y2)) return clip_to_pixel_range(x2, y2, x1, y1);
  const double dx = x2 - x1;
  const double dy = y2 - y1;
  const std::array<edge_crossing, 4> edges{{{-dx, x1 - pixel_min, true, pixel_min},
                                            {dx, pixel_max - x1, true, pixel_max},
                                            {-dy, y1 - pixel_min, false, pixel_min},
                                            {dy, pixel_max - y1, false, pixel_max}}};
  // The segment is inside between the parameters enter and leave (0 at the first end, 1 at the
  // second).
  double enter = 0.0;
  double leave = 1.0;
  const edge_crossing* enter_edge = nullptr;
  const edge_crossing* leave_edge = nullptr;
  for (const edge_crossing& edge : edges) {
    if (edge.outward == 0.0) {
      if (edge.room < 0.0) return false;
      continue;
    }
    const double t = edge.room / edge.outward;
    if (edge.outward < 0.0 && t > enter) {
      enter = t;
      enter_edge = &edge;
    } else if (edge.outward > 0.0 && t < leave) {
      leave = t;
      leave_edge = &edge;
    }
  }
  if (enter > leave) return false;
  if (!pixel_fits(x2, y2)) {
    x2 = x1 + leave * dx;
    y2 = y1 + leave * dy;
    onto_edge(leave_edge, x2, y2);
  }
  if (!pixel_fits(x1, y1)) {
    x1 += enter * dx;
    y1 += enter * dy;
    onto_edge(enter_edge, x1, y1);
  }
  return true;
}

// The rare segment with an end beyond 16 bits: drawn as far as it is inside, or hidden.
void store_clipped_segment(std::span<XSegment> segments, std::int32_t j, double x1, double y1,
                           double x2, double y2) {
  if (clip_to_pixel_range(x1, y1, x2, y2)) {
    store_segment(segments, j, static_cast<std::int32_t>(x1), static_cast<std::int32_t>(y1),
                  static_cast<std::int32_t>(x2), static_cast<std::int32_t>(y2));
  } else {
    store_segment(segments, j, hidden_coordinate, hidden_coordinate, hidden_coordinate,
                  hidden_coordinate);
  }
}

// A point in pixels: the origin at the window centre, x growing to the right and y upwards.
inline float pixel_x(const pixel_terms& t, const point& p) {
  return p.x + t.centre_x;
}
inline float pixel_y(const pixel_terms& t, const point& p) {
  return t.height - (p.y + t.centre_y);
}

// How many points lie beyond the 16-bit square in pixels (or are not numbers).
std::size_t count_unfitting(const pixel_terms& t, const point* projected, std::size_t total) {
  std::size_t unfitting = 0;
  for (std::size_t i = 0; i < total; ++i)
    unfitting += !pixel_fits(pixel_x(t, projected[i]), pixel_y(t, projected[i]));
  return unfitting;
}

// Every line, truncated toward zero; all ends are known to fit in 16 bits.
void store_lines(std::span<XSegment> segments, const pixel_terms& t, const point* projected,
                 const line* lines, std::int32_t line_total) {
  for (std::int32_t j = 0; j < line_total; ++j) {
    const point& a = projected[lines[j].first];
    const point& b = projected[lines[j].second];
    store_segment(segments, j, static_cast<std::int32_t>(pixel_x(t, a)),
                  static_cast<std::int32_t>(pixel_y(t, a)),
                  static_cast<std::int32_t>(pixel_x(t, b)),
                  static_cast<std::int32_t>(pixel_y(t, b)));
  }
}

// Every line, when some end may lie beyond 16 bits: such lines are clipped or hidden.
void store_lines_clipped(std::span<XSegment> segments, const pixel_terms& t, const point* projected,
                         const line* lines, std::int32_t line_total) {
  for (std::int32_t j = 0; j < line_total; ++j) {
    const point& a = projected[lines[j].first];
    const point& b = projected[lines[j].second];
    const float x1 = pixel_x(t, a);
    const float y1 = pixel_y(t, a);
    const float x2 = pixel_x(t, b);
    const float y2 = pixel_y(t, b);
    if (pixel_fits(x1, y1) && pixel_fits(x2, y2)) {
      store_segment(segments, j, static_cast<std::int32_t>(x1), static_cast<std::int32_t>(y1),
                    static_cast<std::int32_t>(x2), static_cast<std::int32_t>(y2));
    } else {
      store_clipped_segment(segments, j, x1, y1, x2, y2);
    }
  }
}

// A negative count means no entries; a count beyond the storage is cut to it.
std::size_t usable_count(std::int32_t count, std::size_t storage) {
  assert(count <= 0 || static_cast<std::size_t>(count) <= storage);
  return count > 0 ? std::min(static_cast<std::size_t>(count), storage) : 0;
}

} // namespace

void rotate_pair(float& a, float& b, float sine, float cosine) {
  const float new_a = a * cosine - b * sine;
  b = a * sine + b * cosine;
  a = new_a;
}

point transform_point(const object_record& object, point p) {
  point out;
  transform_into(transform_terms_of(object), p, out);
  return out;
}

void project_point(const view_record& view, point& p) {
  project_in_place(projection_terms_of(view), p);
}

// The low 16 bits of each value (the conversion to a 16-bit integer is modular).
void store_segment(std::span<XSegment> segments, std::int32_t j, std::int32_t x1, std::int32_t y1,
                   std::int32_t x2, std::int32_t y2) {
  assert(j >= 0 && static_cast<std::size_t>(j) < segments.size());
  segments[static_cast<std::size_t>(j)] = {static_cast<short>(x1), static_cast<short>(y1),
                                           static_cast<short>(x2), static_cast<short>(y2)};
}

void build_frame(object_record& object, const view_record& view, const window_geometry& geometry,
                 std::span<XSegment> segments) {
  const std::size_t point_total =
      usable_count(object.point_count, std::min(object.points.size(), object.projected.size()));
  const point* source = object.points.data();
  point* projected = object.projected.data();

  const transform_terms transform = transform_terms_of(object);
  for (std::size_t i = 0; i < point_total; ++i) transform_into(transform, source[i], projected[i]);

  if (object.turned) {
    const turn_matrix turn = object.turn;
    for (std::size_t i = 0; i < point_total; ++i) turn_in_place(turn, projected[i]);
  }

  if (view.perspective && point_total > 0) {
    const projection_terms projection = projection_terms_of(view);
    for (std::size_t i = 0; i < point_total; ++i) project_in_place(projection, projected[i]);
  }

  // The loader has checked every index against the point list.
  const auto line_total = static_cast<std::int32_t>(
      usable_count(object.line_count, std::min(object.lines.size(), segments.size())));
  const line* lines = object.lines.data();
#ifndef NDEBUG
  for (std::int32_t j = 0; j < line_total; ++j)
    assert(std::max(lines[j].first, lines[j].second) < static_cast<std::int64_t>(point_total) &&
           std::min(lines[j].first, lines[j].second) >= 0);
#endif
  // Only a frame with a point beyond the 16-bit range (far behind a perspective distance, or
  // scaled far up) pays for checking and clipping line by line.
  const pixel_terms pixels = pixel_terms_of(geometry);
  if (count_unfitting(pixels, projected, point_total) == 0)
    store_lines(segments, pixels, projected, lines, line_total);
  else
    store_lines_clipped(segments, pixels, projected, lines, line_total);
}

void store_size(window_geometry& geometry, int width, int height) {
  geometry.window_width = width;
  geometry.window_height = height;
  geometry.centre_x = width / 2;
  geometry.centre_y = height / 2;
}

std::int64_t window_area(const window_geometry& geometry) {
  return std::int64_t{geometry.window_width} * geometry.window_height;
}

void allocate_frame_lists(frame_lists& lists, std::int32_t line_count, bool depth_cueing) {
  if (!allocate_entries(lists.segments, line_count))
    die(exit_status::failure, "ZORV: could not allocate segment stucture.\n");
  if (!allocate_entries(lists.erased, line_count))
    die(exit_status::failure, "ZORV: could not allocate erase segment structure.\n");
  if (depth_cueing &&
      (!allocate_entries(lists.by_depth, line_count) || !allocate_entries(lists.steps, line_count)))
    die(exit_status::failure, "ZORV: could not allocate depth segment structure.\n");
  if (!lists.groups.order.empty() && !allocate_entries(lists.by_colour, line_count))
    die(exit_status::failure, "ZORV: could not allocate colour segment structure.\n");
}

void refresh_trig(object_record& object) {
  for (plane_record& plane : object.planes) {
    const double angle = plane.angle;
    plane.sine = static_cast<float>(std::sin(angle));
    plane.cosine = static_cast<float>(std::cos(angle));
  }
}

} // namespace zorv
