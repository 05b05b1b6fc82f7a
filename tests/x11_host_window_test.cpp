// The real zorv program as a screen saver in a host's window (-window-id, -root), against a
// private Xvfb: the one process that the host started draws, fills the window as it fills its
// own, keeps to its frame rate, ends on SIGTERM or SIGINT however they were inherited or with
// its window, and reports a window that it cannot draw into.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "viewer_fixture.hpp"
#include "x11_harness.hpp"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zorv {
namespace {

using namespace x11test;

class HostWindowTest : public viewer_fixture {
protected:
  // Stops a viewer started in a host's window.
  void stop_hosted(pid_t pid) {
    stop_process(pid);
    std::erase(children, pid);
  }

  // Waits until the drawable shows exactly the box of one colour.
  box_wait wait_for_box_in(Drawable drawable, const pixel_box& expected, unsigned long pixel,
                           int width, int height) {
    box_wait result{false, {}};
    result.matched = wait_until([&] {
      result.last = find_pixels(read_drawable(display, drawable, width, height), pixel);
      return result.last == expected;
    });
    return result;
  }

  // Sends the signal and waits at most a second for the hosted viewer to end by it.
  void expect_ended_by(pid_t pid, int number) {
    kill(pid, number);
    const reaped_status ended = wait_for_end(pid, 1s);
    EXPECT_TRUE(ended.exited) << "still running a second after signal " << number;
    EXPECT_EQ(ended.code, 128 + number);
    if (ended.exited) std::erase(children, pid);
  }
};

std::string hexadecimal(Window window) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%lx", window);
  return text;
}

// How a host names its window to the viewer.
// A settings program's preview passes --root and --window-id together, with two dashes.
enum class naming { window_id, preview, saver_variable, root_alone };

// The host's window is drawn into by the very process that the host started: it prints nothing
// on standard output, makes no window, forks nothing, and ends within a second of
// SIGTERM, leaving the window to the host. The object fills the window (or the root) as it fills
// its own 650 x 650 window, on the background colour, not the window's own (white here), with
// -cw too; -bb and -wc draw into a window of another depth.
TEST_F(HostWindowTest, DrawsIntoAHostsWindowInTheProcessTheHostStarted) {
  struct host_case {
    const char* what;
    naming how;
    int depth;           // of the host's window: 0 for the screen's default
    unsigned long alpha; // the server makes colours of a 32-bit visual opaque
    std::vector<std::string> options;
  };
  const host_case cases[] = {
      {"-window-id", naming::window_id, 0, 0, {}},
      {"-window-id, a 32-bit window", naming::window_id, 32, 0xff000000, {}},
      {"-window-id, a 32-bit window, -bb -wc",
       naming::window_id,
       32,
       0xff000000,
       {"-bb", "-wc", "Blue"}},
      {"--root --window-id, a preview", naming::preview, 0, 0, {}},
      {"-root, XSCREENSAVER_WINDOW, -cw", naming::saver_variable, 0, 0, {"-cw"}},
      {"-root alone: the root window", naming::root_alone, 0, 0, {}},
  };
  for (const host_case& c : cases) {
    SCOPED_TRACE(c.what);
    const bool own_window = c.how != naming::root_alone;
    const Window host = own_window
                            ? make_host_window(display, window_side, window_side, white, c.depth)
                            : DefaultRootWindow(display);
    ASSERT_NE(host, 0u) << "the server has no visual of depth " << c.depth;
    const int side = own_window ? window_side : screen_side;
    std::vector<std::string> options = {"-xy", "-np"};
    options.insert(options.end(), c.options.begin(), c.options.end());
    testrun::run_options run;
    if (c.how == naming::window_id) {
      options.insert(options.end(), {"-window-id", std::to_string(host)});
    } else if (c.how == naming::preview) {
      options.insert(options.end(), {"--root", "--window-id", hexadecimal(host)});
    } else {
      options.push_back("-root");
      if (c.how == naming::saver_variable)
        run.environment = {{"XSCREENSAVER_WINDOW", hexadecimal(host)}};
      else
        run.unset_environment = {"XSCREENSAVER_WINDOW"};
    }
    const std::vector<Window> windows = top_level_windows(display);
    const pid_t pid = start_hosted_viewer(*this, zorv_binary, unit_x, options, run);
    ASSERT_GT(pid, 0);

    const int middle = side / 2;
    const int length = static_cast<int>(200.0 * side / window_side);
    const pixel_box line = segment(middle, middle, middle + length, middle);
    const box_wait seen = wait_for_box_in(host, line, c.alpha | red, side, side);
    EXPECT_TRUE(seen.matched) << "expected " << line << ", saw " << seen.last;
    EXPECT_EQ(find_pixels(read_drawable(display, host, side, side), c.alpha | black).count,
              long{side} * side - line.count)
        << "not cleared to the background colour";
    EXPECT_EQ(children_running(zorv_binary), std::vector<pid_t>{pid});
    EXPECT_EQ(top_level_windows(display), windows);
    const std::string out = read_file(dir + "/out.txt");
    EXPECT_EQ(out, ""); // a host keeps a log of its own: no banner, no progress
    EXPECT_EQ(read_file(dir + "/err.txt"), "");

    expect_ended_by(pid, SIGTERM);
    XWindowAttributes attributes{};
    EXPECT_NE(XGetWindowAttributes(display, host, &attributes), 0) << "the host's window is gone";
    if (own_window) XDestroyWindow(display, host);
    XSync(display, False);
  }
}

