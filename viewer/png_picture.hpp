// A frame's pixels as a PNG file (-o name.png): 8-bit RGB rows, left unfiltered, compressed in
// one piece by libdeflate, with the background as the picture's background hint (bKGD).
#pragma once

#include "picture.hpp"

#include <string>

namespace zorv {

// libdeflate's level for -o's PNG. A wireframe's rows are mostly runs of the background, which
// row filters do not shorten and level 1 finds at once: it compresses a 650x650 frame four to
// nine times faster than libpng's defaults (zlib's level 6, every filter tried on each row), into
// a file at most about a quarter larger.
inline constexpr int png_deflate_level = 1;

// How writing a PNG went: success, the errno of a write that failed, or what else went wrong.
struct png_outcome {
  bool written = false;
  int write_error = 0;
  std::string message;
};

// Writes the picture's pixels to the descriptor (which stays open) as a whole PNG file. Ends
// the process with the allocation message if the rows cannot be held in memory.
png_outcome write_png_picture(int descriptor, const picture_state& picture,
                              int deflate_level = png_deflate_level);

} // namespace zorv
