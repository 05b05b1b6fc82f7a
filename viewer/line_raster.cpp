// A segment's rectangle is scanned a pixel row at a time. In each row every side of the rectangle
// adds, to the cells it crosses, the signed area between it and the cell's left edge (the
// accumulation of glyph rasterisers); the running sum along the row is then each pixel's covered
// area. Sides are clipped to the image first: what lies left of the image is folded onto its left
// edge, which keeps the sums of the pixels inside exact, and what lies right of it or above or
// below is never visited. The only memory used is the image's scratch row, left all 0 after each
// row, so a call costs nothing beyond its segments.
#include "line_raster.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <new>

namespace zorv {
namespace {

constexpr double pixel_centre = 0.5;
constexpr double thin_half_width = 0.5; // width 0 is one pixel wide
constexpr double thin_cap = 0.5;        // and reaches half a pixel beyond each end
constexpr double alpha_scale = 255.0;
constexpr double alpha_rounding = 0.5;
constexpr std::uint32_t full_alpha = 255;
constexpr std::uint32_t red_blue = 0xff00ff;
constexpr std::uint32_t green = 0x00ff00;
constexpr std::uint32_t red_blue_half = 0x800080; // rounds each channel's quotient by 255
constexpr std::uint32_t green_half = 0x008000;
constexpr int channel_bits = 8;
constexpr int corner_count = 4;

// One side of the rectangle, with y growing downwards: its top and bottom, x at its top, its
// change of x per row, and the rows it descends per pixel of x, signed +1 or -1 by whether it
// runs down or up (its winding).
struct side {
  double top;
  double bottom;
  double x_top;
  double slope;
  double per_x; // 0 for an upright side
  double winding;
};

struct rectangle {
  std::array<side, corner_count> sides;
  int side_count; // level sides add no area and are left out
  double top;
  double bottom;
};

struct segment_shape {
  double half_width;
  double cap; // how far the rectangle reaches beyond each end
};

segment_shape shape_of(std::int32_t line_width) {
  if (line_width == 0) return {thin_half_width, thin_cap};
  return {static_cast<double>(line_width) / 2.0, 0.0};
}

// Whether a segment's line, reaching `reach` pixels beyond its ends and sides, misses the image.
bool outside(const XSegment& s, int width, int height, int reach) {
  return (s.x1 < -reach && s.x2 < -reach) || (s.y1 < -reach && s.y2 < -reach) ||
         (s.x1 >= width + reach && s.x2 >= width + reach) ||
         (s.y1 >= height + reach && s.y2 >= height + reach);
}

void add_side(rectangle& r, double x0, double y0, double x1, double y1, double slope) {
  if (y0 == y1) return;
  const double winding = y0 < y1 ? 1.0 : -1.0;
  if (y0 > y1) {
    std::swap(x0, x1);
    std::swap(y0, y1);
  }
  const double per_x = slope == 0.0 ? 0.0 : winding / std::fabs(slope);
  r.sides[static_cast<std::size_t>(r.side_count++)] = {y0, y1, x0, slope, per_x, winding};
}

// The rectangle of a segment of non-zero length, corners in order around it.
rectangle rectangle_of(const XSegment& s, segment_shape shape) {
  const double x1 = s.x1 + pixel_centre;
  const double y1 = s.y1 + pixel_centre;
  const double x2 = s.x2 + pixel_centre;
  const double y2 = s.y2 + pixel_centre;
  const double dx = x2 - x1;
  const double dy = y2 - y1;
  const double length = std::sqrt(dx * dx + dy * dy);
  const double ux = dx / length;
  const double uy = dy / length;
  const double cap_x = ux * shape.cap;
  const double cap_y = uy * shape.cap;
  const double normal_x = -uy * shape.half_width;
  const double normal_y = ux * shape.half_width;
  const std::array<double, corner_count> xs = {x1 - cap_x + normal_x, x2 + cap_x + normal_x,
                                               x2 + cap_x - normal_x, x1 - cap_x - normal_x};
  const std::array<double, corner_count> ys = {y1 - cap_y + normal_y, y2 + cap_y + normal_y,
                                               y2 + cap_y - normal_y, y1 - cap_y - normal_y};
  // The sides along the segment and across it, with the slopes of the segment's own direction.
  const double along = dy == 0.0 ? 0.0 : dx / dy;
  const double across = dx == 0.0 ? 0.0 : -dy / dx;
  rectangle r{};
  for (std::size_t i = 0; i < corner_count; ++i) {
    const std::size_t next = (i + 1) % corner_count;
    add_side(r, xs[i], ys[i], xs[next], ys[next], i % 2 == 0 ? along : across);
  }
  r.top = *std::min_element(ys.begin(), ys.end());
  r.bottom = *std::max_element(ys.begin(), ys.end());
  return r;
}

// The piece of a side within one row, from x = a to x = b, `height` rows high (signed by its
// winding, per_x of it for each pixel of x): its area left of each cell boundary, into the
// cells. The part left of the image stands upright on its left edge; the part right of it
// touches no pixel.
void add_piece(double* cover, int width, double a, double b, double height, double per_x) {
  const double right = width;
  if (a > b) std::swap(a, b);
  if (b <= 0.0) {
    cover[0] += height;
    return;
  }
  if (a >= right) return;
  if (a < 0.0) {
    cover[0] += per_x * -a;
    a = 0.0;
  }
  b = std::min(b, right);
  int cell = static_cast<int>(a);
  if (b <= cell + 1.0) { // within one cell: the steep sides of thin lines
    const double part = a == b ? height : per_x * (b - a);
    const double inside = (a + b) * 0.5 - cell;
    cover[cell] += part - part * inside;
    cover[cell + 1] += part * inside;
    return;
  }
  for (double from = a;; ++cell) {
    const double to = std::min(b, cell + 1.0);
    const double part = per_x * (to - from);
    const double inside = (from + to) * 0.5 - cell;
    cover[cell] += part - part * inside;
    cover[cell + 1] += part * inside;
    if (to >= b) return;
    from = to;
  }
}

// The colour over the pixel in alpha/255 of its area, each channel rounded to the nearest.
std::uint32_t blend(std::uint32_t pixel, std::uint32_t colour, std::uint32_t alpha) {
  const std::uint32_t rest = full_alpha - alpha;
  std::uint32_t rb = (colour & red_blue) * alpha + (pixel & red_blue) * rest + red_blue_half;
  std::uint32_t g = (colour & green) * alpha + (pixel & green) * rest + green_half;
  rb = ((rb + ((rb >> channel_bits) & red_blue)) >> channel_bits) & red_blue;
  g = ((g + ((g >> channel_bits) & green)) >> channel_bits) & green;
  return rb | g;
}

std::uint32_t alpha_of(double area) {
  const double covered = std::min(std::fabs(area), 1.0);
  return static_cast<std::uint32_t>(covered * alpha_scale + alpha_rounding);
}

std::uint32_t pixel_of(rgb_colour c) {
  return std::uint32_t{c.red} << (2 * channel_bits) | std::uint32_t{c.green} << channel_bits |
         std::uint32_t{c.blue};
}

// Row y of the rectangle: the sides' pieces in it summed along the row into each pixel.
void draw_row(const raster_image& image, double* cover, const rectangle& r, int y,
              std::uint32_t colour) {
  const double row_top = y;
  const double row_bottom = row_top + 1.0;
  double left = std::numeric_limits<double>::max();
  double right = std::numeric_limits<double>::lowest();
  for (int i = 0; i < r.side_count; ++i) {
    const side& s = r.sides[static_cast<std::size_t>(i)];
    const double from = std::max(row_top, s.top);
    const double to = std::min(row_bottom, s.bottom);
    if (to <= from) continue;
    const double a = s.x_top + (from - s.top) * s.slope;
    const double b = s.x_top + (to - s.top) * s.slope;
    left = std::min(left, std::min(a, b));
    right = std::max(right, std::max(a, b));
    add_piece(cover, image.width, a, b, (to - from) * s.winding, s.per_x);
  }
  if (right < left) return;
  const double width = image.width;
  const int first = static_cast<int>(std::clamp(left, 0.0, width));
  const int touched = static_cast<int>(std::clamp(right, 0.0, width)) + 1; // last cell written
  const int last = std::min(touched - 1, image.width - 1); // touched - last is 1 or 2
  std::uint32_t* pixels = image.pixels + image.stride * y;
  double area = 0.0;
  for (int x = first; x <= last; ++x) {
    area += cover[x];
    cover[x] = 0.0;
    const std::uint32_t alpha = alpha_of(area);
    if (alpha == full_alpha)
      pixels[x] = colour;
    else if (alpha != 0)
      pixels[x] = blend(pixels[x], colour, alpha);
  }
  cover[last + 1] = 0.0;
  cover[touched] = 0.0;
}

void draw_rectangle(raster_image& image, const rectangle& r, std::uint32_t colour) {
  const double height = image.height;
  if (r.bottom <= 0.0 || r.top >= height) return;
  const int first = static_cast<int>(std::max(r.top, 0.0));
  const int end = static_cast<int>(std::ceil(std::min(r.bottom, height)));
  for (int y = first; y < end; ++y) draw_row(image, image.cover.data(), r, y, colour);
}

} // namespace

bool attach_raster(raster_image& image, std::uint32_t* pixels, int width, int height,
                   std::ptrdiff_t stride) {
  try {
    image.cover.assign(static_cast<std::size_t>(width) + 2, 0.0);
  } catch (const std::bad_alloc&) {
    image = {};
    return false;
  }
  image.pixels = pixels;
  image.width = width;
  image.height = height;
  image.stride = stride;
  return true;
}

void fill_raster(raster_image& image, rgb_colour colour) {
  const std::uint32_t pixel = pixel_of(colour);
  for (int y = 0; y < image.height; ++y)
    std::fill_n(image.pixels + image.stride * y, image.width, pixel);
}

void draw_segments(raster_image& image, std::span<const XSegment> segments, rgb_colour colour,
                   std::int32_t line_width) {
  const segment_shape shape = shape_of(line_width);
  const int reach = line_width / 2 + 1;
  const std::uint32_t pixel = pixel_of(colour);
  for (const XSegment& s : segments) {
    if (outside(s, image.width, image.height, reach)) continue;
    if (s.x1 == s.x2 && s.y1 == s.y2) continue;
    draw_rectangle(image, rectangle_of(s, shape), pixel);
  }
}

} // namespace zorv
