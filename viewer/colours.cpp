#include "colours.hpp"

#include <array>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>

namespace zorv {
namespace {

constexpr int bits_per_hex_digit = 4;
constexpr int channel_bits = 16; // X colours are 16 bits a channel
constexpr int picture_bits = 8;
constexpr std::size_t longest_hex_channel = channel_bits / bits_per_hex_digit;
constexpr int largest_channel = 255;
constexpr int longest_channel_digits = 3;
constexpr char comment_mark = '!';
constexpr unsigned full_x_channel = 0xffff;
constexpr char channel_separator = '/';
constexpr std::string_view rgb_prefix = "rgb:";
constexpr std::string_view intensity_prefix = "rgbi:";
constexpr std::string_view device_independent_prefixes[] = {
    "ciexyz:", "cieuvy:", "ciexyy:", "cielab:", "cieluv:", "tekhvc:"};

using channel_texts = std::array<std::string_view, 3>;

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

// Whether the text starts with the prefix (written in lower case), case ignored.
bool starts_with_prefix(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

// The three channels of an R/G/B form after its prefix. X ends the third at the end of the text
// or at a separator, and reads nothing after that separator.
std::optional<channel_texts> split_channels(std::string_view rest) {
  channel_texts channels{};
  for (std::size_t c = 0; c < channels.size(); ++c) {
    const std::size_t end = rest.find(channel_separator);
    if (end == std::string_view::npos && c + 1 < channels.size()) return std::nullopt;
    channels[c] = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  return channels;
}

// One to four hexadecimal digits, scaled from their own range to X's 16 bits.
std::optional<unsigned> scaled_hex_channel(std::string_view digits) {
  if (digits.empty() || digits.size() > longest_hex_channel) return std::nullopt;
  unsigned value = 0;
  for (const char c : digits) {
    const int digit = hex_value(c);
    if (digit < 0) return std::nullopt;
    value = value << bits_per_hex_digit | static_cast<unsigned>(digit);
  }
  const unsigned largest = (1u << (bits_per_hex_digit * digits.size())) - 1;
  return value * full_x_channel / largest; // rounded down, as X rounds it
}

// A number as X's forms write it: an optional sign, digits with at most one decimal point, and
// an optional exponent (e or E, an optional sign, digits).
bool is_number(std::string_view text) {
  std::size_t at = 0;
  const auto skip_sign = [&] {
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  };
  const auto skip_digits = [&] {
    const std::size_t start = at;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) != 0) ++at;
    return at - start;
  };
  skip_sign();
  std::size_t digits = skip_digits();
  if (at < text.size() && text[at] == '.') {
    ++at;
    digits += skip_digits();
  }
  if (digits == 0) return false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    skip_sign();
    if (skip_digits() == 0) return false;
  }
  return at == text.size();
}

// An intensity that is the number 0 or 1, as X's 16-bit channel: none or full.
std::optional<unsigned> intensity_end(std::string_view text) {
  if (!is_number(text)) return std::nullopt;
  if (text.front() == '+') text.remove_prefix(1); // from_chars takes no plus sign
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  if (value == 0.0) return 0u;
  if (value == 1.0) return full_x_channel;
  return std::nullopt;
}

// Whether two names are the same once case and blanks are ignored.
bool same_name(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  for (;;) {
    while (i < a.size() && is_blank(a[i])) ++i;
    while (j < b.size() && is_blank(b[j])) ++j;
    if (i == a.size() || j == b.size()) return i == a.size() && j == b.size();
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[j])))
      return false;
    ++i;
    ++j;
  }
}

// One channel of a database line: blanks, then one to three digits worth at most 255.
bool read_channel(std::string_view line, std::size_t& at, std::uint8_t& channel) {
  while (at < line.size() && is_blank(line[at])) ++at;
  int value = 0;
  int digits = 0;
  while (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at])) != 0) {
    if (++digits > longest_channel_digits) return false;
    value = value * 10 + (line[at++] - '0');
  }
  if (digits == 0 || value > largest_channel) return false;
  channel = static_cast<std::uint8_t>(value);
  return true;
}

