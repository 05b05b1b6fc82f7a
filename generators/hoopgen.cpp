// hoopgen - writes a Clifford torus as an object file on standard output: the product of a unit
// circle in x-y (nx samples) and one in z-w (ny samples), joined into a closed mesh along both.
//
//   hoopgen <x increments> <y increments> > torus.zorv
//
// The points go ring by ring; the lines go around each ring, then close each ring, then join
// neighbouring rings, then close the second circle from the last ring back to the first.
#include "output.hpp"

namespace zorv {
namespace {

constexpr const char* program = "HOOPGEN";
constexpr const char* arguments = "<x increments> <y increments>";
constexpr const char* help =
    "Usage: hoopgen <x increments> <y increments> > torus.zorv\n"
    "Writes a Clifford torus as an object file for zorv on standard output: <x increments>\n"
    "points around a unit circle in x-y times <y increments> around one in z-w (each at\n"
    "least 1), joined along both circles.\n"
    "  --help     this text\n"
    "  --version  the version\n";

void put_torus_lines(output_buffer& out, int nx, int ny) {
  for (int j = 0; j < ny; ++j)
    for (int k = 1; k < nx; ++k) put_pair(out, j * nx + k - 1, j * nx + k);
  for (int j = 0; j < ny; ++j) put_pair(out, j * nx, j * nx + nx - 1);
  for (int j = 0; j + 1 < ny; ++j)
    for (int k = 0; k < nx; ++k) put_pair(out, j * nx + k, (j + 1) * nx + k);
  for (int k = 0; k < nx; ++k) put_pair(out, k, (ny - 1) * nx + k);
}

} // namespace
} // namespace zorv

int main(int argc, char** argv) {
  using namespace zorv;
  answer_help_or_version(argc, argv, "hoopgen", help);
  int nx = 0;
  int ny = 0;
  // Both counts must be at least 1 and every count line must fit an int, or the file would not
  // describe an object.
  if (!read_counts(argc, argv, 1, &nx, &ny) || !fits_int(2LL * nx * ny))
    usage_exit(program, arguments);

  output_buffer& out = program_output(program);
  put_count(out, 'p', nx * ny);
  put_torus_points(out, nx, ny);
  put_count(out, 'l', 2 * nx * ny);
  put_torus_lines(out, nx, ny);
  put_text(out, "n=CliffordTorus-");
  put_int(out, nx);
  put_char(out, 'x');
  put_int(out, ny);
  put_char(out, '\n');
  flush_output(out);
  return 0;
}
