// The loaders' number stream: millions of short numbers read in a row, several at a time, with
// exactly the results of the scalar scanners in scan.hpp. Only the object readers (zorv_file.cpp,
// off.cpp, and what they share in reading.hpp) include it, and the scanners' differential tests,
// which hold it to sscanf.
#pragma once

#include "scan.hpp"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zorv {

// Numbers read one after another, as consecutive "%f" or "%d" conversions read them. The loader
// reads millions in a row, nearly all short: "-0.70711", "1999". A stream finds the white space
// of 64 bytes at once; a short number among them (at most eight characters after the sign,
// followed by white space, which scanf reads as exactly that text) is then read from where it
// starts to where its white space begins, without waiting for the number before it to be
// measured. Anything else is read by scan_float or scan_int from where it stands. The loader
// reads a point's four coordinates (next_short_floats) and a line's two indices
// (next_short_pair) together where they are all short, and otherwise reads the same numbers
// again one at a time. All of it is inline, so that the loops keep the stream in registers.
inline constexpr int stream_window = 64;    // bytes whose white space is found at once
inline constexpr int short_number_size = 8; // characters after the sign, read as one 64-bit word
// Windows are looked at only where a word ending at any of its characters lies inside the text.
inline constexpr std::ptrdiff_t stream_margin = stream_window + short_number_size;

struct number_stream {
  const char* begin; // of the whole text: words are read only from here on
  const char* p;     // just after the last number read
  const char* end;
  const char* window;   // the bytes whose white space is known
  std::uint64_t spaces; // bit i: window[i] is white space
  std::uint64_t starts; // bit i: a number not yet read starts at window[i] and ends in the window
};

// Two numbers read together (see next_short_pair).
struct int_pair {
  std::int32_t first, second;
};

// A stream over [begin, end) that starts reading at p.
inline number_stream open_numbers(const char* begin, const char* p, const char* end) {
  return {begin, p, end, p, 0, 0};
}

namespace stream_detail {

using swar::high_bits;
using swar::ones;

// The white space among the 16 bytes at p, one bit for each, in any C++: eight bytes at a time.
[[gnu::always_inline]] inline std::uint64_t portable_space_bits(const char* p) {
  std::uint64_t bits = 0;
  for (int half = 0; half < 2; ++half) {
    std::uint64_t u = 0; // byte k is p[8 * half + k], whatever the machine's byte order
    for (int k = 0; k < 8; ++k)
      u |= std::uint64_t{static_cast<unsigned char>(p[8 * half + k])} << (8 * k);
    // Per byte, below 0x80 only, so that adding never carries into the next byte.
    const std::uint64_t low = u & ~high_bits;
    const std::uint64_t blank = ~(((low ^ (' ' * ones)) + ~high_bits) | u) & high_bits;
    const std::uint64_t from_tab = (low + (0x80 - '\t') * ones) & high_bits;
    const std::uint64_t past_return = (low + (0x80 - '\r' - 1) * ones) & high_bits;
    const std::uint64_t space = (blank | (from_tab & ~past_return)) & ~u;
    // The high bit of byte k to bit k of the top byte; no two products meet.
    bits |= ((space >> 7) * 0x0102040810204080 >> 56) << (8 * half);
  }
  return bits;
}

// The same with SSE2 where the machine has it (every x86-64 does).
[[gnu::always_inline]] inline std::uint64_t space_bits(const char* p) {
#if defined(__SSE2__)
  const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  // Tab to return (9 to 13) moved to -128 to -124, below everything else.
  const __m128i control = _mm_cmplt_epi8(_mm_add_epi8(text, _mm_set1_epi8(0x80 - '\t')),
                                         _mm_set1_epi8(-128 + ('\r' - '\t' + 1)));
  const __m128i blank = _mm_cmpeq_epi8(text, _mm_set1_epi8(' '));
  return static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_or_si128(control, blank)));
#else
  return portable_space_bits(p);
#endif
}

