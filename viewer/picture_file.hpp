// The picture file (-o): the frames of the window's loop drawn without a window. A PNG holds one
// frame, a GIF one frame after another with a delay from -fps, looping forever, each frame mapped
// onto a palette of the colours in use; an SVG, PDF or EPS holds one frame in vector strokes
// (vector_picture). The file is written under a temporary name beside the file it replaces and
// renamed only once it is whole.
#pragma once

#include "geometry.hpp"
#include "gif_codes.hpp"
#include "object.hpp"
#include "picture.hpp"
#include "settings.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct GifFileType;

namespace zorv {

// The GIF's 256 colours: the background first, then each line colour blended over the
// background in equal steps of coverage, so that anti-aliased edges find their colour without a
// general quantiser. Pixels are mapped to the nearest entry through a small cache.
struct gif_palette {
  std::array<rgb_colour, 256> entries;
  std::uint32_t background_pixel;
  std::vector<std::uint32_t> cache_keys;  // the pixel | cache_used, 0 for an empty slot
  std::vector<std::uint8_t> cache_values; // its entry
};

// -o: the file being written. It is written under a temporary name in the folder of the file it
// replaces and renamed to that file's name only once it is whole.
struct picture_output {
  std::string name;           // as the command line gives it
  std::string target;         // the file replaced: the name, or where its symbolic links lead
  std::string temporary_name; // empty once renamed or removed
  int descriptor = -1;
  picture_format format = picture_format::png;
  std::int32_t first_frame = 1; // frame 1 is the first frame the window shows
  std::int32_t frame_count = 1;
  int delay = 0; // GIF: hundredths of a second between frames
  GifFileType* gif = nullptr;
  gif_palette palette;
  std::vector<std::uint8_t> indices;  // one GIF frame, a palette entry per pixel
  std::vector<std::uint8_t> previous; // the frame before it
  gif_codes codes;                    // the frame's rectangle as LZW codes
  std::int32_t frames_written = 0;
};

// The number of frames after which every turning plane has turned through a whole multiple of
// 360 degrees (all of them, for increments in radians as the viewer holds them), the smallest
// up to limit; 0 if there is none.
std::int32_t loop_frame_count(const std::array<float, plane_count>& increments, std::int32_t limit);

// The GIF delay for a frame rate: hundredths of a second, rounded, at least 2 (viewers slow a
// shorter delay down to a tenth of a second) and at most the format's 65535.
int gif_delay(float frame_rate);

// Builds the palette for these colours: entry 0 the background, then for each distinct line
// colour an equal share of the rest, blends from the background to it for the anti-aliased
// edges. With more colours than entries, the first 255 in their order have an entry each, and
// every pixel takes its nearest entry.
gif_palette palette_for(const picture_colours& colours);

// The palette entry nearest to a pixel.
std::uint8_t palette_index(gif_palette& palette, std::uint32_t pixel);

// Everything -o keeps: the file, the image its frames are drawn on and its size.
struct picture_file_state {
  picture_output output;
  picture_state picture;
  window_geometry geometry;
};

// The frames to write (the first and how many; for a GIF without -frames, as many as bring the
// motion back to its start, saying so on standard error where none within reach do), the GIF's
// delay and the picture's size (-geometry, else default_window_side square).
void size_picture_file(picture_file_state& file, const viewer_settings& settings,
                       const std::array<float, plane_count>& increments);

// The colours, the image and the temporary file, after " Writing NAME.". From here until the file
// has its name, SIGINT, SIGTERM, SIGHUP and SIGPIPE remove the temporary file before they end the
// process. Ends the process with status 255 if the file cannot be written, or with the allocation
// message.
void open_picture_file(picture_file_state& file, const viewer_settings& settings,
                       std::span<const rgb_colour> file_colours);

// One frame: draws it and, for a GIF, adds it to the file.
void show_picture_frame(picture_file_state& file, frame_lists& lists, const object_record& object);

// Writes the PNG or ends the GIF, and gives the file its name. Ends the process with status 255,
// removing the temporary file, if the file cannot be written.
void finish_picture_file(picture_file_state& file);

} // namespace zorv
