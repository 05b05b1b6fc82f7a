// Coloured OFF and SKEL files that the tests and benchmarks write: cellgen's 24-cell with its faces
// in a few colours, and a star of lines each in a colour of its own.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zorv::colouredfiles {

// The face colours of coloured_faces, cycled, as 0xRRGGBB, and as the file writes them.
inline const std::vector<std::uint32_t> face_colours = {0x00ff00, 0x3366ff, 0xffcc00, 0xff00ff,
                                                        0x00ffff, 0xffffff};

inline std::vector<std::string> face_colour_texts() {
  std::vector<std::string> texts;
  char text[48];
  for (const std::uint32_t c : face_colours) {
    std::snprintf(text, sizeof text, " %u %u %u", c >> 16, (c >> 8) & 0xff, c & 0xff);
    texts.emplace_back(text);
  }
  return texts;
}

// The colour of line i of a star: each line its own for 2^23 lines (an odd multiplier permutes
// 23 bits), blue's high bit set so that no colour reads as one of 0..1.
inline std::uint32_t star_colour(int i) {
  const std::uint32_t h = (static_cast<std::uint32_t>(i) * 2654435761u) & 0x7fffff;
  return (h >> 7) << 8 | 0x80 | (h & 0x7f);
}

// A SKEL star of lines from the centre of a sphere in four dimensions to points on it, spread by
// a golden-ratio walk, each polyline in its own colour (float form every other line), or in none.
inline std::string star_skel(int lines, bool coloured = true) {
  std::string text = "4SKEL\n" + std::to_string(lines + 1) + " " + std::to_string(lines) + "\n";
  text += "0 0 0 0\n";
  char row[160];
  for (int i = 0; i < lines; ++i) {
    const double t = (i + 0.5) / lines;
    const double a = 6.283185307179586 * i * 0.6180339887498949;
    const double b = 6.283185307179586 * i * 0.7548776662466927;
    const double r = std::sqrt(1 - t * t);
    std::snprintf(row, sizeof row, "%.6f %.6f %.6f %.6f\n", r * std::cos(a), r * std::sin(a),
                  t * std::cos(b), t * std::sin(b));
    text += row;
  }
  for (int i = 0; i < lines; ++i) {
    const std::uint32_t c = star_colour(i);
    if (!coloured)
      std::snprintf(row, sizeof row, "2 0 %d\n", i + 1);
    else if (i % 2 == 0)
      std::snprintf(row, sizeof row, "2 0 %d %u %u %u\n", i + 1, c >> 16, (c >> 8) & 0xff,
                    c & 0xff);
    else
      std::snprintf(row, sizeof row, "2 0 %d %.6f %.6f %.6f 1\n", i + 1, (c >> 16) / 255.0,
                    ((c >> 8) & 0xff) / 255.0, (c & 0xff) / 255.0);
    text += row;
  }
  return text;
}

} // namespace zorv::colouredfiles
