// An OFF file that the tests and benchmarks write themselves: the Clifford torus of hoopgen as a
// grid of quadrilaterals.
#pragma once

#include "printf_generators.hpp"

#include <cstdio>

namespace zorv {

// The points of "hoopgen nx ny" and as faces the nx * ny quadrilaterals between its rings: the
// same object as the torus that hoopgen writes, its lines the quadrilaterals' edges.
inline void print_off_torus(std::FILE* out, int nx, int ny) {
  std::fprintf(out, "4OFF\n# the Clifford torus of hoopgen %d %d\n%d %d %d\n", nx, ny, nx * ny,
               nx * ny, 2 * nx * ny);
  printf_torus_points(out, nx, ny);
  for (int j = 0; j < ny; ++j) {
    const int next = (j + 1) % ny;
    for (int k = 0; k < nx; ++k) {
      const int right = (k + 1) % nx;
      std::fprintf(out, "4 %d %d %d %d\n", j * nx + k, j * nx + right, next * nx + right,
                   next * nx + k);
    }
  }
}

} // namespace zorv
