#include "scan.hpp"

#include <charconv>
#include <cstdlib>
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
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
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

} // namespace

const char* scan_float(const char* p, const char* end, float& value) {
  p = skip_space(p, end);
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  if (p == end) return nullptr;

  float magnitude = 0;
  const char* next = nullptr;
  if (lower(*p) == 'n' || lower(*p) == 'i') {
    next = scan_special(p, end, magnitude);
    if (!next) return nullptr;
  } else if (*p == '0' && p + 1 != end && lower(p[1]) == 'x') {
    next = collect_number(p + 2, end, true);
    if (next == p + 2) return nullptr; // a bare "0x" is no number
    magnitude = convert_hex(p + 2, next);
  } else {
    next = collect_number(p, end, false);
    if (!convert_decimal(p, next, magnitude)) return nullptr;
  }
  value = negative ? -magnitude : magnitude;
  return next;
}

const char* scan_int(const char* p, const char* end, std::int32_t& value, bool& overflow) {
  p = skip_space(p, end);
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  const char* digits = p;
  constexpr long long limit = std::numeric_limits<std::int32_t>::max();
  long long magnitude = 0;
  overflow = false;
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

} // namespace zorv
