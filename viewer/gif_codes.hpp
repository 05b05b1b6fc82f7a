// A GIF frame's pixels as the format's variable-length LZW codes, packed into its data
// sub-blocks, for palettes of 256 entries (a minimum code size of 8). The table of strings is a
// hash table small enough to stay in the processor's first cache (8192 slots of 32 bits, each a
// string's code with the code and pixel it extends), looked up inline once a pixel. Runs of
// pixel 0 (the background) skip it: the strings of zeros in the table are those of every length
// up to the longest, each found by its length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zorv {

// The bits of a pixel that the codes start from: a palette of 256 entries.
inline constexpr int gif_code_size = 8;

struct gif_codes {
  std::vector<std::uint32_t> table;      // (code << 8 | pixel) << 12 | the longer code; ~0 if free
  std::vector<std::uint32_t> zero_codes; // [n]: the code of n zeros, for n up to zero_longest
  std::uint32_t zero_longest = 1;        // the longest string of zeros in the table
  std::uint32_t zero_length = 0;         // the length of the string matched, if all zeros
  std::vector<std::uint8_t> blocks;      // the sub-blocks: a length byte, then up to 255 bytes
  // The frame being coded.
  bool empty = true;        // no pixel yet
  std::uint32_t prefix = 0; // the code of the string matched so far
  std::uint32_t next = 0;   // the code the next new string takes
  int width = 0;            // bits a code
  std::uint64_t bits = 0;   // bits not yet in a byte, lowest first
  int bit_count = 0;
  std::size_t block_start = 0; // where the open sub-block's length byte is
};

// Makes the table. Ends the process with the allocation message if it cannot be had.
void prepare_gif_codes(gif_codes& codes);

// Starts a frame: a clear code first.
void start_gif_codes(gif_codes& codes);
void add_gif_pixels(gif_codes& codes, const std::uint8_t* pixels, std::size_t count);
// Ends the frame: the last string, the end code, and the last sub-block closed. The sub-blocks
// are then in blocks, without the terminating empty block.
void finish_gif_codes(gif_codes& codes);

} // namespace zorv
