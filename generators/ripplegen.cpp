// ripplegen - writes a rippled grid as an object file on standard output: nx by ny points running
// from -1 towards +1 in x and in z, lifted in y by two sine waves, w = 0, joined along the rows
// and between neighbouring rows (the mesh is not closed).
//
//   ripplegen <x grid size> <y grid size> > ripple.zorv
#include "output.hpp"

namespace zorv {
namespace {

constexpr const char* program = "RIPPLEGEN";
constexpr const char* arguments = "<x grid size> <y grid size>";
constexpr const char* help =
    "Usage: ripplegen <x grid size> <y grid size> > ripple.zorv\n"
    "Writes a grid as an object file for zorv on standard output: <x grid size> columns in x\n"
    "times <y grid size> rows in z (each at least 2), from -1 towards +1, rippled in y.\n"
    "  --help     this text\n"
    "  --version  the version\n";
// A size of 1 would halve to 0 and divide by it, filling the file with NaN.
constexpr int smallest_size = 2;
constexpr int ripple_decimals = 6; // "%f"
constexpr double wave_number = 15.0;
constexpr double ripple_divisor = 5.0;

// Row j lies at z = j / hz - 1 and column i at x = i / hx - 1, with hx and hz the integer halves of
// the sizes; y = (sin 15x + sin 15z) / 5. Each point is "%f %f %f 0\n": x, y, z and w = 0. The
// row's wave and its half of every line are computed once per row.
void put_ripple_points(output_buffer& out, int nx, int ny) {
  const double hx = nx / 2;
  const double hz = ny / 2;
  for (double j = 0.0; j < ny; j += 1.0) {
    const double z = j / hz - 1.0;
    const double row_wave = std::sin(wave_number * z);
    char row_text[longest_number + 4];
    char* end = row_text;
    *end++ = ' ';
    end = format_fixed<ripple_decimals>(end, z);
    for (const char c : std::string_view(" 0\n")) *end++ = c;
    const std::string_view row(row_text, static_cast<std::size_t>(end - row_text));
    for (double i = 0.0; i < nx; i += 1.0) {
      const double x = i / hx - 1.0;
      const double y = (std::sin(wave_number * x) + row_wave) / ripple_divisor;
      put_fixed<ripple_decimals>(out, x);
      put_char(out, ' ');
      put_fixed<ripple_decimals>(out, y);
      put_text(out, row);
    }
  }
}

void put_grid_lines(output_buffer& out, int nx, int ny) {
  for (int j = 0; j < ny; ++j)
    for (int k = 1; k < nx; ++k) put_pair(out, j * nx + k - 1, j * nx + k);
  for (int j = 0; j + 1 < ny; ++j)
    for (int k = 0; k < nx; ++k) put_pair(out, j * nx + k, (j + 1) * nx + k);
}

} // namespace
} // namespace zorv

int main(int argc, char** argv) {
  using namespace zorv;
  answer_help_or_version(argc, argv, "ripplegen", help);
  int nx = 0;
  int ny = 0;
  if (!read_counts(argc, argv, smallest_size, &nx, &ny) || !fits_int(1LL * nx * ny) ||
      !fits_int(1LL * ny * (nx - 1) + 1LL * (ny - 1) * nx))
    usage_exit(program, arguments);

  output_buffer& out = program_output(program);
  put_count(out, 'p', nx * ny);
  put_ripple_points(out, nx, ny);
  put_count(out, 'l', ny * (nx - 1) + (ny - 1) * nx);
  put_grid_lines(out, nx, ny);
  put_text(out, "n=RIPPLEGENV2.1.2CREATED\n");
  flush_output(out);
  return 0;
}
