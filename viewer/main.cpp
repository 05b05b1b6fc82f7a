// zorv: shows a four-dimensional wireframe object turning in an X window.
//
// The life of the process: print the banner (not for -quiet or a host's window), make the one
// viewer record and start it (the settings from the command line, with the run mode decided at its
// end; the view; the object from its file; the frame target), then run in the mode chosen. In a
// window of its own the process forks: the parent reports the child's pid and ends, the child runs
// the frame loop until it is killed. In a screen-saver host's window (-root, -window-id) the
// process that the host started runs the loop until the host ends it. With -o there is no display
// and no fork: the process writes the picture file and ends.
//
// The modules of viewer/, in layers: each includes only modules of its own layer or below.
//   1. Tools: fatal (the progress report, and how the process ends), scan and number_stream
//      (numbers as scanf reads them), text_window and big_arrays (reading large files), colours
//      (X's colour names).
//   2. The object and the options: object (the record), reading (what both readers share:
//      numbers read ahead, counts, refusals naming the line), zorv_file and off (the readers of
//      zorv's own files and of OFF and SKEL files, with their colours), fit (an object moved and
//      scaled to the frame), load (which reader a file needs, and which objects are fitted);
//      settings (the command line and the run mode, read-only once parsed).
//   3. The frame: view (what changes while the viewer runs), geometry (points to segments),
//      depth (-wc's steps), colour_groups (the lines grouped by the file's colours),
//      line_raster (anti-aliased segments on 32-bit pixels), picture (a frame drawn off screen
//      on a cairo image, with line_raster).
//   4. The frame targets, side by side, and input: window (the X side both windows share),
//      plain_window (XDrawSegments, -bb, -wc), smooth_window (-aa), png_picture (a frame's
//      pixels as a PNG), gif_codes (a GIF frame's LZW codes), vector_picture (a frame in
//      cairo's vector strokes: SVG, PDF, EPS), picture_file (-o); input (events read as the
//      user's requests).
//   5. The running viewer: viewer (the record and its start-up), animation (every loop, the
//      pacing, the one frame seam show_frame, and acting on what the user asks).
// Start reading at start_viewer (viewer.cpp), then run_frame (animation.cpp).
#include "animation.hpp"
#include "fatal.hpp"
#include "viewer.hpp"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <new>
#include <unistd.h>

namespace {

// A descriptor among 0, 1 and 2 that the caller closed would be the next one opened: the X
// connection could become standard output and take the progress messages into its protocol
// stream. Each closed one is opened on /dev/null, lowest first, so each open lands on its own.
void open_standard_descriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY) != fd) return;
  }
}

// The one viewer record of the process; it lives until the process ends.
std::unique_ptr<zorv::viewer> allocate_viewer() {
  try {
    return std::make_unique<zorv::viewer>();
  } catch (const std::bad_alloc&) {
    zorv::die_of_memory();
  }
}

} // namespace

int main(int argc, char** argv) {
  open_standard_descriptors();
  // Line by line even into a pipe or a file, so that progress and errors on the two streams keep
  // their order and nothing is left in the buffer to be written twice after the fork.
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  if (zorv::starts_quietly(argc, argv)) zorv::silence_report();
  zorv::report("\nzorv v%s, by Quenlor\n", zorv::version);

  const std::unique_ptr<zorv::viewer> viewer = allocate_viewer();
  zorv::start_viewer(*viewer, argc, argv);
  switch (viewer->settings.mode) {
  case zorv::run_mode::picture_file:
    zorv::write_picture(*viewer);
    zorv::end_process(zorv::exit_status::success);
  case zorv::run_mode::host_window:
    zorv::animate_in_place(*viewer);
  case zorv::run_mode::own_window:
    zorv::fork_and_animate(*viewer);
  }
}
