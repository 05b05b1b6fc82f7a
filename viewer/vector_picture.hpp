// Pictures for print (-o name.svg, .pdf, .eps): one frame written with cairo's vector surfaces,
// the background as a rectangle and each segment as a stroke of its own, in the geometry of the
// PNG of the same frame (a pixel is a unit of the page, a segment's end (x, y) lies at
// (x + 0.5, y + 0.5), the line width and ends as render_picture draws them).
#pragma once

#include "colours.hpp"
#include "geometry.hpp"
#include "object.hpp"
#include "picture.hpp"

#include <X11/Xlib.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zorv {

enum class vector_format { svg, pdf, eps };

// What a vector picture holds: its size in pixels, -lw, the background and the runs, drawn in
// their order (far runs first, so that nearer lines cover farther ones).
struct vector_frame {
  int width = 0;
  int height = 0;
  std::int32_t line_width = 0;
  rgb_colour background{};
  std::span<const colour_run> runs;
};

// Whether a segment's stroke lies wholly outside the picture, so that a vector file leaves it out.
bool stroke_outside(const XSegment& s, int width, int height, std::int32_t line_width);

// How writing went: success, the errno of a write that failed, or cairo's word for another fault.
struct vector_outcome {
  bool written = false;
  int write_error = 0;
  std::string message;
};

// Writes the frame as a whole file to the descriptor (which stays open).
vector_outcome write_vector_picture(int descriptor, vector_format format,
                                    const vector_frame& frame);

} // namespace zorv
