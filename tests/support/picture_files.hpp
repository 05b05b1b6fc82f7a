// The PNG and GIF files that zorv -o writes, decoded with the libraries that write them (libpng,
// through cairo's reader, and giflib), for the tests to check.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zorv::picturetest {

// Pixels 0xRRGGBB, row by row.
struct image {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
};

// Width 0 if the file is not a PNG that cairo reads.
image read_png(const std::string& path);

// A PNG's background hint (its bKGD chunk), as a viewer of the file finds it.
struct background_hint {
  bool read = false;    // the file is a PNG that libpng reads
  bool present = false; // it carries the hint
  std::uint32_t colour = 0;
};

background_hint read_png_background(const std::string& path);

struct animation {
  bool read = false;  // the file is a GIF that giflib reads
  bool loops = false; // it carries the NETSCAPE2.0 extension with a loop count of 0 (forever)
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> palette; // the global colour map
  std::vector<int> delays;            // each frame's, in hundredths of a second
  std::vector<image> frames;          // each frame as shown: drawn over the frames before it
};

animation read_gif(const std::string& path);

// The number of pixels in which two images of one size differ by more than the tolerance in a
// channel.
long differing_pixels(const image& a, const image& b, int tolerance = 0);

// The largest difference of one channel of one pixel between two images of one size.
int largest_channel_difference(const image& a, const image& b);

} // namespace zorv::picturetest
