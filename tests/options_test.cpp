// The opt-in options -fps, -bb and -wc: how the command line reads them, and the frame pacer
// behind -fps (in memory, no display).
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "animation.hpp"
#include "settings.hpp"

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace zorv {
namespace {

parse_result parse(viewer_settings& settings, std::vector<std::string> arguments) {
  std::vector<const char*> argv{"zorv"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  return parse_arguments(settings, static_cast<int>(argv.size()), argv.data());
}

viewer_settings defaults() {
  viewer_settings settings;
  set_defaults(settings);
  return settings;
}

TEST(options_test, are_off_by_default) {
  const viewer_settings settings = defaults();
  EXPECT_EQ(settings.frame_rate, 0.0f);
  EXPECT_FALSE(settings.back_buffer);
  EXPECT_FALSE(settings.depth_cueing);
  EXPECT_EQ(settings.depth_colour, "");
}

struct accepted_case {
  std::vector<std::string> arguments;
  float frame_rate;
  bool back_buffer;
  bool depth_cueing;
  std::string depth_colour;
};

TEST(options_test, are_read_with_the_other_options) {
  const accepted_case cases[] = {
      {{"torus", "-fps60"}, 60, false, false, ""},
      {{"-fps1000"}, 1000, false, false, ""},
      {{"-fps0.5"}, 0.5f, false, false, ""},
      // The rate is read as every number is: exponents, hexadecimal, leading blanks.
      {{"-fps1e2"}, 100, false, false, ""},
      {{"-fps0x1p4"}, 16, false, false, ""},
      {{"-fps 25"}, 25, false, false, ""},
      {{"-fps30", "-fps40"}, 40, false, false, ""},
      {{"-bb"}, 0, true, false, ""},
      {{"-wc", "Blue"}, 0, false, true, "Blue"},
      // The colour is taken as it stands, like the argument after -lc.
      {{"-wc", "-np"}, 0, false, true, "-np"},
      {{"-wc", ""}, 0, false, true, ""},
      {{"torus", "-xw2", "-bb", "-fps60", "-wc", "Navy", "-cw"}, 60, true, true, "Navy"},
  };
  for (const accepted_case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    viewer_settings settings = defaults();
    ASSERT_EQ(parse(settings, c.arguments).outcome, parse_outcome::run);
    EXPECT_EQ(settings.frame_rate, c.frame_rate);
    EXPECT_EQ(settings.back_buffer, c.back_buffer);
    EXPECT_EQ(settings.depth_cueing, c.depth_cueing);
    EXPECT_EQ(settings.depth_colour, c.depth_colour);
  }
}

// Each is a bad option, blamed on the option's own argument.
TEST(options_test, refuse_unusable_values_and_misspelt_names) {
  const std::vector<std::string> refused[] = {
      {"-fps"},         {"-fps0"},   {"-fps-5"},    {"-fps1000.5"},
      {"-fps1e9"},      {"-fpsnan"}, {"-fpsinf"},   {"-fps60x"},
      {"-fps60 "},      {"-fpsx"},   {"-fps1e-50"}, // 0 as a float
      {"-fp60"},        {"-FPS60"},  {"-bbx"},      {"-bb2"},
      {"-wcx", "Blue"}, {"-wc"}, // nothing to take
  };
  for (const std::vector<std::string>& arguments : refused) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    viewer_settings settings = defaults();
    const parse_result result = parse(settings, arguments);
    EXPECT_EQ(result.outcome, parse_outcome::bad_option);
    EXPECT_EQ(result.offending, arguments[0]);
    EXPECT_EQ(settings.frame_rate, 0.0f);
  }
}

// The help test comes first, as it does for a bad option.
TEST(options_test, leave_help_where_it_was) {
  viewer_settings settings = defaults();
  EXPECT_EQ(parse(settings, {"-fps60", "-h", "-bb"}).outcome, parse_outcome::help);
  EXPECT_FALSE(settings.back_buffer);
}

using namespace std::chrono_literals;
using clock_type = std::chrono::steady_clock;

TEST(frame_pacer_test, turns_the_rate_into_a_period_of_at_most_a_day) {
  EXPECT_EQ(start_pacing(50).period, 20'000'000);
  EXPECT_EQ(start_pacing(60).period, 16'666'666);
  EXPECT_EQ(start_pacing(max_frame_rate).period, 1'000'000);
  EXPECT_EQ(start_pacing(1e-30f).period, 86'400'000'000'000);
}

// Frames on time keep to a schedule of whole periods, so sleeps do not add up to drift.
TEST(frame_pacer_test, keeps_frames_on_a_fixed_schedule) {
  frame_pacer pacer = start_pacing(100);
  wait_for_frame_start(pacer);
  const std::int64_t first = pacer.next_start;
  const auto start = clock_type::now();
  constexpr int frames = 20;
  for (int i = 0; i < frames; ++i) wait_for_frame_start(pacer);
  const auto elapsed = clock_type::now() - start;
  EXPECT_EQ(pacer.next_start, first + frames * pacer.period);
  EXPECT_GE(elapsed, 190ms);
  EXPECT_LT(elapsed, 300ms);
}

// After a frame that ran long the next starts at once, and the one after a whole period later:
// no burst of frames to make up for the lost time.
TEST(frame_pacer_test, restarts_the_schedule_after_a_late_frame) {
  frame_pacer pacer = start_pacing(50);
  wait_for_frame_start(pacer);
  std::this_thread::sleep_for(200ms); // ten periods late
  auto start = clock_type::now();
  wait_for_frame_start(pacer);
  EXPECT_LT(clock_type::now() - start, 10ms);
  start = clock_type::now();
  wait_for_frame_start(pacer);
  EXPECT_GE(clock_type::now() - start, 15ms);
}

} // namespace
} // namespace zorv
