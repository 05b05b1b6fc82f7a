// The LZW coder of GIF frames against giflib's decoder: pixel sequences of every length around
// the points where a code grows a bit, where the table fills and starts again, and where the
// last code is written, each put into a GIF and read back whole.
#include "gif_codes.hpp"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace zorv {
namespace {

// The pixels as a GIF frame of one row, or of rows of 1000 past a GIF's widest (its sides are
// 16-bit), read back by giflib; empty if it does not read.
// The GIF file in memory, written and then read.
struct memory_gif {
  std::vector<GifByteType> bytes;
  std::size_t read_at = 0;
};

int write_bytes(GifFileType* gif, const GifByteType* data, int length) {
  auto& file = *static_cast<memory_gif*>(gif->UserData);
  file.bytes.insert(file.bytes.end(), data, data + length);
  return length;
}

int read_bytes(GifFileType* gif, GifByteType* data, int length) {
  auto& file = *static_cast<memory_gif*>(gif->UserData);
  const std::size_t taken =
      std::min(static_cast<std::size_t>(length), file.bytes.size() - file.read_at);
  std::copy_n(file.bytes.begin() + static_cast<std::ptrdiff_t>(file.read_at), taken, data);
  file.read_at += taken;
  return static_cast<int>(taken);
}

std::vector<std::uint8_t> round_trip(const std::vector<std::uint8_t>& pixels) {
  gif_codes codes;
  prepare_gif_codes(codes);
  start_gif_codes(codes);
  // Rows of up to 97 pixels, as a rectangle's rows come.
  for (std::size_t at = 0; at < pixels.size(); at += 97)
    add_gif_pixels(codes, pixels.data() + at, std::min<std::size_t>(97, pixels.size() - at));
  finish_gif_codes(codes);
  int error = 0;
  memory_gif file;
  GifFileType* out = EGifOpen(&file, write_bytes, &error);
  if (out == nullptr) return {};
  std::array<GifColorType, 256> colours{};
  ColorMapObject* map = GifMakeMapObject(256, colours.data());
  const int width = pixels.size() <= 65535 ? static_cast<int>(pixels.size()) : 1000;
  const int height = static_cast<int>(pixels.size()) / width;
  EGifPutScreenDesc(out, width, height, 8, 0, map);
  GifFreeMapObject(map);
  EGifPutImageDesc(out, 0, 0, width, height, false, nullptr);
  const std::vector<std::uint8_t>& blocks = codes.blocks;
  EGifPutCode(out, gif_code_size, blocks.data());
  for (std::size_t at = blocks[0] + 1u; at < blocks.size(); at += blocks[at] + 1u)
    EGifPutCodeNext(out, blocks.data() + at);
  EGifPutCodeNext(out, nullptr);
  EGifCloseFile(out, &error);
  GifFileType* in = DGifOpen(&file, read_bytes, &error);
  if (in == nullptr) return {};
  std::vector<std::uint8_t> read;
  if (DGifSlurp(in) == GIF_OK && in->ImageCount == 1)
    read.assign(in->SavedImages[0].RasterBits,
                in->SavedImages[0].RasterBits +
                    in->SavedImages[0].ImageDesc.Width * in->SavedImages[0].ImageDesc.Height);
  DGifCloseFile(in, &error);
  return read;
}

TEST(GifCodesTest, EverySequenceDecodesToItself) {
  std::mt19937 random(7);
  struct pattern {
    const char* what;
    int colours;      // drawn from 0 to colours - 1 ...
    int zero_percent; // ... after a zero this often
  };
  const pattern patterns[] = {
      {"zeros", 1, 100}, {"noise", 256, 0}, {"few shades", 4, 0}, {"lines on background", 40, 85}};
  for (const pattern& p : patterns) {
    SCOPED_TRACE(p.what);
    // Every length through the widths' steps (codes 511, 1023, 2047) and the first full table
    // of noise, then longer ones through many restarts.
    std::vector<std::size_t> lengths;
    for (std::size_t n = 1; n <= 4100; ++n) lengths.push_back(n);
    for (std::size_t n = 5000; n <= 100000; n = (n * 11 / 10 / 1000 + 1) * 1000)
      lengths.push_back(n); // whole rows of 1000
    for (const std::size_t length : lengths) {
      std::vector<std::uint8_t> pixels(length);
      for (std::uint8_t& pixel : pixels)
        pixel = static_cast<int>(random() % 100) < p.zero_percent
                    ? 0
                    : static_cast<std::uint8_t>(random() % static_cast<unsigned>(p.colours));
      const std::vector<std::uint8_t> read = round_trip(pixels);
      ASSERT_EQ(read, pixels) << "length " << length;
    }
  }
}

} // namespace
} // namespace zorv
