// Colours by name without an X server: the X colour database file and X's hexadecimal forms, as
// the pictures of -o and the frames of -aa need them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorv {

struct rgb_colour {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;

  bool operator==(const rgb_colour&) const = default;
};

// Where X keeps its colour names (Debian's x11-common).
inline constexpr const char* colour_database_file = "/usr/share/X11/rgb.txt";

// X's hexadecimal forms #RGB, #RRGGBB, #RRRGGGBBB and #RRRRGGGGBBBB. As in X, the digits are the
// high bits of each 16-bit channel, so #f80 is (0xf0, 0x80, 0x00); a picture keeps the high 8.
std::optional<rgb_colour> parse_hex_colour(std::string_view text);

// The first entry of a colour database's text (lines "red green blue name", each channel 0 to
// 255; lines starting with '!' are comments, lines of any other form are passed over) whose
// name matches, as X matches names: case ignored, blanks ignored ("alice blue" is AliceBlue).
std::optional<rgb_colour> find_named_colour(std::string_view database, std::string_view name);

// A colour as X reads its text: a hexadecimal form, or a name in the database.
std::optional<rgb_colour> look_up_colour(std::string_view database, std::string_view text);

// The text of colour_database_file; empty if it cannot be read, so that every name is unknown.
std::string read_colour_database();

} // namespace zorv
