// -wc: the steps of w that colour each line, the same for the window and for a picture. A
// frame's lines are grouped by the mean w of their ends into depth_step_count steps, the frame's
// largest w (nearest the eye) being step 0; each step has a colour blended from the line colour
// to the far colour, and far steps are drawn first so that nearer lines cover farther ones.
#pragma once

#include "object.hpp"

#include <X11/Xlib.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace zorv {

// -wc colours lines in this many steps of w, from the line colour to the far colour.
inline constexpr int depth_step_count = 12;
inline constexpr int last_depth_step = depth_step_count - 1;

// Step k of the blend of one 16-bit X colour channel from the near colour (step 0) to the far
// one (the last step).
unsigned short blended(unsigned short near, unsigned short far, int k);

// Where each step's run of segments begins in the grouped list; the last entry is its end.
using depth_runs = std::array<std::size_t, depth_step_count + 1>;

// Groups the frame's segments by step into by_depth, nearest first, noting each line's step in
// steps (a counting sort in lists made at start-up, each as long as segments).
depth_runs group_by_depth(std::span<const XSegment> segments, const object_record& object,
                          std::span<XSegment> by_depth, std::span<std::uint8_t> steps);

} // namespace zorv
