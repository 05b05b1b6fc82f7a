// The X side of the viewer: one window on screen 0, drawn with the screen's own GC. A frame is
// one XDrawSegments request; the previous frame is erased by drawing its segments again in the
// background colour, or by clearing the window when the user asked for that (-cw).
#include "display.hpp"

#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>

namespace zorv {

namespace {

constexpr int screen_number = 0;
constexpr int window_x = 0;
constexpr int window_y = 0;
constexpr unsigned window_size = 650;
constexpr unsigned border_width = 2;
constexpr unsigned long border_pixel = 0;
// Pixels used when a colour is known to the server but cannot be allocated.
constexpr unsigned long background_fallback_pixel = 1;
constexpr unsigned long line_fallback_pixel = 6;
constexpr int display_failure_status = 1;

[[noreturn]] void fail(const char* message, int status) {
  std::fputs(message, stderr);
  std::exit(status);
}

// A name the server does not know leaves the pixel at 0; that is not an error.
unsigned long colour_pixel(Display* display, Colormap colormap, const std::string& name,
                           unsigned long fallback) {
  XColor exact;
  XColor screen;
  if (XLookupColor(display, colormap, name.c_str(), &exact, &screen) == 0) return 0;
  if (XAllocColor(display, colormap, &screen) == 0) return fallback;
  return screen.pixel;
}

// One entry per line, zero-filled. A negative count cannot be allocated, like any other
// impossible size.
bool allocate_segments(std::vector<XSegment>& list, std::int32_t count) {
  if (count < 0) return false;
  try {
    list.assign(static_cast<std::size_t>(count), XSegment{});
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

void store_size(window_geometry& geometry, int width, int height) {
  geometry.window_width = width;
  geometry.window_height = height;
  geometry.centre_x = width / 2;
  geometry.centre_y = height / 2;
}

float rescaled(float value, double factor) {
  return static_cast<float>(static_cast<double>(value) * factor);
}

int segment_count(const std::vector<XSegment>& list) {
  return static_cast<int>(list.size());
}

} // namespace

void connect_display(display_state& state, const viewer_settings& settings,
                     const object_record& object) {
  std::printf(" Opening display.\n");
  state.display = XOpenDisplay(settings.display_name.c_str());
  if (state.display == nullptr) fail("ZORV: Could not open display.\n", display_failure_status);
  Display* display = state.display;

  state.root = XDefaultRootWindow(display);
  state.colormap = XDefaultColormap(display, screen_number);
  state.background_pixel =
      colour_pixel(display, state.colormap, settings.background_colour, background_fallback_pixel);
  state.line_pixel =
      colour_pixel(display, state.colormap, settings.line_colour, line_fallback_pixel);

  state.gc = XDefaultGC(display, screen_number);
  XSetLineAttributes(display, state.gc, static_cast<unsigned>(settings.line_width), LineSolid,
                     CapButt, JoinMiter);

  state.window =
      XCreateSimpleWindow(display, state.root, window_x, window_y, window_size, window_size,
                          border_width, border_pixel, state.background_pixel);
  XSizeHints hints{};
  hints.flags = USPosition | PSize;
  hints.x = window_x;
  hints.y = window_y;
  hints.width = window_size;
  hints.height = window_size;
  XSetNormalHints(display, state.window, &hints);
  state.drawable = state.window;
  if (settings.show_title) {
    const std::string title = std::string("zorv v") + version;
    XStoreName(display, state.window, title.c_str());
  }

  std::printf(" Mapping window.\n");
  XMapRaised(display, state.window);
  XSync(display, False);
  XSelectInput(display, state.window, StructureNotifyMask);

  XSetForeground(display, state.gc, state.line_pixel);
  XSetBackground(display, state.gc, state.background_pixel);
  XClearWindow(display, state.window);

  if (!allocate_segments(state.segments, object.line_count))
    fail("ZORV: could not allocate segment stucture.\n", allocation_status);
  if (!allocate_segments(state.erased, object.line_count))
    fail("ZORV: could not allocate erase segment structure.\n", allocation_status);

  read_window_size(state);
}

void read_window_size(display_state& state) {
  XGetWindowAttributes(state.display, state.window, &state.attributes);
  store_size(state.geometry, state.attributes.width, state.attributes.height);
}

void follow_resize(display_state& state, viewer_settings& settings, object_record& object) {
  window_geometry& geometry = state.geometry;
  // X allows sides up to 65535, so the area needs 64 bits (46341 x 46341 already overflows 32).
  const std::int64_t old_area = std::int64_t{geometry.window_width} * geometry.window_height;
  XGetWindowAttributes(state.display, state.window, &state.attributes);
  const int width = state.attributes.width;
  const int height = state.attributes.height;
  if (width == geometry.window_width && height == geometry.window_height) return;
  store_size(geometry, width, height);
  if (!settings.rescale_on_resize) return;

  // The object keeps its size relative to the geometric mean of the sides.
  const std::int64_t new_area = std::int64_t{width} * height;
  const double factor =
      std::sqrt(static_cast<double>(new_area)) / std::sqrt(static_cast<double>(old_area));
  for (float& entry : object.scale) entry = rescaled(entry, factor);
  settings.z_distance = rescaled(settings.z_distance, factor);
  settings.w_distance = rescaled(settings.w_distance, factor);
}

void erase_previous(display_state& state, const viewer_settings& settings,
                    const object_record& /*object*/) {
  if (settings.clear_each_frame) {
    XClearWindow(state.display, state.window);
    return;
  }
  XSetForeground(state.display, state.gc, state.background_pixel);
  XDrawSegments(state.display, state.drawable, state.gc, state.erased.data(),
                segment_count(state.erased));
  XSetForeground(state.display, state.gc, state.line_pixel);
}

void draw_current(display_state& state, const viewer_settings& settings,
                  const object_record& /*object*/) {
  if (!settings.clear_each_frame && !state.segments.empty())
    std::copy(state.segments.begin(), state.segments.end(), state.erased.begin());
  XDrawSegments(state.display, state.drawable, state.gc, state.segments.data(),
                segment_count(state.segments));
}

} // namespace zorv
