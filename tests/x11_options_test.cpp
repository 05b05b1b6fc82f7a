// The opt-in options against a private Xvfb: the frame-rate cap (-fps), drawing through a back
// buffer (-bb) and colouring lines by w (-wc). The real zorv shows what the options draw; the
// frame loop run here in this process counts frames, requests and allocations.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "animation.hpp"
#include "display.hpp"
#include "geometry.hpp"
#include "object.hpp"
#include "settings.hpp"
#include "x11_harness.hpp"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <new>
#include <set>
#include <sstream>
#include <string>
#include <vector>

// Every allocation through operator new in this program, so that a frame can be shown to make
// none. (g++ takes the replaced pair for a mismatch once it inlines them into a container.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
namespace {
long allocation_count = 0;
}

void* operator new(std::size_t size) {
  ++allocation_count;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}

namespace zorv {
namespace {

using namespace x11test;

const std::string zorv_binary = ZORV_BIN_DIR "/zorv";

constexpr int screen_side = 1000;
constexpr int centre = window_side / 2;
constexpr double two_pi = 6.283185307179586;
constexpr unsigned long red = 0xff0000;
constexpr unsigned long blue = 0x0000ff;
constexpr unsigned long black = 0x000000;
constexpr unsigned long white = 0xffffff;

// Leaves the DOUBLE-BUFFER extension out, so that -bb falls back to a pixmap.
const std::vector<std::string> without_double_buffer = {"-extension", "DOUBLE-BUFFER"};

// A Clifford torus as hoopgen writes it: ring j, point i has index j * nx + i.
object_record torus(int nx, int ny) {
  object_record object{};
  identity_transform(object);
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      const double a = two_pi * i / nx;
      const double b = two_pi * j / ny;
      object.points.push_back({static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)),
                               static_cast<float>(std::cos(b)), static_cast<float>(std::sin(b))});
    }
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      object.lines.push_back({j * nx + i, j * nx + (i + 1) % nx});
      object.lines.push_back({j * nx + i, ((j + 1) % ny) * nx + i});
    }
  object.projected = object.points;
  object.point_count = static_cast<std::int32_t>(object.points.size());
  object.line_count = static_cast<std::int32_t>(object.lines.size());
  return object;
}

std::string object_text(const object_record& object) {
  std::ostringstream text;
  text << "p={" << object.point_count << "}\n";
  for (const point& p : object.points)
    text << p.x << " " << p.y << " " << p.z << " " << p.w << "\n";
  text << "l={" << object.line_count << "}\n";
  for (const line& l : object.lines) text << l.first << " " << l.second << "\n";
  text << "n=test\n";
  return text.str();
}

struct cpu_use {
  long viewer;
  long server;
};

cpu_use cpu_over(pid_t viewer, pid_t server, std::chrono::milliseconds span) {
  const long viewer_start = cpu_ticks(viewer);
  const long server_start = cpu_ticks(server);
  std::this_thread::sleep_for(span);
  return {cpu_ticks(viewer) - viewer_start, cpu_ticks(server) - server_start};
}

class options_x11_test : public testing::Test, protected viewer_session {
protected:
  static void SetUpTestSuite() { adopt_orphans(); }

  // A fresh server, with the in-process viewers of the last one let go.
  void start_server(const std::vector<std::string>& extra = {}) {
    ASSERT_EQ(restart_server(*this, screen_side, extra), "");
  }

  void SetUp() override { ASSERT_EQ(open_session(*this, screen_side), ""); }

  void TearDown() override { close_session(*this); }

  viewer& connect(const object_record& object, const std::vector<std::string>& options) {
    return start_local_viewer(*this, object_text(object), options);
  }

  zorv_run start(const std::string& object, std::vector<std::string> options) {
    zorv_run run = start_viewer(*this, zorv_binary, object, std::move(options));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_GT(run.child, 0) << run.out;
    return run;
  }

  void stop(const zorv_run& run) { stop_viewer(*this, run); }

  // What the window shows once two reads in a row agree and show more than the background: a
  // whole frame, even where the window is cleared between frames.
  pixel_area steady_picture(int width, int height, unsigned long background) {
    pixel_area last;
    wait_until([&] {
      pixel_area now = read_window(display, width, height);
      const bool drawn = find_pixels(now, background).count < long{width} * height;
      const bool steady = drawn && now.pixels == last.pixels;
      last = std::move(now);
      return steady;
    });
    return last;
  }
};

