// OFF and SKEL files: every keyword variant and the forms real files take, the lines derived from
// faces checked against what is known of the tesseract and against cellgen's edge graphs, every
// refusal with its line, the look at a file's start that leaves zorv's own format as it was, and
// reading through a window as from memory.
#include "load.hpp"
#include "loader_texts.hpp"
#include "object.hpp"
#include "off.hpp"
#include "polytope_files.hpp"
#include "run_program.hpp"
#include "tesseract.hpp"
#include "zorv_file.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace zorv {
namespace {

parsed parse(const std::string& text) {
  parsed result;
  result.ok = parse_any_object(text, result.object, result.error);
  return result;
}

parsed parse_zorv(const std::string& text) {
  parsed result;
  result.ok = parse_object(text, result.object, result.error);
  return result;
}

using pair = std::pair<int, int>;

// What a test compares: the points (bit for bit: every value here is exact), the lines in order
// and the name.
struct shape {
  std::vector<std::array<float, 4>> points;
  std::vector<pair> lines;
  std::string name;
  bool operator==(const shape&) const = default;
};

std::ostream& operator<<(std::ostream& out, const shape& s) {
  out << s.points.size() << " points {";
  for (const auto& q : s.points)
    out << " (" << q[0] << " " << q[1] << " " << q[2] << " " << q[3] << ")";
  out << " }, lines {";
  for (const pair& l : s.lines) out << " " << l.first << "-" << l.second;
  return out << " }, name \"" << s.name << "\"";
}

shape shape_of(const object_record& object) {
  shape s;
  EXPECT_EQ(object.points.size(), static_cast<std::size_t>(object.point_count));
  EXPECT_EQ(object.projected.size(), object.points.size());
  EXPECT_EQ(object.lines.size(), static_cast<std::size_t>(object.line_count));
  for (const point& q : object.points) s.points.push_back({q.x, q.y, q.z, q.w});
  for (const line& l : object.lines) s.lines.emplace_back(l.first, l.second);
  s.name = object.name;
  return s;
}

// A unit square in x and y, then its twin at z = 1, w = 1 (four coordinates): the vertices of
// most cases below.
const std::vector<std::array<float, 4>> square3 = {
    {0, 0, 0, 0}, {1, 0, 0, 0}, {1, 1, 0, 0}, {0, 1, 0, 0}};
const std::vector<std::array<float, 4>> square4 = {
    {0, 0, 1, 1}, {1, 0, 1, 1}, {1, 1, 1, 1}, {0, 1, 1, 1}};
const std::string square3_text = "0 0 0\n1 0 0\n1 1 0\n0 1 0\n";
const std::string square4_text = "0 0 1 1\n1 0 1 1\n1 1 1 1\n0 1 1 1\n";
const std::vector<pair> square_lines = {{0, 1}, {1, 2}, {2, 3}, {0, 3}};
// Two triangles sharing the edge 0-2: the shared edge once, where it was first met.
const std::string two_triangles = "3 0 1 2\n3 0 2 3\n";
const std::vector<pair> two_triangle_lines = {{0, 1}, {1, 2}, {0, 2}, {2, 3}, {0, 3}};

TEST(ReadOffTest, ReadsEveryVariantOfTheFamily) {
  const struct {
    const char* what;
    std::string text;
    std::vector<std::array<float, 4>> points;
    std::vector<pair> lines;
  } cases[] = {
      // Keywords, and the numbers their prefixes add after each vertex.
      {"OFF", "OFF\n4 1 4\n" + square3_text + "4 0 1 2 3\n", square3, square_lines},
      {"4OFF", "4OFF\n4 1 4\n" + square4_text + "4 0 1 2 3\n", square4, square_lines},
      {"nOFF 3", "nOFF\n3\n4 1 4\n" + square3_text + "4 0 1 2 3\n", square3, square_lines},
      {"nOFF 4", "nOFF\n4\n4 1 4\n" + square4_text + "4 0 1 2 3\n", square4, square_lines},
      {"nOFF, the dimension on its line", "nOFF 4\n4 1 4\n" + square4_text + "4 0 1 2 3\n", square4,
       square_lines},
      {"nOFF, the dimension before the counts", "nOFF\n4 4 1 4\n" + square4_text + "4 0 1 2 3\n",
       square4, square_lines},
      {"COFF: a colour of 4 floats",
       "COFF\n2 1\n0 0 0 1 0 0 1\n1 0 0 0 1 0 0.5\n2 0 1\n",
       {{0, 0, 0, 0}, {1, 0, 0, 0}},
       {{0, 1}}},
      {"NOFF: a normal of 3",
       "NOFF\n2 1\n0 0 0 0 0 1\n1 0 0 0 0 1\n2 0 1\n",
       {{0, 0, 0, 0}, {1, 0, 0, 0}},
       {{0, 1}}},
      {"N4OFF: a normal of 4",
       "N4OFF\n2 1\n0 0 0 2 0 0 0 1\n1 0 0 2 0 0 0 1\n2 0 1\n",
       {{0, 0, 0, 2}, {1, 0, 0, 2}},
       {{0, 1}}},
      {"STOFF: 2 texture floats",
       "STOFF\n2 1\n0 0 0 0.5 0.5\n1 0 0 1 1\n2 0 1\n",
       {{0, 0, 0, 0}, {1, 0, 0, 0}},
       {{0, 1}}},
      {"STCNOFF: all of them, 3 + 3 + 4 + 2",
       "STCNOFF\n2 1\n0 0 0 0 0 1 1 0 0 1 0 0\n1 0 0 0 0 1 0 1 0 1 1 1\n2 0 1\n",
       {{0, 0, 0, 0}, {1, 0, 0, 0}},
       {{0, 1}}},
      {"CnOFF 4",
       "CnOFF 4\n2 1\n0 0 0 3 1 1 1 1\n1 0 0 3 1 1 1 1\n2 0 1\n",
       {{0, 0, 0, 3}, {1, 0, 0, 3}},
       {{0, 1}}},
      {"a UTF-8 byte-order mark before OFF",
       "\xEF\xBB\xBFOFF\n4 1 4\n" + square3_text + "4 0 1 2 3\n", square3, square_lines},
      {"a byte-order mark, then a comment, before 4OFF",
       "\xEF\xBB\xBF# x\n4OFF\n4 1 4\n" + square4_text + "4 0 1 2 3\n", square4, square_lines},
      // The counts: 2, 3 or 4 of them, on their own line or on the keyword's.
      {"2 counts", "OFF\n4 2\n" + square3_text + two_triangles, square3, two_triangle_lines},
      {"4 counts, cells after the faces",
       "4OFF\n4 2 5 1\n" + square4_text + two_triangles + "2 0 1\n", square4, two_triangle_lines},
      {"counts on the keyword's line", "OFF 4 2 5\n" + square3_text + two_triangles, square3,
       two_triangle_lines},
      // What may follow a face's indices, and a cell's: a colour of every kind, a comment.
      {"colour-map index", "OFF\n4 2 0\n" + square3_text + "3 0 1 2 7\n3 0 2 3 12\n", square3,
       two_triangle_lines},
      {"three and four integers",
       "OFF\n4 2 0\n" + square3_text + "3 0 1 2 255 0 0\n3 0 2 3 0 255 0 255\n", square3,
       two_triangle_lines},
      {"three and four floats",
       "OFF\n4 2 0\n" + square3_text + "3 0 1 2 1 0 0\n3 0 2 3 0.5 .5 1. 0.25\n", square3,
       two_triangle_lines},
      {"colours after cells",
       "4OFF\n4 2 5 2\n" + square4_text + two_triangles + "1 0 0.5 0.5 0.5 1\n1 1 255 0 0\n",
       square4, two_triangle_lines},
      // Comments, white space and line ends.
      {"comments everywhere",
       "# made by hand\n\nOFF # the keyword\n# counts next\n4 2 5 # V F E\n0 0 0 # first\n1 0 "
       "0\n\n# between vertices\n1 1 0\n0 1\n0 # a vertex over two lines\n3 0 1 2 # first "
       "face\n# between faces\n3 0 2 3\n# after the last face\n",
       square3, two_triangle_lines},
      {"comments touching numbers",
       "OFF#k\n4 2 5#c\n0 0 0#a\n1 0 0\n1 1 0\n0 1 0#b\n3 0 1 2#c\n3 0 2 3#d", square3,
       two_triangle_lines},
      {"CRLF", "OFF\r\n4 2 5\r\n0 0 0\r\n1 0 0\r\n1 1 0\r\n0 1 0\r\n3 0 1 2\r\n3 0 2 3\r\n",
       square3, two_triangle_lines},
      {"no final newline", "OFF\n4 2\n" + square3_text + "3 0 1 2\n3 0 2 3", square3,
       two_triangle_lines},
      {"tabs and blank lines",
       "\n\n\tOFF\n\n\t4\t2\t5\n\n" + square3_text + "\n\t3\t0 1 2\n\n3 0\t2 3\n", square3,
       two_triangle_lines},
      {"a face's indices over two lines", "OFF\n4 1\n" + square3_text + "4 0 1\n2 3\n", square3,
       square_lines},
      {"numbers in C-locale forms",
       "OFF\n2 1\n.7 -.618 1.\n1e-16 +2 -0\n2 0 +1\n",
       {{0.7f, -0.618f, 1.0f, 0}, {1e-16f, 2.0f, -0.0f, 0}},
       {{0, 1}}},
      {"anything after the last record",
       "OFF\n4 2\n" + square3_text + two_triangles + "garbage { 1 2", square3, two_triangle_lines},
      // Faces of 2 and 1 vertices: an edge, and a point that adds no line.
      {"2-vertex faces as edges",
       "OFF\n4 4\n" + square3_text + "2 0 1\n2 1 2\n2 3 2\n2 1 0\n",
       square3,
       {{0, 1}, {1, 2}, {2, 3}}},
      {"1-vertex faces and repeated indices",
       "OFF\n4 3\n" + square3_text + "1 2\n3 1 1 3\n2 0 0\n",
       square3,
       {{1, 3}}},
      {"each pair once, smaller first, in the order met",
       "OFF\n4 2\n" + square3_text + "4 3 2 1 0\n4 0 1 2 3\n",
       square3,
       {{2, 3}, {1, 2}, {0, 1}, {0, 3}}},
      {"no vertices, no faces", "OFF\n0 0 0\n", {}, {}},
      // SKEL: open polylines, closed by repeating the first vertex.
      {"SKEL", "SKEL\n4 1\n" + square3_text + "4 0 1 2 3\n", square3, {{0, 1}, {1, 2}, {2, 3}}},
      {"4SKEL, a closed polyline", "4SKEL\n4 1\n" + square4_text + "5 0 1 2 3 0\n", square4,
       square_lines},
      {"nSKEL 4, colours and an edge count",
       "nSKEL 4\n4 2 3\n" + square4_text + "2 0 1 1 0 0\n3 1 2 3 0.5 0.5 0.5 1\n",
       square4,
       {{0, 1}, {1, 2}, {2, 3}}},
      {"nSKEL 3, a 1-vertex polyline",
       "nSKEL\n3\n4 2\n" + square3_text + "1 3\n2 3 0\n",
       square3,
       {{0, 3}}},
      // The examples of the README and the manual page.
      {"a triangle in 4-space",
       "4OFF 3 1                    # a triangle in 4-space: the keyword, 3 vertices, 1 face\n"
       "0 0 0 0  1 0 0 0  0 1 0 1   # each vertex's x y z w\n"
       "3 0 1 2                     # the face: 3 vertices, numbers 0, 1 and 2 (counted from 0)\n",
       {{0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 1}},
       {{0, 1}, {1, 2}, {0, 2}}},
      {"a closed polyline",
       "4SKEL 4 1                            # a closed polyline: 4 vertices, 1 polyline\n"
       "0 0 0 0  1 0 0 0  1 1 0 0  0 1 0 1   # the vertices\n"
       "5 0 1 2 3 0                          # 5 vertices: a closed one repeats its first\n",
       {{0, 0, 0, 0}, {1, 0, 0, 0}, {1, 1, 0, 0}, {0, 1, 0, 1}},
       square_lines},
      {"an appearance block before SKEL",
       "appearance {\n  linewidth 2 # {\n  material { edgecolor 1 0 0 }\n}\n4SKEL\n4 1\n" +
           square4_text + "4 0 1 2 3\n",
       square4,
       {{0, 1}, {1, 2}, {2, 3}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const parsed p = parse(c.text);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(shape_of(p.object), (shape{c.points, c.lines, ""}));
  }
}

const std::string tesseract_off = make_tesseract_texts().off;

// The tesseract as its OFF file describes it (its 24 squares, its 8 cubes as cells): 16 points,
// 32 lines, 4 at each point, each joining corners that differ on one axis; the same points and
// lines, in the same order, as its zorv-format twin.
TEST(ReadOffTest, GivesTheTesseractItsEdges) {
  const parsed p = parse(tesseract_off);
  ASSERT_TRUE(p.ok) << p.error;
  ASSERT_EQ(p.object.point_count, 16);
  ASSERT_EQ(p.object.line_count, 32);
  std::array<int, 16> degree{};
  std::set<pair> distinct;
  for (const line& l : p.object.lines) {
    EXPECT_LT(l.first, l.second);
    // An edge joins corners that differ on one axis.
    EXPECT_EQ(__builtin_popcount(static_cast<unsigned>(l.first ^ l.second)), 1)
        << l.first << "-" << l.second;
    ++degree[static_cast<std::size_t>(l.first)];
    ++degree[static_cast<std::size_t>(l.second)];
    distinct.insert({l.first, l.second});
  }
  EXPECT_EQ(distinct.size(), 32u);
  for (const int d : degree) EXPECT_EQ(d, 4);
  const parsed twin = parse_zorv(make_tesseract_texts().zorv);
  ASSERT_TRUE(twin.ok) << twin.error;
  EXPECT_EQ(shape_of(p.object),
            (shape{shape_of(twin.object).points, shape_of(twin.object).lines, ""}));
}

// cellgen's polytopes as OFF files: the test finds their faces, the shortest cycles of each edge
// graph (triangles, squares or pentagons), and writes the file cellgen could write; read back,
// its lines are cellgen's edges.
TEST(ReadOffTest, GivesCellgensEdgesFromTheFacesOfItsPolytopes) {
  const struct {
    const char* cells;
    std::size_t faces; // 2-faces of the polytope: checks the test's own cycle search
  } polytopes[] = {{"5", 10}, {"8", 24}, {"16", 32}, {"24", 96}, {"120", 720}, {"600", 1200}};
  const std::string dir = testrun::make_temp_dir();
  for (const auto& polytope : polytopes) {
    SCOPED_TRACE(std::string(polytope.cells) + "-cell");
    testrun::run_options options;
    options.dir = dir;
    const testrun::program_run run =
        testrun::run_program(ZORV_BIN_DIR "/cellgen", {polytope.cells}, options);
    ASSERT_EQ(run.status, 0) << run.err;
    const parsed zorv_file = parse_zorv(run.out);
    ASSERT_TRUE(zorv_file.ok) << zorv_file.error;
    const object_record& cellgen = zorv_file.object;
    std::vector<std::vector<int>> neighbours(cellgen.points.size());
    std::set<pair> edges;
    for (const line& l : cellgen.lines) {
      neighbours[static_cast<std::size_t>(l.first)].push_back(l.second);
      neighbours[static_cast<std::size_t>(l.second)].push_back(l.first);
      edges.insert({l.first, l.second});
    }
    const std::vector<std::vector<int>> faces = polytopefiles::shortest_cycles(neighbours);
    ASSERT_EQ(faces.size(), polytope.faces);

    std::string off = "4OFF\n" + std::to_string(cellgen.point_count) + " " +
                      std::to_string(faces.size()) + " " + std::to_string(cellgen.line_count) +
                      "\n";
    char number[128];
    for (const point& q : cellgen.points) {
      std::snprintf(number, sizeof number, "%.5f %.5f %.5f %.5f\n", q.x, q.y, q.z, q.w);
      off += number;
    }
    for (const std::vector<int>& face : faces) {
      off += std::to_string(face.size());
      for (const int v : face) (off += ' ') += std::to_string(v);
      off += '\n';
    }
    const parsed p = parse(off);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.object.line_count, cellgen.line_count);
    const std::vector<line>& lines = p.object.lines;
    std::set<pair> got;
    for (const line& l : lines) got.insert({l.first, l.second});
    EXPECT_EQ(got, edges);
    EXPECT_EQ(got.size(), lines.size()); // no edge twice
    EXPECT_EQ(shape_of(p.object).points, shape_of(cellgen).points);
  }
  testrun::remove_temp_dir(dir);
}

const std::string three_points = "0 0 0\n1 0 0\n0 1 0\n";

TEST(ReadOffTest, RefusesBrokenFilesNamingTheLine) {
  const std::string head = "OFF\n3 1\n" + three_points; // lines 1 to 5
  const struct {
    std::string text, error;
  } cases[] = {
      // The keyword and the dimension.
      {"4nOFF\n4\n", "line 1: 4nOFF files (homogeneous coordinates) are not supported"},
      {"# x\nC4nSKEL\n", "line 2: C4nSKEL files (homogeneous coordinates) are not supported"},
      {"OFF BINARY\n3 1 0\n", "line 1: binary OFF files are not supported"},
      {"4SKEL BINARY", "line 1: binary SKEL files are not supported"},
      {"nOFF\n5\n", "line 2: dimension 5 is more than 4"},
      {"nOFF 2\n", "line 1: dimension 2 is less than 3"},
      {"nOFF 99999999999999\n", "line 1: dimension 99999999999999 is more than 4"},
      {"nOFF\n-99999999999999\n", "line 2: dimension -99999999999999 is less than 3"},
      {"nOFF\n", "line 1: expected the dimension after nOFF"},
      {"nSKEL four\n", "line 1: expected the dimension after nSKEL"},
      // Files of the family that are not read, and files that only look like it.
      {"5OFF\n3 1\n", "line 1: 5-dimensional OFF files are not read (zorv shows 4 dimensions)"},
      {"# x\nC10SKEL\n",
       "line 2: 10-dimensional SKEL files are not read (zorv shows 4 dimensions)"},
      {"3OFF\n3 1\n", "line 1: 3OFF is not a keyword: 4 is the only dimension written before OFF"},
      {"OFF8 6 12\n",
       "line 1: the counts must be parted from the keyword OFF by white space, as in "
       "OFF 8"},
      {"\n4OFF-1 0\n", "line 2: the counts must be parted from the keyword 4OFF by white space, as "
                       "in 4OFF -1"},
      {"off\n3 1\n", "line 1: the keyword OFF is written in upper case, not as off"},
      {"\xEF\xBB\xBF"
       "4skel\n",
       "line 1: the keyword 4SKEL is written in upper case, not as 4skel"},
      {std::string("\x1F\x8B\x08\0\0\0\0\0", 8), "line 1: a compressed file: decompress it first"},
      {"BZh91AY&SY", "line 1: a compressed file: decompress it first"},
      {std::string("\xFD"
                   "7zXZ\0\0\x04",
                   8),
       "line 1: a compressed file: decompress it first"},
      {"\x28\xB5\x2F\xFD\x24", "line 1: a compressed file: decompress it first"},
      // The counts.
      {"OFF\n", "line 1: expected the vertex and face counts"},
      {"OFF\n\n3\n" + three_points, "line 3: expected the vertex and face counts"},
      {"SKEL\n3 # 1\n" + three_points, "line 2: expected the vertex and polyline counts"},
      {"OFF\n3 1 3 0 9\n", "line 2: more than 4 counts"},
      {"SKEL\n3 1 2 0\n", "line 2: more than 3 counts"},
      {"OFF\n3 x\n", "line 2: expected the face count"},
      {"OFF\n3 1 3 1.5\n", "line 2: expected the cell count"},
      {"OFF\n3 1 many\n", "line 2: expected the edge count"},
      {"OFF\n-1 0\n", "line 2: negative vertex count -1"},
      {"OFF\n3 -2\n", "line 2: negative face count -2"},
      {"4OFF\n0 0 0 -1\n", "line 2: negative cell count -1"},
      {"OFF\n2147483648 0\n", "line 2: the vertex count does not fit 32 bits"},
      {"OFF\n1000 0\n" + three_points, "line 2: vertex count 1000 is more than the file can hold"},
      {"OFF\n3 1000\n" + three_points + "3 0 1 2\n",
       "line 2: face count 1000 is more than the file can hold"},
      {"SKEL\n3 2147483647\n" + three_points,
       "line 2: polyline count 2147483647 is more than the file can hold"},
      {"4OFF\n0 0 0 5\n1 0\n", "line 2: cell count 5 is more than the file can hold"},
      // The vertices.
      {"OFF\n3 0\n0 0 0\n1 x 0\n0 1 0\n", "line 4: expected 3 coordinates of vertex 2 of 3"},
      {"4OFF\n2 0\n0 0 0 0\n1 0 0\n\n\n", "line 4: expected 4 coordinates of vertex 2 of 2"},
      {"OFF\n3 0\n0 0 0\n1,0,0\n0 1 0\n", "line 4: expected 3 coordinates of vertex 2 of 3"},
      {"COFF\n1 0\n0 0 0 1 1 1\n\n", "line 3: expected 7 numbers of vertex 1 of 1"},
      {"OFF\n3 0\n0 0 0\n1 nan 0\n0 1 0\n",
       "line 4: a coordinate of vertex 2 of 3 is not a finite number"},
      {"OFF\n3 0\n0 0 0\n1 0 -inf\n0 1 0\n",
       "line 4: a coordinate of vertex 2 of 3 is not a finite number"},
      {"OFF\n3 0\n0 0 0\n1 0 1e39\n0 1 0\n",
       "line 4: a coordinate of vertex 2 of 3 is not a finite number"},
      // The faces and polylines.
      {head + "3 0 1 3\n", "line 6: vertex index 3 of face 1 of 1 is out of range for 3 vertices"},
      {head + "3 0 -1 2\n",
       "line 6: vertex index -1 of face 1 of 1 is out of range for 3 vertices"},
      {head + "3 0 1 4294967296\n", "line 6: vertex index of face 1 of 1 does not fit 32 bits"},
      {head + "3 0 1.5 2\n", "line 6: expected 3 vertex indices of face 1 of 1"},
      {head + "0 # no vertices\n", "line 6: face 1 of 1 has no vertices"},
      {"OFF\n1 1\n0 0 0\n0\n", "line 4: face 1 of 1 has no vertices"},
      {"SKEL\n1 1\n0 0 0\n0", "line 4: polyline 1 of 1 has no vertices"},
      {head + "-3 0 1 2\n", "line 6: vertex count -3 of face 1 of 1 is less than 1"},
      {head + "x 0 1 2\n", "line 6: expected the vertex count of face 1 of 1"},
      {head + "99999999999 0 1 2\n",
       "line 6: the vertex count of face 1 of 1 does not fit 32 bits"},
      {head + "3 0 1\n", "line 6: expected 3 vertex indices of face 1 of 1"},
      {head + "4 0 1\n2\n\n# end\n", "line 9: expected 4 vertex indices of face 1 of 1"},
      {"OFF\n3 2\n" + three_points + "3 0 1 2 # one face only\n",
       "line 6: expected the vertex count of face 2 of 2"},
      {"SKEL\n3 1\n" + three_points + "2 0 9\n",
       "line 6: vertex index 9 of polyline 1 of 1 is out of range for 3 vertices"},
      // The cells.
      {"4OFF\n3 1 3 1\n0 0 0 0\n1 0 0 0\n0 1 0 0\n3 0 1 2\n2 0 1\n",
       "line 7: face index 1 of cell 1 of 1 is out of range for 1 faces"},
      {"4OFF\n3 1 3 1\n0 0 0 0\n1 0 0 0\n0 1 0 0\n3 0 1 2\n0 0 1\n",
       "line 7: cell 1 of 1 has no faces"},
      {"4OFF\n3 1 3 1\n0 0 0 0\n1 0 0 0\n0 1 0 0\n3 0 1 2\n3 0\n",
       "line 7: expected 3 face indices of cell 1 of 1"},
  };
  for (const auto& c : cases) {
    const parsed p = parse(c.text);
    EXPECT_FALSE(p.ok) << '"' << c.text << '"';
    EXPECT_EQ(p.error, c.error) << '"' << c.text << '"';
  }
}

// zorv's own files begin with "p={"; one that begins with anything but an OFF or SKEL keyword or
// a keyword written wrong, even after comment lines, blank lines or an appearance block, is read
// by zorv's own reader: the same object, or the same refusal on the same line.
TEST(ReadOffTest, LeavesEveryOtherFileToZorvsOwnReader) {
  const std::string preamble_of_blank_lines(most_preamble_bytes, '\n');
  const std::string texts[] = {
      "p={2}\n1 2 3 4\n5 6 7 8\nl={1}\n0 1\nn=line\n",
      "p={0}\nl={0}\n",
      "",
      " p={0}\nl={0}\n",
      "\n\np={0}\nl={0}\n",
      "# OFF\np={0}\nl={0}\n",
      "#\n# comment\n\n  q={0}\n",
      "OFFICE\n3 1\n",
      "OFF{\n3 1\n",
      "4nOF\n",
      "OFFx 3 1\n",
      "\xEF\xBB\xBFp={0}\nl={0}\n",
      "XOFF\n",
      "appearance { } p={0}\nl={0}\n",
      "appearance { unclosed \nOFF\n3 1\n",
      "appearance OFF\n",
      std::string("\0OFF\n", 5),
      "  \t\r\n",
      // The keyword beyond the look at the file's start.
      preamble_of_blank_lines + "OFF\n0 0\n",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE('"' + text.substr(0, 40) + '"');
    const parsed any = parse(text);
    const parsed own = parse_zorv(text);
    EXPECT_EQ(any.ok, own.ok);
    EXPECT_EQ(any.error, own.error);
    if (any.ok) {
      EXPECT_EQ(shape_of(any.object), shape_of(own.object));
    }
  }
  // Just within the look at the start, the keyword is found.
  const std::string within(most_preamble_bytes - 4, '\n');
  EXPECT_TRUE(parse(within + "OFF\n0 0\n").ok);
}

// Read through a window of any size, with the text's size known or not, an OFF file gives what it
// gives from memory, or the same refusal on the same line.

// A long file: a grid of quadrilaterals on a torus, with numbers, comments and colours of many
// forms among its records.
std::string long_off(std::mt19937& random, int side) {
  static const char* const separators[] = {" ", " ", "  ", "\t", "\n", "\r\n", " # note\n"};
  const auto separator = [&] { return separators[random() % std::size(separators)]; };
  static const char* const colours[] = {"", "", " 3", " 255 0 0", " 0.5 0.5 0.5 1", " # c"};
  const int vertices = side * side;
  std::string text = "# a torus\n4OFF\n" + std::to_string(vertices) + " " +
                     std::to_string(vertices) + " " + std::to_string(2 * vertices) + "\n";
  char number[32];
  for (int i = 0; i < vertices * 4; ++i) {
    const double value = static_cast<double>(random()) / 1e9 - 2.1;
    std::snprintf(number, sizeof number, random() % 8 ? "%.5f" : "%g", value);
    text += number;
    text += i % 4 == 3 ? "\n" : separator();
  }
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const int right = (x + 1) % side, down = (y + 1) % side;
      ((text += '4') += separator()) += std::to_string(y * side + x);
      ((text += ' ') += std::to_string(y * side + right)) += separator();
      ((text += std::to_string(down * side + right)) += ' ') += std::to_string(down * side + x);
      (text += colours[random() % std::size(colours)]) += '\n';
    }
  }
  return text;
}

