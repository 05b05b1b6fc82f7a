// Whole-process timing of the generators against the same loops written with printf
// (printf_generators), side by side, each writing a large object to /dev/null. The rate shown as
// bytes_per_second is the size of the object file over the wall-clock time of one run.
//
//   build/<dir>/bench/generators_bench
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// 2 million points: for hoopgen about 128 MB of object file.
constexpr const char* large_nx = "2000";
constexpr const char* large_ny = "1000";

// Runs argv[0] with its standard output on `out_fd`; true when it ends with status 0.
bool run_to(int out_fd, const std::vector<const char*>& argv) {
  std::vector<char*> args;
  for (const char* arg : argv) args.push_back(const_cast<char*>(arg));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
  pid_t pid = 0;
  const bool spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  return spawned && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// The number of bytes a run writes, counted through a pipe; -1 when the run fails.
std::int64_t output_size(const std::vector<const char*>& argv) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return -1;
  std::vector<char*> args;
  for (const char* arg : argv) args.push_back(const_cast<char*>(arg));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  pid_t pid = 0;
  const bool spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);
  std::int64_t total = 0;
  static char block[1 << 16];
  for (ssize_t got; (got = read(ends[0], block, sizeof block)) > 0;) total += got;
  close(ends[0]);
  int status = 0;
  if (!spawned || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return -1;
  return total;
}

void BM_process(benchmark::State& state, std::vector<const char*> argv) {
  const std::int64_t bytes = output_size(argv);
  const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (bytes < 0 || null_fd < 0) {
    state.SkipWithError("the program cannot be run");
    return;
  }
  for (auto _ : state) {
    if (!run_to(null_fd, argv)) state.SkipWithError("the program failed");
  }
  close(null_fd);
  state.SetBytesProcessed(state.iterations() * bytes);
}

// Whole runs on a shared machine: wall-clock time, and several runs even for the slow baseline.
constexpr double least_seconds = 3.0;

void as_whole_runs(benchmark::internal::Benchmark* run) {
  run->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(least_seconds);
}

BENCHMARK_CAPTURE(BM_process, hoopgen, std::vector<const char*>{ZORV_HOOPGEN, large_nx, large_ny})
    ->Apply(as_whole_runs);
BENCHMARK_CAPTURE(BM_process, hoopgen_printf,
                  std::vector<const char*>{ZORV_PRINTF_GENERATORS, "hoopgen", large_nx, large_ny})
    ->Apply(as_whole_runs);
BENCHMARK_CAPTURE(BM_process, hoopstack,
                  std::vector<const char*>{ZORV_HOOPSTACK, large_nx, large_ny})
    ->Apply(as_whole_runs);
BENCHMARK_CAPTURE(BM_process, hoopstack_printf,
                  std::vector<const char*>{ZORV_PRINTF_GENERATORS, "hoopstack", large_nx, large_ny})
    ->Apply(as_whole_runs);
BENCHMARK_CAPTURE(BM_process, ripplegen,
                  std::vector<const char*>{ZORV_RIPPLEGEN, large_nx, large_ny})
    ->Apply(as_whole_runs);
BENCHMARK_CAPTURE(BM_process, ripplegen_printf,
                  std::vector<const char*>{ZORV_PRINTF_GENERATORS, "ripplegen", large_nx, large_ny})
    ->Apply(as_whole_runs);

} // namespace
