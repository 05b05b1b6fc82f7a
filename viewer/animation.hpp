// The loops that run the frames, all in one room: the background process's endless loop, the loop
// in the process that a screen-saver host started, the interactive loop (-i) and the picture
// writer's (-o), with their pacing. Each frame goes to the frame target through show_frame, the
// one seam; the loops act on what the targets and the user's input report.
#pragma once

#include "object.hpp"
#include "viewer.hpp"

#include <array>
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

// Adds each plane's increment (radians) to its angle; an angle that reaches 4 pi loses its whole
// turns.
void advance_angles(object_record& object, const std::array<float, plane_count>& increments);

// Follows a new size of the window: the view keeps the object's size relative to the window
// (unless -ns), and the window target follows (a pixmap or an image of the new size).
void follow_window_size(viewer& v);

// Puts the frame's segments on the frame target. In a window: follows a resize (rescaling the
// view unless -ns), takes the events that came (with -i acting on the user's requests), fills a
// host's window that was exposed or resized, then erases the previous frame and draws this one,
// or shows it as a picture (-aa); in a picture file (-o), draws it there.
void show_frame(viewer& v);

// One frame: make its segments, show them, advance the angles and refresh the trigonometry. While
// the user has paused the motion (-i), the angles stay. The frame holds every change of the view
// so far; a resize that it finds leaves the view changed, to be drawn again for the new size.
void run_frame(viewer& v);

// Reads what the server has sent, then takes the events as show_frame does.
void read_connection(viewer& v);

// One frame of the -fps loop: waits for its start, runs it and sends it to the server. While it
// waits it reads what the server sends, so that it notices at once a display that went away or a
// window that was destroyed, whatever the rate; a change of the view (-i), an exposure or a resize
// that it reads is drawn at once, with the angles of the frame on the window, and the frame on
// the schedule still comes at its time.
void run_paced_frame(viewer& v, frame_pacer& pacer);

// One step of the -i loop: a frame as run_frame draws it (run_paced_frame when the pacer has a
// period, as -fps gives it). While the user has paused the motion: the frame on the window drawn
// again at once if something changed the view or the window since it was made, else a sleep on
// the connection, with no time limit, reading what comes.
void run_interactive_frame(viewer& v, frame_pacer& pacer);

// Without end; paced at frame_rate_cap of the settings when that is positive. With -i it reads
// the user's input, and sleeps while the user has paused the motion.
[[noreturn]] void run_animation(viewer& v);

// run_animation in this process, for a host's window: the host keeps the pid it started and ends
// it with SIGTERM, which (like SIGINT) ends it however it was inherited.
[[noreturn]] void animate_in_place(viewer& v);

// -o: runs the frames that the picture file asks for, writes them and gives the file its name.
void write_picture(viewer& v);

// Prints " Forking...", then splits: the parent prints the child's pid and ends with status 0,
// the child runs run_animation. A failed fork ends the process with status 255.
[[noreturn]] void fork_and_animate(viewer& v);

} // namespace zorv
