// zorv's own format, read the way fscanf with the file's formats reads it ("p={%d}\n",
// "%f %f %f %f\n" for each point, "l={%d}\n", "%d %d\n" for each line, "n=%s"), with the checks
// that fscanf would not make: that every item is there, that counts are sane before anything is
// allocated, and that every line joins points that exist. It reads through a text_window, so a
// file of any size or a stream without end is read in bounded memory; the number stream, the
// numbers read alone and the counts' checks are the readers' own (reading.hpp).
#include "zorv_file.hpp"

#include "big_arrays.hpp"
#include "number_stream.hpp"
#include "reading.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

namespace zorv {
namespace {

// The least text an item can take: every number needs at least one character. A count that the
// rest of the text could not hold is refused before the arrays are allocated.
constexpr std::size_t least_point_bytes = 4;
constexpr std::size_t least_line_bytes = 2;

// Where the text's size is not known, an array is given room for at least this many bytes of
// items at first, and then grows as they arrive, so that its memory follows the text read.
constexpr std::size_t first_room_bytes = std::size_t{1} << 20;

// A count as read, and where it stands.
struct zorv_count {
  count_need need;
  count_place place;
};

std::span<const count_need> needs_of(const zorv_count& count) {
  return {&count.need, 1};
}

// How many items the text read after the count could hold, at least_bytes each.
std::size_t items_read_text_holds(const text_window& w, const zorv_count& count) {
  return static_cast<std::size_t>((offset_of(w, w.end) - count.place.offset) /
                                  count.need.least_bytes);
}

// The first room for the items of a count: all of them where the text was seen to hold them,
// else what the text read so far could hold, and at least a first step.
template <typename Item>
void first_room(std::vector<Item>& items, const zorv_count& count, const text_window& w) {
  items.clear();
  const auto all = static_cast<std::size_t>(count.need.value);
  const std::size_t step =
      std::max(first_room_bytes / sizeof(Item), items_read_text_holds(w, count));
  make_room(items, count.place.checked ? all : std::min(all, step));
}

// More room once the array is full: what the text read so far could hold, at least twice the room
// there is, at most all the items. The text holds several times as many items as it has given, so
// the array mostly takes its whole size in one step, while few items need copying, and its
// resident memory stays that of the items read.
template <typename Item>
[[gnu::noinline]] void more_room(std::vector<Item>& items, const zorv_count& count,
                                 const text_window& w) {
  const std::size_t step = std::max(2 * items.capacity(), items_read_text_holds(w, count));
  make_room(items, std::min(step, static_cast<std::size_t>(count.need.value)));
}

// Literal characters of a format must stand exactly here; nothing is skipped before them.
bool match(text_window& w, std::string_view literal) {
  if (!fill(w, literal.size())) return false;
  if (std::string_view(w.p, literal.size()) != literal) return false;
  w.p += literal.size();
  return true;
}

// "p={%d}\n" or "l={%d}\n": the literal, the count, "}", then white space. Where the size of the
// rest of the text is known, the count must fit it at least_bytes per item.
bool read_count(text_window& w, std::string_view literal, zorv_count& count, std::string& error) {
  const std::string_view noun = count.need.noun;
  if (!match(w, literal)) return refuse_at(w, w.p, {"expected \"", literal, "\""}, error);
  bool overflow = false;
  const number_state state = read_int_alone(w, count.need.value, overflow);
  if (state == number_state::missing) return refuse_at(w, w.p, {"expected the ", noun}, error);
  if (state == number_state::too_long) return refuse_long_number(w, error);
  // The count's text is held whole with the character after it, so "}" is matched without
  // reading on and number stays in the window.
  const char* number = w.p;
  if (!match(w, "}")) return refuse_at(w, w.p, {"expected \"}\" after the ", noun}, error);
  if (overflow) return refuse_at(w, number, {"the ", noun, " does not fit 32 bits"}, error);
  const std::string value = std::to_string(count.need.value);
  if (count.need.value < 0) return refuse_at(w, number, {"negative ", noun, " ", value}, error);
  if (!place_counts(w, w.p, line_of(w, number), needs_of(count), count.place, error)) return false;
  skip_blanks(w);
  return true;
}

// Why point ordinal could not be read; kept out of the loop that reads the points.
[[gnu::noinline]] bool refuse_point(text_window& w, number_state state, const zorv_count& count,
                                    std::int32_t ordinal, std::string& error) {
  if (counts_refused(w, count.place, needs_of(count), error)) return false;
  if (state == number_state::too_long) return refuse_long_number(w, error);
  return refuse_at(
      w, w.p, {"expected 4 coordinates of point ", ordinal_of(ordinal, count.need.value)}, error);
}

bool read_points(text_window& w, const zorv_count& count, object_record& object,
                 std::string& error) {
  std::vector<point>& points = object.points;
  first_room(points, count, w);
  number_reader r = start_numbers(w);
  read_on(r);
  for (std::int32_t i = 0; i < count.need.value; ++i) {
    keep_reading(r);
    if (points.size() == points.capacity()) [[unlikely]]
      more_room(points, count, w);
    // Nearly every point is four short decimals, read together; anything else is read again one
    // number at a time, which is also what names a bad one.
    number_stream together = r.s;
    std::array<float, 4> values;
    if (next_short_floats(together, values)) {
      r.s = together;
      points.push_back({values[0], values[1], values[2], values[3]});
      continue;
    }
    to_window(r);
    point q;
    for (float* coordinate : {&q.x, &q.y, &q.z, &q.w}) {
      const number_state state = read_float_alone(w, *coordinate);
      if (state != number_state::read) return refuse_point(w, state, count, i + 1, error);
    }
    to_stream(r);
    points.push_back(q);
  }
  to_window(r);
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
                                    std::int32_t point_count, const zorv_count& count,
                                    std::int32_t ordinal, std::string& error) {
  if (counts_refused(w, count.place, needs_of(count), error)) return false;
  const std::string line = ordinal_of(ordinal, count.need.value);
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

bool read_lines(text_window& w, const zorv_count& count, object_record& object,
                std::string& error) {
  std::vector<line>& lines = object.lines;
  first_room(lines, count, w);
  number_reader r = start_numbers(w);
  read_on(r);
  const auto points = static_cast<std::uint32_t>(object.point_count);
  for (std::int32_t i = 0; i < count.need.value; ++i) {
    keep_reading(r);
    if (lines.size() == lines.capacity()) [[unlikely]]
      more_room(lines, count, w);
    // The same for the two indices of a line, which must also name points that exist.
    number_stream together = r.s;
    int_pair pair;
    if (next_short_pair(together, pair) && static_cast<std::uint32_t>(pair.first) < points &&
        static_cast<std::uint32_t>(pair.second) < points) {
      r.s = together;
      lines.push_back({pair.first, pair.second});
      continue;
    }
    to_window(r);
    line l;
    index_state state = read_index(w, object.point_count, l.first);
    std::int32_t index = l.first;
    if (state == index_state::ok) {
      state = read_index(w, object.point_count, l.second);
      index = l.second;
    }
    if (state != index_state::ok)
      return refuse_index(w, state, index, object.point_count, count, i + 1, error);
    to_stream(r);
    lines.push_back(l);
  }
  to_window(r);
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
  zorv_count points{{"point count", 0, least_point_bytes}, {}};
  zorv_count lines{{"line count", 0, least_line_bytes}, {}};
  if (!read_count(w, "p={", points, error)) return false;
  object.point_count = points.need.value;
  if (!read_points(w, points, object, error) || !read_count(w, "l={", lines, error)) return false;
  object.line_count = lines.need.value;
  return read_lines(w, lines, object, error) && read_name(w, object, error);
}

bool parse_object(std::string_view text, object_record& object, std::string& error) {
  text_window w = window_on_text(text);
  return read_object(w, object, error);
}

} // namespace zorv