// Edits with the characters that mean something to the format.
constexpr std::string_view alphabet = "0123456789+-.eEinfa#{}OFSKL4n \t\r\n";

TEST(ReadOffTest, ReadsThroughAnyWindowAsFromMemory) {
  std::mt19937 random(13);
  std::vector<std::string> texts = {tesseract_off, "OFF\n3 1\n" + three_points + "3 0 1 2",
                                    "OFF\n1000 0\n" + three_points,
                                    "\n\n# x\n" + std::string(5000, '\n') + "4OFF\n0 0\n"};
  for (int round = 0; round < 3; ++round) texts.push_back(long_off(random, 12));
  const std::string original = long_off(random, 4);
  for (int i = 0; i < 300; ++i) texts.push_back(mutated(original, random, alphabet));
  const std::string tesseract = tesseract_off;
  for (int i = 0; i < 100; ++i) texts.push_back(mutated(tesseract, random, alphabet));
  // Comments and colours longer than any window.
  texts.push_back("OFF\n3 1\n" + three_points + "3 0 1 2 # " + std::string(5000, 'c') + "\n");
  texts.push_back("OFF # " + std::string(5000, 'c') + "\n3 1\n" + three_points + "3 0 1 2\n");

  for (const std::string& text : texts) expect_same_through_windows(text, parse(text));
}

