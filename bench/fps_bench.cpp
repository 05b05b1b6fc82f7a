// Frames per second of the viewer's real frame step, run_frame, against a private Xvfb, and the
// share of each frame spent in build_frame (the rest is the X side: the round trip that paces
// the loop, erasing and drawing). The build_frame benchmarks time the geometry alone on the same
// object, side by side. Run: build/release/bench/fps_bench
// Google Benchmark comes before Xlib, whose macros (None, Bool, Status) clash with C++ names.
#include <benchmark/benchmark.h>

#include "animation.hpp"
#include "display.hpp"
#include "geometry.hpp"
#include "object.hpp"
#include "settings.hpp"
#include "x11_harness.hpp"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <string>

namespace zorv {
namespace {

constexpr double two_pi = 6.283185307179586;
constexpr int screen_side = 1024;
constexpr float xw_degrees = 2.0f; // the demo's -xw2

// A Clifford torus as hoopgen writes it, built in memory: ring j, point i has index j * nx + i.
void build_torus(object_record& object, int nx, int ny) {
  object.points.clear();
  for (int j = 0; j < ny; ++j) {
    const double b = j / (ny / two_pi);
    for (int i = 0; i < nx; ++i) {
      const double a = i / (nx / two_pi);
      object.points.push_back({static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)),
                               static_cast<float>(std::cos(b)), static_cast<float>(std::sin(b))});
    }
  }
  object.lines.clear();
  for (int j = 0; j < ny; ++j)
    for (int k = 1; k < nx; ++k) object.lines.push_back({j * nx + k - 1, j * nx + k});
  for (int j = 0; j < ny; ++j) object.lines.push_back({j * nx, j * nx + nx - 1});
  for (int j = 0; j + 1 < ny; ++j)
    for (int k = 0; k < nx; ++k) object.lines.push_back({j * nx + k, (j + 1) * nx + k});
  for (int k = 0; k < nx; ++k) object.lines.push_back({k, (ny - 1) * nx + k});
  object.projected = object.points;
  object.point_count = static_cast<std::int32_t>(object.points.size());
  object.line_count = static_cast<std::int32_t>(object.lines.size());
}

// One viewer as start-up leaves it just before the fork: defaults, -xw2, the torus, the window.
struct viewer {
  viewer_settings settings;
  object_record object;
  display_state state;
};

std::deque<viewer> viewers; // one window per torus, kept for the whole run

viewer& start_viewer(const std::string& display_name, int nx, int ny) {
  viewer& v = viewers.emplace_back();
  identity_transform(v.object);
  set_defaults(v.settings);
  v.settings.display_name = display_name;
  clear_increments(v.settings);
  v.settings.increments[xw] = xw_degrees;
  increments_to_radians(v.settings);
  v.object.scale.fill(v.settings.scale);
  build_torus(v.object, nx, ny);
  connect_display(v.state, v.settings, v.object);
  return v;
}

using seconds = std::chrono::duration<double>;

// The frame loop itself, a fixed number of frames; then the same number of build_frame calls
// alone, to tell the geometry's share of a frame.
void frames(benchmark::State& run, viewer& v) {
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : run) run_frame(v.state, v.settings, v.object);
  const seconds frame_time = std::chrono::steady_clock::now() - start;

  const auto build_start = std::chrono::steady_clock::now();
  for (benchmark::IterationCount i = 0; i < run.iterations(); ++i)
    build_frame(v.object, v.settings, v.state.geometry, v.state.segments);
  const seconds build_time = std::chrono::steady_clock::now() - build_start;

  const double count = static_cast<double>(run.iterations());
  run.counters["fps"] = count / frame_time.count();
  run.counters["build_share_%"] = 100.0 * build_time.count() / frame_time.count();
  run.counters["lines"] = v.object.line_count;
}

void geometry_only(benchmark::State& run, viewer& v) {
  for (auto _ : run) {
    build_frame(v.object, v.settings, v.state.geometry, v.state.segments);
    benchmark::DoNotOptimize(v.state.segments.data());
  }
  run.counters["builds_per_s"] =
      benchmark::Counter(static_cast<double>(run.iterations()), benchmark::Counter::kIsRate);
}

struct torus_case {
  int nx;
  int ny;
  benchmark::IterationCount frames;
};

constexpr torus_case tori[] = {{24, 12, 20000}, {500, 500, 100}};

} // namespace
} // namespace zorv

int main(int argc, char** argv) {
  using namespace zorv;
  benchmark::Initialize(&argc, argv);
  x11test::xvfb_server server = x11test::start_xvfb(screen_side, screen_side);
  if (server.pid <= 0) {
    std::fputs("fps_bench: could not start Xvfb\n", stderr);
    return 1;
  }
  for (const torus_case& t : tori) {
    viewer& v = start_viewer(server.display_name, t.nx, t.ny);
    const std::string name = std::to_string(t.nx) + "x" + std::to_string(t.ny);
    benchmark::RegisterBenchmark(("run_frame/" + name).c_str(),
                                 [&v](benchmark::State& run) { frames(run, v); })
        ->Iterations(t.frames)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("build_frame/" + name).c_str(),
                                 [&v](benchmark::State& run) { geometry_only(run, v); })
        ->Iterations(t.frames)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (viewer& v : viewers) XCloseDisplay(v.state.display);
  x11test::stop_xvfb(server);
  return 0;
}
