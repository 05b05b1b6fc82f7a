// What the object readers share, zorv's own (zorv_file.hpp) and OFF's (off.hpp): the number
// stream reading ahead through the window, numbers read alone where the stream cannot read them,
// the counts that a file announces held against the text that follows them, and refusals that
// name their line. Each reader keeps only its format: its words, its separators, its items.
#pragma once

#include "number_stream.hpp"
#include "text_window.hpp"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace zorv {

// ---- Refusals ----

// A reader's refusal, for the message "line <n>: <what>": sets error to "line <n>: " and the
// parts, and returns false.
bool refuse_on_line(std::int64_t line, std::initializer_list<std::string_view> parts,
                    std::string& error);

// The same for the line that holds where. A text that ends too soon is blamed on the line where it
// ends, not on the empty one after.
bool refuse_at(const text_window& w, const char* where,
               std::initializer_list<std::string_view> parts, std::string& error);

// A number longer than longest_token is refused rather than held: scanf would read it, but no
// real file has one, and holding it would take memory without bound.
bool refuse_long_number(const text_window& w, std::string& error);

// "2 of 5": an item's position among its kind, counted from 1.
std::string ordinal_of(std::int32_t ordinal, std::int32_t count);

// ---- The number stream, reading ahead ----

// The loops over items read on when fewer bytes than this are left in the window: many items'
// worth, so that the number stream nearly always has a whole 64-byte view to read.
inline constexpr std::ptrdiff_t read_ahead = 1024;

// The window, and the stream that reads its numbers ahead of it. All that takes it here is inline,
// so that a loop that holds it keeps the stream in registers.
struct number_reader {
  text_window& w;
  number_stream s;
  std::ptrdiff_t ahead; // the window reads on when fewer bytes than this are left in the stream
};

// A reader whose stream starts at p, and reads on before the first item that needs it.
inline number_reader start_numbers(text_window& w) {
  return {w, open_numbers(w.begin, w.p, w.end), read_ahead};
}

// Before a number is read alone, the window takes the stream's position; after it, the stream
// the window's.
[[gnu::always_inline]] inline void to_window(number_reader& r) {
  r.w.p = r.s.p;
}
[[gnu::always_inline]] inline void to_stream(number_reader& r) {
  r.s = open_numbers(r.w.begin, r.w.p, r.w.end);
}

// The window reads on from where the stream stands, and the stream starts again there.
inline void read_on(number_reader& r) {
  to_window(r);
  fill(r.w, read_ahead);
  r.ahead = r.w.at_end ? 0 : read_ahead;
  to_stream(r);
}

// Before each item.
[[gnu::always_inline]] inline void keep_reading(number_reader& r) {
  if (r.s.end - r.s.p < r.ahead) [[unlikely]]
    read_on(r);
}

// ---- Numbers read alone ----

enum class number_state { read, missing, too_long };

// A number that the stream could not read, read from p alone: past white space, the window holds
// it whole and a scanner (scan.hpp) reads it as scanf reads it. p moves past it, or stays where
// it should have been; one longer than longest_token is refused (too_long), not read.
number_state read_float_alone(text_window& w, float& value);
number_state read_int_alone(text_window& w, std::int32_t& value, bool& overflow);

// ---- Counts announced against the text that follows ----

// A count that a file announces, and the least text that each of its items takes.
struct count_need {
  std::string_view noun; // "point count"
  std::int32_t value;
  std::uint64_t least_bytes;
};

// Where counts stand in the text, for a check made after the window has moved on.
struct count_place {
  bool checked = false;     // against the bytes after them, which were known there
  std::int64_t line = 0;    // of the counts, for their refusal
  std::uint64_t offset = 0; // just after them
};

// Refuses the first count whose items, with those of the counts before it, need more than bytes
// of text. True if one was refused.
bool refuse_counts(std::int64_t line, std::span<const count_need> counts, std::uint64_t bytes,
                   std::string& error);

// Counts that end at after, on line: where the size of the text after them is known, they are
// checked against it at once, and false means they were refused; otherwise counts_refused checks
// them later.
bool place_counts(const text_window& w, const char* after, std::int64_t line,
                  std::span<const count_need> counts, count_place& place, std::string& error);

// Items ran out or went wrong. Where the size of the text was not known at the counts, they are
// checked once the whole text has been seen, reading on by at most one window for it, and refused
// as they would have been at first; otherwise the refusal is the item's own, as it must be for a
// stream without end. True if a count was refused.
bool counts_refused(text_window& w, const count_place& place, std::span<const count_need> counts,
                    std::string& error);

} // namespace zorv
