// The plain window: each frame one XDrawSegments request, the previous frame erased by drawing its
// segments again in the background colour, or by clearing the window (-cw). With -bb a frame is
// drawn off screen on a cleared buffer and shown whole; with -wc the segments are grouped by the
// w of their lines into a few steps, each drawn in one request with a GC of its own colour.
#pragma once

#include "geometry.hpp"
#include "object.hpp"
#include "settings.hpp"
#include "window.hpp"

#include <X11/Xlib.h>

#include <span>
#include <vector>

namespace zorv {

// Where -bb draws a frame before showing it: nowhere without -bb, a back buffer of the
// DOUBLE-BUFFER extension, or a pixmap the size of the window where the server lacks it. A
// buffer that the server could not keep (a resize beyond its memory) is lost: frames go
// straight to the cleared window until the next resize brings a buffer again.
enum class back_buffer_kind { none, xdbe, pixmap, lost };

struct plain_window_state {
  Drawable drawable; // the window, or with -bb its buffer
  // None and empty without -bb and -wc: then nothing below takes part in a frame.
  back_buffer_kind back_buffer; // -bb
  std::vector<GC> depth_gcs;    // -wc: one per step of w, nearest first
  // In the file's colours: the pixel of each colour group (colour_groups.hpp), the line colour's
  // last, and a GC of its own for each of the first most_group_gcs groups; empty otherwise.
  std::vector<unsigned long> group_pixels;
  std::vector<GC> group_gcs;
};

// What -bb, -wc and the file's colours (none where the frame does not show them) add to drawing
// in the window.
void prepare_plain_window(plain_window_state& plain, window_state& window,
                          const viewer_settings& settings,
                          std::span<const rgb_colour> file_colours);

// The pixels of colours on the window's screen. A true-colour screen's are computed from its
// masks, as its server computes them; on a screen with a colour map each colour is allocated once,
// and from the first that cannot be, every colour not allocated takes the pixel of the nearest
// colour that was (the line colour's pixel where none was).
std::vector<unsigned long> colour_pixels(const window_state& window,
                                         std::span<const rgb_colour> colours);

// Frees the GCs of -wc.
void release_plain_window(plain_window_state& plain, window_state& window);

// Drops a back buffer that the server could not keep; frames then go straight to the window.
void check_back_buffer(plain_window_state& plain, window_state& window);

// After the window's size changed: a pixmap the new size, or a new try at a lost buffer.
void follow_plain_resize(plain_window_state& plain, window_state& window);

// Erases the previous frame and draws this one.
void show_plain_frame(plain_window_state& plain, window_state& window, frame_lists& lists,
                      const object_record& object, bool clear_each_frame);

} // namespace zorv
