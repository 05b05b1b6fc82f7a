// The viewer's geometry: scale, rotate and project the object's points and turn its lines into
// the segment list of one frame. All per-point arithmetic is single precision.
#pragma once

#include "colour_groups.hpp"
#include "object.hpp"
#include "view.hpp"

#include <X11/Xlib.h>

#include <cstdint>
#include <span>
#include <vector>

namespace zorv {

// The side of the viewer's window, and of a picture, unless -geometry gives another.
inline constexpr std::int32_t default_window_side = 650;

struct window_geometry {
  std::int32_t window_width;
  std::int32_t window_height;
  std::int32_t centre_x; // window_width / 2, truncated
  std::int32_t centre_y; // window_height / 2, truncated
};

// Sets the window geometry for a size: centres at the truncated halves.
void store_size(window_geometry& geometry, int width, int height);

// X allows sides up to 65535, so the area needs 64 bits (46341 x 46341 already overflows 32).
std::int64_t window_area(const window_geometry& geometry);

// The lists a frame is made in, one entry per line, allocated once at start-up: the segments
// that build_frame fills, the previous frame's segments that the plain window draws over to erase
// them, with -wc the segments grouped by depth step and each line's step, and in the file's
// colours the lines' groups and the segments gathered by them.
struct frame_lists {
  std::vector<XSegment> segments;
  std::vector<XSegment> erased;
  std::vector<XSegment> by_depth;
  std::vector<std::uint8_t> steps;
  colour_groups groups; // empty unless the frame shows the file's colours
  std::vector<XSegment> by_colour;
};

// Ends the process with the allocation message of the list that cannot be had. by_colour is
// allocated where the groups are not empty.
void allocate_frame_lists(frame_lists& lists, std::int32_t line_count, bool depth_cueing);

void rotate_pair(float& a, float& b, float sine, float cosine);
point transform_point(const object_record& object, point p);
void project_point(const view_record& view, point& p);
void store_segment(std::span<XSegment> segments, std::int32_t j, std::int32_t x1, std::int32_t y1,
                   std::int32_t x2, std::int32_t y2);
void build_frame(object_record& object, const view_record& view, const window_geometry& geometry,
                 std::span<XSegment> segments);
void refresh_trig(object_record& object);

} // namespace zorv
