// Frames per second of pictures, side by side at 650x650 for the 24x12 torus, the 120-cell, the
// 120x120 torus (28,800 lines filling the window) and the 500x500 torus: the default window loop
// (XDrawSegments on a private Xvfb), the window with -aa (the frame put on the window through
// MIT-SHM) and -o's PNG frames (drawn and encoded as -o encodes them). The PNG encoding alone of
// one frame is timed as -o writes it (libdeflate, rows unfiltered) against the straightforward
// libpng writer with its defaults (zlib's level 6, every filter tried on each row), with the
// file's size. A GIF's frames are timed as -o makes them (drawn, mapped onto the palette, the
// changed rectangle found, coded and written), beside the drawing alone (render/); the LZW coding
// of one whole frame is timed as -o codes it against giflib's coder (EGifPutLine).
// The drawing alone is timed as zorv draws (line_raster), as many calls of one segment each (the
// per-call cost, as a file of one colour a line draws), and against cairo two ways: one stroke a
// segment, and all segments in one path stroked once, the straightforward use of cairo. Last, the
// real zorv writes the 180-frame GIF of the 24x12 torus turning 2 degrees a frame in xw (-xw2 -o
// t.gif), timed as a whole process.
//
//   build/release/bench/picture_bench
// Google Benchmark comes before Xlib, whose macros (None, Bool, Status) clash with C++ names.
#include <benchmark/benchmark.h>

#include "animation.hpp"
#include "bench_cases.hpp"
#include "geometry.hpp"
#include "gif_codes.hpp"
#include "picture.hpp"
#include "picture_file.hpp"
#include "png_picture.hpp"
#include "run_program.hpp"
#include "torus.hpp"
#include "x11_harness.hpp"

#include <cairo.h>
#include <gif_lib.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
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
  count_rate(run);
  run.counters["lines"] = v.object.line_count;
}

// A file in memory that each PNG is written into; it measures the PNG and starts again.
struct memory_file {
  int descriptor = memfd_create("picture_bench", MFD_CLOEXEC);
  ~memory_file() { close(descriptor); }
  std::size_t take() const {
    const off_t size = lseek(descriptor, 0, SEEK_CUR);
    if (ftruncate(descriptor, 0) != 0 || lseek(descriptor, 0, SEEK_SET) != 0) return 0;
    return static_cast<std::size_t>(size);
  }
};

// The picture that the viewer's frames are drawn on: the smooth window's (-aa) or the file's (-o).
picture_state& picture_of(viewer& v) {
  return v.target == frame_target::smooth_window ? v.smooth.picture : v.picture.picture;
}

// -o's frames: each made, drawn and encoded as -o encodes a PNG (into memory).
void png_frames(benchmark::State& run, viewer& v) {
  std::size_t bytes = 0;
  const memory_file file;
  for (auto _ : run) {
    run_frame(v);
    write_png_picture(file.descriptor, v.picture.picture);
    bytes += file.take();
  }
  count_rate(run);
  run.counters["png_kib"] =
      static_cast<double>(bytes) / 1024.0 / static_cast<double>(run.iterations());
}

void write_to_file(png_structp png, png_bytep data, std::size_t length) {
  const int descriptor = *static_cast<int*>(png_get_io_ptr(png));
  if (write(descriptor, data, length) != static_cast<ssize_t>(length)) png_error(png, "write");
}

void flush_nothing(png_structp) {}

// The baseline: libpng with its defaults, a row at a time.
bool write_libpng_default(int descriptor, const picture_state& picture) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_byte> row(static_cast<std::size_t>(picture.width) * 3);
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &descriptor, write_to_file, flush_nothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width),
               static_cast<png_uint_32>(picture.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const unsigned char* data = cairo_image_surface_get_data(picture.surface);
  const int stride = cairo_image_surface_get_stride(picture.surface);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      std::uint32_t pixel = 0;
      std::memcpy(&pixel, data + y * stride + x * 4, sizeof pixel);
      row[static_cast<std::size_t>(x) * 3] = static_cast<png_byte>(pixel >> 16);
      row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<png_byte>(pixel >> 8);
      row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<png_byte>(pixel);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

// One frame's PNG encoding alone: as -o writes it, or the libpng baseline.
void png_encoding(benchmark::State& run, viewer& v, bool baseline) {
  frame_lists& lists = v.frame;
  build_frame(v.object, v.view, frame_geometry(v), lists.segments);
  render_picture(v.picture.picture, lists, v.object);
  const memory_file file;
  std::size_t bytes = 0;
  for (auto _ : run) {
    const bool written = baseline ? write_libpng_default(file.descriptor, v.picture.picture)
                                  : write_png_picture(file.descriptor, v.picture.picture).written;
    if (!written) run.SkipWithError("the PNG was not written");
    bytes = file.take();
  }
  run.counters["png_kib"] = static_cast<double>(bytes) / 1024.0;
}

// A frame's pixels as palette entries, as the GIF maps them.
std::vector<std::uint8_t> mapped_frame(viewer& v) {
  frame_lists& lists = v.frame;
  picture_state& picture = v.picture.picture;
  build_frame(v.object, v.view, frame_geometry(v), lists.segments);
  render_picture(picture, lists, v.object);
  gif_palette palette = palette_for(picture.colours);
  const unsigned char* data = cairo_image_surface_get_data(picture.surface);
  const int stride = cairo_image_surface_get_stride(picture.surface);
  std::vector<std::uint8_t> indices;
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) {
      std::uint32_t pixel = 0;
      std::memcpy(&pixel, data + y * stride + x * 4, sizeof pixel);
      indices.push_back(palette_index(palette, pixel & 0xffffff));
    }
  return indices;
}