// A host may start its saver with SIGTERM and SIGINT ignored and blocked, which an exec keeps;
// either still ends it at once. A host that destroys the window ends it quietly, with status 0.
TEST_F(HostWindowTest, AHostedViewerEndsOnSigtermOrSigintHoweverInheritedOrWithItsWindow) {
  constexpr int destroyed = 0; // no signal: the host destroys the window
  struct end_case {
    int number;
    bool held;
  };
  const end_case cases[] = {{SIGTERM, true}, {SIGINT, false}, {SIGINT, true}, {destroyed, true}};
  for (const end_case& c : cases) {
    SCOPED_TRACE(testing::Message() << "signal " << c.number << (c.held ? ", held" : ""));
    const Window host = make_host_window(display, window_side, window_side, black);
    testrun::run_options run;
    run.hold_termination = c.held;
    const pid_t pid = start_hosted_viewer(*this, zorv_binary, unit_x,
                                          {"-xy", "-np", "-window-id", std::to_string(host)}, run);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(wait_for_box_in(host, segment(centre, centre, centre + 200, centre), red,
                                window_side, window_side)
                    .matched);
    if (c.number != destroyed) {
      expect_ended_by(pid, c.number);
      XDestroyWindow(display, host);
      XSync(display, False);
      continue;
    }
    XDestroyWindow(display, host);
    XSync(display, False);
    const reaped_status ended = wait_for_end(pid, 1s);
    EXPECT_TRUE(ended.exited) << "still running a second after its window was destroyed";
    EXPECT_EQ(ended.code, 0);
    EXPECT_EQ(read_file(dir + "/err.txt"), "");
    if (ended.exited) std::erase(children, pid);
  }
}

// The object fills a 1280 x 1024 host window as it fills 650 x 650: scale and eye distances
// grow with the geometric mean of the sides, by 1.7614, unless -ns. A resize of the host's
// window is followed as a resize of zorv's own.
TEST_F(HostWindowTest, FillsAHostsWindowAsItFillsItsOwn) {
  constexpr int width = 1280;
  constexpr int height = 1024;
  struct fill_case {
    const char* what;
    std::string object;
    std::vector<std::string> options;
    pixel_box expected;
  };
  const fill_case cases[] = {
      // 200 grows to 352.3.
      {"no perspective", unit_x, {"-np"}, segment(640, 512, 992, 512)},
      // 260.6 in 650 x 650 (perspective along w) grows to 459.0.
      {"perspective", line_to(1, 0, 0, 0.5f), {}, segment(640, 512, 1099, 512)},
      {"-ns", unit_x, {"-np", "-ns"}, segment(640, 512, 840, 512)},
  };
  for (const fill_case& c : cases) {
    SCOPED_TRACE(c.what);
    const Window host = make_host_window(display, width, height, black);
    std::vector<std::string> options = {"-xy", "-window-id", std::to_string(host)};
    options.insert(options.end(), c.options.begin(), c.options.end());
    const pid_t pid = start_hosted_viewer(*this, zorv_binary, c.object, options);
    ASSERT_GT(pid, 0);
    const box_wait seen = wait_for_box_in(host, c.expected, red, width, height);
    EXPECT_TRUE(seen.matched) << "expected " << c.expected << ", saw " << seen.last;
    if (c.options.size() == 1) {
      // Back to 650 x 650: back to the size the object has in a window of zorv's own.
      XResizeWindow(display, host, window_side, window_side);
      XSync(display, False);
      const pixel_box expected = c.object == unit_x ? segment(centre, centre, centre + 200, centre)
                                                    : segment(centre, centre, centre + 260, centre);
      const box_wait resized = wait_for_box_in(host, expected, red, window_side, window_side);
      EXPECT_TRUE(resized.matched) << "expected " << expected << ", saw " << resized.last;
    }
    stop_hosted(pid);
    XDestroyWindow(display, host);
    XSync(display, False);
  }
}

