// Anti-aliased line segments drawn onto an image of 32-bit pixels (0x00RRGGBB), made for frames of
// many thin lines: each segment is the rectangle around it, and each pixel it touches takes the
// line colour in the share of its area that the rectangle covers (computed exactly, up to the
// rounding of double precision), blended over what the pixel holds. The picture (-o) and the
// smooth window (-aa) both draw through it.
#pragma once

#include "colours.hpp"

#include <X11/Xlib.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zorv {

// The pixels drawn on, `stride` pixels from one row to the next, and the scratch row of area
// sums that each segment fills and empties again, made once with the image.
struct raster_image {
  std::uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;
  std::vector<double> cover; // width + 2 entries, all 0 between segments
};

// Fits the image record to pixels that the caller keeps. False if the scratch row cannot be had.
bool attach_raster(raster_image& image, std::uint32_t* pixels, int width, int height,
                   std::ptrdiff_t stride);

// Every pixel the colour.
void fill_raster(raster_image& image, rgb_colour colour);

// The segments, each over the ones before it. A segment's end (x, y) is the centre of pixel
// (x, y). Width 0 is a line one pixel wide that reaches half a pixel beyond its ends, covering
// both end pixels as X's thin lines do; width n (1 or more) is n pixels wide and ends at its end
// points, as X's wide lines do. A segment of zero length draws nothing.
void draw_segments(raster_image& image, std::span<const XSegment> segments, rgb_colour colour,
                   std::int32_t line_width);

} // namespace zorv