TEST_F(options_x11_test, fps_cap_paces_the_frame_loop) {
  viewer& v = connect(torus(24, 12), {"-xw2", "-fps50"});
  frame_pacer pacer = start_pacing(v.settings.frame_rate);
  int frames = 0;
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
    run_paced_frame(v, pacer);
    ++frames;
  }
  EXPECT_NEAR(frames, 100, 10);
}

// The real viewer, uncapped and capped: both it and the server use far less CPU with the cap.
TEST_F(options_x11_test, fps_cap_saves_the_cpu_of_viewer_and_server) {
  constexpr auto span = std::chrono::seconds(1);
  const std::string object = object_text(torus(24, 12));
  const zorv_run uncapped_run = start(object, {"-xw2"});
  const cpu_use uncapped = cpu_over(uncapped_run.child, server.pid, span);
  stop(uncapped_run);
  const zorv_run capped_run = start(object, {"-xw2", "-fps50"});
  const cpu_use capped = cpu_over(capped_run.child, server.pid, span);
  stop(capped_run);
  SCOPED_TRACE(testing::Message() << "ticks in " << span.count() << " s: viewer " << uncapped.viewer
                                  << " uncapped, " << capped.viewer << " capped; server "
                                  << uncapped.server << " and " << capped.server);
  EXPECT_GE(uncapped.viewer + uncapped.server, 20);
  EXPECT_LT(capped.viewer * 4, uncapped.viewer);
  EXPECT_LT(capped.server * 4, uncapped.server);
}

TEST_F(options_x11_test, back_buffer_comes_from_the_server_or_a_pixmap) {
  struct buffer_case {
    const char* what;
    std::vector<std::string> server_arguments;
    std::vector<std::string> options;
    back_buffer_kind expected;
  };
  const buffer_case cases[] = {
      {"default", {}, {}, back_buffer_kind::none},
      {"-bb", {}, {"-bb"}, back_buffer_kind::xdbe},
      {"-bb without DOUBLE-BUFFER", without_double_buffer, {"-bb"}, back_buffer_kind::pixmap},
  };
  for (const buffer_case& c : cases) {
    SCOPED_TRACE(c.what);
    start_server(c.server_arguments);
    const viewer& v = connect(torus(4, 3), c.options);
    EXPECT_EQ(v.display.back_buffer, c.expected);
    EXPECT_EQ(v.display.drawable == v.display.window, c.expected == back_buffer_kind::none);
  }
}

// With -bb every read of the window shows the same whole frame that -cw shows between clearing
// and drawing, on either kind of buffer and after a resize.
TEST_F(options_x11_test, back_buffer_shows_the_cleared_frame_and_never_less) {
  constexpr int reads = 30;
  constexpr int wide = 900;
  constexpr int tall = 700;
  const std::string object = object_text(torus(24, 12));
  const std::vector<std::string> option_sets[] = {
      {"-xy"},
      {"-xy", "-lw3", "-lc", "Yellow", "-bc", "Navy"},
      {"-xy", "-wc", "Blue"},
  };
  for (const auto& server_arguments : {std::vector<std::string>{}, without_double_buffer}) {
    SCOPED_TRACE(server_arguments.empty() ? "DOUBLE-BUFFER" : "pixmap");
    start_server(server_arguments);
    for (const std::vector<std::string>& options : option_sets) {
      SCOPED_TRACE(testing::PrintToString(options));
      const bool navy = options.size() > 2 && options.back() == "Navy";
      const unsigned long background = navy ? 0x000080 : black;
      std::vector<pixel_area> cleared;
      std::vector<std::string> clearing = options;
      clearing.push_back("-cw");
      const zorv_run reference = start(object, clearing);
      cleared.push_back(steady_picture(window_side, window_side, background));
      XResizeWindow(display, viewer_window(display), wide, tall);
      XSync(display, False);
      cleared.push_back(steady_picture(wide, tall, background));
      stop(reference);

      std::vector<std::string> buffered = options;
      buffered.push_back("-bb");
      const zorv_run run = start(object, buffered);
      for (const pixel_area& expected : cleared) {
        if (expected.width == wide) {
          XResizeWindow(display, viewer_window(display), wide, tall);
          XSync(display, False);
        }
        ASSERT_TRUE(wait_until([&] {
          return read_window(display, expected.width, expected.height).pixels == expected.pixels;
        })) << expected.width
            << "x" << expected.height;
        int same = 0;
        for (int i = 0; i < reads; ++i)
          same += read_window(display, expected.width, expected.height).pixels == expected.pixels;
        EXPECT_EQ(same, reads) << expected.width << "x" << expected.height;
      }
      stop(run);
    }
  }
}

