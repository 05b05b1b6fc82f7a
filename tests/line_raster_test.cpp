// The line rasteriser against the covered area that the test computes on its own: each segment's
// rectangle clipped to each pixel's square, its area by the shoelace formula. A pixel's channel
// may differ from the exact blend of line and background by the rounding of the area to 255ths
// and of the blend to a whole channel value: at most 0.5 white on black, at most 1 otherwise.
// gtest comes before Xlib, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include "line_raster.hpp"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace zorv {
namespace {

constexpr int width = 24;
constexpr int height = 20;
constexpr int stride = 27;                    // rows padded, as an XImage's may be
constexpr std::uint32_t padding = 0xdeadbeef; // beyond each row's width: never written

struct point {
  double x;
  double y;
};
using polygon = std::vector<point>;

// The rectangle a segment covers: width 0 is one pixel wide with half a pixel beyond each end,
// width n is n wide and ends at the ends; an end (x, y) is the pixel centre (x + 0.5, y + 0.5).
polygon rectangle_of(const XSegment& s, std::int32_t line_width) {
  const point a{s.x1 + 0.5, s.y1 + 0.5};
  const point b{s.x2 + 0.5, s.y2 + 0.5};
  const double length = std::hypot(b.x - a.x, b.y - a.y);
  if (length == 0) return {};
  const double half = line_width == 0 ? 0.5 : line_width / 2.0;
  const double cap = line_width == 0 ? 0.5 : 0.0;
  const point along{(b.x - a.x) / length, (b.y - a.y) / length};
  const point across{-along.y * half, along.x * half};
  const point from{a.x - along.x * cap, a.y - along.y * cap};
  const point to{b.x + along.x * cap, b.y + along.y * cap};
  return {{from.x + across.x, from.y + across.y},
          {to.x + across.x, to.y + across.y},
          {to.x - across.x, to.y - across.y},
          {from.x - across.x, from.y - across.y}};
}

// The part of the polygon on the side of the line through `at` where `inside` holds.
template <typename Inside, typename Cross>
polygon clipped(const polygon& p, Inside inside, Cross cross) {
  polygon out;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const point& a = p[i];
    const point& b = p[(i + 1) % p.size()];
    if (inside(a)) out.push_back(a);
    if (inside(a) != inside(b)) out.push_back(cross(a, b));
  }
  return out;
}

polygon clipped_to_x(const polygon& p, double x, bool keep_right) {
  return clipped(
      p, [&](const point& q) { return keep_right ? q.x >= x : q.x <= x; },
      [&](const point& a, const point& b) {
        return point{x, a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x)};
      });
}

polygon clipped_to_y(const polygon& p, double y, bool keep_below) {
  return clipped(
      p, [&](const point& q) { return keep_below ? q.y >= y : q.y <= y; },
      [&](const point& a, const point& b) {
        return point{a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y), y};
      });
}

double area(const polygon& p) {
  double twice = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const point& a = p[i];
    const point& b = p[(i + 1) % p.size()];
    twice += a.x * b.y - b.x * a.y;
  }
  return std::fabs(twice) / 2;
}

double covered(const polygon& rectangle, int x, int y) {
  polygon p = clipped_to_x(rectangle, x, true);
  p = clipped_to_x(p, x + 1, false);
  p = clipped_to_y(p, y, true);
  p = clipped_to_y(p, y + 1, false);
  return area(p);
}

double channel(std::uint32_t pixel, int shift) {
  return static_cast<double>((pixel >> shift) & 0xff);
}

struct colours {
  rgb_colour line;
  rgb_colour background;
  double tolerance;
};

std::uint32_t pixel_of(rgb_colour c) {
  return std::uint32_t{c.red} << 16 | std::uint32_t{c.green} << 8 | c.blue;
}

struct segment_case {
  const char* what;
  std::vector<XSegment> segments;
  std::int32_t line_width;
};

