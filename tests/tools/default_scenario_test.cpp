// The default notebook that celdorctl starts from is what its description says it is.
#include "default_scenario.h"
#include "sim_test.h"

#include <celdor/adapter.h>
#include <celdor/libreg.h>
#include <celdor/powerplan.h>
#include <celdor/thermal.h>

#include <list>

class DefaultNotebook : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        nb().loadScenario(celdorctl::DefaultScenario());
    }
};

TEST_F(DefaultNotebook, IsOnAcWithTheDriverReportingAnAdapter) {
    using Celdor::CAdapter;
    EXPECT_EQ(CAdapter::IsACIn(), 1);
    EXPECT_EQ(CAdapter::GetAdapterStatus(), 2);
    EXPECT_EQ(CAdapter::IsSupportAdapterModeDetect(), 1);

    const SYSTEM_POWER_STATUS& power = nb().powerStatus();
    EXPECT_EQ(power.BatteryLifePercent, 87);
    EXPECT_TRUE(power.BatteryFlag & 8) << "charging";
    EXPECT_EQ(nb().userName(), u"Alex");
    EXPECT_FALSE(nb().elevated()) << "the application runs as a standard user";
}

TEST_F(DefaultNotebook, HasTheApplicationsRegistrySettings) {
    DWORD level = 0;
    EXPECT_EQ(RegGetDWORD_Local_Machine(
                  CELDOR_W("Software\\WOW6432Node\\Harlune\\PelmarkService\\FileLogger"),
                  CELDOR_W("WriteLevel"), level),
              1);
    EXPECT_EQ(level, 0x400u);
    EXPECT_EQ(RegDoesExistKey(CELDOR_W("SOFTWARE\\Harlune\\PelmarkService\\AddinData\\"
                                       "OstraNotebookAddin")),
              1);
}

TEST_F(DefaultNotebook, RunsTheThermalServiceInIntelligentCooling) {
    Celdor::CIntelligentCooling cooling;
    int capability = 0;
    Celdor::CIntelligentCooling::ITSMode mode{};
    EXPECT_EQ(cooling.GetITSMode(capability, mode), 0);
    EXPECT_EQ(mode, Celdor::CIntelligentCooling::ITS_MODE_INTELLIGENT);
    EXPECT_EQ(cooling.IsAutoTransitionEnabled(), 1);
    EXPECT_EQ(cooling.IsiEPMModeEnabled(), 1);
    EXPECT_EQ(cooling.GetDispatcherVersion(), 0) << "no process-management service";
}

TEST_F(DefaultNotebook, HasTheWindowsPlansAndTheMakersPlanActive) {
    std::list<Celdor::CString> names;
    Celdor::CPowerScheme().GetPowerSchemeList(names);
    EXPECT_EQ(names.size(), 4u);
    Celdor::CString active;
    EXPECT_EQ(Celdor::CPowerScheme().GetActivePowerScheme(active), 1);
    EXPECT_EQ(active.ToUtf8(), "Harlune Recommended");
}
