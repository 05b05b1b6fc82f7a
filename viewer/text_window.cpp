#include "text_window.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zorv {
namespace {

#if defined(__SSE2__)
// -1 in each of the 16 bytes at p that is a line feed, 0 in the others.
__m128i line_feed_marks(const char* p) {
  return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), _mm_set1_epi8('\n'));
}
#endif

// Line feeds are counted in every byte that is discarded, so the count takes 64 bytes a step:
// it costs under 2% of the time that reading the numbers in them takes (load_bench).
std::int64_t count_line_feeds(const char* first, const char* last) {
  std::int64_t count = 0;
#if defined(__SSE2__)
  constexpr std::ptrdiff_t step = 64;
  constexpr std::ptrdiff_t most_steps = 63; // a byte of counts gains up to 4 a step, to 255
  while (last - first >= step) {
    const std::ptrdiff_t steps = std::min((last - first) / step, most_steps);
    __m128i counts = _mm_setzero_si128();
    for (std::ptrdiff_t i = 0; i < steps; ++i, first += step) {
      counts =
          _mm_sub_epi8(counts, _mm_add_epi8(line_feed_marks(first), line_feed_marks(first + 16)));
      counts = _mm_sub_epi8(counts,
                            _mm_add_epi8(line_feed_marks(first + 32), line_feed_marks(first + 48)));
    }
    const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128()); // one sum in each half
    count += _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
  }
#endif
  return count + std::count(first, last, '\n');
}

char* buffer_start(text_window& w) {
  return w.buffer.get();
}

// Forgets [w.begin, cut), keeping its line feeds in the counts.
void discard(text_window& w, const char* cut) {
  const std::int64_t line_feeds = count_line_feeds(w.begin, cut);
  const char* text_end = cut; // after the last character of the part that is not white space
  while (text_end != w.begin && is_white_space(text_end[-1])) --text_end;
  const std::int64_t blank_lines = count_line_feeds(text_end, cut);
  w.trailing_blank_lines = text_end == w.begin ? w.trailing_blank_lines + line_feeds : blank_lines;
  w.discarded_lines += line_feeds;
  w.discarded_bytes += static_cast<std::uint64_t>(cut - w.begin);
  w.begin = cut;
}

// Moves what is held from window_keep_behind bytes before p to the front of the buffer.
void move_to_front(text_window& w) {
  const std::size_t behind = std::min(window_keep_behind, static_cast<std::size_t>(w.p - w.begin));
  discard(w, w.p - behind);
  char* const front = buffer_start(w);
  if (w.begin == front) return;
  const std::size_t held = static_cast<std::size_t>(w.end - w.begin);
  const std::size_t ahead = static_cast<std::size_t>(w.p - w.begin);
  std::memmove(front, w.begin, held);
  w.begin = front;
  w.p = front + ahead;
  w.end = front + held;
}

// One read into the free end of the buffer; ends the text at its end or on an error.
void read_once(text_window& w) {
  char* const free = buffer_start(w) + (w.end - w.begin);
  const std::size_t room = w.capacity - static_cast<std::size_t>(w.end - w.begin);
  for (;;) {
    const ssize_t got = ::read(w.fd, free, room);
    if (got > 0) {
      w.end += got;
      return;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) w.read_error = errno;
    w.at_end = true;
    return;
  }
}

// A buffer of the given capacity holding what the window holds.
void grow(text_window& w, std::size_t capacity) {
  auto larger = std::make_unique_for_overwrite<char[]>(capacity);
  const std::size_t held = static_cast<std::size_t>(w.end - w.begin);
  const std::size_t ahead = static_cast<std::size_t>(w.p - w.begin);
  std::memcpy(larger.get(), w.begin, held);
  w.buffer = std::move(larger);
  w.capacity = capacity;
  w.begin = w.buffer.get();
  w.p = w.begin + ahead;
  w.end = w.begin + held;
}

} // namespace

text_window window_on_text(std::string_view text) {
  text_window w;
  w.begin = w.p = text.data();
  w.end = text.data() + text.size();
  w.at_end = true;
  w.known_size = static_cast<std::int64_t>(text.size());
  return w;
}

text_window window_on_file(int fd, std::int64_t known_size, std::size_t capacity) {
  text_window w;
  w.buffer = std::make_unique_for_overwrite<char[]>(capacity);
  w.capacity = capacity;
  w.begin = w.p = w.end = w.buffer.get();
  w.fd = fd;
  w.known_size = known_size;
  return w;
}

bool refill(text_window& w, std::size_t wanted) {
  if (w.fd >= 0 && !w.at_end) {
    move_to_front(w);
    while (static_cast<std::size_t>(w.end - w.p) < wanted && !w.at_end &&
           static_cast<std::size_t>(w.end - w.begin) < w.capacity)
      read_once(w);
  }
  return static_cast<std::size_t>(w.end - w.p) >= wanted;
}

bool hold(text_window& w, std::size_t wanted) {
  if (fill(w, wanted)) return true;
  const std::size_t needed = window_keep_behind + wanted;
  if (w.fd < 0 || w.at_end || needed <= w.capacity) return false;
  grow(w, std::max(needed, 2 * w.capacity));
  return refill(w, wanted);
}

void skip_blanks(text_window& w) {
  for (;;) {
    while (w.p != w.end && is_white_space(*w.p)) ++w.p;
    if (w.p != w.end || !fill(w, 1)) return;
  }
}

void hold_token(text_window& w) {
  skip_blanks(w);
  constexpr std::size_t most_held = longest_token + 1;
  std::size_t run = 0; // characters from p known to be other than white space
  for (;;) {
    const char* q = w.p + run;
    while (q != w.end && !is_white_space(*q)) ++q;
    run = static_cast<std::size_t>(q - w.p);
    if (q != w.end || w.at_end || run >= most_held) return;
    // The run goes on past what is held: read on, into a larger buffer once this one is full.
    const std::size_t needed = window_keep_behind + run + 1;
    if (needed > w.capacity)
      grow(w, std::max(needed, std::min(2 * w.capacity, most_held + window_keep_behind)));
    refill(w, run + 1);
  }
}

std::int64_t line_of(const text_window& w, const char* where) {
  return w.discarded_lines + count_line_feeds(w.begin, where) + 1;
}

std::int64_t line_of_text_end(const text_window& w) {
  const char* text_end = w.end;
  while (text_end != w.begin && is_white_space(text_end[-1])) --text_end;
  if (text_end == w.begin) return w.discarded_lines - w.trailing_blank_lines + 1;
  return line_of(w, text_end);
}

std::uint64_t offset_of(const text_window& w, const char* where) {
  return w.discarded_bytes + static_cast<std::uint64_t>(where - w.begin);
}

std::int64_t bytes_after(const text_window& w, const char* where) {
  const auto offset = static_cast<std::int64_t>(offset_of(w, where));
  if (w.known_size >= 0) {
    // A file that grew since its size was taken holds at least what has been read of it.
    const auto read = static_cast<std::int64_t>(offset_of(w, w.end));
    return std::max(w.known_size, read) - offset;
  }
  return w.at_end ? w.end - where : -1;
}

} // namespace zorv
