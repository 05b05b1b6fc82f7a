#include "x11_harness.hpp"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zorv::x11test {

namespace {

constexpr int exec_failure_status = 127;

std::vector<char*> argument_vector(std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  return argv;
}

void redirect(int fd, const char* path, int flags) {
  const int file = open(path, flags, 0600);
  if (file < 0) _exit(exec_failure_status);
  dup2(file, fd);
  close(file);
}

// Reads the display number that Xvfb writes, once ready, to the descriptor named by
// -displayfd. Empty if the server ended or the deadline passed first.
std::string read_display_number(int fd, std::chrono::milliseconds deadline) {
  std::string number;
  const auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    pollfd waiting{fd, POLLIN, 0};
    if (poll(&waiting, 1, static_cast<int>(left.count())) <= 0) continue;
    char c;
    const ssize_t got = read(fd, &c, 1);
    if (got <= 0) return {};
    if (c == '\n') return number;
    number += c;
  }
}

bool is_zombie(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(stat, text);
  const std::size_t close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

int error_count = 0;

int count_error(Display*, XErrorEvent*) {
  ++error_count;
  return 0;
}

pid_t printed_pid(const std::string& out) {
  const std::string marker = "My pid is ";
  const std::size_t at = out.find(marker);
  if (at == std::string::npos) return -1;
  return static_cast<pid_t>(std::atol(out.c_str() + at + marker.size()));
}

} // namespace

xvfb_server start_xvfb(int width, int height, int depth,
                       const std::vector<std::string>& extra_arguments, std::size_t memory_limit) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return {};
  std::vector<std::string> words = {
      "Xvfb",
      "-displayfd",
      "3",
      "-screen",
      "0",
      std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth),
      "-nolisten",
      "tcp",
      "-noreset"};
  words.insert(words.end(), extra_arguments.begin(), extra_arguments.end());
  std::vector<char*> argv = argument_vector(words);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return {};
  }
  if (pid == 0) {
    // A test that dies without its teardown takes its server along, and with the server goes
    // any viewer drawing on it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(exec_failure_status);
    if (memory_limit > 0) {
      const rlimit limit{memory_limit, memory_limit};
      setrlimit(RLIMIT_AS, &limit);
    }
    // Xvfb is told to write to descriptor 3, which must survive the exec.
    if (fds[1] == 3)
      fcntl(3, F_SETFD, 0);
    else
      dup2(fds[1], 3);
    redirect(STDIN_FILENO, "/dev/null", O_RDONLY);
    redirect(STDOUT_FILENO, "/dev/null", O_WRONLY);
    redirect(STDERR_FILENO, "/dev/null", O_WRONLY);
    execvp(argv[0], argv.data());
    _exit(exec_failure_status);
  }
  close(fds[1]);
  const std::string number = read_display_number(fds[0], default_deadline);
  close(fds[0]);
  xvfb_server server{pid, ":" + number};
  if (number.empty()) stop_xvfb(server);
  return server;
}

void stop_xvfb(xvfb_server& server) {
  if (server.pid <= 0) return;
  kill(server.pid, SIGKILL);
  int status;
  while (waitpid(server.pid, &status, 0) < 0 && errno == EINTR) {
  }
  server.pid = -1;
}

void adopt_orphans() {
  prctl(PR_SET_CHILD_SUBREAPER, 1);
}

std::vector<pid_t> children_running(const std::string& binary) {
  std::vector<pid_t> found;
  std::error_code error;
  const std::filesystem::path program = std::filesystem::canonical(binary, error);
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string text;
    std::getline(stat, text);
    const std::size_t name_end = text.rfind(')');
    if (name_end == std::string::npos || name_end + 2 >= text.size()) continue;
    std::istringstream fields(text.substr(name_end + 2));
    char state = 0;
    pid_t parent = 0;
    fields >> state >> parent;
    if (parent != getpid() || state == 'Z') continue;
    if (std::filesystem::read_symlink(entry.path() / "exe", error) == program)
      found.push_back(static_cast<pid_t>(std::stol(name)));
  }
  return found;
}

bool process_gone(pid_t pid) {
  int status;
  const pid_t reaped = waitpid(pid, &status, WNOHANG);
  if (reaped == pid) return true;
  if (reaped == 0) return false; // our child, still running
  return kill(pid, 0) != 0 || is_zombie(pid);
}

void stop_process(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGKILL);
  wait_until([pid] { return process_gone(pid); });
}

