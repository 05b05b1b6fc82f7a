// GoogleTest comes first: Xlib, which the geometry header includes, defines macros such as None.
#include <gtest/gtest.h>

#include "geometry.hpp"
#include "plain_frame.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

using zorv::line;
using zorv::object_record;
using zorv::point;
using zorv::view_record;
using zorv::window_geometry;

constexpr float default_distance = 430.0f;
constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr std::int32_t hidden = -32768; // where a segment with nothing to show is put

object_record make_object(const std::vector<point>& points, const std::vector<line>& lines,
                          float scale) {
  object_record object{};
  for (zorv::plane_record& plane : object.planes) plane = {0.0f, 0.0f, 1.0f};
  object.scale = {scale, scale, scale, scale};
  object.offset = {0.0f, 0.0f, 0.0f, 0.0f};
  object.points = points;
  object.projected.assign(points.size(), point{0.0f, 0.0f, 0.0f, 0.0f});
  object.lines = lines;
  object.point_count = static_cast<std::int32_t>(points.size());
  object.line_count = static_cast<std::int32_t>(lines.size());
  object.name[0] = '\0';
  return object;
}

window_geometry make_window(std::int32_t width, std::int32_t height) {
  return {width, height, width / 2, height / 2};
}

std::vector<XSegment> frame(object_record& object, const view_record& settings,
                            const window_geometry& window) {
  std::vector<XSegment> segments(object.lines.size(), XSegment{1, 2, 3, 4});
  zorv::build_frame(object, settings, window, segments);
  return segments;
}

std::array<int, 4> ends(const XSegment& s) {
  return {s.x1, s.y1, s.x2, s.y2};
}

std::array<float, 4> coordinates(const point& p) {
  return {p.x, p.y, p.z, p.w};
}

bool same_bits(const point& a, const point& b) {
  return std::bit_cast<std::array<std::uint32_t, 4>>(a) ==
         std::bit_cast<std::array<std::uint32_t, 4>>(b);
}

TEST(PixelMappingTest, PlacesPointsAroundTheCentreWithYUpwards) {
  struct row {
    point p;
    window_geometry window;
    float w_distance; // has no effect with perspective off
    int x, y;
  };
  const row rows[] = {
      {{0, 0, 0, 0}, make_window(650, 650), default_distance, 325, 325},
      {{1, 0, 0, 0}, make_window(650, 650), default_distance, 525, 325},
      {{0, 1, 0, 0}, make_window(650, 650), default_distance, 325, 125},
      {{-1, -1, 0, 0}, make_window(650, 650), default_distance, 125, 525},
      {{0, 0, 5, 7}, make_window(650, 650), default_distance, 325, 325},
      {{1, 0, 0, 0.5f}, make_window(650, 650), 1.0f, 525, 325},
      {{1, 0, 0, 0}, make_window(651, 651), default_distance, 525, 326},
      // Conversion truncates toward zero: -0.5 px is pixel 0, 1.5 px is pixel 1.
      {{-0.0025f, -0.0025f, 0, 0}, make_window(1, 1), default_distance, 0, 1},
      {{-0.0075f, 0.0025f, 0, 0}, make_window(1, 1), default_distance, -1, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message()
                 << "point " << r.p.x << "," << r.p.y << " window " << r.window.window_width);
    object_record object = make_object({r.p}, {{0, 0}}, 200.0f);
    const std::vector<XSegment> segments =
        frame(object, zorv::plain_view(false, r.w_distance, r.w_distance), r.window);
    EXPECT_EQ(ends(segments[0]), (std::array<int, 4>{r.x, r.y, r.x, r.y}));
  }
}

