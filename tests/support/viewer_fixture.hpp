// What the tests of the real zorv program against a private Xvfb share: the program, a session
// on a 1400 x 1400 screen for each test, the viewer started as a process and stopped, and the
// one-line objects and pixel boxes that show where it draws. Only test programs include it: they
// define ZORV_BIN_DIR.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#pragma once

#include <gtest/gtest.h>

#include "x11_harness.hpp"

#include <string>
#include <utility>
#include <vector>

namespace zorv::x11test {

inline const std::string zorv_binary = ZORV_BIN_DIR "/zorv";

inline constexpr int screen_side = 1400; // room for a 1300 x 1300 window and its border
inline constexpr int centre = window_side / 2;
inline constexpr unsigned long red = 0xff0000;
inline constexpr unsigned long black = 0x000000;
inline constexpr unsigned long white = 0xffffff;

// A one-line object from the origin to the given point.
inline std::string line_to(float x, float y, float z, float w) {
  return "p={2}\n0 0 0 0\n" + std::to_string(x) + " " + std::to_string(y) + " " +
         std::to_string(z) + " " + std::to_string(w) + "\nl={1}\n0 1\nn=line\n";
}

inline const std::string unit_x = line_to(1, 0, 0, 0);

// The run's pixel box of one colour, and whether it matched before the deadline.
struct box_wait {
  bool matched;
  pixel_box last;
};

// A horizontal or vertical segment from the centre, as {left, top, right, bottom, count}.
inline pixel_box segment(int left, int top, int right, int bottom) {
  return {left, top, right, bottom, (right - left) + (bottom - top) + 1};
}

// A fresh server and directory for each test; the viewer's background processes are adopted, so
// that they can be waited for.
class viewer_fixture : public testing::Test, protected viewer_session {
protected:
  static void SetUpTestSuite() { adopt_orphans(); }
  void SetUp() override { ASSERT_EQ(open_session(*this, screen_side), ""); }
  void TearDown() override { close_session(*this); }

  zorv_run start(const std::string& object_text, std::vector<std::string> options) {
    zorv_run run = start_viewer_process(*this, zorv_binary, object_text, std::move(options));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_GT(run.child, 0) << run.out;
    return run;
  }

  void stop(const zorv_run& run) { stop_viewer(*this, run); }
};

} // namespace zorv::x11test