// The server clears what a resize or an exposure uncovers of a host's window to the window's own
// background (black here); the viewer fills it with its background colour and draws again at
// once, at 30 frames a second as at one in 100 s (-fps0.01), leaving no black and no trace of the
// frame at the old centre.
TEST_F(HostWindowTest, FillsAHostsWindowWithTheBackgroundAfterAResizeOrAnExposure) {
  constexpr unsigned long midnight_blue = 0x191970;
  struct change_case {
    const char* what;
    int width;
    int height;
    bool cover; // cover part of the window with another one, then uncover it
  };
  const change_case cases[] = {
      {"exposed", window_side, window_side, true},
      {"grown", 1000, 800, false},
      {"shrunk", 500, 400, false},
  };
  for (const std::vector<std::string>& rate : {std::vector<std::string>{}, {"-fps0.01"}}) {
    SCOPED_TRACE(testing::PrintToString(rate));
    const Window host = make_host_window(display, window_side, window_side, black);
    std::vector<std::string> options = {"-xy",          "-np",        "-bc",
                                        "MidnightBlue", "-window-id", std::to_string(host)};
    options.insert(options.end(), rate.begin(), rate.end());
    const pid_t pid = start_hosted_viewer(*this, zorv_binary, unit_x, options);
    ASSERT_GT(pid, 0);
    // Only the background colour and the line, which is there.
    const auto filled = [&](int width, int height) {
      const pixel_area area = read_drawable(display, host, width, height);
      const long line = find_pixels(area, red).count;
      return line > 0 && find_pixels(area, midnight_blue).count + line == long{width} * height;
    };
    ASSERT_TRUE(wait_until([&] { return filled(window_side, window_side); }));
    for (const change_case& c : cases) {
      SCOPED_TRACE(c.what);
      if (c.cover) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixel = white;
        const Window cover = XCreateWindow(display, DefaultRootWindow(display), 0, 0, 300, 300, 0,
                                           CopyFromParent, InputOutput, CopyFromParent,
                                           CWOverrideRedirect | CWBackPixel, &attributes);
        XMapRaised(display, cover);
        XSync(display, False);
        XDestroyWindow(display, cover);
      } else {
        XResizeWindow(display, host, static_cast<unsigned>(c.width),
                      static_cast<unsigned>(c.height));
      }
      XSync(display, False);
      const bool seen = wait_until([&] { return filled(c.width, c.height); }, 3s);
      const pixel_area area = read_drawable(display, host, c.width, c.height);
      EXPECT_TRUE(seen) << find_pixels(area, black).count << " black pixels, "
                        << find_pixels(area, midnight_blue).count << " of the background";
    }
    EXPECT_EQ(read_file(dir + "/err.txt"), "");
    stop_hosted(pid);
    XDestroyWindow(display, host);
    XSync(display, False);
  }
}

// Where a segment from the window's centre points, in degrees: the direction of its farthest red
// pixel. Nothing while the window shows no segment (between erasing a frame and drawing the next).
std::optional<double> pointing(const pixel_area& area) {
  std::optional<double> angle;
  long farthest = 0;
  for (int y = area.top; y < area.top + area.height; ++y) {
    for (int x = area.left; x < area.left + area.width; ++x) {
      if (area.at(x, y) != red) continue;
      const long dx = x - centre;
      const long dy = centre - y;
      if (dx * dx + dy * dy <= farthest) continue;
      farthest = dx * dx + dy * dy;
      angle = std::atan2(static_cast<double>(dy), static_cast<double>(dx)) * 180.0 / M_PI;
    }
  }
  return angle;
}