long cpu_ticks(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(stat, text);
  const std::size_t name_end = text.rfind(')');
  if (name_end == std::string::npos || name_end + 2 > text.size()) return 0;
  std::istringstream fields(text.substr(name_end + 2));
  // After the name: state is field 3, utime field 14 and stime field 15.
  constexpr int first_field = 3;
  constexpr int user_field = 14;
  constexpr int system_field = 15;
  long ticks = 0;
  std::string field;
  for (int number = first_field; number <= system_field && fields >> field; ++number)
    if (number == user_field || number == system_field) ticks += std::atol(field.c_str());
  return ticks;
}

reaped_status wait_for_end(pid_t pid, std::chrono::milliseconds deadline) {
  const testrun::program_run run = testrun::wait_for_end(pid, deadline);
  return {run.ended, run.ended ? testrun::shell_status(run) : -1};
}

zorv_run run_zorv(const std::string& binary, const std::string& dir,
                  const std::string& display_name, const std::vector<std::string>& arguments) {
  testrun::run_options options;
  options.dir = dir;
  options.environment = {{"DISPLAY", display_name}};
  options.deadline = default_deadline;
  const testrun::program_run run = testrun::run_program(binary, arguments, options);
  return {run.ended ? testrun::shell_status(run) : -1, run.out, run.err, printed_pid(run.out)};
}

zorv_run start_viewer_process(viewer_session& session, const std::string& binary,
                              const std::string& object_text, std::vector<std::string> options) {
  write_file(session.dir + "/object.zorv", object_text);
  options.insert(options.begin(), "object.zorv");
  zorv_run run = run_zorv(binary, session.dir, session.server.display_name, options);
  if (run.child > 0) session.children.push_back(run.child);
  return run;
}

pid_t start_hosted_viewer(viewer_session& session, const std::string& binary,
                          const std::string& object_text, std::vector<std::string> options,
                          testrun::run_options run) {
  write_file(session.dir + "/object.zorv", object_text);
  options.insert(options.begin(), "object.zorv");
  run.dir = session.dir;
  run.environment.emplace_back("DISPLAY", session.server.display_name);
  const pid_t pid = testrun::start_program(binary, options, run);
  if (pid > 0) session.children.push_back(pid);
  return pid;
}

void stop_viewer(viewer_session& session, const zorv_run& run) {
  stop_process(run.child);
  std::erase(session.children, run.child);
}

namespace {

void disconnect_viewers(viewer_session& session) {
  for (viewer& v : session.viewers) close_viewer(v);
  session.viewers.clear();
}

} // namespace

std::string restart_server(viewer_session& session, int screen_side,
                           const std::vector<std::string>& server_arguments,
                           std::size_t memory_limit) {
  disconnect_viewers(session);
  if (session.display != nullptr) XCloseDisplay(session.display);
  session.display = nullptr;
  stop_xvfb(session.server);
  session.server =
      start_xvfb(screen_side, screen_side, default_depth, server_arguments, memory_limit);
  if (session.server.pid <= 0) return "Xvfb did not start";
  session.display = open_test_display(session.server.display_name);
  if (session.display == nullptr) return "cannot connect to Xvfb on " + session.server.display_name;
  return {};
}

std::string open_session(viewer_session& session, int screen_side,
                         const std::vector<std::string>& server_arguments) {
  const std::string failure = restart_server(session, screen_side, server_arguments);
  if (!failure.empty()) return failure;
  session.dir = make_temp_dir();
  return session.dir.empty() ? "cannot make a directory" : "";
}

void close_session(viewer_session& session) {
  for (const pid_t pid : session.children) stop_process(pid);
  session.children.clear();
  disconnect_viewers(session);
  if (session.display != nullptr) XCloseDisplay(session.display);
  session.display = nullptr;
  stop_xvfb(session.server);
  remove_temp_dir(session.dir);
  session.dir.clear();
}

viewer& start_local_viewer(viewer_session& session, const std::string& object_text,
                           const std::vector<std::string>& options) {
  const std::string path =
      session.dir + "/local-" + std::to_string(session.viewers.size()) + ".zorv";
  write_file(path, object_text);
  std::vector<const char*> argv{"zorv", path.c_str()};
  for (const std::string& option : options) argv.push_back(option.c_str());
  argv.push_back("-d");
  argv.push_back(session.server.display_name.c_str());
  viewer& v = session.viewers.emplace_back();
  start_viewer(v, static_cast<int>(argv.size()), argv.data());
  std::fflush(stdout);
  return v;
}

pixel_area read_drawable(Display* display, Drawable drawable, int left, int top, int width,
                         int height) {
  pixel_area area{left, top, 0, 0, {}};
  XImage* image = XGetImage(display, drawable, left, top, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image == nullptr) return area;
  area.width = width;
  area.height = height;
  area.pixels.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) area.pixels.push_back(XGetPixel(image, x, y));
  XDestroyImage(image);
  return area;
}

