// The merged battery record beside the bare platform calls it must make, on one battery and on
// two: per battery the tag, five information levels and the status; the system power status;
// the enumeration and the opening and closing of the handles; one smart-battery read per
// battery (each on its own driver handle) and the firmware block. The ratio of the two is the
// library's own share: merging, conversions, texts.
#include <celdor/batteryinformation.h>
#include <celdor_platform/notebook.h>

#include "allocations.h"
#include "driver/controlcodes.h"

#include <benchmark/benchmark.h>

#include <cstring>

using celdor::sim::BatteryPack;
using celdor::sim::Notebook;

namespace {

const char16_t* const kBays[] = {u"\\\\?\\acpi#pnp0c0a#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}",
                                 u"\\\\?\\acpi#pnp0c0a#2#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}"};

void PrepareBatteries(std::int64_t count) {
    Notebook& nb = Notebook::instance();
    nb.reset();
    nb.journal().setEnabled(false); // millions of records would fill memory
    nb.fervo().present = true;
    nb.fervo().recordRequests = false;
    nb.fervo().configure({.batteries = static_cast<std::uint32_t>(count)});
    for (std::int64_t i = 0; i < count; ++i) {
        BatteryPack pack{.designedCapacity = 57000u - 10000u * static_cast<std::uint32_t>(i),
                         .fullChargedCapacity = 51000,
                         .cycleCount = 143,
                         .remainingCapacity = 30000,
                         .chargeRate = 20000,
                         .voltage = 12200,
                         .temperature = 3030,
                         .manufactureYear = 2024,
                         .manufactureMonth = 3,
                         .manufactureDay = 15,
                         .manufacturer = "Quillcell",
                         .serialNumber = "QC-0001",
                         .firmwareWords = {1, 2, 3, 4}};
        nb.batteries().add(kBays[i], pack);
    }
}

void BM_GetBatteryInformation(benchmark::State& state) {
    PrepareBatteries(state.range(0));
    Celdor::CBatteryInformation batteries;
    batteries.GetBatteryCount();
    const std::uint64_t before = t_allocations;
    for (auto _ : state) {
        Celdor::_BATTERY_INFORMATION_EX info;
        benchmark::DoNotOptimize(batteries.GetBatteryInformation(info, 0));
    }
    ShowAllocations(state, before);
}
BENCHMARK(BM_GetBatteryInformation)->Arg(1)->Arg(2);

// A host keeps the records it shows and hands copies around: a copy of a full record, all six
// texts set, and its destruction.
void BM_CopyBatteryRecord(benchmark::State& state) {
    PrepareBatteries(1);
    Celdor::CBatteryInformation batteries;
    batteries.GetBatteryCount();
    Celdor::_BATTERY_INFORMATION_EX info;
    batteries.GetBatteryInformation(info, 0);
    info.SmbText32 = Celdor::CString(CELDOR_W("QC57W"));
    info.SmbText52 = Celdor::CString(CELDOR_W("QC57W-1234-5678"));
    const std::uint64_t before = t_allocations;
    for (auto _ : state) {
        Celdor::_BATTERY_INFORMATION_EX copy(info);
        benchmark::DoNotOptimize(&copy);
    }
    ShowAllocations(state, before);
}
BENCHMARK(BM_CopyBatteryRecord);

bool Level(HANDLE battery, ULONG tag, BATTERY_QUERY_INFORMATION_LEVEL level, void* out,
           DWORD size) {
    BATTERY_QUERY_INFORMATION query{tag, level, 0};
    DWORD returned = 0;
    return DeviceIoControl(battery, IOCTL_BATTERY_QUERY_INFORMATION, &query, sizeof query, out,
                           size, &returned, nullptr);
}

void OsCalls(std::int64_t count) {
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVICE_BATTERY, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    HANDLE handles[2] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
    for (std::int64_t i = 0; i < count; ++i) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVICE_BATTERY, static_cast<DWORD>(i),
                                    &data);
        handles[i] = CreateFileW(kBays[i], GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    SetupDiDestroyDeviceInfoList(set);
    for (std::int64_t i = 0; i < count; ++i) {
        ULONG wait = 0, tag = 0;
        DWORD returned = 0;
        DeviceIoControl(handles[i], IOCTL_BATTERY_QUERY_TAG, &wait, sizeof wait, &tag, sizeof tag,
                        &returned, nullptr);
        BATTERY_INFORMATION info{};
        Level(handles[i], tag, BatteryInformation, &info, sizeof info);
        BATTERY_WAIT_STATUS wanted{tag, 0, 0, 0, 0};
        BATTERY_STATUS status{};
        DeviceIoControl(handles[i], IOCTL_BATTERY_QUERY_STATUS, &wanted, sizeof wanted, &status,
                        sizeof status, &returned, nullptr);
        ULONG temperature = 0;
        Level(handles[i], tag, BatteryTemperature, &temperature, sizeof temperature);
        WCHAR text[20];
        Level(handles[i], tag, BatteryManufactureName, text, 20);
        Level(handles[i], tag, BatterySerialNumber, text, 40);
        BATTERY_MANUFACTURE_DATE date{};
        Level(handles[i], tag, BatteryManufactureDate, &date, sizeof date);
    }
    SYSTEM_POWER_STATUS power{};
    GetSystemPowerStatus(&power);
    for (HANDLE handle : handles) {
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
}

void DriverCalls(std::int64_t count) {
    BYTE block[0x53];
    for (DWORD selector = 0; selector < count; ++selector) {
        HANDLE driver = CreateFileW(u"\\\\.\\FervoDrv", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        DWORD returned = 0;
        DeviceIoControl(driver, Celdor::IOCTL_SMART_BATTERY_READ, &selector, sizeof selector, block,
                        sizeof block, &returned, nullptr);
        CloseHandle(driver);
    }
    HANDLE driver = CreateFileW(u"\\\\.\\FervoDrv", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    DWORD returned = 0;
    DeviceIoControl(driver, Celdor::IOCTL_BATTERY_FIRMWARE_INFO, nullptr, 0, block, 20, &returned,
                    nullptr);
    CloseHandle(driver);
}

void BM_GetBatteryInformationPlatformCalls(benchmark::State& state) {
    PrepareBatteries(state.range(0));
    for (auto _ : state) {
        OsCalls(state.range(0));
        DriverCalls(state.range(0));
    }
}
BENCHMARK(BM_GetBatteryInformationPlatformCalls)->Arg(1)->Arg(2);

} // namespace
