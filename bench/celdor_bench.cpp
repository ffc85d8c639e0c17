// Benchmarks of the paths a host calls often: a log message that the level filters out (the
// common case on a customer's machine), one that is written, a registry read, a driver query
// through a fresh channel, the thermal mode queries, and the charging mode and always-on USB
// state beside the platform calls they make.
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
// The charging mode and the always-on USB state, each beside the bare platform calls it has to
// make, so that the library's own cost reads as the ratio of the two.
HANDLE OpenDriver() {
    return CreateFileW(CELDOR_W("\\\\.\\FervoDrv"), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

DWORD Request(HANDLE device, DWORD code, BYTE command) {
    DWORD word = 0;
    DWORD returned = 0;
    DeviceIoControl(device, code, &command, 1, &word, sizeof word, &returned, nullptr);
    return word;
}

constexpr DWORD kPowerCommand = 0x831020F8;
constexpr DWORD kUsbChargeCommand = 0x831020E8;

void PrepareCharging() {
    Prepare(0);
    namespace fw = celdor::models::firmware;
    Notebook::instance().fervo().configure(
        {.features = fw::kExpress | fw::kStorage | fw::kUsbOnAc});
}

void BM_GetChargingMode(benchmark::State& state) {
    PrepareCharging();
    const Celdor::CChargingMode charging;
    for (auto _ : state) {
        benchmark::DoNotOptimize(charging.GetChargingMode());
    }
}
BENCHMARK(BM_GetChargingMode);

// Normal mode read: the storage feature's presence probe and status request on its own open
// channel, then the express feature's support and state, each through a channel of its own.
void BM_GetChargingMode_PlatformCalls(benchmark::State& state) {
    PrepareCharging();
    HANDLE storage = OpenDriver();
    for (auto _ : state) {
        CloseHandle(OpenDriver());
        benchmark::DoNotOptimize(Request(storage, kPowerCommand, 0xFF));
        for (int query = 0; query < 2; ++query) {
            HANDLE express = OpenDriver();
            benchmark::DoNotOptimize(Request(express, kPowerCommand, 0xFF));
            CloseHandle(express);
        }
    }
    CloseHandle(storage);
}
BENCHMARK(BM_GetChargingMode_PlatformCalls);

void BM_UsbState(benchmark::State& state) {
    PrepareCharging();
    Celdor::CUSBCharger usb;
    for (auto _ : state) {
        benchmark::DoNotOptimize(usb.OpenOrClose());
    }
}
BENCHMARK(BM_UsbState);

void BM_UsbState_PlatformCalls(benchmark::State& state) {
    PrepareCharging();
    for (auto _ : state) {
        HANDLE device = OpenDriver();
        benchmark::DoNotOptimize(Request(device, kUsbChargeCommand, 0x02));
        CloseHandle(device);
    }
}
BENCHMARK(BM_UsbState_PlatformCalls);

} // namespace

BENCHMARK_MAIN();
