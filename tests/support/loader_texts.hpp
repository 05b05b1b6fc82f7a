// What the loaders' tests share: an outcome as a value, a text read through a bounded window on a
// file as a file of that text would be read, and random edits that find what a table misses.
#pragma once

#include "object.hpp"
#include "text_window.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <unistd.h>

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
