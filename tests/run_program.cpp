#include "run_program.hpp"

#include "address_sanitizer.hpp"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zorv::testrun {

namespace {

constexpr int exec_failure_status = 127;
constexpr auto poll_interval = 1ms;

void redirect(int fd, const std::string& path, int flags) {
  const int file = open(path.c_str(), flags, 0600);
  if (file < 0) _exit(exec_failure_status);
  dup2(file, fd);
  close(file);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

[[noreturn]] void exec_child(const std::string& path, const std::vector<std::string>& arguments,
                             const run_options& options) {
  if (chdir(options.dir.c_str()) != 0) _exit(exec_failure_status);
  redirect(STDIN_FILENO, "/dev/null", O_RDONLY);
  if (options.stdout_fd >= 0)
    dup2(options.stdout_fd, STDOUT_FILENO);
  else
    redirect(STDOUT_FILENO, "out.txt", O_WRONLY | O_CREAT | O_TRUNC);
  redirect(STDERR_FILENO, "err.txt", O_WRONLY | O_CREAT | O_TRUNC);
  for (const auto& [name, value] : options.environment) setenv(name.c_str(), value.c_str(), 1);
  std::signal(SIGPIPE, options.ignore_sigpipe ? SIG_IGN : SIG_DFL);
  const rlimit limit{options.address_space, options.address_space};
  if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(exec_failure_status);
  std::vector<char*> argv{const_cast<char*>(path.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(exec_failure_status);
}

// A forked child's peak memory starts from what it shared with this process before its exec, so
// this process keeps as little as it can: AddressSanitizer otherwise holds on to freed memory.
void return_freed_memory() {
#ifdef ZORV_ADDRESS_SANITIZER
  __sanitizer_purge_allocator();
#endif
}

} // namespace

program_run run_program(const std::string& path, const std::vector<std::string>& arguments,
                        const run_options& options) {
  program_run run;
  return_freed_memory();
  const pid_t pid = fork();
  if (pid < 0) return run;
  if (pid == 0) exec_child(path, arguments, options);

  int status = 0;
  rusage usage{};
  const auto end = std::chrono::steady_clock::now() + options.deadline;
  for (;;) {
    const pid_t reaped = wait4(pid, &status, WNOHANG, &usage);
    if (reaped == pid) {
      run.ended = true;
      break;
    }
    if (reaped < 0 && errno != EINTR) return run;
    if (std::chrono::steady_clock::now() >= end) {
      kill(pid, SIGKILL);
      while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
      }
      break;
    }
    std::this_thread::sleep_for(poll_interval);
  }
  run.signalled = WIFSIGNALED(status);
  run.status = run.signalled ? WTERMSIG(status) : WEXITSTATUS(status);
  run.peak_resident_kib = usage.ru_maxrss;
  if (options.stdout_fd < 0) run.out = read_file(options.dir + "/out.txt");
  run.err = read_file(options.dir + "/err.txt");
  return run;
}

} // namespace zorv::testrun
