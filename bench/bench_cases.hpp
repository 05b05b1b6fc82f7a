// What the benchmarks of frames share: a case of a fixed number of iterations timed on the wall
// clock, and a rate counter of those iterations.
#pragma once

#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <utility>

namespace zorv {

// Registers the body as a benchmark of so many iterations, in milliseconds of real time (the X
// server's share of a frame is not this process's CPU time).
inline void register_case(const std::string& name, benchmark::IterationCount iterations,
                          std::function<void(benchmark::State&)> body) {
  benchmark::RegisterBenchmark(name.c_str(), std::move(body))
      ->Iterations(iterations)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
}

// The iterations a second, as the named counter.
inline void count_rate(benchmark::State& run, const char* name = "fps") {
  run.counters[name] =
      benchmark::Counter(static_cast<double>(run.iterations()), benchmark::Counter::kIsRate);
}

} // namespace zorv
