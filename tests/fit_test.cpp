// Fitting objects to the frame: the box and the distance on awkward points; which files load
// fitted; and the real zorv's pictures of a polytope written at other sizes and places, which
// fitting makes the same picture.
#include "fit.hpp"
#include "load.hpp"
#include "picture_files.hpp"
#include "polytope_files.hpp"
#include "run_program.hpp"
#include "zorv_file.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace zorv {
namespace {

using namespace picturetest;
using namespace testrun;
using coordinates = std::vector<std::array<float, 4>>;

constexpr float infinity = std::numeric_limits<float>::infinity();
constexpr float root_half = 0.70710677f; // 1 / sqrt(2), rounded to single precision

object_record object_of(const coordinates& points) {
  object_record object{};
  for (const auto& c : points) object.points.push_back({c[0], c[1], c[2], c[3]});
  object.point_count = static_cast<std::int32_t>(points.size());
  return object;
}

coordinates coordinates_of(const object_record& object) {
  coordinates c;
  for (const point& p : object.points) c.push_back({p.x, p.y, p.z, p.w});
  return c;
}

TEST(FitObjectTest, CentresTheBoxAndPutsTheFarthestPointAtOne) {
  const struct {
    const char* name;
    coordinates points;
    coordinates fitted;
  } cases[] = {
      {"a single point", {{3, 4, 5, 6}}, {{0, 0, 0, 0}}},
      {"points that all coincide",
       {{-2, 7, 1e30f, 0}, {-2, 7, 1e30f, 0}},
       {{0, 0, 0, 0}, {0, 0, 0, 0}}},
      {"a segment off the origin", {{1, 1, 1, 1}, {3, 1, 1, 1}}, {{-1, 0, 0, 0}, {1, 0, 0, 0}}},
      // The box's centre, not the mean of the points.
      {"points piled at one end",
       {{0, 0, 0, 0}, {2, 0, 0, 0}, {2, 0, 0, 0}, {2, 0, 0, 0}},
       {{-1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}}},
      {"huge finite coordinates",
       {{-3e38f, 3e38f, 0, 0}, {3e38f, -3e38f, 0, 0}},
       {{-root_half, root_half, 0, 0}, {root_half, -root_half, 0, 0}}},
      {"the largest floats on every axis",
       {{-FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX}, {FLT_MAX, FLT_MAX, FLT_MAX, FLT_MAX}},
       {{-0.5f, -0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f, 0.5f}}},
      {"the smallest subnormals", {{0, 0, 0, 0}, {0, 0, 0, 2e-45f}}, {{0, 0, 0, -1}, {0, 0, 0, 1}}},
      // zorv's own format reads "inf": such a coordinate is left out of the box and kept.
      {"a coordinate that is not finite",
       {{infinity, 1, 0, 0}, {1, 3, 0, 0}, {3, 1, 0, 0}},
       {{infinity, -root_half, 0, 0},
        {-root_half, root_half, 0, 0},
        {root_half, -root_half, 0, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    object_record object = object_of(c.points);
    fit_object(object);
    const coordinates got = coordinates_of(object);
    ASSERT_EQ(got.size(), c.fitted.size());
    for (std::size_t i = 0; i < got.size(); ++i)
      for (int a = 0; a < 4; ++a) EXPECT_FLOAT_EQ(got[i][a], c.fitted[i][a]) << i << " " << a;
  }
}

TEST(FitObjectTest, LoadsOffAndSkelFittedAndZorvsOwnFormatAsWritten) {
  const std::string dir = make_temp_dir();
  const std::string off = write_file(dir + "/segment.off", "OFF\n2 1\n1 1 1\n3 1 1\n2 0 1\n");
  const std::string skel = write_file(dir + "/segment.skel", "SKEL\n2 1\n1 1 1\n3 1 1\n2 0 1\n");
  const std::string own =
      write_file(dir + "/segment.zorv", "p={2}\n1 1 1 0\n3 1 1 0\nl={1}\n0 1\nn=segment\n");
  const coordinates as_written = {{1, 1, 1, 0}, {3, 1, 1, 0}};
  const coordinates fitted = {{-1, 0, 0, 0}, {1, 0, 0, 0}};
  const struct {
    std::string file;
    fitting fit;
    coordinates points;
  } cases[] = {
      {off, fitting::by_kind, fitted},     {skel, fitting::by_kind, fitted},
      {own, fitting::by_kind, as_written}, {off, fitting::never, as_written},
      {skel, fitting::never, as_written},  {own, fitting::always, fitted},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + " " + std::to_string(static_cast<int>(c.fit)));
    object_record object{};
    identity_transform(object);
    load_object(object, c.file, c.fit);
    EXPECT_EQ(coordinates_of(object), c.points);
  }
  remove_temp_dir(dir);
}

// Whether every bright pixel of one picture has a lit one within a pixel in the other, and the
// first has bright pixels at all: two empty pictures are not the same drawing.
bool within_a_pixel(const image& a, const image& b) {
  const auto red = [](const image& i, int x, int y) { return (i.at(x, y) >> 16) & 0xff; };
  if (std::none_of(a.pixels.begin(), a.pixels.end(),
                   [](std::uint32_t p) { return (p >> 16 & 0xff) >= 128; }))
    return false;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) {
      if (red(a, x, y) < 128) continue;
      bool near = false;
      for (int dy = -1; dy <= 1 && !near; ++dy)
        for (int dx = -1; dx <= 1 && !near; ++dx) {
          const int u = x + dx;
          const int v = y + dy;
          near = u >= 0 && v >= 0 && u < b.width && v < b.height && red(b, u, v) >= 64;
        }
      if (!near) return false;
    }
  return true;
}

class FitPictureTest : public testing::Test {
protected:
  void SetUp() override {
    dir = make_temp_dir();
    ASSERT_FALSE(dir.empty());
    run_options how;
    how.dir = dir;
    const program_run cellgen = run_program(ZORV_BIN_DIR "/cellgen", {"24"}, how);
    ASSERT_EQ(cellgen.status, 0) << cellgen.err;
    std::string error;
    ASSERT_TRUE(parse_object(cellgen.out, polytope, error)) << error;
    faces = polytopefiles::faces_of(polytope);
  }
  void TearDown() override { remove_temp_dir(dir); }

  // The real zorv's picture of frame 7 of the object file, without a display.
  image picture(const std::string& name, const std::string& text,
                std::vector<std::string> options = {}) {
    write_file(dir + "/" + name, text);
    options.insert(options.begin(), {name, "-xw3", "-yz2", "-o", "p.png", "-frames", "7"});
    run_options how;
    how.dir = dir;
    how.unset_environment = {"DISPLAY"};
    const program_run ran = run_program(ZORV_BIN_DIR "/zorv", options, how);
    EXPECT_EQ(shell_status(ran), 0) << ran.err;
    return read_png(dir + "/p.png");
  }

  // The polytope in zorv's own format, scaled and moved.
  std::string zorv_text(double scale, double move) const {
    std::string text = "p={" + std::to_string(polytope.points.size()) + "}\n";
    char number[160];
    for (const point& q : polytope.points) {
      std::snprintf(number, sizeof number, "%.9g %.9g %.9g %.9g\n", q.x * scale + move,
                    q.y * scale + move, q.z * scale + move, q.w * scale + move);
      text += number;
    }
    text += "l={" + std::to_string(polytope.lines.size()) + "}\n";
    for (const line& l : polytope.lines)
      text += std::to_string(l.first) + " " + std::to_string(l.second) + "\n";
    return text + "n=moved\n";
  }

  std::string dir;
  object_record polytope{};
  std::vector<std::vector<int>> faces;
};

TEST_F(FitPictureTest, AnyScaleAndPlaceGivesThePictureOfTheFittedPolytope) {
  const image original = picture("original.off", polytopefiles::off_text(polytope, faces));
  ASSERT_GT(original.width, 0);
  const struct {
    const char* name;
    double scale;
    double move;
  } cases[] = {{"scaled by 1e-3", 1e-3, 0},
               {"scaled by 1e3", 1e3, 0},
               {"moved by 1000 along every axis", 1, 1000},
               {"scaled by 1e3 and moved by -1e6", 1e3, -1e6}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const image fitted =
        picture("moved.off", polytopefiles::off_text(polytope, faces, c.scale, c.move));
    ASSERT_EQ(fitted.width, original.width);
    EXPECT_TRUE(within_a_pixel(fitted, original));
    EXPECT_TRUE(within_a_pixel(original, fitted));
  }
  // -fit fits zorv's own format the same way, up to coordinates of 1e38.
  for (const double scale : {1e3, 1e38}) {
    SCOPED_TRACE(scale);
    const image own = picture("moved.zorv", zorv_text(scale, scale == 1e3 ? 1000 : 0), {"-fit"});
    EXPECT_TRUE(within_a_pixel(own, original));
    EXPECT_TRUE(within_a_pixel(original, own));
  }
}

TEST_F(FitPictureTest, NofitAndZorvsOwnFormatKeepTheCoordinatesAsWritten) {
  // At a thousandth of its size the polytope lies within a pixel of the centre.
  const image tiny =
      picture("tiny.off", polytopefiles::off_text(polytope, faces, 1e-3, 0), {"-nofit"});
  const image own_tiny = picture("tiny.zorv", zorv_text(1e-3, 0));
  for (const image* i : {&tiny, &own_tiny}) {
    ASSERT_GT(i->width, 0);
    long lit = 0;
    for (int y = 0; y < i->height; ++y)
      for (int x = 0; x < i->width; ++x) {
        if (i->at(x, y) == 0) continue;
        ++lit;
        EXPECT_LE(std::abs(x - i->width / 2), 2) << x << "," << y;
        EXPECT_LE(std::abs(y - i->height / 2), 2) << x << "," << y;
      }
    EXPECT_GT(lit, 0);
  }
}

} // namespace
} // namespace zorv
