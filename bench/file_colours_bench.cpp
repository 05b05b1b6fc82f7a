// The file's colours at their most costly, side by side with one colour: the 28,800 edges of
// hoopgen's 120x120 torus written as SKEL polylines, each in a colour of its own, against the same
// file without colours, at 650x650 on a private Xvfb. For each: the plain window's frame loop (one
// XDrawSegments a colour), the -aa window's, and the picture's drawing alone (-o's frames).
//
//   build/release/bench/file_colours_bench --benchmark_repetitions=9
//       --benchmark_report_aggregates_only=true   (on one line)
// Google Benchmark comes before Xlib, whose macros (None, Bool, Status) clash with C++ names.
#include <benchmark/benchmark.h>

#include "animation.hpp"
#include "bench_cases.hpp"
#include "coloured_files.hpp"
#include "geometry.hpp"
#include "picture.hpp"
#include "torus.hpp"
#include "x11_harness.hpp"
#include "zorv_file.hpp"

#include <cstdio>
#include <string>
#include <vector>

namespace zorv {
namespace {

constexpr int screen_side = 1024;
constexpr int torus_side = 120;
constexpr benchmark::IterationCount frames = 200;

x11test::viewer_session session;

// The torus as SKEL: its points, then each line a polyline of two, in its own colour or in none.
std::string torus_skel(bool coloured) {
  object_record torus{};
  std::string error;
  if (!parse_object(torus_text(torus_side, torus_side), torus, error)) return {};
  std::string text = "4SKEL\n" + std::to_string(torus.points.size()) + " " +
                     std::to_string(torus.lines.size()) + "\n";
  char row[128];
  for (const point& p : torus.points) {
    std::snprintf(row, sizeof row, "%.6f %.6f %.6f %.6f\n", p.x, p.y, p.z, p.w);
    text += row;
  }
  for (std::size_t i = 0; i < torus.lines.size(); ++i) {
    const std::uint32_t c = colouredfiles::star_colour(static_cast<int>(i));
    if (coloured)
      std::snprintf(row, sizeof row, "2 %d %d %u %u %u\n", torus.lines[i].first,
                    torus.lines[i].second, c >> 16, (c >> 8) & 0xff, c & 0xff);
    else
      std::snprintf(row, sizeof row, "2 %d %d\n", torus.lines[i].first, torus.lines[i].second);
    text += row;
  }
  return text;
}

void window_frames(benchmark::State& run, viewer& v) {
  for (auto _ : run) run_frame(v);
  count_rate(run);
  run.counters["colours"] = static_cast<double>(v.object.colours.size());
}

void render_only(benchmark::State& run, viewer& v) {
  build_frame(v.object, v.view, frame_geometry(v), v.frame.segments);
  for (auto _ : run) render_picture(v.picture.picture, v.frame, v.object);
  count_rate(run);
}

void add(const std::string& name, viewer& v, void (*body)(benchmark::State&, viewer&)) {
  register_case(name, frames, [&v, body](benchmark::State& run) { body(run, v); });
}

} // namespace
} // namespace zorv

int main(int argc, char** argv) {
  using namespace zorv;
  benchmark::Initialize(&argc, argv);
  const std::string failure = x11test::open_session(session, screen_side);
  if (!failure.empty()) {
    std::fprintf(stderr, "file_colours_bench: %s\n", failure.c_str());
    return 1;
  }
  for (const bool coloured : {false, true}) {
    const std::string text = torus_skel(coloured);
    const std::string kind = coloured ? "/each_its_own_colour" : "/one_colour";
    add("window" + kind, x11test::start_local_viewer(session, text, {"-xw2"}), window_frames);
    add("window_aa" + kind, x11test::start_local_viewer(session, text, {"-xw2", "-aa"}),
        window_frames);
    add("picture" + kind,
        x11test::start_local_viewer(session, text,
                                    {"-xw2", "-o", session.dir + "/" + kind.substr(1) + ".png"}),
        render_only);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  x11test::close_session(session);
  return 0;
}
