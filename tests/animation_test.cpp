// The frame loop's pacing: the frame pacer behind -fps in memory, and the paced loop against a
// private Xvfb.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "animation.hpp"
#include "torus.hpp"
#include "x11_harness.hpp"

#include <chrono>
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

TEST(FramePacerTest, TurnsTheRateIntoAPeriodOfAtMostADay) {
  EXPECT_EQ(start_pacing(50).period, 20'000'000);
  EXPECT_EQ(start_pacing(60).period, 16'666'666);
  EXPECT_EQ(start_pacing(max_frame_rate).period, 1'000'000);
  EXPECT_EQ(start_pacing(1e-30f).period, 86'400'000'000'000);
}

// Frames on time keep to a schedule of whole periods, so sleeps do not add up to drift. Only a
// lower bound on the time taken: a loaded machine may wake the sleeper late, never early.
TEST(FramePacerTest, KeepsFramesOnAFixedSchedule) {
  frame_pacer pacer = start_pacing(100);
  wait_for_frame_start(pacer);
  const std::int64_t first = pacer.next_start;
  const auto start = clock_type::now();
  constexpr int frames = 20;
  for (int i = 0; i < frames; ++i) wait_for_frame_start(pacer);
  EXPECT_EQ(pacer.next_start, first + frames * pacer.period);
  EXPECT_GE(clock_type::now() - start, 190ms);
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