TEST(RotationTest, EachPlaneTurnsItsFirstAxisTowardsItsSecond) {
  const std::array<point, 4> axis{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  const std::array<std::array<int, 2>, zorv::plane_count> plane_axes{
      {{0, 1}, {0, 2}, {1, 2}, {0, 3}, {1, 3}, {2, 3}}};
  for (int plane = 0; plane < zorv::plane_count; ++plane) {
    SCOPED_TRACE(testing::Message() << "plane " << plane);
    object_record object = make_object({}, {}, 1.0f);
    object.planes[plane] = {1.5707964f, 1.0f, 0.0f}; // a quarter turn
    const auto [a, b] = plane_axes[plane];
    const point a_turned = zorv::transform_point(object, axis[a]);
    const point b_turned = zorv::transform_point(object, axis[b]);
    EXPECT_EQ(coordinates(a_turned), coordinates(axis[b]));
    EXPECT_EQ(coordinates(b_turned),
              coordinates(point{-axis[a].x, -axis[a].y, -axis[a].z, -axis[a].w}));
  }
}

TEST(RotationTest, PlanesTurnInTheOrderXyXzYzXwYwZw) {
  struct row {
    int first_plane, second_plane;
    point in, out;
  };
  // Quarter turns in two planes that share an axis do not commute, so the result shows which ran
  // first. Planes without a common axis commute; these pairs fix the order of all the others.
  const row rows[] = {
      {zorv::xy, zorv::xz, {1, 0, 0, 0}, {0, 1, 0, 0}},
      {zorv::xz, zorv::yz, {1, 0, 0, 0}, {0, -1, 0, 0}},
      {zorv::yz, zorv::yw, {0, 0, 1, 0}, {0, 0, 0, -1}},
      {zorv::yw, zorv::zw, {0, 1, 0, 0}, {0, 0, -1, 0}},
      {zorv::xz, zorv::xw, {0, 0, 1, 0}, {0, 0, 0, -1}},
      {zorv::xw, zorv::yw, {1, 0, 0, 0}, {0, -1, 0, 0}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << "planes " << r.first_plane << " and " << r.second_plane);
    object_record object = make_object({}, {}, 1.0f);
    object.planes[r.first_plane] = {1.5707964f, 1.0f, 0.0f};
    object.planes[r.second_plane] = {1.5707964f, 1.0f, 0.0f};
    EXPECT_EQ(coordinates(zorv::transform_point(object, r.in)), coordinates(r.out));
  }
}

// 1 + 2^-12 squared is 1 + 2^-11 + 2^-24, which a single-precision product rounds to 1 + 2^-11.
// A fused or wider multiply-subtract would keep the 2^-24.
TEST(RoundingTest, ProductsAreRoundedBeforeTheirSum) {
  const float a = 0x1.001p0f;
  float x = a;
  float y = 1.0f;
  zorv::rotate_pair(x, y, 1.0f, a);
  EXPECT_EQ(x, 0x1p-11f);
  EXPECT_EQ(y, 0x1.001p1f);

  object_record object = make_object({}, {}, a);
  object.offset = {-1.0f, -1.0f, -1.0f, -1.0f};
  const point got = zorv::transform_point(object, {a, a, a, a});
  EXPECT_EQ(got.x, 0x1p-11f);
  EXPECT_EQ(got.w, 0x1p-11f);
}

TEST(TrigTest, SineAndCosineAreTheDoubleValuesRounded) {
  struct row {
    float angle, sine, cosine;
  };
  // Computed in double precision from the single-precision angle, then rounded.
  const row rows[] = {
      {0.0f, 0.0f, 1.0f},
      {1.5707963705062866f, 1.0f, -0x1.777a5cp-25f},
      {3.1415927410125732f, -0x1.777a5cp-24f, -1.0f},
      {-0.5f, -0x1.eaee88p-2f, 0x1.c15280p-1f},
      {1000.0f, 0x1.a75cc2p-1f, 0x1.1ff026p-1f}, // angles are never reduced modulo 2 pi
      {1.0e6f, -0x1.6664b2p-2f, 0x1.df9dfap-1f},
  };
  object_record object = make_object({}, {}, 1.0f);
  for (int k = 0; k < zorv::plane_count; ++k) object.planes[k] = {rows[k].angle, 9.0f, 9.0f};
  zorv::refresh_trig(object);
  for (int k = 0; k < zorv::plane_count; ++k) {
    SCOPED_TRACE(testing::Message() << "angle " << rows[k].angle);
    EXPECT_EQ(object.planes[k].angle, rows[k].angle);
    EXPECT_EQ(object.planes[k].sine, rows[k].sine);
    EXPECT_EQ(object.planes[k].cosine, rows[k].cosine);
  }
}

TEST(PerspectiveTest, DividesByWDepthThenZDepthTakenBeforeDivision) {
  struct row {
    point in;
    point out; // to within a millionth, relative
  };
  // Scale 1, both distances 430: a depth of 215 doubles, 330 multiplies by 430/330.
  const row rows[] = {
      {{0, 0, 0, 0}, {0, 0, 0, 0}},
      {{1, 0.5f, 0, 215}, {2, 1, 0, 215}},
      {{1, 1, 215, 0}, {2, 2, 215, 0}},
      {{1, 1, 100, 215}, {2 * 430.0f / 330, 2 * 430.0f / 330, 200, 215}},
      {{3, -3, -430, -430}, {0.75f, -0.75f, -215, -430}},
  };
  const view_record settings = zorv::plain_view(true, default_distance, default_distance);
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message()
                 << "point " << r.in.x << "," << r.in.y << "," << r.in.z << "," << r.in.w);
    point p = r.in;
    zorv::project_point(settings, p);
    const std::array<float, 4> got = coordinates(p);
    const std::array<float, 4> want = coordinates(r.out);
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(got[k], want[k], 1e-6f * std::fabs(want[k]));
    EXPECT_EQ(p.w, r.in.w);
  }
}

