// Colours by name without an X server: the X colour database file and X's forms that need no
// display, as the pictures of -o and the frames of -aa need them; and which texts only a display
// can read.
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

// X's RGB device form rgb:R/G/B ("rgb:" in any case): one to four hexadecimal digits a channel,
// scaled to X's 16 bits (f is 0xffff, 80 is 0x8080, 800 is 0x8007), of which a picture keeps the
// high 8. As in X, the third channel ends the text or is followed by a '/'.
std::optional<rgb_colour> parse_rgb_colour(std::string_view text);

// X's intensity form rgbi:R/G/B ("rgbi:" in any case) where each channel is the number 0 or 1
// (1.0 and 1e0 too): the two ends of a channel, none and full. Other intensities become device
// values through the screen's colour characterization, which only a display holds (a screen
// without one of its own takes Xlib's tables, which are not linear: rgbi:0.5/0.5/0.5 is #c1bbbb).
std::optional<rgb_colour> parse_intensity_colour(std::string_view text);

// Whether only a display can turn the text into a colour: X's device-independent forms (CIEXYZ:,
// CIEuvY:, CIExyY:, CIELab:, CIELuv:, TekHVC:, in any case) and the rgbi: forms that
// parse_intensity_colour does not read.
bool needs_display(std::string_view text);

// An X colour of 16-bit channels as a picture keeps it: the high 8 bits of each, the channels of
// its pixel on a 24-bit true-colour screen.
rgb_colour picture_colour(unsigned red, unsigned green, unsigned blue);

// The first entry of a colour database's text (lines "red green blue name", each channel 0 to
// 255; lines starting with '!' are comments, lines of any other form are passed over) whose
// name matches, as X matches names: case ignored, blanks ignored ("alice blue" is AliceBlue).
std::optional<rgb_colour> find_named_colour(std::string_view database, std::string_view name);

// A colour as X reads its text without a display: a hexadecimal, rgb: or rgbi: form that
// needs none, or a name in the database.
std::optional<rgb_colour> look_up_colour(std::string_view database, std::string_view text);

// The text of colour_database_file; empty if it cannot be read, so that every name is unknown.
std::string read_colour_database();

} // namespace zorv
