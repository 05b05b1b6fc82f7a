// build_frame on a Clifford torus of a million points and two million lines, with perspective,
// against the same frame written plainly (one loop per stage, the record read at every step), and
// once more with part of the torus behind the w distance, where lines are clipped. Both again
// with a turn of the user's (-i, after a drag): the frame of -i before any drag is the first pair.
// The two must agree bit for bit, with and without the turn: that is checked once, before anything
// is timed.
//
//   build/<dir>/bench/frame_bench
#include "geometry.hpp"
#include "plain_frame.hpp"
#include "torus.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using zorv::object_record;
using zorv::point;
using zorv::torus_object;
using zorv::view_record;
using zorv::window_geometry;

constexpr std::int32_t ring_points = 1000; // points per ring, and rings: 1,000,000 points
constexpr float distance = 430.0f;         // the viewer's default z and w distance
constexpr float near_w_distance = 150.0f;  // inside the torus's reach of 200 in w

// The torus as hoopgen writes it, at the viewer's default scale.
object_record torus() {
  object_record object = torus_object(ring_points, ring_points);
  object.scale.fill(200.0f);
  // Some way into a turn in every plane, so that no rotation is trivial.
  const float angles[zorv::plane_count] = {0.3f, 0.7f, 0.2f, 1.1f, 0.5f, 0.9f};
  for (int k = 0; k < zorv::plane_count; ++k) object.planes[k].angle = angles[k];
  zorv::refresh_trig(object);
  return object;
}

// As a drag of -i leaves it: 0.5 radians in xz, then 0.3 in yw, rounded to single precision.
object_record turned(object_record object) {
  const float c1 = static_cast<float>(std::cos(0.5));
  const float s1 = static_cast<float>(std::sin(0.5));
  const float c2 = static_cast<float>(std::cos(0.3));
  const float s2 = static_cast<float>(std::sin(0.3));
  object.turn = {{{c1, 0, -s1, 0}, {0, c2, 0, -s2}, {s1, 0, c1, 0}, {0, s2, 0, c2}}};
  object.turned = true;
  return object;
}

struct frame_fixture {
  object_record object;
  view_record settings;
  window_geometry window;
  std::vector<XSegment> segments;
  bool agree; // the two frames came out bit for bit the same
};

bool same_bytes(const void* a, const void* b, std::size_t size) {
  return std::memcmp(a, b, size) == 0;
}

frame_fixture make_fixture(bool with_turn) {
  frame_fixture made{with_turn ? turned(torus()) : torus(),
                     zorv::plain_view(true, distance, distance),
                     {650, 650, 325, 325},
                     {},
                     false};
  made.segments.assign(made.object.lines.size(), XSegment{0, 0, 0, 0});
  std::vector<XSegment> plain_segments(made.segments.size(), XSegment{1, 1, 1, 1});
  zorv::build_frame(made.object, made.settings, made.window, made.segments);
  const std::vector<point> projected = made.object.projected;
  zorv::plain_frame(made.object, made.settings, made.window, plain_segments);
  made.agree = same_bytes(projected.data(), made.object.projected.data(),
                          projected.size() * sizeof(point)) &&
               same_bytes(made.segments.data(), plain_segments.data(),
                          made.segments.size() * sizeof(XSegment));
  return made;
}

// Made on first use, so that a filtered run builds only the torus it needs.
frame_fixture& fixture(bool with_turn) {
  if (with_turn) {
    static frame_fixture with = make_fixture(true);
    return with;
  }
  static frame_fixture without = make_fixture(false);
  return without;
}

void count_items(benchmark::State& state, const object_record& object) {
  const auto per_item = benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert;
  // Inverted rates: seconds per item, shown with a prefix (5.6n is 5.6 ns).
  state.counters["per_point"] = benchmark::Counter(object.point_count, per_item);
  state.counters["per_line"] = benchmark::Counter(object.line_count, per_item);
}

void build_frames(benchmark::State& state, bool with_turn) {
  frame_fixture& f = fixture(with_turn);
  if (!f.agree) state.SkipWithError("build_frame and the plain frame disagree");
  for (auto _ : state) {
    zorv::build_frame(f.object, f.settings, f.window, f.segments);
    benchmark::DoNotOptimize(f.segments.data());
    benchmark::ClobberMemory();
  }
  count_items(state, f.object);
}

void plain_frames(benchmark::State& state, bool with_turn) {
  frame_fixture& f = fixture(with_turn);
  if (!f.agree) state.SkipWithError("build_frame and the plain frame disagree");
  for (auto _ : state) {
    zorv::plain_frame(f.object, f.settings, f.window, f.segments);
    benchmark::DoNotOptimize(f.segments.data());
    benchmark::ClobberMemory();
  }
  count_items(state, f.object);
}

// The same frame with the w distance brought in to 150, so that part of the torus lies behind it
// and every line is checked and, where it has to be, clipped.
void clipped_frames(benchmark::State& state, bool with_turn) {
  frame_fixture& f = fixture(with_turn);
  view_record close = f.settings;
  close.w_distance = near_w_distance;
  for (auto _ : state) {
    zorv::build_frame(f.object, close, f.window, f.segments);
    benchmark::DoNotOptimize(f.segments.data());
    benchmark::ClobberMemory();
  }
  count_items(state, f.object);
}

void BM_plain_frame(benchmark::State& state) {
  plain_frames(state, false);
}
void BM_build_frame(benchmark::State& state) {
  build_frames(state, false);
}
void BM_build_frame_clipping(benchmark::State& state) {
  clipped_frames(state, false);
}
void BM_plain_frame_turned(benchmark::State& state) {
  plain_frames(state, true);
}
void BM_build_frame_turned(benchmark::State& state) {
  build_frames(state, true);
}
void BM_build_frame_turned_clipping(benchmark::State& state) {
  clipped_frames(state, true);
}

BENCHMARK(BM_plain_frame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_build_frame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_build_frame_clipping)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_plain_frame_turned)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_build_frame_turned)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_build_frame_turned_clipping)->Unit(benchmark::kMillisecond);

} // namespace
