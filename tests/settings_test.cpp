// The settings' defaults, the command-line parser (in memory, no process ends) and the help text.
#include "settings.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace zorv {

// Found by GoogleTest through the record's namespace. Every field, so that a failed comparison of
// whole records says which one differs.
void PrintTo(const viewer_settings& s, std::ostream* out) {
  *out << "{line_width " << s.line_width << ", scale " << s.scale << ", line_colour \""
       << s.line_colour << "\", background_colour \"" << s.background_colour << "\", perspective "
       << s.perspective << ", w_distance " << s.w_distance << ", z_distance " << s.z_distance
       << ", increments " << ::testing::PrintToString(s.increments) << ", increments_cleared "
       << s.increments_cleared << ", clear_each_frame " << s.clear_each_frame
       << ", rescale_on_resize " << s.rescale_on_resize << ", show_title " << s.show_title
       << ", display_name \"" << s.display_name << "\", data_file \"" << s.data_file
       << "\", frame_rate " << s.frame_rate << ", back_buffer " << s.back_buffer
       << ", depth_cueing " << s.depth_cueing << ", depth_colour \"" << s.depth_colour
       << "\", interactive " << s.interactive << "}";
}

namespace {

constexpr float infinity = std::numeric_limits<float>::infinity();

// Sets DISPLAY (or unsets it, for nullptr) for one test and puts the old value back after it.
struct display_variable {
  explicit display_variable(const char* value) {
    if (const char* old = std::getenv("DISPLAY")) saved = old;
    had_value = std::getenv("DISPLAY") != nullptr;
    if (value)
      setenv("DISPLAY", value, 1);
    else
      unsetenv("DISPLAY");
  }
  ~display_variable() {
    if (had_value)
      setenv("DISPLAY", saved.c_str(), 1);
    else
      unsetenv("DISPLAY");
  }
  std::string saved;
  bool had_value = false;
};

viewer_settings defaults() {
  viewer_settings settings;
  set_defaults(settings);
  return settings;
}

// Runs the parser on the defaults with the given arguments after the program name.
parse_result parse(viewer_settings& settings, std::vector<std::string> arguments) {
  std::vector<const char*> argv{"zorv"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  return parse_arguments(settings, static_cast<int>(argv.size()), argv.data());
}

TEST(SettingsTest, DefaultsTakeTheDisplayFromTheEnvironment) {
  {
    display_variable unset(nullptr);
    const viewer_settings settings = defaults();
    EXPECT_EQ(settings.display_name, "unix:0");
    EXPECT_EQ(settings.line_width, 0);
    EXPECT_EQ(settings.scale, 200.0f);
    EXPECT_EQ(settings.line_colour, "Red");
    EXPECT_EQ(settings.background_colour, "Black");
    EXPECT_TRUE(settings.perspective);
    EXPECT_EQ(settings.w_distance, 430.0f);
    EXPECT_EQ(settings.z_distance, 430.0f);
    EXPECT_EQ(settings.increments, (std::array{0.0f, 0.6f, 0.0f, 0.6f, 0.45f, 0.0f}));
    EXPECT_FALSE(settings.increments_cleared);
    EXPECT_FALSE(settings.clear_each_frame);
    EXPECT_TRUE(settings.rescale_on_resize);
    EXPECT_TRUE(settings.show_title);
    EXPECT_EQ(settings.data_file, "");
    // -fps, -bb, -wc and -i are off.
    EXPECT_EQ(settings.frame_rate, 0.0f);
    EXPECT_FALSE(settings.back_buffer);
    EXPECT_FALSE(settings.depth_cueing);
    EXPECT_EQ(settings.depth_colour, "");
    EXPECT_FALSE(settings.interactive);
  }
  display_variable set("farhost:3.0");
  EXPECT_EQ(defaults().display_name, "farhost:3.0");
}

// An accepted command line and what it changes in the defaults.
struct accepted_case {
  std::vector<std::string> arguments;
  std::function<void(viewer_settings&)> change;
};

TEST(SettingsTest, AcceptedCommandLinesChangeExactlyTheirSettings) {
  display_variable unset(nullptr);
  const std::string long_path = "/tmp/" + std::string(60, 'p') + "/torus.zorv";
  const std::string long_colour(600, 'c');
  const accepted_case cases[] = {
      {{"torus"}, [](viewer_settings& s) { s.data_file = "torus"; }},
      {{"torus", "-xw2"},
       [](viewer_settings& s) {
         s.data_file = "torus";
         s.increments = {0, 0, 0, 2, 0, 0};
         s.increments_cleared = true;
       }},
      {{"torus", "-xw2", "-yz1"},
       [](viewer_settings& s) {
         s.data_file = "torus";
         s.increments = {0, 0, 1, 2, 0, 0};
         s.increments_cleared = true;
       }},
      {{"-xy1", "-xz2", "-yz3", "-xw4", "-yw5", "-zw6"},
       [](viewer_settings& s) {
         s.increments = {1, 2, 3, 4, 5, 6};
         s.increments_cleared = true;
       }},
      {{"torus", "-xy"},
       [](viewer_settings& s) {
         s.data_file = "torus";
         s.increments = {0, 0, 0, 0, 0, 0};
         s.increments_cleared = true;
       }},
      // A later option without a number keeps the value an earlier one gave.
      {{"-xw4.5", "-xw"},
       [](viewer_settings& s) {
         s.increments = {0, 0, 0, 4.5f, 0, 0};
         s.increments_cleared = true;
       }},
      {{"-xyinf", "-zw-1e1"},
       [](viewer_settings& s) {
         s.increments = {infinity, 0, 0, 0, 0, -10};
         s.increments_cleared = true;
       }},
      {{"a", "b"}, [](viewer_settings& s) { s.data_file = "b"; }},
      {{"torus", "-display", "host:0"},
       [](viewer_settings& s) {
         s.data_file = "torus";
         s.display_name = "host:0";
       }},
      {{"-d", "-np"}, [](viewer_settings& s) { s.display_name = "-np"; }},
      {{"-sfoo"}, [](viewer_settings&) {}},
      {{"-s1e2"}, [](viewer_settings& s) { s.scale = 100; }},
      {{"-s", "150"}, [](viewer_settings& s) { s.data_file = "150"; }},
      {{"-lc", "-bc"}, [](viewer_settings& s) { s.line_colour = "-bc"; }},
      {{"-lcx", "Green", "-bc", "Navy"},
       [](viewer_settings& s) {
         s.line_colour = "Green";
         s.background_colour = "Navy";
       }},
      {{"-npxyz"}, [](viewer_settings& s) { s.perspective = false; }},
      {{"-lw2", "-zd500", "-wd250.5", "-nt", "-ns", "-cw"},
       [](viewer_settings& s) {
         s.line_width = 2;
         s.z_distance = 500;
         s.w_distance = 250.5f;
         s.show_title = false;
         s.rescale_on_resize = false;
         s.clear_each_frame = true;
       }},
      {{"-lw"}, [](viewer_settings&) {}},
      {{"-lw65535"}, [](viewer_settings& s) { s.line_width = 65535; }},
      {{"-zd", "-wdx"}, [](viewer_settings&) {}},
      {{""}, [](viewer_settings&) {}},
      // -fps, -bb, -wc and -i, tried after everything else; the rate is read as every number is
      // (exponents, hexadecimal, leading blanks) and the colour taken as it stands.
      {{"torus", "-fps60"},
       [](viewer_settings& s) {
         s.data_file = "torus";
         s.frame_rate = 60;
       }},
      {{"-fps1000"}, [](viewer_settings& s) { s.frame_rate = 1000; }},
      {{"-fps0.5"}, [](viewer_settings& s) { s.frame_rate = 0.5f; }},
      {{"-fps1e2"}, [](viewer_settings& s) { s.frame_rate = 100; }},
      {{"-fps0x1p4"}, [](viewer_settings& s) { s.frame_rate = 16; }},
      {{"-fps 25"}, [](viewer_settings& s) { s.frame_rate = 25; }},
      {{"-fps30", "-fps40"}, [](viewer_settings& s) { s.frame_rate = 40; }},
      {{"-bb"}, [](viewer_settings& s) { s.back_buffer = true; }},
      {{"-wc", "Blue"},
       [](viewer_settings& s) {
         s.depth_cueing = true;
         s.depth_colour = "Blue";
       }},
      {{"-wc", "-np"},
       [](viewer_settings& s) {
         s.depth_cueing = true;
         s.depth_colour = "-np";
       }},
      {{"-wc", ""}, [](viewer_settings& s) { s.depth_cueing = true; }},
      {{"-i"}, [](viewer_settings& s) { s.interactive = true; }},
      {{"torus", "-xw2", "-bb", "-fps60", "-wc", "Navy", "-cw"},
       [](viewer_settings& s) {
         s.data_file = "torus";
         s.increments = {0, 0, 0, 2, 0, 0};
         s.increments_cleared = true;
         s.back_buffer = true;
         s.frame_rate = 60;
         s.depth_cueing = true;
         s.depth_colour = "Navy";
         s.clear_each_frame = true;
       }},
      // Names longer than any fixed field are kept whole.
      {{long_path, "-lc", long_colour, "-d", long_colour + ":0"},
       [&](viewer_settings& s) {
         s.data_file = long_path;
         s.line_colour = long_colour;
         s.display_name = long_colour + ":0";
       }},
  };
  for (const accepted_case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    viewer_settings settings = defaults();
    const parse_result result = parse(settings, c.arguments);
    EXPECT_EQ(result.outcome, parse_outcome::run);
    viewer_settings expected = defaults();
    c.change(expected);
    EXPECT_EQ(settings, expected);
  }
}

// A command line that asks for help or is refused, and the argument blamed.
struct refused_case {
  std::vector<std::string> arguments;
  parse_outcome outcome;
  std::string offending;
};

TEST(SettingsTest, RefusedCommandLinesStopAtTheFirstRefusal) {
  const refused_case cases[] = {
      {{}, parse_outcome::help, ""},
      {{"-help"}, parse_outcome::help, ""},
      {{"-?"}, parse_outcome::help, ""},
      {{"torus", "-xw2", "-h"}, parse_outcome::help, ""},
      {{"-h", "-x"}, parse_outcome::help, ""},
      {{"-x"}, parse_outcome::bad_option, "-x"},
      {{"-"}, parse_outcome::bad_option, "-"},
      {{"--xy"}, parse_outcome::bad_option, "--xy"},
      {{"-X"}, parse_outcome::bad_option, "-X"},
      {{"-x", "-h"}, parse_outcome::bad_option, "-x"},
      // A name option with nothing left to take.
      {{"torus", "-lc"}, parse_outcome::bad_option, "-lc"},
      {{"-bc"}, parse_outcome::bad_option, "-bc"},
      {{"-display"}, parse_outcome::bad_option, "-display"},
      // The X server refuses negative widths, and X widths are 16-bit.
      {{"-lw-1"}, parse_outcome::bad_option, "-lw-1"},
      {{"-lw65536"}, parse_outcome::bad_option, "-lw65536"},
      {{"-lw65546"}, parse_outcome::bad_option, "-lw65546"},
      {{"-lw2147483647"}, parse_outcome::bad_option, "-lw2147483647"},
      {{"-lw2147483648"}, parse_outcome::bad_option, "-lw2147483648"},
      {{"-lw99999999999999999999"}, parse_outcome::bad_option, "-lw99999999999999999999"},
      // A frame rate must be there, alone, and in (0, 1000]; the other names are whole.
      {{"-fps"}, parse_outcome::bad_option, "-fps"},
      {{"-fps0"}, parse_outcome::bad_option, "-fps0"},
      {{"-fps-5"}, parse_outcome::bad_option, "-fps-5"},
      {{"-fps1000.5"}, parse_outcome::bad_option, "-fps1000.5"},
      {{"-fps1e9"}, parse_outcome::bad_option, "-fps1e9"},
      {{"-fpsnan"}, parse_outcome::bad_option, "-fpsnan"},
      {{"-fpsinf"}, parse_outcome::bad_option, "-fpsinf"},
      {{"-fps60x"}, parse_outcome::bad_option, "-fps60x"},
      {{"-fps60 "}, parse_outcome::bad_option, "-fps60 "},
      {{"-fpsx"}, parse_outcome::bad_option, "-fpsx"},
      {{"-fps1e-50"}, parse_outcome::bad_option, "-fps1e-50"}, // 0 as a float
      {{"-fp60"}, parse_outcome::bad_option, "-fp60"},
      {{"-FPS60"}, parse_outcome::bad_option, "-FPS60"},
      {{"-bbx"}, parse_outcome::bad_option, "-bbx"},
      {{"-bb2"}, parse_outcome::bad_option, "-bb2"},
      {{"-wcx", "Blue"}, parse_outcome::bad_option, "-wcx"},
      {{"-wc"}, parse_outcome::bad_option, "-wc"}, // nothing to take
      {{"-ix"}, parse_outcome::bad_option, "-ix"},
      {{"-I"}, parse_outcome::bad_option, "-I"},
      // The help test comes before them, as it does before a bad option.
      {{"-fps60", "-h", "-bb"}, parse_outcome::help, ""},
  };
  for (const refused_case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    viewer_settings settings = defaults();
    const parse_result result = parse(settings, c.arguments);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.offending, c.offending);
  }
}

TEST(SettingsTest, NothingAfterARefusedArgumentIsApplied) {
  viewer_settings settings = defaults();
  EXPECT_EQ(parse(settings, {"-np", "-x", "torus", "-s10"}).outcome, parse_outcome::bad_option);
  EXPECT_FALSE(settings.perspective);
  EXPECT_EQ(settings.data_file, "");
  EXPECT_EQ(settings.scale, 200.0f);
}

TEST(SettingsTest, OnlyTheFirstAngleOptionClearsTheIncrements) {
  viewer_settings settings = defaults();
  clear_increments(settings);
  EXPECT_EQ(settings.increments, (std::array<float, plane_count>{}));
  EXPECT_TRUE(settings.increments_cleared);
  settings.increments[yw] = 3;
  clear_increments(settings);
  EXPECT_EQ(settings.increments[yw], 3.0f);
}

TEST(SettingsTest, IncrementsBecomeRadiansThroughDoublePrecision) {
  viewer_settings settings = defaults();
  settings.increments = {0.6f, -2.0f, 360.0f, 1e-30f, infinity, 0.45f};
  const auto expected = [](float degrees) {
    return static_cast<float>(static_cast<double>(degrees) * 0.017453292519943295);
  };
  const std::array<float, plane_count> degrees = settings.increments;
  increments_to_radians(settings);
  for (int plane = 0; plane < plane_count; ++plane)
    EXPECT_EQ(settings.increments[plane], expected(degrees[plane])) << "plane " << plane;
  // Rounding once from double differs from multiplying in single precision here.
  EXPECT_NE(settings.increments[xy], 0.6f * 0.017453292f);
  EXPECT_EQ(settings.increments[yz], static_cast<float>(2 * M_PI));
}

TEST(SettingsTest, HelpLinesThreeToSixteenAreFiftyEightCharactersWide) {
  ::testing::internal::CaptureStdout();
  print_help();
  const std::string help = ::testing::internal::GetCapturedStdout();
  std::vector<std::string> lines;
  std::istringstream stream(help);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[0], "  usage: zorv [datafile] [options]");
  for (std::size_t i = 2; i < 16; ++i) EXPECT_EQ(lines[i].size(), 58u) << "line " << i + 1;
  EXPECT_TRUE(lines[13].starts_with("  -d (display)     set display name: like -d "));
  EXPECT_EQ(lines[16], "");
}

} // namespace
} // namespace zorv
