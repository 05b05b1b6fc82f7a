// The object record and its loader. parse_object reads the text of an object file the way fscanf
// with the file's formats reads it ("p={%d}\n", "%f %f %f %f\n" for each point, "l={%d}\n",
// "%d %d\n" for each line, "n=%s"), and checks as it goes what fscanf would not: that every item
// is there, that counts are sane before anything is allocated, and that every line joins points
// that exist. load_object maps or reads the file and turns a failure into a message and an exit.
#include "object.hpp"

#include "fatal.hpp"
#include "scan.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <initializer_list>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorv {
namespace {

// The least text an item can take: every number needs at least one character. A count that the
// rest of the file could not hold is refused before the arrays are allocated.
constexpr std::size_t least_point_bytes = 4;
constexpr std::size_t least_line_bytes = 2;

// Files that cannot be mapped (pipes, terminals) are read in blocks of this size.
constexpr std::size_t read_block_size = std::size_t{1} << 20;

// Big arrays are written whole right after they are allocated. Where the system offers huge
// pages, one fault then brings in 2 MB instead of 4 kB: a large object loads with a few dozen
// page faults instead of tens of thousands. Only a hint: the contents are the same either way.
void prefer_huge_pages(const void* data, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t huge_page = std::uintptr_t{2} << 20;
  const auto first = (reinterpret_cast<std::uintptr_t>(data) + huge_page - 1) & ~(huge_page - 1);
  const auto last = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(huge_page - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

// The part of the text still to be read.
struct cursor {
  const char* begin;
  const char* p;
  const char* end;
};

bool is_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r'); // tab, line feed, vertical tab, form feed, return
}

// What a blank or a line feed in a scan format does: skip any run of white space, even none.
// Kept inline: it runs before each of the millions of numbers of a large file.
[[gnu::always_inline]] inline void skip_space(cursor& c) {
  while (c.p != c.end && is_space(*c.p)) ++c.p;
}

// Literal characters of a format must stand exactly here; nothing is skipped before them.
bool match(cursor& c, std::string_view literal) {
  if (static_cast<std::size_t>(c.end - c.p) < literal.size()) return false;
  if (std::string_view(c.p, literal.size()) != literal) return false;
  c.p += literal.size();
  return true;
}

// A number leaves the cursor after it. A failed one leaves it at the start of the bad text (the
// scanners skip white space themselves), so that the error names the line where the number
// should have been. The points and lines keep to the same rule, read through a number_stream.
bool read_int(cursor& c, std::int32_t& value, bool& overflow) {
  const char* next = scan_int(c.p, c.end, value, overflow);
  if (!next) {
    skip_space(c);
    return false;
  }
  c.p = next;
  return true;
}

// Sets the error to "line <n>: " and the parts, for the text line holding where; returns false.
// A file that ends too soon is blamed on the line where its text ends, not on the empty one after.
bool fail(const cursor& c, const char* where, std::initializer_list<std::string_view> parts,
          std::string& error) {
  if (where == c.end)
    while (where != c.begin && is_space(where[-1])) --where;
  error = "line ";
  error += std::to_string(std::count(c.begin, where, '\n') + 1);
  error += ": ";
  for (const std::string_view part : parts) error += part;
  return false;
}

// "2 of 5": an item's position among its kind, counted from 1.
std::string of(std::int32_t ordinal, std::int32_t count) {
  std::string text = std::to_string(ordinal);
  text += " of ";
  return text += std::to_string(count);
}

// "p={%d}\n" or "l={%d}\n": the literal, the count, "}", then white space. The count must fit
// the text that follows it at least_bytes per item.
bool read_count(cursor& c, std::string_view literal, std::string_view noun, std::size_t least_bytes,
                std::int32_t& count, std::string& error) {
  if (!match(c, literal)) return fail(c, c.p, {"expected \"", literal, "\""}, error);
  bool overflow = false;
  if (!read_int(c, count, overflow)) return fail(c, c.p, {"expected the ", noun}, error);
  const char* number = c.p; // just after the count, on its line
  if (!match(c, "}")) return fail(c, c.p, {"expected \"}\" after the ", noun}, error);
  if (overflow) return fail(c, number, {"the ", noun, " does not fit 32 bits"}, error);
  const std::string value = std::to_string(count);
  if (count < 0) return fail(c, number, {"negative ", noun, " ", value}, error);
  if (static_cast<std::size_t>(count) > static_cast<std::size_t>(c.end - c.p) / least_bytes)
    return fail(c, number, {noun, " ", value, " is more than the file can hold"}, error);
  skip_space(c);
  return true;
}

bool read_points(cursor& c, object_record& object, std::string& error) {
  const std::int32_t count = object.point_count;
  object.points.clear();
  object.points.reserve(static_cast<std::size_t>(count)); // filled below without zeroing first
  prefer_huge_pages(object.points.data(), object.points.capacity() * sizeof(point));
  number_stream s = open_numbers(c.begin, c.p, c.end);
  for (std::int32_t i = 0; i < count; ++i) {
    // Nearly every point is four short decimals, read together; anything else is read again one
    // number at a time, which is also what names a bad one.
    number_stream ahead = s;
    std::array<float, 4> values;
    if (next_short_floats(ahead, values)) {
      s = ahead;
      object.points.push_back({values[0], values[1], values[2], values[3]});
      continue;
    }
    point q;
    if (!next_float(s, q.x) || !next_float(s, q.y) || !next_float(s, q.z) || !next_float(s, q.w)) {
      c.p = s.p;
      skip_space(c);
      return fail(c, c.p, {"expected 4 coordinates of point ", of(i + 1, count)}, error);
    }
    object.points.push_back(q);
  }
  c.p = s.p;
  // Only now, so that a file whose points run out early touches little more memory than its own.
  object.projected.reserve(static_cast<std::size_t>(count));
  prefer_huge_pages(object.projected.data(), object.projected.capacity() * sizeof(point));
  object.projected.assign(static_cast<std::size_t>(count), point{});
  skip_space(c);
  return true;
}

enum class index_state { ok, missing, too_wide, out_of_range };

// One index of a line: a 32-bit number naming a point that exists.
[[gnu::always_inline]] inline index_state read_index(number_stream& s, std::int32_t point_count,
                                                     std::int32_t& index) {
  bool overflow = false;
  if (!next_int(s, index, overflow)) return index_state::missing;
  if (overflow) return index_state::too_wide;
  if (index < 0 || index >= point_count) return index_state::out_of_range;
  return index_state::ok;
}

// Why an index of line ordinal of count was refused; kept out of the loop that reads the lines.
[[gnu::noinline]] bool refuse_index(const cursor& c, index_state state, std::int32_t index,
                                    std::int32_t point_count, std::int32_t ordinal,
                                    std::int32_t count, std::string& error) {
  const std::string line = of(ordinal, count);
  switch (state) {
  case index_state::missing:
    return fail(c, c.p, {"expected 2 point indices of line ", line}, error);
  case index_state::too_wide:
    return fail(c, c.p, {"point index of line ", line, " does not fit 32 bits"}, error);
  default:
    return fail(c, c.p,
                {"point index ", std::to_string(index), " of line ", line, " is out of range for ",
                 std::to_string(point_count), " points"},
                error);
  }
}

bool read_lines(cursor& c, object_record& object, std::string& error) {
  const std::int32_t count = object.line_count;
  object.lines.clear();
  object.lines.reserve(static_cast<std::size_t>(count));
  prefer_huge_pages(object.lines.data(), object.lines.capacity() * sizeof(line));
  number_stream s = open_numbers(c.begin, c.p, c.end);
  const auto points = static_cast<std::uint32_t>(object.point_count);
  for (std::int32_t i = 0; i < count; ++i) {
    // The same for the two indices of a line, which must also name points that exist.
    number_stream ahead = s;
    int_pair pair;
    if (next_short_pair(ahead, pair) && static_cast<std::uint32_t>(pair.first) < points &&
        static_cast<std::uint32_t>(pair.second) < points) {
      s = ahead;
      object.lines.push_back({pair.first, pair.second});
      continue;
    }
    line l;
    index_state state = read_index(s, object.point_count, l.first);
    std::int32_t index = l.first;
    if (state == index_state::ok) {
      state = read_index(s, object.point_count, l.second);
      index = l.second;
    }
    if (state != index_state::ok) {
      c.p = s.p;
      if (state == index_state::missing) skip_space(c);
      return refuse_index(c, state, index, object.point_count, i + 1, count, error);
    }
    object.lines.push_back(l);
  }
  c.p = s.p;
  skip_space(c);
  return true;
}

// "n=%s": the name is the next run of non-white-space characters, cut to what the field holds.
// The end of the file instead of "n=", or nothing after it, leaves the name empty.
bool read_name(cursor& c, object_record& object, std::string& error) {
  object.name[0] = '\0';
  if (c.p == c.end) return true;
  if (!match(c, "n=")) return fail(c, c.p, {"expected \"n=\" or the end of the file"}, error);
  skip_space(c);
  const char* first = c.p;
  while (c.p != c.end && !is_space(*c.p)) ++c.p;
  const auto length = std::min(static_cast<std::size_t>(c.p - first), name_size - 1);
  std::copy_n(first, length, object.name);
  object.name[length] = '\0';
  return true;
}

// The text of the object file: the mapped file, or what was read into the buffer.
struct file_text {
  const char* data = nullptr;
  std::size_t size = 0;
  void* mapping = nullptr;
  std::string buffer;
};

// Reads what a pipe or a terminal delivers, to its end. False on a read error.
bool read_all(int fd, file_text& text) {
  for (;;) {
    const std::size_t used = text.buffer.size();
    text.buffer.resize(used + read_block_size);
    const ssize_t got = ::read(fd, text.buffer.data() + used, read_block_size);
    text.buffer.resize(used + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    if (got == 0) break;
    if (got < 0 && errno != EINTR) return false;
  }
  text.data = text.buffer.data();
  text.size = text.buffer.size();
  return true;
}

// Maps a regular file whole; anything else, or a failed mapping, is read instead.
bool open_text(int fd, const struct stat& status, file_text& text) {
  if (S_ISREG(status.st_mode) && status.st_size > 0) {
    const auto size = static_cast<std::size_t>(status.st_size);
    void* mapping = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (mapping != MAP_FAILED) {
      text.mapping = mapping;
      text.data = static_cast<const char*>(mapping);
      text.size = size;
      return true;
    }
  }
  return read_all(fd, text);
}

} // namespace

void identity_transform(object_record& object) {
  for (plane_record& plane : object.planes) plane = {0.0f, 0.0f, 1.0f};
  object.scale.fill(1.0f);
  object.offset.fill(0.0f);
  clear_turn(object);
}

void clear_turn(object_record& object) {
  for (int row = 0; row < axis_count; ++row)
    for (int column = 0; column < axis_count; ++column)
      object.turn[row][column] = row == column ? 1.0f : 0.0f;
  object.turned = false;
}

bool parse_object(std::string_view text, object_record& object, std::string& error) {
  cursor c{text.data(), text.data(), text.data() + text.size()};
  return read_count(c, "p={", "point count", least_point_bytes, object.point_count, error) &&
         read_points(c, object, error) &&
         read_count(c, "l={", "line count", least_line_bytes, object.line_count, error) &&
         read_lines(c, object, error) && read_name(c, object, error);
}

void load_object(object_record& object, const std::string& file_name) {
  const int fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status {};
  if (fd < 0 || ::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode))
    die(exit_status::failure, "ZORV: Cannot open object file %s.\n", file_name.c_str());
  std::printf(" Loading object file %s.\n", file_name.c_str());
  try {
    file_text text;
    if (!open_text(fd, status, text))
      die(exit_status::failure, "ZORV: Cannot read object file %s.\n", file_name.c_str());
    std::string error;
    if (!parse_object(std::string_view(text.data, text.size), object, error))
      die(exit_status::failure, "ZORV: %s: %s.\n", file_name.c_str(), error.c_str());
    if (text.mapping) ::munmap(text.mapping, text.size);
  } catch (const std::bad_alloc&) {
    die_of_memory();
  }
  ::close(fd);
  std::printf(" %d points, ", object.point_count);
  std::printf("%d lines.\n", object.line_count);
}

} // namespace zorv
