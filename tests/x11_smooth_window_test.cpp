// The real zorv program drawing smooth lines (-aa) into its window, against a private Xvfb: the
// window shows the very pixels of the picture file (-o) of the same frame, and a screen without
// 24-bit true colour is refused.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "picture_files.hpp"
#include "torus.hpp"
#include "viewer_fixture.hpp"
#include "x11_harness.hpp"

#include <algorithm>
#include <string>
#include <vector>

namespace zorv {
namespace {

using namespace x11test;

// Leaves MIT-SHM out, so that -aa sends its pixels with XPutImage.
const std::vector<std::string> without_shared_memory = {"-extension", "MIT-SHM"};

using SmoothWindowTest = viewer_fixture;

// -aa shows in the window exactly the pixels that -o writes for the same frame and size, whether
// they go through shared memory or, where the server lacks it, XPutImage.
TEST_F(SmoothWindowTest, SmoothLinesShowThePixelsOfThePicture) {
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
TEST_F(SmoothWindowTest, SmoothLinesNeedATrueColourScreen) {
  ASSERT_EQ(restart_server(*this, screen_side, {"-screen", "1", "800x800x16"}), "");
  write_file(dir + "/object.zorv", unit_x);
  const zorv_run run = run_zorv(zorv_binary, dir, server.display_name,
                                {"object.zorv", "-aa", "-d", server.display_name + ".1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "ZORV: -aa needs a TrueColor screen of 24 bits.\n");
  EXPECT_EQ(run.child, -1);
}

} // namespace
} // namespace zorv
