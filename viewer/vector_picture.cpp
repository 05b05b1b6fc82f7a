// A vector picture is drawn as the PNG is, stroke by stroke, but on cairo's SVG, PDF or
// PostScript surface: a unit of the page is a pixel of the PNG (the SVG's size is in pixels),
// and what cairo writes goes straight to the file's descriptor.
#include "vector_picture.hpp"

#include "colour_groups.hpp"
#include "depth.hpp"

#include <cairo-pdf.h>
#include <cairo-ps.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace zorv {
namespace {

constexpr double pixel_centre = 0.5;
constexpr double full_channel = 255.0;

// What cairo's writes share with write_vector_picture.
struct vector_sink {
  int descriptor;
  int write_error = 0; // errno of the first write that failed
};

cairo_status_t write_to_descriptor(void* closure, const unsigned char* data, unsigned int length) {
  vector_sink& sink = *static_cast<vector_sink*>(closure);
  while (length > 0) {
    const ssize_t written = write(sink.descriptor, data, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (sink.write_error == 0) sink.write_error = written < 0 ? errno : EIO;
      return CAIRO_STATUS_WRITE_ERROR;
    }
    data += written;
    length -= static_cast<unsigned int>(written);
  }
  return CAIRO_STATUS_SUCCESS;
}

cairo_surface_t* make_surface(vector_format format, vector_sink& sink, int width, int height) {
  switch (format) {
  case vector_format::svg: {
    cairo_surface_t* surface =
        cairo_svg_surface_create_for_stream(write_to_descriptor, &sink, width, height);
    cairo_svg_surface_set_document_unit(surface, CAIRO_SVG_UNIT_PX);
    return surface;
  }
  case vector_format::pdf:
    return cairo_pdf_surface_create_for_stream(write_to_descriptor, &sink, width, height);
  case vector_format::eps: {
    cairo_surface_t* surface =
        cairo_ps_surface_create_for_stream(write_to_descriptor, &sink, width, height);
    cairo_ps_surface_set_eps(surface, true);
    return surface;
  }
  }
  return nullptr;
}

void set_source(cairo_t* cairo, rgb_colour c) {
  cairo_set_source_rgb(cairo, c.red / full_channel, c.green / full_channel, c.blue / full_channel);
}

// X's width 0 is one pixel wide with square caps, a wider line ends at its end points.
double stroke_width(std::int32_t line_width) {
  return line_width == 0 ? 1.0 : static_cast<double>(line_width);
}

void draw_frame(cairo_t* cairo, const vector_frame& frame) {
  set_source(cairo, frame.background);
  cairo_rectangle(cairo, 0, 0, frame.width, frame.height);
  cairo_fill(cairo);
  cairo_set_line_width(cairo, stroke_width(frame.line_width));
  cairo_set_line_cap(cairo, frame.line_width == 0 ? CAIRO_LINE_CAP_SQUARE : CAIRO_LINE_CAP_BUTT);
  for (const colour_run& run : frame.runs) {
    set_source(cairo, run.colour);
    for (const XSegment& s : run.segments) {
      if (stroke_outside(s, frame.width, frame.height, frame.line_width)) continue;
      cairo_move_to(cairo, s.x1 + pixel_centre, s.y1 + pixel_centre);
      cairo_line_to(cairo, s.x2 + pixel_centre, s.y2 + pixel_centre);
      cairo_stroke(cairo);
    }
  }
}

} // namespace

// The stroke reaches half its width beyond the line through the end points' centres, at the sides
// and (square caps) at the ends: a segment whose reach misses the page draws nothing on it.
bool stroke_outside(const XSegment& s, int width, int height, std::int32_t line_width) {
  const double reach = stroke_width(line_width) / 2;
  const auto misses = [reach](double a, double b, int side) {
    const double low = std::min(a, b) + pixel_centre - reach;
    const double high = std::max(a, b) + pixel_centre + reach;
    return high <= 0 || low >= side;
  };
  return misses(s.x1, s.x2, width) || misses(s.y1, s.y2, height);
}

vector_outcome write_vector_picture(int descriptor, vector_format format,
                                    const vector_frame& frame) {
  vector_sink sink{descriptor};
  cairo_surface_t* surface = make_surface(format, sink, frame.width, frame.height);
  cairo_t* cairo = cairo_create(surface);
  draw_frame(cairo, frame);
  cairo_status_t status = cairo_status(cairo);
  cairo_destroy(cairo);
  cairo_surface_finish(surface); // writes the rest of the file
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  vector_outcome outcome;
  outcome.written = status == CAIRO_STATUS_SUCCESS && sink.write_error == 0;
  outcome.write_error = sink.write_error;
  if (!outcome.written) outcome.message = cairo_status_to_string(status);
  return outcome;
}

} // namespace zorv
