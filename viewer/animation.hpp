// The background process and its endless frame loop, or the frame loop in the process that a
// screen-saver host started.
#pragma once

#include "object.hpp"
#include "settings.hpp"
#include "viewer.hpp"

#include <cstdint>

namespace zorv {

// -fps: frames start on a fixed schedule of the monotonic clock, one period apart.
struct frame_pacer {
  std::int64_t period;     // nanoseconds
  std::int64_t next_start; // monotonic nanoseconds; 0 until the first frame
};

frame_pacer start_pacing(float frame_rate);

// Sleeps until the next frame's start and schedules the one after it, returning true. A frame
// that starts late moves the schedule to now rather than bringing a burst of frames to catch up.
// With a descriptor (-1 for none), the sleep also ends, returning false and scheduling nothing,
// as soon as the descriptor has something to read.
bool wait_for_frame_start(frame_pacer& pacer, int wake = -1);

// Adds each plane's increment to its angle; an angle that reaches 4 pi loses its whole turns.
void advance_angles(object_record& object, const viewer_settings& settings);

// One frame: make its segments, show them (follow a resize, erase, draw), advance the angles and
// refresh the trigonometry. While the user has paused the motion (-i), the angles stay.
void run_frame(viewer& v);

// One frame of the -fps loop: waits for its start, runs it and sends it to the server. While it
// waits it reads what the server sends, so that it notices at once a display that went away or a
// window that was destroyed, whatever the rate.
void run_paced_frame(viewer& v, frame_pacer& pacer);

// One step of the -i loop: a frame as run_frame draws it (run_paced_frame when the pacer has a
// period, as -fps gives it), unless the user has paused the motion and nothing has changed the
// view or the window since the last frame. Then it sleeps on the connection, with no time limit,
// and reads what comes.
void run_interactive_frame(viewer& v, frame_pacer& pacer);

// Without end; paced at frame_rate_cap of the settings when that is positive. With -i it reads
// the user's input, and sleeps while the user has paused the motion.
[[noreturn]] void run_animation(viewer& v);

// run_animation in this process, for a host's window: the host keeps the pid it started and ends
// it with SIGTERM, which (like SIGINT) ends it however it was inherited.
[[noreturn]] void animate_in_place(viewer& v);

// Prints " Forking...", then splits: the parent prints the child's pid and ends with status 0,
// the child runs run_animation. A failed fork ends the process with status 255.
[[noreturn]] void fork_and_animate(viewer& v);

} // namespace zorv
