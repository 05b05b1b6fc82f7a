// The display module in this process, against a private Xvfb: colours, the erase list,
// following a resize, the back buffer of -bb, the depth steps of -wc, a host's window taken for
// -window-id and found for -root, and frames that allocate nothing.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "animation.hpp"
#include "depth.hpp"
#include "torus.hpp"
#include "x11_harness.hpp"

#include <X11/Xatom.h>

#include <cmath>
#include <cstdlib>
#include <new>
#include <optional>
#include <set>
#include <string>

// Every allocation through operator new in this program, so that a frame can be shown to make
// none. (g++ takes the replaced pair for a mismatch once it inlines them into a container.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
namespace {
long allocation_count = 0;
}

void* operator new(std::size_t size) {
  ++allocation_count;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}

namespace zorv {
namespace {

using namespace x11test;

constexpr float default_scale = 200.0f;
constexpr float default_distance = 430.0f;
constexpr int start_size = 650;
constexpr double two_pi = 6.283185307179586;

// Leaves the DOUBLE-BUFFER extension out, so that -bb falls back to a pixmap.
const std::vector<std::string> without_double_buffer = {"-extension", "DOUBLE-BUFFER"};

// Three points and two lines, standing still.
const std::string two_lines = "p={3}\n0 0 0 0\n1 0 0 0\n0 1 0 0\nl={2}\n0 1\n0 2\nn=two\n";

class DisplayTest : public testing::Test, protected viewer_session {
protected:
  void start(int depth, const std::vector<std::string>& server_arguments = {}) {
    close_session(*this);
    server = start_xvfb(1400, 1400, depth, server_arguments);
    ASSERT_GT(server.pid, 0) << "Xvfb did not start";
    dir = make_temp_dir();
    ASSERT_FALSE(dir.empty());
  }
  void SetUp() override { start(24); }
  void TearDown() override { close_session(*this); }

