// The scanners must read exactly what the C library's sscanf reads with "%f%n" and "%d%n": the
// same success, the same number of characters consumed and the same value bits. Random strings
// over the characters that matter find the corners (partial exponents, "0x", "infinit", signs).
#include "number_stream.hpp"
#include "scan.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int random_strings = 300000;
constexpr int max_short_length = 10;

// Digits and their neighbours / and :, signs, points, exponent and hex marks, the letters of inf,
// infinity and nan, white space.
constexpr char alphabet[] = "0123456789/:+-.eEpPxXabcdfiInNtTyY \t\n\r";

std::string random_short(std::mt19937& random) {
  const int length = static_cast<int>(random() % (max_short_length + 1));
  std::string text;
  for (int i = 0; i < length; ++i) text += alphabet[random() % (sizeof alphabet - 1)];
  return text;
}

std::string digits(std::mt19937& random, int most) {
  std::string text;
  for (int n = static_cast<int>(random() % most) + 1; n > 0; --n) text += char('0' + random() % 10);
  return text;
}

// Well-formed numbers with long mantissas and wide exponents: rounding, overflow, subnormals.
std::string random_long(std::mt19937& random) {
  std::string text = random() % 2 ? "-" : "";
  if (random() % 4 == 0) {
    constexpr char hex[] = "0123456789abcdefABCDEF";
    text += "0x";
    for (int n = static_cast<int>(random() % 12) + 1; n > 0; --n) text += hex[random() % 22];
    if (random() % 2) text += '.' + digits(random, 8);
    text += 'p';
    return text += std::to_string(static_cast<int>(random() % 320) - 160);
  }
  const int most = random() % 2 ? 8 : 30; // short ones take the fast path
  text += digits(random, most);
  if (random() % 2) text += '.' + digits(random, most);
  if (random() % 2) text += 'e' + std::to_string(static_cast<int>(random() % 100) - 60);
  return text;
}

// The scanners get the text without a terminating zero, so AddressSanitizer sees any read past it.
std::unique_ptr<char[]> exact_copy(const std::string& text) {
  auto copy = std::make_unique<char[]>(text.size());
  std::memcpy(copy.get(), text.data(), text.size());
  return copy;
}

std::uint32_t bits(float value) {
  std::uint32_t result;
  std::memcpy(&result, &value, sizeof result);
  return result;
}

void expect_float_like_sscanf(const std::string& text) {
  float expected = -7.0f;
  int consumed = -1;
  const bool expected_ok = std::sscanf(text.c_str(), "%f%n", &expected, &consumed) == 1;
  const auto copy = exact_copy(text);
  float value = -7.0f;
  const char* next = zorv::scan_float(copy.get(), copy.get() + text.size(), value);
  ASSERT_EQ(next != nullptr, expected_ok) << '"' << text << '"';
  if (!expected_ok) return;
  ASSERT_EQ(next - copy.get(), consumed) << '"' << text << '"';
  ASSERT_EQ(bits(value), bits(expected)) << '"' << text << '"';
}

void expect_int_like_sscanf(const std::string& text) {
  int expected = -7;
  int consumed = -1;
  const bool expected_ok = std::sscanf(text.c_str(), "%d%n", &expected, &consumed) == 1;
  const auto copy = exact_copy(text);
  std::int32_t value = -7;
  bool overflow = false;
  const char* next = zorv::scan_int(copy.get(), copy.get() + text.size(), value, overflow);
  ASSERT_EQ(next != nullptr, expected_ok) << '"' << text << '"';
  if (!expected_ok) return;
  ASSERT_EQ(next - copy.get(), consumed) << '"' << text << '"';
  // sscanf wraps a value outside 32 bits; the scanner flags it instead, and the loader rejects it.
  errno = 0;
  const long long wide = std::strtoll(text.c_str(), nullptr, 10);
  const bool outside = errno == ERANGE || wide < INT32_MIN || wide > INT32_MAX;
  ASSERT_EQ(overflow, outside) << '"' << text << '"';
  if (!outside) {
    ASSERT_EQ(value, expected) << '"' << text << '"';
  }
}

TEST(ScanFloatTest, ReadsLikeSscanfOnRandomShortStrings) {
  std::mt19937 random(1);
  for (int i = 0; i < random_strings; ++i) expect_float_like_sscanf(random_short(random));
}

TEST(ScanFloatTest, RoundsLikeSscanfOnLongNumbers) {
  std::mt19937 random(2);
  for (int i = 0; i < random_strings / 4; ++i) expect_float_like_sscanf(random_long(random));
}

TEST(ScanFloatTest, ReadsLikeSscanfAtTheLimits) {
  for (const char* text : {"3.4028235e38",
                           "3.40282357e38",
                           "3.4028236e38",
                           "1e39",
                           "-1e39",
                           "1.4e-45",
                           "7e-46",
                           "7.1e-46",
                           "1e-50",
                           "1.1754942e-38",
                           "0x1.fffffep127",
                           "0x1.ffffffp127",
                           "0x1p-149",
                           "0x1p-150",
                           "0x1.000001p-150",
                           "0x1p-200",
                           "0x1p200",
                           "-nan",
                           "NAN",
                           "-Infinity",
                           "0x",
                           "0x.",
                           "0xp1",
                           "1e",
                           "1e+",
                           "infinit",
                           "nan(1)",
                           "00000000000000000000000001.5"})
    expect_float_like_sscanf(text);
}

