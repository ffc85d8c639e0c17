// The batteries Windows knows: on a machine that has none (Wine, a desktop, the simulation's
// empty machine) the interface class enumerates nothing and the library finds no battery; with
// packs put in through the maker's device, each is a battery device the library reads.
#include <gtest/gtest.h>

#include "firmware.h"
#include "portable.h"

#include <cstring>
#include <vector>

#if defined(_WIN32)
#include <setupapi.h>
#endif

namespace {

using portable::WString;
namespace fw = celdor::models::firmware;

// The battery device interface class, GUID_DEVICE_BATTERY.
const GUID kBatteryClass = {
    0x72631e54, 0x78a4, 0x11d0, {0xbc, 0xf7, 0x00, 0xaa, 0x00, 0xb7, 0xb3, 0x2a}};

class Driver : public Celdor::CBatteryDriver {
public:
    int Count() const { return m_nBatteryCount; }
    HANDLE Handle(int slot) const { return m_hBattery[slot]; }
};

// The list of battery interfaces is empty, but a list.
bool NoBatteries() {
    HDEVINFO set = SetupDiGetClassDevsW(&kBatteryClass, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    EXPECT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    const BOOL found = SetupDiEnumDeviceInterfaces(set, nullptr, &kBatteryClass, 0, &data);
    const DWORD error = GetLastError();
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    if (!found) {
        EXPECT_EQ(error, DWORD(ERROR_NO_MORE_ITEMS));
    }
    return !found;
}

TEST(Batteries, WithoutBatteriesNoneIsFound) {
    if (!NoBatteries()) {
        GTEST_SKIP() << "this machine has batteries";
    }
    Driver driver;
    SetLastError(ERROR_GEN_FAILURE);
    driver.InitBatteryDriverHandle();
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(driver.Count(), 1);
    EXPECT_EQ(driver.Handle(0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(driver.Handle(1), INVALID_HANDLE_VALUE);
    BATTERY_INFORMATION info = {};
    EXPECT_EQ(driver.GetBatteryInformationFromOS(info, 0), 0);
    EXPECT_EQ(driver.GetBatteryInformationFromOS(info, 1), 0);
    driver.ReleaseBatteryDriverHandle();
}

// The interface paths of the battery devices, in the order the class enumerates them.
std::vector<WString> BatteryPaths() {
    std::vector<WString> paths;
    HDEVINFO set = SetupDiGetClassDevsW(&kBatteryClass, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    EXPECT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &kBatteryClass, i, &data); ++i) {
        union {
            SP_DEVICE_INTERFACE_DETAIL_DATA_W detail;
            BYTE bytes[sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) + 512];
        } buffer = {};
        buffer.detail.cbSize = sizeof buffer.detail;
        EXPECT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &data, &buffer.detail, sizeof buffer,
                                                     nullptr, nullptr));
        paths.emplace_back(buffer.detail.DevicePath);
    }
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    return paths;
}

fw::Pack MakePack(std::uint32_t designed, std::uint32_t full, const char (&serial)[8]) {
    fw::Pack pack;
    pack.designedCapacity = designed;
    pack.fullChargedCapacity = full;
    pack.remainingCapacity = full / 2;
    pack.defaultAlert1 = designed / 10;
    pack.defaultAlert2 = designed / 20;
    pack.cycleCount = 42;
    pack.voltage = 11800;
    pack.manufactureYear = 2024;
    pack.manufactureMonth = 3;
    pack.manufactureDay = 14;
    std::memcpy(pack.manufacturer, "BayWorks", 9);
    std::memcpy(pack.serialNumber, serial, sizeof serial);
    return pack;
}

// Packs put in through the maker's device. Under Wine the stand-in's bays are battery devices
// only where an installer registered their interfaces; elsewhere the test has nothing to read.
class BatteryPacks : public portable::PackTest {
protected:
    void SetUp() override {
        PackTest::SetUp();
        if (IsSkipped()) {
            return;
        }
#if defined(_WIN32)
        SetPacks({MakePack(50000, 45000, "SN-0001")});
        if (BatteryPaths().empty()) {
            GTEST_SKIP() << "the stand-in's battery devices are not registered on this machine";
        }
#endif
    }

