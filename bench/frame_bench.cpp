// build_frame on a Clifford torus of a million points and two million lines, with perspective,
// against the same frame written plainly (one loop per stage, the record read at every step), and
// once more with part of the torus behind the w distance, where lines are clipped.
// The two must agree bit for bit: that is checked once, before anything is timed.
//
//   build/<dir>/bench/frame_bench
#include "geometry.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using zorv::object_record;
using zorv::point;
using zorv::viewer_settings;
using zorv::window_geometry;

constexpr std::int32_t ring_points = 1000; // points per ring, and rings: 1,000,000 points
constexpr double two_pi = 6.283185307179586;
constexpr float near_w_distance = 150.0f; // inside the torus's reach of 200 in w

// The torus as hoopgen builds it: ring j at angle b, point i at angle a, joined around each ring,
// across neighbouring rings, and closed both ways.
object_record torus() {
  const std::int32_t nx = ring_points;
  const std::int32_t ny = ring_points;
  object_record object{};
  object.scale = {200.0f, 200.0f, 200.0f, 200.0f};
  object.offset = {0.0f, 0.0f, 0.0f, 0.0f};
  for (std::int32_t j = 0; j < ny; ++j) {
    const double b = j / (ny / two_pi);
    for (std::int32_t i = 0; i < nx; ++i) {
      const double a = i / (nx / two_pi);
      object.points.push_back({static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)),
                               static_cast<float>(std::cos(b)), static_cast<float>(std::sin(b))});
    }
  }
  for (std::int32_t j = 0; j < ny; ++j)
    for (std::int32_t k = 1; k < nx; ++k) object.lines.push_back({j * nx + k - 1, j * nx + k});
  for (std::int32_t j = 0; j < ny; ++j) object.lines.push_back({j * nx, j * nx + nx - 1});
  for (std::int32_t j = 0; j + 1 < ny; ++j)
    for (std::int32_t k = 0; k < nx; ++k) object.lines.push_back({j * nx + k, (j + 1) * nx + k});
  for (std::int32_t k = 0; k < nx; ++k) object.lines.push_back({k, (ny - 1) * nx + k});
  object.projected.resize(object.points.size());
  object.point_count = static_cast<std::int32_t>(object.points.size());
  object.line_count = static_cast<std::int32_t>(object.lines.size());
  std::snprintf(object.name, sizeof object.name, "CliffordTorus-%dx%d", nx, ny);
  // Some way into a turn in every plane, so that no rotation is trivial.
  const float angles[zorv::plane_count] = {0.3f, 0.7f, 0.2f, 1.1f, 0.5f, 0.9f};
  for (int k = 0; k < zorv::plane_count; ++k) object.planes[k].angle = angles[k];
  zorv::refresh_trig(object);
  return object;
}

viewer_settings perspective_settings() {
  viewer_settings settings{};
  settings.line_width = 0;
  settings.scale = 200.0f;
  settings.line_colour = "Red";
  settings.background_colour = "Black";
  settings.perspective = true;
  settings.w_distance = 430.0f;
  settings.z_distance = 430.0f;
  settings.increments = {};
  settings.increments_cleared = false;
  settings.clear_each_frame = false;
  settings.rescale_on_resize = true;
  settings.show_title = true;
  settings.display_name = "unix:0";
  settings.data_file = "";
  return settings;
}

void plain_rotate(float& a, float& b, const zorv::plane_record& plane) {
  const float new_a = a * plane.cosine - b * plane.sine;
  b = a * plane.sine + b * plane.cosine;
  a = new_a;
}

