// The real zorv program in a window of its own, against a private Xvfb: what the window shows
// and where, on which screen, how it follows a resize and -geometry, what -cw, -fps, -bb and -wc
// change, and the contract of its two processes: the parent reports the drawing child, which
// ends with its server or its window, lets go of a pipe reading the report and runs with a
// standard descriptor closed.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "torus.hpp"
#include "viewer_fixture.hpp"
#include "x11_harness.hpp"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace zorv {
namespace {

using namespace x11test;

constexpr unsigned long blue = 0x0000ff;

// Leaves the DOUBLE-BUFFER extension out, so that -bb falls back to a pixmap.
const std::vector<std::string> without_double_buffer = {"-extension", "DOUBLE-BUFFER"};

class OwnWindowTest : public viewer_fixture {
protected:
  // What the window shows once two reads in a row agree and show more than the background: a
  // whole frame, even where the window is cleared between frames.
  pixel_area steady_picture(int width, int height, unsigned long background) {
    pixel_area last;
    wait_until([&] {
      pixel_area now = read_window(display, width, height);
      const bool drawn = find_pixels(now, background).count < long{width} * height;
      const bool steady = drawn && now.pixels == last.pixels;
      last = std::move(now);
      return steady;
    });
    return last;
  }

  box_wait wait_for_box(const pixel_box& expected, unsigned long pixel, int width = window_side,
                        int height = window_side) {
    box_wait result{false, {}};
    result.matched = wait_until([&] {
      result.last = find_pixels(read_window(display, width, height), pixel);
      return result.last == expected;
    });
    return result;
  }
};

TEST_F(OwnWindowTest, PlacesTheObjectAroundTheWindowCentre) {
  struct placement_case {
    const char* what;
    std::string object;
    std::vector<std::string> options;
    pixel_box expected;
  };
  const placement_case cases[] = {
      {"x goes right", unit_x, {"-xy", "-np"}, segment(centre, centre, centre + 200, centre)},
      {"y goes up",
       line_to(0, 1, 0, 0),
       {"-xy", "-np"},
       segment(centre, centre - 200, centre, centre)},
      {"-s100 halves it",
       unit_x,
       {"-xy", "-np", "-s100"},
       segment(centre, centre, centre + 100, centre)},
      // w = 0.5 scales to 100: x grows by 430 / (430 - 100), 200 becomes 260.6.
      {"perspective along w",
       line_to(1, 0, 0, 0.5),
       {"-xy"},
       segment(centre, centre, centre + 260, centre)},
      // The same through z, with z scaled to 100.
      {"perspective along z",
       line_to(1, 0, 0.5, 0),
       {"-xy"},
       segment(centre, centre, centre + 260, centre)},
  };
  for (const placement_case& c : cases) {
    SCOPED_TRACE(c.what);
    const zorv_run run = start(c.object, c.options);
    const box_wait seen = wait_for_box(c.expected, red);
    EXPECT_TRUE(seen.matched) << "expected " << c.expected << ", saw " << seen.last;
    stop(run);
  }
}

TEST_F(OwnWindowTest, DrawsInTheChosenColoursAndLineWidth) {
  struct colour_case {
    std::vector<std::string> options;
    unsigned long line;
    unsigned long background;
    pixel_box expected;
  };
  const pixel_box thin = segment(centre, centre, centre + 200, centre);
  const colour_case cases[] = {
      {{}, red, black, thin},
      {{"-lc", "Green"}, 0x00ff00, black, thin},
      {{"-bc", "Blue"}, red, 0x0000ff, thin},
      // Names the server does not know give pixel 0 and are not an error.
      {{"-bc", "nosuchcolour", "-lc", "Yellow"}, 0xffff00, black, thin},
      {{"-lc", "nosuchcolour", "-bc", "White"}, black, 0xffffff, thin},
      // A wide line covers the pixels whose centres lie within it: with butt caps it stops at
      // its end point, 200 pixels long and five thick.
      {{"-lw5"}, red, black, {centre, centre - 2, centre + 199, centre + 2, 200 * 5}},
  };
  for (const colour_case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    std::vector<std::string> options = {"-xy", "-np"};
    options.insert(options.end(), c.options.begin(), c.options.end());
    const zorv_run run = start(unit_x, options);
    EXPECT_EQ(run.err, "");
    const box_wait seen = wait_for_box(c.expected, c.line);
    EXPECT_TRUE(seen.matched) << "expected " << c.expected << ", saw " << seen.last;
    EXPECT_EQ(read_window(display, window_side, window_side).at(10, 10), c.background);
    stop(run);
  }
}

// A display name may name any screen of the server; the window, its colours and its GC then all
// belong to that screen, whatever its depth.
TEST_F(OwnWindowTest, DrawsOnTheScreenThatTheDisplayNameNames) {
  constexpr int second_screen = 1;
  ASSERT_EQ(restart_server(*this, screen_side, {"-screen", "1", "800x800x16"}), "");
  ASSERT_EQ(ScreenCount(display), 2);
  ASSERT_EQ(DefaultDepthOfScreen(ScreenOfDisplay(display, second_screen)), 16);
  XColor red_on_16_bits;
  XColor exact;
  ASSERT_NE(XAllocNamedColor(display, DefaultColormap(display, second_screen), "Red",
                             &red_on_16_bits, &exact),
            0);

  const zorv_run run = start(
      unit_x, {"-xy", "-np", "-d", server.display_name + "." + std::to_string(second_screen)});
  pixel_box seen;
  EXPECT_TRUE(wait_until([&] {
    seen = find_pixels(read_window(display, window_side, window_side, second_screen),
                       red_on_16_bits.pixel);
    return seen == segment(centre, centre, centre + 200, centre);
  })) << "saw "
      << seen;
  EXPECT_FALSE(process_gone(run.child));
  EXPECT_EQ(read_file(dir + "/err.txt"), "");
  stop(run);
}

TEST_F(OwnWindowTest, OpensATitled650PixelWindowInTheCorner) {
  for (const bool titled : {true, false}) {
    SCOPED_TRACE(titled ? "default" : "-nt");
    std::vector<std::string> options = {"-xy"};
    if (!titled) options.push_back("-nt");
    const zorv_run run = start(unit_x, options);
    const Window window = viewer_window(display);
    ASSERT_NE(window, 0u);

    char* name = nullptr;
    const Status named = XFetchName(display, window, &name);
    EXPECT_EQ(named != 0, titled);
    EXPECT_STREQ(name, titled ? "zorv v" ZORV_VERSION : nullptr);
    if (name != nullptr) XFree(name);

    XWindowAttributes attributes;
    ASSERT_NE(XGetWindowAttributes(display, window, &attributes), 0);
    EXPECT_EQ(attributes.x, 0);
    EXPECT_EQ(attributes.y, 0);
    EXPECT_EQ(attributes.width, window_side);
    EXPECT_EQ(attributes.height, window_side);
    EXPECT_EQ(attributes.border_width, border);
    EXPECT_EQ(attributes.map_state, IsViewable);

    XSizeHints hints{};
    long supplied = 0;
    ASSERT_NE(XGetWMNormalHints(display, window, &hints, &supplied), 0);
    EXPECT_EQ(hints.flags & (USPosition | PSize), USPosition | PSize);
    EXPECT_EQ(hints.x, 0);
    EXPECT_EQ(hints.y, 0);
    EXPECT_EQ(hints.width, window_side);
    EXPECT_EQ(hints.height, window_side);
    stop(run);
  }
}

// What window managers match a window by, and what tools find it by: its class, its machine and
// command line, and the pid of the process that draws, which is not the one that made it. With
// -quiet the report is the pid line alone.
TEST_F(OwnWindowTest, NamesItsClassMachineCommandAndDrawingProcess) {
  const zorv_run run = start(unit_x, {"-xy", "--quiet", "-nt"});
  EXPECT_EQ(run.out, "My pid is " + std::to_string(run.child) + ".\n");
  const Window window = viewer_window(display);
  ASSERT_NE(window, 0u);

  XClassHint class_hint{};
  ASSERT_NE(XGetClassHint(display, window, &class_hint), 0);
  EXPECT_STREQ(class_hint.res_name, "zorv");
  EXPECT_STREQ(class_hint.res_class, "Zorv");
  XFree(class_hint.res_name);
  XFree(class_hint.res_class);

  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  XTextProperty machine{};
  ASSERT_NE(XGetWMClientMachine(display, window, &machine), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(machine.value), machine.nitems), host);
  XFree(machine.value);

