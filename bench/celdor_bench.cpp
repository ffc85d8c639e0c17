// Benchmarks of the paths a host calls often: a log message that the level filters out (the
// common case on a customer's machine), one that is written, a registry read, a driver query
// through a fresh channel, the thermal mode queries, and the charging mode and always-on USB
// state beside the platform calls they make.
#include <celdor/celdor.h>
#include <celdor_platform/notebook.h>

#include "calls.h"
#include "support/logger.h"

#include <benchmark/benchmark.h>

#include <ctime>
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
    CountCalls(state, [] { Celdor::CFileLogger::GetInstance()->LogError(CELDOR_W("x")); });
}
BENCHMARK(BM_LogWritten);

// Every call a written error line has to make, by hand, around a line made beforehand: the
// level read at each of the three filter steps an error passes when the mask holds only 0x400,
// then open, size, seek, the time with its local form and text, the stamp widened (its length,
// then its characters), write and close. What the library adds to these is its own work: the
// message formatted, the header chosen and the line put together.
void BM_LogWritten_PlatformCalls(benchmark::State& state) {
    Prepare(0x400);
    const auto path = Celdor::CFileLogger::LogFilePath();
    const std::u16string line = u"[2026-05-28,09:15:02 17] ERROR --------------------request 7 "
                                u"failed\r\n";
    const auto readLevel = [] {
        HKEY key = nullptr;
        DWORD mask = 0;
        DWORD size = sizeof mask;
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLevelKey, 0, KEY_READ, &key);
        RegQueryValueExW(key, u"WriteLevel", nullptr, nullptr, reinterpret_cast<LPBYTE>(&mask),
                         &size);
        RegCloseKey(key);
        return mask;
    };
    const auto append = [&] {
        for (int step = 0; step < 3; ++step) {
            benchmark::DoNotOptimize(readLevel());
        }
        HANDLE file = CreateFileW(path.GetString(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, 0, nullptr);
        benchmark::DoNotOptimize(GetFileSize(file, nullptr));
        SetFilePointer(file, 0, nullptr, FILE_END);
        __time64_t now = _time64(nullptr);
        struct tm local = {};
        _localtime64_s(&local, &now);
        char stamp[100];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d,%H:%M:%S", &local);
        WCHAR wideStamp[256];
        benchmark::DoNotOptimize(MultiByteToWideChar(CP_ACP, 0, stamp, -1, nullptr, 0));
        MultiByteToWideChar(CP_ACP, 0, stamp, -1, wideStamp, 256);
        benchmark::DoNotOptimize(wideStamp);
        DWORD written = 0;
        WriteFile(file, line.data(), DWORD(line.size() * 2), &written, nullptr);
        CloseHandle(file);
    };
    std::int64_t lines = 0;
    for (auto _ : state) {
        if (++lines % 4000 == 0) {
            state.PauseTiming();
            Prepare(0x400);
            state.ResumeTiming();
        }
        append();
    }
    CountCalls(state, append);
}
BENCHMARK(BM_LogWritten_PlatformCalls);

void BM_RegGetDWORD(benchmark::State& state) {
    Prepare(0);
    Notebook::instance().registry().setValue(Hive::CurrentUser, u"Software\\Bench", u"V",
                                             RegValue::Dword(5));
    DWORD value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(RegGetDWORD(CELDOR_W("Software\\Bench"), CELDOR_W("V"), value));
    }
    CountCalls(state, [&] { RegGetDWORD(CELDOR_W("Software\\Bench"), CELDOR_W("V"), value); });
}
BENCHMARK(BM_RegGetDWORD);

void BM_RegGetDWORD_PlatformCalls(benchmark::State& state) {
    Prepare(0);
    Notebook::instance().registry().setValue(Hive::CurrentUser, u"Software\\Bench", u"V",
                                             RegValue::Dword(5));
    DWORD value = 0;
    const auto read = [&] {
        HKEY key = nullptr;
        DWORD size = sizeof value;
        RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Bench", 0, KEY_READ, &key);
        RegQueryValueExW(key, u"V", nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size);
        RegCloseKey(key);
    };
    for (auto _ : state) {
        read();
        benchmark::DoNotOptimize(value);
    }
    CountCalls(state, read);
}
BENCHMARK(BM_RegGetDWORD_PlatformCalls);

void BM_GetAdapterStatus(benchmark::State& state) {
    Prepare(0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Celdor::CAdapter::GetAdapterStatus());
    }
    CountCalls(state, [] { Celdor::CAdapter::GetAdapterStatus(); });
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
    CountCalls(state, [&] { cooling.GetITSMode(capability, mode); });
}
BENCHMARK(BM_GetITSMode);

