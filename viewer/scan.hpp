// Number scanning with the C library's scanf conventions, from a range of bytes in memory.
// The loader and the command-line parser read every number through these, so that a file or
// an option reads exactly as fscanf or sscanf with the same format would read it. Below them,
// the arithmetic that reads up to eight digits as one 64-bit word, which scan_int and the
// loaders' number stream (number_stream.hpp) share.
#pragma once

#include <cstdint>
#include <cstring>

namespace zorv {

// Reads one number as scanf's "%f" reads it into a float: skips white space, then accepts what
// strtof accepts (sign, decimal or hexadecimal digits, exponent, inf, infinity, nan, nan(...)).
// Returns the position just after the number, or nullptr if no number could be read, in which
// case value is unchanged. Never reads at or beyond end.
const char* scan_float(const char* p, const char* end, float& value);

// Reads one number as scanf's "%d" reads it: skips white space, optional sign, decimal digits.
// A value outside the 32-bit range sets overflow and saturates value. Returns the position after
// the number, or nullptr (value unchanged) if there were no digits.
const char* scan_int(const char* p, const char* end, std::int32_t& value, bool& overflow);

// Eight characters as one little-endian word, a byte each, read and converted together.
namespace swar {

inline constexpr std::uint64_t ones = 0x0101010101010101; // one in each byte
inline constexpr std::uint64_t high_bits = 0x80 * ones;

// The eight characters at p as one word, each less '0': digits become 0 to 9, and the first
// character is the low byte.
[[gnu::always_inline]] inline std::uint64_t digit_word(const char* p) {
  std::uint64_t u;
  std::memcpy(&u, p, sizeof u);
  return u ^ ('0' * ones);
}

// The high bit of each byte of a digit word that is not a digit: adding 0x76 lifts 10 and more to
// it. A byte of 0x8A or more, itself marked, carries into the next one, which may then be marked
// too: the first mark still stands at the first character that is no digit, and a word with such
// a byte is no number anyway.
[[gnu::always_inline]] inline std::uint64_t not_digits(std::uint64_t word) {
  return (word | (word + 0x76 * ones)) & high_bits;
}

// The number that the digits of a word spell, the last character the top byte (bytes below the
// digits zero).
[[gnu::always_inline]] inline std::uint32_t digits_value(std::uint64_t v) {
  v = (v * 2561) >> 8;                            // pairs: 10 * first + second, in every other byte
  v = ((v & 0x00FF00FF00FF00FF) * 6553601) >> 16; // fours
  return static_cast<std::uint32_t>(((v & 0x0000FFFF0000FFFF) * 42949672960001) >> 32); // eights
}

} // namespace swar

} // namespace zorv
