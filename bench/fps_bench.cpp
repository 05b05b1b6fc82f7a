// Frames per second of the viewer's real frame step, run_frame, against a private Xvfb, and the
// share of each frame spent in build_frame (the rest is the X side: the round trip that paces
// the loop, erasing and drawing). The build_frame benchmarks time the geometry alone on the same
// object, side by side. Beside the default loop it runs the same frames with -bb, with -wc and
// with -aa (each in a window of its own), and the loop capped by -fps60; for each it reports the
// CPU used by this process, which runs the loop as the viewer's background process would, and by
// the server. With -i it runs the frames of the -i loop, untouched and after a drag turned the
// object (build_frame too), and it measures the CPU of the real zorv -i, paused with Space.
// Run: build/release/bench/fps_bench
// Google Benchmark comes before Xlib, whose macros (None, Bool, Status) clash with C++ names.
#include <benchmark/benchmark.h>

#include "animation.hpp"
#include "bench_cases.hpp"
#include "geometry.hpp"
#include "torus.hpp"
#include "x11_harness.hpp"

#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zorv {
namespace {

constexpr int screen_side = 1024;

// Every viewer of the run, each in a window of its own, kept for the whole run.
x11test::viewer_session session;

// A viewer of the torus as the program starts one, turning 2 degrees a frame in xw (the demo's
// -xw2), with further options: -bb, -wc Blue or -fps60.
viewer& start_torus(int nx, int ny, std::vector<std::string> options) {
  options.insert(options.begin(), "-xw2");
  return x11test::start_local_viewer(session, torus_text(nx, ny), options);
}

const std::vector<std::string> no_options;
const std::vector<std::string> back_buffer = {"-bb"};
const std::vector<std::string> depth_cueing = {"-wc", "Blue"};
const std::vector<std::string> frame_cap = {"-fps60"};
const std::vector<std::string> interactive = {"-i"};
const std::vector<std::string> smooth_lines = {"-aa"};

// A viewer of -i after the user dragged it: 0.5 radians in xz and 0.3 in yw.
viewer& start_turned_torus(int nx, int ny) {
  viewer& v = start_torus(nx, ny, interactive);
  turn_view(v.view, v.object, xz, 0.5);
  turn_view(v.view, v.object, yw, 0.3);
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
  for (auto _ : run) run_frame(v);
  const seconds frame_time = std::chrono::steady_clock::now() - start;
  meter.report(run);

  const auto build_start = std::chrono::steady_clock::now();
  for (benchmark::IterationCount i = 0; i < run.iterations(); ++i)
    build_frame(v.object, v.view, frame_geometry(v), v.frame.segments);
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
  for (auto _ : run) run_paced_frame(v, pacer);
  const seconds frame_time = std::chrono::steady_clock::now() - start;
  meter.report(run);
  run.counters["fps"] = static_cast<double>(run.iterations()) / frame_time.count();
}

// The frames of the -i loop, which without a pause are run_frame's.
void interactive_frames(benchmark::State& run, viewer& v) {
  frame_pacer pacer{};
  const cpu_meter meter;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : run) run_interactive_frame(v, pacer);
  const seconds frame_time = std::chrono::steady_clock::now() - start;
  meter.report(run);
  run.counters["fps"] = static_cast<double>(run.iterations()) / frame_time.count();
}

