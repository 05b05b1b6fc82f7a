// hoopstack - writes a cut Clifford torus as an object file on standard output: hoopgen's points,
// joined only around the first circle, so the object is a stack of ny separate rings of nx points.
//
//   hoopstack <x increments> <y increments> > rings.zorv
//
// The lines around the rings go column by column (position in the ring outside, ring inside), then
// each ring is closed from its last point back to its first.
#include "output.hpp"

namespace zorv {
namespace {

constexpr const char* program = "HOOPSTACK";
constexpr const char* arguments = "<x increments> <y increments>";
constexpr const char* help =
    "Usage: hoopstack <x increments> <y increments> > rings.zorv\n"
    "Writes a stack of rings as an object file for zorv on standard output: the points of\n"
    "hoopgen's Clifford torus (<x increments> around x-y times <y increments> around z-w,\n"
    "each at least 1), joined only around the first circle.\n"
    "  --help     this text\n"
    "  --version  the version\n";

void put_ring_lines(output_buffer& out, int nx, int ny) {
  for (int k = 1; k < nx; ++k)
    for (int j = 0; j < ny; ++j) put_pair(out, j * nx + k - 1, j * nx + k);
  for (int j = 0; j < ny; ++j) put_pair(out, j * nx + nx - 1, j * nx);
}

} // namespace
} // namespace zorv

int main(int argc, char** argv) {
  using namespace zorv;
  answer_help_or_version(argc, argv, "hoopstack", help);
  int nx = 0;
  int ny = 0;
  // Both counts must be at least 1 and the count lines must fit an int, or the file would not
  // describe an object.
  if (!read_counts(argc, argv, 1, &nx, &ny) || !fits_int(1LL * nx * ny))
    usage_exit(program, arguments);

  output_buffer& out = program_output(program);
  put_count(out, 'p', nx * ny);
  put_torus_points(out, nx, ny);
  put_count(out, 'l', nx * ny);
  put_ring_lines(out, nx, ny);
  put_text(out, "n=CutCliffordTorus-");
  put_int(out, nx);
  put_char(out, 'x');
  put_int(out, ny);
  put_char(out, '\n');
  flush_output(out);
  return 0;
}
