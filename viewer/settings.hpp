// The viewer settings: every user-adjustable value of zorv, its defaults and the command line.
#pragma once

#include "object.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

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

// Where the viewer draws: its own window, or a window that a screen-saver host gives it, named by
// its ID (-window-id) or found as the screen's virtual root (-root).
enum class host_window { none, by_id, virtual_root };

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
  host_window host;           // -window-id, -root: draw into a window that zorv did not create
  std::uint32_t window_id;    // -window-id: the window, as the host named it
  bool interactive;           // -i: the background process reads the user's mouse and keys

  bool operator==(const viewer_settings&) const = default;
};

// The highest frame rate -fps accepts.
inline constexpr float max_frame_rate = 1000.0f;

// The widest and tallest -geometry: larger pictures would take gigabytes.
inline constexpr std::int32_t largest_side = 16384;
// The frame rate of a viewer that draws into a host's window and was given no -fps: a screen
// saver should not keep a processor busy.
inline constexpr float host_frame_rate = 30.0f;

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

// Whether the viewer draws into a host's window (-window-id, -root), in the process that the host
// started: then it makes no window and does not fork.
bool draws_into_host_window(const viewer_settings& settings);

// Whether the viewer reads the user's mouse and keys (-i): only in a window of its own, since a
// host's window (-root, -window-id) belongs to another program, and -o shows no window at all.
bool reads_input(const viewer_settings& settings);

// The frames per second the animation keeps: -fps, else host_frame_rate in a host's window, else
// 0 for as fast as the server answers.
float frame_rate_cap(const viewer_settings& settings);

// Reads a window ID as hosts write one, decimal or hexadecimal after "0x": the whole text, and
// no more than the 32 bits of an X resource ID. Returns false, leaving id as it was, otherwise.
bool read_window_id(std::string_view text, std::uint32_t& id);

void print_help();
[[noreturn]] void reject_option(const std::string& argument);
void clear_increments(viewer_settings& settings);
void increments_to_radians(viewer_settings& settings);

} // namespace zorv
