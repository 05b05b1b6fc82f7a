// Start-up latency for a large object: load_object against a plain fscanf loop with the file's
// own formats, both reading the same file, the Clifford torus that hoopgen writes for 2000 x 1000
// (2 000 000 points, 4 000 000 lines, about 128 MB of text). The text comes from the torus
// builder that the tests share, so the benchmark does not depend on the generator being built.
#include "load.hpp"
#include "object.hpp"
#include "printf_generators.hpp"
#include "text_window.hpp"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int ring_points = 2000; // nx
constexpr int rings = 1000;       // ny
constexpr int point_count = ring_points * rings;
constexpr int line_count = 2 * point_count;
// The torus file, written once. It is unlinked at once and reached through /proc/self/fd, so it
// disappears with the process however the run ends.
const std::string& torus_path() {
  static const std::string path = [] {
    char name[] = "/tmp/zorv_load_bench_XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) std::abort();
    ::unlink(name);
    std::FILE* file = ::fdopen(::dup(fd), "w");
    zorv::printf_hoopgen(file, ring_points, rings);
    std::fclose(file);
    return "/proc/self/fd/" + std::to_string(fd);
  }();
  return path;
}

std::uint64_t torus_size() {
  struct stat status {};
  if (::stat(torus_path().c_str(), &status) != 0) std::abort();
  return static_cast<std::uint64_t>(status.st_size);
}

// The straightforward loader: fscanf with the formats, no checks, arrays allocated and zeroed.
void fscanf_load(zorv::object_record& object, const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rt");
  if (!file) std::abort();
  int count = 0;
  std::fscanf(file, "p={%d}\n", &count);
  object.point_count = count;
  object.points.resize(static_cast<std::size_t>(count));
  object.projected.resize(static_cast<std::size_t>(count));
  for (zorv::point& q : object.points) std::fscanf(file, "%f %f %f %f\n", &q.x, &q.y, &q.z, &q.w);
  std::fscanf(file, "l={%d}\n", &count);
  object.line_count = count;
  object.lines.resize(static_cast<std::size_t>(count));
  for (zorv::line& l : object.lines) std::fscanf(file, "%d %d\n", &l.first, &l.second);
  std::fscanf(file, "n=%31s", object.name);
  std::fclose(file);
}

// load_object reports its progress on standard output; the benchmark's own report must stay clean.
int silence_stdout() {
  std::fflush(stdout);
  const int saved = ::dup(STDOUT_FILENO);
  const int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, STDOUT_FILENO);
  ::close(null);
  return saved;
}

void restore_stdout(int saved) {
  std::fflush(stdout);
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
}

// Each run loads into a fresh record, as the viewer does once at start-up.
template <typename Load> void run(benchmark::State& state, Load load) {
  const std::string& path = torus_path();
  for (auto _ : state) {
    auto object = std::make_unique<zorv::object_record>();
    load(*object, path);
    if (object->point_count != point_count || object->line_count != line_count)
      state.SkipWithError("the torus did not load whole");
    benchmark::DoNotOptimize(object->points.data());
    state.PauseTiming();
    object.reset();
    state.ResumeTiming();
  }
  state.counters["points"] = point_count;
}

void BM_FscanfLoop(benchmark::State& state) {
  run(state, fscanf_load);
}

void BM_LoadObject(benchmark::State& state) {
  const int saved = silence_stdout();
  run(state, [](zorv::object_record& object, const std::string& path) {
    zorv::load_object(object, path);
  });
  restore_stdout(saved);
}

// What the window's line count costs a load. The window counts the line feeds of each block it
// discards, just after the numbers in it were read, while the block is in the cache: here one
// block of the torus text, counted (through line_of) as many times as the text has blocks.
void BM_CountLineFeeds(benchmark::State& state) {
  std::string block(zorv::window_bytes, '\0');
  {
    std::FILE* file = std::fopen(torus_path().c_str(), "rb");
    if (!file || std::fread(block.data(), 1, block.size(), file) != block.size()) std::abort();
    std::fclose(file);
  }
  const auto blocks = static_cast<std::int64_t>(torus_size() / block.size());
  const zorv::text_window w = zorv::window_on_text(block);
  for (auto _ : state) {
    std::int64_t lines = 0;
    for (std::int64_t i = 0; i < blocks; ++i) lines += zorv::line_of(w, w.end);
    benchmark::DoNotOptimize(lines);
  }
  state.counters["blocks"] = static_cast<double>(blocks);
}

BENCHMARK(BM_FscanfLoop)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LoadObject)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CountLineFeeds)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
