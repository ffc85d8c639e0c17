// celdorctl plans and plans set on the simulated notebook, run in-process.
#include "tool_run.h"

namespace {

class CeldorctlPlans : public SimTest {};

TEST_F(CeldorctlPlans, ListsThePlansAndTheActivePlansDisplaySettingsForThePowerSource) {
    nb().powerStatus().ACLineStatus = 0;
    auto& balanced = nb().powerSchemes().plans[0];
    balanced.brightnessDc = 35;
    EXPECT_EQ(nlohmann::json::parse(Tool({"plans", "--json"}).out),
              nlohmann::json::parse(R"({"active_plan": "Balanced", "power_source": "battery",
        "display_timeout": 300, "brightness": 35,
        "plans": {"Balanced": true, "High performance": false, "Power saver": false}})"));

    for (const auto& [seconds, words] : {std::pair<DWORD, std::string>{5400, "1 hour 30 minutes"},
                                         {0, "never"},
                                         {3601, "1 hour 1 second"}}) {
        balanced.displayTimeoutDc = seconds;
        EXPECT_NE(Tool({"plans"}).out.find("Turn off display after   " + words + "\n"),
                  std::string::npos)
            << words;
    }
}

TEST_F(CeldorctlPlans, SetActivatesByExactNameOrSaysWhyNot) {
    EXPECT_EQ(Tool({"plans", "set", "Power saver"}).code, 0);
    EXPECT_NE(Tool({"status"}).out.find("Power plan               Power saver\n"),
              std::string::npos);

    const ToolResult unknown = Tool({"plans", "set", "power saver"});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_NE(unknown.err.find("the plans are: 'Balanced', 'High performance', 'Power saver'"),
              std::string::npos)
        << unknown.err;

    nb().faults().inject("PowerSetActiveScheme", celdor::sim::Fault::Always(ERROR_ACCESS_DENIED));
    const ToolResult refused = Tool({"plans", "set", "Balanced"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("refused"), std::string::npos) << refused.err;
}

} // namespace
