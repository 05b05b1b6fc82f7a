// The viewer's running life. In a window of its own, after the window is up the process splits,
// the parent reports the child's pid and ends, and the child draws frame after frame until it is
// killed. Nothing paces the loop but the round trip to the server that follow_resize makes every
// frame, unless the frame rate is capped (-fps, or a host's window): then a loop of its own sleeps
// before each frame, and the loop without a cap does nothing else. With -i a third loop also
// sleeps while the user has paused the motion, and the user can end it. In a host's window the
// process that the host started draws, without a fork, until the host ends it. With -o the
// picture writer runs a fixed number of frames into the file.
#include "animation.hpp"

#include "fatal.hpp"
#include "geometry.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace zorv {

namespace {

bool is_pipe(int fd) {
  struct stat status {};
  return fstat(fd, &status) == 0 && (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
}

// The child writes nothing to standard output. Letting go of it means that a pipe reading the
// viewer's report, as in `zorv torus.zorv | tee log` or `$(zorv torus.zorv 2>&1)`, ends with the
// parent instead of waiting for the child to be killed. Standard error goes too when it is a
// pipe; a terminal or a file keeps it, for Xlib's last word on a lost connection.
void release_standard_streams() {
  const int null_device = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null_device < 0) return;
  dup2(null_device, STDOUT_FILENO);
  if (is_pipe(STDERR_FILENO)) dup2(null_device, STDERR_FILENO);
  close(null_device);
}

constexpr std::int64_t nanoseconds_per_second = 1'000'000'000;
// The longest frame period, so that the smallest positive rate still fits the clock's arithmetic.
constexpr double longest_period = 86400.0 * nanoseconds_per_second; // a day

std::int64_t monotonic_now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::int64_t{now.tv_sec} * nanoseconds_per_second + now.tv_nsec;
}

// Sleeps until the monotonic time `when`, or until the descriptor (if any) has something to read:
// true when the time has come.
bool sleep_until(std::int64_t when, int wake) {
  for (;;) {
    const std::int64_t left = when - monotonic_now();
    if (left <= 0) return true;
    const timespec timeout{static_cast<time_t>(left / nanoseconds_per_second),
                           static_cast<long>(left % nanoseconds_per_second)};
    pollfd watched{wake, POLLIN, 0};
    const int ready = ppoll(&watched, wake >= 0 ? 1 : 0, &timeout, nullptr);
    if (ready > 0) return false;
    if (ready < 0 && errno != EINTR) return false;
  }
}

[[noreturn]] void run_paced_animation(viewer& v, float frame_rate) {
  frame_pacer pacer = start_pacing(frame_rate);
  for (;;) run_paced_frame(v, pacer);
}

// A host ends its saver with SIGTERM (a terminal with SIGINT). Both may come ignored or blocked
// from whoever started the process, since an exec keeps either; their default action ends the
// process wherever it is, leaving the window to the host.
void end_on_termination_signals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int number : {SIGTERM, SIGINT}) {
    std::signal(number, SIG_DFL);
    sigaddset(&signals, number);
  }
  sigprocmask(SIG_UNBLOCK, &signals, nullptr);
}

// Sends what is buffered, then sleeps without a time limit until the server sends something, and
// reads it. Events that Xlib has already queued (it reads while it writes) are taken at once.
void wait_for_events(viewer& v) {
  Display* display = v.window.display;
  if (XPending(display) == 0) {
    pollfd watched{ConnectionNumber(display), POLLIN, 0};
    if (poll(&watched, 1, -1) < 0) return; // a signal: the caller looks again
  }
  read_connection(v);
}

bool same_size(const window_geometry& a, const window_geometry& b) {
  return a.window_width == b.window_width && a.window_height == b.window_height;
}

// -i: frames as without it while the motion runs; paused, frames only when something changed.
[[noreturn]] void run_interactive_animation(viewer& v) {
  const float frame_rate = frame_rate_cap(v.settings);
  frame_pacer pacer = frame_rate > 0.0f ? start_pacing(frame_rate) : frame_pacer{};
  for (;;) run_interactive_frame(v, pacer);
}

