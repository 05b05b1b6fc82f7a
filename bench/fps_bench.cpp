// Frames per second of the viewer's real frame step, run_frame, against a private Xvfb, and the
// share of each frame spent in build_frame (the rest is the X side: the round trip that paces
// the loop, erasing and drawing). The build_frame benchmarks time the geometry alone on the same
// object, side by side. Beside the default loop it runs the same frames with -bb and with -wc
// (each in a window of its own), and the loop capped by -fps60; for each it reports the CPU used
// by this process, which runs the loop as the viewer's background process would, and by the
// server. Run: build/release/bench/fps_bench
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
#include <ctime>
#include <deque>
#include <functional>
#include <string>
#include <unistd.h>

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
using viewer = x11test::local_viewer;

std::deque<viewer> viewers; // one window per torus, kept for the whole run

// The options beyond the default drawing: -bb, -wc Blue or -fps60.
using option_setter = std::function<void(viewer_settings&)>;
const option_setter no_options = [](viewer_settings&) {};
const option_setter back_buffer = [](viewer_settings& s) { s.back_buffer = true; };
const option_setter depth_cueing = [](viewer_settings& s) {
  s.depth_cueing = true;
  s.depth_colour = "Blue";
};
constexpr float capped_rate = 60.0f;
const option_setter frame_cap = [](viewer_settings& s) { s.frame_rate = capped_rate; };

viewer& start_viewer(const std::string& display_name, int nx, int ny,
                     const option_setter& options) {
  viewer& v = viewers.emplace_back();
  identity_transform(v.object);
  set_defaults(v.settings);
  options(v.settings);
  clear_increments(v.settings);
  v.settings.increments[xw] = xw_degrees;
  build_torus(v.object, nx, ny);
  x11test::connect_viewer(v, display_name);
  return v;
}

using seconds = std::chrono::duration<double>;

pid_t server_pid = -1;

double process_cpu_seconds() {
  timespec used{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
  return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) * 1e-9;
}

// User and system time of a process, in seconds.
double cpu_seconds_of(pid_t pid) {
  return static_cast<double>(x11test::cpu_ticks(pid)) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The share of one processor that this process and the server used while a benchmark ran.
struct cpu_meter {
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  double viewer_start = process_cpu_seconds();
  double server_start = cpu_seconds_of(server_pid);

  void report(benchmark::State& run) const {
    const seconds wall = std::chrono::steady_clock::now() - start;
    run.counters["viewer_cpu_%"] = 100.0 * (process_cpu_seconds() - viewer_start) / wall.count();
    run.counters["server_cpu_%"] =
        100.0 * (cpu_seconds_of(server_pid) - server_start) / wall.count();
  }
};

// The frame loop itself, a fixed number of frames; then the same number of build_frame calls
// alone, to tell the geometry's share of a frame.
void frames(benchmark::State& run, viewer& v) {
  const cpu_meter meter;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : run) run_frame(v.state, v.settings, v.object);
  const seconds frame_time = std::chrono::steady_clock::now() - start;
  meter.report(run);

  const auto build_start = std::chrono::steady_clock::now();
  for (benchmark::IterationCount i = 0; i < run.iterations(); ++i)
    build_frame(v.object, v.settings, v.state.geometry, v.state.segments);
  const seconds build_time = std::chrono::steady_clock::now() - build_start;

  const double count = static_cast<double>(run.iterations());
  run.counters["fps"] = count / frame_time.count();
  run.counters["build_share_%"] = 100.0 * build_time.count() / frame_time.count();
  run.counters["lines"] = v.object.line_count;
}

// The -fps loop: the same frames, each waiting for its start.
void paced_frames(benchmark::State& run, viewer& v) {
  frame_pacer pacer = start_pacing(v.settings.frame_rate);
  const cpu_meter meter;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : run) run_paced_frame(v.state, v.settings, v.object, pacer);
  const seconds frame_time = std::chrono::steady_clock::now() - start;
  meter.report(run);
  run.counters["fps"] = static_cast<double>(run.iterations()) / frame_time.count();
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
constexpr benchmark::IterationCount capped_frames = 120; // two seconds at 60 frames per second

void register_frames(const std::string& name, viewer& v, benchmark::IterationCount count) {
  benchmark::RegisterBenchmark(name.c_str(), [&v](benchmark::State& run) { frames(run, v); })
      ->Iterations(count)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
}

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
  server_pid = server.pid;
  for (const torus_case& t : tori) {
    viewer& v = start_viewer(server.display_name, t.nx, t.ny, no_options);
    const std::string name = std::to_string(t.nx) + "x" + std::to_string(t.ny);
    register_frames("run_frame/" + name, v, t.frames);
    register_frames("run_frame_bb/" + name,
                    start_viewer(server.display_name, t.nx, t.ny, back_buffer), t.frames);
    register_frames("run_frame_wc/" + name,
                    start_viewer(server.display_name, t.nx, t.ny, depth_cueing), t.frames);
    benchmark::RegisterBenchmark(("build_frame/" + name).c_str(),
                                 [&v](benchmark::State& run) { geometry_only(run, v); })
        ->Iterations(t.frames)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
  }
  viewer& capped = start_viewer(server.display_name, tori[0].nx, tori[0].ny, frame_cap);
  benchmark::RegisterBenchmark("run_paced_frame_fps60/24x12",
                               [&capped](benchmark::State& run) { paced_frames(run, capped); })
      ->Iterations(capped_frames)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (viewer& v : viewers) x11test::disconnect_viewer(v);
  x11test::stop_xvfb(server);
  return 0;
}
