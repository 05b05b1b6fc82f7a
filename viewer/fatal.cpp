#include "fatal.hpp"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace zorv {
namespace {

bool reader_gone = false;
bool silenced = false;

// From here on standard output goes nowhere, so that neither the report's lines nor anything stdio
// still holds for the stream can raise SIGPIPE.
void stop_reporting() {
  reader_gone = true;
  const int null_device = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null_device < 0) return;
  dup2(null_device, STDOUT_FILENO);
  close(null_device);
}

// The SIGPIPE that the failed write raised while it was blocked, taken so that it is never
// delivered; none is pending when SIGPIPE is ignored.
void drop_pending_sigpipe(const sigset_t& pipe_signal) {
  const timespec at_once{0, 0};
  while (sigtimedwait(&pipe_signal, nullptr, &at_once) < 0 && errno == EINTR) {
  }
}

// Written with SIGPIPE blocked, so that a reader that went away shows as EPIPE here instead of
// ending the process.
__attribute__((format(printf, 1, 0))) void write_report(const char* format,
                                                        std::va_list arguments) {
  if (reader_gone) return;
  sigset_t pipe_signal;
  sigset_t previous;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  sigprocmask(SIG_BLOCK, &pipe_signal, &previous);
  std::clearerr(stdout);
  errno = 0;
  std::vfprintf(stdout, format, arguments);
  std::fflush(stdout);
  if (std::ferror(stdout) != 0 && errno == EPIPE) {
    drop_pending_sigpipe(pipe_signal);
    stop_reporting();
  }
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

} // namespace

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

void report(const char* format, ...) {
  if (silenced) return;
  std::va_list arguments;
  va_start(arguments, format);
  write_report(format, arguments);
  va_end(arguments);
}

void silence_report() {
  silenced = true;
}

void report_result(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  write_report(format, arguments);
  va_end(arguments);
}

} // namespace zorv
