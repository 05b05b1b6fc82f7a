#include "depth.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zorv {
namespace {

// Maps a line's mean w to its step: the frame's largest w to step 0, its smallest to the last.
struct depth_scale {
  float largest;
  float steps_per_unit; // 0 when all points share one w (or none is a number)
};

depth_scale depth_scale_of(const object_record& object) {
  const std::size_t total =
      std::min(object.projected.size(), static_cast<std::size_t>(std::max(object.point_count, 0)));
  float largest = -std::numeric_limits<float>::infinity();
  float smallest = std::numeric_limits<float>::infinity();
  for (std::size_t i = 0; i < total; ++i) {
    const float w = object.projected[i].w;
    largest = std::max(largest, w); // a NaN is passed over
    smallest = std::min(smallest, w);
  }
  const float range = largest - smallest;
  const float per_unit = static_cast<float>(depth_step_count) / range;
  return {largest, range > 0.0f && std::isfinite(per_unit) ? per_unit : 0.0f};
}

// Written so that a NaN or an infinity gives a step in range without converting it.
int depth_step(const depth_scale& scale, float mean_w) {
  const float step = (scale.largest - mean_w) * scale.steps_per_unit;
  if (!(step > 0.0f)) return 0;
  return step < static_cast<float>(last_depth_step) ? static_cast<int>(step) : last_depth_step;
}

} // namespace

unsigned short blended(unsigned short near, unsigned short far, int k) {
  return static_cast<unsigned short>(near + (int{far} - int{near}) * k / last_depth_step);
}

depth_runs group_by_depth(std::span<const XSegment> segments, const object_record& object,
                          std::span<XSegment> by_depth, std::span<std::uint8_t> steps) {
  const depth_scale scale = depth_scale_of(object);
  const std::size_t total = std::min({by_depth.size(), steps.size(), segments.size()});
  // The loader has checked every index against the point list; a segment without a line (there
  // is none after a successful load) goes to the nearest step.
  const std::size_t with_lines = std::min(total, object.lines.size());
  depth_runs starts{};
  for (std::size_t j = 0; j < total; ++j) {
    int step = 0;
    if (j < with_lines) {
      const line& l = object.lines[j];
      const float w1 = object.projected[static_cast<std::size_t>(l.first)].w;
      const float w2 = object.projected[static_cast<std::size_t>(l.second)].w;
      step = depth_step(scale, (w1 + w2) * 0.5f);
    }
    steps[j] = static_cast<std::uint8_t>(step);
    ++starts[static_cast<std::size_t>(step) + 1];
  }
  for (int k = 0; k < depth_step_count; ++k) starts[k + 1] += starts[k];
  std::array<std::size_t, depth_step_count> next{};
  std::copy(starts.begin(), starts.end() - 1, next.begin());
  for (std::size_t j = 0; j < total; ++j) by_depth[next[steps[j]]++] = segments[j];
  return starts;
}

} // namespace zorv
