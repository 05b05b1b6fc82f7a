// Frames drawn off screen: anti-aliased lines (line_raster) on a cairo image of 32-bit pixels,
// which the picture file (-o) writes and the smooth window (-aa) puts on the window. Both draw a
// frame's segments through render_picture, so the window shows exactly the pixels that the file
// holds.
#pragma once

#include "colours.hpp"
#include "geometry.hpp"
#include "line_raster.hpp"
#include "object.hpp"
#include "settings.hpp"

#include <X11/Xlib.h>
#include <cairo.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zorv {

// What a frame is drawn with: the background, and the line colour, or (-wc) one colour per depth
// step, nearest first, or the file's colours followed by the line colour, one for each of the
// frame's colour groups (colour_groups.hpp).
struct picture_colours {
  rgb_colour background;
  std::vector<rgb_colour> lines;
};

// A cairo image whose pixels are 0x00RRGGBB in native byte order (cairo's RGB24), in memory of
// its own or in memory that the caller keeps (the window's XImage).
// Segments drawn in one colour.
struct colour_run {
  rgb_colour colour;
  std::span<const XSegment> segments;
};

struct picture_state {
  cairo_surface_t* surface = nullptr; // nullptr until made
  raster_image raster;                // the surface's pixels, as the lines are drawn on them
  int width = 0;
  int height = 0;
  picture_colours colours;
  std::int32_t line_width = 0;  // as -lw gives it
  std::vector<colour_run> runs; // the frame's, kept so that frames allocate nothing
};

// A colour option of the frame as the command line gives it: its name ("-lc") and its text.
struct colour_option {
  const char* option;
  std::string text;
};

// A colour text that a display has read: the smooth window asks its server for unread_colours.
struct display_colour {
  std::string text;
  rgb_colour colour;
};

// The colour options of the frame (-lc, -bc, and -wc when given) whose texts neither the X colour
// database file nor X's forms read without a display: unknown names, and the forms of
// needs_display.
std::vector<colour_option> unread_colours(const viewer_settings& settings,
                                          std::string_view database);

// Colours as -lc, -bc and -wc name them: from the X colour database file and X's forms, and for
// the other texts from what a display read. A text that nothing reads gives black, as an unknown
// name gives pixel 0 on a true-colour window.
picture_colours colours_for(const viewer_settings& settings, std::string_view database,
                            std::span<const display_colour> read_by_display = {});

// Puts the file's colours (none where the frame does not show them) before the line colour.
void add_file_colours(picture_colours& colours, std::span<const rgb_colour> file_colours);

// Makes the image over the given pixels (bytes_per_line apart), or over memory of its own when
// pixels is nullptr, with room for a run of each of the colours. False if it cannot be made; any
// earlier image is released either way.
bool make_picture(picture_state& picture, int width, int height, unsigned char* pixels = nullptr,
                  int bytes_per_line = 0);
void release_picture(picture_state& picture);

// The runs that a frame is drawn in, in their order, into runs (cleared first, its room kept from
// frame to frame): every segment in the line colour; with -wc the depth steps, grouped into the
// lists' by_depth and steps, far steps first, so that nearer lines cover farther ones; in the
// file's colours the lists' colour groups, gathered into by_colour. The runs point into the lists.
void frame_runs(const picture_colours& colours, frame_lists& lists, const object_record& object,
                std::vector<colour_run>& runs);

// Draws the frame: the background, then the lists' segments. With -wc the segments are grouped
// by depth into the lists' by_depth and steps and drawn far steps first; in the file's colours
// they are gathered by the lists' groups into by_colour and drawn a group at a time. The pixels
// are complete when it returns.
void render_picture(picture_state& picture, frame_lists& lists, const object_record& object);

} // namespace zorv
