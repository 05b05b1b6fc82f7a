// The object record: one four-dimensional wireframe object as the viewer holds it. The readers
// that fill it from a file are zorv_file.hpp and off.hpp; load.hpp chooses between them.
#pragma once

#include "colours.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zorv {

// The six rotation planes, always in this order.
enum plane_index : int { xy, xz, yz, xw, yw, zw };
inline constexpr int plane_count = 6;
inline constexpr int axis_count = 4;

struct plane_record {
  float angle;  // radians; grows by its increment, and is brought back by whole turns beyond 4 pi
  float sine;   // single-precision sine of angle
  float cosine; // single-precision cosine of angle
};

struct point {
  float x, y, z, w;
};

// Zero-based indices into the point list.
struct line {
  std::int32_t first, second;
};

// A line that the file gives no colour: it is drawn in the line colour.
inline constexpr std::uint32_t no_colour = 0xffffffff;

inline constexpr std::size_t name_size = 32; // 31 characters and a terminating zero

// A rotation of 4-space as a matrix, row by row: a point (x, y, z, w) becomes the products of
// each row with it.
using turn_matrix = std::array<std::array<float, axis_count>, axis_count>;

struct object_record {
  std::array<plane_record, plane_count> planes;
  std::array<float, axis_count> scale;  // x, y, z, w
  std::array<float, axis_count> offset; // added after scaling; stays 0
  std::vector<point> points;            // as read from the file (and fitted), never changed
  std::vector<point> projected;         // working copy, rewritten every frame
  std::vector<line> lines;
  // The colours that an OFF or SKEL file gives its lines: each distinct colour once, in the order
  // first met, and by line its index among them or no_colour. Both empty for a file without.
  std::vector<rgb_colour> colours;
  std::vector<std::uint32_t> line_colours;
  std::int32_t point_count;
  std::int32_t line_count;
  char name[name_size];
  // The user's turn (-i), applied after the six planes and before projection. While it is the
  // identity, turned is false and the frame leaves the step out: the frame without -i, bit for bit.
  turn_matrix turn;
  bool turned = false;
};

// Angles 0, sines 0, cosines 1, scale 1 and offset 0 on every axis; no turn of the user's.
void identity_transform(object_record& object);

// Makes the user's turn the identity again.
void clear_turn(object_record& object);

} // namespace zorv