  char** words = nullptr;
  int word_count = 0;
  ASSERT_NE(XGetCommand(display, window, &words, &word_count), 0);
  const std::vector<std::string> command(words, words + word_count);
  XFreeStringList(words);
  EXPECT_EQ(command,
            (std::vector<std::string>{zorv_binary, "object.zorv", "-xy", "--quiet", "-nt"}));

  const Atom pid_atom = XInternAtom(display, "_NET_WM_PID", False);
  long pid = 0;
  EXPECT_TRUE(wait_until([&] {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long left = 0;
    unsigned char* value = nullptr;
    if (XGetWindowProperty(display, window, pid_atom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &items, &left, &value) == Success &&
        type == XA_CARDINAL && format == 32 && items == 1)
      std::memcpy(&pid, value, sizeof pid);
    if (value != nullptr) XFree(value);
    return pid != 0;
  }));
  EXPECT_EQ(pid, run.child);
  stop(run);
}

TEST_F(OwnWindowTest, FollowsAResizeOfItsWindow) {
  struct resize_case {
    const char* what;
    int width;
    int height;
    std::vector<std::string> options;
    pixel_box expected;
  };
  const resize_case cases[] = {
      {"doubled sides double the object", 1300, 1300, {}, segment(650, 650, 1050, 650)},
      {"-ns keeps its size", 1300, 1300, {"-ns"}, segment(650, 650, 850, 650)},
      // Area doubled: 200 * sqrt(2) = 282.8.
      {"height alone rescales", 650, 1300, {}, segment(325, 650, 607, 650)},
  };
  for (const resize_case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> options = {"-xy", "-np"};
    options.insert(options.end(), c.options.begin(), c.options.end());
    const zorv_run run = start(unit_x, options);
    ASSERT_TRUE(wait_for_box(segment(centre, centre, centre + 200, centre), red).matched);
    const Window window = viewer_window(display);
    XResizeWindow(display, window, static_cast<unsigned>(c.width), static_cast<unsigned>(c.height));
    XSync(display, False);
    const box_wait seen = wait_for_box(c.expected, red, c.width, c.height);
    EXPECT_TRUE(seen.matched) << "expected " << c.expected << ", saw " << seen.last;
    stop(run);
  }
}