const segment_case cases[] = {
    {"horizontal", {{3, 5, 15, 5}}, 0},
    {"vertical", {{7, 2, 7, 17}}, 0},
    {"diagonal", {{2, 2, 17, 17}}, 0},
    {"shallow", {{1, 3, 20, 8}}, 0},
    {"steep", {{4, 1, 9, 18}}, 0},
    {"one pixel long", {{5, 5, 6, 5}, {9, 9, 10, 10}, {14, 4, 15, 6}}, 0},
    {"zero length", {{5, 5, 5, 5}, {0, 0, 0, 0}}, 0},
    {"zero length, wide", {{5, 5, 5, 5}}, 3},
    {"crossing the left and right edges", {{-10, 10, 30, 12}}, 0},
    {"crossing the top and bottom edges", {{10, -5, 13, 30}}, 0},
    {"through two corners", {{-5, -5, 30, 25}}, 0},
    {"along the edges", {{0, 0, 23, 0}, {23, 0, 23, 19}, {23, 19, 0, 19}, {0, 19, 0, 0}}, 0},
    {"wide across the corners", {{-3, 19, 25, -2}}, 4},
    {"across the 16-bit plane", {{-32768, -32000, 32767, 32767}}, 0},
    {"far outside", {{100, 5, 200, 5}, {-32768, -32768, -32768, -32768}, {-900, 3, -40, 9}}, 9},
    {"width 1", {{2, 3, 20, 9}, {4, 15, 18, 15}}, 1},
    {"width 2", {{2, 3, 20, 9}, {12, 2, 12, 17}}, 2},
    {"width 3", {{2, 3, 20, 9}, {3, 14, 19, 17}}, 3},
    {"width 8", {{4, 4, 18, 13}}, 8},
    {"wider than the image", {{3, 0, 17, 0}}, 65535},
    {"wider than the image, steep", {{-32768, -32768, 32767, 32767}}, 65535},
};

class LineRasterTest : public testing::Test {
protected:
  void SetUp() override {
    memory.assign(static_cast<std::size_t>(stride) * height, padding);
    ASSERT_TRUE(attach_raster(image, memory.data(), width, height, stride));
  }

  std::uint32_t at(int x, int y) const {
    return memory[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x)];
  }

  std::vector<std::uint32_t> memory;
  raster_image image;
};

// Each segment's exact blend over the pixels, one after the other; the padding stays as it was.
TEST_F(LineRasterTest, EachPixelTakesTheAreaTheLineCovers) {
  const colours schemes[] = {{{255, 255, 255}, {0, 0, 0}, 0.5 + 1e-9},
                             {{255, 140, 0}, {20, 30, 120}, 1.0}};
  for (const colours& scheme : schemes)
    for (const segment_case& c : cases) {
      SCOPED_TRACE(c.what);
      fill_raster(image, scheme.background);
      draw_segments(image, c.segments, scheme.line, c.line_width);
      const std::uint32_t line = pixel_of(scheme.line);
      int wrong = 0;
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
          for (const int shift : {0, 8, 16}) {
            double expected = channel(pixel_of(scheme.background), shift);
            for (const XSegment& s : c.segments)
              expected +=
                  (channel(line, shift) - expected) * covered(rectangle_of(s, c.line_width), x, y);
            const double got = channel(at(x, y), shift);
            if (std::fabs(got - expected) > scheme.tolerance && wrong++ < 5)
              ADD_FAILURE() << "pixel (" << x << ", " << y << ") channel " << shift / 8 << " is "
                            << got << ", not " << expected;
          }
      EXPECT_EQ(wrong, 0);
      for (int y = 0; y < height; ++y)
        for (int x = width; x < stride; ++x) ASSERT_EQ(at(x, y), padding);
    }
}

// A frame drawn as many calls of one segment is the frame drawn in one call: every call leaves
// the scratch row empty for the next.
TEST_F(LineRasterTest, CallsOfOneSegmentDrawWhatOneCallDraws) {
  std::vector<XSegment> segments;
  for (const segment_case& c : cases)
    if (c.line_width == 0) segments.insert(segments.end(), c.segments.begin(), c.segments.end());
  const rgb_colour background{0, 0, 40};
  const rgb_colour line{200, 100, 50};
  fill_raster(image, background);
  draw_segments(image, segments, line, 0);
  const std::vector<std::uint32_t> together = memory;
  fill_raster(image, background);
  for (const XSegment& s : segments) draw_segments(image, {&s, 1}, line, 0);
  EXPECT_EQ(memory, together);
}

} // namespace
} // namespace zorv