TEST(PerspectiveTest, DepthsBelowTheFloorAreRaisedToIt) {
  struct row {
    float w_distance;
    point p;
    double x; // to within a millionth, relative
  };
  const double floored = 430.0 / 3.4e-35; // 1 divided by (1 / 430) times the floor
  const row rows[] = {
      {430.0f, {1, 0, 0, 430}, floored},
      {430.0f, {1, 0, 0, 431}, floored},
      {430.0f, {1, 0, 0, 1e30f}, floored},
      {430.0f, {1, 0, 430, 0}, floored},
      {1e-34f, {1, 0, 0, 0}, 1.0}, // above the floor: used as it is
      {1e-36f, {1, 0, 0, 0}, 1e-36 / 3.4e-35},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message()
                 << "w distance " << r.w_distance << ", z " << r.p.z << ", w " << r.p.w);
    point p = r.p;
    zorv::project_point(zorv::plain_view(true, r.w_distance, default_distance), p);
    EXPECT_NEAR(p.x / r.x, 1.0, 1e-6);
    EXPECT_EQ(p.y, 0.0f);
  }
  point unknown{1, 1, 1, nan};
  zorv::project_point(zorv::plain_view(true, default_distance, default_distance), unknown);
  EXPECT_TRUE(std::isnan(unknown.x) && std::isnan(unknown.y) && std::isnan(unknown.z));
}

TEST(PerspectiveTest, OffLeavesTransformedPointsAlone) {
  object_record object = make_object({{1, 2, 3, 4}}, {}, 200.0f);
  frame(object, zorv::plain_view(false, 1.0f, 1.0f), make_window(650, 650));
  EXPECT_TRUE(same_bits(object.projected[0], point{200, 400, 600, 800}));
}

