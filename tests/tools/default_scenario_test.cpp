// The default notebook that celdorctl starts from runs the thermal service and has the maker's
// power plan active, as its description says (its driver, adapter and user are checked by
// celdorctl's first run).
#include "default_scenario.h"
#include "sim_test.h"

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