// The baseline: the frame as a first, plain version would write it.
void plain_frame(object_record& object, const viewer_settings& settings,
                 const window_geometry& window, std::vector<XSegment>& segments) {
  for (std::int32_t i = 0; i < object.point_count; ++i) {
    const point& p = object.points[i];
    float x = object.scale[0] * p.x + object.offset[0];
    float y = object.scale[1] * p.y + object.offset[1];
    float z = object.scale[2] * p.z + object.offset[2];
    float w = object.scale[3] * p.w + object.offset[3];
    plain_rotate(x, y, object.planes[zorv::xy]);
    plain_rotate(x, z, object.planes[zorv::xz]);
    plain_rotate(y, z, object.planes[zorv::yz]);
    plain_rotate(x, w, object.planes[zorv::xw]);
    plain_rotate(y, w, object.planes[zorv::yw]);
    plain_rotate(z, w, object.planes[zorv::zw]);
    object.projected[i] = {x, y, z, w};
  }
  if (settings.perspective && object.point_count > 0) {
    for (std::int32_t i = 0; i < object.point_count; ++i) {
      point& p = object.projected[i];
      float dw = settings.w_distance - p.w;
      if (static_cast<double>(dw) < 3.4e-35) dw = 3.4e-35f;
      float dz = settings.z_distance - p.z;
      if (static_cast<double>(dz) < 3.4e-35) dz = 3.4e-35f;
      const float fw = (1.0f / settings.w_distance) * dw;
      const float fz = (1.0f / settings.z_distance) * dz;
      p.x = p.x / fw / fz;
      p.y = p.y / fw / fz;
      p.z = p.z / fw;
    }
  }
  // Plain truncation; the torus never leaves the 16-bit range (the check below would show it).
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

struct frame_fixture {
  object_record object;
  viewer_settings settings;
  window_geometry window;
  std::vector<XSegment> segments;
  bool agree; // the two frames came out bit for bit the same
};

bool same_bytes(const void* a, const void* b, std::size_t size) {
  return std::memcmp(a, b, size) == 0;
}

frame_fixture& fixture() {
  static frame_fixture f = [] {
    frame_fixture made{torus(), perspective_settings(), {650, 650, 325, 325}, {}, false};
    made.segments.assign(made.object.lines.size(), XSegment{0, 0, 0, 0});
    std::vector<XSegment> plain_segments(made.segments.size(), XSegment{1, 1, 1, 1});
    zorv::build_frame(made.object, made.settings, made.window, made.segments);
    const std::vector<point> projected = made.object.projected;
    plain_frame(made.object, made.settings, made.window, plain_segments);
    made.agree = same_bytes(projected.data(), made.object.projected.data(),
                            projected.size() * sizeof(point)) &&
                 same_bytes(made.segments.data(), plain_segments.data(),
                            made.segments.size() * sizeof(XSegment));
    return made;
  }();
  return f;
}

void count_items(benchmark::State& state, const object_record& object) {
  const auto per_item = benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert;
  // Inverted rates: seconds per item, shown with a prefix (5.6n is 5.6 ns).
  state.counters["per_point"] = benchmark::Counter(object.point_count, per_item);
  state.counters["per_line"] = benchmark::Counter(object.line_count, per_item);
}

void BM_build_frame(benchmark::State& state) {
  frame_fixture& f = fixture();
  if (!f.agree) state.SkipWithError("build_frame and the plain frame disagree");
  for (auto _ : state) {
    zorv::build_frame(f.object, f.settings, f.window, f.segments);
    benchmark::DoNotOptimize(f.segments.data());
    benchmark::ClobberMemory();
  }
  count_items(state, f.object);
}

void BM_plain_frame(benchmark::State& state) {
  frame_fixture& f = fixture();
  if (!f.agree) state.SkipWithError("build_frame and the plain frame disagree");
  for (auto _ : state) {
    plain_frame(f.object, f.settings, f.window, f.segments);
    benchmark::DoNotOptimize(f.segments.data());
    benchmark::ClobberMemory();
  }
  count_items(state, f.object);
}

// The same frame with the w distance brought in to 150, so that part of the torus lies behind it
// and every line is checked and, where it has to be, clipped.
void BM_build_frame_clipping(benchmark::State& state) {
  frame_fixture& f = fixture();
  viewer_settings close = f.settings;
  close.w_distance = near_w_distance;
  for (auto _ : state) {
    zorv::build_frame(f.object, close, f.window, f.segments);
    benchmark::DoNotOptimize(f.segments.data());
    benchmark::ClobberMemory();
  }
  count_items(state, f.object);
}

BENCHMARK(BM_plain_frame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_build_frame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_build_frame_clipping)->Unit(benchmark::kMillisecond);

} // namespace
