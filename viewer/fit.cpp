// Every finite float squared and summed over four axes stays far inside double's range (4 x
// (2 x 3.4e38)^2 is about 2e78), so neither the box, the distance nor the scale can overflow,
// and a box of zero size is the one case that is not divided by.
#include "fit.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace zorv {
namespace {

using coordinates = std::array<double, axis_count>;

coordinates coordinates_of(const point& p) {
  return {p.x, p.y, p.z, p.w};
}

// The centre of the box of the finite coordinates, axis by axis; 0 on an axis without one.
coordinates box_centre(const std::vector<point>& points) {
  coordinates least;
  coordinates most;
  least.fill(std::numeric_limits<double>::infinity());
  most.fill(-std::numeric_limits<double>::infinity());
  for (const point& p : points) {
    const coordinates c = coordinates_of(p);
    for (int a = 0; a < axis_count; ++a) {
      if (!std::isfinite(c[a])) continue;
      least[a] = std::min(least[a], c[a]);
      most[a] = std::max(most[a], c[a]);
    }
  }
  coordinates centre{};
  for (int a = 0; a < axis_count; ++a)
    if (least[a] <= most[a]) centre[a] = least[a] / 2 + most[a] / 2;
  return centre;
}

// The largest distance from the centre, over the finite coordinates of each point.
double farthest_distance(const std::vector<point>& points, const coordinates& centre) {
  double farthest = 0;
  for (const point& p : points) {
    const coordinates c = coordinates_of(p);
    double squared = 0;
    for (int a = 0; a < axis_count; ++a)
      if (std::isfinite(c[a])) squared += (c[a] - centre[a]) * (c[a] - centre[a]);
    farthest = std::max(farthest, squared);
  }
  return std::sqrt(farthest);
}

float fitted(float value, double centre, double distance) {
  if (!std::isfinite(value)) return value;
  return static_cast<float>((static_cast<double>(value) - centre) / distance);
}

} // namespace

void fit_object(object_record& object) {
  const coordinates centre = box_centre(object.points);
  const double distance = farthest_distance(object.points, centre);
  const double divisor = distance > 0 ? distance : 1;
  for (point& p : object.points) {
    p.x = fitted(p.x, centre[0], divisor);
    p.y = fitted(p.y, centre[1], divisor);
    p.z = fitted(p.z, centre[2], divisor);
    p.w = fitted(p.w, centre[3], divisor);
  }
}

} // namespace zorv