TEST_F(OwnWindowTest, TurnsAnAnimatedObject) {
  const zorv_run run = start(unit_x, {"-xy5", "-np"});
  // Drawn unturned first; only a turning segment ever leaves the centre row.
  const bool turned = wait_until([&] {
    const pixel_box box = find_pixels(read_window(display, window_side, window_side), red);
    return box.count > 0 && box.top < centre - 10;
  });
  EXPECT_TRUE(turned);
  stop(run);
}

// The test draws a white square into the viewer's window, away from the turning segment:
// erasing the previous frame leaves it alone, clearing the window (-cw) removes it.
TEST_F(OwnWindowTest, ClearsTheWholeWindowEachFrameOnlyWithCw) {
  constexpr int square_left = 20;
  constexpr int square_side = 30;
  constexpr int frames_to_watch = 10;
  for (const bool clearing : {false, true}) {
    SCOPED_TRACE(clearing ? "-cw" : "default");
    std::vector<std::string> options = {"-xy5", "-np"};
    if (clearing) options.push_back("-cw");
    const zorv_run run = start(unit_x, options);
    ASSERT_TRUE(wait_until([&] {
      return find_pixels(read_window(display, window_side, window_side), red).count > 0;
    }));
    const Window window = viewer_window(display);
    GC gc = XCreateGC(display, window, 0, nullptr);
    XSetForeground(display, gc, 0xffffff);
    XFillRectangle(display, window, gc, square_left, square_left, square_side, square_side);
    XFreeGC(display, gc);
    XSync(display, False);

    // Several changes of the drawn segment: the viewer has drawn frames since the square.
    int changes = 0;
    pixel_box previous = find_pixels(read_window(display, window_side, window_side), red);
    wait_until([&] {
      const pixel_box now = find_pixels(read_window(display, window_side, window_side), red);
      if (!(now == previous)) ++changes;
      previous = now;
      return changes >= frames_to_watch;
    });
    EXPECT_GE(changes, frames_to_watch);
    const pixel_area shown = read_window(display, window_side, window_side);
    EXPECT_EQ(find_pixels(shown, 0xffffff).count, clearing ? 0 : square_side * square_side);
    // Either way the turning segment leaves no trail: at most one 200-pixel segment is shown.
    EXPECT_LE(find_pixels(shown, red).count, 201);
    stop(run);
  }
}