TEST(ScanIntTest, ReadsLikeSscanf) {
  std::mt19937 random(3);
  for (int i = 0; i < random_strings; ++i) expect_int_like_sscanf(random_short(random));
  // Runs of every length around the eight characters that are read at once.
  for (int i = 0; i < random_strings / 4; ++i) expect_int_like_sscanf(random_long(random));
  for (const char* text : {"2147483647", "2147483648", "-2147483648", "-2147483649", "4294967301",
                           "99999999999999999999999", "-0", "+", "- 1"})
    expect_int_like_sscanf(text);
}

// Both ways of finding white space agree with the scanners' own idea of it, for every byte.
TEST(NumberStreamTest, FindsWhiteSpaceLikeTheScanners) {
  std::mt19937 random(5);
  for (int round = 0; round < 4096; ++round) {
    char block[16];
    for (int i = 0; i < 16; ++i)
      block[i] = static_cast<char>(round < 256 ? (round + i * 17) % 256 : random() % 256);
    std::uint64_t expected = 0;
    for (int i = 0; i < 16; ++i) {
      const unsigned char c = static_cast<unsigned char>(block[i]);
      if (c == ' ' || (c >= '\t' && c <= '\r')) expected |= std::uint64_t{1} << i;
    }
    ASSERT_EQ(zorv::stream_detail::space_bits(block), expected) << round;
    ASSERT_EQ(zorv::stream_detail::portable_space_bits(block), expected) << round;
  }
}

// Numbers of every shape the fast path takes or refuses: digit counts around its eight
// characters and its 2^24, points anywhere, signs, leading zeros, and what only the full
// scanners read.
std::string random_token(std::mt19937& random, unsigned point_odds) {
  static const char* const odd[] = {
      "1.5e3",      "1.5.3",      "-0.00000",    "0x1p3",      "inf",      "-nan",      "infinit",
      "1-2",        ".5",         "5.",          "-.",         "+",        "-",         ".",
      "..5",        "1e",         "x",           "16777216",   "16777217", "16777.217", "1677721.6",
      "-0",         "+0.0",       "00000000.5",  "0.00000001", "99999999", "12345678",  "1234567.8",
      "2147483647", "2147483648", "-2147483649", "1,5",        "1+",       "--1",       "+-1",
      "0.1e",       "1.5nan"};
  const unsigned pick = random() % 8;
  if (pick == 0) return odd[random() % std::size(odd)];
  std::string text;
  if (pick == 1) text += '-';
  if (pick == 2) text += '+';
  const std::size_t sign = text.size();
  const int count = static_cast<int>(random() % 12) + 1;
  for (int i = 0; i < count; ++i) text += static_cast<char>('0' + random() % 10);
  if (random() % point_odds != 0) text.insert(sign + random() % (count + 1), 1, '.');
  return text;
}

// White space of every kind between the numbers, sometimes none at all.
std::string random_separator(std::mt19937& random) {
  static const char* const separators[] = {" ", " ", "\n", "\t", "\r\n", "  ", "\v", "\f", ""};
  return separators[random() % std::size(separators)];
}

// A long text of numbers, with a point in all but one in point_odds of the plain ones.
std::string random_numbers(std::mt19937& random, int tokens, unsigned point_odds) {
  std::string text = random_separator(random);
  for (int i = 0; i < tokens; ++i) {
    text += random_token(random, point_odds);
    text += random_separator(random);
  }
  return text;
}

// After a number that could not be read, a new stream one character past the bad text, so that
// the rest of the text is read too.
zorv::number_stream past_failure(const char* begin, const char* p, const char* end) {
  while (p != end && std::isspace(static_cast<unsigned char>(*p))) ++p;
  return zorv::open_numbers(begin, p == end ? p : p + 1, end);
}

// The stream's readers, each held to the conversions it stands for: "%f", "%d", "%d %d" and
// "%f %f %f %f". A reader of several numbers may turn them away, and then the reader of one
// moves the stream on, as the loaders do; what it does read is what the conversions read.
enum class number_kind { float_number, int_number };

struct stream_reader_case {
  const char* reader;
  number_kind kind;
  int numbers;         // read at once
  unsigned seed;       // of the texts
  unsigned point_odds; // of random_numbers
  int least_together;  // of a reader of several: how many reads of them the texts give at least
};

const stream_reader_case stream_reader_cases[] = {
    {"next_float", number_kind::float_number, 1, 6, 4, 0},
    {"next_int", number_kind::int_number, 1, 7, 1, 0},
    {"next_short_pair", number_kind::int_number, 2, 10, 1, 10000},    // most of the text
    {"next_short_floats", number_kind::float_number, 4, 11, 8, 5000}, // a good part of it
};

