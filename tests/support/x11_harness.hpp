// A private X server for tests and benchmarks: starts Xvfb on a free display, runs the real zorv
// binary against it or a viewer in this process, reads pixels back and stops every process it
// started by its pid.
#pragma once

#include "run_program.hpp"
#include "viewer.hpp"

#include <X11/Xlib.h>

#include <chrono>
#include <deque>
#include <ostream>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace zorv::x11test {

using namespace std::chrono_literals;

// Generous: the tests also run under the sanitizers on two busy cores.
inline constexpr std::chrono::milliseconds default_deadline = 20s;

// Polls done() until it holds or the deadline passes; returns its last answer.
template <typename Predicate>
bool wait_until(Predicate done, std::chrono::milliseconds deadline = default_deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(5ms);
  }
}

// True colour, as on most screens: pixels read back are 0xRRGGBB.
inline constexpr int default_depth = 24;

struct xvfb_server {
  pid_t pid = -1;
  std::string display_name; // ":N"
};

// Starts Xvfb with one screen of the given size and depth, and any further server arguments
// (such as "-extension", "DOUBLE-BUFFER" to leave one out), and waits until it accepts
// connections. A positive memory limit caps the server's address space (RLIMIT_AS), for a
// server short of memory. Returns a server with pid -1 if it could not be started.
xvfb_server start_xvfb(int width, int height, int depth = default_depth,
                       const std::vector<std::string>& extra_arguments = {},
                       std::size_t memory_limit = 0);

// SIGKILL and reap. Safe to call twice.
void stop_xvfb(xvfb_server& server);

// Makes this process the reaper of its orphaned descendants, so that the viewer's background
// process, whose parent ends at once, can be waited for here.
void adopt_orphans();

// The living children of this process that run the program at binary: after adopt_orphans, the
// background processes of the viewers it started, whatever they printed.
std::vector<pid_t> children_running(const std::string& binary);

// True once the process has ended (reaping it if it is ours) or no longer exists.
bool process_gone(pid_t pid);

// Kills a process that is not necessarily our child, by pid, and waits until it is gone.
void stop_process(pid_t pid);

// The CPU time a process has used so far, user and system together, in clock ticks
// (sysconf(_SC_CLK_TCK) of them a second); 0 if it cannot be read.
long cpu_ticks(pid_t pid);

// The status of a process we waited for: the exit code, or 128 + signal.
struct reaped_status {
  bool exited = false;
  int code = -1;
};

// Waits for an adopted or own child; exited is false if it did not end before the deadline.
reaped_status wait_for_end(pid_t pid, std::chrono::milliseconds deadline = default_deadline);

// A private directory for object files and captured output, removed with its contents.
using testrun::make_temp_dir;
using testrun::read_file;
using testrun::remove_temp_dir;
using testrun::write_file;

// A test's own X server and its connection to it, a directory for the viewer's files, the
// background processes of the viewers started there and the viewers started in this process.
struct viewer_session {
  xvfb_server server;
  Display* display = nullptr;
  std::string dir;
  std::vector<pid_t> children;
  std::deque<viewer> viewers;
};

// Starts Xvfb with a square screen and any further server arguments, connects to it and makes
// the directory. Returns what failed, empty if nothing did; close_session ends what did start.
std::string open_session(viewer_session& session, int screen_side,
                         const std::vector<std::string>& server_arguments = {});

// Closes the connections (the session's and its viewers') and stops the server, then starts a fresh
// one with these arguments and connects to it. Returns what failed, empty if nothing did.
std::string restart_server(viewer_session& session, int screen_side,
                           const std::vector<std::string>& server_arguments,
                           std::size_t memory_limit = 0);

// Stops the background processes, closes the connections, stops the server, removes the directory.
void close_session(viewer_session& session);

// One run of the viewer's foreground process.
struct zorv_run {
  int status = -1; // exit status of the foreground process, -1 if it did not end in time
  std::string out;
  std::string err;
  pid_t child = -1; // the background process's pid as printed, -1 if none was printed
};

// Runs the program (zorv, or valgrind or a shell that runs it) in dir with DISPLAY set to
// display_name, through run_program: standard output and error go to out.txt and err.txt there.
// Waits for the foreground process to end, and kills it at the deadline.
zorv_run run_zorv(const std::string& binary, const std::string& dir,
                  const std::string& display_name, const std::vector<std::string>& arguments);