struct cpu_use {
  long viewer;
  long server;
};

cpu_use cpu_over(pid_t viewer, pid_t server, std::chrono::milliseconds span) {
  const long viewer_start = cpu_ticks(viewer);
  const long server_start = cpu_ticks(server);
  std::this_thread::sleep_for(span);
  return {cpu_ticks(viewer) - viewer_start, cpu_ticks(server) - server_start};
}

// The real viewer, uncapped and capped: both it and the server use far less CPU with the cap.
TEST_F(OwnWindowTest, FpsCapSavesTheCpuOfViewerAndServer) {
  constexpr auto span = std::chrono::seconds(1);
  const std::string object = torus_text(24, 12);
  const zorv_run uncapped_run = start(object, {"-xw2"});
  const cpu_use uncapped = cpu_over(uncapped_run.child, server.pid, span);
  stop(uncapped_run);
  const zorv_run capped_run = start(object, {"-xw2", "-fps50"});
  const cpu_use capped = cpu_over(capped_run.child, server.pid, span);
  stop(capped_run);
  SCOPED_TRACE(testing::Message() << "ticks in " << span.count() << " s: viewer " << uncapped.viewer
                                  << " uncapped, " << capped.viewer << " capped; server "
                                  << uncapped.server << " and " << capped.server);
  EXPECT_GE(uncapped.viewer + uncapped.server, 20);
  EXPECT_LT(capped.viewer * 4, uncapped.viewer);
  EXPECT_LT(capped.server * 4, uncapped.server);
}

// With -bb every read of the window shows the same whole frame that -cw shows between clearing
// and drawing, on either kind of buffer and after a resize.
TEST_F(OwnWindowTest, BackBufferShowsTheClearedFrameAndNeverLess) {
  constexpr int reads = 30;
  constexpr int wide = 900;
  constexpr int tall = 700;
  const std::string object = torus_text(24, 12);
  const std::vector<std::string> option_sets[] = {
      {"-xy"},
      {"-xy", "-lw3", "-lc", "Yellow", "-bc", "Navy"},
      {"-xy", "-wc", "Blue"},
  };
  for (const auto& server_arguments : {std::vector<std::string>{}, without_double_buffer}) {
    SCOPED_TRACE(server_arguments.empty() ? "DOUBLE-BUFFER" : "pixmap");
    ASSERT_EQ(restart_server(*this, screen_side, server_arguments), "");
    for (const std::vector<std::string>& options : option_sets) {
      SCOPED_TRACE(testing::PrintToString(options));
      const bool navy = options.size() > 2 && options.back() == "Navy";
      const unsigned long background = navy ? 0x000080 : black;
      std::vector<pixel_area> cleared;
      std::vector<std::string> clearing = options;
      clearing.push_back("-cw");
      const zorv_run reference = start(object, clearing);
      cleared.push_back(steady_picture(window_side, window_side, background));
      XResizeWindow(display, viewer_window(display), wide, tall);
      XSync(display, False);
      cleared.push_back(steady_picture(wide, tall, background));
      stop(reference);

      std::vector<std::string> buffered = options;
      buffered.push_back("-bb");
      const zorv_run run = start(object, buffered);
      for (const pixel_area& expected : cleared) {
        if (expected.width == wide) {
          XResizeWindow(display, viewer_window(display), wide, tall);
          XSync(display, False);
        }
        ASSERT_TRUE(wait_until([&] {
          return read_window(display, expected.width, expected.height).pixels == expected.pixels;
        })) << expected.width
            << "x" << expected.height;
        int same = 0;
        for (int i = 0; i < reads; ++i)
          same += read_window(display, expected.width, expected.height).pixels == expected.pixels;
        EXPECT_EQ(same, reads) << expected.width << "x" << expected.height;
      }
      stop(run);
    }
  }
}

