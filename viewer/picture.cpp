// Every frame is drawn the same way: the background filled in, then the segments drawn over it
// by line_raster, a run of one colour at a time, each segment over the ones before it as
// XDrawSegments draws them. Cairo holds the image, which the picture file writes.
#include "picture.hpp"

#include "depth.hpp"

#include <algorithm>
#include <cstddef>
#include <new>
#include <optional>
#include <string_view>

namespace zorv {
namespace {

constexpr int channel_widening = 257; // 0xff * 257 = 0xffff
constexpr int channel_narrowing = 8;  // a 16-bit X channel keeps its high 8 bits
constexpr int bytes_per_pixel = 4;

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
  if (!attach_raster(picture.raster,
                     reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(surface)), width,
                     height, cairo_image_surface_get_stride(surface) / bytes_per_pixel)) {
    cairo_surface_destroy(surface);
    return false;
  }
  try {
    picture.runs.reserve(std::max<std::size_t>(picture.colours.lines.size(), 1));
  } catch (const std::bad_alloc&) {
    cairo_surface_destroy(surface);
    return false;
  }
  picture.surface = surface;
  picture.width = width;
  picture.height = height;
  return true;
}

void release_picture(picture_state& picture) {
  if (picture.surface != nullptr) cairo_surface_destroy(picture.surface);
  picture.surface = nullptr;
  picture.raster = {};
  picture.width = 0;
  picture.height = 0;
}

void add_file_colours(picture_colours& colours, std::span<const rgb_colour> file_colours) {
  if (file_colours.empty()) return;
  const rgb_colour line = colours.lines.front();
  colours.lines.assign(file_colours.begin(), file_colours.end());
  colours.lines.push_back(line);
}

void frame_runs(const picture_colours& colours, frame_lists& lists, const object_record& object,
                std::vector<colour_run>& runs) {
  runs.clear();
  const std::vector<rgb_colour>& lines = colours.lines;
  const std::span<const XSegment> segments = lists.segments;
  const colour_groups& groups = lists.groups;
  if (!groups.order.empty()) {
    gather_by_colour(groups, segments, lists.by_colour);
    const std::size_t group_count = std::min(lines.size(), groups.starts.size() - 1);
    for (std::size_t k = 0; k < group_count; ++k) {
      const std::size_t count = groups.starts[k + 1] - groups.starts[k];
      if (count > 0)
        runs.push_back(
            {lines[k],
             std::span<const XSegment>(lists.by_colour).subspan(groups.starts[k], count)});
    }
    return;
  }
  if (lines.size() == 1) {
    runs.push_back({lines.front(), segments});
    return;
  }
  const std::span<XSegment> by_depth = lists.by_depth;
  const depth_runs starts = group_by_depth(segments, object, by_depth, lists.steps);
  const std::size_t steps_coloured =
      std::min(lines.size(), static_cast<std::size_t>(depth_step_count));
  for (std::size_t k = steps_coloured; k-- > 0;) {
    const std::size_t count = starts[k + 1] - starts[k];
    if (count > 0)
      runs.push_back({lines[k], std::span<const XSegment>(by_depth).subspan(starts[k], count)});
  }
}

void render_picture(picture_state& picture, frame_lists& lists, const object_record& object) {
  raster_image& raster = picture.raster;
  cairo_surface_flush(picture.surface);
  fill_raster(raster, picture.colours.background);
  frame_runs(picture.colours, lists, object, picture.runs);
  for (const colour_run& run : picture.runs)
    draw_segments(raster, run.segments, run.colour, picture.line_width);
  cairo_surface_mark_dirty(picture.surface);
}

} // namespace zorv
