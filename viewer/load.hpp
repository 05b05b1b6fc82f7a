// Loading an object file: the choice of its reader, by what the file starts with, above the
// readers themselves: read_off (off.hpp) for an OFF or SKEL file, read_object (zorv_file.hpp) for
// any other.
#pragma once

#include "object.hpp"
#include "text_window.hpp"

#include <string>
#include <string_view>

namespace zorv {

// Reads an object file of either kind from the window, as load_object reads it: an OFF or SKEL
// file with read_off, any other with read_object, which sees the window as it was.
// notice, where given, is read_off's (off.hpp): where text after an OFF file's last record
// starts, or empty.
bool read_any_object(text_window& w, object_record& object, std::string& error,
                     std::string& notice);
bool read_any_object(text_window& w, object_record& object, std::string& error);

// The same from the text in memory: the entry that the tests and the fuzzer call.
bool parse_any_object(std::string_view text, object_record& object, std::string& error,
                      std::string& notice);
bool parse_any_object(std::string_view text, object_record& object, std::string& error);

// Which objects are fitted as they are loaded (fit.hpp): by default those of OFF and SKEL files,
// whose makers choose their own sizes; -fit and -nofit choose for every file.
enum class fitting { by_kind, always, never };

// Reads the named object file into the record, printing the loader's progress messages, and fits
// it as fitting says. An
// object read from an OFF or SKEL file is named after the file: its name without its folder and
// extension, cut to the 31 characters that the name field holds. Every failure prints its
// message and ends the process with status 255; text after an OFF file's last record is said
// on standard error once, and the object is kept.
void load_object(object_record& object, const std::string& file_name,
                 fitting fit = fitting::by_kind);

} // namespace zorv
