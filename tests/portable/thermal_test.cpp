// CIntelligentCooling end to end against the maker's services: the stand-ins under Wine, the
// simulated services on the simulation. The services' values are arranged in the registry, the
// services restarted as each test needs them; the changes are made by the services themselves.
#include "services.h"

#include <gtest/gtest.h>

namespace {

using Celdor::CIntelligentCooling;
using Mode = CIntelligentCooling::ITSMode;
using portable::Startup;
using portable::WString;

const WString kIc = CELDOR_W("SYSTEM\\CurrentControlSet\\Services\\Thermivo\\Dovric\\IC");
const WString kMmc = kIc + CELDOR_W("\\MMC");
const WString kAutoDetect = kIc + CELDOR_W("\\AUTODETECT");
const WString kSlider = CELDOR_W(
    "SYSTEM\\CurrentControlSet\\Services\\HarluneProcessManagement\\Performance\\PowerSlider");

class Thermal : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_thermal || !m_dispatcher) {
            GTEST_SKIP() << "the maker's services are not installed on this machine";
        }
        if (!Set(kMmc, CELDOR_W("Capability"), 7)) {
            GTEST_SKIP() << "the services' values cannot be written here (not elevated)";
        }
        Set(kMmc, CELDOR_W("AutomaticModeSetting"), 2);
        Set(kMmc, CELDOR_W("CurrentSetting"), 0);
        Set(kAutoDetect, CELDOR_W("Capability"), 1);
        Set(kAutoDetect, CELDOR_W("CurrentState"), 0);
        portable::DeleteMachineValue(kSlider, CELDOR_W("Version"));
        ASSERT_TRUE(m_thermal.Restart({}));
        ASSERT_TRUE(m_dispatcher.Restart({}));
    }
    static bool Set(const WString& key, const WCHAR* name, DWORD value) {
        return portable::SetMachineDword(key, name, value);
    }
    // The dispatcher's family is chosen by its version.
    static void UseDispatcher(CIntelligentCooling& cooling) {
        Set(kSlider, CELDOR_W("Version"), 0x2000);
        cooling.InitHandle();
    }

    portable::Service m_thermal{portable::kThermalService};
    portable::Service m_dispatcher{portable::kDispatcherService};
};

TEST_F(Thermal, ModesReadFromTheThermalServicesValues) {
    struct Case {
        DWORD automatic, current;
        Mode mode;
    };
    const Case cases[] = {{2, 0, CIntelligentCooling::ITS_MODE_INTELLIGENT},
                          {2, 1, CIntelligentCooling::ITS_MODE_NONE},
                          {1, 1, CIntelligentCooling::ITS_MODE_COOL},
                          {1, 3, CIntelligentCooling::ITS_MODE_HIGH_PERFORMANCE},
                          {1, 0, CIntelligentCooling::ITS_MODE_NONE},
                          {1, 4, CIntelligentCooling::ITS_MODE_NONE},
                          {0, 3, CIntelligentCooling::ITS_MODE_NONE},
                          {3, 0, CIntelligentCooling::ITS_MODE_NONE}};
    CIntelligentCooling cooling;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.automatic << "/" << c.current);
        Set(kMmc, CELDOR_W("AutomaticModeSetting"), c.automatic);
        Set(kMmc, CELDOR_W("CurrentSetting"), c.current);
        int capability = 0;
        Mode mode = CIntelligentCooling::ITS_MODE_GEEK;
        EXPECT_EQ(cooling.GetITSMode(capability, mode), 0);
        EXPECT_EQ(mode, c.mode);
        EXPECT_EQ(capability, 7);
    }
}

