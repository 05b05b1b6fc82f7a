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
void PrintTo(const window_placement& p, std::ostream* out) {
  *out << "{" << p.width << "x" << p.height << (p.has_position ? "" : " no position")
       << (p.x_from_right ? " -" : " +") << p.x << (p.y_from_bottom ? "-" : "+") << p.y << "}";
}

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
       << "\", output_file \"" << s.output_file << "\", has_output_file " << s.has_output_file
       << ", frame_count " << s.frame_count << ", placement "
       << ::testing::PrintToString(s.placement) << ", smooth_lines " << s.smooth_lines << ", root "
       << s.root << ", has_window_id " << s.has_window_id << ", window_id " << s.window_id
       << ", interactive " << s.interactive << ", mode " << static_cast<int>(s.mode) << ", format "
       << static_cast<int>(s.format) << "}";
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
    // -o, -frames, -geometry and -aa are off.
    EXPECT_EQ(settings.output_file, "");
    EXPECT_FALSE(settings.has_output_file);
    EXPECT_EQ(settings.frame_count, 0);
    EXPECT_EQ(settings.placement, window_placement{});
    EXPECT_FALSE(settings.smooth_lines);
    // zorv draws into its own window.
    EXPECT_FALSE(settings.root);
    EXPECT_FALSE(settings.has_window_id);
    EXPECT_EQ(settings.mode, run_mode::own_window);
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
      // (A std::string: g++ 12, inlining this assignment of a one-letter literal, takes it for an
      // overlapping copy and warns.)
      {{"a", "b"}, [](viewer_settings& s) { s.data_file = std::string("b"); }},
      {{"torus", "-display", "host:0"},
       [](viewer_settings& s) {
         s.data_file = "torus";
         s.display_name = "host:0";
       }},
      {{"-d", "-np"}, [](viewer_settings& s) { s.display_name = "-np"; }},
      {{"-sfoo"}, [](viewer_settings&) {}},
      {{"-s1e2"}, [](viewer_settings& s) { s.scale = 100; }},
      {{"-s", "150"}, [](viewer_settings& s) { s.data_file = "150"; }},
      {{"-lc", "-bc"},
       [](viewer_settings& s) {
         s.line_colour = "-bc";
         s.line_colour_given = true;
       }},
      {{"-lcx", "Green", "-bc", "Navy"},
       [](viewer_settings& s) {
         s.line_colour = "Green";
         s.line_colour_given = true;
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
      {{"-fit", "-fit"}, [](viewer_settings& s) { s.fit = true; }},
      {{"-nofit"}, [](viewer_settings& s) { s.keep_coordinates = true; }},
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
      // -o, -frames, -geometry and -aa take the next argument as X programs do.
      {{"torus", "-o", "torus.gif", "-frames", "180"},
       [](viewer_settings& s) {
         s.data_file = "torus";
         s.output_file = "torus.gif";
         s.has_output_file = true;
         s.frame_count = 180;
         s.mode = run_mode::picture_file;
         s.format = picture_format::gif;
       }},
      {{"-o", "-np.PNG"},
       [](viewer_settings& s) {
         s.output_file = "-np.PNG";
         s.has_output_file = true;
         s.mode = run_mode::picture_file;
       }},
      // Options that do nothing in a mode are accepted there.
      {{"-o", "t.png", "-nt", "-i", "-bb"},
       [](viewer_settings& s) {
         s.output_file = "t.png";
         s.has_output_file = true;
         s.show_title = false;
         s.interactive = true;
         s.back_buffer = true;
         s.mode = run_mode::picture_file;
       }},
      {{"-frames", "1", "-frames", "2147483647"},
       [](viewer_settings& s) { s.frame_count = 2147483647; }},
      {{"-frames", " 7"}, [](viewer_settings& s) { s.frame_count = 7; }},
      {{"-geometry", "800x600"},
       [](viewer_settings& s) { s.placement = {800, 600, false, false, false, 0, 0}; }},
      {{"-geometry", "=1x16384+10+20"},
       [](viewer_settings& s) { s.placement = {1, 16384, true, false, false, 10, 20}; }},
      {{"-geometry", "300x200-0-5"},
       [](viewer_settings& s) { s.placement = {300, 200, true, true, true, 0, -5}; }},
      // X takes an x offset alone; y then stays 0.
      {{"-geometry", "600x600+10"},
       [](viewer_settings& s) { s.placement = {600, 600, true, false, false, 10, 0}; }},
      {{"-geometry", "+5-7"},
       [](viewer_settings& s) { s.placement = {0, 0, true, false, true, 5, -7}; }},
      {{"-geometry", "400"},
       [](viewer_settings& s) { s.placement = {400, 0, false, false, false, 0, 0}; }},
      {{"-geometry", "x300"},
       [](viewer_settings& s) { s.placement = {0, 300, false, false, false, 0, 0}; }},
      {{"-aa", "-lw2"},
       [](viewer_settings& s) {
         s.smooth_lines = true;
         s.line_width = 2;
       }},
      // -root and -window-id, the window ID decimal or hexadecimal as hosts write it; given
      // both, in either order, the viewer draws into the window that the ID names.
      {{"torus", "-root"},
       [](viewer_settings& s) {
         s.data_file = "torus";
         s.root = true;
         s.mode = run_mode::host_window;
       }},
      {{"-window-id", "0x1a00003"},
       [](viewer_settings& s) {
         s.has_window_id = true;
         s.window_id = 0x1a00003;
         s.mode = run_mode::host_window;
       }},
      {{"-window-id", "0X2E0000A", "torus"},
       [](viewer_settings& s) {
         s.has_window_id = true;
         s.window_id = 0x2e0000a;
         s.data_file = "torus";
         s.mode = run_mode::host_window;
       }},
      {{"-window-id", "4294967295"},
       [](viewer_settings& s) {
         s.has_window_id = true;
         s.window_id = 0xffffffff;
         s.mode = run_mode::host_window;
       }},
      {{"-root", "-window-id", "017"},
       [](viewer_settings& s) {
         s.root = true;
         s.has_window_id = true;
         s.window_id = 17;
         s.mode = run_mode::host_window;
       }},
      {{"-window-id", "5", "-root", "-root"},
       [](viewer_settings& s) {
         s.root = true;
         s.has_window_id = true;
         s.window_id = 5;
         s.mode = run_mode::host_window;
       }},
      // Names longer than any fixed field are kept whole.
      {{long_path, "-lc", long_colour, "-d", long_colour + ":0"},
       [&](viewer_settings& s) {
         s.data_file = long_path;
         s.line_colour = long_colour;
         s.line_colour_given = true;
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
      {{"-o"}, parse_outcome::bad_option, "-o"},
      {{"-out", "x.png"}, parse_outcome::bad_option, "-out"},
      {{"-aax"}, parse_outcome::bad_option, "-aax"},
      // A frame number is a positive integer alone.
      {{"-frames"}, parse_outcome::bad_option, "-frames"},
      {{"-frames", "0"}, parse_outcome::bad_option, "-frames"},
      {{"-frames", "-3"}, parse_outcome::bad_option, "-frames"},
      {{"-frames", "2147483648"}, parse_outcome::bad_option, "-frames"},
      {{"-frames", "12x"}, parse_outcome::bad_option, "-frames"},
      {{"-frames", "1.5"}, parse_outcome::bad_option, "-frames"},
      {{"-frames", ""}, parse_outcome::bad_option, "-frames"},
      {{"-frames180"}, parse_outcome::bad_option, "-frames180"},
      // A geometry must parse whole, with each side from 1 to 16384.
      {{"-geometry"}, parse_outcome::bad_option, "-geometry"},
      {{"-geometry", ""}, parse_outcome::bad_option, "-geometry"},
      {{"-geometry", "big"}, parse_outcome::bad_option, "-geometry"},
      {{"-geometry", "800x600x"}, parse_outcome::bad_option, "-geometry"},
      {{"-geometry", "0x600"}, parse_outcome::bad_option, "-geometry"},
      {{"-geometry", "600x0"}, parse_outcome::bad_option, "-geometry"},
      {{"-geometry", "16385x600"}, parse_outcome::bad_option, "-geometry"},
      {{"-geometry", "600x16385"}, parse_outcome::bad_option, "-geometry"},
      {{"-geometry", "4294967297x600"}, parse_outcome::bad_option, "-geometry"},
      {{"-geometry", "600x600+99999999999"}, parse_outcome::bad_option, "-geometry"},
      {{"-geometry", "-600x600"}, parse_outcome::bad_option, "-geometry"},
      // A window ID is the whole next argument, unsigned, and fits the 32 bits of an X ID.
      {{"-window-id"}, parse_outcome::bad_option, "-window-id"},
      {{"-window-id", ""}, parse_outcome::bad_option, "-window-id"},
      {{"-window-id", "x"}, parse_outcome::bad_option, "-window-id"},
      {{"-window-id", "0x"}, parse_outcome::bad_option, "-window-id"},
      {{"-window-id", "0x0x12"}, parse_outcome::bad_option, "-window-id"},
      {{"-window-id", "-1"}, parse_outcome::bad_option, "-window-id"},
      {{"-window-id", "+1"}, parse_outcome::bad_option, "-window-id"},
      {{"-window-id", " 12"}, parse_outcome::bad_option, "-window-id"},
      {{"-window-id", "12 "}, parse_outcome::bad_option, "-window-id"},
      {{"-window-id", "12x"}, parse_outcome::bad_option, "-window-id"},
      {{"-window-id", "4294967296"}, parse_outcome::bad_option, "-window-id"},
      {{"-window-id", "0x100000000"}, parse_outcome::bad_option, "-window-id"},
      {{"-window-id12"}, parse_outcome::bad_option, "-window-id12"},
      {{"-window", "12"}, parse_outcome::bad_option, "-window"},
      {{"-rootx"}, parse_outcome::bad_option, "-rootx"},
      {{"-ro"}, parse_outcome::bad_option, "-ro"},
      {{"-ix"}, parse_outcome::bad_option, "-ix"},
      {{"-I"}, parse_outcome::bad_option, "-I"},
      // The help test comes before them, as it does before a bad option.
      {{"-fps60", "-h", "-bb"}, parse_outcome::help, ""},
      // A picture file has no window: -o contradicts -root and -window-id, in any order.
      {{"torus", "-root", "-o", "r.png"}, parse_outcome::contradiction, "-o and -root"},
      {{"-o", "r.gif", "-root"}, parse_outcome::contradiction, "-o and -root"},
      {{"-o", "r.png", "-window-id", "7"}, parse_outcome::contradiction, "-o and -window-id"},
      {{"-window-id", "7", "-root", "-o", "r.png"},
       parse_outcome::contradiction,
       "-o and -window-id"},
      // Fitting every file and fitting none cannot both be asked for.
      {{"-fit", "-nofit"}, parse_outcome::contradiction, "-fit and -nofit"},
      {{"-nofit", "torus", "-fit"}, parse_outcome::contradiction, "-fit and -nofit"},
      {{"-fits"}, parse_outcome::bad_option, "-fits"},
      {{"-nofi"}, parse_outcome::bad_option, "-nofi"},
      // A picture zorv cannot write is refused with the rest of the command line.
      {{"big", "-o", "t.jpg"}, parse_outcome::bad_picture_name, "t.jpg"},
      {{"-o", "-np"}, parse_outcome::bad_picture_name, "-np"},
      {{"-o", "png"}, parse_outcome::bad_picture_name, "png"},
      {{"-o", ".gif.x"}, parse_outcome::bad_picture_name, ".gif.x"},
      // An empty name is no name: refused, not taken for no -o.
      {{"-o", ""}, parse_outcome::bad_picture_name, ""},
      {{"-o", "t.png", "-o", ""}, parse_outcome::bad_picture_name, ""},
      {{"-o", "", "-root"}, parse_outcome::contradiction, "-o and -root"},
      // A bad option is found before any contradiction.
      {{"-o", "r.png", "-root", "-x"}, parse_outcome::bad_option, "-x"},
  };
  for (const refused_case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    viewer_settings settings = defaults();
    const parse_result result = parse(settings, c.arguments);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.offending, c.offending);
  }
}

// A host's window is paced at 30 frames a second unless -fps says otherwise; zorv's own window
// is not paced without -fps.
TEST(SettingsTest, FrameRateCapIs30InAHostsWindowWithoutFps) {
  struct cap_case {
    std::vector<std::string> arguments;
    float cap;
  };
  const cap_case cases[] = {
      {{"torus"}, 0.0f},
      {{"torus", "-fps60"}, 60.0f},
      {{"torus", "-root"}, host_frame_rate},
      {{"torus", "-window-id", "0x200001"}, host_frame_rate},
      {{"torus", "-fps10", "-root"}, 10.0f},
      {{"torus", "-window-id", "7", "-fps1000"}, 1000.0f},
  };
  EXPECT_EQ(host_frame_rate, 30.0f);
  for (const cap_case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    viewer_settings settings = defaults();
    ASSERT_EQ(parse(settings, c.arguments).outcome, parse_outcome::run);
    EXPECT_EQ(frame_rate_cap(settings), c.cap);
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
  const std::array<float, plane_count> radians = increments_in_radians(settings.increments);
  for (int plane = 0; plane < plane_count; ++plane)
    EXPECT_EQ(radians[plane], expected(degrees[plane])) << "plane " << plane;
  // Rounding once from double differs from multiplying in single precision here.
  EXPECT_NE(radians[xy], 0.6f * 0.017453292f);
  EXPECT_EQ(radians[yz], static_cast<float>(2 * M_PI));
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