TEST(ClippingTest, KeepsTheVisiblePartOfSegmentsBeyondSixteenBits) {
  struct row {
    point a, b;
    std::array<int, 4> want;
    int tolerance; // for coordinates computed on the edge of the 16-bit square
  };
  // Scale 1 and a 650 x 650 window: a point (x, y) is drawn at (x + 325, 325 - y).
  const row rows[] = {
      // In range, up to the very edges: plain truncation.
      {{-33093, 33093, 0, 0}, {32442, -32442, 0, 0}, {-32768, -32768, 32767, 32767}, 0},
      {{-10.5f, 0.25f, 0, 0}, {10.75f, -20.5f, 0, 0}, {314, 324, 335, 345}, 0},
      // One end far out: the near end stays exact and the line keeps its slope of 1/2.
      {{0, 0, 0, 0}, {100000, -50000, 0, 0}, {325, 325, 32767, 16546}, 1},
      {{100000, -50000, 0, 0}, {0, 0, 0, 0}, {32767, 16546, 325, 325}, 1},
      {{1e38f, 0, 0, 0}, {0, 0, 0, 0}, {32767, 325, 325, 325}, 0},
      {{1e38f, 1e38f, 0, 0}, {0, 0, 0, 0}, {32767, -32117, 325, 325}, 1},
      // The cut end lands on the edge even where the arithmetic leaves it a hair short of it.
      {{198.02142f, -102.18335f, 0, 0}, {3056349, -174836.22f, 0, 0}, {523, 427, 32767, 2270}, 0},
      {{0, 0, 0, 0}, {0, -1e38f, 0, 0}, {325, 325, 325, 32767}, 0},
      // Both ends out, the segment crossing the square: cut at both edges.
      {{-100000, 0, 0, 0}, {100000, 0, 0, 0}, {-32768, 325, 32767, 325}, 0},
      {{-100000, -100000, 0, 0}, {100000, 100000, 0, 0}, {-32117, 32767, 32767, -32117}, 1},
      // Nothing inside: hidden, even where each end is out on one side only.
      {{40000, 40000, 0, 0}, {50000, 50000, 0, 0}, {hidden, hidden, hidden, hidden}, 0},
      {{40000, 30000, 0, 0}, {30000, 40000, 0, 0}, {hidden, hidden, hidden, hidden}, 0},
      // An end that is not a number draws nothing.
      {{nan, 0, 0, 0}, {0, 0, 0, 0}, {hidden, hidden, hidden, hidden}, 0},
      {{0, 0, 0, 0}, {0, nan, 0, 0}, {hidden, hidden, hidden, hidden}, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message()
                 << "from " << r.a.x << "," << r.a.y << " to " << r.b.x << "," << r.b.y);
    object_record object = make_object({r.a, r.b}, {{0, 1}}, 1.0f);
    const std::array<int, 4> got =
        ends(frame(object, zorv::plain_view(false, 1, 1), make_window(650, 650))[0]);
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(got[k], r.want[k], r.tolerance) << "coordinate " << k;
  }
}

// With perspective and w at the distance, x is divided by the floor: a point near the axis lands
// far outside (its segment is cut at the edge), one further out becomes infinite (nothing drawn).
// Lines between ordinary points in the same frame are drawn as ever.
TEST(ClippingTest, PointsBehindTheDistanceAreCutOrHidden) {
  object_record object =
      make_object({{0, 0, 0, 0}, {1, 0, 0, 430}, {200, 0, 0, 430}, {10.5f, 20.5f, 0, 0}},
                  {{0, 1}, {0, 2}, {1, 2}, {0, 3}}, 1.0f);
  const std::vector<XSegment> segments = frame(
      object, zorv::plain_view(true, default_distance, default_distance), make_window(650, 650));
  EXPECT_GT(object.projected[1].x, 1e36f);
  EXPECT_TRUE(std::isinf(object.projected[2].x));
  EXPECT_EQ(ends(segments[0]), (std::array<int, 4>{325, 325, 32767, 325}));
  EXPECT_EQ(ends(segments[1]), (std::array<int, 4>{hidden, hidden, hidden, hidden}));
  EXPECT_EQ(ends(segments[2]), (std::array<int, 4>{hidden, hidden, hidden, hidden}));
  EXPECT_EQ(ends(segments[3]), (std::array<int, 4>{325, 325, 335, 304}));
}

TEST(SegmentsTest, StoreKeepsTheLowSixteenBits) {
  std::vector<XSegment> segments(2, XSegment{0, 0, 0, 0});
  zorv::store_segment(segments, 1, 65541, -32769, 32768, 70000);
  EXPECT_EQ(ends(segments[1]), (std::array<int, 4>{5, 32767, -32768, 4464}));
  EXPECT_EQ(ends(segments[0]), (std::array<int, 4>{0, 0, 0, 0}));
}

