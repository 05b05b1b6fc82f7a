// Each of cellgen's polytopes, piped straight into the real viewer, is drawn and turns.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "x11_harness.hpp"

#include <csignal>
#include <string>
#include <vector>

namespace zorv {
namespace {

using namespace x11test;

constexpr int window_side = 650;
constexpr unsigned long red = 0xff0000;

TEST(CellgenInTheViewerTest, EveryPolytopeLoadsFromAPipeAndTurns) {
  adopt_orphans();
  xvfb_server server = start_xvfb(700, 700);
  ASSERT_GT(server.pid, 0) << "Xvfb did not start";
  Display* display = open_test_display(server.display_name);
  ASSERT_NE(display, nullptr);
  const std::string dir = make_temp_dir();
  for (const char* cells : {"5", "8", "16", "24", "120", "600"}) {
    SCOPED_TRACE(std::string(cells) + "-cell");
    const std::string pipeline =
        ZORV_BIN_DIR "/cellgen " + std::string(cells) + " | " ZORV_BIN_DIR "/zorv /dev/stdin";
    const zorv_run run = run_zorv("/bin/sh", dir, server.display_name, {"-c", pipeline});
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_GT(run.child, 0) << run.out << run.err;
    EXPECT_NE(run.out.find(" Loading object file /dev/stdin."), std::string::npos) << run.out;

    // Drawn, and drawn differently a moment later: the default motion turns it. A read may fall
    // between a frame's erase and its drawing and find the window empty; a still object shows
    // one picture whenever it shows one at all.
    pixel_box first;
    EXPECT_TRUE(wait_until([&] {
      first = find_pixels(read_window(display, window_side, window_side), red);
      return first.count > 0;
    }));
    EXPECT_TRUE(wait_until([&] {
      const pixel_box now = find_pixels(read_window(display, window_side, window_side), red);
      return now.count > 0 && now != first;
    }));
    stop_process(run.child);
  }
  XCloseDisplay(display);
  stop_xvfb(server);
  remove_temp_dir(dir);
}

} // namespace
} // namespace zorv
