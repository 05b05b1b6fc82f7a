// Runs a built program as a test's child and waits for it, with what a test may choose or use
// as a fault: a deadline, a limit on its address space, extra or removed environment, where its
// standard input, output and error go, SIGPIPE ignored, SIGTERM and SIGINT held. Reports how it
// ended and the most memory it held, from wait4's resource usage. The run works in a private
// directory, which these functions also make, fill and remove.
#pragma once

#include <chrono>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace zorv::testrun {

using namespace std::chrono_literals;

struct run_options {
  std::string dir; // working directory, holds out.txt and err.txt
  std::vector<std::pair<std::string, std::string>> environment; // set before the exec
  std::vector<std::string> unset_environment;                   // removed before the exec
  rlim_t address_space = RLIM_INFINITY;                         // RLIMIT_AS of the program
  int stdin_fd = -1;               // the program's standard input; -1: /dev/null
  int stdout_fd = -1;              // the program's standard output; -1: captured in out
  bool stderr_into_stdout = false; // 2>&1: standard error goes where standard output goes
  bool ignore_sigpipe = false; // inherited through the exec, as a shell or a daemon may pass it on
  std::chrono::milliseconds deadline = 20s; // then the program is killed: a hang
  // SIGTERM and SIGINT ignored and blocked, both inherited through the exec, as a careless
  // parent may pass them on.
  bool hold_termination = false;
};

struct program_run {
  bool ended = false;         // false if it still ran at the deadline (run_program kills it)
  bool signalled = false;     // ended by a signal
  int status = -1;            // the exit status, or the signal's number when signalled
  std::string out;            // standard output, when captured
  std::string err;            // standard error, unless it went into standard output
  long peak_resident_kib = 0; // the most memory it held at once (ru_maxrss)
};

program_run run_program(const std::string& path, const std::vector<std::string>& arguments,
                        const run_options& options);

// Starts the program as run_program does and returns its pid at once, -1 if it could not fork;
// the deadline plays no part. Its output goes to out.txt and err.txt in the directory.
pid_t start_program(const std::string& path, const std::vector<std::string>& arguments,
                    const run_options& options);

// Waits for a child of this process, or for an orphan it adopted, until the deadline. Fills
// how it ended and its memory; ended stays false if it still runs, and it is left running.
program_run wait_for_end(pid_t pid, std::chrono::milliseconds deadline);

// The status as a shell reports it: the exit status, or 128 + the signal's number.
int shell_status(const program_run& run);

// A private directory under /tmp, removed with its contents. Empty if it cannot be made.
std::string make_temp_dir();
void remove_temp_dir(const std::string& dir);
// Writes the text to a file at path, made or emptied first, and returns path; throws
// std::runtime_error, which fails the test, if the file cannot be written whole.
std::string write_file(const std::string& path, const std::string& text);
std::string read_file(const std::string& path);

} // namespace zorv::testrun