// Looks at the window starting at s.p. Leaves starts empty near either end of the text or when
// no number ends in the window.
[[gnu::always_inline]] inline void find_numbers(number_stream& s) {
  s.window = s.p;
  s.starts = 0;
  if (s.end - s.p < stream_margin || s.p - s.begin < short_number_size) return;
  constexpr int chunk = 16;
  std::uint64_t spaces = 0;
  for (int i = 0; i < stream_window; i += chunk) spaces |= space_bits(s.p + i) << i;
  // A number starts at a character that is not white space after one that is (or at the window's
  // start); those that white space ends before the window does are complete.
  const std::uint64_t last_space = spaces ? std::uint64_t{1} << (63 - std::countl_zero(spaces)) : 0;
  s.spaces = spaces;
  s.starts = ~spaces & ((spaces << 1) | 1) & (last_space - 1);
}

// The last count characters before end (1 to 8 of them) as one digit word (scan.hpp), the last
// character the top byte, the bytes before them cleared.
[[gnu::always_inline]] inline std::uint64_t read_word(const char* end, std::uint64_t count) {
  return swar::digit_word(end - short_number_size) & (~std::uint64_t{0} << (64 - 8 * count));
}

// '+' and '-' are two apart: one comparison finds either, and the sign costs no branch.
[[gnu::always_inline]] inline std::uint64_t sign_size(unsigned char c) {
  return ((c - unsigned{'+'}) & ~2u) == 0;
}

// By sign, then by the byte of the word that holds the point (the last character is byte 7, so
// a point in byte 4 leaves three fraction digits); byte 8 stands for no point. The sign goes with
// the division, which negates the quotient exactly: "-0" and "-0.000" read as -0.
constexpr float signed_divisors[2][short_number_size + 1] = {
    {1e7f, 1e6f, 1e5f, 1e4f, 1e3f, 1e2f, 1e1f, 1e0f, 1e0f},
    {-1e7f, -1e6f, -1e5f, -1e4f, -1e3f, -1e2f, -1e1f, -1e0f, -1e0f}};
constexpr std::uint32_t exact_float_integer = std::uint32_t{1} << 24;

// Reads the size characters at text (white space follows them) if they are a short decimal:
// optional sign, digits with at most one point among them, at least one digit, at most
// short_number_size characters after the sign, at most 2^24 without the point. That integer and
// the power of ten are exact floats, so one correctly rounded division gives what strtof gives.
[[gnu::always_inline]] inline bool read_float(const char* text, std::uint64_t size, float& value) {
  if constexpr (std::endian::native != std::endian::little) return false;
  const auto first = static_cast<unsigned char>(text[0]);
  const std::uint64_t count = size - sign_size(first);
  if (count - 1 >= short_number_size) return false;
  std::uint64_t digits = read_word(text + size, count);
  // A single '.', with a digit beside it, or none.
  const std::uint64_t point = swar::not_digits(digits);
  std::uint64_t point_byte = short_number_size;
  if (point != 0) {
    if ((point & (point - 1)) != 0 || count == 1) return false;
    const int point_bit = std::countr_zero(point); // the high bit of its byte
    if (((digits >> (point_bit - 7)) & 0xFF) != ('.' ^ '0')) return false;
    // The digits before the point move up into its place.
    const std::uint64_t through_point = (point << 1) - 1;
    digits = (digits & ~through_point) | ((digits << 8) & through_point);
    point_byte = static_cast<unsigned>(point_bit) / 8;
  }
  const std::uint32_t mantissa = swar::digits_value(digits);
  if (mantissa > exact_float_integer) return false;
  value = static_cast<float>(mantissa) / signed_divisors[first == '-'][point_byte];
  return true;
}

// The same for "%d": optional sign, one to eight digits, which always fit 32 bits.
[[gnu::always_inline]] inline bool read_int(const char* text, std::uint64_t size,
                                            std::int32_t& value) {
  if constexpr (std::endian::native != std::endian::little) return false;
  const auto first = static_cast<unsigned char>(text[0]);
  const std::uint64_t count = size - sign_size(first);
  if (count - 1 >= short_number_size) return false;
  const std::uint64_t digits = read_word(text + size, count);
  if (swar::not_digits(digits) != 0) return false;
  const auto magnitude = static_cast<std::int32_t>(swar::digits_value(digits));
  value = first == '-' ? -magnitude : magnitude;
  return true;
}

