// The PNG and GIF files that zorv -o writes, decoded with the libraries that write them (libpng,
// through cairo's reader, and giflib), and its SVG files read as XML (libxml2), for the tests to
// check.
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
  bool read = false;    // the file is a PNG that libpng reads whole, to its last chunk
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

// An SVG picture as cairo writes it: a background rectangle and one path of one line a stroke.
struct svg_stroke {
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  std::uint32_t colour = 0;
  double width = 0;
  std::string cap; // butt, square or round
};

struct svg_picture {
  bool read = false; // the file is XML with an svg element
  std::string width; // the svg element's, with its unit
  std::string height;
  bool has_background = false; // a rectangle over the whole view box, before every stroke
  std::uint32_t background = 0;
  std::vector<svg_stroke> strokes;
  // Elements of another kind, and rectangles, paths and groups in a form this reader does not
  // follow (a transform, a path of another shape), by name.
  std::vector<std::string> unread;
};

svg_picture read_svg(const std::string& path);

// The number of pixels of `a` that differ from the background while no pixel of `b` within
// `reach` (in x and y) does: what `a` draws where `b` draws nothing near.
long drawn_far_from(const image& a, const image& b, std::uint32_t background, int reach);

// The number of pixels in which two images of one size differ by more than the tolerance in a
// channel.
long differing_pixels(const image& a, const image& b, int tolerance = 0);

// The largest difference of one channel of one pixel between two images of one size.
int largest_channel_difference(const image& a, const image& b);

} // namespace zorv::picturetest