// The real zorv -i, paused with Space: the CPU it and the server use over a few seconds, with
// nothing happening. The window is the last one mapped, so it is on top and takes the keys.
void paused_viewer(benchmark::State& run) {
  constexpr auto span = std::chrono::seconds(3);
  const x11test::zorv_run started =
      x11test::start_viewer_process(session, ZORV_BIN_DIR "/zorv", torus_text(24, 12), {"-i"});
  if (started.child <= 0) {
    run.SkipWithError("zorv did not start");
    return;
  }
  x11test::focus_window(session.display, x11test::viewer_window(session.display));
  x11test::press_key(session.display, XK_space);
  std::this_thread::sleep_for(std::chrono::milliseconds(500)); // the pause lands
  const double ticks_per_second = static_cast<double>(sysconf(_SC_CLK_TCK));
  double viewer_seconds = 0.0;
  double server_seconds = 0.0;
  for (auto _ : run) {
    const long viewer_start = x11test::cpu_ticks(started.child);
    const long server_start = x11test::cpu_ticks(server_pid);
    std::this_thread::sleep_for(span);
    viewer_seconds +=
        static_cast<double>(x11test::cpu_ticks(started.child) - viewer_start) / ticks_per_second;
    server_seconds +=
        static_cast<double>(x11test::cpu_ticks(server_pid) - server_start) / ticks_per_second;
  }
  const double wall = static_cast<double>(run.iterations()) * seconds(span).count();
  run.counters["viewer_cpu_%"] = 100.0 * viewer_seconds / wall;
  run.counters["server_cpu_%"] = 100.0 * server_seconds / wall;
  x11test::stop_viewer(session, started);
}

void geometry_only(benchmark::State& run, viewer& v) {
  for (auto _ : run) {
    build_frame(v.object, v.view, frame_geometry(v), v.frame.segments);
    benchmark::DoNotOptimize(v.frame.segments.data());
  }
  count_rate(run, "builds_per_s");
}

struct torus_case {
  int nx;
  int ny;
  benchmark::IterationCount frames;
};

constexpr torus_case tori[] = {{24, 12, 20000}, {500, 500, 100}};
constexpr benchmark::IterationCount capped_frames = 120;     // two seconds at 60 frames per second
constexpr benchmark::IterationCount smooth_frame_share = 10; // -aa frames take ten times longer

void register_frames(const std::string& name, viewer& v, benchmark::IterationCount count) {
  register_case(name, count, [&v](benchmark::State& run) { frames(run, v); });
}

void register_interactive_frames(const std::string& name, viewer& v,
                                 benchmark::IterationCount count) {
  register_case(name, count, [&v](benchmark::State& run) { interactive_frames(run, v); });
}

void register_geometry(const std::string& name, viewer& v, benchmark::IterationCount count) {
  register_case(name, count, [&v](benchmark::State& run) { geometry_only(run, v); });
}

} // namespace
} // namespace zorv

int main(int argc, char** argv) {
  using namespace zorv;
  benchmark::Initialize(&argc, argv);
  const std::string failure = x11test::open_session(session, screen_side);
  if (!failure.empty()) {
    std::fprintf(stderr, "fps_bench: %s\n", failure.c_str());
    return 1;
  }
  server_pid = session.server.pid;
  for (const torus_case& t : tori) {
    viewer& v = start_torus(t.nx, t.ny, no_options);
    const std::string name = std::to_string(t.nx) + "x" + std::to_string(t.ny);
    viewer& turned = start_turned_torus(t.nx, t.ny);
    register_frames("run_frame/" + name, v, t.frames);
    register_interactive_frames("run_frame_i/" + name, start_torus(t.nx, t.ny, interactive),
                                t.frames);
    register_interactive_frames("run_frame_i_turned/" + name, turned, t.frames);
    register_frames("run_frame_bb/" + name, start_torus(t.nx, t.ny, back_buffer), t.frames);
    register_frames("run_frame_wc/" + name, start_torus(t.nx, t.ny, depth_cueing), t.frames);
    register_frames("run_frame_aa/" + name, start_torus(t.nx, t.ny, smooth_lines),
                    std::max<benchmark::IterationCount>(t.frames / smooth_frame_share, 5));
    register_geometry("build_frame/" + name, v, t.frames);
    register_geometry("build_frame_i_turned/" + name, turned, t.frames);
  }
  viewer& capped = start_torus(tori[0].nx, tori[0].ny, frame_cap);
  register_case("run_paced_frame_fps60/24x12", capped_frames,
                [&capped](benchmark::State& run) { paced_frames(run, capped); });
  register_case("paused_zorv_i/24x12", 1, paused_viewer);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  x11test::close_session(session);
  return 0;
}