// The lines are each pair of consecutive indices (and the pair closing a face), each unordered
// pair once, in the order first met, smaller index first: as a set finds them. The files here
// have faces of every size with repeated indices, and points met with hundreds of others (the
// centres of fans), which the reader sorts out apart from the rest.
std::vector<pair> first_met(const std::vector<std::vector<int>>& records, bool closed) {
  std::vector<pair> lines;
  std::set<pair> seen;
  for (const std::vector<int>& record : records) {
    const std::size_t size = record.size();
    for (std::size_t k = 0; k + (closed ? 0 : 1) < size; ++k) {
      const int a = record[k], b = record[(k + 1) % size];
      const pair edge{std::min(a, b), std::max(a, b)};
      if (a != b && seen.insert(edge).second) lines.push_back(edge);
    }
  }
  return lines;
}

TEST(ReadOffTest, KeepsTheFirstOfEachEdgeInTheOrderMet) {
  std::mt19937 random(21);
  for (int round = 0; round < 12; ++round) {
    const bool skeleton = round % 3 == 2;
    const int vertices = 50 + static_cast<int>(random() % 400);
    const int hubs[] = {0, static_cast<int>(random() % static_cast<unsigned>(vertices))};
    std::vector<std::vector<int>> records;
    for (int f = 0; f < 3000; ++f) {
      std::vector<int> record(1 + random() % 12);
      for (int& v : record) {
        const unsigned choice = random() % 10;
        v = choice < 3 ? hubs[choice % 2]
                       : static_cast<int>(random() % static_cast<unsigned>(vertices));
      }
      if (f % 5 == 0 && record.size() > 1) record[1] = record[0]; // a repeated index
      records.push_back(record);
    }
    std::string text = std::string(skeleton ? "SKEL" : "OFF") + "\n" + std::to_string(vertices) +
                       " " + std::to_string(records.size()) + "\n";
    for (int v = 0; v < vertices; ++v) (text += std::to_string(v)) += " 0 0\n";
    for (const std::vector<int>& record : records) {
      text += std::to_string(record.size());
      for (const int v : record) (text += ' ') += std::to_string(v);
      text += '\n';
    }
    SCOPED_TRACE(testing::Message() << "round " << round);
    const parsed p = parse(text);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(shape_of(p.object).lines, first_met(records, !skeleton));
  }
  // The torus as a grid of quadrilaterals: every edge met twice, far apart.
  const std::string text = long_off(random, 60);
  const parsed p = parse(text);
  ASSERT_TRUE(p.ok) << p.error;
  constexpr int side = 60;
  std::vector<std::vector<int>> quadrilaterals;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const int right = (x + 1) % side, down = (y + 1) % side;
      quadrilaterals.push_back(
          {y * side + x, y * side + right, down * side + right, down * side + x});
    }
  }
  EXPECT_EQ(shape_of(p.object).lines, first_met(quadrilaterals, true));
  EXPECT_EQ(p.object.line_count, 2 * side * side);
}

