#include "view.hpp"

#include <cmath>
#include <cstddef>
#include <cstdlib>

namespace zorv {
namespace {

// The two axes of each plane, in plane order: the first turns towards the second.
constexpr int plane_axes[plane_count][2] = {{0, 1}, {0, 2}, {1, 2}, {0, 3}, {1, 3}, {2, 3}};

exact_turn identity_turn() {
  exact_turn turn{};
  for (int axis = 0; axis < axis_count; ++axis) turn[axis][axis] = 1.0;
  return turn;
}

float rescaled(float value, double factor) {
  return static_cast<float>(static_cast<double>(value) * factor);
}

// Multiplies every entry by the factor, unless that would take a finite entry to infinity, from
// where the way back would not lead to the same view. (Dividing by the factor never reaches zero:
// the smallest single-precision number divided by 1.25 rounds back to itself.)
template <std::size_t count> bool rescale_all(std::array<float, count>& values, double factor) {
  std::array<float, count> result{};
  for (std::size_t i = 0; i < count; ++i) {
    result[i] = rescaled(values[i], factor);
    if (std::isinf(result[i]) && std::isfinite(values[i])) return false;
  }
  values = result;
  return true;
}

// A step of the wheel or of the speed keys, counted within its limit.
template <std::size_t count>
bool take_step(int& steps, int step, int limit, std::array<float, count>& values, double factor) {
  if (std::abs(steps + step) > limit) return false;
  if (!rescale_all(values, step > 0 ? factor : 1.0 / factor)) return false;
  steps += step;
  return true;
}

} // namespace

void open_view(view_record& view, object_record& object, const viewer_settings& settings) {
  view = {};
  view.increments = increments_in_radians(settings.increments);
  view.w_distance = settings.w_distance;
  view.z_distance = settings.z_distance;
  view.perspective = settings.perspective;
  object.scale.fill(settings.scale);
  view.shown_planes = object.planes;
}

void rescale_view(view_record& view, object_record& object, std::int64_t old_area,
                  std::int64_t new_area) {
  const double factor =
      std::sqrt(static_cast<double>(new_area)) / std::sqrt(static_cast<double>(old_area));
  for (float& entry : object.scale) entry = rescaled(entry, factor);
  view.z_distance = rescaled(view.z_distance, factor);
  view.w_distance = rescaled(view.w_distance, factor);
}

void remember_start(view_record& view, const object_record& object, std::int64_t window_area) {
  view.start = {object.scale,    view.w_distance,  view.z_distance,
                view.increments, view.perspective, window_area};
}

void reset_view(view_record& view, object_record& object, std::int64_t window_area, bool rescale) {
  const view_start& start = view.start;
  object.scale = start.scale;
  view.w_distance = start.w_distance;
  view.z_distance = start.z_distance;
  view.increments = start.increments;
  view.perspective = start.perspective;
  if (rescale && start.window_area > 0 && window_area > 0)
    rescale_view(view, object, start.window_area, window_area);
  for (plane_record& plane : object.planes) plane = {0.0f, 0.0f, 1.0f};
  view.shown_planes = object.planes;
  clear_turn(object);
  view.zoom_notches = 0;
  view.speed_steps = 0;
  view.changed = true;
}

void zoom_view(view_record& view, object_record& object, int notch) {
  if (take_step(view.zoom_notches, notch, max_zoom_notches, object.scale, zoom_factor))
    view.changed = true;
}

void change_speed(view_record& view, int step) {
  take_step(view.speed_steps, step, max_speed_steps, view.increments, speed_factor);
}

void turn_view(view_record& view, object_record& object, plane_index plane, double radians) {
  // The turn starts from the identity whenever the object has none.
  if (!object.turned) view.turn = identity_turn();
  const int a = plane_axes[plane][0];
  const int b = plane_axes[plane][1];
  const double sine = std::sin(radians);
  const double cosine = std::cos(radians);
  exact_turn& turn = view.turn;
  for (int column = 0; column < axis_count; ++column) {
    const double first = turn[a][column];
    const double second = turn[b][column];
    turn[a][column] = first * cosine - second * sine;
    turn[b][column] = first * sine + second * cosine;
  }
  for (int row = 0; row < axis_count; ++row)
    for (int column = 0; column < axis_count; ++column)
      object.turn[row][column] = static_cast<float>(turn[row][column]);
  object.turned = true;
}

} // namespace zorv
