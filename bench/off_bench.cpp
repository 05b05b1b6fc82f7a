// Loading OFF files: a million faces against a zorv file of the same size, linear in the number
// of faces, and against a straightforward reader.
//
// The OFF file is the Clifford torus of "hoopgen 1000 1000" as its 1,000,000 quadrilaterals
// (1,000,000 vertices, 2,000,000 distinct edges, 64 MB); the zorv file is what hoopgen writes for
// the same torus (the same points and lines, in another order, 62 MB). Both go through
// load_object, as the viewer loads them. The OFF file is also read at a quarter and a sixteenth of
// the faces, for the time per face, and by a plain reader: fscanf with the format's words, the
// edges made distinct through an unordered set.
#include "load.hpp"
#include "object.hpp"
#include "off_files.hpp"
#include "printf_generators.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <unordered_set>

namespace {

constexpr int largest_side = 1000; // 1000 x 1000 faces

// A file written once by print and kept for the process's life: unlinked at once and reached
// through /proc/self/fd, so that it disappears however the run ends.
template <typename Print> std::string temporary_file(Print print) {
  char name[] = "/tmp/zorv_off_bench_XXXXXX";
  const int fd = ::mkstemp(name);
  if (fd < 0) std::abort();
  ::unlink(name);
  std::FILE* file = ::fdopen(::dup(fd), "w");
  print(file);
  std::fclose(file);
  return "/proc/self/fd/" + std::to_string(fd);
}

const std::string& off_torus_path(int side) {
  static std::map<int, std::string> paths;
  auto found = paths.find(side);
  if (found == paths.end())
    found = paths
                .emplace(side, temporary_file([side](std::FILE* out) {
                           zorv::print_off_torus(out, side, side);
                         }))
                .first;
  return found->second;
}

const std::string& zorv_torus_path() {
  static const std::string path =
      temporary_file([](std::FILE* out) { zorv::printf_hoopgen(out, largest_side, largest_side); });
  return path;
}

// load_object reports its progress on standard output; the benchmark's own report stays clean.
struct quiet_stdout {
  int saved;
  quiet_stdout() {
    std::fflush(stdout);
    saved = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::close(null);
  }
  ~quiet_stdout() {
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
  }
};

std::uint64_t file_size(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) std::abort();
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  std::fclose(file);
  return static_cast<std::uint64_t>(size);
}

// The straightforward reader: fscanf for every word, no checks, each edge looked up in an
// unordered set and kept the first time.
void plain_off_load(zorv::object_record& object, const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rt");
  if (!file) std::abort();
  char keyword[16];
  int vertices = 0, faces = 0, edges = 0;
  std::fscanf(file, "%15s", keyword);
  std::fscanf(file, " #%*[^\n]");
  std::fscanf(file, "%d %d %d", &vertices, &faces, &edges);
  object.points.resize(static_cast<std::size_t>(vertices));
  object.projected.resize(static_cast<std::size_t>(vertices));
  for (zorv::point& q : object.points) std::fscanf(file, "%f %f %f %f", &q.x, &q.y, &q.z, &q.w);
  std::unordered_set<std::uint64_t> seen;
  object.lines.clear();
  for (int f = 0; f < faces; ++f) {
    int size = 0, first = 0, previous = 0, index = 0;
    std::fscanf(file, "%d", &size);
    for (int k = 0; k <= size; ++k) {
      if (k < size) std::fscanf(file, "%d", &index);
      if (k == 0) first = previous = index;
      if (k == size) index = first;
      if (k == 0 || index == previous) continue;
      const int a = std::min(previous, index), b = std::max(previous, index);
      if (seen.insert(std::uint64_t(a) << 32 | std::uint32_t(b)).second)
        object.lines.push_back({a, b});
      previous = index;
    }
  }
  object.point_count = vertices;
  object.line_count = static_cast<std::int32_t>(object.lines.size());
  std::fclose(file);
}

// As the viewer loads a file given alone: an OFF file fitted, one of zorv's own format as read.
void load_as_given(zorv::object_record& object, const std::string& path) {
  zorv::load_object(object, path);
}

// Each run loads into a fresh record, as the viewer does once at start-up.
template <typename Load>
void run(benchmark::State& state, const std::string& path, int faces, std::int32_t lines,
         Load load) {
  for (auto _ : state) {
    auto object = std::make_unique<zorv::object_record>();
    load(*object, path);
    if (object->line_count != lines) state.SkipWithError("the torus did not load whole");
    benchmark::DoNotOptimize(object->lines.data());
    state.PauseTiming();
    object.reset();
    state.ResumeTiming();
  }
  state.counters["MB"] = static_cast<double>(file_size(path)) / 1e6;
  state.counters["faces"] =
      benchmark::Counter(static_cast<double>(faces), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_LoadZorvTorus(benchmark::State& state) {
  const quiet_stdout quiet;
  constexpr int faces = largest_side * largest_side;
  run(state, zorv_torus_path(), faces, 2 * faces, load_as_given);
}

void BM_LoadOffTorus(benchmark::State& state) {
  const quiet_stdout quiet;
  const int side = static_cast<int>(state.range(0));
  run(state, off_torus_path(side), side * side, 2 * side * side, load_as_given);
}

void BM_PlainOffLoad(benchmark::State& state) {
  constexpr int faces = largest_side * largest_side;
  run(state, off_torus_path(largest_side), faces, 2 * faces, plain_off_load);
}

BENCHMARK(BM_LoadZorvTorus)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LoadOffTorus)
    ->Arg(largest_side / 4)
    ->Arg(largest_side / 2)
    ->Arg(largest_side)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK(BM_PlainOffLoad)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
