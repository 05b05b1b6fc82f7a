// What the three generators share: reading their two counts, writing numbers through one large
// buffer, and the torus points that hoopgen and hoopstack both write.
//
// Users make large objects with the generators, so the output is the hot path. Numbers are
// converted with std::to_chars, which gives exactly the digits of printf's "%.5f", "%f" and "%d"
// at a fraction of the cost, and leave a mebibyte at a time through write(2). A failed write ends
// the program with a message and status 1 rather than leaving a silently truncated file behind.
#pragma once

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unistd.h>

namespace zorv {

constexpr int usage_status = 255; // exit value -1
constexpr int write_error_status = 1;

constexpr std::size_t output_buffer_size = std::size_t{1} << 20;
constexpr int most_decimals = 6;
// The longest fixed-notation double: a sign, 309 integer digits, the point and the decimals.
constexpr std::size_t longest_number = 1 + 309 + 1 + most_decimals;

struct output_buffer {
  const char* program; // upper-case program name, the prefix of the write error message
  std::size_t used;    // bytes of data not yet written
  char data[output_buffer_size];
};

// The program's one output buffer. It starts as zeros, so that its mebibyte is reserved when the
// program starts instead of being stored in the program's file; the name is set here.
inline output_buffer& program_output(const char* program) {
  static output_buffer out{};
  out.program = program;
  return out;
}

// Reads a count as atoi does (optional blanks and sign, then the leading digits; no digits give 0)
// but without atoi's undefined overflow: false when the value does not fit an int.
inline bool read_count(const char* text, int* count) {
  errno = 0;
  const long value = std::strtol(text, nullptr, 10);
  if (errno == ERANGE || value < INT_MIN || value > INT_MAX) return false;
  *count = static_cast<int>(value);
  return true;
}

// True when the command line holds exactly two counts, both at least `smallest`.
inline bool read_counts(int argc, char** argv, int smallest, int* nx, int* ny) {
  return argc == 3 && read_count(argv[1], nx) && read_count(argv[2], ny) && *nx >= smallest &&
         *ny >= smallest;
}

// Counts are checked in 64 bits, where the product of two ints cannot overflow.
inline bool fits_int(long long value) {
  return value >= INT_MIN && value <= INT_MAX;
}

// --help and --version as the only argument: the help on standard output, or the program's name
// (lower case) and the version, and status 0. Any other command line is left to the program.
inline void answer_help_or_version(int argc, char** argv, const char* name, const char* help) {
  if (argc != 2) return;
  const std::string_view argument = argv[1];
  if (argument == "--help")
    std::fputs(help, stdout);
  else if (argument == "--version")
    std::printf("%s %s\n", name, ZORV_VERSION);
  else
    return;
  std::exit(std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : write_error_status);
}

[[noreturn]] inline void usage_exit(const char* program, const char* arguments) {
  std::fprintf(stderr, "%s: need parameters.\n  usage: %s %s\n", program, program, arguments);
  std::exit(usage_status);
}

[[noreturn]] inline void write_error_exit(const char* program) {
  std::fprintf(stderr, "%s: write error: %s\n", program, std::strerror(errno));
  std::exit(write_error_status);
}

// Writes out everything buffered, resuming after short writes and signals.
inline void flush_output(output_buffer& out) {
  const char* next = out.data;
  std::size_t left = out.used;
  while (left > 0) {
    const ssize_t written = ::write(STDOUT_FILENO, next, left);
    if (written < 0 && errno == EINTR) continue;
    if (written == 0) errno = EIO; // no progress and no reason given: do not spin
    if (written <= 0) write_error_exit(out.program);
    next += written;
    left -= static_cast<std::size_t>(written);
  }
  out.used = 0;
}

inline void put_char(output_buffer& out, char c) {
  if (out.used == output_buffer_size) flush_output(out);
  out.data[out.used++] = c;
}

inline void put_text(output_buffer& out, std::string_view text) {
  while (!text.empty()) {
    if (out.used == output_buffer_size) flush_output(out);
    const std::size_t part = std::min(text.size(), output_buffer_size - out.used);
    std::memcpy(out.data + out.used, text.data(), part);
    out.used += part;
    text.remove_prefix(part);
  }
}

// Below this, a value times 10^most_decimals stays under 2^52, where every half is a double.
constexpr double fast_fixed_limit = 1e9;

constexpr std::uint64_t power_of_ten(int exponent) {
  std::uint64_t power = 1;
  while (exponent-- > 0) power *= 10;
  return power;
}

// Writes `value` as printf's "%.<decimals>f" does: correctly rounded, ties to even, a minus sign
// on every negative value including those that round to zero. The caller provides at least
// longest_number bytes from `first`.
//
// Values of moderate size are rounded here from one multiplication by 10^decimals. Rounding to
// double is monotone and each half (n + 0.5) is itself a double below 2^52, so the computed
// product lies on the same side of every half as the exact product, and past_half below has
// exactly the sign of the computed product against its half. Only a product that lands exactly
// on a half leaves the direction in doubt (a true tie, or a value just beside one); those, huge
// values and NaN go to std::to_chars, which is exact but slower.
template <int decimals> char* format_fixed(char* first, double value) {
  static_assert(decimals >= 1 && decimals <= most_decimals);
  constexpr std::uint64_t units_per_one = power_of_ten(decimals);
  const double magnitude = std::fabs(value);
  if (magnitude < fast_fixed_limit) {
    const double scaled = magnitude * static_cast<double>(units_per_one);
    const auto whole = static_cast<std::uint64_t>(scaled); // the floor: scaled is not negative
    const double past_half = scaled - static_cast<double>(whole) - 0.5;
    if (past_half != 0.0) {
      std::uint64_t units = whole + (past_half > 0.0 ? 1 : 0);
      if (std::signbit(value)) *first++ = '-';
      first = std::to_chars(first, first + longest_number, units / units_per_one).ptr;
      *first = '.';
      units %= units_per_one;
      for (int place = decimals; place > 0; --place, units /= 10)
        first[place] = static_cast<char>('0' + units % 10);
      return first + 1 + decimals;
    }
  }
  return std::to_chars(first, first + longest_number, value, std::chars_format::fixed, decimals)
      .ptr;
}

template <int decimals> void put_fixed(output_buffer& out, double value) {
  if (output_buffer_size - out.used < longest_number) flush_output(out);
  out.used =
      static_cast<std::size_t>(format_fixed<decimals>(out.data + out.used, value) - out.data);
}

inline void put_int(output_buffer& out, int value) {
  if (output_buffer_size - out.used < longest_number) flush_output(out);
  const auto result = std::to_chars(out.data + out.used, out.data + output_buffer_size, value);
  out.used = static_cast<std::size_t>(result.ptr - out.data);
}

// A count line of an object file, "p={%d}\n" or "l={%d}\n".
inline void put_count(output_buffer& out, char letter, int count) {
  put_char(out, letter);
  put_text(out, "={");
  put_int(out, count);
  put_text(out, "}\n");
}

// One line of an object's line list, "%d %d\n".
inline void put_pair(output_buffer& out, int first, int second) {
  put_int(out, first);
  put_char(out, ' ');
  put_int(out, second);
  put_char(out, '\n');
}

constexpr double two_pi = 6.283185307179586;
constexpr int torus_decimals = 5;

// The points of a Clifford torus, "%.5f %.5f %.5f %.5f\n" with cos a, sin a, cos b, sin b: ring j
// (angle b on the z-w circle) holds points i (angle a on the x-y circle), point i of ring j at
// index j * nx + i. The angles are index / (count / 2pi), counted in doubles, and the ring's half
// of every line is formatted once per ring.
inline void put_torus_points(output_buffer& out, int nx, int ny) {
  const double x_per_radian = nx / two_pi;
  const double y_per_radian = ny / two_pi;
  for (double j = 0.0; j < ny; j += 1.0) {
    const double b = j / y_per_radian;
    char ring_text[2 * longest_number + 3];
    char* end = ring_text;
    *end++ = ' ';
    end = format_fixed<torus_decimals>(end, std::cos(b));
    *end++ = ' ';
    end = format_fixed<torus_decimals>(end, std::sin(b));
    *end++ = '\n';
    const std::string_view ring(ring_text, static_cast<std::size_t>(end - ring_text));
    for (double i = 0.0; i < nx; i += 1.0) {
      const double a = i / x_per_radian;
      put_fixed<torus_decimals>(out, std::cos(a));
      put_char(out, ' ');
      put_fixed<torus_decimals>(out, std::sin(a));
      put_text(out, ring);
    }
  }
}

} // namespace zorv