// Three still lines, at the largest w, at w = 0 and at the smallest w, away from each other.
const std::string three_depths = "p={6}\n"
                                 "0 0 0 0.5\n1 0 0 0.5\n"
                                 "0 0.25 0 0\n0 1 0 0\n"
                                 "-1 0 0 -0.5\n-0.25 0 0 -0.5\n"
                                 "l={3}\n0 1\n2 3\n4 5\nn=depths\n";

TEST_F(OwnWindowTest, DepthCueingRunsFromTheLineColourToTheFarColour) {
  struct colour_case {
    std::vector<std::string> options;
    unsigned long far;
    unsigned long background;
  };
  const colour_case cases[] = {
      {{"-wc", "Blue"}, blue, black},
      // An unknown name gives pixel 0, without an error, as for the other colours.
      {{"-wc", "nosuchcolour", "-bc", "White"}, black, white},
  };
  const pixel_box near = segment(centre, centre, centre + 200, centre);
  const pixel_box middle = segment(centre, centre - 200, centre, centre - 50);
  const pixel_box far = segment(centre - 200, centre, centre - 50, centre);
  for (const colour_case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    std::vector<std::string> options = {"-xy", "-np"};
    options.insert(options.end(), c.options.begin(), c.options.end());
    const zorv_run run = start(three_depths, options);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(wait_until([&] {
      const pixel_area shown = read_window(display, window_side, window_side);
      return find_pixels(shown, red) == near && find_pixels(shown, c.far) == far;
    }));
    const pixel_area shown = read_window(display, window_side, window_side);
    const unsigned long between = shown.at(centre, centre - 100);
    EXPECT_EQ(find_pixels(shown, between), middle);
    EXPECT_NE(between, red);
    EXPECT_NE(between, c.far);
    EXPECT_NE(between, c.background);
    stop(run);
  }
}

// -geometry places and sizes the window as X programs take it, and the object follows the size
// as it follows a resize; the hints say that the user chose them.
TEST_F(OwnWindowTest, TakesItsSizeAndPlaceFromGeometry) {
  struct placement_case {
    std::string geometry;
    int x, y, width, height;
    int gravity;
  };
  const placement_case cases[] = {
      {"300x200+10+20", 10, 20, 300, 200, NorthWestGravity},
      // From the right and bottom edges to the window's outer edge, its border included.
      {"300x200-0-0", screen_side - 300 - 2 * border, screen_side - 200 - 2 * border, 300, 200,
       SouthEastGravity},
  };
  for (const placement_case& c : cases) {
    SCOPED_TRACE(c.geometry);
    const zorv_run run = start(unit_x, {"-xy", "-np", "-geometry", c.geometry});
    const Window window = viewer_window(display);
    ASSERT_NE(window, 0u);
    XWindowAttributes attributes;
    ASSERT_NE(XGetWindowAttributes(display, window, &attributes), 0);
    EXPECT_EQ(attributes.x, c.x);
    EXPECT_EQ(attributes.y, c.y);
    EXPECT_EQ(attributes.width, c.width);
    EXPECT_EQ(attributes.height, c.height);
    XSizeHints hints{};
    long supplied = 0;
    ASSERT_NE(XGetWMNormalHints(display, window, &hints, &supplied), 0);
    EXPECT_EQ(hints.flags & (USPosition | USSize | PWinGravity), USPosition | USSize | PWinGravity);
    EXPECT_EQ(hints.win_gravity, c.gravity);
    // 300 x 200 has 0.377 of the default side's geometric mean: 200 pixels become 75.4.
    const pixel_box line = segment(150, 100, 225, 100);
    pixel_box seen;
    EXPECT_TRUE(wait_until([&] {
      const pixel_area area = read_root(display, c.x + border, c.y + border, c.width, c.height);
      seen = find_pixels(area, red);
      return seen == pixel_box{line.left + c.x + border, line.top + c.y + border,
                               line.right + c.x + border, line.bottom + c.y + border, line.count};
    })) << "saw "
        << seen;
    stop(run);
  }
}

