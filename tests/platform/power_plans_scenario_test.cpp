// The power_plans section of a scenario: what it loads, what it saves, what it refuses.
#include "sim_test.h"

#include <stdexcept>
#include <string>

using celdor::sim::GuidText;

class PowerPlansScenario : public SimTest {};

TEST_F(PowerPlansScenario, LoadsSavesAndFallsBackToTheWindowsPlans) {
    nb().loadScenario(R"({"power_plans": {"plans": [
        {"guid": "{C0DE0001-1234-5678-9ABC-DEF012345678}", "name": "Zo\u00eb's plan",
         "display_timeout_ac": 0, "brightness_dc": 5}]}})");
    const auto& schemes = nb().powerSchemes();
    ASSERT_EQ(schemes.plans.size(), 1u);
    EXPECT_EQ(GuidText(schemes.active), "c0de0001-1234-5678-9abc-def012345678");
    EXPECT_EQ(schemes.plans[0].name, u"Zo\u00eb's plan");
    EXPECT_EQ(schemes.plans[0].displayTimeoutAc, 0u);
    EXPECT_EQ(schemes.plans[0].displayTimeoutDc, 300u); // a new plan's value
    EXPECT_EQ(schemes.plans[0].brightnessDc, 5u);

    const std::string saved = nb().saveScenario();
    nb().loadScenario("{}");
    EXPECT_EQ(schemes.plans.size(), 3u);
    EXPECT_EQ(schemes.active, GUID_TYPICAL_POWER_SAVINGS);
    nb().loadScenario(saved);
    EXPECT_EQ(nb().saveScenario(), saved);
}

TEST_F(PowerPlansScenario, RefusesPlansWindowsCouldNotHave) {
    const std::string plan = R"({"guid": "381b4222-f694-41f0-9685-ff5bb260df2e", "name": "B")";
    const std::pair<std::string, const char*> cases[] = {
        {R"({"active": "00000000-0000-0000-0000-000000000001"})", "power_plans.active: no plan"},
        {R"({"plans": []})", "power_plans.plans: expected a list of at least one plan"},
        {R"({"plans": [)" + plan + "}, " + plan + "}]}", "power_plans.plans[1].guid: the GUID"},
        {R"({"plans": [{"guid": "381b4222-f694-41f0-9685", "name": "B"}]})",
         "power_plans.plans[0].guid: expected a GUID"},
        {R"({"plans": [)" + plan + R"(, "brightness_ac": 101}]})",
         "power_plans.plans[0].brightness_ac: expected a whole number from 0 to 100"},
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