#if defined(__SSE2__)
// By count: the bytes of a word that its last count characters fill (as read_word keeps them).
constexpr std::array<std::uint64_t, short_number_size + 1> last_bytes_masks() {
  std::array<std::uint64_t, short_number_size + 1> masks{};
  for (int count = 1; count <= short_number_size; ++count)
    masks[count] = ~std::uint64_t{0} << (64 - 8 * count);
  return masks;
}
constexpr auto last_bytes = last_bytes_masks();

// By byte: that byte and the ones below it; none for byte 8, which stands for no point.
constexpr std::array<std::uint64_t, short_number_size + 1> through_byte_masks() {
  std::array<std::uint64_t, short_number_size + 1> masks{};
  for (int byte = 0; byte < short_number_size; ++byte)
    masks[byte] = ~std::uint64_t{0} >> (8 * (short_number_size - 1 - byte));
  return masks;
}
constexpr auto through_byte = through_byte_masks();

// Two 64-bit values side by side in one register, the first in the low half.
[[gnu::always_inline]] inline __m128i load_mask_pair(const std::uint64_t* low,
                                                     const std::uint64_t* high) {
  return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(low)),
                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(high)));
}

// What read_word gives for two numbers, side by side.
[[gnu::always_inline]] inline __m128i read_word_pair(const char* first_end,
                                                     std::uint64_t first_count,
                                                     const char* second_end,
                                                     std::uint64_t second_count) {
  const __m128i text = _mm_unpacklo_epi64(
      _mm_loadl_epi64(reinterpret_cast<const __m128i*>(first_end - short_number_size)),
      _mm_loadl_epi64(reinterpret_cast<const __m128i*>(second_end - short_number_size)));
  return _mm_and_si128(_mm_sub_epi8(text, _mm_set1_epi8('0')),
                       load_mask_pair(&last_bytes[first_count], &last_bytes[second_count]));
}

// One bit for each byte of the pair that is not a digit.
[[gnu::always_inline]] inline unsigned not_digit_bits(__m128i digits) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
      _mm_cmpgt_epi8(digits, _mm_set1_epi8(9)), _mm_cmplt_epi8(digits, _mm_setzero_si128()))));
}

// What digits_value gives, for both words, in the low 32 bits of each half: pairs in 16 bits,
// fours in 32, eights in 64, the first of each group the higher one.
[[gnu::always_inline]] inline __m128i digits_value_pair(__m128i digits) {
  const __m128i pairs = _mm_add_epi16(
      _mm_mullo_epi16(_mm_and_si128(digits, _mm_set1_epi16(0xFF)), _mm_set1_epi16(10)),
      _mm_srli_epi16(digits, 8));
  const __m128i fours = _mm_madd_epi16(pairs, _mm_set_epi16(1, 100, 1, 100, 1, 100, 1, 100));
  return _mm_add_epi64(_mm_mul_epu32(fours, _mm_set_epi32(0, 10000, 0, 10000)),
                       _mm_srli_epi64(fours, 32));
}

// The two values of digits_value_pair as the two low 32-bit lanes.
[[gnu::always_inline]] inline __m128i low_lanes(__m128i values) {
  return _mm_shuffle_epi32(values, _MM_SHUFFLE(3, 1, 2, 0));
}

// Two words of digits only: their values.
[[gnu::always_inline]] inline bool read_digit_pair(const char* first_end, std::uint64_t first_count,
                                                   const char* second_end,
                                                   std::uint64_t second_count, int_pair& pair) {
  const __m128i digits = read_word_pair(first_end, first_count, second_end, second_count);
  if (not_digit_bits(digits) != 0) return false;
  const __m128i both = low_lanes(digits_value_pair(digits));
  pair.first = _mm_cvtsi128_si32(both);
  pair.second = _mm_cvtsi128_si32(_mm_srli_si128(both, 4));
  return true;
}

