// zorv's own format, read the way fscanf with the file's formats reads it ("p={%d}\n",
// "%f %f %f %f\n" for each point, "l={%d}\n", "%d %d\n" for each line, "n=%s"), with the checks
// that fscanf would not make: that every item is there, that counts are sane before anything is
// allocated, and that every line joins points that exist. It reads through a text_window, so a
// file of any size or a stream without end is read in bounded memory.
#include "zorv_file.hpp"

#include "big_arrays.hpp"
#include "number_stream.hpp"
#include "scan.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace zorv {
namespace {

// The least text an item can take: every number needs at least one character. A count that the
// rest of the text could not hold is refused before the arrays are allocated.
constexpr std::size_t least_point_bytes = 4;
constexpr std::size_t least_line_bytes = 2;

// The loops over points and lines read on when fewer bytes than this are left in the window:
// many points' worth, so that the number stream nearly always has a whole 64-byte view to read.
constexpr std::ptrdiff_t read_ahead = 1024;

// Where the text's size is not known, an array is given room for at least this many bytes of
// items at first, and then grows as they arrive, so that its memory follows the text read.
constexpr std::size_t first_room_bytes = std::size_t{1} << 20;

// A count as read, and what a refusal found after the window has moved on needs of it.
struct count_item {
  std::string_view noun;   // "point count"
  std::size_t least_bytes; // of text per item
  std::int32_t value;
  bool checked;         // against the bytes that follow it, which were known
  std::int64_t line;    // where it stands, kept when it is not checked
  std::uint64_t offset; // just after it
};

// How many items the text read after the count could hold, at least_bytes each.
std::size_t items_read_text_holds(const text_window& w, const count_item& count) {
  return static_cast<std::size_t>((offset_of(w, w.end) - count.offset) / count.least_bytes);
}

// The first room for the items of a count: all of them where the text was seen to hold them,
// else what the text read so far could hold, and at least a first step.
template <typename Item>
void first_room(std::vector<Item>& items, const count_item& count, const text_window& w) {
  items.clear();
  const auto all = static_cast<std::size_t>(count.value);
  const std::size_t step =
      std::max(first_room_bytes / sizeof(Item), items_read_text_holds(w, count));
  make_room(items, count.checked ? all : std::min(all, step));
}

// More room once the array is full: what the text read so far could hold, at least twice the room
// there is, at most all the items. The text holds several times as many items as it has given, so
// the array mostly takes its whole size in one step, while few items need copying, and its
// resident memory stays that of the items read.
template <typename Item>
[[gnu::noinline]] void more_room(std::vector<Item>& items, const count_item& count,
                                 const text_window& w) {
  const std::size_t step = std::max(2 * items.capacity(), items_read_text_holds(w, count));
  make_room(items, std::min(step, static_cast<std::size_t>(count.value)));
}

// Literal characters of a format must stand exactly here; nothing is skipped before them.
bool match(text_window& w, std::string_view literal) {
  if (!fill(w, literal.size())) return false;
  if (std::string_view(w.p, literal.size()) != literal) return false;
  w.p += literal.size();
  return true;
}

// A count that the bytes after it cannot hold.
bool refuse_count(std::int64_t line, const count_item& count, std::string& error) {
  return refuse_on_line(
      line, {count.noun, " ", std::to_string(count.value), " is more than the file can hold"},
      error);
}

// Items ran out or went wrong. Where the text's size was not known when the count was read, the
// count is checked once the whole text has been seen, reading on by at most one window for it,
// and is then refused as it would have been at first; otherwise the refusal is the item's own,
// as it must be for a stream without end. True if the count was refused.
bool count_refused(text_window& w, const count_item& count, std::string& error) {
  if (count.checked) return false;
  if (!w.at_end) refill(w, w.capacity);
  if (!w.at_end) return false;
  const auto bytes = offset_of(w, w.end) - count.offset;
  if (static_cast<std::size_t>(count.value) <= bytes / count.least_bytes) return false;
  refuse_count(count.line, count, error);
  return true;
}

// "p={%d}\n" or "l={%d}\n": the literal, the count, "}", then white space. Where the size of the
// rest of the text is known, the count must fit it at least_bytes per item.
bool read_count(text_window& w, std::string_view literal, count_item& count, std::string& error) {
  if (!match(w, literal)) return refuse_at(w, w.p, {"expected \"", literal, "\""}, error);
  hold_token(w);
  bool overflow = false;
  const char* next = scan_int(w.p, w.end, count.value, overflow);
  if (!next) return refuse_at(w, w.p, {"expected the ", count.noun}, error);
  if (static_cast<std::size_t>(next - w.p) > longest_token) return refuse_long_number(w, error);
  w.p = next;
  // The count's text is held whole with the character after it, so "}" is matched without
  // reading on and number stays in the window.
  const char* number = w.p;
  if (!match(w, "}")) return refuse_at(w, w.p, {"expected \"}\" after the ", count.noun}, error);
  if (overflow) return refuse_at(w, number, {"the ", count.noun, " does not fit 32 bits"}, error);
  const std::string value = std::to_string(count.value);
  if (count.value < 0) return refuse_at(w, number, {"negative ", count.noun, " ", value}, error);
  const std::int64_t bytes = bytes_after(w, w.p);
  count.checked = bytes >= 0;
  count.offset = offset_of(w, w.p);
  if (!count.checked) count.line = line_of(w, number);
  if (count.checked &&
      static_cast<std::size_t>(count.value) > static_cast<std::size_t>(bytes) / count.least_bytes)
    return refuse_count(line_of(w, number), count, error);
  skip_blanks(w);
  return true;
}

enum class number_state { read, missing, too_long };

// A number that the stream could not read from its view is read alone: the window first holds it
// whole, and a stream is opened at it.
number_stream stream_at_number(text_window& w) {
  hold_token(w);
  return open_numbers(w.begin, w.p, w.end);
}

// Then p moves after it, or stays where it should have been.
number_state after_number(text_window& w, bool read, const number_stream& s) {
  if (!read) return number_state::missing;
  if (static_cast<std::size_t>(s.p - w.p) > longest_token) return number_state::too_long;
  w.p = s.p;
  return number_state::read;
}

number_state read_float_alone(text_window& w, float& value) {
  number_stream s = stream_at_number(w);
  const bool read = next_float(s, value);
  return after_number(w, read, s);
}

number_state read_int_alone(text_window& w, std::int32_t& value, bool& overflow) {
  number_stream s = stream_at_number(w);
  const bool read = next_int(s, value, overflow);
  return after_number(w, read, s);
}

// The stream moved on to where the window reads on.
number_stream read_on(text_window& w, const number_stream& s, std::ptrdiff_t& ahead) {
  w.p = s.p;
  fill(w, read_ahead);
  ahead = w.at_end ? 0 : read_ahead;
  return open_numbers(w.begin, w.p, w.end);
}

// Why point ordinal could not be read; kept out of the loop that reads the points.
[[gnu::noinline]] bool refuse_point(text_window& w, number_state state, const count_item& count,
                                    std::int32_t ordinal, std::string& error) {
  if (count_refused(w, count, error)) return false;
  if (state == number_state::too_long) return refuse_long_number(w, error);
  return refuse_at(w, w.p, {"expected 4 coordinates of point ", ordinal_of(ordinal, count.value)},
                   error);
}

bool read_points(text_window& w, const count_item& count, object_record& object,
                 std::string& error) {
  std::vector<point>& points = object.points;
  first_room(points, count, w);
  std::ptrdiff_t ahead = 0;
  number_stream s = read_on(w, open_numbers(w.begin, w.p, w.end), ahead);
  for (std::int32_t i = 0; i < count.value; ++i) {
    if (s.end - s.p < ahead) [[unlikely]]
      s = read_on(w, s, ahead);
    if (points.size() == points.capacity()) [[unlikely]]
      more_room(points, count, w);
    // Nearly every point is four short decimals, read together; anything else is read again one
    // number at a time, which is also what names a bad one.
    number_stream together = s;
    std::array<float, 4> values;
    if (next_short_floats(together, values)) {
      s = together;
      points.push_back({values[0], values[1], values[2], values[3]});
      continue;
    }
    w.p = s.p;
    point q;
    for (float* coordinate : {&q.x, &q.y, &q.z, &q.w}) {
      const number_state state = read_float_alone(w, *coordinate);
      if (state != number_state::read) return refuse_point(w, state, count, i + 1, error);
    }
    s = open_numbers(w.begin, w.p, w.end);
    points.push_back(q);
  }
  w.p = s.p;
  // Only now, so that a file whose points run out early touches little more memory than its own.
  make_room(object.projected, points.size());
  object.projected.assign(points.size(), point{});
  skip_blanks(w);
  return true;
}

enum class index_state { ok, missing, too_long, too_wide, out_of_range };

// One index of a line, read alone: a 32-bit number naming a point that exists.
index_state read_index(text_window& w, std::int32_t point_count, std::int32_t& index) {
  bool overflow = false;
  const number_state state = read_int_alone(w, index, overflow);
  if (state == number_state::missing) return index_state::missing;
  if (state == number_state::too_long) return index_state::too_long;
  if (overflow) return index_state::too_wide;
  if (index < 0 || index >= point_count) return index_state::out_of_range;
  return index_state::ok;
}

// Why an index of line ordinal was refused; kept out of the loop that reads the lines.
[[gnu::noinline]] bool refuse_index(text_window& w, index_state state, std::int32_t index,
                                    std::int32_t point_count, const count_item& count,
                                    std::int32_t ordinal, std::string& error) {
  if (count_refused(w, count, error)) return false;
  const std::string line = ordinal_of(ordinal, count.value);
  switch (state) {
  case index_state::missing:
    return refuse_at(w, w.p, {"expected 2 point indices of line ", line}, error);
  case index_state::too_long:
    return refuse_long_number(w, error);
  case index_state::too_wide:
    return refuse_at(w, w.p, {"point index of line ", line, " does not fit 32 bits"}, error);
  default:
    return refuse_at(w, w.p,
                     {"point index ", std::to_string(index), " of line ", line,
                      " is out of range for ", std::to_string(point_count), " points"},
                     error);
  }
}

bool read_lines(text_window& w, const count_item& count, object_record& object,
                std::string& error) {
  std::vector<line>& lines = object.lines;
  first_room(lines, count, w);
  std::ptrdiff_t ahead = 0;
  number_stream s = read_on(w, open_numbers(w.begin, w.p, w.end), ahead);
  const auto points = static_cast<std::uint32_t>(object.point_count);
  for (std::int32_t i = 0; i < count.value; ++i) {
    if (s.end - s.p < ahead) [[unlikely]]
      s = read_on(w, s, ahead);
    if (lines.size() == lines.capacity()) [[unlikely]]
      more_room(lines, count, w);
    // The same for the two indices of a line, which must also name points that exist.
    number_stream together = s;
    int_pair pair;
    if (next_short_pair(together, pair) && static_cast<std::uint32_t>(pair.first) < points &&
        static_cast<std::uint32_t>(pair.second) < points) {
      s = together;
      lines.push_back({pair.first, pair.second});
      continue;
    }
    w.p = s.p;
    line l;
    index_state state = read_index(w, object.point_count, l.first);
    std::int32_t index = l.first;
    if (state == index_state::ok) {
      state = read_index(w, object.point_count, l.second);
      index = l.second;
    }
    if (state != index_state::ok)
      return refuse_index(w, state, index, object.point_count, count, i + 1, error);
    s = open_numbers(w.begin, w.p, w.end);
    lines.push_back(l);
  }
  w.p = s.p;
  skip_blanks(w);
  return true;
}

// "n=%s": the name is the next run of non-white-space characters, cut to what the field holds and
// read to its end however long it is. The end of the text instead of "n=", or nothing after it,
// leaves the name empty.
bool read_name(text_window& w, object_record& object, std::string& error) {
  object.name[0] = '\0';
  if (!fill(w, 1)) return true;
  if (!match(w, "n=")) return refuse_at(w, w.p, {"expected \"n=\" or the end of the file"}, error);
  skip_blanks(w);
  std::size_t length = 0;
  do {
    for (; w.p != w.end && !is_white_space(*w.p); ++w.p)
      if (length < name_size - 1) object.name[length++] = *w.p;
  } while (w.p == w.end && fill(w, 1));
  object.name[length] = '\0';
  return true;
}

} // namespace

bool read_object(text_window& w, object_record& object, std::string& error) {
  count_item points{"point count", least_point_bytes, 0, false, 0, 0};
  count_item lines{"line count", least_line_bytes, 0, false, 0, 0};
  if (!read_count(w, "p={", points, error)) return false;
  object.point_count = points.value;
  if (!read_points(w, points, object, error) || !read_count(w, "l={", lines, error)) return false;
  object.line_count = lines.value;
  return read_lines(w, lines, object, error) && read_name(w, object, error);
}

bool parse_object(std::string_view text, object_record& object, std::string& error) {
  text_window w = window_on_text(text);
  return read_object(w, object, error);
}

} // namespace zorv
