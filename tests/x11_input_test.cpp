// The user's input (-i) against a private Xvfb, sent through XTest as from a real keyboard and
// mouse: on the real zorv program (ending, pausing, the pictures that drags, the wheel and the
// keys give, redrawing while paused) and on viewers in this process (the speed keys, the
// starting view that r brings back, the frames of a viewer nobody has touched), and the
// composition of the user's turns in memory.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "animation.hpp"
#include "geometry.hpp"
#include "plain_frame.hpp"
#include "torus.hpp"
#include "viewer_fixture.hpp"
#include "x11_harness.hpp"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace zorv {
namespace {

using namespace x11test;

// The figures the manual page states.
constexpr double stated_degrees_per_pixel = 0.5;
constexpr int stated_arrow_pixels = 10;
constexpr double stated_zoom_factor = 1.25;
constexpr double stated_speed_factor = 1.25;
constexpr double radians_per_degree = 0.017453292519943295;

// How soon the viewer ends after q, Escape or the close button.
constexpr auto end_deadline = std::chrono::seconds(1);

// Drags start at the window's centre, in root coordinates, and go this many pixels (25 degrees).
constexpr int drag_x0 = border + window_side / 2;
constexpr int drag_y0 = border + window_side / 2;
constexpr int drag_length = 50;

// Lines from the origin along the four axes and two lines to a point off them, in the positive
// part of every axis: a turn either way in any plane, the scale and the perspective each give a
// picture of their own.
const std::string axes = "p={6}\n"
                         "0 0 0 0\n1 0 0 0\n0 1 0 0\n0 0 1 0\n0 0 0 1\n0.6 0.3 0.5 0.4\n"
                         "l={6}\n0 1\n0 2\n0 3\n0 4\n1 5\n2 5\nn=axes\n";

// The radians that a drag of this many pixels (or an arrow key, as a drag) turns by.
double drag_radians(int pixels) {
  return pixels * (stated_degrees_per_pixel * radians_per_degree);
}

// A view of a still object: one plane turned by an angle, a scale, perspective, a window size.
struct view {
  plane_index plane = xy;
  double radians = 0.0;
  float scale = 200.0f;
  bool perspective = false;
  int width = window_side;
  int height = window_side;
};

// The frame of the object in that view made by the geometry functions, with the plane's sine
// and cosine as refresh_trig rounds them, drawn by the server into a pixmap as the viewer draws
// into its window: red thin lines on black.
pixel_area expected_picture(Display* display, const std::string& object_text, const view& v) {
  object_record object{};
  identity_transform(object);
  std::string error;
  EXPECT_TRUE(parse_object(object_text, object, error)) << error;
  object.scale.fill(v.scale);
  object.planes[v.plane].sine = static_cast<float>(std::sin(v.radians));
  object.planes[v.plane].cosine = static_cast<float>(std::cos(v.radians));
  const view_record settings = plain_view(v.perspective, 430.0f, 430.0f);
  const window_geometry geometry{v.width, v.height, v.width / 2, v.height / 2};
  std::vector<XSegment> segments(object.lines.size());
  build_frame(object, settings, geometry, segments);

  const auto width = static_cast<unsigned>(v.width);
  const auto height = static_cast<unsigned>(v.height);
  const Pixmap pixmap =
      XCreatePixmap(display, DefaultRootWindow(display), width, height, default_depth);
  GC gc = XCreateGC(display, pixmap, 0, nullptr);
  XSetForeground(display, gc, black);
  XFillRectangle(display, pixmap, gc, 0, 0, width, height);
  XSetForeground(display, gc, red);
  XDrawSegments(display, pixmap, gc, segments.data(), static_cast<int>(segments.size()));
  pixel_area picture = read_drawable(display, pixmap, 0, 0, v.width, v.height);
  XFreeGC(display, gc);
  XFreePixmap(display, pixmap);
  return picture;
}

class InputTest : public viewer_fixture {
protected:
  // The real program, its window drawn and holding the keyboard focus.
  zorv_run start(const std::string& object_text, std::vector<std::string> options) {
    zorv_run run = viewer_fixture::start(object_text, std::move(options));
    EXPECT_TRUE(wait_until([&] { return find_pixels(window_picture(), red).count > 0; }));
    focus_window(display, viewer_window(display));
    return run;
  }