// Points inside a ball of radius 1, turned in all six planes, scaled by 200: with distances 430
// and 300 every depth stays above 100, so every segment is inside the 16-bit range.
object_record busy_object() {
  std::uint32_t state = 12345;
  const auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(static_cast<int>(state >> 16) % 10001 - 5000) / 10000.0f;
  };
  std::vector<point> points(97);
  for (point& p : points) p = {next(), next(), next(), next()};
  std::vector<line> lines;
  for (std::int32_t i = 0; i < 97; ++i) {
    lines.push_back({i, (i + 1) % 97});
    lines.push_back({i, (i * 7 + 3) % 97});
  }
  object_record object = make_object(points, lines, 200.0f);
  const float sines[] = {0.25f, -0.6f, 0.8f, 0.1f, -0.35f, 0.5f};
  const float cosines[] = {0.9682458f, 0.8f, 0.6f, 0.99498744f, 0.93674969f, 0.8660254f};
  for (int k = 0; k < zorv::plane_count; ++k) object.planes[k] = {0.0f, sines[k], cosines[k]};
  return object;
}

// A turn of the user's (-i) in no single plane, with entries of every sign: about 0.5 radians in
// xz and 0.3 in yw, composed, and rounded to single precision.
const zorv::turn_matrix user_turn{{{0.8775826f, 0.0f, -0.4794255f, 0.0f},
                                   {0.0f, 0.9553365f, 0.0f, -0.2955202f},
                                   {0.4794255f, 0.0f, 0.8775826f, 0.0f},
                                   {0.0f, 0.2955202f, 0.0f, 0.9553365f}}};

object_record turned(object_record object) {
  object.turn = user_turn;
  object.turned = true;
  return object;
}

TEST(FrameTest, MatchesAPlainScalarFrameBitForBit) {
  for (const bool perspective : {true, false}) {
    for (const bool with_turn : {false, true}) {
      SCOPED_TRACE(testing::Message() << "perspective " << perspective << ", turn " << with_turn);
      object_record object = with_turn ? turned(busy_object()) : busy_object();
      const view_record settings = zorv::plain_view(perspective, 430.0f, 300.0f);
      const window_geometry window = make_window(651, 480);
      object_record plain = object;
      const std::vector<XSegment> segments = frame(object, settings, window);
      std::vector<XSegment> plain_segments(plain.lines.size(), XSegment{5, 6, 7, 8});
      zorv::plain_frame(plain, settings, window, plain_segments);
      for (std::size_t i = 0; i < plain.projected.size(); ++i)
        ASSERT_TRUE(same_bits(object.projected[i], plain.projected[i])) << "point " << i;
      for (std::size_t j = 0; j < plain_segments.size(); ++j)
        ASSERT_EQ(ends(segments[j]), ends(plain_segments[j])) << "line " << j;
    }
  }
}

// The same frame must come out of every compiler and optimisation level: its digest is pinned,
// with and without a turn of the user's.
TEST(FrameTest, IsTheSameAtEveryOptimisationLevel) {
  struct digest_case {
    object_record object;
    std::uint64_t digest;
  };
  digest_case cases[] = {{busy_object(), 0xc03d340308be6f2fu},
                         {turned(busy_object()), 0x84d060273496e818u}};
  for (digest_case& c : cases) {
    SCOPED_TRACE(c.object.turned ? "turned" : "not turned");
    const std::vector<XSegment> segments =
        frame(c.object, zorv::plain_view(true, 430.0f, 300.0f), make_window(651, 480));
    std::uint64_t digest = 0xcbf29ce484222325u; // 64-bit FNV-1a over the output's bit patterns
    const auto mix = [&digest](std::uint32_t word) {
      for (int k = 0; k < 4; ++k) digest = (digest ^ ((word >> (8 * k)) & 0xffu)) * 0x100000001b3u;
    };
    for (const point& p : c.object.projected)
      for (const std::uint32_t word : std::bit_cast<std::array<std::uint32_t, 4>>(p)) mix(word);
    for (const XSegment& s : segments)
      for (const int v : ends(s)) mix(static_cast<std::uint16_t>(v));
    EXPECT_EQ(digest, c.digest) << std::hex << digest;
  }
}

