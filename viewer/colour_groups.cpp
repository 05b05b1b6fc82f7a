#include "colour_groups.hpp"

#include "fatal.hpp"

#include <algorithm>
#include <new>

namespace zorv {

bool shows_file_colours(const object_record& object, bool line_colour_given, bool depth_cueing) {
  return !object.colours.empty() && !line_colour_given && !depth_cueing;
}

void group_by_colour(colour_groups& groups, const object_record& object) {
  groups.order.clear();
  groups.starts.clear();
  if (object.colours.empty()) return;
  const std::size_t line_colour_group = object.colours.size();
  const auto group_of = [&](std::size_t j) -> std::size_t {
    const std::uint32_t c = j < object.line_colours.size() ? object.line_colours[j] : no_colour;
    return c < line_colour_group ? c : line_colour_group;
  };
  try {
    groups.starts.assign(line_colour_group + 2, 0);
    for (std::size_t j = 0; j < object.lines.size(); ++j) ++groups.starts[group_of(j) + 1];
    for (std::size_t k = 1; k < groups.starts.size(); ++k) groups.starts[k] += groups.starts[k - 1];
    std::vector<std::size_t> next(groups.starts.begin(), groups.starts.end() - 1);
    groups.order.resize(object.lines.size());
    for (std::size_t j = 0; j < object.lines.size(); ++j)
      groups.order[next[group_of(j)]++] = static_cast<std::uint32_t>(j);
  } catch (const std::bad_alloc&) {
    die_of_memory();
  }
}

void gather_by_colour(const colour_groups& groups, std::span<const XSegment> segments,
                      std::span<XSegment> grouped) {
  const std::size_t total = std::min({groups.order.size(), segments.size(), grouped.size()});
  for (std::size_t i = 0; i < total; ++i) {
    const std::uint32_t j = groups.order[i];
    grouped[i] = j < segments.size() ? segments[j] : XSegment{};
  }
}

} // namespace zorv