std::string executable_of(pid_t pid) {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error).string();
}

TEST_F(OwnWindowTest, ParentReportsTheDrawingChildAndTheChildEndsWithItsServer) {
  const zorv_run run = start(unit_x, {"-xy", "-np"});
  ASSERT_GT(run.child, 0);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  // stdout is a file here, so fully buffered: what was written before the fork comes out once.
  const std::string tail = " Opening display.\n Mapping window.\n Forking...My pid is " +
                           std::to_string(run.child) + ".\nThanks for enjoying zorv!\n";
  ASSERT_GE(run.out.size(), tail.size());
  EXPECT_EQ(run.out.substr(run.out.size() - tail.size()), tail) << run.out;
  EXPECT_EQ(run.out.find(" Forking..."), run.out.rfind(" Forking..."));

  EXPECT_EQ(kill(run.child, 0), 0);
  EXPECT_EQ(executable_of(run.child), std::filesystem::canonical(zorv_binary).string());
  EXPECT_TRUE(wait_for_box(segment(centre, centre, centre + 200, centre), red).matched);

  XCloseDisplay(display);
  display = nullptr;
  // A lost server is seen at the next frame's round trip, so the end comes at once; a few
  // seconds allow for a busy machine and the sanitizers' checks at exit.
  constexpr auto lost_server_deadline = 5s;
  stop_xvfb(server);
  const reaped_status ended = wait_for_end(run.child, lost_server_deadline);
  EXPECT_TRUE(ended.exited) << "the background process outlived its display by "
                            << lost_server_deadline.count() << " s";
  EXPECT_EQ(ended.code, 1) << "not ended by Xlib's handler for a lost connection";
  if (ended.exited) std::erase(children, run.child);
  // Ending, the background process flushed its standard output: it had nothing to add.
  EXPECT_EQ(read_file(dir + "/out.txt"), run.out);
}

// However it waits between frames, the background process sees at once a server that went away:
// with -fps0.001 it would otherwise sleep for a quarter of an hour first.
TEST_F(OwnWindowTest, APacedChildEndsWithItsServerWhateverTheRate) {
  const zorv_run run = start(unit_x, {"-xy", "-np", "-fps0.001"});
  ASSERT_GT(run.child, 0);
  ASSERT_TRUE(wait_for_box(segment(centre, centre, centre + 200, centre), red).matched);
  XCloseDisplay(display);
  display = nullptr;
  stop_xvfb(server);
  const reaped_status ended = wait_for_end(run.child, 5s);
  EXPECT_TRUE(ended.exited) << "the paced background process outlived its display";
  EXPECT_EQ(ended.code, 1) << "not ended by Xlib's handler for a lost connection";
  if (ended.exited) std::erase(children, run.child);
}

