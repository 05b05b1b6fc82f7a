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

// How the viewer shows its frames, decided once, at the end of parsing (decide_run_mode): in a
// window of its own, in a window that a screen-saver host gives it (-window-id, -root), or in a
// picture file (-o), with no X server at all.
enum class run_mode { own_window, host_window, picture_file };

// The kinds of picture file that -o writes, told by the name's extension.
enum class picture_format { png, gif };

// Filled by set_defaults and the command line at start-up, and read-only from then on: what changes
// while the viewer runs is in the view record (view.hpp).
struct viewer_settings {
  std::int32_t line_width;
  float scale;
  std::string line_colour;
  std::string background_colour;
  bool perspective;
  float w_distance;
  float z_distance;
  std::array<float, plane_count> increments; // degrees per frame, as the command line gives them
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
  bool has_output_file;       // -o was given, even with an empty name
  std::int32_t frame_count;   // -frames: the picture's frame, or the animation's length; 0 if unset
  window_placement placement; // -geometry
  bool smooth_lines;          // -aa: the window shows the frames that -o writes
  bool root;                  // -root: draw into the screen's virtual root, or the host's window
  bool has_window_id;         // -window-id: draw into the window that the host names
  std::uint32_t window_id;    // -window-id: the window, as the host named it
  bool interactive;           // -i: the background process reads the user's mouse and keys
  bool line_colour_given;     // -lc: every line in the line colour, whatever the file's colours
  bool fit;                   // -fit: fit an object of zorv's own format too (load.hpp)
  bool keep_coordinates;      // -nofit: an OFF or SKEL object keeps its coordinates as written
  run_mode mode;              // decided from the options above once they are all read
  picture_format format;      // -o: the picture file's kind, from its name

  bool operator==(const viewer_settings&) const = default;
};

// The highest frame rate -fps accepts.
inline constexpr float max_frame_rate = 1000.0f;

// The widest and tallest -geometry: larger pictures would take gigabytes.
inline constexpr std::int32_t largest_side = 16384;
// The frame rate of a viewer that draws into a host's window and was given no -fps: a screen
// saver should not keep a processor busy.
inline constexpr float host_frame_rate = 30.0f;

// What the command line asked for, when it asked for anything but a run: the help text, an
// argument that no option takes, two options that contradict each other, or a picture file of a
// kind that zorv cannot write.
enum class parse_outcome { run, help, bad_option, contradiction, bad_picture_name };

struct parse_result {
  parse_outcome outcome;
  std::string offending; // the rejected argument, the two options or the picture's name
};

void set_defaults(viewer_settings& settings);

// Applies the command line to the settings, then decides the run mode. Never exits and never
// prints: finish_parse turns an outcome other than run into its text and status. Arguments of any
// length are taken whole.
parse_result parse_arguments(viewer_settings& settings, int argc, const char* const* argv);

// Turns the options into the run mode, the one place where it is decided. The precedence:
// - -o with -root or -window-id is a contradiction (a picture file has no window): refused, and
//   so is -fit with -nofit;
// - -o writes a picture file, refused when its name is empty, is only an extension or ends in
//   neither .png nor .gif;
// - -window-id or -root draws into the host's window; with both, the window that -window-id
//   names, whatever their order (screen-saver settings programs pass both for a preview);
// - otherwise the viewer opens a window of its own.
parse_result decide_run_mode(viewer_settings& settings);

// Returns on a run; prints the help text or the refusal and ends the process with status 1
// otherwise.
void finish_parse(const parse_result& result);

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

// The increments of the command line, in degrees per frame, as radians per frame.
std::array<float, plane_count> increments_in_radians(const std::array<float, plane_count>& degrees);

} // namespace zorv
