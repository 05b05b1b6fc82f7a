// The real zorv program against a private Xvfb: what its window shows, how it follows a resize,
// what -fps, -bb and -wc change, the contract of its two processes, and the contract of a
// screen saver in a host's window (-window-id, -root): one process that draws until SIGTERM.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "picture_files.hpp"
#include "torus.hpp"
#include "x11_harness.hpp"

#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zorv {
namespace {

using namespace x11test;

const std::string zorv_binary = ZORV_BIN_DIR "/zorv";

constexpr int screen_side = 1400; // room for a 1300 x 1300 window and its border
constexpr int centre = window_side / 2;
constexpr unsigned long red = 0xff0000;
constexpr unsigned long black = 0x000000;
constexpr unsigned long blue = 0x0000ff;
constexpr unsigned long white = 0xffffff;

// Leaves the DOUBLE-BUFFER extension out, so that -bb falls back to a pixmap.
const std::vector<std::string> without_double_buffer = {"-extension", "DOUBLE-BUFFER"};
// Leaves MIT-SHM out, so that -aa sends its pixels with XPutImage.
const std::vector<std::string> without_shared_memory = {"-extension", "MIT-SHM"};

// A one-line object from the origin to the given point.
std::string line_to(float x, float y, float z, float w) {
  return "p={2}\n0 0 0 0\n" + std::to_string(x) + " " + std::to_string(y) + " " +
         std::to_string(z) + " " + std::to_string(w) + "\nl={1}\n0 1\nn=line\n";
}

const std::string unit_x = line_to(1, 0, 0, 0);

// The run's pixel box of one colour, and whether it matched before the deadline.
struct box_wait {
  bool matched;
  pixel_box last;
};

class ViewerTest : public testing::Test, protected viewer_session {
protected:
  static void SetUpTestSuite() { adopt_orphans(); }
  void SetUp() override { ASSERT_EQ(open_session(*this, screen_side), ""); }
  void TearDown() override { close_session(*this); }

  zorv_run start(const std::string& object_text, std::vector<std::string> options) {
    zorv_run run = start_viewer_process(*this, zorv_binary, object_text, std::move(options));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_GT(run.child, 0) << run.out;
    return run;
  }

  void stop(const zorv_run& run) { stop_viewer(*this, run); }

  // Stops a viewer started in a host's window.
  void stop_hosted(pid_t pid) {
    stop_process(pid);
    std::erase(children, pid);
  }

  // Waits until the drawable shows exactly the box of one colour.
  box_wait wait_for_box_in(Drawable drawable, const pixel_box& expected, unsigned long pixel,
                           int width, int height) {
    box_wait result{false, {}};
    result.matched = wait_until([&] {
      result.last = find_pixels(read_drawable(display, drawable, width, height), pixel);
      return result.last == expected;
    });
    return result;
  }