// Three still lines, at the largest w, at w = 0 and at the smallest w, away from each other.
const std::string three_depths = "p={6}\n"
                                 "0 0 0 0.5\n1 0 0 0.5\n"
                                 "0 0.25 0 0\n0 1 0 0\n"
                                 "-1 0 0 -0.5\n-0.25 0 0 -0.5\n"
                                 "l={3}\n0 1\n2 3\n4 5\nn=depths\n";

pixel_box segment(int left, int top, int right, int bottom) {
  return {left, top, right, bottom, (right - left) + (bottom - top) + 1};
}

TEST_F(options_x11_test, depth_cueing_runs_from_the_line_colour_to_the_far_colour) {
  struct colour_case {
    std::vector<std::string> options;
    unsigned long far;
    unsigned long background;
  };
  const colour_case cases[] = {
      {{"-wc", "Blue"}, blue, black},
      // An unknown name gives pixel 0, without an error, as for the other colours.
      {{"-wc", "nosuchcolour", "-bc", "White"}, black, white},
  };
  const pixel_box near = segment(centre, centre, centre + 200, centre);
  const pixel_box middle = segment(centre, centre - 200, centre, centre - 50);
  const pixel_box far = segment(centre - 200, centre, centre - 50, centre);
  for (const colour_case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    std::vector<std::string> options = {"-xy", "-np"};
    options.insert(options.end(), c.options.begin(), c.options.end());
    const zorv_run run = start(three_depths, options);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(wait_until([&] {
      const pixel_area shown = read_window(display, window_side, window_side);
      return find_pixels(shown, red) == near && find_pixels(shown, c.far) == far;
    }));
    const pixel_area shown = read_window(display, window_side, window_side);
    const unsigned long between = shown.at(centre, centre - 100);
    EXPECT_EQ(find_pixels(shown, between), middle);
    EXPECT_NE(between, red);
    EXPECT_NE(between, c.far);
    EXPECT_NE(between, c.background);
    stop(run);
  }
}

// A ring turned into w spreads its lines over every step; still each step is one request, and
// a frame sends at most one more request per step than the single-colour frame.
TEST_F(options_x11_test, depth_cueing_draws_each_step_in_one_request) {
  object_record ring{};
  identity_transform(ring);
  constexpr int ring_points = 96;
  for (int i = 0; i < ring_points; ++i) {
    const double a = two_pi * i / ring_points;
    ring.points.push_back({static_cast<float>(std::cos(a)), 0, 0, static_cast<float>(std::sin(a))});
    ring.lines.push_back({i, (i + 1) % ring_points});
  }
  ring.projected = ring.points;
  ring.point_count = ring_points;
  ring.line_count = ring_points;

  const auto requests_per_frame = [](viewer& v) {
    run_frame(v);
    const unsigned long before = XNextRequest(v.display.display);
    run_frame(v);
    return XNextRequest(v.display.display) - before;
  };
  viewer& plain = connect(ring, {"-xy"});
  viewer& cued = connect(ring, {"-xy", "-wc", "Blue"});
  const unsigned long plain_requests = requests_per_frame(plain);
  const unsigned long cued_requests = requests_per_frame(cued);
  EXPECT_EQ(std::set<std::uint8_t>(cued.display.steps.begin(), cued.display.steps.end()).size(),
            static_cast<std::size_t>(depth_step_count));
  EXPECT_LE(cued_requests, plain_requests - 1 + depth_step_count);
  EXPECT_GE(cued_requests, static_cast<unsigned long>(depth_step_count));
}

// Every way of drawing a frame works in the lists made at start-up.
TEST_F(options_x11_test, frames_allocate_nothing) {
  const std::vector<std::string> option_sets[] = {
      {}, {"-cw"}, {"-bb"}, {"-wc", "Blue"}, {"-bb", "-wc", "Blue", "-lw2"}, {"-fps1000"},
  };
  for (const auto& server_arguments : {std::vector<std::string>{}, without_double_buffer}) {
    start_server(server_arguments);
    for (const std::vector<std::string>& options : option_sets) {
      SCOPED_TRACE(testing::PrintToString(options) + (server_arguments.empty() ? "" : " pixmap"));
      viewer& v = connect(torus(24, 12), options);
      frame_pacer pacer = start_pacing(max_frame_rate);
      run_frame(v);
      const long before = allocation_count;
      for (int i = 0; i < 10; ++i) run_frame(v);
      run_paced_frame(v, pacer);
      EXPECT_EQ(allocation_count, before);
    }
  }
}

} // namespace
} // namespace zorv