    // The one battery device, opened, and the tag of its pack.
    static HANDLE OpenTheBattery(ULONG& tag) {
        const std::vector<WString> paths = BatteryPaths();
        EXPECT_EQ(paths.size(), 1u);
        HANDLE device = CreateFileW(paths.at(0).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ULONG timeout = 0;
        DWORD returned = 0;
        EXPECT_TRUE(DeviceIoControl(device, IOCTL_BATTERY_QUERY_TAG, &timeout, sizeof timeout, &tag,
                                    sizeof tag, &returned, nullptr));
        EXPECT_EQ(returned, sizeof tag);
        EXPECT_NE(tag, ULONG(BATTERY_TAG_INVALID));
        return device;
    }
};

TEST_F(BatteryPacks, EachPackIsABatteryDeviceTheLibraryCounts) {
    const fw::Pack pack = MakePack(50000, 45000, "SN-0001");
    for (std::size_t count : {0u, 1u, 2u, 1u}) {
        SCOPED_TRACE(count);
        if (count == 0) {
            SetPacks({});
        } else if (count == 1) {
            SetPacks({pack});
        } else {
            SetPacks({pack, pack});
        }
        EXPECT_EQ(BatteryPaths().size(), count);
        Celdor::CBatteryInformation batteries;
        EXPECT_EQ(batteries.GetPreciseBatteryCount(), int(count));
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(batteries.IsBatteryExist(i), i < int(count) ? 1 : 0) << "battery " << i;
        }
    }
}

TEST_F(BatteryPacks, EachRecordAgreesWithItsPack) {
    const fw::Pack packs[] = {MakePack(50000, 45000, "SN-0001"), MakePack(62000, 31000, "SN-0002")};
    SetPacks({packs[0], packs[1]});
    Celdor::CBatteryInformation batteries;
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        Celdor::_BATTERY_INFORMATION_EX info;
        ASSERT_EQ(batteries.GetBatteryInformation(info, i), 1);
        EXPECT_EQ(info.DesignCapacity, packs[i].designedCapacity / 10);
        EXPECT_EQ(info.FullChargeCapacity, packs[i].fullChargedCapacity / 10);
        EXPECT_EQ(info.RemainingCapacity, packs[i].remainingCapacity / 10);
        EXPECT_EQ(info.ChargePercent, 50);
        EXPECT_EQ(info.HealthPercent,
                  packs[i].fullChargedCapacity * 100 / packs[i].designedCapacity);
        EXPECT_EQ(info.Voltage, 11800);
        EXPECT_EQ(info.CycleCount, 42);
        EXPECT_EQ(info.ManufactureDate, (2024 - 1980) * 512 + 3 * 32 + 14);
        EXPECT_EQ(info.Chemistry, Celdor::CString(WTEXT("LION")));
        EXPECT_EQ(info.ManufacturerName, Celdor::CString(WTEXT("BayWorks")));
        EXPECT_EQ(info.SerialNumber, Celdor::CString(i == 0 ? WTEXT("SN-0001") : WTEXT("SN-0002")));
    }
}

// With the maker's driver and no pack in either bay, every query has its answer for "none".
using NoPacks = portable::PackTest;

TEST_F(NoPacks, TheQueriesAnswerNone) {
    SetPacks({});
    Celdor::CBatteryInformation batteries;
    EXPECT_EQ(batteries.GetPreciseBatteryCount(), 0);
    EXPECT_EQ(batteries.GetBatteryCount(), 1);
    EXPECT_EQ(batteries.IsBatteryExist(0), 0);
    EXPECT_EQ(batteries.GetBatteryStatus(0), 5);
    Celdor::_BATTERY_INFORMATION_EX info;
    EXPECT_EQ(batteries.GetBatteryInformation(info, 1), 0);
    const Celdor::SmartBatteryInfo health = Celdor::CBatteryInformation::GetSmartBatteryV2Info();
    EXPECT_EQ(health.IsSupported, 0);
    EXPECT_EQ(health.HealthLevel, -1);
    EXPECT_EQ(health.PredictedLifeSpan, -1);
}

// The battery class requests as a program sends them to the device, with the errors the class
// gives for a wrong size, a stale tag and a level the battery does not report.
TEST_F(BatteryPacks, TheDeviceAnswersTheBatteryClassRequests) {
    SetPacks({MakePack(50000, 45000, "SN-0001")});
    ULONG tag = 0;
    HANDLE device = OpenTheBattery(tag);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    DWORD returned = 0;
    BATTERY_INFORMATION info = {};
    BATTERY_STATUS status = {};
    struct Case {
        const char* what;
        DWORD code;
        ULONG tag;
        BATTERY_QUERY_INFORMATION_LEVEL level;
        DWORD outSize;
        DWORD error;
        DWORD returned;
    };
    const Case cases[] = {
        {"information", IOCTL_BATTERY_QUERY_INFORMATION, tag, BatteryInformation, sizeof info, 0,
         sizeof info},
        {"information short", IOCTL_BATTERY_QUERY_INFORMATION, tag, BatteryInformation,
         sizeof info - 1, ERROR_INSUFFICIENT_BUFFER, 0},
        {"no temperature", IOCTL_BATTERY_QUERY_INFORMATION, tag, BatteryTemperature, sizeof info,
         ERROR_INVALID_FUNCTION, 0},
        {"stale tag", IOCTL_BATTERY_QUERY_INFORMATION, tag + 1, BatteryInformation, sizeof info,
         ERROR_FILE_NOT_FOUND, 0},
        {"status", IOCTL_BATTERY_QUERY_STATUS, tag, BatteryInformation, sizeof status, 0,
         sizeof status},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BATTERY_QUERY_INFORMATION query = {c.tag, c.level, 0};
        BATTERY_WAIT_STATUS wait = {c.tag, 0, 0, 0, 0};
        const bool isStatus = c.code == IOCTL_BATTERY_QUERY_STATUS;
        void* out = isStatus ? static_cast<void*>(&status) : static_cast<void*>(&info);
        returned = 0;
        const BOOL ok = isStatus ? DeviceIoControl(device, c.code, &wait, sizeof wait, out,
                                                   c.outSize, &returned, nullptr)
                                 : DeviceIoControl(device, c.code, &query, sizeof query, out,
                                                   c.outSize, &returned, nullptr);
        EXPECT_EQ(ok ? DWORD(0) : GetLastError(), c.error);
        EXPECT_EQ(returned, c.returned);
    }
    EXPECT_EQ(info.DesignedCapacity, 50000u);
    EXPECT_EQ(info.FullChargedCapacity, 45000u);
    EXPECT_EQ(status.Capacity, 22500u);
    EXPECT_EQ(status.Voltage, 11800u);
    EXPECT_TRUE(CloseHandle(device));
}