// An angle grows by its increment each frame in single precision, and the rounding of each sum
// grows with the angle: from 16 radians a sum may be off by 2^-20, 0.05% of a tenth of a degree,
// and the error doubles with every doubling of the angle until small increments are lost and the
// object stops. So an angle that reaches 4 pi is brought back by whole turns. Below 16 radians a
// sum is off by at most 2^-21, which keeps the speed of any increment of 0.1 degree or more
// within 0.03%; frames before the first turn back are the plain sums, bit for bit.
constexpr float turn_back_beyond = 12.566370614359172f; // 4 pi
constexpr double whole_turn = 6.283185307179586;        // 2 pi

// The angle less its whole turns, in (-2 pi, 2 pi): fmod is exact, and only the result is rounded.
float without_whole_turns(float angle) {
  return static_cast<float>(std::fmod(static_cast<double>(angle), whole_turn));
}

// What the user asked for (-i), done to the view, or to the viewer itself.
void act_on(viewer& v, const user_request& request) {
  view_record& view = v.view;
  switch (request.kind) {
  case request_kind::none:
    return;
  case request_kind::quit:
    close_viewer(v);
    end_process(exit_status::success);
  case request_kind::pause:
    view.paused = !view.paused;
    return;
  case request_kind::faster:
    change_speed(view, 1);
    return;
  case request_kind::slower:
    change_speed(view, -1);
    return;
  case request_kind::perspective:
    view.perspective = !view.perspective;
    view.changed = true;
    return;
  case request_kind::reset:
    reset_view(view, v.object, window_area(v.window.geometry), v.settings.rescale_on_resize);
    return;
  case request_kind::turn:
    for (int plane = 0; plane < plane_count; ++plane)
      if (request.turn[plane] != 0.0)
        turn_view(view, v.object, static_cast<plane_index>(plane), request.turn[plane]);
    view.changed = true;
    return;
  case request_kind::zoom_in:
    zoom_view(view, v.object, 1);
    return;
  case request_kind::zoom_out:
    zoom_view(view, v.object, -1);
    return;
  case request_kind::redraw:
    view.changed = true;
    return;
  }
}

// The events already read off the connection; with -i each one may be a request of the user's.
void take_events(viewer& v) {
  XEvent event;
  const bool reading = reads_input(v.settings);
  while (next_event(v.window, event))
    if (reading) act_on(v, read_request(v.input, event));
}

bool frame_due(const frame_pacer& pacer) {
  return pacer.next_start <= monotonic_now();
}

// What is drawn again at once, between two frames of the schedule: a view that the user changed
// (-i) or a window that was exposed or resized.
bool redraw_due(const viewer& v) {
  return v.view.changed || v.window.needs_fill;
}

// Shows a frame made for made_for. One that found the window resized was made for the old size:
// the view is then due again, for the new size, even while paused.
void show_made_frame(viewer& v, const window_geometry& made_for) {
  show_frame(v);
  if (!same_size(made_for, frame_geometry(v))) v.view.changed = true;
}

// The frame on the window again, for the view and the window as they stand but with the angles
// it was made with: the motion's next frame waits for its turn on the schedule.
void draw_again(viewer& v) {
  v.view.changed = false;
  const window_geometry made_for = frame_geometry(v);
  const std::array<plane_record, plane_count> next = v.object.planes;
  v.object.planes = v.view.shown_planes;
  build_frame(v.object, v.view, made_for, v.frame.segments);
  v.object.planes = next;
  show_made_frame(v, made_for);
  XFlush(v.window.display);
}

} // namespace

// The parser admits only rates in (0, max_frame_rate].
frame_pacer start_pacing(float frame_rate) {
  const double period = static_cast<double>(nanoseconds_per_second) / frame_rate;
  return {static_cast<std::int64_t>(std::min(period, longest_period)), 0};
}

bool wait_for_frame_start(frame_pacer& pacer, int wake) {
  const std::int64_t now = monotonic_now();
  if (pacer.next_start <= now)
    pacer.next_start = now;
  else if (!sleep_until(pacer.next_start, wake))
    return false;
  pacer.next_start += pacer.period;
  return true;
}

void advance_angles(object_record& object, const std::array<float, plane_count>& increments) {
  for (int plane = 0; plane < plane_count; ++plane) {
    float& angle = object.planes[plane].angle;
    angle += increments[plane];
    // An infinity or a NaN (from -xyinf) has no turns to take off.
    if (std::fabs(angle) >= turn_back_beyond && std::isfinite(angle))
      angle = without_whole_turns(angle);
  }
}

