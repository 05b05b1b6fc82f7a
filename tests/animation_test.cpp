// The frame loop's angles over a long run, and its pacing: the frame pacer behind -fps in memory,
// and the paced loop against a private Xvfb.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "animation.hpp"
#include "torus.hpp"
#include "x11_harness.hpp"

#include <array>
#include <chrono>
#include <cmath>
#include <ctime>
#include <thread>

namespace zorv {
namespace {

using namespace std::chrono_literals;
using clock_type = std::chrono::steady_clock;

// The monotonic clock that the pacer schedules frames on, in nanoseconds.
std::int64_t monotonic_nanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// How far an angle turned from one frame to the next: the difference taken to the whole turn
// nearest the expected step, since an angle may have lost whole turns in between.
double step_between(float before, float after, double expected) {
  constexpr double whole_turn = 6.283185307179586;
  const double step = static_cast<double>(after) - static_cast<double>(before);
  return step - whole_turn * std::round((step - expected) / whole_turn);
}

// Any hundred frames of a run of 100 million (more than a day at the speeds a window reaches)
// turn each plane by its increment to within 0.1%, for increments from a tenth of a degree up,
// either way. The first frames are the plain single-precision sums, bit for bit.
TEST(AdvanceAnglesTest, KeepsEverySpeedOverAHundredMillionFrames) {
  constexpr long frames = 100'000'000;
  constexpr int window = 100;
  constexpr float first_turn_back = 4 * M_PI;
  const std::array<float, plane_count> degrees = {0.1f, -0.1f, 0.45f, 0.6f, 2.0f, 170.0f};
  const std::array<float, plane_count> increments = increments_in_radians(degrees);
  object_record object{};
  identity_transform(object);

  std::array<float, plane_count> plain{};
  std::array<std::array<double, window>, plane_count> steps{};
  std::array<double, plane_count> window_sum{};
  std::array<double, plane_count> worst{};
  for (long frame = 0; frame < frames; ++frame) {
    std::array<float, plane_count> before{};
    for (int p = 0; p < plane_count; ++p) before[p] = object.planes[p].angle;
    advance_angles(object, increments);
    for (int p = 0; p < plane_count; ++p) {
      const double increment = increments[p];
      plain[p] += increments[p];
      if (std::fabs(plain[p]) < first_turn_back) {
        ASSERT_EQ(object.planes[p].angle, plain[p]) << "plane " << p << ", frame " << frame;
      }
      const double step = step_between(before[p], object.planes[p].angle, increment);
      double& slot = steps[p][static_cast<std::size_t>(frame % window)];
      window_sum[p] += step - slot;
      slot = step;
      if (frame + 1 >= window)
        worst[p] = std::max(worst[p], std::fabs(window_sum[p] / (window * increment) - 1));
    }
  }
  for (int p = 0; p < plane_count; ++p) {
    EXPECT_LE(worst[p], 0.001) << degrees[p] << " degrees a frame";
    EXPECT_LT(std::fabs(object.planes[p].angle), 4 * M_PI + std::fabs(increments[p]));
  }
}

TEST(FramePacerTest, TurnsTheRateIntoAPeriodOfAtMostADay) {
  EXPECT_EQ(start_pacing(50).period, 20'000'000);
  EXPECT_EQ(start_pacing(60).period, 16'666'666);
  EXPECT_EQ(start_pacing(max_frame_rate).period, 1'000'000);
  EXPECT_EQ(start_pacing(1e-30f).period, 86'400'000'000'000);
}

// Frames on time keep to a schedule of whole periods, so sleeps do not add up to drift; no frame
// starts before its time. (A frame that a loaded machine wakes late restarts the schedule, as
// the next test shows, so each wait is checked against the path it took.)
TEST(FramePacerTest, KeepsFramesOnAFixedSchedule) {
  frame_pacer pacer = start_pacing(100);
  wait_for_frame_start(pacer);
  int on_time = 0;
  for (int i = 0; i < 20; ++i) {
    const std::int64_t scheduled = pacer.next_start;
    const std::int64_t asked = monotonic_nanoseconds();
    ASSERT_TRUE(wait_for_frame_start(pacer));
    EXPECT_GE(monotonic_nanoseconds(), scheduled);
    if (asked < scheduled) {
      EXPECT_EQ(pacer.next_start, scheduled + pacer.period);
      ++on_time;
    } else {
      EXPECT_GE(pacer.next_start - pacer.period, asked);
    }
  }
  EXPECT_GT(on_time, 0);
}

// After a frame that ran long the next starts when it is asked for, not at its place in the old
// schedule (which would bring a burst of frames to catch up), and the one after it a whole
// period later.
TEST(FramePacerTest, RestartsTheScheduleAfterALateFrame) {
  frame_pacer pacer = start_pacing(50);
  wait_for_frame_start(pacer);
  std::this_thread::sleep_for(200ms); // ten periods late
  const std::int64_t asked = monotonic_nanoseconds();
  wait_for_frame_start(pacer);
  const std::int64_t started = pacer.next_start - pacer.period;
  EXPECT_GE(started, asked);
  EXPECT_LE(started, monotonic_nanoseconds());
  const auto next_asked = clock_type::now();
  wait_for_frame_start(pacer);
  EXPECT_EQ(pacer.next_start, started + 2 * pacer.period);
  EXPECT_GE(clock_type::now() - next_asked, 15ms);
}

// The loop that -fps50 runs draws about 50 frames a second on a real server.
TEST(PacedAnimationTest, DrawsAtTheCappedRate) {
  x11test::viewer_session session;
  ASSERT_EQ(x11test::open_session(session, 1000), "");
  viewer& v = x11test::start_local_viewer(session, torus_text(24, 12), {"-xw2", "-fps50"});
  frame_pacer pacer = start_pacing(v.settings.frame_rate);
  int frames = 0;
  const auto start = clock_type::now();
  while (clock_type::now() - start < 2s) {
    run_paced_frame(v, pacer);
    ++frames;
  }
  EXPECT_NEAR(frames, 100, 10);
  x11test::close_session(session);
}

} // namespace
} // namespace zorv
