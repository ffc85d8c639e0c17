// The power_plans section of a scenario: its defaults, and what it refuses.
#include "sim_test.h"

#include <stdexcept>
#include <string>

class PowerPlansScenario : public SimTest {};

TEST_F(PowerPlansScenario, APlanNeedsOnlyItsGuidAndName) {
    nb().loadScenario(R"({"power_plans": {"plans": [{"name": "Zo\u00eb",
        "guid": "{C0DE0001-1234-5678-9ABC-DEF012345678}", "brightness_dc": 5}]}})");
    const auto& schemes = nb().powerSchemes();
    ASSERT_EQ(schemes.plans.size(), 1u);
    EXPECT_EQ(celdor::sim::GuidText(schemes.active), "c0de0001-1234-5678-9abc-def012345678");
    EXPECT_EQ(schemes.plans[0].name, u"Zo\u00eb");
    EXPECT_EQ(schemes.plans[0].displayTimeoutDc, 300u);
    EXPECT_EQ(schemes.plans[0].brightnessDc, 5u);
}

TEST_F(PowerPlansScenario, RefusesPlansWindowsCouldNotHave) {
    const std::string plan = R"({"guid": "381b4222-f694-41f0-9685-ff5bb260df2e", "name": "B")";
    const std::pair<std::string, const char*> cases[] = {
        {R"({"active": "00000000-0000-0000-0000-000000000001"})", "power_plans.active: no plan"},
        {R"({"plans": []})", "power_plans.plans: expected a list of at least one plan"},
        {R"({"plans": [)" + plan + "}, " + plan + "}]}", "power_plans.plans[1].guid: the GUID"},
        {R"({"plans": [{"guid": "381b4222-f694", "name": "B"}]})",
         "plans[0].guid: expected a GUID"},
        {R"({"plans": [)" + plan + R"(, "brightness_ac": 101}]})", "from 0 to 100"},
        {R"({"plans": [{"name": "B"}]})", "power_plans.plans[0].guid: missing"},
    };
    for (const auto& [section, message] : cases) {
        try {
            nb().loadScenario(R"({"power_plans": )" + section + "}");
            ADD_FAILURE() << section << " was accepted";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
        }
    }
}
