// OFF files in the viewer, against a private Xvfb: the OFF tesseract turns in the window exactly
// as its zorv-format twin (the same points and lines in the same order) does, frame for frame,
// and the real zorv shows it as it shows the twin.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "animation.hpp"
#include "tesseract.hpp"
#include "x11_harness.hpp"

#include <string>
#include <vector>

namespace zorv {
namespace {

using namespace x11test;

const std::string zorv_binary = ZORV_BIN_DIR "/zorv";
constexpr int screen_side = 700;
constexpr int frame_count = 40;
constexpr unsigned long red = 0xff0000;

class OffInTheViewerTest : public testing::Test, protected viewer_session {
protected:
  static void SetUpTestSuite() { adopt_orphans(); }
  void SetUp() override { ASSERT_EQ(open_session(*this, screen_side), ""); }
  void TearDown() override { close_session(*this); }

  // The window after each of the first frames of a viewer in this process, on a fresh server.
  std::vector<std::vector<unsigned long>> frames(const std::string& object_text,
                                                 const std::vector<std::string>& options) {
    std::vector<std::vector<unsigned long>> pictures;
    const std::string failure = restart_server(*this, screen_side, {});
    EXPECT_EQ(failure, "");
    if (!failure.empty()) return pictures;
    viewer& v = start_local_viewer(*this, object_text, options);
    for (int frame = 0; frame < frame_count; ++frame) {
      run_frame(v);
      XSync(v.window.display, False);
      pictures.push_back(read_window(display, window_side, window_side).pixels);
    }
    return pictures;
  }

  // What the real zorv's window shows once two reads in a row agree and something is drawn.
  pixel_area steady_picture() {
    pixel_area last;
    wait_until([&] {
      pixel_area now = read_window(display, window_side, window_side);
      const bool steady = find_pixels(now, red).count > 0 && now.pixels == last.pixels;
      last = std::move(now);
      return steady;
    });
    return last;
  }
};

TEST_F(OffInTheViewerTest, TurnsFrameForFrameLikeItsZorvTwin) {
  const tesseract_texts tesseract = make_tesseract_texts();
  const std::vector<std::string> motions[] = {{}, {"-xw2", "-yz1", "-wc", "Blue"}};
  for (const std::vector<std::string>& options : motions) {
    SCOPED_TRACE(testing::PrintToString(options));
    const auto off = frames(tesseract.off, options);
    const auto twin = frames(tesseract.zorv, options);
    ASSERT_EQ(off.size(), static_cast<std::size_t>(frame_count));
    ASSERT_EQ(twin.size(), off.size());
    int changes = 0;
    for (int frame = 0; frame < frame_count; ++frame) {
      const auto i = static_cast<std::size_t>(frame);
      EXPECT_TRUE(off[i] == twin[i]) << "frame " << frame;
      changes += frame > 0 && off[i] != off[i - 1];
    }
    // It turns: the pictures differ from frame to frame.
    EXPECT_GT(changes, frame_count / 2);
  }
}

// The real program reads the OFF file, reports its counts and shows what it shows for the twin.
TEST_F(OffInTheViewerTest, TheRealViewerShowsTheOffTesseractAsItsTwin) {
  const tesseract_texts tesseract = make_tesseract_texts();
  const std::vector<std::string> still = {"-xy0"};
  const zorv_run off = start_viewer_process(*this, zorv_binary, tesseract.off, still);
  ASSERT_EQ(off.status, 0) << off.err;
  EXPECT_NE(off.out.find(" 16 points, 32 lines.\n"), std::string::npos) << off.out;
  const pixel_area off_picture = steady_picture();
  stop_viewer(*this, off);
  const zorv_run twin = start_viewer_process(*this, zorv_binary, tesseract.zorv, still);
  ASSERT_EQ(twin.status, 0) << twin.err;
  const pixel_area twin_picture = steady_picture();
  stop_viewer(*this, twin);
  EXPECT_GT(find_pixels(off_picture, red).count, 0);
  EXPECT_TRUE(off_picture.pixels == twin_picture.pixels);
}

} // namespace
} // namespace zorv
