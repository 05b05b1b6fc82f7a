// OFF and SKEL files. find_off_keyword looks over the start of a file for the family's keyword
// without moving on, so that any other file is read exactly as before. read_off then reads the
// header (the keyword, the dimension of nOFF, the counts as one line), the vertices as a stream
// of numbers, and each face, polyline or cell as a record: a size, that many indices, and the
// rest of its line (a colour, a comment) skipped. Numbers are read as scanf reads them, through
// the readers' window, number stream and checks of counts (reading.hpp), so a file of any size or
// a stream without end is read in bounded memory, and every refusal names its line. The edges of
// the faces become the lines as they are met, each once: a point keeps the lines it starts in a
// short chain that its next edges walk (a counting sort takes the few points that start many):
// linear in the size of the file, whatever it holds.
#include "off.hpp"

#include "big_arrays.hpp"
#include "number_stream.hpp"
#include "reading.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <numeric>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zorv {
namespace {

constexpr char comment_mark = '#';
constexpr std::size_t longest_keyword = 10; // "STCN4nSKEL"
constexpr std::string_view appearance_word = "appearance";
constexpr std::string_view binary_word = "BINARY";

// Numbers after a vertex's coordinates, announced by the keyword's prefixes: a normal (N), as many
// as there are coordinates, then a colour (C: red, green, blue, alpha), then texture coordinates
// (ST). The colour is kept; the others are skipped. A colour after a face or polyline has three
// or four numbers, a fifth making it none.
constexpr int colour_numbers = 4;
constexpr int texture_numbers = 2;
constexpr int least_dimension = 3;
constexpr int most_dimension = 4;

// The counts line: vertices, faces (polylines in SKEL), then optionally edges and, in OFF, cells.
constexpr int least_counts = 2;
constexpr int most_off_counts = 4;
constexpr int most_skel_counts = 3;
constexpr int edge_count_position = 2; // informational: read, never trusted

// The least text an item takes: each number a character and a separator before it; a face,
// polyline or cell its size and the separator before it, so that a record of size 0 is refused
// as such rather than its count.
constexpr std::uint64_t least_number_bytes = 2;
constexpr std::uint64_t least_record_bytes = 2;

// The lines are counted in 32 bits.
constexpr std::size_t most_lines = std::numeric_limits<std::int32_t>::max();
// The lines start with room for a few thousand, few enough to copy at once when the faces read so
// far tell how many all of them make; never for more than the text's indices could make: each
// index takes two bytes at least, and makes at most one line.
constexpr std::size_t first_line_room = 4096;
constexpr std::uint64_t least_index_bytes = 2;

// ---- The keyword and what comes before it ----

struct off_keyword {
  bool texture = false;     // ST
  bool colour = false;      // C
  bool normal = false;      // N
  bool four = false;        // 4: four coordinates; with n, homogeneous ones
  bool n_dimension = false; // n: the dimension follows as a word
  bool skeleton = false;    // SKEL rather than OFF
};

bool take(std::string_view& word, std::string_view prefix) {
  if (!word.starts_with(prefix)) return false;
  word.remove_prefix(prefix.size());
  return true;
}

// [ST][C][N][4][n]OFF, or the same with SKEL: the whole word.
bool parse_keyword(std::string_view word, off_keyword& k) {
  k.texture = take(word, "ST");
  k.colour = take(word, "C");
  k.normal = take(word, "N");
  k.four = take(word, "4");
  k.n_dimension = take(word, "n");
  k.skeleton = word == "SKEL";
  return k.skeleton || word == "OFF";
}

bool ends_word(char c) {
  return is_white_space(c) || c == comment_mark;
}

// The preamble is looked over at offsets from p, holding the text as it goes: nothing is
// discarded, so p can stay where it is.
bool peek(text_window& w, std::size_t at, char& c) {
  if (at >= most_preamble_bytes || !hold(w, at + 1)) return false;
  c = w.p[at];
  return true;
}

// Past white space and comments; false where the text or the preamble's room ends.
bool peek_past_space(text_window& w, std::size_t& at) {
  char c = 0;
  while (peek(w, at, c)) {
    if (c == comment_mark) {
      while (peek(w, at, c) && c != '\n') ++at;
    } else if (is_white_space(c)) {
      ++at;
    } else {
      return true;
    }
  }
  return false;
}

// The word at `at`, up to white space, a comment or a brace; of a longer word than any keyword,
// only enough to tell.
std::string peek_word(text_window& w, std::size_t& at) {
  std::string word;
  char c = 0;
  while (word.size() <= longest_keyword && peek(w, at, c) && !ends_word(c) && c != '{') {
    word += c;
    ++at;
  }
  return word;
}

// Past a block of balanced braces that starts at `at`, comments and all.
bool peek_past_block(text_window& w, std::size_t& at) {
  char c = 0;
  if (!peek(w, at, c) || c != '{') return false;
  std::size_t depth = 0;
  do {
    if (!peek(w, at, c)) return false;
    if (c == comment_mark) {
      while (peek(w, at, c) && c != '\n') ++at;
      continue;
    }
    if (c == '{') ++depth;
    if (c == '}') --depth;
    ++at;
  } while (depth > 0);
  return true;
}

// ---- Reading through the window, one number at a time ----

// Moves p to the line feed that ends its line, or to the end of the text.
void skip_to_line_end(text_window& w) {
  for (;;) {
    const void* line_feed = std::memchr(w.p, '\n', static_cast<std::size_t>(w.end - w.p));
    if (line_feed != nullptr) {
      w.p = static_cast<const char*>(line_feed);
      return;
    }
    w.p = w.end;
    if (!fill(w, 1)) return;
  }
}

// Moves p past white space and comments, across lines.
void skip_space(text_window& w) {
  for (;;) {
    skip_blanks(w);
    if (w.p == w.end || *w.p != comment_mark) return;
    skip_to_line_end(w);
  }
}

// Moves p past blanks and a comment on its line, up to the line feed or the end of the text.
void skip_blanks_on_line(text_window& w) {
  for (;;) {
    while (w.p != w.end && *w.p != '\n' && is_white_space(*w.p)) ++w.p;
    if (w.p != w.end) {
      if (*w.p == comment_mark) skip_to_line_end(w);
      return;
    }
    if (!fill(w, 1)) return;
  }
}

// True if the word at p is word: white space, a comment or the end of the text follows it.
bool word_at(text_window& w, std::string_view word) {
  if (!fill(w, word.size()) || std::string_view(w.p, word.size()) != word) return false;
  return !fill(w, word.size() + 1) || ends_word(w.p[word.size()]);
}

// A number read alone must end its word, where white space, a comment or the end of the text
// follows ("1.5" is no index, "1,2" no coordinate); p has moved past it either way.
number_state ending_word(const text_window& w, number_state state) {
  if (state == number_state::read && w.p != w.end && !ends_word(*w.p)) return number_state::missing;
  return state;
}

// The next number after white space and comments, held whole and read alone (reading.hpp).
number_state read_int_word(text_window& w, std::int32_t& value, bool& overflow) {
  skip_space(w);
  return ending_word(w, read_int_alone(w, value, overflow));
}

number_state read_float_word(text_window& w, float& value) {
  skip_space(w);
  return ending_word(w, read_float_alone(w, value));
}

// ---- The header ----

struct off_header {
  bool skeleton = false;
  int dimension = least_dimension;
  int extras = 0;      // numbers after each vertex's coordinates
  int colour_at = -1;  // where the colour starts among them, or -1
  std::int32_t vertices = 0;
  std::int32_t records = 0; // faces, or polylines
  std::int32_t cells = 0;
  count_place counts; // where the counts stand
};

std::string_view record_noun(const off_header& h) {
  return h.skeleton ? "polyline" : "face";
}

std::string_view record_count_noun(const off_header& h) {
  return h.skeleton ? "polyline count" : "face count";
}

// The counts that the text must hold, in its order: the vertices, then the records, then the
// cells.
std::array<count_need, 3> count_needs(const off_header& h) {
  return {{
      {"vertex count", h.vertices,
       least_number_bytes * static_cast<std::uint64_t>(h.dimension + h.extras)},
      {record_count_noun(h), h.records, least_record_bytes},
      {"cell count", h.cells, least_record_bytes},
  }};
}

// The keyword that find_off_keyword found at p: the kind of file, its dimension and the numbers
// after each vertex's coordinates. Homogeneous coordinates and binary files are refused.
bool read_keyword(text_window& w, off_header& h, std::string& error) {
  hold(w, longest_keyword + 1);
  const char* const start = w.p;
  while (w.p != w.end && !ends_word(*w.p)) ++w.p;
  const std::string word(start, w.p);
  off_keyword k;
  if (!parse_keyword(word, k))
    return refuse_at(w, start, {"expected an OFF or SKEL keyword"}, error);
  if (k.four && k.n_dimension)
    return refuse_at(w, start, {word, " files (homogeneous coordinates) are not supported"}, error);
  skip_blanks_on_line(w);
  if (word_at(w, binary_word))
    return refuse_at(w, w.p, {"binary ", k.skeleton ? "SKEL" : "OFF", " files are not supported"},
                     error);
  h.skeleton = k.skeleton;
  h.dimension = k.four ? most_dimension : least_dimension;
  if (k.n_dimension) {
    std::int32_t dimension = 0;
    bool overflow = false;
    // The dimension is named as the file writes it, not as 32 bits clamp it.
    skip_space(w);
    hold_token(w);
    const char* const written = w.p;
    const number_state state = read_int_word(w, dimension, overflow);
    if (state == number_state::too_long) return refuse_long_number(w, error);
    if (state != number_state::read)
      return refuse_at(w, w.p, {"expected the dimension after ", word}, error);
    const std::string_view as_written(written, static_cast<std::size_t>(w.p - written));
    if (dimension > most_dimension)
      return refuse_at(w, w.p, {"dimension ", as_written, " is more than 4"}, error);
    if (dimension < least_dimension)
      return refuse_at(w, w.p, {"dimension ", as_written, " is less than 3"}, error);
    h.dimension = dimension;
  }
  if (k.colour) h.colour_at = k.normal ? h.dimension : 0;
  h.extras = (k.normal ? h.dimension : 0) + (k.colour ? colour_numbers : 0) +
             (k.texture ? texture_numbers : 0);
  return true;
}

// The counts, read as one line: from the next word to the end of its line. A reader that took
// words from a stream would take a Geomview file's first coordinate for a cell count.
bool read_counts(text_window& w, off_header& h, std::string& error) {
  const std::string_view nouns[] = {"vertex count", record_count_noun(h), "edge count",
                                    "cell count"};
  const int most = h.skeleton ? most_skel_counts : most_off_counts;
  std::array<std::int32_t, most_off_counts> values{};
  int count = 0;
  skip_space(w);
  for (;; ++count) {
    skip_blanks_on_line(w);
    if (!fill(w, 1) || *w.p == '\n') break;
    if (count == most)
      return refuse_at(w, w.p, {"more than ", std::to_string(most), " counts"}, error);
    bool overflow = false;
    const number_state state = read_int_word(w, values[count], overflow);
    if (state == number_state::too_long) return refuse_long_number(w, error);
    if (state != number_state::read)
      return refuse_at(w, w.p, {"expected the ", nouns[count]}, error);
    if (count == edge_count_position) continue;
    if (overflow) return refuse_at(w, w.p, {"the ", nouns[count], " does not fit 32 bits"}, error);
    if (values[count] < 0)
      return refuse_at(w, w.p, {"negative ", nouns[count], " ", std::to_string(values[count])},
                       error);
  }
  if (count < least_counts)
    return refuse_at(w, w.p, {"expected the vertex and ", record_noun(h), " counts"}, error);
  h.vertices = values[0];
  h.records = values[1];
  h.cells = count == most_off_counts ? values[3] : 0;
  return place_counts(w, w.p, line_of(w, w.p), count_needs(h), h.counts, error);
}

// ---- Colours ----

// A colour is read from at most this much of a record's line after the blanks that start it; the
// rest of the line is passed over.
constexpr std::size_t most_colour_text = 256;
constexpr double most_channel = 255;

// A number of a colour, and whether its text marks the form of numbers 0..1.
bool read_colour_number(std::string_view token, double& value, bool& float_form) {
  if (token.starts_with('+')) token.remove_prefix(1);
  const auto [stop, error] = std::from_chars(token.data(), token.data() + token.size(), value);
  if (error != std::errc() || stop != token.data() + token.size() || !std::isfinite(value))
    return false;
  float_form = float_form || token.find_first_of(".eE") != std::string_view::npos;
  return true;
}

std::uint8_t channel_of(double value, bool float_form) {
  const double scaled = float_form ? value * most_channel : value;
  if (!std::isfinite(scaled)) return 0;
  return static_cast<std::uint8_t>(std::nearbyint(std::clamp(scaled, 0.0, most_channel)));
}

// Three or four numbers are red, green, blue (and alpha, ignored): integers 0..255, or numbers
// 0..1 where one is written with a decimal point or an exponent, or where none is above 1 (a
// colour of 0..255 written in 0s and 1s would be black). One number is an index into a colour
// map, which the file does not hold: no colour, as is any other count.
std::optional<rgb_colour> colour_of(const std::array<double, colour_numbers>& values,
                                    int count, bool float_form) {
  if (count != 3 && count != colour_numbers) return std::nullopt;
  float_form = float_form || std::all_of(values.begin(), values.begin() + 3,
                                         [](double v) { return v <= 1; });
  return rgb_colour{channel_of(values[0], float_form), channel_of(values[1], float_form),
                    channel_of(values[2], float_form)};
}

// The colour written in [p, end), the rest of a face's or polyline's line from its first
// non-blank: numbers parted by blanks up to the end, a comment or most_colour_text. Anything else
// there makes it no colour.
std::optional<rgb_colour> parse_colour(const char* p, const char* end) {
  end = p + std::min(most_colour_text, static_cast<std::size_t>(end - p));
  std::array<double, colour_numbers> values{};
  int count = 0;
  bool float_form = false;
  for (;;) {
    while (p != end && is_white_space(*p)) ++p;
    if (p == end || *p == comment_mark) break;
    const char* const start = p;
    while (p != end && !ends_word(*p)) ++p;
    if (count == colour_numbers) return std::nullopt;
    if (!read_colour_number(std::string_view(start, static_cast<std::size_t>(p - start)),
                            values[static_cast<std::size_t>(count)], float_form))
      return std::nullopt;
    ++count;
  }
  return colour_of(values, count, float_form);
}

// What the reader gathers of the file's colours, into the object's record.
struct colour_state {
  std::vector<rgb_colour>& colours;         // the object's: each distinct colour once
  std::vector<std::uint32_t>& line_colours; // the object's
  std::unordered_map<std::uint32_t, std::uint32_t> index_of; // a packed colour's index
  std::vector<rgb_colour> vertex_colours;                    // by vertex, with the C prefix
  std::vector<std::int32_t> record_lines; // the lines of a long record, as met
};

std::uint32_t colour_index(colour_state& c, rgb_colour colour) {
  const std::uint32_t packed = std::uint32_t{colour.red} << 16 |
                               std::uint32_t{colour.green} << 8 | colour.blue;
  const auto [at, added] =
      c.index_of.try_emplace(packed, static_cast<std::uint32_t>(c.colours.size()));
  if (added) c.colours.push_back(colour);
  return at->second;
}

// A record's colour, given to each of its lines that has none yet: a line takes the colour of
// the first coloured record that holds it. Negative entries are pairs of equal indices.
void colour_lines(colour_state& c, std::size_t line_count, rgb_colour colour,
                  std::span<const std::int32_t> lines) {
  c.line_colours.resize(line_count, no_colour);
  const std::uint32_t index = colour_index(c, colour);
  for (const std::int32_t l : lines)
    if (l >= 0 && c.line_colours[static_cast<std::size_t>(l)] == no_colour)
      c.line_colours[static_cast<std::size_t>(l)] = index;
}

// Where no record has a colour and the vertices have, each line takes the mean of its ends'.
void colour_lines_by_vertices(colour_state& c, const std::vector<line>& lines) {
  if (!c.colours.empty() || c.vertex_colours.empty()) return;
  c.line_colours.clear();
  c.line_colours.reserve(lines.size());
  const auto mean = [](std::uint8_t a, std::uint8_t b) {
    return static_cast<std::uint8_t>((a + b + 1) / 2);
  };
  for (const line& l : lines) {
    const rgb_colour a = c.vertex_colours[static_cast<std::size_t>(l.first)];
    const rgb_colour b = c.vertex_colours[static_cast<std::size_t>(l.second)];
    c.line_colours.push_back(colour_index(
        c, {mean(a.red, b.red), mean(a.green, b.green), mean(a.blue, b.blue)}));
  }
}

// ---- The records, through the number stream ----

// The window with the stream that reads ahead in it, and the header that says what to read.
struct off_reader {
  number_reader in;
  const off_header& header;
  std::string& error;
  std::uint64_t most_line_room; // the lines the text after the vertices could make
  colour_state& colour;
};

// Items ran out or went wrong: the counts, if they were not checked at first (reading.hpp).
bool counts_refused(off_reader& r) {
  return counts_refused(r.in.w, r.header.counts, count_needs(r.header), r.error);
}

// A vertex's number that the stream could not read: read alone, or refused.
[[gnu::noinline]] bool read_vertex_number_alone(off_reader& r, float& value, bool coordinate,
                                                std::int32_t vertex) {
  text_window& w = r.in.w;
  to_window(r.in);
  const number_state state = read_float_word(w, value);
  if (state == number_state::read && (!coordinate || std::isfinite(value))) {
    to_stream(r.in);
    return true;
  }
  if (counts_refused(r)) return false;
  const off_header& h = r.header;
  const std::string which = ordinal_of(vertex + 1, h.vertices);
  if (state == number_state::too_long) return refuse_long_number(w, r.error);
  if (state == number_state::read)
    return refuse_at(w, w.p, {"a coordinate of vertex ", which, " is not a finite number"},
                     r.error);
  if (h.extras == 0)
    return refuse_at(w, w.p,
                     {"expected ", std::to_string(h.dimension), " coordinates of vertex ", which},
                     r.error);
  return refuse_at(
      w, w.p, {"expected ", std::to_string(h.dimension + h.extras), " numbers of vertex ", which},
      r.error);
}

[[gnu::always_inline]] inline bool read_vertex_number(off_reader& r, float& value, bool coordinate,
                                                      std::int32_t vertex) {
  keep_reading(r.in);
  number_stream next = r.in.s;
  if (next_short_float(next, value)) {
    r.in.s = next;
    return true;
  }
  return read_vertex_number_alone(r, value, coordinate, vertex);
}

// A vertex's colour (the C prefix): four numbers, each held whole so that its text tells the form.
[[gnu::noinline]] bool read_vertex_colour(off_reader& r, std::int32_t vertex) {
  std::array<double, colour_numbers> values{};
  bool float_form = false;
  for (double& value : values) {
    text_window& w = r.in.w;
    to_window(r.in);
    skip_space(w);
    hold_token(w);
    const char* const start = w.p;
    float number = 0;
    if (read_float_word(w, number) == number_state::read) {
      const std::string_view text(start, static_cast<std::size_t>(w.p - start));
      float_form = float_form || text.find_first_of(".eE") != std::string_view::npos;
    } else {
      w.p = start;
      to_stream(r.in);
      if (!read_vertex_number_alone(r, number, false, vertex)) return false;
      to_window(r.in);
    }
    value = number;
    to_stream(r.in);
  }
  r.colour.vertex_colours.push_back(colour_of(values, colour_numbers, float_form).value());
  return true;
}

bool read_vertices(off_reader& r, std::vector<point>& points) {
  const off_header& h = r.header;
  points.clear();
  if (h.counts.checked) make_room(points, static_cast<std::size_t>(h.vertices));
  // Most 4D files give four short decimals a vertex and nothing else: read together.
  const bool four_alone = h.dimension == most_dimension && h.extras == 0;
  for (std::int32_t i = 0; i < h.vertices; ++i) {
    keep_reading(r.in);
    std::array<float, 4> c{};
    number_stream together = r.in.s;
    if (four_alone && next_short_floats(together, c)) {
      r.in.s = together;
      points.push_back({c[0], c[1], c[2], c[3]});
      continue;
    }
    for (int k = 0; k < h.dimension; ++k)
      if (!read_vertex_number(r, c[k], true, i)) return false;
    float skipped = 0;
    for (int k = 0; k < h.extras; ++k) {
      if (k == h.colour_at) {
        if (!read_vertex_colour(r, i)) return false;
        k += colour_numbers - 1;
      } else if (!read_vertex_number(r, skipped, false, i)) {
        return false;
      }
    }
    points.push_back({c[0], c[1], c[2], c[3]});
  }
  return true;
}

// What a face, polyline or cell holds, for reading it and for naming it in a refusal.
struct record_kind {
  std::string_view noun;         // "face"
  std::int32_t count;            // of records of the kind
  std::string_view index_noun;   // "vertex": what its indices name
  std::string_view index_plural; // "vertices"
  std::int32_t limit;            // how many there are
};

// The size of record ordinal that the stream could not read, or that is less than 1.
[[gnu::noinline]] bool read_size_alone(off_reader& r, const record_kind& kind, std::int32_t ordinal,
                                       std::int32_t& size) {
  text_window& w = r.in.w;
  to_window(r.in);
  bool overflow = false;
  const number_state state = read_int_word(w, size, overflow);
  if (state == number_state::read && !overflow && size >= 1) {
    to_stream(r.in);
    return true;
  }
  if (counts_refused(r)) return false;
  const std::string which = ordinal_of(ordinal + 1, kind.count);
  const std::string noun = std::string(kind.index_noun) + " count";
  if (state == number_state::too_long) return refuse_long_number(w, r.error);
  if (state == number_state::missing)
    return refuse_at(w, w.p, {"expected the ", noun, " of ", kind.noun, " ", which}, r.error);
  if (overflow)
    return refuse_at(w, w.p, {"the ", noun, " of ", kind.noun, " ", which, " does not fit 32 bits"},
                     r.error);
  if (size == 0)
    return refuse_at(w, w.p, {kind.noun, " ", which, " has no ", kind.index_plural}, r.error);
  return refuse_at(
      w, w.p, {noun, " ", std::to_string(size), " of ", kind.noun, " ", which, " is less than 1"},
      r.error);
}

[[gnu::always_inline]] inline bool read_size(off_reader& r, const record_kind& kind,
                                             std::int32_t ordinal, std::int32_t& size) {
  keep_reading(r.in);
  number_stream next = r.in.s;
  if (next_short_int(next, size) && size >= 1) {
    r.in.s = next;
    return true;
  }
  return read_size_alone(r, kind, ordinal, size);
}

// An index of record ordinal that the stream could not read, or that names nothing.
[[gnu::noinline]] bool read_index_alone(off_reader& r, const record_kind& kind,
                                        std::int32_t ordinal, std::int32_t size,
                                        std::int32_t& index) {
  text_window& w = r.in.w;
  to_window(r.in);
  bool overflow = false;
  const number_state state = read_int_word(w, index, overflow);
  if (state == number_state::read && !overflow && index >= 0 && index < kind.limit) {
    to_stream(r.in);
    return true;
  }
  if (counts_refused(r)) return false;
  const std::string which = ordinal_of(ordinal + 1, kind.count);
  if (state == number_state::too_long) return refuse_long_number(w, r.error);
  if (state == number_state::missing)
    return refuse_at(w, w.p,
                     {"expected ", std::to_string(size), " ", kind.index_noun, " indices of ",
                      kind.noun, " ", which},
                     r.error);
  if (overflow)
    return refuse_at(
        w, w.p, {kind.index_noun, " index of ", kind.noun, " ", which, " does not fit 32 bits"},
        r.error);
  return refuse_at(w, w.p,
                   {kind.index_noun, " index ", std::to_string(index), " of ", kind.noun, " ",
                    which, " is out of range for ", std::to_string(kind.limit), " ",
                    kind.index_plural},
                   r.error);
}

[[gnu::always_inline]] inline bool read_index(off_reader& r, const record_kind& kind,
                                              std::int32_t ordinal, std::int32_t size,
                                              std::int32_t& index) {
  keep_reading(r.in);
  number_stream next = r.in.s;
  if (next_short_int(next, index) &&
      static_cast<std::uint32_t>(index) < static_cast<std::uint32_t>(kind.limit)) {
    r.in.s = next;
    return true;
  }
  return read_index_alone(r, kind, ordinal, size, index);
}

// Past the rest of the record's line (a colour, a comment) and its line feed.
[[gnu::noinline]] void end_record_alone(off_reader& r) {
  text_window& w = r.in.w;
  to_window(r.in);
  skip_to_line_end(w);
  if (w.p != w.end) ++w.p;
  to_stream(r.in);
}

[[gnu::always_inline]] inline void end_record(off_reader& r) {
  number_stream& s = r.in.s;
  if (s.p != s.end && *s.p == '\n') return skip_to(s, s.p + 1);
  const void* line_feed = std::memchr(s.p, '\n', static_cast<std::size_t>(s.end - s.p));
  if (line_feed == nullptr) return end_record_alone(r);
  skip_to(s, static_cast<const char*>(line_feed) + 1);
}

// The same, reading the colour on the rest of the line from at most most_colour_text of it.
[[gnu::noinline]] std::optional<rgb_colour> end_coloured_record_alone(off_reader& r) {
  text_window& w = r.in.w;
  to_window(r.in);
  while ((w.p != w.end || fill(w, 1)) && *w.p != '\n' && is_white_space(*w.p)) ++w.p;
  hold(w, most_colour_text);
  const char* const end = w.p + std::min(most_colour_text, static_cast<std::size_t>(w.end - w.p));
  const void* line_feed = std::memchr(w.p, '\n', static_cast<std::size_t>(end - w.p));
  const std::optional<rgb_colour> colour =
      parse_colour(w.p, line_feed != nullptr ? static_cast<const char*>(line_feed) : end);
  skip_to_line_end(w);
  if (w.p != w.end) ++w.p;
  to_stream(r.in);
  return colour;
}

// Past the rest of a face's or polyline's line, returning the colour written there, if any.
[[gnu::always_inline]] inline std::optional<rgb_colour> end_coloured_record(off_reader& r) {
  number_stream& s = r.in.s;
  if (s.p != s.end && *s.p == '\n') {
    skip_to(s, s.p + 1);
    return std::nullopt;
  }
  const void* line_feed = std::memchr(s.p, '\n', static_cast<std::size_t>(s.end - s.p));
  if (line_feed == nullptr) return end_coloured_record_alone(r);
  const char* const line_end = static_cast<const char*>(line_feed);
  const char* start = s.p;
  while (start != line_end && is_white_space(*start)) ++start;
  const std::optional<rgb_colour> colour = parse_colour(start, line_end);
  skip_to(s, line_end + 1);
  return colour;
}

// True if text other than white space and comments follows p within most_preamble_bytes: then p
// is moved to it. The look is bounded, so that a stream of endless blank lines after the last
// record still loads.
bool text_follows(text_window& w) {
  const std::uint64_t start = offset_of(w, w.p);
  bool comment = false;
  while (offset_of(w, w.p) - start < most_preamble_bytes && fill(w, 1)) {
    const char c = *w.p;
    if (c == '\n') {
      comment = false;
    } else if (c == comment_mark) {
      comment = true;
    } else if (!comment && !is_white_space(c)) {
      return true;
    }
    ++w.p;
  }
  return false;
}

// ---- The lines: each edge once, in the order first met ----

// A point keeps the lines that it starts (as their smaller index) in a chain through the lines,
// which each edge that it starts walks: nearly every repeat of nearly every file is found where it
// is met. A point that starts more than most_chained lines (the centre of a fan) drops its chain:
// its edges are all kept as met, and their repeats found once every edge is read, so that no file
// makes the walks grow with the square of its size.
constexpr std::int32_t most_chained = 32;
constexpr std::int32_t chain_end = -1;
constexpr std::int32_t unchained = -2;
constexpr std::int32_t repeated = -1; // a line's first index, once it is found a repeat

struct line_set {
  std::vector<line>& lines;               // the object's
  big_vector<std::int32_t> chain_start;   // by point: its last line, chain_end or unchained
  big_vector<std::int32_t> next_in_chain; // by line: the line before it in its point's chain
  bool any_unchained;
};

// More room for lines once the array is full: at least twice the room there is. Where the text's
// size is known, the faces read so far tell how many lines all of them make: room for those and a
// sixteenth more, so that most files need one step. Never more than the text could make; refused
// beyond what 32 bits count.
[[gnu::noinline]] bool more_line_room(off_reader& r, line_set& set, std::int32_t records_read,
                                      std::int32_t records) {
  std::vector<line>& lines = set.lines;
  if (lines.size() == most_lines) {
    to_window(r.in);
    return refuse_at(r.in.w, r.in.w.p, {"more than ", std::to_string(most_lines), " lines"},
                     r.error);
  }
  std::uint64_t room = std::max<std::uint64_t>(2 * lines.capacity(), first_line_room);
  if (r.header.counts.checked && records_read > 0) {
    const std::uint64_t all = lines.size() * static_cast<std::uint64_t>(records) /
                              static_cast<std::uint64_t>(records_read);
    room = std::max(room, all + all / 16);
  }
  room = std::max<std::uint64_t>(std::min({room, r.most_line_room, std::uint64_t{most_lines}}),
                                 lines.size() + 1);
  make_room(lines, room);
  set.next_in_chain.reserve(room);
  return true;
}

// An edge, met: a line, the smaller index first, unless its point's chain holds it already; a
// pair of equal indices is none. met is the line's index, or -1 for none.
[[gnu::always_inline]] inline bool meet(off_reader& r, line_set& set, std::int32_t a,
                                        std::int32_t b, std::int32_t records_read,
                                        std::int32_t records, std::int32_t& met) {
  met = -1;
  if (a == b) return true;
  if (a > b) std::swap(a, b);
  std::int32_t& start = set.chain_start[static_cast<std::size_t>(a)];
  if (start != unchained) {
    std::int32_t length = 0;
    for (std::int32_t i = start; i != chain_end;
         i = set.next_in_chain[static_cast<std::size_t>(i)], ++length)
      if (set.lines[static_cast<std::size_t>(i)].second == b) {
        met = i;
        return true;
      }
    if (length == most_chained) {
      start = unchained;
      set.any_unchained = true;
    }
  }
  if (set.lines.size() == set.lines.capacity()) [[unlikely]]
    if (!more_line_room(r, set, records_read, records)) return false;
  const auto added = static_cast<std::int32_t>(set.lines.size());
  met = added;
  set.lines.push_back({a, b});
  set.next_in_chain.push_back(start);
  if (start != unchained) start = added;
  return true;
}

// What a record's consecutive indices make: a face's edges close the polygon, a polyline's do
// not, a cell's indices name faces and make no edges.
enum class record_edges { closed, open, none };

// Most records are small, their indices short: such a record is read whole from the stream.
constexpr std::int32_t most_quick_indices = 8;

struct quick_record {
  std::int32_t size;
  std::array<std::int32_t, most_quick_indices> indices;
};

// A record of at most most_quick_indices short indices that each name one of limit things; on
// false the stream has moved on and the caller reads the record again from a copy of the stream.
[[gnu::always_inline]] inline bool read_quick_record(number_stream& s, std::uint32_t limit,
                                                     quick_record& q) {
  if (!next_short_int(s, q.size) ||
      static_cast<std::uint32_t>(q.size - 1) >= static_cast<std::uint32_t>(most_quick_indices))
    return false;
  std::int32_t k = 0;
  for (; k + 2 <= q.size; k += 2) {
    int_pair pair;
    if (!next_short_pair(s, pair) || static_cast<std::uint32_t>(pair.first) >= limit ||
        static_cast<std::uint32_t>(pair.second) >= limit)
      return false;
    q.indices[static_cast<std::size_t>(k)] = pair.first;
    q.indices[static_cast<std::size_t>(k) + 1] = pair.second;
  }
  return k == q.size ||
         (next_short_int(s, q.indices[static_cast<std::size_t>(k)]) &&
          static_cast<std::uint32_t>(q.indices[static_cast<std::size_t>(k)]) < limit);
}

// A record's colour, if it has one, for the lines it met.
[[gnu::always_inline]] inline void end_record_of_lines(off_reader& r, record_edges made,
                                                       const line_set& set,
                                                       std::span<const std::int32_t> met) {
  if (made == record_edges::none) return end_record(r);
  const std::optional<rgb_colour> colour = end_coloured_record(r);
  if (colour) [[unlikely]]
    colour_lines(r.colour, set.lines.size(), *colour, met);
}

// The lines that a long record met, each once where it meets some many times: its list then stays
// within twice the lines there are, whatever the record's size.
void keep_met_lines_bounded(std::vector<std::int32_t>& met, std::size_t line_count) {
  if (met.size() < 2 * (line_count + most_quick_indices)) return;
  std::sort(met.begin(), met.end());
  met.erase(std::unique(met.begin(), met.end()), met.end());
}

bool read_records(off_reader& r, const record_kind& kind, record_edges made, line_set& set) {
  const auto limit = static_cast<std::uint32_t>(kind.limit);
  std::vector<std::int32_t>& long_met = r.colour.record_lines;
  for (std::int32_t i = 0; i < kind.count; ++i) {
    keep_reading(r.in);
    quick_record q;
    number_stream quick = r.in.s;
    std::array<std::int32_t, most_quick_indices> met{};
    if (read_quick_record(quick, limit, q)) {
      r.in.s = quick;
      std::size_t edges = 0;
      if (made != record_edges::none) {
        for (std::int32_t k = 1; k < q.size; ++k)
          if (!meet(r, set, q.indices[static_cast<std::size_t>(k) - 1],
                    q.indices[static_cast<std::size_t>(k)], i, kind.count, met[edges++]))
            return false;
        if (made == record_edges::closed &&
            !meet(r, set, q.indices[static_cast<std::size_t>(q.size) - 1], q.indices[0], i,
                  kind.count, met[edges++]))
          return false;
      }
      end_record_of_lines(r, made, set, std::span<const std::int32_t>(met.data(), edges));
      continue;
    }
    std::int32_t size = 0;
    if (!read_size(r, kind, i, size)) return false;
    std::int32_t first = 0;
    std::int32_t previous = 0;
    long_met.clear();
    for (std::int32_t k = 0; k < size; ++k) {
      std::int32_t index = 0;
      if (!read_index(r, kind, i, size, index)) return false;
      if (k == 0) first = index;
      if (k > 0 && made != record_edges::none) {
        if (!meet(r, set, previous, index, i, kind.count, long_met.emplace_back())) return false;
        keep_met_lines_bounded(long_met, set.lines.size());
      }
      previous = index;
    }
    if (made == record_edges::closed &&
        !meet(r, set, previous, first, i, kind.count, long_met.emplace_back()))
      return false;
    end_record_of_lines(r, made, set, long_met);
  }
  return true;
}

// Drops the repeats among the lines of the unchained points: a stable counting sort of their
// positions by their smaller index, then within each group a mark on each larger index.
// A repeat's colour goes to the line kept where that has none: the first coloured record holds it.
void drop_unchained_repeats(line_set& set, std::vector<std::uint32_t>& line_colours) {
  if (!set.any_unchained) return;
  const bool coloured = !line_colours.empty();
  std::vector<line>& lines = set.lines;
  const std::size_t points = set.chain_start.size();
  const auto unchained_line = [&](const line& l) {
    return set.chain_start[static_cast<std::size_t>(l.first)] == unchained;
  };
  std::vector<std::uint32_t> group_end(points + 1, 0);
  for (const line& l : lines)
    if (unchained_line(l)) ++group_end[static_cast<std::size_t>(l.first) + 1];
  // Each group end becomes its group's start, and moves on to its end as the group fills.
  std::partial_sum(group_end.begin(), group_end.end(), group_end.begin());
  const auto order = std::make_unique_for_overwrite<std::uint32_t[]>(group_end[points]);
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (unchained_line(lines[i]))
      order[group_end[static_cast<std::size_t>(lines[i].first)]++] = static_cast<std::uint32_t>(i);
  std::vector<std::int32_t> met_with(points, repeated); // the last smaller index met with each
  std::vector<std::uint32_t> kept_at(coloured ? points : 0); // where that line is kept
  std::size_t j = 0;
  for (std::size_t a = 0; a < points; ++a) {
    for (; j < group_end[a]; ++j) {
      line& l = lines[order[j]];
      const auto b = static_cast<std::size_t>(l.second);
      std::int32_t& mark = met_with[b];
      if (mark != l.first) {
        mark = l.first;
        if (coloured) kept_at[b] = order[j];
        continue;
      }
      l.first = repeated;
      if (coloured && line_colours[kept_at[b]] == no_colour)
        line_colours[kept_at[b]] = line_colours[order[j]];
    }
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].first == repeated) continue;
    lines[kept] = lines[i];
    if (coloured) line_colours[kept] = line_colours[i];
    ++kept;
  }
  lines.resize(kept);
  if (coloured) line_colours.resize(kept);
}

