// The generators' loops written plainly with fprintf, one call per record: the baseline the
// benchmark measures the generators against, and the oracle the tests compare the generators'
// output with, byte for byte. Counts are taken as given; the generators reject unusable ones.
#pragma once

#include <cmath>
#include <cstdio>

namespace zorv {

inline void printf_torus_points(FILE* out, int nx, int ny) {
  const double two_pi = 6.283185307179586;
  for (double j = 0.0; j < ny; j += 1.0) {
    const double b = j / (ny / two_pi);
    const double cos_b = std::cos(b);
    const double sin_b = std::sin(b);
    for (double i = 0.0; i < nx; i += 1.0) {
      const double a = i / (nx / two_pi);
      std::fprintf(out, "%.5f %.5f %.5f %.5f\n", std::cos(a), std::sin(a), cos_b, sin_b);
    }
  }
}

inline void printf_hoopgen(FILE* out, int nx, int ny) {
  std::fprintf(out, "p={%d}\n", nx * ny);
  printf_torus_points(out, nx, ny);
  std::fprintf(out, "l={%d}\n", 2 * nx * ny);
  for (int j = 0; j < ny; ++j)
    for (int k = 1; k < nx; ++k) std::fprintf(out, "%d %d\n", j * nx + k - 1, j * nx + k);
  for (int j = 0; j < ny; ++j) std::fprintf(out, "%d %d\n", j * nx, j * nx + nx - 1);
  for (int j = 0; j < ny - 1; ++j)
    for (int k = 0; k < nx; ++k) std::fprintf(out, "%d %d\n", j * nx + k, (j + 1) * nx + k);
  for (int k = 0; k < nx; ++k) std::fprintf(out, "%d %d\n", k, (ny - 1) * nx + k);
  std::fprintf(out, "n=CliffordTorus-%dx%d\n", nx, ny);
}

inline void printf_hoopstack(FILE* out, int nx, int ny) {
  std::fprintf(out, "p={%d}\n", nx * ny);
  printf_torus_points(out, nx, ny);
  std::fprintf(out, "l={%d}\n", nx * ny);
  for (int k = 1; k < nx; ++k)
    for (int j = 0; j < ny; ++j) std::fprintf(out, "%d %d\n", j * nx + k - 1, j * nx + k);
  for (int j = 0; j < ny; ++j) std::fprintf(out, "%d %d\n", j * nx + nx - 1, j * nx);
  std::fprintf(out, "n=CutCliffordTorus-%dx%d\n", nx, ny);
}

inline void printf_ripplegen(FILE* out, int nx, int ny) {
  std::fprintf(out, "p={%d}\n", nx * ny);
  const double hx = nx / 2;
  const double hz = ny / 2;
  for (double j = 0.0; j < ny; j += 1.0) {
    const double z = j / hz + (-1.0);
    const double wave_z = std::sin(15.0 * z);
    for (double i = 0.0; i < nx; i += 1.0) {
      const double x = i / hx + (-1.0);
      const double y = (std::sin(15.0 * x) + wave_z) / 5.0;
      std::fprintf(out, "%f %f %f 0\n", x, y, z);
    }
  }
  std::fprintf(out, "l={%d}\n", ny * (nx - 1) + (ny - 1) * nx);
  for (int j = 0; j < ny; ++j)
    for (int k = 1; k < nx; ++k) std::fprintf(out, "%d %d\n", j * nx + k - 1, j * nx + k);
  for (int j = 0; j < ny - 1; ++j)
    for (int k = 0; k < nx; ++k) std::fprintf(out, "%d %d\n", j * nx + k, (j + 1) * nx + k);
  std::fprintf(out, "n=RIPPLEGENV2.1.2CREATED\n");
}

} // namespace zorv
