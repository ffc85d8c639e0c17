// Allocations made on the calling thread, counted by the benchmark program's operator new, so
// that a benchmark can show how many one iteration makes (the counter "allocs").
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

extern thread_local std::uint64_t t_allocations;

// Per iteration, over the whole run; call after the timing loop with the count before it.
inline void ShowAllocations(benchmark::State& state, std::uint64_t before) {
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(t_allocations - before),
                                                  benchmark::Counter::kAvgIterations);
}
