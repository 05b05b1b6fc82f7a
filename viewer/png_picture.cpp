// The PNG is written as its format lays it out: the signature, then the IHDR, bKGD, IDAT and
// IEND chunks, each its length, its type, its data and the CRC-32 of type and data. The IDAT
// data is one zlib stream of the rows, each a filter byte 0 (none) and the row's red, green and
// blue bytes; it is split over IDAT chunks of at most idat_size bytes.
#include "png_picture.hpp"

#include "fatal.hpp"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <unistd.h>
#include <vector>

namespace zorv {
namespace {

constexpr std::array<unsigned char, 8> png_signature = {0x89, 'P',  'N',  'G',
                                                        '\r', '\n', 0x1a, '\n'};
constexpr std::size_t png_channels = 3; // red, green, blue
constexpr unsigned char bit_depth = 8;
constexpr unsigned char colour_type_rgb = 2;
constexpr unsigned char no_filter = 0;
constexpr std::size_t idat_size = std::size_t{1} << 16;

// Writes everything, or notes the errno of the write that failed.
bool write_all(int descriptor, const unsigned char* data, std::size_t length, int& error) {
  while (length > 0) {
    const ssize_t written = write(descriptor, data, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error = written < 0 ? errno : EIO;
      return false;
    }
    data += written;
    length -= static_cast<std::size_t>(written);
  }
  return true;
}

void put_big_endian(unsigned char* at, std::uint32_t value) {
  at[0] = static_cast<unsigned char>(value >> 24);
  at[1] = static_cast<unsigned char>(value >> 16);
  at[2] = static_cast<unsigned char>(value >> 8);
  at[3] = static_cast<unsigned char>(value);
}

bool write_chunk(int descriptor, const char (&type)[5], const unsigned char* data,
                 std::size_t length, int& error) {
  std::array<unsigned char, 8> head{};
  put_big_endian(head.data(), static_cast<std::uint32_t>(length));
  std::memcpy(head.data() + 4, type, 4);
  std::array<unsigned char, 4> crc{};
  std::uint32_t sum = libdeflate_crc32(0, head.data() + 4, 4);
  if (length > 0) sum = libdeflate_crc32(sum, data, length); // a null buffer restarts the sum
  put_big_endian(crc.data(), sum);
  return write_all(descriptor, head.data(), head.size(), error) &&
         write_all(descriptor, data, length, error) &&
         write_all(descriptor, crc.data(), crc.size(), error);
}

// The rows as the IDAT's stream takes them: a filter byte, then red, green and blue a pixel
// (cairo's RGB24 pixels are 0x00RRGGBB in native byte order).
void lay_out_rows(const picture_state& picture, std::vector<unsigned char>& rows) {
  const unsigned char* data = cairo_image_surface_get_data(picture.surface);
  const int stride = cairo_image_surface_get_stride(picture.surface);
  unsigned char* out = rows.data();
  for (int y = 0; y < picture.height; ++y) {
    const unsigned char* pixels = data + static_cast<std::ptrdiff_t>(y) * stride;
    *out++ = no_filter;
    for (int x = 0; x < picture.width; ++x) {
      std::uint32_t pixel = 0;
      std::memcpy(&pixel, pixels + static_cast<std::ptrdiff_t>(x) * sizeof pixel, sizeof pixel);
      *out++ = static_cast<unsigned char>(pixel >> 16 & 0xff);
      *out++ = static_cast<unsigned char>(pixel >> 8 & 0xff);
      *out++ = static_cast<unsigned char>(pixel & 0xff);
    }
  }
}

struct compressor_deleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

} // namespace

png_outcome write_png_picture(int descriptor, const picture_state& picture, int deflate_level) {
  png_outcome outcome;
  const std::unique_ptr<libdeflate_compressor, compressor_deleter> compressor(
      libdeflate_alloc_compressor(deflate_level));
  if (compressor == nullptr) die_of_memory();
  const std::size_t row_size = 1 + static_cast<std::size_t>(picture.width) * png_channels;
  std::vector<unsigned char> rows;
  std::vector<unsigned char> stream;
  try {
    rows.resize(row_size * static_cast<std::size_t>(picture.height));
    stream.resize(libdeflate_zlib_compress_bound(compressor.get(), rows.size()));
  } catch (const std::bad_alloc&) {
    die_of_memory();
  }
  cairo_surface_flush(picture.surface);
  lay_out_rows(picture, rows);
  const std::size_t compressed = libdeflate_zlib_compress(
      compressor.get(), rows.data(), rows.size(), stream.data(), stream.size());
  if (compressed == 0) {
    outcome.message = "the pixels could not be compressed";
    return outcome;
  }
  std::array<unsigned char, 13> header{};
  put_big_endian(header.data(), static_cast<std::uint32_t>(picture.width));
  put_big_endian(header.data() + 4, static_cast<std::uint32_t>(picture.height));
  header[8] = bit_depth;
  header[9] = colour_type_rgb; // compression, filter method and interlace stay 0
  const rgb_colour& b = picture.colours.background;
  const std::array<unsigned char, 6> hint = {0, b.red, 0, b.green, 0, b.blue}; // 16 bits each
  int& error = outcome.write_error;
  bool written = write_all(descriptor, png_signature.data(), png_signature.size(), error) &&
                 write_chunk(descriptor, "IHDR", header.data(), header.size(), error) &&
                 write_chunk(descriptor, "bKGD", hint.data(), hint.size(), error);
  for (std::size_t at = 0; written && at < compressed; at += idat_size)
    written = write_chunk(descriptor, "IDAT", stream.data() + at,
                          std::min(idat_size, compressed - at), error);
  outcome.written = written && write_chunk(descriptor, "IEND", nullptr, 0, error);
  return outcome;
}

} // namespace zorv
