#include "scan.hpp"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <string>

// These scanners follow the C library's scanf: it first collects the longest run of characters
// that could belong to a number (digits, one decimal point, an exponent mark once a digit has been
// seen, a sign straight after the exponent mark), consumes all of it, and then converts the longest
// valid prefix of that run. So "1e+" reads as 1 and consumes three characters, and "1.5.3" reads
// 1.5 and stops before the second point. A conversion fails only when no prefix is valid.

namespace zorv {
namespace {

bool is_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r'); // tab, line feed, vertical tab, form feed, return
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
bool is_hex_digit(char c) {
  return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

const char* skip_space(const char* p, const char* end) {
  while (p != end && is_space(*p)) ++p;
  return p;
}

// Matches word case-insensitively at p; returns the position after it or nullptr.
const char* match_word(const char* p, const char* end, const char* word) {
  for (; *word; ++word, ++p)
    if (p == end || lower(*p) != *word) return nullptr;
  return p;
}

// "inf", "infinity" or "nan", as scanf collects them: a partial "infinity" is no number at all.
const char* scan_special(const char* p, const char* end, float& magnitude) {
  if (const char* q = match_word(p, end, "nan")) {
    magnitude = std::numeric_limits<float>::quiet_NaN();
    return q;
  }
  const char* q = match_word(p, end, "inf");
  if (!q) return nullptr;
  magnitude = std::numeric_limits<float>::infinity();
  if (q == end || lower(*q) != 'i') return q;
  return match_word(q, end, "inity");
}

// Most numbers in object files are short: coordinates such as -0.70711, indices such as 1999.
// The fast paths below read them in one pass and leave everything else to the full scanners.

// A decimal without exponent whose digits form an integer of at most 2^24, with at most ten of
// them after the point: that integer and the power of ten are exact floats, so one division,
// correctly rounded, gives what strtof gives (Clinger's fast path). Digits are read one by one:
// the loops' branches are predicted, so the next number need not wait for this one's digits to be
// counted. Returns nullptr when the number has another form (exponent, "0x", more digits).
constexpr std::uint64_t exact_float_integer = std::uint64_t{1} << 24;
constexpr int most_fast_digits = 19; // an integer of this many digits still fits 64 bits
constexpr float exact_powers_of_ten[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                         1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
constexpr int most_fraction_digits = static_cast<int>(std::size(exact_powers_of_ten)) - 1;

const char* scan_short_decimal(const char* p, const char* end, float& magnitude) {
  const char* const first = p;
  std::uint64_t mantissa = 0; // wraps harmlessly when there are too many digits for it
  for (; p != end && is_digit(*p); ++p) mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
  const char* const point = p;
  if (p != end && *p == '.') {
    for (++p; p != end && is_digit(*p); ++p)
      mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
  }
  const auto fraction_digits = p == point ? 0 : p - point - 1;
  const auto digits = (point - first) + fraction_digits;
  if (digits == 0 || digits > most_fast_digits || mantissa > exact_float_integer ||
      fraction_digits > most_fraction_digits)
    return nullptr;
  if (p != end && (lower(*p) == 'e' || lower(*p) == 'x')) return nullptr;
  magnitude = static_cast<float>(mantissa) / exact_powers_of_ten[fraction_digits];
  return p;
}

// Up to seven decimal digits, the most that cannot overflow 32 bits, read eight characters at a
// time where the text has eight left. Returns how many digits start at p (run_width: there may be
// more, or fewer than eight characters were left) and sets value to what they say.
constexpr int run_width = 8;

int short_digit_run(const char* p, const char* end, std::uint32_t& value) {
  if constexpr (std::endian::native == std::endian::little) {
    if (end - p >= run_width) {
      const std::uint64_t word = swar::digit_word(p);
      const int count = std::countr_zero(swar::not_digits(word)) / 8; // 64 / 8 when all are digits
      // The digits moved to the top, zeros (leading zeros) below.
      value = swar::digits_value(count ? word << (8 * (run_width - count)) : 0);
      return count;
    }
  }
  return run_width;
}

// The run of characters scanf collects for a decimal or hexadecimal number, from p.
const char* collect_number(const char* p, const char* end, bool hex) {
  const char exponent_mark = hex ? 'p' : 'e';
  bool got_digit = false, got_dot = false, got_exponent = false;
  for (; p != end; ++p) {
    const char c = *p;
    if (is_digit(c) || (hex && !got_exponent && is_hex_digit(c))) {
      got_digit = true;
    } else if (got_exponent && lower(p[-1]) == exponent_mark && (c == '+' || c == '-')) {
    } else if (got_digit && !got_exponent && lower(c) == exponent_mark) {
      got_exponent = got_dot = true;
    } else if (!got_dot && c == '.') {
      got_dot = true;
    } else {
      break;
    }
  }
  return p;
}

// Converts the longest valid prefix of [first, last) like strtof; false if there is none.
bool convert_decimal(const char* first, const char* last, float& magnitude) {
  float value = 0;
  const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ptr == first) return false;
  if (ec == std::errc::result_out_of_range) {
    // Overflow and underflow: strtof gives infinity, zero or a rounded subnormal.
    const std::string text(first, ptr);
    value = std::strtof(text.c_str(), nullptr);
  }
  magnitude = value;
  return true;
}

// After "0x": the C library's own strtof, because its rounding of hexadecimal subnormals is not
// always the correctly rounded result that from_chars gives ("0x1.000001p-150" reads as 0), and
// a file must read exactly as fscanf reads it. Hexadecimal numbers are rare, so the copy is cheap.
float convert_hex(const char* first, const char* last) {
  std::string text = "0x";
  text.append(first, last);
  return std::strtof(text.c_str(), nullptr);
}

// The sign bit set without a branch, exactly as negation sets it.
float with_sign(float magnitude, bool negative) {
  constexpr int sign_bit = 31;
  return std::bit_cast<float>(std::bit_cast<std::uint32_t>(magnitude) ^
                              (std::uint32_t{negative} << sign_bit));
}

// Everything but a short decimal, after the sign: inf, nan, hexadecimal, long or with exponent.
// Out of line, so that the short path does not pay for its registers and stack.
[[gnu::noinline]] const char* scan_other_forms(const char* p, const char* end, float& magnitude) {
  if (p == end) return nullptr;
  if (lower(*p) == 'n' || lower(*p) == 'i') return scan_special(p, end, magnitude);
  if (*p == '0' && p + 1 != end && lower(p[1]) == 'x') {
    const char* next = collect_number(p + 2, end, true);
    if (next == p + 2) return nullptr; // a bare "0x" is no number
    magnitude = convert_hex(p + 2, next);
    return next;
  }
  const char* next = collect_number(p, end, false);
  return convert_decimal(p, next, magnitude) ? next : nullptr;
}

// Digits that may not fit 32 bits, after the sign. A value outside saturates and sets overflow.
[[gnu::noinline]] const char* scan_long_int(const char* p, const char* end, bool negative,
                                            std::int32_t& value, bool& overflow) {
  const char* digits = p;
  constexpr long long limit = std::numeric_limits<std::int32_t>::max();
  long long magnitude = 0;
  for (; p != end && is_digit(*p); ++p) {
    if (magnitude <= limit + 1) magnitude = magnitude * 10 + (*p - '0');
  }
  if (p == digits) return nullptr;
  const long long signed_value = negative ? -magnitude : magnitude;
  if (signed_value > limit) {
    overflow = true;
    value = std::numeric_limits<std::int32_t>::max();
  } else if (signed_value < -limit - 1) {
    overflow = true;
    value = std::numeric_limits<std::int32_t>::min();
  } else {
    value = static_cast<std::int32_t>(signed_value);
  }
  return p;
}

} // namespace

const char* scan_float(const char* p, const char* end, float& value) {
  p = skip_space(p, end);
  // Half the coordinates of a typical object are negative, in no order a branch could predict:
  // '+' and '-' are two apart, so one comparison finds either, and the sign costs no branch.
  const unsigned first = p != end ? static_cast<unsigned char>(*p) : 0;
  const bool negative = first == '-';
  p += ((first - '+') & ~2u) == 0;
  float magnitude = 0;
  const char* next = scan_short_decimal(p, end, magnitude);
  if (!next) next = scan_other_forms(p, end, magnitude);
  if (!next) return nullptr;
  value = with_sign(magnitude, negative);
  return next;
}

const char* scan_int(const char* p, const char* end, std::int32_t& value, bool& overflow) {
  p = skip_space(p, end);
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-'; // signs are rare: predicted
  overflow = false;
  std::uint32_t short_value = 0;
  if (const int count = short_digit_run(p, end, short_value); count > 0 && count < run_width) {
    const auto magnitude = static_cast<std::int32_t>(short_value);
    value = negative ? -magnitude : magnitude;
    return p + count;
  }
  return scan_long_int(p, end, negative, value, overflow);
}

} // namespace zorv