TEST_F(Thermal, DispatcherModesAndTheVSetting) {
    Set(kSlider, CELDOR_W("ITS_FN_Capability"), 0x13);
    struct Case {
        DWORD plain, v;
        int useV;
        int capability;
        Mode mode;
    };
    const Case cases[] = {
        {0, 4, 0, 0x03, CIntelligentCooling::ITS_MODE_INTELLIGENT},
        {0, 4, 1, 0x13, CIntelligentCooling::ITS_MODE_GEEK},
        {1, 0, 0, 0x03, CIntelligentCooling::ITS_MODE_COOL},
        {3, 0, 0, 0x03, CIntelligentCooling::ITS_MODE_HIGH_PERFORMANCE},
        {2, 2, 1, 0x13, CIntelligentCooling::ITS_MODE_NONE},
        {9, 9, 1, 0x13, CIntelligentCooling::ITS_MODE_NONE},
    };
    CIntelligentCooling cooling;
    UseDispatcher(cooling);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.plain << "/" << c.v << " V " << c.useV);
        Set(kSlider, CELDOR_W("ITS_CurrentSetting"), c.plain);
        Set(kSlider, CELDOR_W("ITS_CurrentSettingV"), c.v);
        int capability = 0;
        Mode mode = CIntelligentCooling::ITS_MODE_GEEK;
        EXPECT_EQ(cooling.GetDispatcherMode(capability, mode, 0, c.useV), 0);
        EXPECT_EQ(mode, c.mode);
        EXPECT_EQ(capability, c.capability);
    }
    // Without the V bit the plain setting is read either way.
    Set(kSlider, CELDOR_W("ITS_FN_Capability"), 0x03);
    Set(kSlider, CELDOR_W("ITS_CurrentSetting"), 0);
    int capability = 0;
    Mode mode{};
    EXPECT_EQ(cooling.GetDispatcherMode(capability, mode, 0, 1), 0);
    EXPECT_EQ(mode, CIntelligentCooling::ITS_MODE_INTELLIGENT);
}

// Each mode is switched by the service and confirmed by reading it back; the mode read is the
// one asked for.
TEST_F(Thermal, ModeChangesAreMadeByTheServiceAndConfirmed) {
    CIntelligentCooling cooling;
    for (Mode wanted :
         {CIntelligentCooling::ITS_MODE_COOL, CIntelligentCooling::ITS_MODE_HIGH_PERFORMANCE,
          CIntelligentCooling::ITS_MODE_NONE, CIntelligentCooling::ITS_MODE_INTELLIGENT}) {
        Mode mode = wanted;
        EXPECT_EQ(cooling.SetITSMode(mode), 0) << wanted;
        EXPECT_EQ(mode, wanted);
    }
    Set(kSlider, CELDOR_W("ITS_FN_Capability"), 0x13);
    UseDispatcher(cooling);
    for (Mode wanted : {CIntelligentCooling::ITS_MODE_COOL, CIntelligentCooling::ITS_MODE_GEEK,
                        CIntelligentCooling::ITS_MODE_HIGH_PERFORMANCE,
                        CIntelligentCooling::ITS_MODE_INTELLIGENT}) {
        Mode mode = wanted;
        EXPECT_EQ(cooling.SetDispatcherMode(mode, 0, 1), 0) << wanted;
        EXPECT_EQ(mode, wanted);
        int capability = 0;
        EXPECT_EQ(cooling.GetDispatcherMode(capability, mode, 0, 0), 0) << "the plain setting too";
        EXPECT_EQ(mode, wanted);
    }
}

TEST_F(Thermal, AutomaticTransitionSwitches) {
    CIntelligentCooling cooling;
    EXPECT_EQ(cooling.IsAutoTransitionEnabled(), 0);
    EXPECT_EQ(cooling.IsiEPMModeEnabled(), 0);
    EXPECT_EQ(cooling.SetITSAutoTransition(1), 0);
    EXPECT_EQ(cooling.IsAutoTransitionEnabled(), 1);
    EXPECT_EQ(cooling.IsiEPMModeEnabled(), 1);
    EXPECT_EQ(cooling.SetITSAutoTransition(0), 0);
    EXPECT_EQ(cooling.IsAutoTransitionEnabled(), 0);
    EXPECT_EQ(cooling.IsiEPMModeEnabled(), 0);

    for (DWORD capability : {0x2u, 0x3u, 0x1u}) {
        Set(kAutoDetect, CELDOR_W("Capability"), capability);
        EXPECT_EQ(cooling.IsAutoTransitionEnabled(), capability == 0x1 ? 0 : 1) << capability;
    }
    ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, kAutoDetect.c_str()), ERROR_SUCCESS);
    EXPECT_EQ(cooling.IsAutoTransitionEnabled(), -1);
    EXPECT_EQ(cooling.IsiEPMModeEnabled(), 0);
}