// One whole frame coded as -o codes it, or (the baseline) by giflib, into a GIF in memory.
void gif_coding(benchmark::State& run, viewer& v, bool baseline) {
  const std::vector<std::uint8_t> indices = mapped_frame(v);
  const int width = v.picture.picture.width;
  const int height = v.picture.picture.height;
  const memory_file file;
  gif_codes codes;
  prepare_gif_codes(codes);
  std::array<GifColorType, 256> colours{};
  std::size_t bytes = 0;
  for (auto _ : run) {
    if (!baseline) {
      start_gif_codes(codes);
      for (int y = 0; y < height; ++y)
        add_gif_pixels(codes, indices.data() + static_cast<std::size_t>(y * width),
                       static_cast<std::size_t>(width));
      finish_gif_codes(codes);
      bytes = codes.blocks.size();
      continue;
    }
    int error = 0;
    GifFileType* gif = EGifOpenFileHandle(dup(file.descriptor), &error);
    ColorMapObject* map = GifMakeMapObject(256, colours.data());
    EGifPutScreenDesc(gif, width, height, 8, 0, map);
    GifFreeMapObject(map);
    EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr);
    for (int y = 0; y < height; ++y)
      EGifPutLine(gif, const_cast<GifPixelType*>(indices.data()) + y * width, width);
    EGifCloseFile(gif, &error);
    bytes = file.take();
  }
  run.counters["kib"] = static_cast<double>(bytes) / 1024.0;
}

// The drawing alone, as zorv draws.
void render_only(benchmark::State& run, viewer& v) {
  frame_lists& lists = v.frame;
  build_frame(v.object, v.view, frame_geometry(v), lists.segments);
  for (auto _ : run) render_picture(picture_of(v), lists, v.object);
  count_rate(run);
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
  count_rate(run);
}

void set_cairo_colour(cairo_t* cairo, rgb_colour c) {
  cairo_set_source_rgb(cairo, c.red / 255.0, c.green / 255.0, c.blue / 255.0);
}

// The baselines with cairo: one stroke a segment, or every segment in one path stroked once,
// the straightforward use of cairo.
void render_with_cairo(benchmark::State& run, viewer& v, bool stroke_each) {
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
      if (stroke_each) cairo_stroke(cairo);
    }
    if (!stroke_each) cairo_stroke(cairo);
    cairo_surface_flush(picture.surface);
  }
  cairo_destroy(cairo);
  count_rate(run);
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
    viewer& gif = start(object, {"-o", session.dir + "/frames-" + object.name + ".gif"});
    register_case("window/" + object.name, object.frames,
                  [&plain](benchmark::State& run) { window_frames(run, plain); });
    register_case("window_aa/" + object.name, object.frames,
                  [&smooth](benchmark::State& run) { window_frames(run, smooth); });
    register_case("png/" + object.name, object.frames,
                  [&png](benchmark::State& run) { png_frames(run, png); });
    const benchmark::IterationCount encodings =
        std::max<benchmark::IterationCount>(object.frames / 10, 20);
    register_case("png_encode/" + object.name, encodings,
                  [&png](benchmark::State& run) { png_encoding(run, png, false); });
    register_case("png_encode_libpng_default/" + object.name, encodings,
                  [&png](benchmark::State& run) { png_encoding(run, png, true); });
    register_case("gif/" + object.name, object.frames,
                  [&gif](benchmark::State& run) { window_frames(run, gif); });
    register_case("gif_lzw/" + object.name, encodings,
                  [&png](benchmark::State& run) { gif_coding(run, png, false); });
    register_case("gif_lzw_giflib/" + object.name, encodings,
                  [&png](benchmark::State& run) { gif_coding(run, png, true); });
    register_case("render/" + object.name, object.frames,
                  [&png](benchmark::State& run) { render_only(run, png); });
    register_case("render_single_runs/" + object.name, object.frames,
                  [&png](benchmark::State& run) { render_single_runs(run, png); });
    register_case("render_cairo_strokes/" + object.name,
                  std::max<benchmark::IterationCount>(object.frames / 4, 5),
                  [&png](benchmark::State& run) { render_with_cairo(run, png, true); });
    register_case("render_one_path/" + object.name,
                  std::max<benchmark::IterationCount>(object.frames / 4, 5),
                  [&png](benchmark::State& run) { render_with_cairo(run, png, false); });
  }
  const std::string torus_path = session.dir + "/torus.zorv";
  x11test::write_file(torus_path, torus_text(24, 12));
  register_case("zorv_gif_180_frames/24x12", 3,
                [&torus_path](benchmark::State& run) { gif_process(run, torus_path); });
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  x11test::close_session(session);
  return 0;
}
