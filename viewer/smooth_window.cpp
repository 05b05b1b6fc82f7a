#include "smooth_window.hpp"

#include "colours.hpp"
#include "fatal.hpp"

#include <X11/Xutil.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <vector>

namespace zorv {
namespace {

constexpr int image_bits_per_pixel = 32;
constexpr int native_byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;

// The picture's pixels, 0x00RRGGBB: where a visual has its channels.
constexpr unsigned long red_mask = 0xff0000;
constexpr unsigned long green_mask = 0x00ff00;
constexpr unsigned long blue_mask = 0x0000ff;
constexpr int colour_depth = 24;
constexpr int alpha_depth = 32; // the colour bits and 8 of alpha above them
constexpr std::uint32_t alpha_bits = 0xff000000;

bool takes_picture_pixels(const Visual* visual, int depth) {
  return visual->c_class == TrueColor && visual->red_mask == red_mask &&
         visual->green_mask == green_mask && visual->blue_mask == blue_mask &&
         (depth == colour_depth || depth == alpha_depth);
}

// A TrueColor visual of the right depth whose channels lie elsewhere, such as 0x00BBGGRR.
bool colour_order_differs(const Visual* visual, int depth) {
  return visual->c_class == TrueColor && (depth == colour_depth || depth == alpha_depth);
}

const char* class_name(int visual_class) {
  switch (visual_class) {
  case StaticGray:
    return "StaticGray";
  case GrayScale:
    return "GrayScale";
  case StaticColor:
    return "StaticColor";
  case PseudoColor:
    return "PseudoColor";
  case TrueColor:
    return "TrueColor";
  case DirectColor:
    return "DirectColor";
  default:
    return "a visual of an unknown class";
  }
}

// The picture holds 0 where a 32-bit window keeps its alpha.
void make_opaque(const smooth_window_state& smooth) {
  const XImage* image = smooth.image;
  for (int y = 0; y < image->height; ++y) {
    auto* row =
        reinterpret_cast<std::uint32_t*>(image->data + std::ptrdiff_t{y} * image->bytes_per_line);
    for (int x = 0; x < image->width; ++x) row[x] |= smooth.opaque_bits;
  }
}

// The picture is drawn into the image's memory directly: its rows must be a cairo image's rows.
bool suits_cairo(const XImage* image, int width) {
  return image->bits_per_pixel == image_bits_per_pixel &&
         image->bytes_per_line == cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width);
}

std::size_t image_bytes(const XImage* image, int height) {
  return static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(height);
}

// The segment is removed from the system once both sides have let go of it. An attach that the
// server refuses (it does not share this machine's memory) stops further tries.
bool make_shared_image(smooth_window_state& smooth, window_state& window, int width, int height) {
  XShmSegmentInfo& segment = smooth.segment; // the image refers to it while it lives
  segment = {};
  XImage* image = XShmCreateImage(window.display, window.visual,
                                  static_cast<unsigned>(window.depth), ZPixmap, nullptr, &segment,
                                  static_cast<unsigned>(width), static_cast<unsigned>(height));
  if (image == nullptr) return false;
  if (!suits_cairo(image, width) || image->byte_order != native_byte_order) {
    XDestroyImage(image);
    return false;
  }
  segment.shmid = shmget(IPC_PRIVATE, image_bytes(image, height), IPC_CREAT | 0600);
  if (segment.shmid < 0) {
    XDestroyImage(image);
    return false;
  }
  void* memory = shmat(segment.shmid, nullptr, 0);
  if (memory == reinterpret_cast<void*>(-1)) {
    shmctl(segment.shmid, IPC_RMID, nullptr);
    XDestroyImage(image);
    return false;
  }
  segment.shmaddr = image->data = static_cast<char*>(memory);
  segment.readOnly = False;
  shared_memory_refused(); // forgets any earlier refusal
  XShmAttach(window.display, &segment);
  XSync(window.display, False);
  shmctl(segment.shmid, IPC_RMID, nullptr);
  if (shared_memory_refused()) {
    smooth.shm_opcode = 0;
    watch_shared_memory(0);
    XDestroyImage(image);
    shmdt(memory);
    return false;
  }
  smooth.image = image;
  smooth.shared = true;
  return true;
}

// The pixels in this process's memory, sent whole with each frame. Xlib turns them into the
// server's byte order where it differs.
bool make_plain_image(smooth_window_state& smooth, window_state& window, int width, int height) {
  const std::size_t bytes =
      static_cast<std::size_t>(cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width)) *
      static_cast<std::size_t>(height);
  char* pixels = static_cast<char*>(std::malloc(bytes));
  if (pixels == nullptr) return false;
  XImage* image = XCreateImage(window.display, window.visual, static_cast<unsigned>(window.depth),
                               ZPixmap, 0, pixels, static_cast<unsigned>(width),
                               static_cast<unsigned>(height), image_bits_per_pixel, 0);
  if (image == nullptr) {
    std::free(pixels);
    return false;
  }
  if (!suits_cairo(image, width)) {
    XDestroyImage(image); // frees the pixels too
    return false;
  }
  image->byte_order = native_byte_order;
  smooth.image = image;
  smooth.shared = false;
  return true;
}

