// A test seam for a file that changes while the viewer reads it, loaded into the real zorv with
// LD_PRELOAD: right after the program takes the size of a file whose name ends in ".zorv", the
// file is cut to ZORV_CUT_TO bytes and ZORV_WRITE (if set) is written after what is left, as
// "hoopgen 10 10 > t.zorv" rewrites a file that a viewer has just opened.
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool is_object_file(const std::string& path) {
  const std::string suffix = ".zorv";
  return path.size() >= suffix.size() &&
         path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string path_of(int fd) {
  char path[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t length = readlink(link.c_str(), path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

void rewrite(const std::string& path, const char* cut_to, const char* text) {
  const off_t size = std::atoll(cut_to);
  if (truncate(path.c_str(), size) != 0 || !text) return;
  const int fd = open(path.c_str(), O_WRONLY);
  if (fd < 0) return;
  if (pwrite(fd, text, std::strlen(text), size) < 0) std::abort();
  close(fd);
}

} // namespace

extern "C" int fstat(int fd, struct stat* status) noexcept {
  using fstat_function = int (*)(int, struct stat*);
  static const auto real = reinterpret_cast<fstat_function>(dlsym(RTLD_NEXT, "fstat"));
  const int result = real(fd, status);
  const char* cut_to = std::getenv("ZORV_CUT_TO");
  if (result == 0 && cut_to && S_ISREG(status->st_mode)) {
    const std::string path = path_of(fd);
    if (is_object_file(path)) rewrite(path, cut_to, std::getenv("ZORV_WRITE"));
  }
  return result;
}
