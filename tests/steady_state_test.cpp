// The frame loop in this process, against a private Xvfb: once warmed up it allocates nothing
// that it keeps, so its resident memory stays put over a long run, even while another client
// moves its window every frame (as a window manager does while the user drags it) and the
// server sends it an event for every move. run_frame is the step that run_animation repeats,
// so the frames counted here are exactly the frames drawn.
//
// Xlib allocates and frees a small record for every reply it awaits, one per frame. The C
// library hands the same chunk back each time; AddressSanitizer instead keeps freed chunks in
// quarantine (up to 256 MiB), so under it the resident size grows without a leak and only the
// live heap tells.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "address_sanitizer.hpp"
#include "animation.hpp"
#include "tesseract.hpp"
#include "x11_harness.hpp"

#include <X11/Xlib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <string>
#include <unistd.h>

namespace zorv {
namespace {

using namespace x11test;

// 100,000 frames, each leaking even the smallest heap chunk (32 bytes), would add 3 MiB.
constexpr long warm_up_frames = 10'000;
constexpr long measured_frames = 100'000;
constexpr long sample_every = 10'000;
constexpr long allowed_resident_growth_bytes = 512 * 1024;
// The live heap is exact: even one byte kept per frame would add 100,000.
constexpr long allowed_heap_growth_bytes = 64 * 1024;
constexpr int screen_side = 700;

long resident_bytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

// Bytes in heap chunks that are in use.
long live_heap_bytes() {
#ifdef ZORV_ADDRESS_SANITIZER
  return static_cast<long>(__sanitizer_get_current_allocated_bytes());
#else
  return static_cast<long>(mallinfo2().uordblks);
#endif
}

#ifdef ZORV_ADDRESS_SANITIZER
constexpr bool resident_size_tells = false;
#else
constexpr bool resident_size_tells = true;
#endif

struct memory {
  long resident;
  long heap;
};

memory measure() {
  return {resident_bytes(), live_heap_bytes()};
}

memory highest_of(const memory& a, const memory& b) {
  return {std::max(a.resident, b.resident), std::max(a.heap, b.heap)};
}

TEST(SteadyStateTest, FrameLoopKeepsItsMemoryOverALongRun) {
  viewer_session session;
  ASSERT_EQ(open_session(session, screen_side), "");
  // The default motion: xz, xw and yw turn.
  viewer& viewer = start_local_viewer(session, make_tesseract_texts().zorv, {});

  for (long frame = 0; frame < warm_up_frames; ++frame) run_frame(viewer);
  const memory start = measure();
  memory highest = start;
  const Window window = viewer.window.window;
  for (long frame = 1; frame <= measured_frames; ++frame) {
    XMoveWindow(session.display, window, static_cast<int>(frame % 2), 0);
    XFlush(session.display);
    run_frame(viewer);
    if (frame % sample_every == 0) highest = highest_of(highest, measure());
  }
  XSync(session.display, False);
  const memory end = measure();
  std::printf("after %ld warm-up frames: resident %ld KiB, live heap %ld bytes\n"
              "after %ld more frames, the window moved before each: resident %ld KiB, live heap "
              "%ld bytes\n"
              "highest of %ld samples: resident %ld KiB, live heap %ld bytes\n",
              warm_up_frames, start.resident / 1024, start.heap, measured_frames,
              end.resident / 1024, end.heap, measured_frames / sample_every,
              highest.resident / 1024, highest.heap);
  // Each frame takes the events its round trip brought off the queue.
  EXPECT_EQ(XEventsQueued(viewer.window.display, QueuedAlready), 0);
  EXPECT_LE(highest.heap - start.heap, allowed_heap_growth_bytes);
  if (resident_size_tells) {
    EXPECT_LE(highest.resident - start.resident, allowed_resident_growth_bytes);
  }
  // The object really turned: the angles grew by one increment per frame.
  EXPECT_GT(viewer.object.planes[xw].angle, 0.0f);
  close_session(session);
}

} // namespace
} // namespace zorv
