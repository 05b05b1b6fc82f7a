// The tesseract that the tests draw and read: its OFF file, and its twin in zorv's own format.
#pragma once

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zorv {

struct tesseract_texts {
  std::string off;  // 4OFF: 16 vertices, 24 squares, 8 cubes as cells
  std::string zorv; // the same points, and the squares' edges in the order they meet them
};

// The corners of the 4-cube of side 1 around the origin: corner v has coordinate k at +1/2 when
// bit k of v is set. A square moves along two axes and keeps the other two fixed; a cube keeps
// one axis fixed and holds the 6 squares that keep it fixed the same way.
inline tesseract_texts make_tesseract_texts() {
  constexpr int corners = 16;
  constexpr int axes = 4;
  std::vector<std::array<int, 4>> squares;
  std::vector<std::vector<int>> cubes(2 * axes); // cube 2 * axis + value
  for (int i = 0; i < axes; ++i) {
    for (int j = i + 1; j < axes; ++j) {
      for (int fixed = 0; fixed < corners; ++fixed) {
        if ((fixed & ((1 << i) | (1 << j))) != 0) continue; // one square per fixed pair of values
        const int bi = 1 << i, bj = 1 << j;
        for (int axis = 0; axis < axes; ++axis)
          if (axis != i && axis != j)
            cubes[static_cast<std::size_t>(2 * axis + ((fixed >> axis) & 1))].push_back(
                static_cast<int>(squares.size()));
        squares.push_back({fixed, fixed | bi, fixed | bi | bj, fixed | bj});
      }
    }
  }
  std::string points;
  for (int v = 0; v < corners; ++v)
    for (int axis = 0; axis < axes; ++axis)
      (points += (v >> axis) & 1 ? "0.5" : "-0.5") += axis + 1 < axes ? ' ' : '\n';

  tesseract_texts texts;
  texts.off = "4OFF\n# the tesseract\n16 24 32 8\n" + points;
  std::string lines;
  std::set<std::pair<int, int>> met;
  for (const std::array<int, 4>& square : squares) {
    texts.off += '4';
    for (int k = 0; k < 4; ++k) {
      (texts.off += ' ') += std::to_string(square[static_cast<std::size_t>(k)]);
      const int a = square[static_cast<std::size_t>(k)];
      const int b = square[static_cast<std::size_t>((k + 1) % 4)];
      const std::pair<int, int> edge{std::min(a, b), std::max(a, b)};
      if (met.insert(edge).second)
        (((lines += std::to_string(edge.first)) += ' ') += std::to_string(edge.second)) += '\n';
    }
    texts.off += '\n';
  }
  for (const std::vector<int>& cube : cubes) {
    texts.off += std::to_string(cube.size());
    for (const int square : cube) (texts.off += ' ') += std::to_string(square);
    texts.off += '\n';
  }
  texts.zorv = "p={16}\n" + points;
  ((texts.zorv += "l={") += std::to_string(met.size())) += "}\n";
  (texts.zorv += lines) += "n=tesseract\n";
  return texts;
}

} // namespace zorv