TEST_F(Thermal, DispatcherSwitchesAndGreyedGeekOption) {
    const LSTATUS deleted = RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSlider.c_str());
    ASSERT_TRUE(deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND) << deleted;
    CIntelligentCooling cooling;
    EXPECT_EQ(cooling.IsDispatcheriEPMAutoTransitionEnabled(), -1) << "no key";
    EXPECT_EQ(cooling.ShouldGeekOptionGrey(), 0);
    UseDispatcher(cooling);
    EXPECT_EQ(cooling.IsDispatcheriEPMAutoTransitionEnabled(), -1) << "no hardware capability";
    Set(kSlider, CELDOR_W("ITS_SE_HWCapability"), 0x2);
    Set(kSlider, CELDOR_W("ITS_SE_PelmarkSetting"), 0x402);
    EXPECT_EQ(cooling.IsDispatcheriEPMAutoTransitionEnabled(), 1);
    EXPECT_EQ(cooling.ShouldGeekOptionGrey(), 1);

    EXPECT_EQ(cooling.SetDispatcheriEPMAutoTransition(0, 0), 0);
    EXPECT_EQ(cooling.IsDispatcheriEPMAutoTransitionEnabled(), 0);
    EXPECT_EQ(cooling.ShouldGeekOptionGrey(), 1) << "the service leaves the grey bit";
    EXPECT_EQ(cooling.SetDispatcheriEPMAutoTransition(1, 0), 0);
    EXPECT_EQ(cooling.IsDispatcheriEPMAutoTransitionEnabled(), 1);
}

TEST_F(Thermal, AStoppedServiceIsNotRunning) {
    Set(kAutoDetect, CELDOR_W("CurrentState"), 1);
    ASSERT_TRUE(m_thermal.Stop());
    CIntelligentCooling cooling;
    EXPECT_EQ(cooling.GetServiceStatus(), CIntelligentCooling::ITS_RESULT_SERVICE_NOT_RUNNING);
    EXPECT_EQ(cooling.CheckHandle(), 0);
    EXPECT_EQ(cooling.IsiEPMModeEnabled(), 0) << "whatever the registry says";
    Mode mode = CIntelligentCooling::ITS_MODE_COOL;
    EXPECT_EQ(cooling.SetITSMode(mode), CIntelligentCooling::ITS_RESULT_SERVICE_NOT_RUNNING);

    ASSERT_TRUE(m_thermal.Restart({}));
    EXPECT_EQ(cooling.CheckHandle(), 1);
    EXPECT_EQ(cooling.IsiEPMModeEnabled(), 1);
}

// A starting service is waited for while its checkpoint moves; one that stalls longer than its
// wait hint is not running. The wait ends once the service runs (its hint of 0 counts as a
// stall), and the next check finds it running.
TEST_F(Thermal, AStartingServiceIsWaitedForWhileItMakesProgress) {
    struct Case {
        DWORD waitHint, every;
    };
    for (const Case& c : {Case{3000, 500}, Case{0, 0}}) {
        SCOPED_TRACE(c.waitHint);
        ASSERT_TRUE(m_thermal.Restart(Startup{1500, c.waitHint, c.every}));
        CIntelligentCooling cooling;
        EXPECT_EQ(cooling.GetServiceStatus(), CIntelligentCooling::ITS_RESULT_SERVICE_NOT_RUNNING);
        ASSERT_TRUE(m_thermal.WaitFor(SERVICE_RUNNING));
        EXPECT_EQ(cooling.CheckHandle(), 1);
    }
}

// A control the service's handler refuses fails the change. Wine's service control manager
// reports the refusal as success (docs/wine.md): the change is then simply never confirmed.
TEST_F(Thermal, AControlTheServiceRefusesFailsTheChange) {
    Startup refusing;
    refusing.controls = 2;
    ASSERT_TRUE(m_thermal.Restart(refusing));
    CIntelligentCooling cooling;
    Mode mode = CIntelligentCooling::ITS_MODE_COOL;
    if (portable::RunningOnWine()) {
        EXPECT_EQ(cooling.SetITSMode(mode), CIntelligentCooling::ITS_RESULT_OK);
        EXPECT_EQ(mode, CIntelligentCooling::ITS_MODE_INTELLIGENT);
    } else {
        EXPECT_EQ(cooling.SetITSMode(mode), CIntelligentCooling::ITS_RESULT_CONTROL_FAILED);
        EXPECT_EQ(mode, CIntelligentCooling::ITS_MODE_COOL);
    }
}

} // namespace
