// CIntelligentCooling on a machine without the maker's services: no handle, no service result
// from every operation, and the values under the services' keys read all the same.
#include "portable.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Celdor::CIntelligentCooling;
using portable::WString;

const WCHAR* const kServices = WTEXT("SYSTEM\\CurrentControlSet\\Services");

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
        for (const WCHAR* service : {WTEXT("Thermivo"), WTEXT("HarluneProcessManagement")}) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (WString(kServices) + WTEXT("\\") + service).c_str(),
                              0, KEY_READ, &key) == ERROR_SUCCESS) {
                RegCloseKey(key);
                GTEST_SKIP() << "the services' keys are there already";
            }
        }
        if (!set(WTEXT("Thermivo\\Dovric\\IC\\MMC"), WTEXT("Capability"), 5)) {
            GTEST_SKIP() << "HKEY_LOCAL_MACHINE cannot be written here";
        }
        set(WTEXT("Thermivo\\Dovric\\IC\\MMC"), WTEXT("AutomaticModeSetting"), 1);
        set(WTEXT("Thermivo\\Dovric\\IC\\MMC"), WTEXT("CurrentSetting"), 3);
        set(WTEXT("Thermivo\\Dovric\\IC\\AUTODETECT"), WTEXT("Capability"), 2);
        set(WTEXT("HarluneProcessManagement\\Performance\\PowerSlider"), WTEXT("Version"), 0x2000);
    }
    void TearDown() override {
        for (auto it = m_created.rbegin(); it != m_created.rend(); ++it) {
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, it->c_str());
        }
    }
    // Creates the key below the services' folder, level by level, and sets a DWORD in it.
    bool set(const WString& path, const WCHAR* name, DWORD value) {
        WString key = kServices;
        WString rest = path;
        HKEY handle = nullptr;
        while (!rest.empty()) {
            const auto cut = rest.find(WTEXT('\\'));
            key += WTEXT("\\") + rest.substr(0, cut);
            rest = cut == WString::npos ? WString() : rest.substr(cut + 1);
            DWORD disposition = 0;
            if (handle) {
                RegCloseKey(handle);
            }
            if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                &handle, &disposition) != ERROR_SUCCESS) {
                return false;
            }
            if (disposition == REG_CREATED_NEW_KEY) {
                m_created.push_back(key);
            }
        }
        const bool ok = RegSetValueExW(handle, name, 0, REG_DWORD,
                                       reinterpret_cast<const BYTE*>(&value),
                                       sizeof value) == ERROR_SUCCESS;
        RegCloseKey(handle);
        return ok;
    }
    std::vector<WString> m_created;
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