  // Sends the signal and waits at most a second for the hosted viewer to end by it.
  void expect_ended_by(pid_t pid, int number) {
    kill(pid, number);
    const reaped_status ended = wait_for_end(pid, 1s);
    EXPECT_TRUE(ended.exited) << "still running a second after signal " << number;
    EXPECT_EQ(ended.code, 128 + number);
    if (ended.exited) std::erase(children, pid);
  }

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

// A horizontal or vertical segment from the centre, as {left, top, right, bottom, count}.
pixel_box segment(int left, int top, int right, int bottom) {
  return {left, top, right, bottom, (right - left) + (bottom - top) + 1};
}

TEST_F(ViewerTest, PlacesTheObjectAroundTheWindowCentre) {
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

TEST_F(ViewerTest, DrawsInTheChosenColoursAndLineWidth) {
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
TEST_F(ViewerTest, DrawsOnTheScreenThatTheDisplayNameNames) {
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

TEST_F(ViewerTest, OpensATitled650PixelWindowInTheCorner) {
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

TEST_F(ViewerTest, FollowsAResizeOfItsWindow) {
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

TEST_F(ViewerTest, TurnsAnAnimatedObject) {
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
TEST_F(ViewerTest, ClearsTheWholeWindowEachFrameOnlyWithCw) {
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
TEST_F(ViewerTest, FpsCapSavesTheCpuOfViewerAndServer) {
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
TEST_F(ViewerTest, BackBufferShowsTheClearedFrameAndNeverLess) {
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

TEST_F(ViewerTest, DepthCueingRunsFromTheLineColourToTheFarColour) {
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
TEST_F(ViewerTest, TakesItsSizeAndPlaceFromGeometry) {
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

// -aa shows in the window exactly the pixels that -o writes for the same frame and size, whether
// they go through shared memory or, where the server lacks it, XPutImage.
TEST_F(ViewerTest, SmoothLinesShowThePixelsOfThePicture) {
  const std::string torus = torus_text(24, 12);
  const std::vector<std::string> option_sets[] = {
      {"-xy"},
      {"-xy", "-lw3", "-lc", "Yellow", "-bc", "Navy"},
      {"-xy", "-wc", "Blue"},
      {"-xy", "-geometry", "400x300", "-s150"},
  };
  for (const auto& server_arguments : {std::vector<std::string>{}, without_shared_memory}) {
    SCOPED_TRACE(server_arguments.empty() ? "MIT-SHM" : "XPutImage");
    ASSERT_EQ(restart_server(*this, screen_side, server_arguments), "");
    for (const std::vector<std::string>& options : option_sets) {
      SCOPED_TRACE(testing::PrintToString(options));
      std::vector<std::string> writing = {"object.zorv", "-o", "frame.png"};
      writing.insert(writing.end(), options.begin(), options.end());
      write_file(dir + "/object.zorv", torus);
      ASSERT_EQ(run_zorv(zorv_binary, dir, server.display_name, writing).status, 0);
      const picturetest::image picture = picturetest::read_png(dir + "/frame.png");
      ASSERT_GT(picture.width, 0);

      std::vector<std::string> smooth = options;
      smooth.push_back("-aa");
      const zorv_run run = start(torus, smooth);
      pixel_area shown;
      EXPECT_TRUE(wait_until([&] {
        shown = read_window(display, picture.width, picture.height);
        return std::equal(shown.pixels.begin(), shown.pixels.end(), picture.pixels.begin(),
                          picture.pixels.end());
      }));
      EXPECT_EQ(run.err, "");
      stop(run);
    }
  }
}

// Where the screen does not take 24-bit true-colour pixels, -aa is refused with a message.
TEST_F(ViewerTest, SmoothLinesNeedATrueColourScreen) {
  ASSERT_EQ(restart_server(*this, screen_side, {"-screen", "1", "800x800x16"}), "");
  write_file(dir + "/object.zorv", unit_x);
  const zorv_run run = run_zorv(zorv_binary, dir, server.display_name,
                                {"object.zorv", "-aa", "-d", server.display_name + ".1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "ZORV: -aa needs a TrueColor screen of 24 bits.\n");
  EXPECT_EQ(run.child, -1);
}

std::string executable_of(pid_t pid) {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error).string();
}

TEST_F(ViewerTest, ParentReportsTheDrawingChildAndTheChildEndsWithItsServer) {
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
TEST_F(ViewerTest, APacedChildEndsWithItsServerWhateverTheRate) {
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
// background process quietly with status 0, whatever it was drawing with or waiting for; before,
// its next request failed and Xlib printed an error report as it ended.
TEST_F(ViewerTest, TheChildEndsQuietlyWhenItsWindowIsDestroyed) {
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
TEST_F(ViewerTest, ABackBufferThatCannotBeHadIsDroppedUntilTheNextResize) {
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

std::string hexadecimal(Window window) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%lx", window);
  return text;
}

// How a host names its window to the viewer.
enum class naming { window_id, saver_variable, root_alone };

// The host's window is drawn into by the very process that the host started: it prints nothing
// after " Opening display.", makes no window, forks nothing, and ends within a second of
// SIGTERM, leaving the window to the host. The object fills the window (or the root) as it fills
// its own 650 x 650 window, on the background colour, not the window's own (white here), with
// -cw too; -bb and -wc draw into a window of another depth.
TEST_F(ViewerTest, DrawsIntoAHostsWindowInTheProcessTheHostStarted) {
  struct host_case {
    const char* what;
    naming how;
    int depth;           // of the host's window: 0 for the screen's default
    unsigned long alpha; // the server makes colours of a 32-bit visual opaque
    std::vector<std::string> options;
  };
  const host_case cases[] = {
      {"-window-id", naming::window_id, 0, 0, {}},
      {"-window-id, a 32-bit window", naming::window_id, 32, 0xff000000, {}},
      {"-window-id, a 32-bit window, -bb -wc",
       naming::window_id,
       32,
       0xff000000,
       {"-bb", "-wc", "Blue"}},
      {"-root, XSCREENSAVER_WINDOW, -cw", naming::saver_variable, 0, 0, {"-cw"}},
      {"-root alone: the root window", naming::root_alone, 0, 0, {}},
  };
  for (const host_case& c : cases) {
    SCOPED_TRACE(c.what);
    const bool own_window = c.how != naming::root_alone;
    const Window host = own_window
                            ? make_host_window(display, window_side, window_side, white, c.depth)
                            : DefaultRootWindow(display);
    ASSERT_NE(host, 0u) << "the server has no visual of depth " << c.depth;
    const int side = own_window ? window_side : screen_side;
    std::vector<std::string> options = {"-xy", "-np"};
    options.insert(options.end(), c.options.begin(), c.options.end());
    testrun::run_options run;
    if (c.how == naming::window_id) {
      options.insert(options.end(), {"-window-id", std::to_string(host)});
    } else {
      options.push_back("-root");
      if (c.how == naming::saver_variable)
        run.environment = {{"XSCREENSAVER_WINDOW", hexadecimal(host)}};
      else
        run.unset_environment = {"XSCREENSAVER_WINDOW"};
    }
    const std::vector<Window> windows = top_level_windows(display);
    const pid_t pid = start_hosted_viewer(*this, zorv_binary, unit_x, options, run);
    ASSERT_GT(pid, 0);

    const int middle = side / 2;
    const int length = static_cast<int>(200.0 * side / window_side);
    const pixel_box line = segment(middle, middle, middle + length, middle);
    const box_wait seen = wait_for_box_in(host, line, c.alpha | red, side, side);
    EXPECT_TRUE(seen.matched) << "expected " << line << ", saw " << seen.last;
    EXPECT_EQ(find_pixels(read_drawable(display, host, side, side), c.alpha | black).count,
              long{side} * side - line.count)
        << "not cleared to the background colour";
    EXPECT_EQ(children_running(zorv_binary), std::vector<pid_t>{pid});
    EXPECT_EQ(top_level_windows(display), windows);
    const std::string out = read_file(dir + "/out.txt");
    EXPECT_TRUE(out.ends_with(" points, 1 lines.\n Opening display.\n")) << out;
    EXPECT_EQ(read_file(dir + "/err.txt"), "");

    expect_ended_by(pid, SIGTERM);
    XWindowAttributes attributes{};
    EXPECT_NE(XGetWindowAttributes(display, host, &attributes), 0) << "the host's window is gone";
    if (own_window) XDestroyWindow(display, host);
    XSync(display, False);
  }
}

// A host may start its saver with SIGTERM and SIGINT ignored and blocked, which an exec keeps;
// either still ends it at once. A host that destroys the window ends it quietly, with status 0.
TEST_F(ViewerTest, AHostedViewerEndsOnSigtermOrSigintHoweverInheritedOrWithItsWindow) {
  constexpr int destroyed = 0; // no signal: the host destroys the window
  struct end_case {
    int number;
    bool held;
  };
  const end_case cases[] = {{SIGTERM, true}, {SIGINT, false}, {SIGINT, true}, {destroyed, true}};
  for (const end_case& c : cases) {
    SCOPED_TRACE(testing::Message() << "signal " << c.number << (c.held ? ", held" : ""));
    const Window host = make_host_window(display, window_side, window_side, black);
    testrun::run_options run;
    run.hold_termination = c.held;
    const pid_t pid = start_hosted_viewer(*this, zorv_binary, unit_x,
                                          {"-xy", "-np", "-window-id", std::to_string(host)}, run);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(wait_for_box_in(host, segment(centre, centre, centre + 200, centre), red,
                                window_side, window_side)
                    .matched);
    if (c.number != destroyed) {
      expect_ended_by(pid, c.number);
      XDestroyWindow(display, host);
      XSync(display, False);
      continue;
    }
    XDestroyWindow(display, host);
    XSync(display, False);
    const reaped_status ended = wait_for_end(pid, 1s);
    EXPECT_TRUE(ended.exited) << "still running a second after its window was destroyed";
    EXPECT_EQ(ended.code, 0);
    EXPECT_EQ(read_file(dir + "/err.txt"), "");
    if (ended.exited) std::erase(children, pid);
  }
}

// The object fills a 1280 x 1024 host window as it fills 650 x 650: scale and eye distances
// grow with the geometric mean of the sides, by 1.7614, unless -ns. A resize of the host's
// window is followed as a resize of zorv's own.
TEST_F(ViewerTest, FillsAHostsWindowAsItFillsItsOwn) {
  constexpr int width = 1280;
  constexpr int height = 1024;
  struct fill_case {
    const char* what;
    std::string object;
    std::vector<std::string> options;
    pixel_box expected;
  };
  const fill_case cases[] = {
      // 200 grows to 352.3.
      {"no perspective", unit_x, {"-np"}, segment(640, 512, 992, 512)},
      // 260.6 in 650 x 650 (perspective along w) grows to 459.0.
      {"perspective", line_to(1, 0, 0, 0.5f), {}, segment(640, 512, 1099, 512)},
      {"-ns", unit_x, {"-np", "-ns"}, segment(640, 512, 840, 512)},
  };
  for (const fill_case& c : cases) {
    SCOPED_TRACE(c.what);
    const Window host = make_host_window(display, width, height, black);
    std::vector<std::string> options = {"-xy", "-window-id", std::to_string(host)};
    options.insert(options.end(), c.options.begin(), c.options.end());
    const pid_t pid = start_hosted_viewer(*this, zorv_binary, c.object, options);
    ASSERT_GT(pid, 0);
    const box_wait seen = wait_for_box_in(host, c.expected, red, width, height);
    EXPECT_TRUE(seen.matched) << "expected " << c.expected << ", saw " << seen.last;
    if (c.options.size() == 1) {
      // Back to 650 x 650: back to the size the object has in a window of zorv's own.
      XResizeWindow(display, host, window_side, window_side);
      XSync(display, False);
      const pixel_box expected = c.object == unit_x ? segment(centre, centre, centre + 200, centre)
                                                    : segment(centre, centre, centre + 260, centre);
      const box_wait resized = wait_for_box_in(host, expected, red, window_side, window_side);
      EXPECT_TRUE(resized.matched) << "expected " << expected << ", saw " << resized.last;
    }
    stop_hosted(pid);
    XDestroyWindow(display, host);
    XSync(display, False);
  }
}

// Where a segment from the window's centre points, in degrees: the direction of its farthest red
// pixel. Nothing while the window shows no segment (between erasing a frame and drawing the next).
std::optional<double> pointing(const pixel_area& area) {
  std::optional<double> angle;
  long farthest = 0;
  for (int y = area.top; y < area.top + area.height; ++y) {
    for (int x = area.left; x < area.left + area.width; ++x) {
      if (area.at(x, y) != red) continue;
      const long dx = x - centre;
      const long dy = centre - y;
      if (dx * dx + dy * dy <= farthest) continue;
      farthest = dx * dx + dy * dy;
      angle = std::atan2(static_cast<double>(dy), static_cast<double>(dx)) * 180.0 / M_PI;
    }
  }
  return angle;
}

// In a host's window the viewer keeps to 30 frames a second, or to the rate of -fps: a segment
// turning 2 degrees a frame is seen to turn 60 (or 20) degrees a second, a little at each look.
// Unpaced, it would turn by thousands of frames between two looks.
TEST_F(ViewerTest, AHostedViewerKeeps30FramesASecondUnlessFpsSaysOtherwise) {
  constexpr double degrees_per_frame = 2.0;
  constexpr auto look_interval = 100ms;
  constexpr auto span = 2s;
  constexpr double largest_step = 45.0; // degrees between two looks
  // Of the rate: the looks are a frame or two out at either end; a busy machine may wake the
  // viewer late and lose frames, but never adds any.
  constexpr double above = 0.1;
  constexpr double below = 0.3;
  struct rate_case {
    std::vector<std::string> options;
    double rate;
  };
  const rate_case cases[] = {{{}, 30.0}, {{"-fps10"}, 10.0}};
  const Window host = make_host_window(display, window_side, window_side, black);
  for (const rate_case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    std::vector<std::string> options = {"-xy2", "-np", "-window-id", std::to_string(host)};
    options.insert(options.end(), c.options.begin(), c.options.end());
    const pid_t pid = start_hosted_viewer(*this, zorv_binary, unit_x, options);
    ASSERT_GT(pid, 0);

    const auto look = [&] {
      std::optional<double> angle;
      std::chrono::steady_clock::time_point when;
      wait_until([&] {
        when = std::chrono::steady_clock::now();
        angle = pointing(read_drawable(display, host, window_side, window_side));
        return angle.has_value();
      });
      return std::make_pair(when, angle.value_or(0.0));
    };
    auto [first_time, previous] = look();
    auto last_time = first_time;
    double turned = 0.0;
    std::vector<double> steps;
    while (last_time - first_time < span) {
      std::this_thread::sleep_for(look_interval);
      const auto [when, angle] = look();
      const double step = std::remainder(angle - previous, 360.0);
      steps.push_back(step);
      turned += step;
      previous = angle;
      last_time = when;
    }
    stop_hosted(pid);
    XClearWindow(display, host); // of the segment drawn last, for the next case
    XSync(display, False);

    const double seconds = std::chrono::duration<double>(last_time - first_time).count();
    const double rate = std::fabs(turned) / degrees_per_frame / seconds;
    SCOPED_TRACE(testing::Message()
                 << rate << " frames a second; steps " << testing::PrintToString(steps));
    RecordProperty("frames_a_second_at_" + std::to_string(static_cast<int>(c.rate)),
                   std::to_string(rate));
    EXPECT_LE(rate, c.rate * (1 + above));
    EXPECT_GE(rate, c.rate * (1 - below));
    for (const double step : steps) {
      EXPECT_LT(std::fabs(step), largest_step);
      EXPECT_GE(step * turned, 0.0) << "a step against the turn";
    }
  }
}

// An ID that names no window, or a window that takes no drawing, is reported like a display
// that cannot be opened: "ZORV: ..." and status 1, before any drawing.
TEST_F(ViewerTest, ReportsAHostsWindowThatCannotBeDrawnInto) {
  XSetWindowAttributes attributes{};
  const Window input_only = XCreateWindow(display, DefaultRootWindow(display), 0, 0, 100, 100, 0, 0,
                                          InputOnly, CopyFromParent, 0, &attributes);
  XMapWindow(display, input_only);
  XSync(display, False);
  struct refusal_case {
    std::vector<std::string> options;
    std::string saver_variable;
    std::string message;
  };
  const refusal_case cases[] = {
      {{"-window-id", "0x1fffffff"}, "", "ZORV: Could not find window 0x1fffffff.\n"},
      {{"-window-id", "0"}, "", "ZORV: Could not find window 0x0.\n"},
      {{"-window-id", std::to_string(input_only)},
       "",
       "ZORV: Could not draw into window " + hexadecimal(input_only) + ".\n"},
      {{"-root"}, "0x1fffffff", "ZORV: Could not find window 0x1fffffff.\n"},
      {{"-root"}, "screen", "ZORV: XSCREENSAVER_WINDOW holds no window ID: screen\n"},
  };
  write_file(dir + "/object.zorv", unit_x);
  for (const refusal_case& c : cases) {
    SCOPED_TRACE(c.message);
    testrun::run_options run;
    run.dir = dir;
    run.environment = {{"DISPLAY", server.display_name}};
    if (!c.saver_variable.empty())
      run.environment.emplace_back("XSCREENSAVER_WINDOW", c.saver_variable);
    std::vector<std::string> arguments = {"object.zorv"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const testrun::program_run ran = testrun::run_program(zorv_binary, arguments, run);
    EXPECT_TRUE(ran.ended);
    EXPECT_EQ(testrun::shell_status(ran), 1);
    EXPECT_EQ(ran.err, c.message);
    EXPECT_TRUE(ran.out.ends_with(" Opening display.\n")) << ran.out;
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

// The background process lets go of standard output, and of standard error when that is a pipe,
// so a pipe reading the report ends with the foreground process instead of waiting for the
// animation to be killed. (A file or a terminal keeps standard error, for Xlib's last word.)
TEST_F(ViewerTest, APipeReadingTheReportEndsWithTheForegroundProcess) {
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
// connection cannot take its place (with standard output closed, the progress messages went into
// the protocol stream and the viewer hung in its first round trip).
TEST_F(ViewerTest, RunsWithAStandardDescriptorClosed) {
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

TEST(ViewerFailureTest, ReportsADisplayThatCannotBeOpened) {
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
