// What the loaders' tests share: an outcome as a value, a text read through a bounded window on a
// file as a file of that text would be read, and random edits that find what a table misses.
#pragma once

#include "load.hpp"
#include "object.hpp"
#include "text_window.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace zorv {

struct parsed {
  bool ok = false;
  std::string error;
  object_record object{};
};

// The text written to a file and read back, in any format, through a window of capacity bytes;
// the file's size is given to the window where size_known, as for a regular file, and not, as
// for a pipe.
inline parsed read_through_window(const std::string& text, std::size_t capacity, bool size_known) {
  std::FILE* file = std::tmpfile();
  EXPECT_NE(file, nullptr);
  parsed result;
  if (!file) return result;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fflush(file);
  const int fd = ::fileno(file);
  ::lseek(fd, 0, SEEK_SET);
  text_window w =
      window_on_file(fd, size_known ? static_cast<std::int64_t>(text.size()) : -1, capacity);
  result.ok = read_any_object(w, result.object, result.error);
  std::fclose(file);
  return result;
}

// Two outcomes alike to the bit: both refused with the same message, or both loaded with the same
// counts, coordinates, lines, colours and name.
inline testing::AssertionResult same_outcome(const parsed& got, const parsed& expected) {
  if (got.ok != expected.ok || got.error != expected.error)
    return testing::AssertionFailure()
           << "got \"" << got.error << "\", expected \"" << expected.error << '"';
  if (!got.ok) return testing::AssertionSuccess();
  const object_record& a = got.object;
  const object_record& b = expected.object;
  const auto bits = [](const std::vector<point>& points) {
    std::vector<std::uint32_t> result;
    for (const point& q : points)
      for (const float v : {q.x, q.y, q.z, q.w}) result.push_back(std::bit_cast<std::uint32_t>(v));
    return result;
  };
  const auto indices = [](const std::vector<line>& lines) {
    std::vector<std::int32_t> result;
    for (const line& l : lines) result.insert(result.end(), {l.first, l.second});
    return result;
  };
  if (a.point_count != b.point_count || a.line_count != b.line_count ||
      a.projected.size() != b.projected.size() || bits(a.points) != bits(b.points) ||
      indices(a.lines) != indices(b.lines) || std::string(a.name) != std::string(b.name) ||
      a.colours != b.colours || a.line_colours != b.line_colours)
    return testing::AssertionFailure() << "the objects differ";
  return testing::AssertionSuccess();
}

// A count refused because the text cannot hold it.
inline bool refuses_a_count(const std::string& error) {
  return error.find("is more than the file can hold") != std::string::npos;
}

// The loaders read a file through a bounded window; whatever the window's size, and whether the
// file's size is known or not (as for a pipe), they read exactly what they read from memory, and
// refuse with the same message naming the same line, however many refills lie before it.
inline void expect_same_through_windows(const std::string& text, const parsed& expected) {
  // Smaller than a number, about a point, a hundred points, larger than most texts.
  constexpr std::size_t capacities[] = {16, 100, 4099, 65536};
  for (const std::size_t capacity : capacities) {
    for (const bool size_known : {true, false}) {
      SCOPED_TRACE(testing::Message() << "window of " << capacity << " bytes, size "
                                      << (size_known ? "known" : "unknown") << ", text \""
                                      << text.substr(0, 60) << '"');
      const parsed got = read_through_window(text, capacity, size_known);
      // Of a stream whose size is unknown, a count is checked once the text has ended; where an
      // item fails more than a window before that, the item's own refusal is given.
      const bool longer_than_window = text.size() + window_keep_behind >= capacity;
      if (!got.ok && !expected.ok && !size_known && longer_than_window &&
          refuses_a_count(expected.error) && !refuses_a_count(got.error))
        continue;
      ASSERT_TRUE(same_outcome(got, expected));
    }
  }
}

// One to three random edits (insert, delete or replace a character) of a text, with characters of
// the alphabet: those that mean something to the format.
inline std::string mutated(std::string text, std::mt19937& random, std::string_view alphabet) {
  for (int edits = static_cast<int>(random() % 3) + 1; edits > 0; --edits) {
    const std::size_t at = random() % (text.size() + 1);
    const char c = alphabet[random() % alphabet.size()];
    switch (random() % 3) {
    case 0:
      text.insert(at, 1, c);
      break;
    case 1:
      if (at < text.size()) text.erase(at, 1);
      break;
    default:
      if (at < text.size()) text[at] = c;
    }
  }
  return text;
}

// The text as a regular expression that matches it alone, for a death test's message.
inline std::string escape_regex(const std::string& text) {
  std::string result;
  for (const char c : text) {
    if (std::strchr("\\^$.|?*+()[]{}", c)) result += '\\';
    result += c;
  }
  return result;
}

} // namespace zorv