// Runs the real program (binary) as a process, as a user starts it: on object.zorv (written from
// object_text) in the session's directory and the options after it, waiting for the foreground
// process. The background process is kept in the session's children.
zorv_run start_viewer_process(viewer_session& session, const std::string& binary,
                              const std::string& object_text, std::vector<std::string> options);

// Starts the real program (binary) as a screen-saver host starts it, on object.zorv (written
// from object_text) in the session's directory and the options after it, and returns its pid
// without waiting: that process draws. It is kept in the session's children. The run options
// may add environment or hold signals; the directory and DISPLAY come from the session.
pid_t start_hosted_viewer(viewer_session& session, const std::string& binary,
                          const std::string& object_text, std::vector<std::string> options,
                          testrun::run_options run = {});

// Stops one viewer's background process, so that the next one has the screen to itself.
void stop_viewer(viewer_session& session, const zorv_run& run);

// Starts a viewer in this process as the program starts one, up to the fork, on the session's
// server: the object text goes into a file of the session's directory, and the command line is
// that file's name and the options. The viewer stays in the session until its server stops.
viewer& start_local_viewer(viewer_session& session, const std::string& object_text,
                           const std::vector<std::string>& options);

// A rectangle of pixels read from the root window.
struct pixel_area {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  std::vector<unsigned long> pixels;
  unsigned long at(int x, int y) const {
    return pixels[static_cast<std::size_t>((y - top) * width + (x - left))];
  }
};

// From a window or pixmap.
pixel_area read_drawable(Display* display, Drawable drawable, int left, int top, int width,
                         int height);

// From the root window of the given screen (-1: the display's default screen).
pixel_area read_root(Display* display, int left, int top, int width, int height, int screen = -1);

// From (0, 0) of any drawable: a window of any depth, a pixmap or a root window.
pixel_area read_drawable(Display* display, Drawable drawable, int width, int height);

// A mapped top-level window without a border at the top left of the default screen, as a host
// makes one for its saver, with the background pixel. Depth 0 gives the screen's default depth
// and visual; another depth a visual of that depth and class with a colormap of its own, or no
// window (0) where the screen has no such visual.
Window make_host_window(Display* display, int width, int height, unsigned long background,
                        int depth = 0, int visual_class = TrueColor);

// The window's inside starts this far into the root window: its border is 2 pixels wide.
inline constexpr int border = 2;
// The viewer's window starts this many pixels wide and high, at the top left of the screen.
inline constexpr int window_side = 650;

// Reads the inside of a window at (0, 0) in window coordinates.
pixel_area read_window(Display* display, int width, int height, int screen = -1);

// The smallest box holding every pixel of one value, in the area's coordinates.
struct pixel_box {
  int left = 0;
  int top = 0;
  int right = -1;
  int bottom = -1;
  long count = 0;
  bool operator==(const pixel_box&) const = default;
};

pixel_box find_pixels(const pixel_area& area, unsigned long pixel);
std::ostream& operator<<(std::ostream& out, const pixel_box& box);

// The top-level windows of the default screen (the viewer's window when it runs alone).
std::vector<Window> top_level_windows(Display* display);

// The top-level window at the top of the stacking order, 0 if there is none: the window of the
// viewer started last.
Window viewer_window(Display* display);

// The user's input, sent through the XTest extension as if from the keyboard and the mouse: the
// server delivers it as it would real input. Each call waits until the server has it.

// Gives the window the keyboard focus and puts the pointer over its inside.
void focus_window(Display* display, Window window);

// Presses and releases the key that gives the keysym, with Shift held down around it if asked.
void press_key(Display* display, KeySym key, bool shift = false);

// Presses the button at one point of the root window, moves the pointer to the other in one
// motion and releases it there, with Shift held down around it all if asked.
void drag(Display* display, unsigned button, int from_x, int from_y, int to_x, int to_y,
          bool shift = false);

// Presses and releases a button where the pointer is (Button4 and Button5: a notch of the wheel).
void click(Display* display, unsigned button);

// Sends the window's client the message of a window manager's close button (WM_DELETE_WINDOW).
void send_close_request(Display* display, Window window);

// Opens a connection whose protocol errors are counted instead of ending the process.
Display* open_test_display(const std::string& display_name);
int protocol_error_count();

} // namespace zorv::x11test
