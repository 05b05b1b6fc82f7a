// Frames drawn off screen with cairo: anti-aliased lines on an image of 32-bit pixels, written
// to a PNG or a looping GIF file (-o) or put on the window (-aa). Both draw a frame's segments
// through render_picture, so the window shows exactly the pixels that the file holds.
#pragma once

#include "colours.hpp"
#include "object.hpp"
#include "settings.hpp"

#include <X11/Xlib.h>
#include <cairo.h>

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct GifFileType;

namespace zorv {

// What a frame is drawn with: the background, and the line colour or (-wc) one colour per depth
// step, nearest first.
struct picture_colours {
  rgb_colour background;
  std::vector<rgb_colour> lines;
};

// A cairo context on an image whose pixels are 0x00RRGGBB in native byte order (cairo's RGB24),
// in memory of its own or in memory that the caller keeps (the window's XImage).
struct picture_state {
  cairo_surface_t* surface = nullptr; // nullptr until made
  cairo_t* cairo = nullptr;
  int width = 0;
  int height = 0;
  picture_colours colours;
  std::int32_t line_width = 0; // as -lw gives it
};

// Colours as -lc, -bc and -wc name them, from the X colour database file. A name the database
// does not know gives black, as an unknown name gives pixel 0 on a true-colour window.
picture_colours colours_for(const viewer_settings& settings, std::string_view database);

// Makes the image over the given pixels (bytes_per_line apart), or over memory of its own when
// pixels is nullptr. False if cairo cannot make it; any earlier image is released either way.
bool make_picture(picture_state& picture, int width, int height, unsigned char* pixels = nullptr,
                  int bytes_per_line = 0);
void release_picture(picture_state& picture);

// Draws the frame: the background, then the segments. With several colours (-wc) the segments
// are grouped by depth into by_depth and steps (lists as long as segments) and drawn far steps
// first. The pixels are complete when it returns.
void render_picture(picture_state& picture, std::span<const XSegment> segments,
                    const object_record& object, std::span<XSegment> by_depth,
                    std::span<std::uint8_t> steps);

// The number of the pixel at (x, y), 0x00RRGGBB.
std::uint32_t picture_pixel(const picture_state& picture, int x, int y);

enum class picture_format { png, gif };

// The GIF's 256 colours: the background first, then each line colour blended over the
// background in equal steps of coverage, so that anti-aliased edges find their colour without a
// general quantiser. Pixels are mapped to the nearest entry through a small cache.
struct gif_palette {
  std::array<rgb_colour, 256> entries;
  std::uint32_t background_pixel;
  std::vector<std::uint32_t> cache_keys;  // the pixel | cache_used, 0 for an empty slot
  std::vector<std::uint8_t> cache_values; // its entry
};

// -o: the file being written. It is written under a temporary name in the same folder and
// renamed to its own name only once it is whole.
struct picture_output {
  std::string name;
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
  std::int32_t frames_written = 0;
};

// The number of frames after which every turning plane has turned through a whole multiple of
// 360 degrees (all of them, for increments in radians as the viewer holds them), the smallest
// up to limit; 0 if there is none.
std::int32_t loop_frame_count(const std::array<float, plane_count>& increments, std::int32_t limit);

// The GIF delay for a frame rate: hundredths of a second, rounded, at least 2 (viewers slow a
// shorter delay down to a tenth of a second) and at most the format's 65535.
int gif_delay(float frame_rate);

// Builds the palette for these colours.
gif_palette palette_for(const picture_colours& colours);

// The palette entry nearest to a pixel.
std::uint8_t palette_index(gif_palette& palette, std::uint32_t pixel);

struct viewer;

// -o: prepares the picture instead of the display: the format from the name's extension, the
// size from -geometry (scale and distances following it as they follow a resize), the colours,
// the segment lists and the temporary file. Ends the process with a message on an unknown
// extension (status 1) or a file that cannot be written (status 255).
void open_picture(viewer& v);

// Draws the frames that -o asks for, writes them and gives the file its name. Ends the process
// with status 255, removing the temporary file, if the file cannot be written.
void write_picture(viewer& v);

// One frame of -o: draws it and, for a GIF, adds it to the file.
void show_picture_frame(viewer& v);

} // namespace zorv