// Another client destroying the window (a window manager's kill, xdotool windowclose) ends the
// background process quietly with status 0, whatever it was drawing with or waiting for, instead
// of failing at its next request with Xlib's error report.
TEST_F(OwnWindowTest, TheChildEndsQuietlyWhenItsWindowIsDestroyed) {
  const std::vector<std::string> option_sets[] = {
      {}, {"-cw"}, {"-bb"}, {"-wc", "Blue"}, {"-fps0.001"}};
  for (const std::vector<std::string>& extra : option_sets) {
    SCOPED_TRACE(testing::PrintToString(extra));
    std::vector<std::string> options = {"-xy", "-np"};
    options.insert(options.end(), extra.begin(), extra.end());
    const zorv_run run = start(unit_x, options);
    ASSERT_GT(run.child, 0);
    ASSERT_TRUE(wait_for_box(segment(centre, centre, centre + 200, centre), red).matched);
    XDestroyWindow(display, viewer_window(display));
    XSync(display, False);
    const reaped_status ended = wait_for_end(run.child, 5s);
    EXPECT_TRUE(ended.exited);
    EXPECT_EQ(ended.code, 0);
    EXPECT_EQ(read_file(dir + "/err.txt"), "");
    if (ended.exited) std::erase(children, run.child);
    stop(run);
  }
}

// A server short of memory refuses a back buffer the size of a huge window. The viewer then
// draws straight into the window, and asks for a buffer again at the next resize, instead of
// being ended by Xlib's handler for the error (BadAlloc, or BadDrawable for the lost buffer).
TEST_F(OwnWindowTest, ABackBufferThatCannotBeHadIsDroppedUntilTheNextResize) {
  constexpr std::size_t server_memory = std::size_t{400} << 20;
  constexpr unsigned huge = 20000; // a 1.6 GB buffer
  for (const auto& server_arguments : {std::vector<std::string>{}, without_double_buffer}) {
    SCOPED_TRACE(server_arguments.empty() ? "DOUBLE-BUFFER" : "pixmap");
    ASSERT_EQ(restart_server(*this, screen_side, server_arguments, server_memory), "");
    const zorv_run run = start(unit_x, {"-xy", "-np", "-bb"});
    ASSERT_GT(run.child, 0);
    const pixel_box line = segment(centre, centre, centre + 200, centre);
    ASSERT_TRUE(wait_for_box(line, red).matched);
    const Window window = viewer_window(display);
    XResizeWindow(display, window, huge, huge);
    XSync(display, False);
    // Drawn straight into the window, the line lies at the huge window's centre, off screen;
    // frames go on meanwhile, as the background process's CPU time shows.
    const long ticks = cpu_ticks(run.child);
    EXPECT_TRUE(wait_until([&] { return cpu_ticks(run.child) > ticks + 5; }));
    EXPECT_FALSE(process_gone(run.child));
    XResizeWindow(display, window, window_side, window_side);
    XSync(display, False);
    EXPECT_TRUE(wait_for_box(line, red).matched);
    EXPECT_FALSE(process_gone(run.child));
    EXPECT_EQ(read_file(dir + "/err.txt"), "");
    stop(run);
  }
}

// A display number nobody serves: no socket and no lock file for it.
std::string unserved_display() {
  for (int number = 900; number < 1000; ++number) {
    const std::string n = std::to_string(number);
    struct stat ignored;
    if (stat(("/tmp/.X11-unix/X" + n).c_str(), &ignored) != 0 &&
        stat(("/tmp/.X" + n + "-lock").c_str(), &ignored) != 0)
      return ":" + n;
  }
  return {};
}

