// load_object opens the file, reads it through a window with the reader that its start calls
// for, and turns a failure into a message and an exit.
#include "load.hpp"

#include "fatal.hpp"
#include "fit.hpp"
#include "off.hpp"
#include "zorv_file.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace zorv {
namespace {

// Reads the object with the reader that the text calls for; off tells which it was. A file that
// looks like OFF but is not read is refused as what it is, not as a file of zorv's own format.
bool read_chosen(text_window& w, object_record& object, std::string& error, std::string& notice,
                 bool& off) {
  notice.clear();
  object.colours.clear();
  object.line_colours.clear();
  off = find_off_keyword(w);
  if (off) return read_off(w, object, error, notice);
  return !refuse_off_lookalike(w, error) && read_object(w, object, error);
}

// An OFF or SKEL file names no object: it is named after the file.
void name_after_file(object_record& object, const std::string& file_name) {
  const std::string stem = std::filesystem::path(file_name).stem().string();
  const std::size_t length = std::min(stem.size(), name_size - 1);
  stem.copy(object.name, length);
  object.name[length] = '\0';
}

} // namespace

bool read_any_object(text_window& w, object_record& object, std::string& error,
                     std::string& notice) {
  bool off = false;
  return read_chosen(w, object, error, notice, off);
}

bool read_any_object(text_window& w, object_record& object, std::string& error) {
  std::string notice;
  return read_any_object(w, object, error, notice);
}

bool parse_any_object(std::string_view text, object_record& object, std::string& error,
                      std::string& notice) {
  text_window w = window_on_text(text);
  return read_any_object(w, object, error, notice);
}

bool parse_any_object(std::string_view text, object_record& object, std::string& error) {
  std::string notice;
  return parse_any_object(text, object, error, notice);
}

void load_object(object_record& object, const std::string& file_name, fitting fit) {
  const int fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status {};
  if (fd < 0 || ::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode))
    die(exit_status::failure, "ZORV: Cannot open object file %s.\n", file_name.c_str());
  report(" Loading object file %s.\n", file_name.c_str());
  // Only a regular file tells its size; some (those of /proc) say 0 whatever they hold.
  const std::int64_t known_size =
      S_ISREG(status.st_mode) && status.st_size > 0 ? std::int64_t{status.st_size} : -1;
  try {
    text_window w = window_on_file(fd, known_size);
    std::string error;
    std::string notice;
    bool off = false;
    const bool read = read_chosen(w, object, error, notice, off);
    if (w.read_error != 0)
      die(exit_status::failure, "ZORV: Cannot read object file %s.\n", file_name.c_str());
    if (!read) die(exit_status::failure, "ZORV: %s: %s.\n", file_name.c_str(), error.c_str());
    if (!notice.empty()) std::fprintf(stderr, "ZORV: %s: %s.\n", file_name.c_str(), notice.c_str());
    if (off) name_after_file(object, file_name);
    if (fit == fitting::always || (fit == fitting::by_kind && off)) fit_object(object);
  } catch (const std::bad_alloc&) {
    die_of_memory();
  }
  ::close(fd);
  report(" %d points, ", object.point_count);
  report("%d lines.\n", object.line_count);
}

} // namespace zorv
