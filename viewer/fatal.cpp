#include "fatal.hpp"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zorv {

void end_process(exit_status status) {
  std::exit(static_cast<int>(status));
}

void die(exit_status status, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stderr, format, arguments);
  va_end(arguments);
  end_process(status);
}

void die_of_memory() {
  die(exit_status::failure, "malloc: %s\n", std::strerror(ENOMEM));
}

} // namespace zorv