pixel_area read_root(Display* display, int left, int top, int width, int height, int screen) {
  const Window root = RootWindow(display, screen < 0 ? DefaultScreen(display) : screen);
  return read_drawable(display, root, left, top, width, height);
}

pixel_area read_drawable(Display* display, Drawable drawable, int width, int height) {
  return read_drawable(display, drawable, 0, 0, width, height);
}

Window make_host_window(Display* display, int width, int height, unsigned long background,
                        int depth, int visual_class) {
  const int screen = DefaultScreen(display);
  XSetWindowAttributes attributes{};
  attributes.background_pixel = background;
  unsigned long mask = CWBackPixel;
  Visual* visual = DefaultVisual(display, screen);
  if (depth == 0) {
    depth = DefaultDepth(display, screen);
  } else {
    XVisualInfo info{};
    if (XMatchVisualInfo(display, screen, depth, visual_class, &info) == 0) return 0;
    visual = info.visual;
    attributes.colormap = XCreateColormap(display, RootWindow(display, screen), visual, AllocNone);
    attributes.border_pixel = 0; // a window of another visual needs both
    mask |= CWColormap | CWBorderPixel;
  }
  const Window window = XCreateWindow(display, RootWindow(display, screen), 0, 0,
                                      static_cast<unsigned>(width), static_cast<unsigned>(height),
                                      0, depth, InputOutput, visual, mask, &attributes);
  XMapWindow(display, window);
  XSync(display, False);
  return window;
}

pixel_area read_window(Display* display, int width, int height, int screen) {
  pixel_area area = read_root(display, border, border, width, height, screen);
  area.left = 0;
  area.top = 0;
  return area;
}

pixel_box find_pixels(const pixel_area& area, unsigned long pixel) {
  pixel_box box;
  for (int y = area.top; y < area.top + area.height; ++y) {
    for (int x = area.left; x < area.left + area.width; ++x) {
      if (area.at(x, y) != pixel) continue;
      if (box.count == 0) {
        box.left = box.right = x;
        box.top = box.bottom = y;
      }
      box.left = std::min(box.left, x);
      box.right = std::max(box.right, x);
      box.top = std::min(box.top, y);
      box.bottom = std::max(box.bottom, y);
      ++box.count;
    }
  }
  return box;
}

std::ostream& operator<<(std::ostream& out, const pixel_box& box) {
  return out << "(" << box.left << "," << box.top << ")-(" << box.right << "," << box.bottom << ") "
             << box.count << " pixels";
}

std::vector<Window> top_level_windows(Display* display) {
  Window root;
  Window parent;
  Window* children = nullptr;
  unsigned count = 0;
  std::vector<Window> windows;
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0)
    return windows;
  windows.assign(children, children + count);
  if (children != nullptr) XFree(children);
  return windows;
}

Window viewer_window(Display* display) {
  const std::vector<Window> windows = top_level_windows(display);
  return windows.empty() ? 0 : windows.back();
}

void focus_window(Display* display, Window window) {
  XTestFakeMotionEvent(display, -1, border + window_side / 2, border + window_side / 2,
                       CurrentTime);
  XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
  XSync(display, False);
}

namespace {

void hold_shift(Display* display, bool down) {
  XTestFakeKeyEvent(display, XKeysymToKeycode(display, XK_Shift_L), down ? True : False,
                    CurrentTime);
}

} // namespace

void press_key(Display* display, KeySym key, bool shift) {
  const KeyCode code = XKeysymToKeycode(display, key);
  if (shift) hold_shift(display, true);
  XTestFakeKeyEvent(display, code, True, CurrentTime);
  XTestFakeKeyEvent(display, code, False, CurrentTime);
  if (shift) hold_shift(display, false);
  XSync(display, False);
}

void drag(Display* display, unsigned button, int from_x, int from_y, int to_x, int to_y,
          bool shift) {
  XTestFakeMotionEvent(display, -1, from_x, from_y, CurrentTime);
  if (shift) hold_shift(display, true);
  XTestFakeButtonEvent(display, button, True, CurrentTime);
  XTestFakeMotionEvent(display, -1, to_x, to_y, CurrentTime);
  XTestFakeButtonEvent(display, button, False, CurrentTime);
  if (shift) hold_shift(display, false);
  XSync(display, False);
}

void click(Display* display, unsigned button) {
  XTestFakeButtonEvent(display, button, True, CurrentTime);
  XTestFakeButtonEvent(display, button, False, CurrentTime);
  XSync(display, False);
}

void send_close_request(Display* display, Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  // With no event mask the event goes to the client that made the window.
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
}

Display* open_test_display(const std::string& display_name) {
  XSetErrorHandler(count_error);
  return XOpenDisplay(display_name.c_str());
}

int protocol_error_count() {
  return error_count;
}

} // namespace zorv::x11test
