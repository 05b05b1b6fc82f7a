#include "run_program.hpp"

#include "address_sanitizer.hpp"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
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

[[noreturn]] void exec_child(const std::string& path, const std::vector<std::string>& arguments,
                             const run_options& options) {
  if (chdir(options.dir.c_str()) != 0) _exit(exec_failure_status);
  if (options.stdin_fd >= 0)
    dup2(options.stdin_fd, STDIN_FILENO);
  else
    redirect(STDIN_FILENO, "/dev/null", O_RDONLY);
  if (options.stdout_fd >= 0)
    dup2(options.stdout_fd, STDOUT_FILENO);
  else
    redirect(STDOUT_FILENO, "out.txt", O_WRONLY | O_CREAT | O_TRUNC);
  if (options.stderr_into_stdout)
    dup2(STDOUT_FILENO, STDERR_FILENO);
  else
    redirect(STDERR_FILENO, "err.txt", O_WRONLY | O_CREAT | O_TRUNC);
  for (const auto& [name, value] : options.environment) setenv(name.c_str(), value.c_str(), 1);
  for (const std::string& name : options.unset_environment) unsetenv(name.c_str());
  std::signal(SIGPIPE, options.ignore_sigpipe ? SIG_IGN : SIG_DFL);
  if (options.hold_termination) {
    sigset_t held;
    sigemptyset(&held);
    for (const int number : {SIGTERM, SIGINT}) {
      std::signal(number, SIG_IGN);
      sigaddset(&held, number);
    }
    sigprocmask(SIG_BLOCK, &held, nullptr);
  }
  // Only a real limit is set: raising the soft limit to infinity fails under a lower hard one.
  const rlimit limit{options.address_space, options.address_space};
  if (options.address_space != RLIM_INFINITY && setrlimit(RLIMIT_AS, &limit) != 0)
    _exit(exec_failure_status);
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

void record_end(program_run& run, int status, const rusage& usage) {
  run.signalled = WIFSIGNALED(status);
  run.status = run.signalled ? WTERMSIG(status) : WEXITSTATUS(status);
  run.peak_resident_kib = usage.ru_maxrss;
}

} // namespace

pid_t start_program(const std::string& path, const std::vector<std::string>& arguments,
                    const run_options& options) {
  return_freed_memory();
  const pid_t pid = fork();
  if (pid == 0) exec_child(path, arguments, options);
  return pid;
}

program_run run_program(const std::string& path, const std::vector<std::string>& arguments,
                        const run_options& options) {
  const pid_t pid = start_program(path, arguments, options);
  if (pid < 0) return {};

  program_run run = wait_for_end(pid, options.deadline);
  if (!run.ended) {
    kill(pid, SIGKILL);
    int status = 0;
    rusage usage{};
    pid_t reaped;
    while ((reaped = wait4(pid, &status, 0, &usage)) < 0 && errno == EINTR) {
    }
    if (reaped == pid) record_end(run, status, usage);
  }
  if (options.stdout_fd < 0) run.out = read_file(options.dir + "/out.txt");
  if (!options.stderr_into_stdout) run.err = read_file(options.dir + "/err.txt");
  return run;
}

program_run wait_for_end(pid_t pid, std::chrono::milliseconds deadline) {
  program_run run;
  const auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, WNOHANG, &usage) == pid) {
      run.ended = true;
      record_end(run, status, usage);
      return run;
    }
    if (std::chrono::steady_clock::now() >= end) return run;
    std::this_thread::sleep_for(poll_interval);
  }
}

int shell_status(const program_run& run) {
  constexpr int signal_status_base = 128;
  return run.signalled ? signal_status_base + run.status : run.status;
}

std::string make_temp_dir() {
  std::string pattern = "/tmp/zorvXXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

void remove_temp_dir(const std::string& dir) {
  std::error_code ignored;
  if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
}

std::string write_file(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
  file.close();
  if (!file) throw std::runtime_error("cannot write " + path);
  return path;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

} // namespace zorv::testrun
