// Benchmarks of the paths a host calls often: a log message that the level filters out (the
// common case on a customer's machine), one that is written, a registry read, a driver query
// through a fresh channel, and the thermal mode queries.
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
    nb.fervo().statusWord = 0x8000;
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

// The thermal queries beside the bare calls each of them makes: a status query of the service
// and a key opened, read and closed.
void PrepareThermal() {
    Prepare(0);
    Notebook& nb = Notebook::instance();
    const char16_t mmc[] = u"SYSTEM\\CurrentControlSet\\Services\\Thermivo\\Dovric\\IC\\MMC";
    const char16_t slider[] = u"SYSTEM\\CurrentControlSet\\Services\\HarluneProcessManagement\\"
                              u"Performance\\PowerSlider";
    nb.registry().setValue(Hive::LocalMachine, mmc, u"AutomaticModeSetting", RegValue::Dword(2));
    nb.registry().setValue(Hive::LocalMachine, slider, u"ITS_FN_Capability", RegValue::Dword(0x13));
    nb.services().install(celdor::models::ServiceKind::Thermal);
}

void BM_QueryServiceStatusEx(benchmark::State& state) {
    PrepareThermal();
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceW(manager, u"Thermivo", SERVICE_QUERY_STATUS);
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                                      reinterpret_cast<LPBYTE>(&status),
                                                      sizeof status, &needed));
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}
BENCHMARK(BM_QueryServiceStatusEx);

void BM_RegistryOpenReadClose(benchmark::State& state) {
    PrepareThermal();
    for (auto _ : state) {
        HKEY key = nullptr;
        DWORD value = 0, size = sizeof value;
        RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      u"SYSTEM\\CurrentControlSet\\Services\\Thermivo\\Dovric\\IC\\MMC", 0,
                      KEY_READ, &key);
        RegQueryValueExW(key, u"AutomaticModeSetting", nullptr, nullptr,
                         reinterpret_cast<LPBYTE>(&value), &size);
        RegCloseKey(key);
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_RegistryOpenReadClose);

void BM_GetITSMode(benchmark::State& state) {
    PrepareThermal();
    Celdor::CIntelligentCooling cooling;
    int capability = 0;
    Celdor::CIntelligentCooling::ITSMode mode{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(cooling.GetITSMode(capability, mode));
    }
}
BENCHMARK(BM_GetITSMode);

void BM_GetDispatcherMode(benchmark::State& state) {
    PrepareThermal();
    Celdor::CIntelligentCooling cooling;
    int capability = 0;
    Celdor::CIntelligentCooling::ITSMode mode{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(cooling.GetDispatcherMode(capability, mode, 0, 1));
    }
}
BENCHMARK(BM_GetDispatcherMode);

} // namespace

BENCHMARK_MAIN();
