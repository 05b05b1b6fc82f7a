// The background process and its endless frame loop.
#pragma once

#include "display.hpp"
#include "object.hpp"
#include "settings.hpp"

#include <cstdint>

namespace zorv {

// -fps: frames start on a fixed schedule of the monotonic clock, one period apart.
struct frame_pacer {
  std::int64_t period;     // nanoseconds
  std::int64_t next_start; // monotonic nanoseconds; 0 until the first frame
};

frame_pacer start_pacing(float frame_rate);

// Sleeps until the next frame's start and schedules the one after it. A frame that starts late
// moves the schedule to now rather than bringing a burst of frames to catch up.
void wait_for_frame_start(frame_pacer& pacer);

void advance_angles(object_record& object, const viewer_settings& settings);

// One frame: build, follow a resize, erase, draw, advance, refresh the trigonometry.
void run_frame(display_state& state, viewer_settings& settings, object_record& object);

// One frame of the -fps loop: waits for its start, runs it and sends it to the server.
void run_paced_frame(display_state& state, viewer_settings& settings, object_record& object,
                     frame_pacer& pacer);

// Without end; paced when settings.frame_rate is positive.
[[noreturn]] void run_animation(display_state& state, viewer_settings& settings,
                                object_record& object);

// Prints " Forking...", then splits: the parent prints the child's pid and ends with status 0,
// the child runs run_animation. A failed fork ends the process with status 255.
[[noreturn]] void fork_and_animate(display_state& state, viewer_settings& settings,
                                   object_record& object);

} // namespace zorv
