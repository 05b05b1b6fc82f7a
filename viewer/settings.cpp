#include "settings.hpp"

#include "fatal.hpp"
#include "scan.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string_view>

// The command line is a table of three-character option names walked in order, then the two
// two-character options -s and -d, then the help test. An argument that none of these takes is
// tried last against the options matched by their whole names (-fps, -bb, -wc, -o, -frames,
// -geometry, -aa, -root, -window-id, -i), which therefore never change what another option
// means. Every argument is held whole: file, colour and display names have no length limit.

namespace zorv {
namespace {

constexpr float default_scale = 200.0f;
constexpr float default_distance = 430.0f; // both perspective distances
constexpr std::array<float, plane_count> default_increments{0.0f, 0.6f, 0.0f, 0.6f, 0.45f, 0.0f};
constexpr const char* default_display = "unix:0";
constexpr double degrees_to_radians = 0.017453292519943295; // pi / 180 in double precision

// X line widths are 16-bit: a wider one would wrap (65546 would draw as 10).
constexpr std::int32_t widest_line = 65535;

// XParseGeometry reads its numbers into an int without a check: longer runs of digits could
// overflow it, and no usable size or position has as many.
constexpr std::size_t longest_geometry_number = 9;

constexpr std::size_t name_length = 3;  // options of the table are told apart by three characters
constexpr std::size_t short_length = 2; // -s, -d, -h and -? by two

// What an option does with the rest of its argument, or with the argument after it.
enum class option_kind {
  angle,      // clears the default motion, then reads "%f" into the plane's increment
  next_text,  // takes the next argument whole
  line_width, // reads "%d"
  number,     // reads "%f"
  flag,       // sets a flag
  frame_rate, // reads "%f" and must leave nothing after it; the rate must be usable
  frames,     // reads the next argument as a positive "%d" with nothing after it
  placement,  // reads the next argument as an X geometry, WxH+X+Y
  root,       // draws into the screen's virtual root
  window_id,  // takes the next argument as the ID of the window to draw into
};

struct option_entry {
  std::string_view name;
  option_kind kind;
  plane_index plane = xy;                       // angle
  std::string viewer_settings::*text = nullptr; // next_text
  float viewer_settings::*number = nullptr;     // number
  bool viewer_settings::*flag = nullptr;        // flag, and next_text if set
  bool flag_value = false;                      // flag, and next_text if set
};

using enum option_kind;

// In the order in which they are tested; an argument is matched on its first three characters.
constexpr option_entry option_table[] = {
    {.name = "-xy", .kind = angle, .plane = xy},
    {.name = "-xz", .kind = angle, .plane = xz},
    {.name = "-yz", .kind = angle, .plane = yz},
    {.name = "-xw", .kind = angle, .plane = xw},
    {.name = "-yw", .kind = angle, .plane = yw},
    {.name = "-zw", .kind = angle, .plane = zw},
    {.name = "-lc",
     .kind = next_text,
     .text = &viewer_settings::line_colour,
     .flag = &viewer_settings::line_colour_given,
     .flag_value = true},
    {.name = "-bc", .kind = next_text, .text = &viewer_settings::background_colour},
    {.name = "-lw", .kind = line_width},
    {.name = "-zd", .kind = number, .number = &viewer_settings::z_distance},
    {.name = "-wd", .kind = number, .number = &viewer_settings::w_distance},
    {.name = "-np", .kind = flag, .flag = &viewer_settings::perspective, .flag_value = false},
    {.name = "-ns", .kind = flag, .flag = &viewer_settings::rescale_on_resize, .flag_value = false},
    {.name = "-nt", .kind = flag, .flag = &viewer_settings::show_title, .flag_value = false},
    {.name = "-cw", .kind = flag, .flag = &viewer_settings::clear_each_frame, .flag_value = true},
};

// Tested after the table, on two characters.
constexpr option_entry scale_option{
    .name = "-s", .kind = number, .number = &viewer_settings::scale};
constexpr option_entry display_option{
    .name = "-d", .kind = next_text, .text = &viewer_settings::display_name};

// Tried only on an argument that every option above has refused, so that none of them can take
// an argument that one of those options reads. Their names are matched whole, with -fps followed
// directly by its rate, so a misspelt option is still refused.
constexpr option_entry whole_name_table[] = {
    {.name = "-fps", .kind = frame_rate},
    {.name = "-bb", .kind = flag, .flag = &viewer_settings::back_buffer, .flag_value = true},
    {.name = "-wc",
     .kind = next_text,
     .text = &viewer_settings::depth_colour,
     .flag = &viewer_settings::depth_cueing,
     .flag_value = true},
    {.name = "-o",
     .kind = next_text,
     .text = &viewer_settings::output_file,
     .flag = &viewer_settings::has_output_file,
     .flag_value = true},
    {.name = "-frames", .kind = frames},
    {.name = "-geometry", .kind = placement},
    {.name = "-aa", .kind = flag, .flag = &viewer_settings::smooth_lines, .flag_value = true},
    {.name = "-root", .kind = root},
    {.name = "-window-id", .kind = window_id},
    {.name = "-i", .kind = flag, .flag = &viewer_settings::interactive, .flag_value = true},
    {.name = "-fit", .kind = flag, .flag = &viewer_settings::fit, .flag_value = true},
    {.name = "-nofit", .kind = flag, .flag = &viewer_settings::keep_coordinates, .flag_value = true},
};

constexpr const char* help_lines[] = {
    "  usage: zorv [datafile] [options]",
    "  list of options:",
    "  -xy -xz -yz -xw -yw -zw (angle after each, like -xw4.5) ",
    "    Will rotate object through specified plane each cycle.",
    "  -np              no perspective                         ",
    "  -ns              don't rescale if window is resized     ",
    "  -nt              no title bar                           ",
    "  -cw              clear window, don't draw over lines    ",
    "  -zd(distance)    specify z and w distance for           ",
    "  -wd(distance)    perspective. Default is 430.0.         ",
    "  -lc (colorname)  set line color: like -lc LightGreen    ",
    "  -bc (colorname)  set background color                   ",
    "  -lw(width)       set line width, default=0 (fastest)    ",
    "  -d (display)     set display name: like -d anotherhost:0",
    "  -s(scale)        scaling factor. Default is 200.0.      ",
    "  -h or -?         get this help                          ",
};

// The command line being walked: the arguments and the one being examined.
struct argument_cursor {
  int argc;
  const char* const* argv;
  int index;
};

// Reads "%f" from the rest of the argument; without a number the value stays as it was.
void read_float(std::string_view rest, float& value) {
  scan_float(rest.data(), rest.data() + rest.size(), value);
}

// A frame rate is read like every other number, but a cap has no value to keep: the rate must be
// there, followed by nothing, and lie in (0, max_frame_rate] (which NaN does not).
bool read_frame_rate(std::string_view rest, float& rate) {
  float value = 0.0f;
  const char* end = rest.data() + rest.size();
  if (scan_float(rest.data(), end, value) != end) return false;
  if (!(value > 0.0f && value <= max_frame_rate)) return false;
  rate = value;
  return true;
}

// A frame number: a positive 32-bit integer and nothing after it.
bool read_frame_count(std::string_view text, std::int32_t& count) {
  std::int32_t value = 0;
  bool overflow = false;
  const char* end = text.data() + text.size();
  if (scan_int(text.data(), end, value, overflow) != end || overflow || value < 1) return false;
  count = value;
  return true;
}

bool has_long_number(std::string_view text) {
  std::size_t run = 0;
  for (const char c : text) {
    run = std::isdigit(static_cast<unsigned char>(c)) != 0 ? run + 1 : 0;
    if (run > longest_geometry_number) return true;
  }
  return false;
}

bool usable_side(int flags, int mask, unsigned side) {
  return (flags & mask) == 0 || (side >= 1 && side <= static_cast<unsigned>(largest_side));
}

// X's own parser, so that the option means what it means to every X program; a size or a
// position must be there, each side from 1 to largest_side.
bool read_placement(const std::string& text, window_placement& placement) {
  if (has_long_number(text)) return false;
  int x = 0;
  int y = 0;
  unsigned width = 0;
  unsigned height = 0;
  const int flags = XParseGeometry(text.c_str(), &x, &y, &width, &height);
  if (flags == NoValue || !usable_side(flags, WidthValue, width) ||
      !usable_side(flags, HeightValue, height))
    return false;
  window_placement parsed{};
  if ((flags & WidthValue) != 0) parsed.width = static_cast<std::int32_t>(width);
  if ((flags & HeightValue) != 0) parsed.height = static_cast<std::int32_t>(height);
  parsed.has_position = (flags & (XValue | YValue)) != 0;
  parsed.x_from_right = (flags & XNegative) != 0;
  parsed.y_from_bottom = (flags & YNegative) != 0;
  parsed.x = x;
  parsed.y = y;
  placement = parsed;
  return true;
}

// Applies one option whose name matched the start of the current argument. Returns false when the
// argument cannot be accepted: a name option with nothing after it to take, a line width that
// is negative (the X server would refuse it and end the viewer) or wider than X can draw, a
// frame rate that cannot be used, a frame number or geometry that does not read whole, or a window
// ID that is not one.
bool apply_option(const option_entry& option, viewer_settings& settings, argument_cursor& cursor) {
  const std::string_view rest =
      std::string_view(cursor.argv[cursor.index]).substr(option.name.size());
  switch (option.kind) {
  case angle:
    clear_increments(settings);
    read_float(rest, settings.increments[option.plane]);
    return true;
  case next_text:
    if (cursor.index + 1 >= cursor.argc) return false;
    settings.*option.text = cursor.argv[++cursor.index];
    if (option.flag != nullptr) settings.*option.flag = option.flag_value;
    return true;
  case line_width: {
    std::int32_t width = settings.line_width;
    bool overflow = false;
    if (scan_int(rest.data(), rest.data() + rest.size(), width, overflow) == nullptr) return true;
    if (overflow || width < 0 || width > widest_line) return false;
    settings.line_width = width;
    return true;
  }
  case number:
    read_float(rest, settings.*option.number);
    return true;
  case flag:
    settings.*option.flag = option.flag_value;
    return true;
  case frame_rate:
    return read_frame_rate(rest, settings.frame_rate);
  case frames:
    return cursor.index + 1 < cursor.argc &&
           read_frame_count(cursor.argv[++cursor.index], settings.frame_count);
  case placement:
    return cursor.index + 1 < cursor.argc &&
           read_placement(cursor.argv[++cursor.index], settings.placement);
  case root:
    settings.root = true;
    return true;
  case window_id:
    if (cursor.index + 1 >= cursor.argc) return false;
    if (!read_window_id(cursor.argv[++cursor.index], settings.window_id)) return false;
    settings.has_window_id = true;
    return true;
  }
  return false;
}

// Whether an argument names an option of the whole-name table: the whole name, or for -fps its
// start.
bool names_whole(std::string_view argument, const option_entry& option) {
  return option.kind == frame_rate ? argument.starts_with(option.name) : argument == option.name;
}

// Applies the whole-name option the argument names; false if it names none or cannot be accepted.
bool apply_whole_name_option(viewer_settings& settings, argument_cursor& cursor) {
  const std::string_view argument = cursor.argv[cursor.index];
  for (const option_entry& option : whole_name_table)
    if (names_whole(argument, option)) return apply_option(option, settings, cursor);
  return false;
}

parse_result bad_option(std::string_view argument) {
  return {parse_outcome::bad_option, std::string(argument)};
}

bool ends_with_extension(std::string_view name, std::string_view extension) {
  if (name.size() <= extension.size()) return false;
  const std::string_view end = name.substr(name.size() - extension.size());
  return std::equal(end.begin(), end.end(), extension.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == b;
  });
}

bool same_letters(std::string_view text, std::string_view lower_case) {
  return std::equal(
      text.begin(), text.end(), lower_case.begin(), lower_case.end(),
      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

bool is_only_an_extension(std::string_view name) {
  return same_letters(name, ".png") || same_letters(name, ".gif");
}

// The refusal names what is wrong with the name, and the name as the command line gave it.
[[noreturn]] void refuse_picture_name(const std::string& name) {
  if (name.empty()) die(exit_status::usage, "zorv: -o \"\": a picture's name cannot be empty\n");
  if (is_only_an_extension(name))
    die(exit_status::usage, "zorv: %s: a picture's name cannot be only its extension\n",
        name.c_str());
  die(exit_status::usage, "zorv: %s: a picture's name ends in .png or .gif\n", name.c_str());
}

} // namespace

void set_defaults(viewer_settings& settings) {
  settings.line_width = 0;
  settings.scale = default_scale;
  settings.line_colour = "Red";
  settings.background_colour = "Black";
  settings.perspective = true;
  settings.w_distance = default_distance;
  settings.z_distance = default_distance;
  settings.increments = default_increments;
  settings.increments_cleared = false;
  settings.clear_each_frame = false;
  settings.rescale_on_resize = true;
  settings.show_title = true;
  settings.display_name = default_display;
  if (const char* display = std::getenv("DISPLAY")) settings.display_name = display;
  settings.data_file.clear();
  settings.frame_rate = 0.0f;
  settings.back_buffer = false;
  settings.depth_cueing = false;
  settings.depth_colour.clear();
  settings.output_file.clear();
  settings.has_output_file = false;
  settings.frame_count = 0;
  settings.placement = {};
  settings.smooth_lines = false;
  settings.root = false;
  settings.has_window_id = false;
  settings.window_id = 0;
  settings.interactive = false;
  settings.line_colour_given = false;
  settings.fit = false;
  settings.keep_coordinates = false;
  settings.mode = run_mode::own_window;
  settings.format = picture_format::png;
}

parse_result parse_arguments(viewer_settings& settings, int argc, const char* const* argv) {
  if (argc <= 1) return {parse_outcome::help, {}};
  for (argument_cursor cursor{argc, argv, 1}; cursor.index < argc; ++cursor.index) {
    const std::string_view argument = argv[cursor.index];
    if (!argument.starts_with('-')) {
      settings.data_file = argument;
      continue;
    }
    bool matched = false;
    for (const option_entry& option : option_table) {
      if (argument.substr(0, name_length) != option.name) continue;
      if (!apply_option(option, settings, cursor)) return bad_option(argument);
      matched = true;
    }
    const std::string_view start = argument.substr(0, short_length);
    if (start == scale_option.name) {
      apply_option(scale_option, settings, cursor);
      matched = true;
    } else if (start == display_option.name) {
      if (!apply_option(display_option, settings, cursor)) return bad_option(argument);
      continue;
    }
    if (start == "-h" || start == "-?") return {parse_outcome::help, {}};
    if (!matched && !apply_whole_name_option(settings, cursor)) return bad_option(argument);
  }
  return decide_run_mode(settings);
}

parse_result decide_run_mode(viewer_settings& settings) {
  const bool hosted = settings.root || settings.has_window_id;
  if (settings.fit && settings.keep_coordinates)
    return {parse_outcome::contradiction, "-fit and -nofit"};
  if (settings.has_output_file && hosted)
    return {parse_outcome::contradiction,
            settings.has_window_id ? "-o and -window-id" : "-o and -root"};
  if (settings.has_output_file) {
    if (ends_with_extension(settings.output_file, ".png"))
      settings.format = picture_format::png;
    else if (ends_with_extension(settings.output_file, ".gif"))
      settings.format = picture_format::gif;
    else
      return {parse_outcome::bad_picture_name, settings.output_file};
    settings.mode = run_mode::picture_file;
  } else {
    settings.mode = hosted ? run_mode::host_window : run_mode::own_window;
  }
  return {parse_outcome::run, {}};
}

void finish_parse(const parse_result& result) {
  switch (result.outcome) {
  case parse_outcome::run:
    return;
  case parse_outcome::help:
    print_help();
    end_process(exit_status::usage);
  case parse_outcome::bad_option:
    reject_option(result.offending);
  case parse_outcome::contradiction:
    std::printf("\nzorv: %s cannot be given together\n", result.offending.c_str());
    end_process(exit_status::usage);
  case parse_outcome::bad_picture_name:
    refuse_picture_name(result.offending);
  }
}

bool reads_input(const viewer_settings& settings) {
  return settings.interactive && settings.mode == run_mode::own_window;
}

float frame_rate_cap(const viewer_settings& settings) {
  if (settings.frame_rate > 0.0f) return settings.frame_rate;
  return settings.mode == run_mode::host_window ? host_frame_rate : 0.0f;
}

bool read_window_id(std::string_view text, std::uint32_t& id) {
  constexpr std::size_t hex_prefix_length = 2; // "0x" or "0X"
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(hex_prefix_length);
    base = 16;
  }
  // from_chars takes no sign for an unsigned number, and no blank.
  std::uint32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || error != std::errc() || stop != end) return false;
  id = value;
  return true;
}

void print_help() {
  for (const char* line : help_lines) std::printf("%s\n", line);
  std::printf("\n");
}

void reject_option(const std::string& argument) {
  std::printf("\nzorv: bad option %s\n", argument.c_str());
  print_help();
  end_process(exit_status::usage);
}

void clear_increments(viewer_settings& settings) {
  if (settings.increments_cleared) return;
  settings.increments.fill(0.0f);
  settings.increments_cleared = true;
}

std::array<float, plane_count>
increments_in_radians(const std::array<float, plane_count>& degrees) {
  std::array<float, plane_count> radians{};
  for (int plane = 0; plane < plane_count; ++plane)
    radians[plane] = static_cast<float>(static_cast<double>(degrees[plane]) * degrees_to_radians);
  return radians;
}

} // namespace zorv
