// The file's colours in a frame: the lines grouped by colour once at start-up, so that each frame
// draws every colour's segments together, one run a colour, in the window and in pictures alike.
#pragma once

#include "object.hpp"

#include <X11/Xlib.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zorv {

// The lines in the order their colours are drawn: group k < colours.size() holds the lines of
// object.colours[k], the last group the lines that take the line colour. Empty when the frame is
// not drawn in the file's colours.
struct colour_groups {
  std::vector<std::uint32_t> order;  // line indices, group after group
  std::vector<std::size_t> starts;   // group k is order[starts[k]] to order[starts[k + 1]]
};

// Whether a frame shows the file's colours: the file has some, and neither -lc (every line in the
// line colour) nor -wc (depth from the line colour) was given.
bool shows_file_colours(const object_record& object, bool line_colour_given, bool depth_cueing);

// Groups the object's lines by colour, a stable counting sort; an empty record for an object
// without colours. Ends the process with the allocation message where memory runs out.
void group_by_colour(colour_groups& groups, const object_record& object);

// Copies the frame's segments into grouped in the groups' order (lists as long as the lines).
void gather_by_colour(const colour_groups& groups, std::span<const XSegment> segments,
                      std::span<XSegment> grouped);

} // namespace zorv
