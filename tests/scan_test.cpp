// The scanners must read exactly what the C library's sscanf reads with "%f%n" and "%d%n": the
// same success, the same number of characters consumed and the same value bits. Random strings
// over the characters that matter find the corners (partial exponents, "0x", "infinit", signs).
#include "scan.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

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

TEST(ScanFloat, ReadsLikeSscanfOnRandomShortStrings) {
  std::mt19937 random(1);
  for (int i = 0; i < random_strings; ++i) expect_float_like_sscanf(random_short(random));
}

TEST(ScanFloat, RoundsLikeSscanfOnLongNumbers) {
  std::mt19937 random(2);
  for (int i = 0; i < random_strings / 4; ++i) expect_float_like_sscanf(random_long(random));
}

TEST(ScanFloat, ReadsLikeSscanfAtTheLimits) {
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

TEST(ScanInt, ReadsLikeSscanf) {
  std::mt19937 random(3);
  for (int i = 0; i < random_strings; ++i) expect_int_like_sscanf(random_short(random));
  // Runs of every length around the eight characters that are read at once.
  for (int i = 0; i < random_strings / 4; ++i) expect_int_like_sscanf(random_long(random));
  for (const char* text : {"2147483647", "2147483648", "-2147483648", "-2147483649", "4294967301",
                           "99999999999999999999999", "-0", "+", "- 1"})
    expect_int_like_sscanf(text);
}

} // namespace
