// cellgen - writes one of the six regular convex four-dimensional polytopes as an object file on
// standard output: the 5-cell, the 8-cell (tesseract), the 16-cell, the 24-cell, the 120-cell or
// the 600-cell.
//
//   cellgen <cells> > polytope.zorv
//
// The vertices lie on the unit 3-sphere around the origin and are written sorted by decreasing
// x, then y, z and w; the edges are the vertex pairs at the smallest distance, smaller index
// first, sorted.
#include "output.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace zorv {
namespace {

constexpr const char* program = "CELLGEN";
constexpr const char* usage_line = "  usage: CELLGEN <cells: 5, 8, 16, 24, 120 or 600>\n";
constexpr const char* help =
    "Usage: cellgen <cells> > polytope.zorv\n"
    "Writes a regular four-dimensional polytope as an object file for zorv on standard\n"
    "output, its vertices on the unit 3-sphere. <cells> chooses it:\n"
    "  5    the 5-cell (simplex)\n"
    "  8    the 8-cell (tesseract)\n"
    "  16   the 16-cell\n"
    "  24   the 24-cell\n"
    "  120  the 120-cell\n"
    "  600  the 600-cell\n"
    "  --help     this text\n"
    "  --version  the version\n";
constexpr int cell_decimals = 5;

using vertex = std::array<double, 4>;

const double golden = (1.0 + std::sqrt(5.0)) / 2.0;

// Every permutation of base (only the even ones if asked), with every choice of sign on its
// non-zero entries.
void add_signed_permutations(std::vector<vertex>& vertices, vertex base, bool even_only) {
  std::array<int, 4> order{0, 1, 2, 3};
  do {
    int inversions = 0;
    for (int a = 0; a < 4; ++a)
      for (int b = a + 1; b < 4; ++b) inversions += order[a] > order[b];
    if (even_only && inversions % 2 != 0) continue;
    for (int signs = 0; signs < 16; ++signs) {
      vertex v{};
      bool repeated = false;
      for (int axis = 0; axis < 4; ++axis) {
        const double entry = base[order[axis]];
        const bool flip = (signs >> axis) & 1;
        if (flip && entry == 0.0) repeated = true; // -0 is the same vertex as +0
        v[axis] = flip ? -entry : entry;
      }
      if (!repeated && std::find(vertices.begin(), vertices.end(), v) == vertices.end())
        vertices.push_back(v);
    }
  } while (std::next_permutation(order.begin(), order.end()));
}

// A regular tetrahedron of radius sqrt(15)/4 at w = -1/4 and an apex at w = 1.
std::vector<vertex> five_cell() {
  const double a = std::sqrt(15.0) / 4.0 / std::sqrt(3.0);
  return {
      {0, 0, 0, 1}, {a, a, a, -0.25}, {a, -a, -a, -0.25}, {-a, a, -a, -0.25}, {-a, -a, a, -0.25}};
}

std::vector<vertex> polytope(int cells) {
  std::vector<vertex> v;
  const double phi = golden;
  switch (cells) {
  case 5:
    return five_cell();
  case 8:
    add_signed_permutations(v, {0.5, 0.5, 0.5, 0.5}, false);
    break;
  case 16:
    add_signed_permutations(v, {1, 0, 0, 0}, false);
    break;
  case 24:
    add_signed_permutations(v, {1, 0, 0, 0}, false);
    add_signed_permutations(v, {0.5, 0.5, 0.5, 0.5}, false);
    break;
  case 600:
    add_signed_permutations(v, {1, 0, 0, 0}, false);
    add_signed_permutations(v, {0.5, 0.5, 0.5, 0.5}, false);
    add_signed_permutations(v, {phi / 2, 0.5, 1 / phi / 2, 0}, true);
    break;
  case 120: {
    const double root5 = std::sqrt(5.0);
    add_signed_permutations(v, {0, 0, 2, 2}, false);
    add_signed_permutations(v, {1, 1, 1, root5}, false);
    add_signed_permutations(v, {1 / (phi * phi), phi, phi, phi}, false);
    add_signed_permutations(v, {1 / phi, 1 / phi, 1 / phi, phi * phi}, false);
    add_signed_permutations(v, {0, 1 / (phi * phi), 1, phi * phi}, true);
    add_signed_permutations(v, {0, 1 / phi, phi, root5}, true);
    add_signed_permutations(v, {1 / phi, 1, phi, 2}, true);
    const double radius = std::sqrt(8.0);
    for (vertex& p : v)
      for (double& c : p) c /= radius;
    break;
  }
  default:
    return {};
  }
  return v;
}

double distance_squared(const vertex& a, const vertex& b) {
  double sum = 0;
  for (int axis = 0; axis < 4; ++axis) sum += (a[axis] - b[axis]) * (a[axis] - b[axis]);
  return sum;
}

struct edge {
  int first, second;
};

// The pairs at the smallest distance, in index order; the tolerance absorbs rounding only, since
// the next distance in any of these polytopes is more than 10% longer.
std::vector<edge> shortest_edges(const std::vector<vertex>& v) {
  double shortest = INFINITY;
  for (std::size_t a = 0; a < v.size(); ++a)
    for (std::size_t b = a + 1; b < v.size(); ++b)
      shortest = std::min(shortest, distance_squared(v[a], v[b]));
  std::vector<edge> edges;
  for (std::size_t a = 0; a < v.size(); ++a)
    for (std::size_t b = a + 1; b < v.size(); ++b)
      if (distance_squared(v[a], v[b]) < shortest * (1 + 1e-9))
        edges.push_back({static_cast<int>(a), static_cast<int>(b)});
  return edges;
}

[[noreturn]] void reject_arguments(const char* problem, const char* argument) {
  std::fprintf(stderr, problem, argument);
  std::fputs(usage_line, stderr);
  std::exit(usage_status);
}

} // namespace
} // namespace zorv

int main(int argc, char** argv) {
  using namespace zorv;
  answer_help_or_version(argc, argv, "cellgen", help);
  if (argc != 2) reject_arguments("CELLGEN: need parameters.\n", "");
  int cells = 0;
  std::vector<vertex> vertices;
  if (read_count(argv[1], &cells)) vertices = polytope(cells);
  if (vertices.empty()) reject_arguments("CELLGEN: no regular polytope with %s cells.\n", argv[1]);
  std::sort(vertices.begin(), vertices.end(),
            [](const vertex& a, const vertex& b) { return a > b; });
  const std::vector<edge> edges = shortest_edges(vertices);

  output_buffer& out = program_output(program);
  put_count(out, 'p', static_cast<int>(vertices.size()));
  for (const vertex& p : vertices) {
    for (int axis = 0; axis < 4; ++axis) {
      put_fixed<cell_decimals>(out, p[axis]);
      put_char(out, axis == 3 ? '\n' : ' ');
    }
  }
  put_count(out, 'l', static_cast<int>(edges.size()));
  for (const edge& e : edges) put_pair(out, e.first, e.second);
  put_text(out, "n=");
  put_int(out, cells);
  put_text(out, "-cell\n");
  flush_output(out);
  return 0;
}