// What a read gave: the values, floats as their bits.
struct stream_read {
  bool ok = false;
  std::vector<std::int64_t> values;
  bool overflow = false;
};

stream_read read_numbers(number_kind kind, int numbers, zorv::number_stream& s) {
  stream_read r;
  if (numbers == 4) {
    std::array<float, 4> values{};
    r.ok = zorv::next_short_floats(s, values);
    for (const float v : values) r.values.push_back(bits(v));
  } else if (numbers == 2) {
    zorv::int_pair pair{-7, -7};
    r.ok = zorv::next_short_pair(s, pair);
    r.values = {pair.first, pair.second};
  } else if (kind == number_kind::float_number) {
    float value = -7.0f;
    r.ok = zorv::next_float(s, value);
    r.values = {bits(value)};
  } else {
    std::int32_t value = -7;
    bool overflow = true;
    r.ok = zorv::next_int(s, value, overflow);
    r.values = {value};
    r.overflow = overflow;
  }
  return r;
}

// What sscanf reads from text with "%f%n" or "%d%n", numbers times in a row, as "%f %f%n" reads:
// how many it read, how far it got, their values, and whether one lies outside 32 bits (sscanf
// wraps it; the stream flags it instead, and the loaders refuse it).
struct sscanf_read {
  int read = 0;
  int consumed = 0;
  std::vector<std::int64_t> values;
  bool outside = false;
};

sscanf_read sscanf_numbers(const char* text, number_kind kind, int numbers) {
  sscanf_read r;
  for (; r.read < numbers; ++r.read) {
    const char* const at = text + r.consumed;
    int consumed = -1;
    if (kind == number_kind::float_number) {
      float value = -7.0f;
      if (std::sscanf(at, "%f%n", &value, &consumed) != 1) break;
      r.values.push_back(bits(value));
    } else {
      int value = -7;
      if (std::sscanf(at, "%d%n", &value, &consumed) != 1) break;
      r.values.push_back(value);
      errno = 0;
      const long long wide = std::strtoll(at, nullptr, 10);
      r.outside = r.outside || errno == ERANGE || wide < INT32_MIN || wide > INT32_MAX;
    }
    r.consumed += consumed;
  }
  return r;
}

TEST(NumberStreamTest, EachReaderReadsLikeSscanf) {
  for (const stream_reader_case& c : stream_reader_cases) {
    SCOPED_TRACE(c.reader);
    std::mt19937 random(c.seed);
    int together = 0;
    for (int round = 0; round < 2000; ++round) {
      const std::string text =
          random_numbers(random, static_cast<int>(random() % 300), c.point_odds);
      const auto copy = exact_copy(text);
      const char* const end = copy.get() + text.size();
      zorv::number_stream s = zorv::open_numbers(copy.get(), copy.get(), end);
      while (s.p != end) {
        const std::size_t at = static_cast<std::size_t>(s.p - copy.get());
        const std::string where = '"' + text.substr(at, 60) + "\" at " + std::to_string(at);
        zorv::number_stream ahead = s;
        const stream_read got = read_numbers(c.kind, c.numbers, ahead);
        const sscanf_read expected = sscanf_numbers(text.c_str() + at, c.kind, c.numbers);
        if (c.numbers == 1) {
          ASSERT_EQ(got.ok, expected.read == 1) << where;
        }
        if (got.ok) {
          if (c.numbers > 1) ++together;
          ASSERT_EQ(expected.read, c.numbers) << where;
          ASSERT_EQ(ahead.p - copy.get(), static_cast<std::ptrdiff_t>(at) + expected.consumed)
              << where;
          ASSERT_EQ(got.overflow, expected.outside) << where;
          if (!expected.outside) {
            ASSERT_EQ(got.values, expected.values) << where;
          }
          s = ahead;
          continue;
        }
        // Turned away: read on one number at a time. Past a number that cannot be read, a new
        // stream reads the rest of the text.
        if (c.numbers > 1) {
          ahead = s;
          if (read_numbers(c.kind, 1, ahead).ok) {
            s = ahead;
            continue;
          }
        }
        s = past_failure(copy.get(), ahead.p, end);
      }
    }
    if (c.numbers > 1) {
      EXPECT_GT(together, c.least_together);
    }
  }
}

// Short numbers in the middle of a long text are read from the window, not by the scanners.
TEST(NumberStreamTest, ReadsShortNumbersFromTheWindow) {
  std::string text = "p={100}\n";
  for (int i = 0; i < 100; ++i) text += " -0.70711 123";
  zorv::number_stream s =
      zorv::open_numbers(text.data(), text.data() + 8, text.data() + text.size());
  float value = 0;
  ASSERT_TRUE(zorv::next_float(s, value));
  EXPECT_EQ(value, -0.70711f);
  EXPECT_NE(s.starts, 0u); // the rest of the window is still to be read
  std::int32_t index = 0;
  bool overflow = true;
  ASSERT_TRUE(zorv::next_int(s, index, overflow));
  EXPECT_EQ(index, 123);
  EXPECT_FALSE(overflow);
}

} // namespace