// The counts decide what is read: text after the last record they announce is passed over,
// and its first line is named once. Comments, blank lines and the rest of a record's line are
// no such text.
TEST(ReadOffTest, NamesTheLineOfTextAfterTheLastRecord) {
  const std::string ignored = "text after the last record is ignored";
  const struct {
    std::string text;
    int points, lines;
    std::string notice;
  } cases[] = {
      {"OFF 2 0 0\n0 0 0\n1 0 0\n0 1 0\n", 2, 0, "line 4: " + ignored},
      {"OFF\n3 1\n" + three_points + "3 0 1 2\n3 0 1 2\n", 3, 3, "line 7: " + ignored},
      {"nOFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n", 1, 0, "line 4: " + ignored},
      {"OFF\n1 0\n0 0 0 7\n", 1, 0, "line 3: " + ignored},
      {"SKEL\n3 1\n" + three_points + "2 0 1\n\n# more\n2 1 2", 3, 1, "line 9: " + ignored},
      {"4OFF\n3 1 3 1\n0 0 0 0\n1 0 0 0\n0 1 0 0\n3 0 1 2\n1 0\n1 0\n", 3, 3, "line 8: " + ignored},
      {"OFF\n3 1\n" + three_points + "3 0 1 2 1 0 0 # a colour\n\n# end\n  \t\n", 3, 3, ""},
      {"OFF\n3 1\n" + three_points + "3 0 1 2", 3, 3, ""},
      {"OFF\n0 0\n", 0, 0, ""},
      // The look after the last record is bounded, as the look before the keyword is.
      {"OFF\n0 0\n" + std::string(most_preamble_bytes, '\n') + "1\n", 0, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE('"' + c.text + '"');
    object_record object{};
    std::string error;
    std::string notice = "left over";
    ASSERT_TRUE(parse_any_object(c.text, object, error, notice)) << error;
    EXPECT_EQ(object.point_count, c.points);
    EXPECT_EQ(object.line_count, c.lines);
    EXPECT_EQ(notice, c.notice);
  }
}

// The program says it on standard error, once, and goes on with the object; a file without
// such text says nothing there. Text beyond a window's worth of blank lines is named on its line.
TEST(LoadOffTest, SaysOnceWhereTextAfterTheLastRecordStarts) {
  const std::string faces = "OFF\n3 1\n" + three_points + "3 0 1 2\n";
  const struct {
    std::string name, text, said;
  } cases[] = {
      {"twice.off", faces + "3 0 1 2\n3 0 1 2\n", "line 7: text after the last record is ignored"},
      {"far.off", faces + std::string(window_bytes + 10, '\n') + "# x\n1 2 3\n",
       "line " + std::to_string(8 + window_bytes + 10) + ": text after the last record is ignored"},
      {"clean.off", faces + "# the end\n", ""},
  };
  for (const auto& c : cases) {
    const std::string path = testrun::write_file(testing::TempDir() + c.name, c.text);
    object_record object{};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    load_object(object, path);
    std::fflush(stdout);
    std::fflush(stderr);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              c.said.empty() ? "" : "ZORV: " + path + ": " + c.said + ".\n")
        << c.name;
    EXPECT_EQ(out, " Loading object file " + path + ".\n 3 points, 3 lines.\n") << c.name;
    std::remove(path.c_str());
  }
}