// ---- Files that look like OFF but are not read ----

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
constexpr std::size_t longest_lookalike = 32; // of a word looked over for what it is

// A UTF-8 byte-order mark, which some editors write before the keyword, is passed over.
std::size_t past_byte_order_mark(text_window& w) {
  char c = 0;
  for (std::size_t at = 0; at < byte_order_mark.size(); ++at)
    if (!peek(w, at, c) || c != byte_order_mark[at]) return 0;
  return byte_order_mark.size();
}

// The magic numbers with which compressed files start: gzip, bzip2, xz and zstd.
bool starts_compressed(text_window& w) {
  constexpr std::string_view magics[] = {
      "\x1F\x8B", "BZh", std::string_view("\xFD\x37\x7A\x58\x5A\x00", 6), "\x28\xB5\x2F\xFD"};
  char c = 0;
  for (const std::string_view magic : magics) {
    std::size_t at = 0;
    while (at < magic.size() && peek(w, at, c) && c == magic[at]) ++at;
    if (at == magic.size()) return true;
  }
  return false;
}

// The first word, of at most longest_lookalike characters, up to white space or a comment.
std::string peek_lookalike(text_window& w, std::size_t& at) {
  std::string word;
  char c = 0;
  while (word.size() < longest_lookalike && peek(w, at, c) && !ends_word(c)) {
    word += c;
    ++at;
  }
  return word;
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

std::string upper_case(std::string_view word) {
  std::string upper(word);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

// Why a word that is not a keyword is one of the family written wrong, or empty if it is not:
// a dimension other than 4 before OFF or SKEL, counts glued to the keyword, a keyword in lower
// case.
std::string lookalike_fault(std::string_view word) {
  std::string_view rest = word;
  take(rest, "ST");
  take(rest, "C");
  take(rest, "N");
  const std::size_t digits =
      static_cast<std::size_t>(std::find_if_not(rest.begin(), rest.end(), is_digit) - rest.begin());
  const std::string_view dimension = rest.substr(0, digits);
  rest.remove_prefix(digits);
  take(rest, "n");
  const bool skeleton = rest.starts_with("SKEL");
  if (!take(rest, "OFF") && !take(rest, "SKEL")) {
    off_keyword k;
    const std::string upper = upper_case(word);
    if (upper != word && parse_keyword(upper, k))
      return "the keyword " + upper + " is written in upper case, not as " + std::string(word);
    return {};
  }
  const std::string_view kind = skeleton ? "SKEL" : "OFF";
  if (!dimension.empty() && dimension != "4") {
    if (dimension.size() == 1 && dimension[0] < '4')
      return std::string(word.substr(0, word.size() - rest.size())) +
             " is not a keyword: 4 is the only dimension written before " + std::string(kind);
    return std::string(dimension) + "-dimensional " + std::string(kind) +
           " files are not read (zorv shows 4 dimensions)";
  }
  if (rest.empty() || !(is_digit(rest[0]) || rest[0] == '-' || rest[0] == '+')) return {};
  const std::string keyword(word.substr(0, word.size() - rest.size()));
  return "the counts must be parted from the keyword " + keyword + " by white space, as in " +
         keyword + " " + std::string(rest);
}

} // namespace

bool find_off_keyword(text_window& w) {
  std::size_t at = past_byte_order_mark(w);
  if (!peek_past_space(w, at)) return false;
  std::size_t word_start = at;
  std::string word = peek_word(w, at);
  if (word == appearance_word) {
    if (!peek_past_space(w, at) || !peek_past_block(w, at) || !peek_past_space(w, at)) return false;
    word_start = at;
    word = peek_word(w, at);
  }
  char after = 0;
  const bool ended = !hold(w, at + 1);
  if (!ended && (!peek(w, at, after) || !ends_word(after))) return false;
  off_keyword k;
  if (!parse_keyword(word, k)) return false;
  w.p += word_start;
  return true;
}

bool refuse_off_lookalike(text_window& w, std::string& error) {
  if (starts_compressed(w))
    return !refuse_on_line(1, {"a compressed file: decompress it first"}, error);
  std::size_t at = past_byte_order_mark(w);
  if (!peek_past_space(w, at)) return false;
  const std::size_t word_start = at;
  const std::string fault = lookalike_fault(peek_lookalike(w, at));
  return !fault.empty() && !refuse_at(w, w.p + word_start, {fault}, error);
}

bool read_off(text_window& w, object_record& object, std::string& error, std::string& notice) {
  off_header h;
  if (!read_keyword(w, h, error) || !read_counts(w, h, error)) return false;
  colour_state colour{object.colours, object.line_colours, {}, {}, {}};
  object.colours.clear();
  object.line_colours.clear();
  off_reader r{start_numbers(w), h, error, most_lines, colour};
  if (!read_vertices(r, object.points)) return false;
  to_window(r.in);
  if (h.counts.checked)
    r.most_line_room = static_cast<std::uint64_t>(bytes_after(w, w.p)) / least_index_bytes;
  object.lines.clear();
  line_set set{object.lines, big_vector<std::int32_t>(object.points.size(), chain_end), {}, false};
  const record_kind records{record_noun(h), h.records, "vertex", "vertices", h.vertices};
  const record_kind cells{"cell", h.cells, "face", "faces", h.records};
  if (!read_records(r, records, h.skeleton ? record_edges::open : record_edges::closed, set) ||
      !read_records(r, cells, record_edges::none, set))
    return false;
  // Real files carry trailing data: it is passed over, and said once.
  to_window(r.in);
  notice.clear();
  if (text_follows(w)) refuse_at(w, w.p, {"text after the last record is ignored"}, notice);
  if (!object.colours.empty()) object.line_colours.resize(object.lines.size(), no_colour);
  drop_unchained_repeats(set, object.line_colours);
  colour_lines_by_vertices(colour, object.lines);
  object.point_count = h.vertices;
  object.line_count = static_cast<std::int32_t>(object.lines.size());
  make_room(object.projected, object.points.size());
  object.projected.assign(object.points.size(), point{});
  object.name[0] = '\0';
  return true;
}

} // namespace zorv