  // A viewer of the two lines, standing still, with the options.
  viewer& connect(std::vector<std::string> options = {}) {
    options.insert(options.begin(), "-xy");
    return start_local_viewer(*this, two_lines, options);
  }
};

TEST_F(DisplayTest, StartsWithTheFixedWindowAndZeroedLists) {
  const viewer& v = connect();
  const window_geometry& geometry = v.window.geometry;
  EXPECT_EQ(geometry.window_width, start_size);
  EXPECT_EQ(geometry.window_height, start_size);
  EXPECT_EQ(geometry.centre_x, start_size / 2);
  EXPECT_EQ(geometry.centre_y, start_size / 2);
  ASSERT_EQ(v.frame.segments.size(), 2u);
  ASSERT_EQ(v.frame.erased.size(), 2u);
  for (const XSegment& s : v.frame.erased) EXPECT_EQ(s.x1 | s.y1 | s.x2 | s.y2, 0);
}

TEST_F(DisplayTest, LooksUpColourNamesAndLeavesUnknownOnesAtPixel0) {
  struct colour_case {
    std::string line;
    std::string background;
    unsigned long line_pixel;
    unsigned long background_pixel;
  };
  const colour_case cases[] = {
      {"Red", "Black", 0xff0000, 0x000000},
      {"Green", "Blue", 0x00ff00, 0x0000ff},
      {"nosuchcolour", "White", 0, 0xffffff},
      {"White", "nosuchcolour", 0xffffff, 0},
      // Names of any length are passed on whole; the server simply does not know this one.
      {"Red", std::string(2000, 'x'), 0xff0000, 0},
  };
  for (const colour_case& c : cases) {
    SCOPED_TRACE(c.line);
    const window_state& state = connect({"-lc", c.line, "-bc", c.background}).window;
    EXPECT_EQ(state.line_pixel, c.line_pixel);
    EXPECT_EQ(state.background_pixel, c.background_pixel);
  }
}

// On an 8-bit PseudoColor screen whose colormap another client has filled, a known colour
// cannot be allocated and the fixed fallback pixels are used.
TEST_F(DisplayTest, FallsBackToPixels1And6WhenTheColormapIsFull) {
  start(8);
  Display* hog = open_test_display(server.display_name);
  ASSERT_NE(hog, nullptr);
  ASSERT_EQ(DefaultVisual(hog, 0)->c_class, PseudoColor);
  unsigned long cell;
  int taken = 0;
  while (XAllocColorCells(hog, DefaultColormap(hog, 0), False, nullptr, 0, &cell, 1) != 0) ++taken;
  ASSERT_GT(taken, 0);

  // Colours the server's own entries are unlikely to hold already.
  const window_state& state = connect({"-lc", "MediumOrchid", "-bc", "DarkKhaki"}).window;
  EXPECT_EQ(state.background_pixel, 1u);
  EXPECT_EQ(state.line_pixel, 6u);
  XCloseDisplay(hog);
}

TEST_F(DisplayTest, RemembersDrawnSegmentsForErasingOnlyWithoutClearing) {
  for (const bool clear : {false, true}) {
    SCOPED_TRACE(clear ? "-cw" : "default");
    viewer& v = connect(clear ? std::vector<std::string>{"-cw"} : std::vector<std::string>{});
    frame_lists& lists = v.frame;
    lists.segments = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    show_plain_frame(v.plain, v.window, lists, v.object, v.settings.clear_each_frame);
    XSync(v.window.display, False);
    ASSERT_EQ(lists.erased.size(), 2u);
    EXPECT_EQ(lists.erased[1].x1, clear ? 0 : 5);
    EXPECT_EQ(lists.erased[1].y2, clear ? 0 : 8);
  }
}

TEST_F(DisplayTest, FollowsAResizeByRecentringAndRescaling) {
  struct resize_case {
    int width;
    int height;
    bool rescale;
    double factor;
  };
  const resize_case cases[] = {
      {1300, 1300, true, 2.0},
      {1300, 1300, false, 1.0},
      {650, 1300, true, std::sqrt(2.0)}, // a height-only change still rescales
      {651, 651, false, 1.0},            // odd sides: centres are truncated halves
      {650, 650, true, 1.0},             // no change at all
  };
  for (const resize_case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << (c.rescale ? "" : " -ns"));
    viewer& v = connect(c.rescale ? std::vector<std::string>{} : std::vector<std::string>{"-ns"});
    const window_state& state = v.window;
    XResizeWindow(state.display, state.window, static_cast<unsigned>(c.width),
                  static_cast<unsigned>(c.height));
    XSync(state.display, False);
    follow_window_size(v);

    EXPECT_EQ(state.geometry.window_width, c.width);
    EXPECT_EQ(state.geometry.window_height, c.height);
    EXPECT_EQ(state.geometry.centre_x, c.width / 2);
    EXPECT_EQ(state.geometry.centre_y, c.height / 2);
    for (const float scale : v.object.scale)
      EXPECT_FLOAT_EQ(scale, static_cast<float>(default_scale * c.factor));
    EXPECT_FLOAT_EQ(v.view.z_distance, static_cast<float>(default_distance * c.factor));
    EXPECT_FLOAT_EQ(v.view.w_distance, static_cast<float>(default_distance * c.factor));
  }
}

TEST_F(DisplayTest, DoublesScaleAndDistancesExactlyWhenTheAreaQuadruples) {
  viewer& v = connect();
  XResizeWindow(v.window.display, v.window.window, 1300, 1300);
  XSync(v.window.display, False);
  follow_window_size(v);
  EXPECT_EQ(v.object.scale[0], 400.0f);
  EXPECT_EQ(v.object.scale[3], 400.0f);
  EXPECT_EQ(v.view.z_distance, 860.0f);
  EXPECT_EQ(v.view.w_distance, 860.0f);
}

// 46341 x 46341 is the smallest square whose area does not fit a 32-bit integer.
TEST_F(DisplayTest, SurvivesAWindowAreaBeyond32Bits) {
  constexpr unsigned huge = 46341;
  viewer& v = connect();
  XResizeWindow(v.window.display, v.window.window, huge, huge);
  XSync(v.window.display, False);
  follow_window_size(v);
  EXPECT_FLOAT_EQ(v.object.scale[0], static_cast<float>(default_scale * huge / start_size));

  XResizeWindow(v.window.display, v.window.window, start_size, start_size);
  XSync(v.window.display, False);
  follow_window_size(v);
  EXPECT_FLOAT_EQ(v.object.scale[0], default_scale);
  EXPECT_FLOAT_EQ(v.view.w_distance, default_distance);
}

TEST_F(DisplayTest, ReportsASegmentListThatCannotBeAllocated) {
  frame_lists lists;
  EXPECT_EXIT(allocate_frame_lists(lists, -1, false), testing::ExitedWithCode(255),
              "^ZORV: could not allocate segment stucture\\.\n$");
}

TEST_F(DisplayTest, BackBufferComesFromTheServerOrAPixmap) {
  struct buffer_case {
    const char* what;
    std::vector<std::string> server_arguments;
    std::vector<std::string> options;
    back_buffer_kind expected;
  };
  const buffer_case cases[] = {
      {"default", {}, {}, back_buffer_kind::none},
      {"-bb", {}, {"-bb"}, back_buffer_kind::xdbe},
      {"-bb without DOUBLE-BUFFER", without_double_buffer, {"-bb"}, back_buffer_kind::pixmap},
  };
  for (const buffer_case& c : cases) {
    SCOPED_TRACE(c.what);
    start(24, c.server_arguments);
    const viewer& v = connect(c.options);
    EXPECT_EQ(v.plain.back_buffer, c.expected);
    EXPECT_EQ(v.plain.drawable == v.window.window, c.expected == back_buffer_kind::none);
  }
}

// A ring turned into w spreads its lines over every step; still each step is one request, and
// a frame sends at most one more request per step than the single-colour frame.
TEST_F(DisplayTest, DepthCueingDrawsEachStepInOneRequest) {
  constexpr int ring_points = 96;
  std::string ring = "p={" + std::to_string(ring_points) + "}\n";
  for (int i = 0; i < ring_points; ++i) {
    const double a = two_pi * i / ring_points;
    ring += std::to_string(std::cos(a)) + " 0 0 " + std::to_string(std::sin(a)) + "\n";
  }
  ring += "l={" + std::to_string(ring_points) + "}\n";
  for (int i = 0; i < ring_points; ++i)
    ring += std::to_string(i) + " " + std::to_string((i + 1) % ring_points) + "\n";

  const auto requests_per_frame = [](viewer& v) {
    run_frame(v);
    const unsigned long before = XNextRequest(v.window.display);
    run_frame(v);
    return XNextRequest(v.window.display) - before;
  };
  viewer& plain = start_local_viewer(*this, ring, {"-xy"});
  viewer& cued = start_local_viewer(*this, ring, {"-xy", "-wc", "Blue"});
  const unsigned long plain_requests = requests_per_frame(plain);
  const unsigned long cued_requests = requests_per_frame(cued);
  EXPECT_EQ(std::set<std::uint8_t>(cued.frame.steps.begin(), cued.frame.steps.end()).size(),
            static_cast<std::size_t>(depth_step_count));
  EXPECT_LE(cued_requests, plain_requests - 1 + depth_step_count);
  EXPECT_GE(cued_requests, static_cast<unsigned long>(depth_step_count));
}

// A picture colours its depth steps as the window does: each step's colour is the pixel that
// the server gave the window's GC for that step.
TEST_F(DisplayTest, PicturesColourDepthStepsAsTheWindowDoes) {
  const std::string database = read_colour_database();
  for (const std::vector<std::string>& colours : {std::vector<std::string>{"-wc", "Blue"},
                                                  {"-lc", "Yellow", "-wc", "DarkOrchid"},
                                                  {"-lc", "#102030", "-wc", "#f0e0d0"}}) {
    SCOPED_TRACE(testing::PrintToString(colours));
    viewer& v = connect(colours);
    const picture_colours expected = colours_for(v.settings, database);
    ASSERT_EQ(v.plain.depth_gcs.size(), expected.lines.size());
    for (std::size_t k = 0; k < expected.lines.size(); ++k) {
      XGCValues values{};
      XGetGCValues(v.window.display, v.plain.depth_gcs[k], GCForeground, &values);
      const rgb_colour c = expected.lines[k];
      EXPECT_EQ(values.foreground, static_cast<unsigned long>(c.red << 16 | c.green << 8 | c.blue))
          << "step " << k;
    }
  }
}

// -aa puts its pixels on the window through memory shared with the server where it can, and
// sends them whole where the server lacks MIT-SHM.
TEST_F(DisplayTest, SmoothLinesShareTheirPixelsWhereTheServerCan) {
  for (const bool shared : {true, false}) {
    SCOPED_TRACE(shared ? "MIT-SHM" : "without");
    start(24,
          shared ? std::vector<std::string>{} : std::vector<std::string>{"-extension", "MIT-SHM"});
    viewer& v = connect({"-aa"});
    EXPECT_EQ(v.target, frame_target::smooth_window);
    ASSERT_NE(v.smooth.image, nullptr);
    EXPECT_EQ(v.smooth.shared, shared);
    // A resize makes an image of the new size.
    XResizeWindow(v.window.display, v.window.window, 700, 500);
    XSync(v.window.display, False);
    run_frame(v);
    ASSERT_NE(v.smooth.image, nullptr);
    EXPECT_EQ(v.smooth.image->width, 700);
    EXPECT_EQ(v.smooth.image->height, 500);
    EXPECT_EQ(v.smooth.picture.width, 700);
    EXPECT_EQ(v.smooth.shared, shared);
  }
}

// Sets XSCREENSAVER_WINDOW (or unsets it, for nullopt) for one case and unsets it after it.
struct saver_window_variable {
  explicit saver_window_variable(const std::optional<std::string>& value) {
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  ~saver_window_variable() { unsetenv(name); }
  static constexpr const char* name = "XSCREENSAVER_WINDOW";
};

// A host's window is used as it is: no window is made, only structure changes and exposures are
// selected (the host has taken the button presses, which only one client may select), the window
// is filled
// with the background colour, and the object and both eye distances are sized to it from the
// start as a resize from 650 x 650 sizes them, unless -ns.
TEST_F(DisplayTest, TakesAHostsWindowAndSizesTheObjectToIt) {
  constexpr int width = 1280;
  constexpr int height = 1024;
  const double factor = std::sqrt(double{width} * height) / start_size;
  display = open_test_display(server.display_name);
  ASSERT_NE(display, nullptr);
  const Window host = make_host_window(display, width, height, 0xffffff);
  XSelectInput(display, host, ButtonPressMask | ExposureMask);
  XSync(display, False);
  const int errors_before = protocol_error_count();
  for (const bool rescale : {true, false}) {
    SCOPED_TRACE(rescale ? "default" : "-ns");
    std::vector<std::string> options = {"-window-id", std::to_string(host)};
    // -i reads no input in a host's window: it must not select the host's button presses.
    if (!rescale) options.insert(options.end(), {"-ns", "-i"});
    viewer& v = connect(options);
    const window_state& state = v.window;
    XSync(state.display, False);
    EXPECT_TRUE(state.foreign_window);
    EXPECT_EQ(state.window, host);
    EXPECT_EQ(top_level_windows(display), std::vector<Window>{host});
    XWindowAttributes seen{};
    ASSERT_NE(XGetWindowAttributes(state.display, host, &seen), 0);
    EXPECT_EQ(seen.your_event_mask, StructureNotifyMask | ExposureMask);
    EXPECT_EQ(find_pixels(read_drawable(display, host, width, height), 0x000000).count,
              long{width} * height);

    EXPECT_EQ(state.geometry.window_width, width);
    EXPECT_EQ(state.geometry.window_height, height);
    EXPECT_EQ(state.geometry.centre_x, width / 2);
    EXPECT_EQ(state.geometry.centre_y, height / 2);
    const double applied = rescale ? factor : 1.0;
    for (const float scale : v.object.scale)
      EXPECT_EQ(scale, static_cast<float>(double{default_scale} * applied));
    EXPECT_EQ(v.view.z_distance, static_cast<float>(double{default_distance} * applied));
    EXPECT_EQ(v.view.w_distance, static_cast<float>(double{default_distance} * applied));
    run_frame(v);
    XSync(state.display, False);
    // Paint it white again for the next case.
    XClearWindow(display, host);
    XSync(display, False);
  }
  EXPECT_EQ(protocol_error_count(), errors_before);
}

// -root draws where the host says (XSCREENSAVER_WINDOW, decimal or hexadecimal), else into the
// virtual root that a window manager marks with __SWM_VROOT, else into the root window.
TEST_F(DisplayTest, RootMeansTheHostsWindowThenTheVirtualRootThenTheRoot) {
  display = open_test_display(server.display_name);
  ASSERT_NE(display, nullptr);
  make_host_window(display, 100, 100, 0); // unmarked, and the first child of the root
  const Window saver = make_host_window(display, 200, 200, 0);
  const Window marked = make_host_window(display, 300, 300, 0);
  const Window virtual_root = make_host_window(display, 400, 400, 0);
  const Atom mark = XInternAtom(display, "__SWM_VROOT", False);
  const unsigned long value = virtual_root; // 32-bit items are passed as longs
  XChangeProperty(display, marked, mark, XA_WINDOW, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&value), 1);
  XSync(display, False);
  char hexadecimal[32];
  std::snprintf(hexadecimal, sizeof hexadecimal, "0x%lX", saver);
  struct root_case {
    const char* what;
    std::optional<std::string> variable;
    bool marked;
    Window expected;
  };
  const root_case cases[] = {
      {"hexadecimal", hexadecimal, true, saver},
      {"decimal", std::to_string(saver), true, saver},
      {"empty", "", true, virtual_root},
      {"unset", std::nullopt, true, virtual_root},
      {"nothing marked", std::nullopt, false, DefaultRootWindow(display)},
  };
  for (const root_case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.marked) XDeleteProperty(display, marked, mark);
    XSync(display, False);
    saver_window_variable variable(c.variable);
    const window_state& state = connect({"-root"}).window;
    EXPECT_EQ(state.window, c.expected);
    EXPECT_TRUE(state.foreign_window);
  }
}

