// Object files of zorv's own format: "p={n}", n points of four coordinates, "l={m}", m lines of
// two point indices, and "n=" and the object's name.
#pragma once

#include "object.hpp"
#include "text_window.hpp"

#include <string>
#include <string_view>

namespace zorv {

// Reads an object file's text from the window into the record. On failure returns false and sets
// error to one line saying where and why (line number included), leaving the record unusable; a
// failed read of the window's file ends its text and is in w.read_error. Never exits and never
// prints.
bool read_object(text_window& w, object_record& object, std::string& error);

// Parses the text of an object file into the record, as read_object reads it. On failure returns
// false and sets error to one line saying where and why (line number included), leaving the record
// unusable. Never exits and never prints: the viewer, the tests and the fuzzer all call it.
bool parse_object(std::string_view text, object_record& object, std::string& error);

} // namespace zorv
