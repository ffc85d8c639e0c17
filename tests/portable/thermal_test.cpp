// CIntelligentCooling on a machine without the maker's services: no handle, no service result
// from every operation, and the values under the services' keys read all the same.
#include "portable.h"

#include <gtest/gtest.h>

namespace {

using Celdor::CIntelligentCooling;
using portable::WString;

// Skips the test where one of the maker's services is installed.
void RequireNoServices() {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(manager, nullptr);
    for (const WCHAR* name : {WTEXT("Thermivo"), WTEXT("HarluneProcessManagement")}) {
        if (SC_HANDLE service = OpenServiceW(manager, name, SERVICE_QUERY_STATUS)) {
            CloseServiceHandle(service);
            CloseServiceHandle(manager);
            GTEST_SKIP() << "one of the maker's services is installed on this machine";
        }
    }
    CloseServiceHandle(manager);
}

TEST(Thermal, WithoutTheServicesNothingCanBeChanged) {
    ASSERT_NO_FATAL_FAILURE(RequireNoServices());
    if (IsSkipped()) {
        return;
    }
    CIntelligentCooling cooling;
    EXPECT_EQ(cooling.GetServiceStatus(), CIntelligentCooling::ITS_RESULT_NO_SERVICE);
    EXPECT_EQ(cooling.CheckHandle(), 0);
    EXPECT_EQ(cooling.IsiEPMModeEnabled(), 0);
    CIntelligentCooling::ITSMode mode = CIntelligentCooling::ITS_MODE_COOL;
    EXPECT_EQ(cooling.SetITSMode(mode), CIntelligentCooling::ITS_RESULT_NO_SERVICE);
    EXPECT_EQ(mode, CIntelligentCooling::ITS_MODE_COOL) << "nothing read back";
    EXPECT_EQ(cooling.SetDispatcherMode(mode, 1, 1), CIntelligentCooling::ITS_RESULT_NO_SERVICE);
    EXPECT_EQ(cooling.SetITSAutoTransition(1), CIntelligentCooling::ITS_RESULT_NO_SERVICE);
    EXPECT_EQ(cooling.SetDispatcheriEPMAutoTransition(0, 1),
              CIntelligentCooling::ITS_RESULT_NO_SERVICE);
    CIntelligentCooling copy(cooling);
    copy = cooling;
    EXPECT_EQ(copy.CheckHandle(), 0);
}

// The services' keys, made here as the services would publish them and removed afterwards.
class ThermalKeys : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(RequireNoServices());
        if (IsSkipped()) {
            return;
        }
        HKEY key = nullptr;
        for (const WCHAR* service : {kThermal, kDispatcher}) {
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path(service).c_str(), 0, KEY_READ, &key) ==
                ERROR_SUCCESS) {
                RegCloseKey(key);
                GTEST_SKIP() << "the services' keys are there already";
            }
        }
        if (!set(WTEXT("\\Dovric\\IC\\MMC"), WTEXT("Capability"), 5)) {
            GTEST_SKIP() << "HKEY_LOCAL_MACHINE cannot be written here";
        }
        m_made = true;
        set(WTEXT("\\Dovric\\IC\\MMC"), WTEXT("AutomaticModeSetting"), 1);
        set(WTEXT("\\Dovric\\IC\\MMC"), WTEXT("CurrentSetting"), 3);
        set(WTEXT("\\Dovric\\IC\\AUTODETECT"), WTEXT("Capability"), 2);
        set(WTEXT("\\Performance\\PowerSlider"), WTEXT("Version"), 0x2000, kDispatcher);
    }
    void TearDown() override {
        if (m_made) {
            for (const WCHAR* below :
                 {WTEXT("\\Dovric\\IC\\MMC"), WTEXT("\\Dovric\\IC\\AUTODETECT"),
                  WTEXT("\\Dovric\\IC"), WTEXT("\\Dovric"), WTEXT("")}) {
                RegDeleteKeyW(HKEY_LOCAL_MACHINE, path(kThermal, below).c_str());
            }
            for (const WCHAR* below :
                 {WTEXT("\\Performance\\PowerSlider"), WTEXT("\\Performance"), WTEXT("")}) {
                RegDeleteKeyW(HKEY_LOCAL_MACHINE, path(kDispatcher, below).c_str());
            }
        }
    }
    static WString path(const WCHAR* service, const WCHAR* below = WTEXT("")) {
        return WString(WTEXT("SYSTEM\\CurrentControlSet\\Services\\")) + service + below;
    }
    static bool set(const WCHAR* below, const WCHAR* name, DWORD value,
                    const WCHAR* service = kThermal) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path(service, below).c_str(), 0, nullptr, 0,
                            KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        const LSTATUS status = RegSetValueExW(key, name, 0, REG_DWORD,
                                              reinterpret_cast<const BYTE*>(&value), sizeof value);
        RegCloseKey(key);
        return status == ERROR_SUCCESS;
    }
    static constexpr const WCHAR* kThermal = WTEXT("Thermivo");
    static constexpr const WCHAR* kDispatcher = WTEXT("HarluneProcessManagement");
    bool m_made = false;
};

TEST_F(ThermalKeys, TheModeIsReadBeforeTheServiceIsMissed) {
    CIntelligentCooling cooling;
    EXPECT_EQ(cooling.GetDispatcherVersion(), 0x2000);
    EXPECT_EQ(cooling.GetITSVersion(), 0) << "no IC value";
    EXPECT_EQ(cooling.IsAutoTransitionEnabled(), 1);
    int capability = 0;
    CIntelligentCooling::ITSMode mode{};
    EXPECT_EQ(cooling.GetITSMode(capability, mode), CIntelligentCooling::ITS_RESULT_NO_SERVICE);
    EXPECT_EQ(capability, 5);
    EXPECT_EQ(mode, CIntelligentCooling::ITS_MODE_HIGH_PERFORMANCE);
    EXPECT_EQ(cooling.GetDispatcherMode(capability, mode, 1, 0),
              CIntelligentCooling::ITS_RESULT_NO_SERVICE);
    EXPECT_EQ(cooling.IsDispatcheriEPMAutoTransitionEnabled(), -1);
    EXPECT_EQ(cooling.ShouldGeekOptionGrey(), 0);
}

} // namespace
