// The real zorv program drawing smooth lines (-aa) into its window, against a private Xvfb: the
// window shows the very pixels of the picture file (-o) of the same frame and the plain window's
// colours, and a screen without 24-bit true colour is refused.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "colours.hpp"
#include "picture_files.hpp"
#include "torus.hpp"
#include "viewer_fixture.hpp"
#include "x11_harness.hpp"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace zorv {
namespace {

using namespace x11test;

// Leaves MIT-SHM out, so that -aa sends its pixels with XPutImage.
const std::vector<std::string> without_shared_memory = {"-extension", "MIT-SHM"};

using SmoothWindowTest = viewer_fixture;

// -aa shows in the window exactly the pixels that -o writes for the same frame and size, whether
// they go through shared memory or, where the server lacks it, XPutImage.
TEST_F(SmoothWindowTest, SmoothLinesShowThePixelsOfThePicture) {
  const std::string torus = torus_text(24, 12);
  const std::vector<std::string> option_sets[] = {
      {"-xy"},
      {"-xy", "-lw3", "-lc", "Yellow", "-bc", "Navy"},
      {"-xy", "-wc", "Blue"},
      {"-xy", "-geometry", "400x300", "-s150"},
  };
  for (const auto& server_arguments : {std::vector<std::string>{}, without_shared_memory}) {
    SCOPED_TRACE(server_arguments.empty() ? "MIT-SHM" : "XPutImage");
    ASSERT_EQ(restart_server(*this, screen_side, server_arguments), "");
    for (const std::vector<std::string>& options : option_sets) {
      SCOPED_TRACE(testing::PrintToString(options));
      std::vector<std::string> writing = {"object.zorv", "-o", "frame.png"};
      writing.insert(writing.end(), options.begin(), options.end());
      write_file(dir + "/object.zorv", torus);
      ASSERT_EQ(run_zorv(zorv_binary, dir, server.display_name, writing).status, 0);
      const picturetest::image picture = picturetest::read_png(dir + "/frame.png");
      ASSERT_GT(picture.width, 0);

      std::vector<std::string> smooth = options;
      smooth.push_back("-aa");
      const zorv_run run = start(torus, smooth);
      pixel_area shown;
      EXPECT_TRUE(wait_until([&] {
        shown = read_window(display, picture.width, picture.height);
        return std::equal(shown.pixels.begin(), shown.pixels.end(), picture.pixels.begin(),
                          picture.pixels.end());
      }));
      EXPECT_EQ(run.err, "");
      stop(run);
    }
  }
}

// The pixel that the plain window gives a colour text: XLookupColor's screen colour, allocated;
// pixel 0 for a text that the server does not read.
unsigned long window_pixel(Display* display, const std::string& text) {
  const Colormap colormap = DefaultColormap(display, DefaultScreen(display));
  XColor exact{};
  XColor screen{};
  if (XLookupColor(display, colormap, text.c_str(), &exact, &screen) == 0) return 0;
  EXPECT_NE(XAllocColor(display, colormap, &screen), 0) << text;
  return screen.pixel;
}

// -aa and -o draw each of X's colour forms in the pixel that the plain window gets from the
// server: -aa asks its server for what the database and the forms leave unread (the
// device-independent forms, intensities between none and full), and -o reads the rest itself.
TEST_F(SmoothWindowTest, SmoothLinesAndPicturesShowTheWindowsColourOfEveryForm) {
  struct colour_pair {
    std::string line;
    std::string background;
  };
  const colour_pair pairs[] = {
      {"rgb:00/ff/80", "rgb:1/23/456"},
      {"RGB:80ff/8080/7fff", "rgbi:0/1/0"},
      {"rgbi:0.5/0.25/1", "CIEXYZ:0.3/0.2/0.1"},
      {"CIELab:50/20/-30", "CIEuvY:0.2/0.4/0.5"},
      {"CIExyY:0.3/0.3/0.5", "cieluv:50/10/10"},
      {"TekHVC:100/50/30", "rgbi:1/1e0/1.0"},
      {"midnight blue", "#f80"},
      {"rgb:8/8/8", "nosuchcolour"},
  };
  // The line from the centre to 200 pixels right of it covers its row exactly.
  const int line_x = centre + 100;
  const int line_y = centre;
  for (const colour_pair& pair : pairs) {
    SCOPED_TRACE(pair.line + " on " + pair.background);
    const unsigned long line = window_pixel(display, pair.line);
    const unsigned long background = window_pixel(display, pair.background);
    const std::vector<std::string> colours = {"-xy",     "-np", "-lc",
                                              pair.line, "-bc", pair.background};
    std::vector<std::string> smooth = colours;
    smooth.push_back("-aa");
    const zorv_run run = start(unit_x, smooth);
    pixel_area shown;
    EXPECT_TRUE(wait_until([&] {
      shown = read_window(display, window_side, window_side);
      return shown.at(line_x, line_y) == line && shown.at(0, 0) == background;
    })) << std::hex
        << "line " << shown.at(line_x, line_y) << " (the window's " << line << "), background "
        << shown.at(0, 0) << " (the window's " << background << ")";
    EXPECT_EQ(run.err, "");
    stop(run);
    if (needs_display(pair.line) || needs_display(pair.background)) continue;
    std::vector<std::string> writing = {"object.zorv", "-o", "colours.png"};
    writing.insert(writing.end(), colours.begin(), colours.end());
    ASSERT_EQ(run_zorv(zorv_binary, dir, server.display_name, writing).status, 0);
    const picturetest::image picture = picturetest::read_png(dir + "/colours.png");
    ASSERT_EQ(picture.width, window_side);
    EXPECT_EQ(picture.at(line_x, line_y), line);
    EXPECT_EQ(picture.at(0, 0), background);
  }
}

// Where the screen does not take 24-bit true-colour pixels, -aa is refused with a message.
TEST_F(SmoothWindowTest, SmoothLinesNeedATrueColourScreen) {
  ASSERT_EQ(restart_server(*this, screen_side, {"-screen", "1", "800x800x16"}), "");
  write_file(dir + "/object.zorv", unit_x);
  const zorv_run run = run_zorv(zorv_binary, dir, server.display_name,
                                {"object.zorv", "-aa", "-d", server.display_name + ".1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "ZORV: -aa needs a TrueColor screen of 24 bits.\n");
  EXPECT_EQ(run.child, -1);
}

long differing(const std::vector<unsigned long>& shown,
               const std::vector<unsigned long>& expected) {
  if (shown.size() != expected.size()) return static_cast<long>(expected.size());
  long count = 0;
  for (std::size_t i = 0; i < shown.size(); ++i) count += shown[i] != expected[i] ? 1 : 0;
  return count;
}

std::string hexadecimal(Window window) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%lx", window);
  return text;
}

// A host's window takes -aa in its own visual and depth, whether -window-id or
// XSCREENSAVER_WINDOW names it and whether the pixels go through shared memory or XPutImage: a
// 24-bit window shows the pixels of the picture, a 32-bit TrueColor window (an ARGB window, as
// compositing hosts make them) the same pixels with opaque alpha.
TEST_F(SmoothWindowTest, SmoothLinesDrawIntoAHostsWindowInItsOwnDepth) {
  const std::string torus = torus_text(24, 12);
  const std::vector<std::string> options = {"-xy", "-lc", "Yellow", "-bc", "Navy"};
  std::vector<std::string> writing = {"object.zorv", "-o", "frame.png"};
  writing.insert(writing.end(), options.begin(), options.end());
  write_file(dir + "/object.zorv", torus);
  ASSERT_EQ(run_zorv(zorv_binary, dir, server.display_name, writing).status, 0);
  const picturetest::image picture = picturetest::read_png(dir + "/frame.png");
  ASSERT_EQ(picture.width, window_side);
  struct host_case {
    const char* what;
    int depth; // 0: the screen's default, 24 bits
    bool by_id;
    unsigned long alpha;
  };
  const host_case cases[] = {
      {"24 bits, -window-id", 0, true, 0},
      {"32 bits, -window-id", 32, true, 0xff000000},
      {"32 bits, -root and XSCREENSAVER_WINDOW", 32, false, 0xff000000},
  };
  for (const auto& server_arguments : {std::vector<std::string>{}, without_shared_memory}) {
    SCOPED_TRACE(server_arguments.empty() ? "MIT-SHM" : "XPutImage");
    ASSERT_EQ(restart_server(*this, screen_side, server_arguments), "");
    for (const host_case& c : cases) {
      SCOPED_TRACE(c.what);
      const Window host = make_host_window(display, window_side, window_side, white, c.depth);
      ASSERT_NE(host, 0u);
      std::vector<std::string> hosted = options;
      hosted.push_back("-aa");
      testrun::run_options run;
      if (c.by_id) {
        hosted.insert(hosted.end(), {"-window-id", std::to_string(host)});
      } else {
        hosted.push_back("-root");
        run.environment = {{"XSCREENSAVER_WINDOW", hexadecimal(host)}};
      }
      const pid_t pid = start_hosted_viewer(*this, zorv_binary, torus, hosted, run);
      ASSERT_GT(pid, 0);
      std::vector<unsigned long> expected(picture.pixels.begin(), picture.pixels.end());
      for (unsigned long& pixel : expected) pixel |= c.alpha;
      pixel_area shown;
      EXPECT_TRUE(wait_until([&] {
        shown = read_drawable(display, host, window_side, window_side);
        return shown.pixels == expected;
      })) << differing(shown.pixels, expected)
          << " pixels differ";
      EXPECT_FALSE(process_gone(pid));
      EXPECT_EQ(read_file(dir + "/err.txt"), "");
      stop_process(pid);
      std::erase(children, pid);
      XDestroyWindow(display, host);
      XSync(display, False);
    }
  }
}

// -aa draws into 24 or 32-bit TrueColor alone: a host's window of another visual, DirectColor or
// the root of a 16-bit screen, is refused with the window and what it is, status 1, before
// anything is drawn into it.
TEST_F(SmoothWindowTest, SmoothLinesRefuseAHostsWindowOfAnotherVisualBeforeDrawing) {
  constexpr int second_screen = 1;
  ASSERT_EQ(restart_server(*this, screen_side, {"-screen", "1", "800x800x16"}), "");
  const Window direct = make_host_window(display, window_side, window_side, white, 24, DirectColor);
  ASSERT_NE(direct, 0u);
  const Window second_root = RootWindow(display, second_screen);
  struct refusal_case {
    Window window;
    bool by_id;
    std::string what;
  };
  const refusal_case cases[] = {
      {direct, true, "DirectColor of 24 bits"},
      {direct, false, "DirectColor of 24 bits"},
      {second_root, false, "TrueColor of 16 bits"},
  };
  write_file(dir + "/object.zorv", unit_x);
  for (const refusal_case& c : cases) {
    SCOPED_TRACE(c.what + (c.by_id ? ", -window-id" : ", XSCREENSAVER_WINDOW"));
    const pixel_area before = read_drawable(display, c.window, window_side, window_side);
    testrun::run_options run;
    run.dir = dir;
    run.environment = {{"DISPLAY", server.display_name}};
    run.deadline = 5s;
    std::vector<std::string> arguments = {"object.zorv", "-xy", "-aa"};
    if (c.by_id) {
      arguments.insert(arguments.end(), {"-window-id", std::to_string(c.window)});
    } else {
      arguments.push_back("-root");
      run.environment.emplace_back("XSCREENSAVER_WINDOW", hexadecimal(c.window));
    }
    const testrun::program_run ran = testrun::run_program(zorv_binary, arguments, run);
    EXPECT_TRUE(ran.ended) << "still running after 5 s";
    EXPECT_EQ(testrun::shell_status(ran), 1);
    EXPECT_EQ(ran.err, "ZORV: -aa needs a TrueColor window of 24 or 32 bits: window " +
                           hexadecimal(c.window) + " is " + c.what + ".\n");
    EXPECT_EQ(ran.out, "");
    EXPECT_EQ(read_drawable(display, c.window, window_side, window_side).pixels, before.pixels)
        << "drawn into";
  }
}

} // namespace
} // namespace zorv
