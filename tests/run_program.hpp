// Runs a built program as a test's child under a chosen fault: a deadline, a limit on its
// address space, extra environment, its standard output into a given descriptor, SIGPIPE
// ignored. Reports how it ended and the most memory it held, from wait4's resource usage.
#pragma once

#include <chrono>
#include <string>
#include <sys/resource.h>
#include <utility>
#include <vector>

namespace zorv::testrun {

using namespace std::chrono_literals;

struct run_options {
  std::string dir; // working directory, holds out and err
  std::vector<std::pair<std::string, std::string>> environment; // set before the exec
  rlim_t address_space = RLIM_INFINITY;                         // RLIMIT_AS of the program
  int stdout_fd = -1;          // the program's standard output; -1: captured in out
  bool ignore_sigpipe = false; // inherited through the exec, as a shell or a daemon may pass it on
  std::chrono::milliseconds deadline = 20s; // then the program is killed: a hang
};

struct program_run {
  bool ended = false;         // false if it was killed at the deadline
  bool signalled = false;     // ended by a signal
  int status = -1;            // the exit status, or the signal's number when signalled
  std::string out;            // standard output, when captured
  std::string err;            // standard error
  long peak_resident_kib = 0; // the most memory it held at once (ru_maxrss)
};

program_run run_program(const std::string& path, const std::vector<std::string>& arguments,
                        const run_options& options);

} // namespace zorv::testrun