// A display name whose screen the server does not have (Xlib takes a negative or a wrapped
// number as it is) is a display that cannot be used, whether it comes from -d or DISPLAY, for a
// window of the viewer's own, for -aa or for -root: the message, status 1, no window, no fork.
TEST_F(OwnWindowTest, RefusesAScreenThatTheServerDoesNotHave) {
  write_file(dir + "/object.zorv", unit_x);
  const std::vector<std::string> option_sets[] = {{}, {"-aa"}, {"-root"}};
  for (const std::string screen : {".-1", ".4294967295", ".-2147483648", ".1"}) {
    const std::string name = server.display_name + screen;
    for (const bool from_option : {true, false}) {
      for (const std::vector<std::string>& options : option_sets) {
        SCOPED_TRACE(name + (from_option ? " in -d " : " in DISPLAY ") +
                     testing::PrintToString(options));
        std::vector<std::string> arguments = {"object.zorv", "-xy"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        if (from_option) arguments.insert(arguments.end(), {"-d", name});
        const zorv_run run =
            run_zorv(zorv_binary, dir, from_option ? server.display_name : name, arguments);
        if (run.child > 0) children.push_back(run.child);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "ZORV: Could not open display.\n");
        // A host's window has no progress report.
        if (options == std::vector<std::string>{"-root"})
          EXPECT_EQ(run.out, "");
        else
          EXPECT_TRUE(run.out.ends_with(" Opening display.\n")) << run.out;
        EXPECT_EQ(run.child, -1);
      }
    }
  }
  EXPECT_EQ(top_level_windows(display), std::vector<Window>{});
}

// The background process lets go of standard output, and of standard error when that is a pipe,
// so a pipe reading the report ends with the foreground process instead of waiting for the
// animation to be killed. (A file or a terminal keeps standard error, for Xlib's last word.)
TEST_F(OwnWindowTest, APipeReadingTheReportEndsWithTheForegroundProcess) {
  write_file(dir + "/object.zorv", unit_x);
  const std::string zorv = zorv_binary + " object.zorv -xy";
  for (const std::string& command :
       {zorv + " | cat", zorv + " 2>&1 | cat", "out=$(" + zorv + " 2>&1); echo \"$out\"",
        "{ " + zorv + " 2>&3 3>&- | cat >/dev/null; } 3>&1 | cat"}) {
    SCOPED_TRACE(command);
    const zorv_run run = run_zorv("/bin/sh", dir, server.display_name, {"-c", command});
    if (run.child > 0) children.push_back(run.child);
    EXPECT_EQ(run.status, 0) << "the pipe stayed open: " << run.out;
    const std::vector<pid_t> drawing = children_running(zorv_binary);
    ASSERT_EQ(drawing.size(), 1u) << "the background process should still be drawing";
    stop_process(drawing.front());
    std::erase(children, drawing.front());
  }
}

// A standard descriptor that the caller closed is opened on /dev/null at start-up, so that the X
// connection cannot take its place (with standard output closed, the progress messages would go
// into the protocol stream and the viewer would hang in its first round trip).
TEST_F(OwnWindowTest, RunsWithAStandardDescriptorClosed) {
  write_file(dir + "/object.zorv", unit_x);
  for (const std::string closing : {">&-", "2>&-", "<&-", "<&- >&- 2>&-"}) {
    SCOPED_TRACE(closing);
    const zorv_run run =
        run_zorv("/bin/sh", dir, server.display_name,
                 {"-c", "exec " + zorv_binary + " object.zorv -xy -np " + closing});
    const std::vector<pid_t> drawing = children_running(zorv_binary);
    children.insert(children.end(), drawing.begin(), drawing.end());
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(drawing.size(), 1u);
    EXPECT_TRUE(wait_for_box(segment(centre, centre, centre + 200, centre), red).matched);
    stop_process(drawing.front());
    std::erase(children, drawing.front());
  }
}

TEST(OwnWindowFailureTest, ReportsADisplayThatCannotBeOpened) {
  const std::string dir = make_temp_dir();
  ASSERT_FALSE(dir.empty());
  write_file(dir + "/object.zorv", unit_x);
  const std::string name = unserved_display();
  ASSERT_FALSE(name.empty());
  const zorv_run run = run_zorv(zorv_binary, dir, name, {"object.zorv", "-d", name});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "ZORV: Could not open display.\n");
  EXPECT_NE(run.out.find(" Opening display.\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("Mapping"), std::string::npos) << run.out;
  EXPECT_EQ(run.child, -1);
  remove_temp_dir(dir);
}

} // namespace
} // namespace zorv