// Two words of short decimals (read_float's rules but the last, which the caller checks): their
// mantissas in the two low lanes, and the byte of each one's point (8 for none).
[[gnu::always_inline]] inline bool
read_decimal_pair(const char* first_end, std::uint64_t first_count, const char* second_end,
                  std::uint64_t second_count, __m128i& mantissas, std::uint64_t& first_point,
                  std::uint64_t& second_point) {
  __m128i digits = read_word_pair(first_end, first_count, second_end, second_count);
  const unsigned points =
      static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(digits, _mm_set1_epi8('.' - '0'))));
  if (not_digit_bits(digits) != points) return false; // only points besides the digits
  const unsigned first_points = points & 0xFF, second_points = points >> 8;
  if ((first_points & (first_points - 1)) != 0 || (second_points & (second_points - 1)) != 0)
    return false; // at most one in each
  if ((first_count == 1 && first_points != 0) || (second_count == 1 && second_points != 0))
    return false; // and never alone
  constexpr unsigned no_point = 1u << short_number_size;
  first_point = static_cast<unsigned>(std::countr_zero(first_points | no_point));
  second_point = static_cast<unsigned>(std::countr_zero(second_points | no_point));
  // The digits before each point move up into its place.
  const __m128i through_point =
      load_mask_pair(&through_byte[first_point], &through_byte[second_point]);
  digits = _mm_or_si128(_mm_andnot_si128(through_point, digits),
                        _mm_and_si128(through_point, _mm_slli_epi64(digits, 8)));
  mantissas = low_lanes(digits_value_pair(digits));
  return true;
}
#endif

// The next word of the window: where it starts, and its size up to the white space after it.
// Sets s.p after it. False when the window has no complete word left.
[[gnu::always_inline]] inline bool next_word(number_stream& s, const char*& text,
                                             std::uint64_t& size) {
  if (s.starts == 0) find_numbers(s);
  if (s.starts == 0) return false;
  const int at = std::countr_zero(s.starts);
  s.starts &= s.starts - 1;
  text = s.window + at;
  // White space follows within the window; the top bit only tells the compiler so.
  size = static_cast<std::uint64_t>(std::countr_zero((s.spaces >> at) | std::uint64_t{1} << 63));
  s.p = text + size;
  return true;
}

// After a scanner read from word (or failed there): the window holds only if it read the whole
// word.
[[gnu::always_inline]] inline bool after_scan(number_stream& s, const char* word,
                                              const char* next) {
  if (next != s.p) s.starts = 0;
  s.p = next ? next : word;
  return next != nullptr;
}

} // namespace stream_detail

// Two numbers in a row for "%d %d", when both are unsigned and short; on false the stream has
// moved on and the caller reads them again from a copy of the stream with next_int. With SSE2 the
// two are converted together, eight digits of each at once.
[[gnu::always_inline]] inline bool next_short_pair(number_stream& s, int_pair& pair) {
  const char *first = s.p, *second = s.p;
  std::uint64_t first_size = 0, second_size = 0;
  if (!stream_detail::next_word(s, first, first_size) ||
      !stream_detail::next_word(s, second, second_size))
    return false;
#if defined(__SSE2__)
  if (first_size - 1 >= short_number_size || second_size - 1 >= short_number_size) return false;
  return stream_detail::read_digit_pair(first + first_size, first_size, second + second_size,
                                        second_size, pair);
#else
  return stream_detail::read_int(first, first_size, pair.first) && pair.first >= 0 &&
         stream_detail::read_int(second, second_size, pair.second) && pair.second >= 0;
#endif
}