void follow_window_size(viewer& v) {
  const std::int64_t old_area = window_area(v.window.geometry);
  const bool resized = follow_resize(v.window);
  if (v.target == frame_target::plain_window) check_back_buffer(v.plain, v.window);
  if (!resized) return;
  if (v.settings.rescale_on_resize)
    rescale_view(v.view, v.object, old_area, window_area(v.window.geometry));
  if (v.target == frame_target::plain_window)
    follow_plain_resize(v.plain, v.window);
  else
    follow_smooth_resize(v.smooth, v.window);
}

void show_frame(viewer& v) {
  switch (v.target) {
  case frame_target::plain_window:
    follow_window_size(v);
    take_events(v);
    restore_background(v.window);
    show_plain_frame(v.plain, v.window, v.frame, v.object, v.settings.clear_each_frame);
    return;
  case frame_target::smooth_window:
    follow_window_size(v);
    take_events(v);
    restore_background(v.window);
    show_smooth_frame(v.smooth, v.window, v.frame, v.object);
    return;
  case frame_target::picture_file:
    show_picture_frame(v.picture, v.frame, v.object);
    return;
  }
}

void run_frame(viewer& v) {
  v.view.changed = false;
  v.view.shown_planes = v.object.planes;
  const window_geometry made_for = frame_geometry(v);
  build_frame(v.object, v.view, made_for, v.frame.segments);
  show_made_frame(v, made_for);
  if (v.view.paused) return;
  advance_angles(v.object, v.view.increments);
  refresh_trig(v.object);
}

void read_connection(viewer& v) {
  read_server(v.window);
  take_events(v);
}

// The frame's drawing is sent before the sleep, not with the next frame's round trip. Events
// that Xlib queued while it sent are taken first, since they would not wake the sleep.
void run_paced_frame(viewer& v, frame_pacer& pacer) {
  const int connection = ConnectionNumber(v.window.display);
  for (;;) {
    take_events(v);
    while (redraw_due(v) && !frame_due(pacer)) draw_again(v);
    if (wait_for_frame_start(pacer, connection)) break;
    read_server(v.window);
  }
  run_frame(v);
  XFlush(v.window.display);
}

// Paused, the motion keeps no schedule: a change is drawn at once.
void run_interactive_frame(viewer& v, frame_pacer& pacer) {
  if (v.view.paused) {
    if (v.view.changed)
      draw_again(v);
    else
      wait_for_events(v);
    return;
  }
  if (pacer.period > 0)
    run_paced_frame(v, pacer);
  else
    run_frame(v);
}

// A lost connection ends the process through Xlib's default I/O error handler.
void run_animation(viewer& v) {
  if (reads_input(v.settings)) run_interactive_animation(v);
  const float frame_rate = frame_rate_cap(v.settings);
  if (frame_rate > 0.0f) run_paced_animation(v, frame_rate);
  for (;;) run_frame(v);
}

void animate_in_place(viewer& v) {
  end_on_termination_signals();
  run_animation(v);
}

void write_picture(viewer& v) {
  const picture_output& output = v.picture.output;
  for (std::int32_t frame = 1; frame < output.first_frame; ++frame) {
    advance_angles(v.object, v.view.increments);
    refresh_trig(v.object);
  }
  for (std::int32_t frame = 0; frame < output.frame_count; ++frame) run_frame(v);
  finish_picture_file(v.picture);
}

void fork_and_animate(viewer& v) {
  // report writes at once: nothing is left buffered to come out once per process.
  report(" Forking...");
  const pid_t child = fork();
  if (child < 0) {
    die(exit_status::failure, "zorv: error creating child process.\n");
  }
  if (child > 0) {
    report_result("My pid is %d.\n", static_cast<int>(child));
    report("Thanks for enjoying zorv!\n");
    // The display connection now belongs to the child: end without any clean-up that could
    // touch it.
    std::_Exit(static_cast<int>(exit_status::success));
  }
  release_standard_streams();
  mark_drawing_process(v.window);
  run_animation(v);
}

} // namespace zorv
