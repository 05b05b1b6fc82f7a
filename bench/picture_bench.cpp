// Frames per second of pictures, side by side at 650x650 for the 24x12 torus, the 120-cell, the
// 120x120 torus (28,800 lines filling the window) and the 500x500 torus: the default window loop
// (XDrawSegments on a private Xvfb), the window with -aa (the frame put on the window through
// MIT-SHM) and -o's PNG frames (drawn and encoded). The drawing alone is timed as zorv draws
// (line_raster), as many calls of one segment each (the per-call cost, as a file of one colour a
// line draws), and against cairo two ways: one stroke a segment, and all segments in one path
// stroked once, the straightforward use of cairo. Last, the real zorv writes the 180-frame GIF of
// the 24x12 torus turning 2 degrees a frame in xw (-xw2 -o t.gif), timed as a whole process.
//
//   build/release/bench/picture_bench
// Google Benchmark comes before Xlib, whose macros (None, Bool, Status) clash with C++ names.
#include <benchmark/benchmark.h>

#include "animation.hpp"
#include "geometry.hpp"
#include "picture.hpp"
#include "run_program.hpp"
#include "torus.hpp"
#include "x11_harness.hpp"

#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace zorv {
namespace {

constexpr int screen_side = 1024;

x11test::viewer_session session;

struct object_case {
  std::string name;
  std::string text;
  benchmark::IterationCount frames;
};

std::string cellgen_text(const std::string& cells) {
  testrun::run_options how;
  how.dir = session.dir;
  const testrun::program_run ran = testrun::run_program(ZORV_CELLGEN, {cells}, how);
  return ran.out;
}

// The whole viewer loop, a fixed number of frames.
void window_frames(benchmark::State& run, viewer& v) {
  for (auto _ : run) run_frame(v);
  run.counters["fps"] =
      benchmark::Counter(static_cast<double>(run.iterations()), benchmark::Counter::kIsRate);
  run.counters["lines"] = v.object.line_count;
}

cairo_status_t count_bytes(void* closure, const unsigned char*, unsigned int length) {
  *static_cast<std::size_t*>(closure) += length;
  return CAIRO_STATUS_SUCCESS;
}

// The picture that the viewer's frames are drawn on: the smooth window's (-aa) or the file's (-o).
picture_state& picture_of(viewer& v) {
  return v.target == frame_target::smooth_window ? v.smooth.picture : v.picture.picture;
}

// -o's frames: each made, drawn and encoded as a PNG (into memory that is thrown away).
void png_frames(benchmark::State& run, viewer& v) {
  std::size_t bytes = 0;
  for (auto _ : run) {
    run_frame(v);
    cairo_surface_write_to_png_stream(v.picture.picture.surface, count_bytes, &bytes);
  }
  run.counters["fps"] =
      benchmark::Counter(static_cast<double>(run.iterations()), benchmark::Counter::kIsRate);
  run.counters["png_kib"] =
      static_cast<double>(bytes) / 1024.0 / static_cast<double>(run.iterations());
}

// The drawing alone, as zorv draws.
void render_only(benchmark::State& run, viewer& v) {
  frame_lists& lists = v.frame;
  build_frame(v.object, v.view, frame_geometry(v), lists.segments);
  for (auto _ : run)
    render_picture(picture_of(v), lists, v.object);
  run.counters["fps"] =
      benchmark::Counter(static_cast<double>(run.iterations()), benchmark::Counter::kIsRate);
}

// The frame as runs of one segment each, one draw_segments call a run.
void render_single_runs(benchmark::State& run, viewer& v) {
  const std::vector<XSegment>& segments = v.frame.segments;
  build_frame(v.object, v.view, frame_geometry(v), v.frame.segments);
  picture_state& picture = picture_of(v);
  const rgb_colour line = picture.colours.lines.front();
  for (auto _ : run) {
    fill_raster(picture.raster, picture.colours.background);
    for (const XSegment& s : segments)
      draw_segments(picture.raster, {&s, 1}, line, picture.line_width);
  }
  run.counters["fps"] =
      benchmark::Counter(static_cast<double>(run.iterations()), benchmark::Counter::kIsRate);
}

void set_cairo_colour(cairo_t* cairo, rgb_colour c) {
  cairo_set_source_rgb(cairo, c.red / 255.0, c.green / 255.0, c.blue / 255.0);
}

// A baseline: one cairo stroke a segment, thin lines with square caps.
void render_cairo_strokes(benchmark::State& run, viewer& v) {
  const std::vector<XSegment>& segments = v.frame.segments;
  build_frame(v.object, v.view, frame_geometry(v), v.frame.segments);
  const picture_state& picture = picture_of(v);
  cairo_t* cairo = cairo_create(picture.surface);
  cairo_set_line_width(cairo, 1.0);
  cairo_set_line_cap(cairo, CAIRO_LINE_CAP_SQUARE);
  for (auto _ : run) {
    set_cairo_colour(cairo, picture.colours.background);
    cairo_paint(cairo);
    set_cairo_colour(cairo, picture.colours.lines.front());
    for (const XSegment& s : segments) {
      cairo_move_to(cairo, s.x1 + 0.5, s.y1 + 0.5);
      cairo_line_to(cairo, s.x2 + 0.5, s.y2 + 0.5);
      cairo_stroke(cairo);
    }
    cairo_surface_flush(picture.surface);
  }
  cairo_destroy(cairo);
  run.counters["fps"] =
      benchmark::Counter(static_cast<double>(run.iterations()), benchmark::Counter::kIsRate);
}

// The baseline: every segment in one path, stroked once.
void render_one_path(benchmark::State& run, viewer& v) {
  const std::vector<XSegment>& segments = v.frame.segments;
  build_frame(v.object, v.view, frame_geometry(v), v.frame.segments);
  const picture_state& picture = picture_of(v);
  cairo_t* cairo = cairo_create(picture.surface);
  const rgb_colour line = picture.colours.lines.front();
  cairo_set_line_width(cairo, 1.0);
  cairo_set_line_cap(cairo, CAIRO_LINE_CAP_SQUARE);
  for (auto _ : run) {
    cairo_set_source_rgb(cairo, 0, 0, 0);
    cairo_paint(cairo);
    cairo_set_source_rgb(cairo, line.red / 255.0, line.green / 255.0, line.blue / 255.0);
    for (const XSegment& s : segments) {
      cairo_move_to(cairo, s.x1 + 0.5, s.y1 + 0.5);
      cairo_line_to(cairo, s.x2 + 0.5, s.y2 + 0.5);
    }
    cairo_stroke(cairo);
    cairo_surface_flush(picture.surface);
  }
  cairo_destroy(cairo);
  run.counters["fps"] =
      benchmark::Counter(static_cast<double>(run.iterations()), benchmark::Counter::kIsRate);
}

// The real program writing the GIF, one whole run an iteration.
void gif_process(benchmark::State& run, const std::string& object_path) {
  testrun::run_options how;
  how.dir = session.dir;
  how.unset_environment = {"DISPLAY"};
  how.deadline = std::chrono::minutes(2);
  for (auto _ : run) {
    const testrun::program_run ran =
        testrun::run_program(ZORV_BIN_DIR "/zorv", {object_path, "-xw2", "-o", "torus.gif"}, how);
    if (!ran.ended || ran.status != 0) run.SkipWithError("zorv -o torus.gif failed");
  }
}

viewer& start(const object_case& object, std::vector<std::string> options) {
  options.insert(options.begin(), "-xw2");
  return x11test::start_local_viewer(session, object.text, options);
}

void register_case(const std::string& name, benchmark::IterationCount frames,
                   std::function<void(benchmark::State&)> body) {
  benchmark::RegisterBenchmark(name.c_str(), std::move(body))
      ->Iterations(frames)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
}

} // namespace
} // namespace zorv