// The user's turn (-i) acts on the point as the six planes left it, before projection. A quarter
// turn in xy takes (1, 0, 0, 0) to y, which the turn, a quarter turn in xz, leaves alone (before
// the planes, the turn would have taken it to z, which xy leaves alone). It takes (0.5, 0.5, 0, 0),
// at x -100 after xy, to z -100: perspective then divides its y by the depth 530 / 430.
TEST(UserTurnTest, ActsAfterTheSixPlanesAndBeforeProjection) {
  object_record object = make_object({{1, 0, 0, 0}, {0.5f, 0.5f, 0, 0}}, {{0, 1}}, 200.0f);
  object.planes[zorv::xy] = {1.5707964f, 1.0f, 0.0f};
  object.turn = {{{0, 0, -1, 0}, {0, 1, 0, 0}, {1, 0, 0, 0}, {0, 0, 0, 1}}};
  object.turned = true;
  const std::vector<XSegment> segments =
      frame(object, zorv::plain_view(true, 430.0f, 430.0f), make_window(650, 650));
  EXPECT_EQ(coordinates(object.projected[0]), (std::array<float, 4>{0, 200, 0, 0}));
  EXPECT_FLOAT_EQ(object.projected[1].y, 100.0f * 430.0f / 530.0f);
  EXPECT_FLOAT_EQ(object.projected[1].z, -100.0f);
  EXPECT_EQ(ends(segments[0]), (std::array<int, 4>{325, 125, 325, 243}));
}

// A turn in one plane gives, bit for bit, the frame of that plane's own rotation by the same
// sine and cosine: what the tests of the real viewer compare its pictures with.
TEST(UserTurnTest, AOnePlaneTurnIsThatPlanesRotationBitForBit) {
  const std::array<std::array<int, 2>, zorv::plane_count> plane_axes{
      {{0, 1}, {0, 2}, {1, 2}, {0, 3}, {1, 3}, {2, 3}}};
  const float sine = static_cast<float>(std::sin(0.7));
  const float cosine = static_cast<float>(std::cos(0.7));
  const view_record settings = zorv::plain_view(true, 430.0f, 300.0f);
  for (int plane = 0; plane < zorv::plane_count; ++plane) {
    SCOPED_TRACE(testing::Message() << "plane " << plane);
    object_record by_plane = busy_object();
    for (zorv::plane_record& p : by_plane.planes) p = {0.0f, 0.0f, 1.0f};
    object_record by_turn = by_plane;
    by_plane.planes[plane] = {0.7f, sine, cosine};
    const auto [a, b] = plane_axes[plane];
    for (int axis = 0; axis < zorv::axis_count; ++axis)
      by_turn.turn[axis] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int axis = 0; axis < zorv::axis_count; ++axis) by_turn.turn[axis][axis] = 1.0f;
    by_turn.turn[a][a] = by_turn.turn[b][b] = cosine;
    by_turn.turn[a][b] = -sine;
    by_turn.turn[b][a] = sine;
    by_turn.turned = true;
    const std::vector<XSegment> plane_segments = frame(by_plane, settings, make_window(651, 480));
    const std::vector<XSegment> turn_segments = frame(by_turn, settings, make_window(651, 480));
    for (std::size_t i = 0; i < by_plane.projected.size(); ++i)
      ASSERT_TRUE(same_bits(by_plane.projected[i], by_turn.projected[i])) << "point " << i;
    for (std::size_t j = 0; j < plane_segments.size(); ++j)
      ASSERT_EQ(ends(plane_segments[j]), ends(turn_segments[j])) << "line " << j;
  }
}

} // namespace
