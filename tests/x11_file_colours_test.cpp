// The file's colours in the real zorv's window, against a private Xvfb: the plain window (with
// and without -bb) draws each line in its file's colour, -aa shows the pixels of the picture
// file, and a screen with a colour map of fewer free cells than the file has colours still
// draws.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "coloured_files.hpp"
#include "object.hpp"
#include "picture_files.hpp"
#include "polytope_files.hpp"
#include "viewer_fixture.hpp"
#include "x11_harness.hpp"
#include "zorv_file.hpp"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace zorv {
namespace {

using namespace x11test;

class FileColoursTest : public viewer_fixture {
protected:
  // cellgen's 24-cell as an OFF file, its faces in colouredfiles::face_colours, every seventh
  // face without a colour.
  std::string coloured_24_cell() {
    testrun::run_options how;
    how.dir = dir;
    const testrun::program_run cellgen = testrun::run_program(ZORV_BIN_DIR "/cellgen", {"24"}, how);
    EXPECT_EQ(cellgen.status, 0) << cellgen.err;
    object_record polytope{};
    std::string error;
    EXPECT_TRUE(parse_object(cellgen.out, polytope, error)) << error;
    std::vector<std::string> after = colouredfiles::face_colour_texts();
    after.push_back("");
    return polytopefiles::off_text(polytope, polytopefiles::faces_of(polytope), 1, 0, after);
  }
};

// The window's pixels by value, counted.
std::map<unsigned long, long> pixel_counts(const pixel_area& area) {
  std::map<unsigned long, long> counts;
  for (const unsigned long p : area.pixels) ++counts[p];
  return counts;
}

TEST_F(FileColoursTest, ThePlainWindowDrawsEachLineInItsFilesColour) {
  const std::string off = coloured_24_cell();
  std::set<unsigned long> allowed = {black, red};
  allowed.insert(colouredfiles::face_colours.begin(), colouredfiles::face_colours.end());
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"-xw2"}, std::vector<std::string>{"-xw2", "-bb"}}) {
    SCOPED_TRACE(testing::PrintToString(options));
    const zorv_run run = start(off, options);
    std::map<unsigned long, long> counts;
    EXPECT_TRUE(wait_until([&] {
      counts = pixel_counts(read_window(display, window_side, window_side));
      return std::all_of(colouredfiles::face_colours.begin(), colouredfiles::face_colours.end(),
                         [&](unsigned long c) { return counts.contains(c); });
    }));
    for (const auto& [pixel, count] : counts) EXPECT_TRUE(allowed.contains(pixel)) << pixel;
    EXPECT_EQ(run.err, "");
    stop(run);
  }
  // -lc draws every line in its colour.
  const zorv_run run = start(off, {"-xw2", "-lc", "Yellow"});
  std::map<unsigned long, long> counts;
  EXPECT_TRUE(wait_until([&] {
    counts = pixel_counts(read_window(display, window_side, window_side));
    return counts.contains(0xffff00);
  }));
  for (const auto& [pixel, count] : counts) EXPECT_TRUE(pixel == black || pixel == 0xffff00);
  stop(run);
}

TEST_F(FileColoursTest, SmoothLinesShowThePixelsOfThePicture) {
  const std::string off = coloured_24_cell();
  write_file(dir + "/object.zorv", off);
  ASSERT_EQ(
      run_zorv(zorv_binary, dir, server.display_name, {"object.zorv", "-xy", "-o", "frame.png"})
          .status,
      0);
  const picturetest::image picture = picturetest::read_png(dir + "/frame.png");
  ASSERT_GT(picture.width, 0);
  const zorv_run run = start(off, {"-xy", "-aa"});
  pixel_area shown;
  EXPECT_TRUE(wait_until([&] {
    shown = read_window(display, picture.width, picture.height);
    return std::equal(shown.pixels.begin(), shown.pixels.end(), picture.pixels.begin(),
                      picture.pixels.end());
  }));
  const std::map<unsigned long, long> counts = pixel_counts(shown);
  for (const std::uint32_t c : colouredfiles::face_colours) EXPECT_TRUE(counts.contains(c)) << c;
  EXPECT_EQ(run.err, "");
  stop(run);
}

// 600 colours on a screen of 256 cells, some taken: the first ones are allocated, the others take
// the nearest of them, and the viewer draws on.
TEST_F(FileColoursTest, AColourMapWithFewerFreeCellsThanColoursStillDraws) {
  ASSERT_EQ(restart_server(*this, screen_side, {"-screen", "1", "800x800x8"}), "");
  const std::string star = colouredfiles::star_skel(600);
  const zorv_run run = start(star, {"-xw1", "-d", server.display_name + ".1"});
  std::map<unsigned long, long> counts;
  EXPECT_TRUE(wait_until([&] {
    counts = pixel_counts(read_window(display, window_side, window_side, 1));
    return counts.size() > 100;
  })) << counts.size()
      << " pixel values";
  // Every line shows one of the file's colours: its own, or the nearest that was allocated.
  std::set<std::uint32_t> file_colours;
  for (int i = 0; i < 600; ++i) file_colours.insert(colouredfiles::star_colour(i));
  const Colormap colormap = DefaultColormap(display, 1);
  for (const auto& [pixel, count] : counts) {
    XColor shown{};
    shown.pixel = pixel;
    XQueryColor(display, colormap, &shown);
    const std::uint32_t rgb = std::uint32_t{shown.red} >> 8 << 16 |
                              std::uint32_t{shown.green} >> 8 << 8 | std::uint32_t{shown.blue} >> 8;
    EXPECT_TRUE(rgb == black || file_colours.contains(rgb)) << std::hex << rgb;
  }
  EXPECT_EQ(run.err, "");
  EXPECT_FALSE(process_gone(run.child));
  stop(run);
}

} // namespace
} // namespace zorv
