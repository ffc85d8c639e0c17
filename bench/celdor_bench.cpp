// Benchmarks of the paths a host calls often: a log message that the level filters out (the
// common case on a customer's machine), one that is written, a registry read, and a driver
// query through a fresh channel.
#include <celdor/celdor.h>
#include <celdor_platform/notebook.h>

#include "support/logger.h"

#include <benchmark/benchmark.h>

#include <filesystem>

using celdor::sim::Hive;
using celdor::sim::Notebook;
using celdor::sim::RegValue;

namespace {

const char16_t kLevelKey[] = u"Software\\WOW6432Node\\Harlune\\PelmarkService\\FileLogger";

void Prepare(DWORD writeLevel) {
    Notebook& nb = Notebook::instance();
    nb.reset();
    if (writeLevel) {
        nb.registry().setValue(Hive::LocalMachine, kLevelKey, u"WriteLevel",
                               RegValue::Dword(writeLevel));
    }
    std::filesystem::create_directories(nb.hostPath(
        u"C:\\Users\\User\\AppData\\Local\\Harlune\\Pelmark\\Logs\\OstraNotebookAddin"));
    nb.fervo().present = true;
    nb.fervo().firmware().setAdapterState(2);
    // Millions of iterations would otherwise fill memory with their records.
    nb.journal().setEnabled(false);
    nb.fervo().recordRequests = false;
}

void BM_LogFilteredOut(benchmark::State& state) {
    Prepare(0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            Celdor::CFileLogger::GetInstance()->LogDebugInfo(CELDOR_W("request %d failed"), 7));
    }
}
BENCHMARK(BM_LogFilteredOut);

void BM_LogWritten(benchmark::State& state) {
    Prepare(0x400);
    std::int64_t lines = 0;
    for (auto _ : state) {
        if (++lines % 4000 == 0) { // stay below the 2 MiB limit
            state.PauseTiming();
            Prepare(0x400);
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(
            Celdor::CFileLogger::GetInstance()->LogError(CELDOR_W("request %d failed"), 7));
    }
}
BENCHMARK(BM_LogWritten);

void BM_RegGetDWORD(benchmark::State& state) {
    Prepare(0);
    Notebook::instance().registry().setValue(Hive::CurrentUser, u"Software\\Bench", u"V",
                                             RegValue::Dword(5));
    DWORD value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(RegGetDWORD(CELDOR_W("Software\\Bench"), CELDOR_W("V"), value));
    }
}
BENCHMARK(BM_RegGetDWORD);

void BM_GetAdapterStatus(benchmark::State& state) {
    Prepare(0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Celdor::CAdapter::GetAdapterStatus());
    }
}
BENCHMARK(BM_GetAdapterStatus);

} // namespace

BENCHMARK_MAIN();
