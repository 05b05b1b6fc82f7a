// The viewer settings: every user-adjustable value of zorv, its defaults and the command line.
#pragma once

#include "object.hpp"

#include <array>
#include <cstdint>
#include <string>

namespace zorv {

inline constexpr const char* version = ZORV_VERSION; // the project version, from CMake

struct viewer_settings {
  std::int32_t line_width;
  float scale;
  std::string line_colour;
  std::string background_colour;
  bool perspective;
  float w_distance;
  float z_distance;
  std::array<float, plane_count> increments; // degrees per frame while parsing, radians after
  bool increments_cleared;
  bool clear_each_frame;
  bool rescale_on_resize;
  bool show_title;
  std::string display_name;
  std::string data_file;
  float frame_rate;         // -fps: frames per second at most, 0 for no cap
  bool back_buffer;         // -bb: draw each frame off screen and show it whole
  bool depth_cueing;        // -wc: colour each line by its depth in w
  std::string depth_colour; // -wc: the colour of the far end of w
  bool interactive;         // -i: the background process reads the user's mouse and keys

  bool operator==(const viewer_settings&) const = default;
};

// The highest frame rate -fps accepts.
inline constexpr float max_frame_rate = 1000.0f;

// What the command line asked for, when it asked for anything but a run.
enum class parse_outcome { run, help, bad_option };

struct parse_result {
  parse_outcome outcome;
  std::string offending; // the rejected argument, for bad_option
};

void set_defaults(viewer_settings& settings);

// Applies the command line to the settings. Never exits and never prints: finish_parse turns a
// help or bad_option outcome into its text and status. Arguments of any length are taken whole.
parse_result parse_arguments(viewer_settings& settings, int argc, const char* const* argv);

// Returns on a run; prints the help text or the bad-option report and ends the process otherwise.
void finish_parse(const parse_result& result);

void print_help();
[[noreturn]] void reject_option(const std::string& argument);
void clear_increments(viewer_settings& settings);
void increments_to_radians(viewer_settings& settings);

} // namespace zorv
