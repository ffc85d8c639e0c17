// The platform calls one run of an operation makes, from the journal, shown beside its time as
// the counter "calls" (scripts/bench compares it with what the operation has to make).
#pragma once

#include <celdor_platform/notebook.h>

#include <benchmark/benchmark.h>

template <typename Operation> void CountCalls(benchmark::State& state, Operation operation) {
    auto& journal = celdor::sim::Notebook::instance().journal();
    journal.setEnabled(true);
    journal.clear();
    operation();
    state.counters["calls"] = static_cast<double>(journal.calls().size());
    journal.setEnabled(false);
}