// In a host's window the viewer keeps to 30 frames a second, or to the rate of -fps: a segment
// turning 2 degrees a frame is seen to turn 60 (or 20) degrees a second, a little at each look.
// Unpaced, it would turn by thousands of frames between two looks.
TEST_F(HostWindowTest, AHostedViewerKeeps30FramesASecondUnlessFpsSaysOtherwise) {
  constexpr double degrees_per_frame = 2.0;
  constexpr auto look_interval = 100ms;
  constexpr auto span = 2s;
  constexpr double largest_step = 45.0; // degrees between two looks
  // Of the rate: the looks are a frame or two out at either end; a busy machine may wake the
  // viewer late and lose frames, but never adds any.
  constexpr double above = 0.1;
  constexpr double below = 0.3;
  struct rate_case {
    std::vector<std::string> options;
    double rate;
  };
  const rate_case cases[] = {{{}, 30.0}, {{"-fps10"}, 10.0}};
  const Window host = make_host_window(display, window_side, window_side, black);
  for (const rate_case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    std::vector<std::string> options = {"-xy2", "-np", "-window-id", std::to_string(host)};
    options.insert(options.end(), c.options.begin(), c.options.end());
    const pid_t pid = start_hosted_viewer(*this, zorv_binary, unit_x, options);
    ASSERT_GT(pid, 0);

    const auto look = [&] {
      std::optional<double> angle;
      std::chrono::steady_clock::time_point when;
      wait_until([&] {
        when = std::chrono::steady_clock::now();
        angle = pointing(read_drawable(display, host, window_side, window_side));
        return angle.has_value();
      });
      return std::make_pair(when, angle.value_or(0.0));
    };
    auto [first_time, previous] = look();
    auto last_time = first_time;
    double turned = 0.0;
    std::vector<double> steps;
    while (last_time - first_time < span) {
      std::this_thread::sleep_for(look_interval);
      const auto [when, angle] = look();
      const double step = std::remainder(angle - previous, 360.0);
      steps.push_back(step);
      turned += step;
      previous = angle;
      last_time = when;
    }
    stop_hosted(pid);
    XClearWindow(display, host); // of the segment drawn last, for the next case
    XSync(display, False);

    const double seconds = std::chrono::duration<double>(last_time - first_time).count();
    const double rate = std::fabs(turned) / degrees_per_frame / seconds;
    SCOPED_TRACE(testing::Message()
                 << rate << " frames a second; steps " << testing::PrintToString(steps));
    RecordProperty("frames_a_second_at_" + std::to_string(static_cast<int>(c.rate)),
                   std::to_string(rate));
    EXPECT_LE(rate, c.rate * (1 + above));
    EXPECT_GE(rate, c.rate * (1 - below));
    for (const double step : steps) {
      EXPECT_LT(std::fabs(step), largest_step);
      EXPECT_GE(step * turned, 0.0) << "a step against the turn";
    }
  }
}

// An ID that names no window, or a window that takes no drawing, is reported like a display
// that cannot be opened: "ZORV: ..." and status 1, before any drawing.
TEST_F(HostWindowTest, ReportsAHostsWindowThatCannotBeDrawnInto) {
  XSetWindowAttributes attributes{};
  const Window input_only = XCreateWindow(display, DefaultRootWindow(display), 0, 0, 100, 100, 0, 0,
                                          InputOnly, CopyFromParent, 0, &attributes);
  XMapWindow(display, input_only);
  XSync(display, False);
  struct refusal_case {
    std::vector<std::string> options;
    std::string saver_variable;
    std::string message;
  };
  const refusal_case cases[] = {
      {{"-window-id", "0x1fffffff"}, "", "ZORV: Could not find window 0x1fffffff.\n"},
      {{"-window-id", "0"}, "", "ZORV: Could not find window 0x0.\n"},
      {{"-window-id", std::to_string(input_only)},
       "",
       "ZORV: Could not draw into window " + hexadecimal(input_only) + ".\n"},
      {{"-root"}, "0x1fffffff", "ZORV: Could not find window 0x1fffffff.\n"},
      {{"-root"}, "screen", "ZORV: XSCREENSAVER_WINDOW holds no window ID: screen\n"},
  };
  write_file(dir + "/object.zorv", unit_x);
  for (const refusal_case& c : cases) {
    SCOPED_TRACE(c.message);
    testrun::run_options run;
    run.dir = dir;
    run.environment = {{"DISPLAY", server.display_name}};
    if (!c.saver_variable.empty())
      run.environment.emplace_back("XSCREENSAVER_WINDOW", c.saver_variable);
    std::vector<std::string> arguments = {"object.zorv"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const testrun::program_run ran = testrun::run_program(zorv_binary, arguments, run);
    EXPECT_TRUE(ran.ended);
    EXPECT_EQ(testrun::shell_status(ran), 1);
    EXPECT_EQ(ran.err, c.message);
    EXPECT_EQ(ran.out, "");
  }
}

} // namespace
} // namespace zorv