void release_image(smooth_window_state& smooth, window_state& window) {
  release_picture(smooth.picture);
  XImage* image = smooth.image;
  if (image == nullptr) return;
  if (smooth.shared) {
    XShmDetach(window.display, &smooth.segment);
    XDestroyImage(image); // the image record alone: its pixels are the segment's
    shmdt(smooth.segment.shmaddr);
  } else {
    XDestroyImage(image);
  }
  smooth.image = nullptr;
  smooth.shared = false;
}

// An image the size of the window (up to largest_side a side), with the picture drawn into its
// pixels. When none can be had, frames are not shown until the next resize tries again.
void make_window_image(smooth_window_state& smooth, window_state& window) {
  release_image(smooth, window);
  const int width = std::clamp(window.geometry.window_width, 1, int{largest_side});
  const int height = std::clamp(window.geometry.window_height, 1, int{largest_side});
  const bool made = (smooth.shm_opcode != 0 && make_shared_image(smooth, window, width, height)) ||
                    make_plain_image(smooth, window, width, height);
  if (!made) return;
  if (!make_picture(smooth.picture, width, height,
                    reinterpret_cast<unsigned char*>(smooth.image->data),
                    smooth.image->bytes_per_line))
    release_image(smooth, window);
}

// The colours that the database and X's forms leave unread, as the window's server reads them:
// for these too the frames show the pixels that the window's colours have.
std::vector<display_colour> read_by_server(const window_state& window,
                                           const viewer_settings& settings,
                                           std::string_view database) {
  std::vector<display_colour> read;
  for (const colour_option& unread : unread_colours(settings, database)) {
    XColor exact{};
    if (XParseColor(window.display, window.colormap, unread.text.c_str(), &exact) != 0)
      read.push_back({unread.text, picture_colour(exact.red, exact.green, exact.blue)});
  }
  return read;
}

} // namespace

void refuse_unless_smooth_window(const window_state& window) {
  if (takes_picture_pixels(window.visual, window.depth)) return;
  if (!window.foreign_window)
    die(exit_status::usage, "ZORV: -aa needs a TrueColor screen of 24 bits.\n");
  die(exit_status::usage,
      "ZORV: -aa needs a TrueColor window of 24 or 32 bits: window 0x%lx is %s of %d bits%s.\n",
      window.window, class_name(window.visual->c_class), window.depth,
      colour_order_differs(window.visual, window.depth) ? " with its colours in another order"
                                                        : "");
}

void prepare_smooth_window(smooth_window_state& smooth, window_state& window,
                           const viewer_settings& settings,
                           std::span<const rgb_colour> file_colours) {
  const std::string database = read_colour_database();
  smooth.picture.colours =
      colours_for(settings, database, read_by_server(window, settings, database));
  add_file_colours(smooth.picture.colours, file_colours);
  smooth.picture.line_width = settings.line_width;
  smooth.opaque_bits = window.depth == alpha_depth ? alpha_bits : 0;
  int event = 0;
  int error = 0;
  if (XQueryExtension(window.display, "MIT-SHM", &smooth.shm_opcode, &event, &error) == False)
    smooth.shm_opcode = 0;
  watch_shared_memory(smooth.shm_opcode);
  make_window_image(smooth, window);
}

void release_smooth_window(smooth_window_state& smooth, window_state& window) {
  if (window.display == nullptr) {
    release_picture(smooth.picture);
    return;
  }
  release_image(smooth, window);
}

void follow_smooth_resize(smooth_window_state& smooth, window_state& window) {
  make_window_image(smooth, window);
}

// The whole window's pixels in one request: nothing is cleared first, so nothing flickers. The
// server has read the previous frame's shared pixels by the time the next frame is drawn into
// them: follow_resize's round trip comes between.
void show_smooth_frame(smooth_window_state& smooth, window_state& window, frame_lists& lists,
                       const object_record& object) {
  XImage* image = smooth.image;
  if (image == nullptr) return;
  render_picture(smooth.picture, lists, object);
  if (smooth.opaque_bits != 0) make_opaque(smooth);
  const auto width = static_cast<unsigned>(image->width);
  const auto height = static_cast<unsigned>(image->height);
  if (smooth.shared)
    XShmPutImage(window.display, window.window, window.gc, image, 0, 0, 0, 0, width, height, False);
  else
    XPutImage(window.display, window.window, window.gc, image, 0, 0, 0, 0, width, height);
}

} // namespace zorv