// What the thermal mode read has to do: let the service settle, read three values of its key,
// ask the service's state, and see that the maker's driver opens.
void BM_GetITSMode_PlatformCalls(benchmark::State& state) {
    PrepareThermal();
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceW(manager, u"Thermivo", SERVICE_QUERY_STATUS);
    const auto read = [&] {
        Sleep(20);
        HKEY key = nullptr;
        RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      u"SYSTEM\\CurrentControlSet\\Services\\Thermivo\\Dovric\\IC\\MMC", 0,
                      KEY_READ, &key);
        for (const char16_t* name : {u"Capability", u"AutomaticModeSetting", u"CurrentSetting"}) {
            DWORD value = 0, size = sizeof value;
            RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size);
            benchmark::DoNotOptimize(value);
        }
        RegCloseKey(key);
        SERVICE_STATUS_PROCESS status{};
        DWORD needed = 0;
        QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                             sizeof status, &needed);
        CloseHandle(CreateFileW(u"\\\\.\\FervoDrv", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    for (auto _ : state) {
        read();
    }
    CountCalls(state, read);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}
BENCHMARK(BM_GetITSMode_PlatformCalls);

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
    CountCalls(state, [&] { charging.GetChargingMode(); });
}
BENCHMARK(BM_GetChargingMode);

// Normal mode read: the storage feature's presence probe and status request on its own open
// channel, then the express feature's support and state, each through a channel of its own.
void BM_GetChargingMode_PlatformCalls(benchmark::State& state) {
    PrepareCharging();
    HANDLE storage = OpenDriver();
    const auto read = [storage] {
        CloseHandle(OpenDriver());
        benchmark::DoNotOptimize(Request(storage, kPowerCommand, 0xFF));
        for (int query = 0; query < 2; ++query) {
            HANDLE express = OpenDriver();
            benchmark::DoNotOptimize(Request(express, kPowerCommand, 0xFF));
            CloseHandle(express);
        }
    };
    for (auto _ : state) {
        read();
    }
    CountCalls(state, read);
    CloseHandle(storage);
}
BENCHMARK(BM_GetChargingMode_PlatformCalls);

void BM_UsbState(benchmark::State& state) {
    PrepareCharging();
    Celdor::CUSBCharger usb;
    for (auto _ : state) {
        benchmark::DoNotOptimize(usb.OpenOrClose());
    }
    CountCalls(state, [&] { usb.OpenOrClose(); });
}
BENCHMARK(BM_UsbState);

void BM_UsbState_PlatformCalls(benchmark::State& state) {
    PrepareCharging();
    const auto read = [] {
        HANDLE device = OpenDriver();
        benchmark::DoNotOptimize(Request(device, kUsbChargeCommand, 0x02));
        CloseHandle(device);
    };
    for (auto _ : state) {
        read();
    }
    CountCalls(state, read);
}
BENCHMARK(BM_UsbState_PlatformCalls);

// The adapter state: one power status request on a channel of its own.
void BM_GetAdapterStatus_PlatformCalls(benchmark::State& state) {
    Prepare(0);
    const auto read = [] {
        HANDLE device = OpenDriver();
        benchmark::DoNotOptimize(Request(device, kPowerCommand, 0xFF));
        CloseHandle(device);
    };
    for (auto _ : state) {
        read();
    }
    CountCalls(state, read);
}
BENCHMARK(BM_GetAdapterStatus_PlatformCalls);

// A battery's Windows information with the handles held: its tag, then the record.
void PrepareBatteries() {
    Prepare(0);
    Notebook::instance().batteries().add(
        u"\\\\?\\acpi#pnp0c0a#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}",
        {.designedCapacity = 50000, .fullChargedCapacity = 47000});
}

void BM_BatteryInformation(benchmark::State& state) {
    PrepareBatteries();
    Celdor::CBatteryDriver batteries;
    batteries.InitBatteryDriverHandle();
    BATTERY_INFORMATION info{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(batteries.GetBatteryInformationFromOS(info, 0));
    }
    CountCalls(state, [&] { batteries.GetBatteryInformationFromOS(info, 0); });
    batteries.ReleaseBatteryDriverHandle();
}
BENCHMARK(BM_BatteryInformation);

void BM_BatteryInformation_PlatformCalls(benchmark::State& state) {
    PrepareBatteries();
    HANDLE battery = CreateFileW(u"\\\\?\\acpi#pnp0c0a#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}",
                                 GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    BATTERY_INFORMATION info{};
    const auto read = [&] {
        ULONG wait = 0, tag = 0;
        DWORD returned = 0;
        DeviceIoControl(battery, IOCTL_BATTERY_QUERY_TAG, &wait, sizeof wait, &tag, sizeof tag,
                        &returned, nullptr);
        BATTERY_QUERY_INFORMATION query{};
        query.BatteryTag = tag;
        query.InformationLevel = BatteryInformation;
        DeviceIoControl(battery, IOCTL_BATTERY_QUERY_INFORMATION, &query, sizeof query, &info,
                        sizeof info, &returned, nullptr);
    };
    for (auto _ : state) {
        read();
        benchmark::DoNotOptimize(info);
    }
    CountCalls(state, read);
    CloseHandle(battery);
}
BENCHMARK(BM_BatteryInformation_PlatformCalls);

} // namespace

BENCHMARK_MAIN();
