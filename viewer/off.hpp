// OFF and SKEL files, the forms in which the field keeps its four-dimensional polytopes: read into
// the object record as points, and as lines the distinct edges of their faces or polylines.
#pragma once

#include "object.hpp"
#include "text_window.hpp"

#include <cstddef>
#include <string>

namespace zorv {

// The first word of an OFF or SKEL file comes within this many bytes of its start, after comment
// lines, blank lines and an appearance block; a file whose first word lies farther is read as
// an object file of zorv's own format.
inline constexpr std::size_t most_preamble_bytes = std::size_t{1} << 20;

// True if the text in the window is an OFF or SKEL file: its first word, after a UTF-8 byte-order
// mark, comment lines, blank lines and an "appearance { ... }" block, is a keyword of the family
// ([ST][C][N][4][n]OFF or the same with SKEL). Then p is moved to that keyword; otherwise p stays
// where it was, and the window holds at most most_preamble_bytes more than before.
bool find_off_keyword(text_window& w);

// True if the text in the window, not an OFF or SKEL file, is one written wrong or one that is
// not read: a compressed file, a keyword with a dimension other than 4, counts glued to the
// keyword, a keyword in lower case. Then error says so, as read_off's errors do; p stays.
bool refuse_off_lookalike(text_window& w, std::string& error);

// Reads an OFF or SKEL file from the window, p at its keyword: the vertices as points, and as
// lines each pair of consecutive vertices of a face (and the pair closing it) or of a polyline,
// each unordered pair once, in the order first met, the smaller index first. The name is left
// empty. On failure returns false and sets error to one line saying where and why (line number
// included); a failed read of the window's file ends its text and is in w.read_error. Text other
// than white space and comments after the last record is passed over, and where it starts within
// most_preamble_bytes of the record, notice says so in a line of the same form; otherwise notice
// is empty. Never exits and never prints.
bool read_off(text_window& w, object_record& object, std::string& error, std::string& notice);

} // namespace zorv
