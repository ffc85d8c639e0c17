// celdorctl plans and plans set on the simulated notebook, run in-process.
#include "cli.h"
#include "sim_test.h"

#include <nlohmann/json.hpp>

#include <sstream>

using celdor::sim::Fault;
using Json = nlohmann::json;

namespace {

struct Outcome {
    int code = 0;
    std::string out, err;
};

Outcome Tool(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int code = celdorctl::Run(args, out, err, celdorctl::MachineUse::AsIs);
    return {code, out.str(), err.str()};
}

class CeldorctlPlans : public SimTest {};

TEST_F(CeldorctlPlans, ListsThePlansAndTheActivePlansDisplaySettingsForThePowerSource) {
    auto& balanced = nb().powerSchemes().plans[0];
    balanced.displayTimeoutDc = 5400;
    balanced.brightnessDc = 35;
    nb().powerStatus().ACLineStatus = 0;

    const Outcome run = Tool({"plans", "--json"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(Json::parse(run.out), Json::parse(R"({"active_plan": "Balanced",
        "power_source": "battery", "display_timeout": 5400, "brightness": 35,
        "plans": {"Balanced": true, "High performance": false, "Power saver": false}})"));

    // The time-out in words.
    const std::pair<DWORD, const char*> words[] = {
        {5400, "1 hour 30 minutes"}, {0, "never"}, {60, "1 minute"}, {3605, "1 hour 5 seconds"}};
    for (const auto& [seconds, text] : words) {
        balanced.displayTimeoutDc = seconds;
        EXPECT_NE(Tool({"plans"}).out.find(std::string("Turn off display after   ") + text + "\n"),
                  std::string::npos)
            << text;
    }
}

TEST_F(CeldorctlPlans, SetActivatesByExactNameOrSaysWhyNot) {
    Outcome run = Tool({"plans", "set", "Power saver"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(Json::parse(Tool({"status", "--json"}).out)["active_plan"], "Power saver");

    run = Tool({"plans", "set", "power saver"});
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find("the plans are: 'Balanced', 'High performance', 'Power saver'"),
              std::string::npos)
        << run.err;

    nb().faults().inject("PowerSetActiveScheme", Fault::Always(ERROR_ACCESS_DENIED));
    run = Tool({"plans", "set", "Balanced"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("refused"), std::string::npos) << run.err;
    EXPECT_EQ(Json::parse(Tool({"plans", "--json"}).out)["active_plan"], "Power saver");
}

} // namespace
