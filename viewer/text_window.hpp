// A bounded window on a text: the bytes of a file, pipe or terminal read in blocks with read(2)
// into one reused buffer, or a text that lies whole in memory (a window already at the end of
// its input). A reader looks at [p, end) and asks for more with fill; what lies before the read
// position is then discarded, its line feeds counted, so that memory stays the same whatever the
// text's size and every position still has its line number. Nothing is mapped: a file that
// shrinks while it is read only ends sooner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace zorv {

// The buffer's size, read(2) filling what is free of it at a time: a 128 MB file takes 500 reads,
// and the block being read stays in the processor's cache.
inline constexpr std::size_t window_bytes = std::size_t{256} << 10;
// Bytes kept before the read position when the rest is discarded, for a reader that looks back:
// the number stream reads a short number as the 8-byte word that ends where the number ends.
inline constexpr std::size_t window_keep_behind = 8;
// hold_token holds a run of non-white-space characters whole up to this size, growing the buffer
// for it; a number longer than this is refused rather than held. A number of a million digits
// still reads as scanf reads it.
inline constexpr std::size_t longest_token = std::size_t{4} << 20;

struct text_window {
  std::unique_ptr<char[]> buffer; // empty for a text in memory
  std::size_t capacity = 0;       // of buffer
  const char* begin = nullptr;    // the first byte still held
  const char* p = nullptr;        // the read position
  const char* end = nullptr;      // just after the last byte held
  int fd = -1;                    // where more text comes from; -1 for a text in memory
  bool at_end = false;            // nothing follows end
  int read_error = 0;             // errno of a failed read, which also ends the text
  std::int64_t known_size = -1; // of the whole text, where known (a regular file, a text in memory)
  std::uint64_t discarded_bytes = 0;     // before begin
  std::int64_t discarded_lines = 0;      // line feeds before begin
  std::int64_t trailing_blank_lines = 0; // of those, the ones in the white space that ends them
};

// White space as scanf skips it: blank, tab, line feed, vertical tab, form feed, return.
inline bool is_white_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// A window on a text in memory, which must outlive it.
text_window window_on_text(std::string_view text);

// A window on what fd delivers from its current position, in a buffer of capacity bytes;
// known_size is the text's size where known, else -1. Throws std::bad_alloc.
text_window window_on_file(int fd, std::int64_t known_size, std::size_t capacity = window_bytes);

// Discards what lies before p (all but window_keep_behind bytes), moves the rest to the front and
// reads until wanted bytes from p are held, the buffer is full or the text ends. Invalidates
// every pointer into the window but its own. True if wanted bytes are held.
bool refill(text_window& w, std::size_t wanted);

// True if wanted bytes from p are held, reading more first where needed.
inline bool fill(text_window& w, std::size_t wanted) {
  return static_cast<std::size_t>(w.end - w.p) >= wanted || (!w.at_end && refill(w, wanted));
}

// True if wanted bytes from p are held, reading more first and growing the buffer for them where
// it is too small; nothing before p is discarded. For a reader that looks ahead before it moves
// p, and bounds wanted itself.
bool hold(text_window& w, std::size_t wanted);

// Moves p past white space, however long the run.
void skip_blanks(text_window& w);

// Skips white space, then holds the run of other characters from p whole, followed by the white
// space that ends it or by the end of the text; of a run longer than longest_token, holds at
// least longest_token + 1 characters. A scanner reading from p then sees what it would see in
// the whole text.
void hold_token(text_window& w);

// The number of the line that holds where (a position in the window), counted from 1.
std::int64_t line_of(const text_window& w, const char* where);

// The number of the line where the text's last character other than white space stands (1 if
// there is none), for a text that ended too soon: its blame falls there, not on a blank line.
std::int64_t line_of_text_end(const text_window& w);

// How many bytes of the text lie before where.
std::uint64_t offset_of(const text_window& w, const char* where);

// How many bytes of the text follow where, or -1 while that is not known.
std::int64_t bytes_after(const text_window& w, const char* where);

} // namespace zorv