TEST(LoadOffTest, ReportsTheCountsAndNamesTheObjectAfterItsFile) {
  const struct {
    std::string file_name, name;
  } cases[] = {
      {"tesseract.off", "tesseract"},
      {"8-cell.polytope.off", "8-cell.polytope"},
      {"no_extension", "no_extension"},
      {"a_name_of_more_than_thirty_one_characters.off", "a_name_of_more_than_thirty_one_"},
  };
  for (const auto& c : cases) {
    const std::string path = testrun::write_file(testing::TempDir() + c.file_name, tesseract_off);
    object_record object{};
    testing::internal::CaptureStdout();
    load_object(object, path);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              " Loading object file " + path + ".\n 16 points, 32 lines.\n");
    EXPECT_EQ(std::string(object.name), c.name);
    std::remove(path.c_str());
  }
}

// Through load_object, as the program reads a file: an OFF file's refusal, and files that begin
// with a comment or white space but no keyword, refused by zorv's own reader.
TEST(LoadOffDeathTest, RefusesABrokenFileWithItsLine) {
  const struct {
    std::string name, text, error;
  } cases[] = {
      {"broken.off", "OFF\n3 1\n" + three_points + "3 0 1 3\n",
       "line 6: vertex index 3 of face 1 of 1 is out of range for 3 vertices"},
      {"commented.zorv", "# a comment\np={0}\nl={0}\n", "line 1: expected \"p={\""},
      {"indented.zorv", "  p={0}\nl={0}\n", "line 1: expected \"p={\""},
      {"blank_lines.zorv", std::string(most_preamble_bytes + 10, '\n') + "OFF\n0 0\n",
       "line 1: expected \"p={\""},
  };
  for (const auto& c : cases) {
    const std::string path = testrun::write_file(testing::TempDir() + c.name, c.text);
    object_record object{};
    EXPECT_EXIT(load_object(object, path), testing::ExitedWithCode(255),
                "^ZORV: " + escape_regex(path + ": " + c.error) + "\\.\n$")
        << c.name;
    std::remove(path.c_str());
  }
}

} // namespace
} // namespace zorv