int main(int argc, char** argv) {
  using namespace zorv;
  benchmark::Initialize(&argc, argv);
  const std::string failure = x11test::open_session(session, screen_side);
  if (!failure.empty()) {
    std::fprintf(stderr, "picture_bench: %s\n", failure.c_str());
    return 1;
  }
  const object_case objects[] = {
      {"24x12", torus_text(24, 12), 2000},
      {"120-cell", cellgen_text("120"), 1000},
      {"120x120", torus_text(120, 120), 400},
      {"500x500", torus_text(500, 500), 20},
  };
  for (const object_case& object : objects) {
    viewer& plain = start(object, {});
    viewer& smooth = start(object, {"-aa"});
    viewer& png = start(object, {"-o", session.dir + "/frames-" + object.name + ".png"});
    register_case("window/" + object.name, object.frames,
                  [&plain](benchmark::State& run) { window_frames(run, plain); });
    register_case("window_aa/" + object.name, object.frames,
                  [&smooth](benchmark::State& run) { window_frames(run, smooth); });
    register_case("png/" + object.name, object.frames,
                  [&png](benchmark::State& run) { png_frames(run, png); });
    register_case("render/" + object.name, object.frames,
                  [&png](benchmark::State& run) { render_only(run, png); });
    register_case("render_single_runs/" + object.name, object.frames,
                  [&png](benchmark::State& run) { render_single_runs(run, png); });
    register_case("render_cairo_strokes/" + object.name,
                  std::max<benchmark::IterationCount>(object.frames / 4, 5),
                  [&png](benchmark::State& run) { render_cairo_strokes(run, png); });
    register_case("render_one_path/" + object.name,
                  std::max<benchmark::IterationCount>(object.frames / 4, 5),
                  [&png](benchmark::State& run) { render_one_path(run, png); });
  }
  const std::string torus_path = session.dir + "/torus.zorv";
  x11test::write_file(torus_path, torus_text(24, 12));
  benchmark::RegisterBenchmark(
      "zorv_gif_180_frames/24x12",
      [&torus_path](benchmark::State& run) { gif_process(run, torus_path); })
      ->Iterations(3)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  x11test::close_session(session);
  return 0;
}
