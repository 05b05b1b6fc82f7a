// The smooth window (-aa): each frame drawn as a picture, anti-aliased, and put on the window whole
// in one request, through an image in memory shared with the server (MIT-SHM) where it can attach
// it, in the viewer's own memory otherwise. Its pixels are those of the picture file (-o); a
// 32-bit window takes them with opaque alpha.
#pragma once

#include "geometry.hpp"
#include "object.hpp"
#include "picture.hpp"
#include "settings.hpp"
#include "window.hpp"

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>

namespace zorv {

struct smooth_window_state {
  XImage* image = nullptr; // nullptr while no image could be had (frames are then not shown)
  XShmSegmentInfo segment{};
  bool shared = false;
  int shm_opcode = 0; // the MIT-SHM extension's requests; 0 where the server cannot share memory
  // Set in every pixel after the frame is drawn: the alpha of a 32-bit window, which the picture
  // leaves 0 and a compositing host would take for transparent. 0 for a window of 24 bits.
  std::uint32_t opaque_bits = 0;
  picture_state picture;
};

// -aa draws into 32-bit pixels 0x00RRGGBB: ends the process with a message, status 1, unless the
// window takes them as they are (a TrueColor visual of 24 bits, or of 32 with alpha in the top
// byte). It looks at the host's window that find_host_window found, before anything is drawn
// into it, or at the screen that zorv's own window is made on.
void refuse_unless_smooth_window(const window_state& window);

// The colours and the image that carries the frames.
void prepare_smooth_window(smooth_window_state& smooth, window_state& window,
                           const viewer_settings& settings,
                           std::span<const rgb_colour> file_colours);

// Frees the image, its shared memory and the picture.
void release_smooth_window(smooth_window_state& smooth, window_state& window);

// After the window's size changed: an image the new size.
void follow_smooth_resize(smooth_window_state& smooth, window_state& window);

// Draws the frame as a picture and puts it on the window.
void show_smooth_frame(smooth_window_state& smooth, window_state& window, frame_lists& lists,
                       const object_record& object);

} // namespace zorv