// A screen-saver settings program starts its preview with both -root and -window-id: the window
// that the ID names is drawn into, whatever the order, even where the host names another window.
TEST_F(DisplayTest, WindowIdWinsOverRootInEitherOrder) {
  display = open_test_display(server.display_name);
  ASSERT_NE(display, nullptr);
  const Window saver = make_host_window(display, 200, 200, 0);
  const Window preview = make_host_window(display, 300, 300, 0);
  XSync(display, False);
  saver_window_variable variable(std::to_string(saver));
  const std::string id = std::to_string(preview);
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"-root", "-window-id", id}, {"-window-id", id, "-root"}}) {
    SCOPED_TRACE(testing::PrintToString(options));
    viewer& v = connect(options);
    EXPECT_EQ(v.window.window, preview);
    EXPECT_EQ(v.window.geometry.window_width, 300);
    run_frame(v);
    XSync(v.window.display, False);
    EXPECT_GT(find_pixels(read_drawable(display, preview, 300, 300), 0xff0000).count, 0);
    EXPECT_EQ(find_pixels(read_drawable(display, saver, 200, 200), 0xff0000).count, 0);
  }
}

// Every way of drawing a frame works in the lists made at start-up.
TEST_F(DisplayTest, FramesAllocateNothing) {
  const std::vector<std::string> option_sets[] = {
      {},
      {"-cw"},
      {"-bb"},
      {"-wc", "Blue"},
      {"-bb", "-wc", "Blue", "-lw2"},
      {"-fps1000"},
      {"-aa", "-wc", "Blue"},
      {"-i"},
  };
  const std::string torus = torus_text(24, 12);
  for (const auto& server_arguments : {std::vector<std::string>{}, without_double_buffer}) {
    start(24, server_arguments);
    for (const std::vector<std::string>& options : option_sets) {
      SCOPED_TRACE(testing::PrintToString(options) + (server_arguments.empty() ? "" : " pixmap"));
      viewer& v = start_local_viewer(*this, torus, options);
      frame_pacer pacer = start_pacing(max_frame_rate);
      run_frame(v);
      const long before = allocation_count;
      for (int i = 0; i < 10; ++i) run_frame(v);
      run_paced_frame(v, pacer);
      EXPECT_EQ(allocation_count, before);
    }
  }
}

} // namespace
} // namespace zorv