// The colour of a database line that names `name`, if it does.
std::optional<rgb_colour> line_colour(std::string_view line, std::string_view name) {
  std::size_t at = 0;
  while (at < line.size() && is_blank(line[at])) ++at;
  if (at == line.size() || line[at] == comment_mark) return std::nullopt;
  rgb_colour colour{};
  if (!read_channel(line, at, colour.red) || !read_channel(line, at, colour.green) ||
      !read_channel(line, at, colour.blue))
    return std::nullopt;
  // The name is set off from the numbers by at least one blank.
  if (at == line.size() || !is_blank(line[at])) return std::nullopt;
  const std::string_view entry = line.substr(at);
  if (entry.find_first_not_of(" \t\r") == std::string_view::npos) return std::nullopt;
  if (!same_name(entry, name)) return std::nullopt;
  return colour;
}

} // namespace

std::optional<rgb_colour> parse_hex_colour(std::string_view text) {
  if (text.empty() || text.front() != '#') return std::nullopt;
  const std::string_view digits = text.substr(1);
  const std::size_t per_channel = digits.size() / 3;
  if (per_channel == 0 || per_channel > longest_hex_channel || digits.size() % 3 != 0)
    return std::nullopt;
  std::array<std::uint8_t, 3> channels{};
  for (std::size_t c = 0; c < channels.size(); ++c) {
    unsigned value = 0;
    for (std::size_t d = 0; d < per_channel; ++d) {
      const int digit = hex_value(digits[c * per_channel + d]);
      if (digit < 0) return std::nullopt;
      value = value << bits_per_hex_digit | static_cast<unsigned>(digit);
    }
    const unsigned wide = value << (channel_bits - bits_per_hex_digit * per_channel);
    channels[c] = static_cast<std::uint8_t>(wide >> (channel_bits - picture_bits));
  }
  return rgb_colour{channels[0], channels[1], channels[2]};
}

std::optional<rgb_colour> parse_rgb_colour(std::string_view text) {
  if (!starts_with_prefix(text, rgb_prefix)) return std::nullopt;
  const std::optional<channel_texts> channels = split_channels(text.substr(rgb_prefix.size()));
  if (!channels) return std::nullopt;
  const std::optional<unsigned> red = scaled_hex_channel((*channels)[0]);
  const std::optional<unsigned> green = scaled_hex_channel((*channels)[1]);
  const std::optional<unsigned> blue = scaled_hex_channel((*channels)[2]);
  if (!red || !green || !blue) return std::nullopt;
  return picture_colour(*red, *green, *blue);
}

std::optional<rgb_colour> parse_intensity_colour(std::string_view text) {
  if (!starts_with_prefix(text, intensity_prefix)) return std::nullopt;
  const std::optional<channel_texts> channels =
      split_channels(text.substr(intensity_prefix.size()));
  if (!channels) return std::nullopt;
  const std::optional<unsigned> red = intensity_end((*channels)[0]);
  const std::optional<unsigned> green = intensity_end((*channels)[1]);
  const std::optional<unsigned> blue = intensity_end((*channels)[2]);
  if (!red || !green || !blue) return std::nullopt;
  return picture_colour(*red, *green, *blue);
}

bool needs_display(std::string_view text) {
  for (const std::string_view prefix : device_independent_prefixes)
    if (starts_with_prefix(text, prefix)) return true;
  return starts_with_prefix(text, intensity_prefix) && !parse_intensity_colour(text);
}

rgb_colour picture_colour(unsigned red, unsigned green, unsigned blue) {
  constexpr int dropped = channel_bits - picture_bits;
  return {static_cast<std::uint8_t>(red >> dropped), static_cast<std::uint8_t>(green >> dropped),
          static_cast<std::uint8_t>(blue >> dropped)};
}

std::optional<rgb_colour> find_named_colour(std::string_view database, std::string_view name) {
  while (!database.empty()) {
    const std::size_t end = database.find('\n');
    const std::string_view line = database.substr(0, end);
    if (const std::optional<rgb_colour> colour = line_colour(line, name)) return colour;
    if (end == std::string_view::npos) break;
    database.remove_prefix(end + 1);
  }
  return std::nullopt;
}

std::optional<rgb_colour> look_up_colour(std::string_view database, std::string_view text) {
  if (!text.empty() && text.front() == '#') return parse_hex_colour(text);
  if (starts_with_prefix(text, rgb_prefix)) return parse_rgb_colour(text);
  if (starts_with_prefix(text, intensity_prefix)) return parse_intensity_colour(text);
  return find_named_colour(database, text);
}

std::string read_colour_database() {
  std::ifstream file(colour_database_file, std::ios::binary);
  if (!file) return {};
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

} // namespace zorv
