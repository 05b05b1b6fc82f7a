// Every frame is drawn the same way: the background painted, then each segment stroked with
// cairo, anti-aliased. A segment's end (x, y) is the pixel whose centre is (x + 0.5, y + 0.5). X's
// width 0 is a line one pixel wide that covers both end pixels, as X's thin lines do, so it has
// square caps; a width of 1 or more ends at its end points (butt caps), as X's wide lines do.
#include "picture.hpp"

#include "depth.hpp"

#include <cstddef>
#include <optional>
#include <string_view>

namespace zorv {
namespace {

constexpr double pixel_centre = 0.5;
constexpr double full_channel = 255.0;
constexpr int channel_widening = 257; // 0xff * 257 = 0xffff
constexpr int channel_narrowing = 8;  // a 16-bit X channel keeps its high 8 bits

unsigned short widened(std::uint8_t channel) {
  return static_cast<unsigned short>(channel * channel_widening);
}

std::uint8_t narrowed(unsigned short channel) {
  return static_cast<std::uint8_t>(channel >> channel_narrowing);
}

rgb_colour colour_or_black(std::string_view database, std::span<const display_colour> read,
                           const std::string& text) {
  if (const std::optional<rgb_colour> colour = look_up_colour(database, text)) return *colour;
  for (const display_colour& c : read)
    if (c.text == text) return c.colour;
  return rgb_colour{0, 0, 0};
}

// Step k of -wc's blend, computed as the window computes it on 16-bit X colours.
rgb_colour depth_colour(rgb_colour near, rgb_colour far, int k) {
  return {narrowed(blended(widened(near.red), widened(far.red), k)),
          narrowed(blended(widened(near.green), widened(far.green), k)),
          narrowed(blended(widened(near.blue), widened(far.blue), k))};
}

void set_source(cairo_t* cairo, rgb_colour c) {
  cairo_set_source_rgb(cairo, c.red / full_channel, c.green / full_channel, c.blue / full_channel);
}

// Whether a segment's line, reaching `reach` pixels beyond its ends and sides, misses the image.
bool outside(const XSegment& s, int width, int height, int reach) {
  return (s.x1 < -reach && s.x2 < -reach) || (s.y1 < -reach && s.y2 < -reach) ||
         (s.x1 >= width + reach && s.x2 >= width + reach) ||
         (s.y1 >= height + reach && s.y2 >= height + reach);
}

// Each segment on its own, as XDrawSegments draws them: where segments meet or cross, each is
// drawn over the other. One stroke a segment also keeps cairo's scan conversion to the
// segment's own rows, several times faster than one path of them all.
void stroke_segments(const picture_state& picture, std::span<const XSegment> segments) {
  cairo_t* cairo = picture.cairo;
  const int reach = picture.line_width / 2 + 1;
  for (const XSegment& s : segments) {
    if (outside(s, picture.width, picture.height, reach)) continue;
    cairo_move_to(cairo, s.x1 + pixel_centre, s.y1 + pixel_centre);
    cairo_line_to(cairo, s.x2 + pixel_centre, s.y2 + pixel_centre);
    cairo_stroke(cairo);
  }
}

void set_line_style(cairo_t* cairo, std::int32_t line_width) {
  cairo_set_line_width(cairo, line_width == 0 ? 1.0 : static_cast<double>(line_width));
  cairo_set_line_cap(cairo, line_width == 0 ? CAIRO_LINE_CAP_SQUARE : CAIRO_LINE_CAP_BUTT);
}

} // namespace

std::vector<colour_option> unread_colours(const viewer_settings& settings,
                                          std::string_view database) {
  std::vector<colour_option> options = {{"-lc", settings.line_colour},
                                        {"-bc", settings.background_colour}};
  if (settings.depth_cueing) options.push_back({"-wc", settings.depth_colour});
  std::erase_if(options, [&](const colour_option& o) {
    return look_up_colour(database, o.text).has_value();
  });
  return options;
}

picture_colours colours_for(const viewer_settings& settings, std::string_view database,
                            std::span<const display_colour> read_by_display) {
  const auto colour_of = [&](const std::string& text) {
    return colour_or_black(database, read_by_display, text);
  };
  picture_colours colours{colour_of(settings.background_colour), {}};
  const rgb_colour line = colour_of(settings.line_colour);
  if (!settings.depth_cueing) {
    colours.lines.push_back(line);
    return colours;
  }
  const rgb_colour far = colour_of(settings.depth_colour);
  for (int k = 0; k < depth_step_count; ++k) colours.lines.push_back(depth_colour(line, far, k));
  return colours;
}

bool make_picture(picture_state& picture, int width, int height, unsigned char* pixels,
                  int bytes_per_line) {
  release_picture(picture);
  cairo_surface_t* surface =
      pixels == nullptr ? cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height)
                        : cairo_image_surface_create_for_data(pixels, CAIRO_FORMAT_RGB24, width,
                                                              height, bytes_per_line);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return false;
  }
  cairo_t* cairo = cairo_create(surface);
  if (cairo_status(cairo) != CAIRO_STATUS_SUCCESS) {
    cairo_destroy(cairo);
    cairo_surface_destroy(surface);
    return false;
  }
  set_line_style(cairo, picture.line_width);
  picture.surface = surface;
  picture.cairo = cairo;
  picture.width = width;
  picture.height = height;
  return true;
}

void release_picture(picture_state& picture) {
  if (picture.cairo != nullptr) cairo_destroy(picture.cairo);
  if (picture.surface != nullptr) cairo_surface_destroy(picture.surface);
  picture.cairo = nullptr;
  picture.surface = nullptr;
  picture.width = 0;
  picture.height = 0;
}

void add_file_colours(picture_colours& colours, const viewer_settings& settings,
                      const object_record& object) {
  if (!shows_file_colours(object, settings.line_colour_given, settings.depth_cueing)) return;
  const rgb_colour line = colours.lines.front();
  colours.lines = object.colours;
  colours.lines.push_back(line);
}

void render_picture(picture_state& picture, frame_lists& lists, const object_record& object) {
  cairo_t* cairo = picture.cairo;
  set_source(cairo, picture.colours.background);
  cairo_paint(cairo);
  const std::vector<rgb_colour>& lines = picture.colours.lines;
  const std::span<const XSegment> segments = lists.segments;
  const colour_groups& groups = lists.groups;
  if (!groups.order.empty()) {
    gather_by_colour(groups, segments, lists.by_colour);
    const std::size_t group_count = std::min(lines.size(), groups.starts.size() - 1);
    for (std::size_t k = 0; k < group_count; ++k) {
      const std::size_t count = groups.starts[k + 1] - groups.starts[k];
      if (count == 0) continue;
      set_source(cairo, lines[k]);
      stroke_segments(picture,
                      std::span<const XSegment>(lists.by_colour).subspan(groups.starts[k], count));
    }
  } else if (lines.size() == 1) {
    set_source(cairo, lines.front());
    stroke_segments(picture, segments);
  } else {
    const std::span<XSegment> by_depth = lists.by_depth;
    const depth_runs starts = group_by_depth(segments, object, by_depth, lists.steps);
    for (int k = last_depth_step; k >= 0; --k) {
      const std::size_t count = starts[k + 1] - starts[k];
      if (count == 0) continue;
      set_source(cairo, lines[static_cast<std::size_t>(k)]);
      stroke_segments(picture, std::span<const XSegment>(by_depth).subspan(starts[k], count));
    }
  }
  cairo_surface_flush(picture.surface);
}

} // namespace zorv