// Four numbers in a row for "%f %f %f %f", when all are short decimals; on false the stream has
// moved on and the caller reads them again from a copy of the stream with next_float. With SSE2
// two at a time are checked and converted together, and the four divisions are one.
[[gnu::always_inline]] inline bool next_short_floats(number_stream& s,
                                                     std::array<float, 4>& values) {
  const char* text[4];
  std::uint64_t size[4];
  for (int k = 0; k < 4; ++k)
    if (!stream_detail::next_word(s, text[k], size[k])) return false;
#if defined(__SSE2__)
  std::uint64_t count[4], negative[4], point[4];
  for (int k = 0; k < 4; ++k) {
    const auto first = static_cast<unsigned char>(text[k][0]);
    count[k] = size[k] - stream_detail::sign_size(first);
    if (count[k] - 1 >= short_number_size) return false;
    negative[k] = first == '-';
  }
  __m128i low = _mm_setzero_si128(), high = _mm_setzero_si128();
  if (!stream_detail::read_decimal_pair(text[0] + size[0], count[0], text[1] + size[1], count[1],
                                        low, point[0], point[1]) ||
      !stream_detail::read_decimal_pair(text[2] + size[2], count[2], text[3] + size[3], count[3],
                                        high, point[2], point[3]))
    return false;
  const __m128i mantissas = _mm_unpacklo_epi64(low, high);
  const __m128i too_big = _mm_cmpgt_epi32(
      mantissas, _mm_set1_epi32(static_cast<int>(stream_detail::exact_float_integer)));
  if (_mm_movemask_epi8(too_big) != 0) return false;
  using stream_detail::signed_divisors;
  const __m128 divisors =
      _mm_setr_ps(signed_divisors[negative[0]][point[0]], signed_divisors[negative[1]][point[1]],
                  signed_divisors[negative[2]][point[2]], signed_divisors[negative[3]][point[3]]);
  _mm_storeu_ps(values.data(), _mm_div_ps(_mm_cvtepi32_ps(mantissas), divisors));
  return true;
#else
  for (int k = 0; k < 4; ++k)
    if (!stream_detail::read_float(text[k], size[k], values[k])) return false;
  return true;
#endif
}

// One number for "%f" when it is a short decimal, and one for "%d" when it has at most eight
// digits; on false the stream has moved on and the caller reads the number again from a copy of
// the stream, alone.
[[gnu::always_inline]] inline bool next_short_float(number_stream& s, float& value) {
  const char* text = s.p;
  std::uint64_t size = 0;
  return stream_detail::next_word(s, text, size) && stream_detail::read_float(text, size, value);
}

[[gnu::always_inline]] inline bool next_short_int(number_stream& s, std::int32_t& value) {
  const char* text = s.p;
  std::uint64_t size = 0;
  return stream_detail::next_word(s, text, size) && stream_detail::read_int(text, size, value);
}

// Moves the stream on to q, which follows a line feed at or after s.p: the words it passed are
// dropped, those of its window after q are kept.
[[gnu::always_inline]] inline void skip_to(number_stream& s, const char* q) {
  const std::ptrdiff_t into_window = q - s.window;
  s.starts = into_window < stream_window ? s.starts & (~std::uint64_t{0} << into_window) : 0;
  s.p = q;
}

// The next number of the stream, for "%f". On failure returns false with s.p where the number
// should have been (possibly before white space) and value unchanged.
[[gnu::always_inline]] inline bool next_float(number_stream& s, float& value) {
  const char* word = s.p;
  std::uint64_t size = 0;
  if (stream_detail::next_word(s, word, size) && stream_detail::read_float(word, size, value))
    return true;
  // The scanner's value lives apart from the caller's, so that that one can stay in a register.
  float scanned = 0;
  const char* next = scan_float(word, s.end, scanned);
  if (next) value = scanned;
  return stream_detail::after_scan(s, word, next);
}

// The next number of the stream, for "%d"; overflow as for scan_int.
[[gnu::always_inline]] inline bool next_int(number_stream& s, std::int32_t& value, bool& overflow) {
  const char* word = s.p;
  std::uint64_t size = 0;
  overflow = false;
  if (stream_detail::next_word(s, word, size) && stream_detail::read_int(word, size, value))
    return true;
  std::int32_t scanned = 0;
  bool wide = false;
  const char* next = scan_int(word, s.end, scanned, wide);
  if (next) value = scanned;
  overflow = wide;
  return stream_detail::after_scan(s, word, next);
}

} // namespace zorv
