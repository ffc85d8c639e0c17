// The batteries Windows knows, on a machine that has none (Wine, a desktop, the simulation's
// empty machine): the interface class enumerates nothing and the library finds no battery.
#include <gtest/gtest.h>

#include "portable.h"

#if defined(_WIN32)
#include <setupapi.h>
#endif

namespace {

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

// Without batteries and without the maker's driver every query has its answer for "none": the
// record a caller passes in keeps its sentinels.
TEST(Batteries, WithoutBatteriesTheQueriesAnswerNone) {
    if (!NoBatteries() || Celdor::CBatteryInformation::GetFVDriverCapability() != 0) {
        GTEST_SKIP() << "this machine has batteries or the maker's driver";
    }
    Celdor::CBatteryInformation batteries;
    EXPECT_EQ(batteries.GetPreciseBatteryCount(), 0);
    EXPECT_EQ(batteries.GetBatteryCount(), 1);
    EXPECT_EQ(batteries.IsBatteryExist(0), 0);
    EXPECT_EQ(batteries.GetBatteryStatus(0), 5);
    Celdor::_BATTERY_INFORMATION_EX info;
    EXPECT_EQ(batteries.GetBatteryInformation(info, 1), 0);
    EXPECT_EQ(batteries.GetBatteryInformation(info, 0), 1);
    EXPECT_EQ(info.DesignCapacity, 0xFFFF);
    EXPECT_TRUE(info.Chemistry.IsEmpty());
    const Celdor::SmartBatteryInfo health = Celdor::CBatteryInformation::GetSmartBatteryV2Info();
    EXPECT_EQ(health.IsSupported, 0);
    EXPECT_EQ(health.HealthLevel, -1);
    EXPECT_EQ(health.PredictedLifeSpan, -1);
}

} // namespace