// What a list holds is what its flags ask for. With DIGCF_PRESENT only the bay with a pack (an
// empty bay's device is not there); without it the empty bay's interface too, not active; without
// DIGCF_DEVICEINTERFACE devices only, so no interface is enumerated. Interfaces are listed for
// all devices or for one, not by enumerator (Wine lists them by enumerator too).
TEST_F(BatteryPacks, AListHoldsWhatItsFlagsAskFor) {
    SetPacks({MakePack(50000, 45000, "SN-0001")});
    const struct {
        DWORD flags;
        std::vector<DWORD> interfaces; // the Flags of each interface listed
    } cases[] = {
        {DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, {SPINT_ACTIVE}},
        {DIGCF_DEVICEINTERFACE, {SPINT_ACTIVE, 0}},
        {DIGCF_PRESENT, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        HDEVINFO set = SetupDiGetClassDevsW(&kBatteryClass, nullptr, nullptr, c.flags);
        ASSERT_NE(set, INVALID_HANDLE_VALUE);
        std::vector<DWORD> listed;
        SP_DEVICE_INTERFACE_DATA data = {};
        data.cbSize = sizeof data;
        while (SetupDiEnumDeviceInterfaces(set, nullptr, &kBatteryClass, DWORD(listed.size()),
                                           &data)) {
            listed.push_back(data.Flags);
        }
        EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
        EXPECT_EQ(listed, c.interfaces);
        EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    }
    SetLastError(0xdeadbeef);
    HDEVINFO set = SetupDiGetClassDevsW(&kBatteryClass, WTEXT("ROOT"), nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (portable::RunningOnWine()) {
        EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    } else {
        EXPECT_EQ(set, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
    }
}

// A status request with a time-out waits until the status leaves what the caller gave (the
// power state, the capacity between its bounds) or the time-out passes, then answers.
TEST_F(BatteryPacks, AStatusRequestWaitsForAChange) {
    fw::Pack pack = MakePack(50000, 45000, "SN-0001");
    pack.chargeRate = 36000; // 10 mWh a second
    SetPacks({pack});
    ULONG tag = 0;
    HANDLE device = OpenTheBattery(tag);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    DWORD returned = 0;
    BATTERY_STATUS now = {};
    BATTERY_WAIT_STATUS wait = {tag, 0, 0, 0, 0};
    ASSERT_TRUE(DeviceIoControl(device, IOCTL_BATTERY_QUERY_STATUS, &wait, sizeof wait, &now,
                                sizeof now, &returned, nullptr));
    const struct {
        const char* what;
        ULONG timeout;
        ULONG powerState;
        ULONG highCapacity;
        bool waitsItOut;
    } cases[] = {
        {"nothing changes", 300, now.PowerState, 0xFFFFFFFF, true},
        {"another state", 5000, 0, 0xFFFFFFFF, false},
        {"charged past the bound", 5000, now.PowerState, now.Capacity, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        wait = {tag, c.timeout, c.powerState, 0, c.highCapacity};
        BATTERY_STATUS status = {};
        const ULONGLONG start = GetTickCount64();
        EXPECT_TRUE(DeviceIoControl(device, IOCTL_BATTERY_QUERY_STATUS, &wait, sizeof wait, &status,
                                    sizeof status, &returned, nullptr));
        const ULONGLONG waited = GetTickCount64() - start;
        EXPECT_EQ(waited >= c.timeout, c.waitsItOut) << waited << " ms";
        EXPECT_EQ(status.PowerState, now.PowerState);
        EXPECT_GE(status.Capacity, now.Capacity);
        if (c.highCapacity == now.Capacity) {
            EXPECT_GT(status.Capacity, now.Capacity);
        }
    }
    EXPECT_TRUE(CloseHandle(device));
}

} // namespace
