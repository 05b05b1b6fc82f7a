// The viewer settings: every user-adjustable value of zorv, its defaults and the command line.
#pragma once

#include "object.hpp"

#include <array>
#include <cstdint>
#include <string>

namespace zorv {

// -geometry: a window size and position as X programs take them (WxH+X+Y), parsed whole.
struct window_placement {
  std::int32_t width;  // 0 when not given
  std::int32_t height; // 0 when not given
  bool has_position;
  bool x_from_right;  // -X: x is measured from the screen's right edge to the window's
  bool y_from_bottom; // -Y: y from the bottom edge
  std::int32_t x;
  std::int32_t y;

  bool operator==(const window_placement&) const = default;
};

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
  float frame_rate;           // -fps: frames per second at most, 0 for no cap
  bool back_buffer;           // -bb: draw each frame off screen and show it whole
  bool depth_cueing;          // -wc: colour each line by its depth in w
  std::string depth_colour;   // -wc: the colour of the far end of w
  std::string output_file;    // -o: the picture file written instead of showing a window
  std::int32_t frame_count;   // -frames: the picture's frame, or the animation's length; 0 if unset
  window_placement placement; // -geometry
  bool smooth_lines;          // -aa: the window shows the frames that -o writes

  bool operator==(const viewer_settings&) const = default;
};

// The highest frame rate -fps accepts.
inline constexpr float max_frame_rate = 1000.0f;

// The widest and tallest -geometry: larger pictures would take gigabytes.
inline constexpr std::int32_t largest_side = 16384;

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
