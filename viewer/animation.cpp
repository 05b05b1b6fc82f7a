// The viewer's background life: after the window is up the process splits, the parent reports
// the child's pid and ends, and the child draws frame after frame until it is killed. Nothing
// paces the loop but the round trip to the server that follow_resize makes every frame.
#include "animation.hpp"

#include "geometry.hpp"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace zorv {

namespace {

constexpr int fork_failure_status = 255;
constexpr int parent_status = 0;

// The child writes nothing to standard output. Letting go of it means that a pipe reading the
// viewer's report, as in `zorv torus.zorv | tee log`, ends with the parent instead of waiting for
// the child to be killed. Standard error stays, for Xlib's last word on a lost connection.
void release_standard_output() {
  const int null_device = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null_device < 0) return;
  dup2(null_device, STDOUT_FILENO);
  close(null_device);
}

} // namespace

void advance_angles(object_record& object, const viewer_settings& settings) {
  for (int plane = 0; plane < plane_count; ++plane)
    object.planes[plane].angle += settings.increments[plane];
}

void run_frame(display_state& state, viewer_settings& settings, object_record& object) {
  build_frame(object, settings, state.geometry, state.segments);
  follow_resize(state, settings, object);
  erase_previous(state, settings, object);
  draw_current(state, settings, object);
  advance_angles(object, settings);
  refresh_trig(object);
}

// A lost connection ends the process through Xlib's default I/O error handler.
void run_animation(display_state& state, viewer_settings& settings, object_record& object) {
  for (;;) run_frame(state, settings, object);
}

void fork_and_animate(display_state& state, viewer_settings& settings, object_record& object) {
  std::printf(" Forking...");
  // Whatever is still buffered must come out once, from the parent, not once per process.
  std::fflush(stdout);
  const pid_t child = fork();
  if (child < 0) {
    std::fputs("zorv: error creating child process.\n", stderr);
    std::exit(fork_failure_status);
  }
  if (child > 0) {
    std::printf("My pid is %d.\n", static_cast<int>(child));
    std::printf("Thanks for enjoying zorv!\n");
    std::fflush(stdout);
    // The display connection now belongs to the child: end without any clean-up that could
    // touch it.
    std::_Exit(parent_status);
  }
  release_standard_output();
  run_animation(state, settings, object);
}

} // namespace zorv
