// frame_capture - renders an object with the viewer's own frame loop on the display named by
// DISPLAY and writes the window's inside as PPM images, a fixed number of frames apart:
//
//   frame_capture <prefix> <captures> <frames between captures> <zorv arguments...>
//
// Unlike a screenshot of a running zorv, every capture shows a known frame, so the pictures and
// the animation in the README come out the same on every run.
#include "animation.hpp"
#include "viewer.hpp"

#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int usage_status = 2;

// Writes the window's inside as a binary PPM.
bool write_window(const zorv::display_state& state, const std::string& path) {
  const int width = state.geometry.window_width;
  const int height = state.geometry.window_height;
  XImage* image = XGetImage(state.display, state.window, 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image == nullptr) return false;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    XDestroyImage(image);
    return false;
  }
  std::fprintf(file, "P6\n%d %d\n255\n", width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      const unsigned char rgb[3] = {static_cast<unsigned char>(pixel >> 16),
                                    static_cast<unsigned char>(pixel >> 8),
                                    static_cast<unsigned char>(pixel)};
      std::fwrite(rgb, 1, sizeof rgb, file);
    }
  }
  XDestroyImage(image);
  return std::fclose(file) == 0;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fputs("usage: frame_capture <prefix> <captures> <frames between captures> "
               "<zorv arguments...>\n",
               stderr);
    return usage_status;
  }
  const std::string prefix = argv[1];
  const int captures = std::atoi(argv[2]);
  const int frames_between = std::atoi(argv[3]);

  // The viewer's start-up, with the arguments after ours as its command line.
  std::vector<const char*> zorv_argv{"zorv"};
  for (int i = 4; i < argc; ++i) zorv_argv.push_back(argv[i]);
  zorv::viewer viewer{};
  zorv::start_viewer(viewer, static_cast<int>(zorv_argv.size()), zorv_argv.data());

  for (int capture = 0; capture < captures; ++capture) {
    for (int frame = 0; frame < frames_between; ++frame) zorv::run_frame(viewer);
    char number[16];
    std::snprintf(number, sizeof number, "%03d", capture);
    if (!write_window(viewer.display, prefix + number + ".ppm")) {
      std::perror("frame_capture");
      return 1;
    }
  }
  return 0;
}