  pixel_area window_picture(int width = window_side, int height = window_side) {
    return read_window(display, width, height);
  }

  bool shows(const pixel_area& expected) {
    return wait_until(
        [&] { return window_picture(expected.width, expected.height).pixels == expected.pixels; });
  }

  // The picture once it has stopped changing: the same in four reads a tenth of a second apart
  // (a viewer that is running changes it thousands of times a second).
  pixel_area still_picture() {
    constexpr int same_reads = 3;
    pixel_area last = window_picture();
    int same = 0;
    wait_until([&] {
      std::this_thread::sleep_for(100ms);
      pixel_area now = window_picture();
      same = now.pixels == last.pixels ? same + 1 : 0;
      last = std::move(now);
      return same >= same_reads;
    });
    return last;
  }
};

TEST_F(InputTest, QuitKeysAndTheCloseButtonEndTheViewerWithStatus0) {
  struct quit_case {
    const char* what;
    std::vector<std::string> options;
    bool pause_first;
    KeySym key; // NoSymbol: the window manager's close button
  };
  // Running flat out, asleep until a far frame start, and paused.
  const quit_case cases[] = {
      {"q", {}, false, XK_q},
      {"Escape, paced", {"-fps0.001"}, false, XK_Escape},
      {"close button, paused", {}, true, NoSymbol},
  };
  for (const quit_case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> options = {"-i"};
    options.insert(options.end(), c.options.begin(), c.options.end());
    const zorv_run run = start(torus_text(24, 12), options);
    if (c.pause_first) {
      press_key(display, XK_space);
      still_picture();
    }
    if (c.key == NoSymbol)
      send_close_request(display, viewer_window(display));
    else
      press_key(display, c.key);
    const reaped_status ended = wait_for_end(run.child, end_deadline);
    EXPECT_TRUE(ended.exited) << "still running " << end_deadline.count() << " s later";
    EXPECT_EQ(ended.code, 0);
    EXPECT_EQ(read_file(dir + "/err.txt"), "");
    if (ended.exited) std::erase(children, run.child);
    stop_viewer(*this, run);
  }
}

// Without -i the window asks for structure events alone and has no WM_PROTOCOLS, so a window
// manager kills the client rather than ask it to close, and the close message changes nothing.
TEST_F(InputTest, OnlyWithIDoesTheWindowAskForInputAndTheCloseMessage) {
  constexpr long interactive_mask =
      StructureNotifyMask | ExposureMask | KeyPressMask | ButtonPressMask | ButtonMotionMask;
  for (const bool interactive : {false, true}) {
    SCOPED_TRACE(interactive ? "-i" : "default");
    std::vector<std::string> options = {"-xy", "-np"};
    if (interactive) options.push_back("-i");
    const zorv_run run = start(axes, options);
    const Window window = viewer_window(display);
    XWindowAttributes attributes;
    ASSERT_NE(XGetWindowAttributes(display, window, &attributes), 0);
    EXPECT_EQ(attributes.all_event_masks, interactive ? interactive_mask : StructureNotifyMask);

    Atom* protocols = nullptr;
    int count = 0;
    const Status has_protocols = XGetWMProtocols(display, window, &protocols, &count);
    EXPECT_EQ(has_protocols != 0, interactive);
    if (interactive) {
      ASSERT_EQ(count, 1);
      EXPECT_EQ(protocols[0], XInternAtom(display, "WM_DELETE_WINDOW", False));
    }
    if (protocols != nullptr) XFree(protocols);

    if (!interactive) {
      send_close_request(display, window);
      press_key(display, XK_q);
      std::this_thread::sleep_for(300ms);
      EXPECT_FALSE(process_gone(run.child));
    }
    stop_viewer(*this, run);
  }
}

TEST_F(InputTest, SpacePausesWithoutUsingCpuAndResumes) {
  constexpr auto idle_span = std::chrono::seconds(1);
  const zorv_run run = start(torus_text(24, 12), {"-i"});
  press_key(display, XK_space);
  const pixel_area paused = still_picture();
  std::this_thread::sleep_for(200ms);
  const long ticks = cpu_ticks(run.child);
  std::this_thread::sleep_for(idle_span);
  EXPECT_EQ(cpu_ticks(run.child), ticks) << "CPU used while paused";
  EXPECT_EQ(window_picture().pixels, paused.pixels);

  press_key(display, XK_space);
  EXPECT_TRUE(wait_until([&] { return window_picture().pixels != paused.pixels; }));
  EXPECT_FALSE(process_gone(run.child));
  stop_viewer(*this, run);
}

// One viewer of a still object, paused, and for each input the picture that the geometry
// functions give for the view it should lead to. Each case starts from r, and r at the end
// gives the first frame again.
TEST_F(InputTest, DragsTheWheelAndKeysGiveTheExpectedPictures) {
  constexpr int x0 = drag_x0;
  constexpr int y0 = drag_y0;
  constexpr int n = drag_length;
  struct input_case {
    const char* what;
    std::function<void(Display*)> act;
    view expected;
  };
  const float zoomed_in = static_cast<float>(200.0 * stated_zoom_factor);
  const float zoomed_out = static_cast<float>(200.0 / stated_zoom_factor);
  // The side nearest the eye follows the hand: right turns +z (and +w) towards +x, down turns
  // them towards -y.
  const input_case cases[] = {
      {"drag right: xz",
       [](Display* d) { drag(d, Button1, x0, y0, x0 + n, y0); },
       {.plane = xz, .radians = drag_radians(-n)}},
      {"drag down: yz",
       [](Display* d) { drag(d, Button1, x0, y0, x0, y0 + n); },
       {.plane = yz, .radians = drag_radians(n)}},
      {"Shift-drag left: xw",
       [](Display* d) { drag(d, Button1, x0, y0, x0 - n, y0, true); },
       {.plane = xw, .radians = drag_radians(n)}},
      {"right-button drag up: yw",
       [](Display* d) { drag(d, Button3, x0, y0, x0, y0 - n); },
       {.plane = yw, .radians = drag_radians(-n)}},
      {"Right arrow: xz",
       [](Display* d) { press_key(d, XK_Right); },
       {.plane = xz, .radians = drag_radians(-stated_arrow_pixels)}},
      {"Shift-Down arrow: yw",
       [](Display* d) { press_key(d, XK_Down, true); },
       {.plane = yw, .radians = drag_radians(stated_arrow_pixels)}},
      {"wheel up", [](Display* d) { click(d, Button4); }, {.scale = zoomed_in}},
      {"wheel down", [](Display* d) { click(d, Button5); }, {.scale = zoomed_out}},
      {"p", [](Display* d) { press_key(d, XK_p); }, {.perspective = true}},
  };
  start(axes, {"-xy", "-np", "-i"});
  const pixel_area first = expected_picture(display, axes, {});
  ASSERT_TRUE(shows(first));
  press_key(display, XK_space);
  for (const input_case& c : cases) {
    SCOPED_TRACE(c.what);
    press_key(display, XK_r);
    c.act(display);
    EXPECT_TRUE(shows(expected_picture(display, axes, c.expected)));
  }
  press_key(display, XK_r);
  EXPECT_TRUE(shows(first));
}

// Paused, the viewer draws again what the server erased when another window covered it, and
// follows a resize, rescaling the object.
TEST_F(InputTest, APausedViewerRedrawsWhenExposedOrResized) {
  constexpr int large = 1300;
  const zorv_run run = start(axes, {"-xy", "-np", "-i"});
  press_key(display, XK_space);
  press_key(display, XK_Right);
  const view turned{.plane = xz, .radians = drag_radians(-stated_arrow_pixels)};
  ASSERT_TRUE(shows(expected_picture(display, axes, turned)));

  XSetWindowAttributes cover_attributes{};
  cover_attributes.override_redirect = True;
  cover_attributes.background_pixel = 0xffffff;
  const Window cover =
      XCreateWindow(display, DefaultRootWindow(display), 0, 0, window_side + 10, window_side + 10,
                    0, CopyFromParent, InputOutput, CopyFromParent,
                    CWOverrideRedirect | CWBackPixel, &cover_attributes);
  XMapRaised(display, cover);
  XSync(display, False);
  XDestroyWindow(display, cover);
  XSync(display, False);
  EXPECT_TRUE(shows(expected_picture(display, axes, turned))) << "not redrawn after the exposure";

  XResizeWindow(display, viewer_window(display), large, large);
  XSync(display, False);
  view resized = turned;
  resized.scale = 400.0f;
  resized.width = resized.height = large;
  EXPECT_TRUE(shows(expected_picture(display, axes, resized)));
  EXPECT_FALSE(process_gone(run.child));
}

// Covers the viewer's window with another window and uncovers it: the server clears what was
// covered to the window's background.
void cover_and_uncover(Display* display) {
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = white;
  const Window cover = XCreateWindow(display, DefaultRootWindow(display), 0, 0, window_side + 10,
                                     window_side + 10, 0, CopyFromParent, InputOutput,
                                     CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
  XMapRaised(display, cover);
  XSync(display, False);
  XDestroyWindow(display, cover);
  XSync(display, False);
}

// At one frame in 100 s (-fps0.01) an exposure, a resize and a drag are drawn at once, paused or
// not, and the redraw shows the frame that was on the window (here the first, unturned: the
// motion of 10 degrees a frame waits for its next frame on the schedule).
TEST_F(InputTest, ExposureResizeAndInputRedrawAtOnceWhateverTheFrameRate) {
  constexpr int large = 1300;
  constexpr auto at_once = 5s; // far below the 100 s of a frame
  const view dragged{.plane = xz, .radians = drag_radians(-drag_length)};
  struct redraw_case {
    const char* what;
    bool paused;
    std::function<void(Display*)> act;
    view expected;
  };
  const redraw_case cases[] = {
      {"paused, exposed", true, cover_and_uncover, {}},
      {"paused, dragged", true,
       [](Display* d) { drag(d, Button1, drag_x0, drag_y0, drag_x0 + drag_length, drag_y0); },
       dragged},
      {"running, exposed", false, cover_and_uncover, {}},
      {"running, dragged", false,
       [](Display* d) { drag(d, Button1, drag_x0, drag_y0, drag_x0 + drag_length, drag_y0); },
       dragged},
      {"running, resized",
       false,
       [](Display* d) {
         XResizeWindow(d, viewer_window(d), large, large);
         XSync(d, False);
       },
       {.scale = 400.0f, .width = large, .height = large}},
  };
  const pixel_area first = expected_picture(display, axes, {});
  for (const redraw_case& c : cases) {
    SCOPED_TRACE(c.what);
    const zorv_run run = start(axes, {"-xy10", "-np", "-i", "-fps0.01"});
    ASSERT_TRUE(shows(first));
    if (c.paused) press_key(display, XK_space);
    c.act(display);
    const pixel_area expected = expected_picture(display, axes, c.expected);
    EXPECT_TRUE(wait_until(
        [&] { return window_picture(expected.width, expected.height).pixels == expected.pixels; },
        at_once));
    stop_viewer(*this, run);
  }
}

// Viewers in this process: the test sends the input through the server and reads it as the
// frame loop does.
class InteractiveViewerTest : public testing::Test, protected viewer_session {
protected:
  void SetUp() override { ASSERT_EQ(open_session(*this, screen_side), ""); }
  void TearDown() override { close_session(*this); }

  viewer& start(const std::vector<std::string>& options) {
    viewer& v = start_local_viewer(*this, torus_text(24, 12), options);
    XSync(v.window.display, False);
    focus_window(display, v.window.window);
    return v;
  }

  // Reads the viewer's connection until the condition holds.
  static bool read_until(viewer& v, const std::function<bool()>& done) {
    return wait_until([&] {
      read_connection(v);
      return done();
    });
  }
};

TEST_F(InteractiveViewerTest, SpeedKeysScaleEveryIncrementByOneFactorWithinALimit) {
  struct speed_case {
    const char* what;
    KeySym key;
    bool shift;
    int step; // +1 faster, -1 slower
  };
  const speed_case cases[] = {
      {"+", XK_plus, true, 1},
      {"= (+ without Shift)", XK_equal, false, 1},
      {"keypad +", XK_KP_Add, false, 1},
      {"-", XK_minus, false, -1},
      {"keypad -", XK_KP_Subtract, false, -1},
  };
  for (const speed_case& c : cases) {
    SCOPED_TRACE(c.what);
    viewer& v = start({"-i", "-xy1", "-xw-2", "-zw0.5"});
    const std::array<float, plane_count> before = v.view.increments;
    press_key(display, c.key, c.shift);
    ASSERT_TRUE(read_until(v, [&] { return v.view.increments != before; }));
    const double factor = c.step > 0 ? stated_speed_factor : 1.0 / stated_speed_factor;
    for (int plane = 0; plane < plane_count; ++plane)
      EXPECT_EQ(v.view.increments[plane],
                static_cast<float>(static_cast<double>(before[plane]) * factor))
          << "plane " << plane;
  }

  // Twenty steps faster at most, then the key changes nothing; a step slower still counts.
  viewer& v = start({"-i", "-xw2"});
  float fastest = v.view.increments[xw];
  for (int i = 0; i < max_speed_steps; ++i)
    fastest = static_cast<float>(static_cast<double>(fastest) * stated_speed_factor);
  for (int i = 0; i < max_speed_steps + 5; ++i) press_key(display, XK_plus, true);
  press_key(display, XK_p); // read after every + before it
  ASSERT_TRUE(read_until(v, [&] { return !v.view.perspective; }));
  EXPECT_EQ(v.view.increments[xw], fastest);
  press_key(display, XK_minus);
  ASSERT_TRUE(read_until(v, [&] { return v.view.increments[xw] != fastest; }));
  EXPECT_EQ(v.view.increments[xw],
            static_cast<float>(static_cast<double>(fastest) / stated_speed_factor));
}

// A notch that would take the scale beyond single precision is refused, so that the way back
// leads to the same view.
TEST_F(InteractiveViewerTest, TheWheelStopsShortOfAnInfiniteScale) {
  constexpr float largest_scale = 3e38f;
  viewer& v = start({"-i", "-s3e38"});
  click(display, Button4);
  press_key(display, XK_p); // read after the notch
  ASSERT_TRUE(read_until(v, [&] { return !v.view.perspective; }));
  EXPECT_EQ(v.object.scale[0], largest_scale);
  click(display, Button5);
  ASSERT_TRUE(read_until(v, [&] { return v.object.scale[0] != largest_scale; }));
  EXPECT_EQ(v.object.scale[0], static_cast<float>(largest_scale / stated_zoom_factor));
}

// r brings back the orientation, speed and perspective of start-up, and the scale and distances
// that start-up gives a window of the present size (those of start-up itself with -ns). A resize
// and the user's input change the view, never the settings.
TEST_F(InteractiveViewerTest, ResetGivesTheStartingViewForThePresentWindowSize) {
  for (const bool rescale : {true, false}) {
    SCOPED_TRACE(rescale ? "rescaling" : "-ns");
    std::vector<std::string> options = {"-i", "-xw2", "-yz1", "-s150", "-wd300"};
    if (!rescale) options.push_back("-ns");
    viewer& v = start(options);
    const viewer_settings settings = v.settings;
    const std::array<float, plane_count> increments = v.view.increments;
    for (int i = 0; i < 5; ++i) run_frame(v);
    click(display, Button4);
    press_key(display, XK_plus, true);
    press_key(display, XK_Up, true);
    press_key(display, XK_p);
    XResizeWindow(display, v.window.window, 1300, 1300);
    XSync(display, False);
    ASSERT_TRUE(read_until(v, [&] { return !v.view.perspective; }));
    run_frame(v); // follows the resize
    ASSERT_TRUE(v.object.turned);

    press_key(display, XK_r);
    ASSERT_TRUE(read_until(v, [&] { return !v.object.turned; }));
    const float factor = rescale ? 2.0f : 1.0f;
    for (const float scale : v.object.scale) EXPECT_EQ(scale, 150.0f * factor);
    EXPECT_EQ(v.view.w_distance, 300.0f * factor);
    EXPECT_EQ(v.view.z_distance, 430.0f * factor);
    EXPECT_EQ(v.view.increments, increments);
    EXPECT_TRUE(v.view.perspective);
    // All of it changed the view alone: the settings are as start-up left them.
    EXPECT_EQ(v.settings, settings);
    for (const plane_record& plane : v.object.planes) {
      EXPECT_EQ(plane.angle, 0.0f);
      EXPECT_EQ(plane.sine, 0.0f);
      EXPECT_EQ(plane.cosine, 1.0f);
    }
  }
}

// An OFF file is fitted as it loads, so that r returns to the fitted view: a tesseract of side
// 2000 about (5000, 5000, 5000, 5000) lies within distance 1 of the origin, and the frame after r
// is the first frame again.
TEST_F(InteractiveViewerTest, ResetReturnsAnOffObjectToItsFittedView) {
  std::string off = "4OFF\n16 32\n";
  for (int v = 0; v < 16; ++v)
    for (int axis = 0; axis < 4; ++axis)
      off += std::to_string(((v >> axis) & 1) != 0 ? 6000 : 4000) + (axis == 3 ? "\n" : " ");
  for (int v = 0; v < 16; ++v)
    for (int axis = 0; axis < 4; ++axis)
      if (((v >> axis) & 1) == 0)
        off += "2 " + std::to_string(v) + " " + std::to_string(v | 1 << axis) + "\n";
  viewer& v = start_local_viewer(*this, off, {"-i", "-xw2", "-yz1"});
  XSync(v.window.display, False);
  focus_window(display, v.window.window);
  for (const point& p : v.object.points)
    for (const float c : {p.x, p.y, p.z, p.w}) EXPECT_EQ(std::fabs(c), 0.5f);
  const auto segments_of = [&] {
    std::vector<std::array<short, 4>> segments;
    for (const XSegment& s : v.frame.segments) segments.push_back({s.x1, s.y1, s.x2, s.y2});
    return segments;
  };
  run_frame(v);
  const auto first = segments_of();
  for (int i = 0; i < 5; ++i) run_frame(v);
  click(display, Button4);
  ASSERT_TRUE(read_until(v, [&] { return v.object.scale[0] != 200.0f; }));
  press_key(display, XK_r);
  ASSERT_TRUE(read_until(
      v, [&] { return v.object.scale[0] == 200.0f && v.object.planes[xw].angle == 0.0f; }));
  run_frame(v);
  EXPECT_EQ(segments_of(), first);
}

// The events of a resize may all be read before the paused viewer's next frame, which is then
// made for the old size (follow_resize comes after the frame is made): the viewer draws once
// more, for the new size, before it sleeps again.
TEST_F(InteractiveViewerTest, APausedViewerDrawsAResizedWindowForItsNewSize) {
  constexpr int large = 1300;
  viewer& v = start_local_viewer(*this, axes, {"-xy", "-np", "-i"});
  focus_window(display, v.window.window);
  frame_pacer pacer{};
  run_interactive_frame(v, pacer);
  press_key(display, XK_space);
  ASSERT_TRUE(read_until(v, [&] { return v.view.paused; }));

  XResizeWindow(display, v.window.window, large, large);
  XSync(display, False);
  XSync(v.window.display, False);  // both the resize and the exposure are now in the queue
  run_interactive_frame(v, pacer); // reads them
  for (int frame = 0; frame < 3 && v.view.changed; ++frame) run_interactive_frame(v, pacer);
  EXPECT_FALSE(v.view.changed);
  XSync(v.window.display, False);
  EXPECT_EQ(
      read_window(display, large, large).pixels,
      expected_picture(display, axes, {.scale = 400.0f, .width = large, .height = large}).pixels);
}

// Until the user turns the object, -i changes nothing in a frame: the same segments, bit for bit,
// frame after frame, as a viewer without it.
TEST_F(InteractiveViewerTest, AnUntouchedViewerMakesTheFramesOfTheDefault) {
  viewer& plain = start({"-xw2", "-yz1"});
  viewer& interactive = start({"-xw2", "-yz1", "-i"});
  for (int frame = 0; frame < 200; ++frame) {
    run_frame(plain);
    run_frame(interactive);
    ASSERT_EQ(std::memcmp(plain.frame.segments.data(), interactive.frame.segments.data(),
                          plain.frame.segments.size() * sizeof(XSegment)),
              0)
        << "frame " << frame;
  }
}

// Each turn acts on the view as the screen shows it, after every earlier turn; a hundred
// thousand turns and their undoing in reverse order leave the identity.
TEST(UserTurnTest, TurnsInTheScreensFrameAndStaysARotation) {
  viewer v{};
  identity_transform(v.object);
  v.object.points = {{0.3f, -0.2f, 0.7f, 0.4f}};
  v.object.projected.resize(1);
  v.object.point_count = 1;
  const view_record settings = plain_view(false, 430.0f, 430.0f);
  const window_geometry geometry{650, 650, 325, 325};
  const auto turned_point = [&] {
    build_frame(v.object, settings, geometry, {});
    return v.object.projected[0];
  };
  // Turns in xz and yz do not commute: the second must act on what the first left.
  turn_view(v.view, v.object, xz, 1.0);
  const point before = turned_point();
  turn_view(v.view, v.object, yz, 0.5);
  point expected = before;
  rotate_pair(expected.y, expected.z, static_cast<float>(std::sin(0.5)),
              static_cast<float>(std::cos(0.5)));
  const point after = turned_point();
  EXPECT_NEAR(after.x, expected.x, 1e-6);
  EXPECT_NEAR(after.y, expected.y, 1e-6);
  EXPECT_NEAR(after.z, expected.z, 1e-6);
  EXPECT_NEAR(after.w, expected.w, 1e-6);

  constexpr int turns = 100'000;
  const plane_index planes[] = {xz, yz, xw, yw};
  const auto angle = [](int i) { return 0.001 * ((i * 7919) % 201 - 100); };
  for (int i = 0; i < turns; ++i) turn_view(v.view, v.object, planes[i % 4], angle(i));
  for (int i = turns - 1; i >= 0; --i) turn_view(v.view, v.object, planes[i % 4], -angle(i));
  turn_view(v.view, v.object, yz, -0.5);
  turn_view(v.view, v.object, xz, -1.0);
  for (int row = 0; row < axis_count; ++row)
    for (int column = 0; column < axis_count; ++column)
      EXPECT_NEAR(v.view.turn[row][column], row == column ? 1.0 : 0.0, 1e-12)
          << row << ", " << column;
}

} // namespace
} // namespace zorv
