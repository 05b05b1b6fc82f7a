// The coder follows the GIF's own rules: codes 256 (clear) and 257 (end) after the pixels'
// 256, new strings from 258; a code is written in as many bits as the decoder, one string
// behind, reads it with: 9 bits at first, one more each time the next code passes the width, 12
// at most. When code 4095 is taken the table starts again after a clear code.
#include "gif_codes.hpp"

#include "fatal.hpp"

#include <algorithm>
#include <new>

namespace zorv {
namespace {

constexpr std::uint32_t clear_code = 256;
constexpr std::uint32_t end_code = 257;
constexpr std::uint32_t first_string = 258;
constexpr std::uint32_t code_limit = 4096; // 12 bits
constexpr int first_width = 9;
constexpr int widest = 12;
constexpr int code_bits = 12;
constexpr std::uint32_t code_mask = (1u << code_bits) - 1;
constexpr std::uint32_t free_slot = ~0u; // no string has it: its code would extend itself
constexpr int slot_bits = 13;
constexpr std::size_t slot_count = std::size_t{1} << slot_bits; // twice the codes, at most
constexpr std::size_t block_limit = 255;

void put_byte(gif_codes& c, std::uint8_t byte) {
  if (c.blocks.size() - c.block_start > block_limit) { // the open block is full
    c.block_start = c.blocks.size();
    c.blocks.push_back(0);
  }
  c.blocks.push_back(byte);
  ++c.blocks[c.block_start];
}

void put_code(gif_codes& c, std::uint32_t code) {
  c.bits |= std::uint64_t{code} << c.bit_count;
  c.bit_count += c.width;
  while (c.bit_count >= 8) {
    put_byte(c, static_cast<std::uint8_t>(c.bits & 0xff));
    c.bits >>= 8;
    c.bit_count -= 8;
  }
}

void clear_table(gif_codes& c) {
  std::fill(c.table.begin(), c.table.end(), free_slot);
  c.next = first_string;
  c.width = first_width;
  c.zero_longest = 1; // the string of one zero is pixel 0's own code
}

// Gives the next code to the string just written and the pixel after it, or starts the table
// again when no code is left. True if the string took a code.
bool take_code(gif_codes& c) {
  if (c.next == code_limit) {
    put_code(c, clear_code);
    clear_table(c);
    return false;
  }
  ++c.next;
  if (c.next > (1u << c.width) && c.width < widest) ++c.width;
  return true;
}

// The string matched so far is zeros, and so is the pixel at `at`: the run is matched in one
// step, up to the longest string of zeros, which is then written and grown by one zero. Returns
// where the pixels not yet matched start.
std::size_t match_zeros(gif_codes& c, const std::uint8_t* pixels, std::size_t at,
                        std::size_t count) {
  const std::size_t room = c.zero_longest - c.zero_length; // zeros the table can add to it
  const std::size_t end = std::min(count, at + room + 1);
  std::size_t after = at;
  while (after < end && pixels[after] == 0) ++after;
  if (after - at <= room) {
    c.zero_length += static_cast<std::uint32_t>(after - at);
    c.prefix = c.zero_codes[c.zero_length];
    return after;
  }
  put_code(c, c.zero_codes[c.zero_longest]);
  const std::uint32_t code = c.next;
  if (take_code(c)) c.zero_codes[++c.zero_longest] = code;
  c.prefix = 0;
  c.zero_length = 1;
  return after; // the zero after the longest string starts the next one
}

std::size_t slot_of(std::uint32_t key) {
  return (key * 2654435761u) >> (32 - slot_bits); // Knuth's multiplicative hash
}

} // namespace

void prepare_gif_codes(gif_codes& codes) {
  try {
    codes.table.assign(slot_count, free_slot);
    codes.zero_codes.assign(code_limit + 1, 0);
  } catch (const std::bad_alloc&) {
    die_of_memory();
  }
}

void start_gif_codes(gif_codes& codes) {
  codes.blocks.clear();
  codes.blocks.push_back(0);
  codes.block_start = 0;
  codes.bits = 0;
  codes.bit_count = 0;
  codes.empty = true;
  codes.width = first_width;
  put_code(codes, clear_code);
  clear_table(codes);
}

void add_gif_pixels(gif_codes& c, const std::uint8_t* pixels, std::size_t count) {
  std::size_t i = 0;
  if (c.empty && count > 0) {
    c.prefix = pixels[i++];
    c.zero_length = c.prefix == 0 ? 1 : 0;
    c.empty = false;
  }
  std::uint32_t* table = c.table.data();
  while (i < count) {
    const std::uint8_t pixel = pixels[i];
    if (pixel == 0 && c.zero_length > 0) {
      i = match_zeros(c, pixels, i, count);
      continue;
    }
    // Here the string grown by the pixel is never all zeros: no such string is in the hash.
    const std::uint32_t key = c.prefix << 8 | pixel;
    std::size_t slot = slot_of(key);
    while (table[slot] != free_slot && table[slot] >> code_bits != key)
      slot = (slot + 1) & (slot_count - 1);
    ++i;
    if (table[slot] != free_slot) {
      c.prefix = table[slot] & code_mask;
      c.zero_length = 0;
      continue;
    }
    put_code(c, c.prefix);
    const std::uint32_t code = c.next;
    if (take_code(c)) table[slot] = key << code_bits | code;
    c.prefix = pixel;
    c.zero_length = pixel == 0 ? 1 : 0;
  }
}

// The decoder counts the last string's code as it counts every other, and may read the end code
// one bit wider.
void finish_gif_codes(gif_codes& c) {
  if (!c.empty) {
    put_code(c, c.prefix);
    if (c.next < code_limit && ++c.next > (1u << c.width) && c.width < widest) ++c.width;
  }
  put_code(c, end_code);
  if (c.bit_count > 0) put_byte(c, static_cast<std::uint8_t>(c.bits & 0xff));
  c.bits = 0;
  c.bit_count = 0;
}

} // namespace zorv
