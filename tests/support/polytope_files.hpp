// OFF files that the tests write from cellgen's polytopes: the faces found from the edge graph,
// the points scaled and moved as a test asks, and any text after each face (a colour).
#pragma once

#include "object.hpp"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace zorv::polytopefiles {

// The shortest cycles of an edge graph (triangles, squares or pentagons for cellgen's polytopes),
// each once: from its smallest vertex, in the direction of its smaller neighbour.
inline std::vector<std::vector<int>>
shortest_cycles(const std::vector<std::vector<int>>& neighbours) {
  for (std::size_t length = 3;; ++length) {
    std::vector<std::vector<int>> cycles;
    std::vector<int> path;
    const auto extend = [&](const auto& self) -> void {
      const int last = path.back();
      for (const int next : neighbours[static_cast<std::size_t>(last)]) {
        if (next < path[0]) continue;
        if (path.size() == length) {
          if (next == path[0] && path[1] < path.back()) cycles.push_back(path);
          continue;
        }
        if (std::find(path.begin(), path.end(), next) != path.end()) continue;
        path.push_back(next);
        self(self);
        path.pop_back();
      }
    };
    for (std::size_t v = 0; v < neighbours.size(); ++v) {
      path = {static_cast<int>(v)};
      extend(extend);
    }
    if (!cycles.empty()) return cycles;
  }
}

// The 2-faces of a polytope read from cellgen's output.
inline std::vector<std::vector<int>> faces_of(const object_record& polytope) {
  std::vector<std::vector<int>> neighbours(polytope.points.size());
  for (const line& l : polytope.lines) {
    neighbours[static_cast<std::size_t>(l.first)].push_back(l.second);
    neighbours[static_cast<std::size_t>(l.second)].push_back(l.first);
  }
  return shortest_cycles(neighbours);
}

// The polytope as a 4OFF file: each coordinate times scale plus move, written with enough digits
// to read back as the double it is nearest to; after face i, after_face[i % size] if any.
inline std::string off_text(const object_record& polytope,
                            const std::vector<std::vector<int>>& faces, double scale = 1,
                            double move = 0, const std::vector<std::string>& after_face = {}) {
  std::string off = "4OFF\n" + std::to_string(polytope.points.size()) + " " +
                    std::to_string(faces.size()) + " 0\n";
  char number[160];
  for (const point& q : polytope.points) {
    std::snprintf(number, sizeof number, "%.17g %.17g %.17g %.17g\n", q.x * scale + move,
                  q.y * scale + move, q.z * scale + move, q.w * scale + move);
    off += number;
  }
  for (std::size_t i = 0; i < faces.size(); ++i) {
    off += std::to_string(faces[i].size());
    for (const int v : faces[i]) (off += ' ') += std::to_string(v);
    if (!after_face.empty()) off += after_face[i % after_face.size()];
    off += '\n';
  }
  return off;
}

} // namespace zorv::polytopefiles
