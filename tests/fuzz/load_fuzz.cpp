// Feeds arbitrary bytes to the object-file parser, the code path load_object uses for zorv's own
// files and for OFF and SKEL files, and checks that whatever it accepts is safe to draw: every
// array as long as its count and every line index inside the point list; an OFF or SKEL file's
// lines each a distinct pair, smaller index first. The same bytes are also read from a file
// through a window of a few dozen bytes, as load_object reads a file through its own: that must
// give the same object, bit for bit, or the same refusal.
#include "load.hpp"
#include "object.hpp"
#include "off.hpp"
#include "text_window.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t least_window = 40; // windows of 40 to 103 bytes, by the input's size
constexpr std::size_t window_sizes = 64;

void check_drawable(const zorv::object_record& object) {
  if (object.point_count < 0 || object.line_count < 0) __builtin_trap();
  if (object.points.size() != static_cast<std::size_t>(object.point_count) ||
      object.projected.size() != object.points.size() ||
      object.lines.size() != static_cast<std::size_t>(object.line_count))
    __builtin_trap();
  for (const zorv::line& l : object.lines)
    if (l.first < 0 || l.first >= object.point_count || l.second < 0 ||
        l.second >= object.point_count)
      __builtin_trap();
  if (std::memchr(object.name, '\0', zorv::name_size) == nullptr) __builtin_trap();
}

// The lines of an OFF or SKEL file: each pair once, smaller index first.
void check_distinct(const zorv::object_record& object) {
  std::set<std::pair<std::int32_t, std::int32_t>> seen;
  for (const zorv::line& l : object.lines)
    if (l.first >= l.second || !seen.insert({l.first, l.second}).second) __builtin_trap();
}

template <typename Item> bool same_bits(const std::vector<Item>& a, const std::vector<Item>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Item)) == 0);
}

// Reads the bytes through a small window on a file; traps unless that gives what memory gave.
void check_window(const std::uint8_t* data, std::size_t size, bool parsed,
                  const zorv::object_record& object, const std::string& error) {
  static const int fd = ::memfd_create("load_fuzz", 0);
  if (fd < 0 || ::ftruncate(fd, 0) != 0 ||
      ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size) || ::lseek(fd, 0, SEEK_SET) != 0)
    __builtin_trap();
  zorv::text_window w =
      zorv::window_on_file(fd, static_cast<std::int64_t>(size), least_window + size % window_sizes);
  zorv::object_record through{};
  std::string through_error;
  if (zorv::read_any_object(w, through, through_error) != parsed || through_error != error)
    __builtin_trap();
  if (parsed &&
      (!same_bits(through.points, object.points) || !same_bits(through.lines, object.lines) ||
       std::strcmp(through.name, object.name) != 0))
    __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zorv::object_record object{};
  zorv::identity_transform(object);
  std::string error;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const bool parsed = zorv::parse_any_object(text, object, error);
  if (!parsed && error.empty()) __builtin_trap(); // a rejection must say why
  if (parsed) check_drawable(object);
  zorv::text_window start = zorv::window_on_text(text);
  if (parsed && zorv::find_off_keyword(start)) check_distinct(object);
  check_window(data, size, parsed, object, error);
  return 0;
}
