// celdorctl charging and usb on the scenarios' notebooks: switching and confirming, what is
// recorded for the host, a firmware that lost the mode, and the answers to bad arguments.
#include "tool_run.h"

using Json = nlohmann::json;

namespace {

class CeldorctlCharging : public DefaultNotebookTest {
protected:
    static Json Run(std::vector<std::string> args, int code = 0) {
        args.push_back("--json");
        const ToolResult result = Tool(args);
        EXPECT_EQ(result.code, code) << result.err;
        return result.json();
    }
};

// Storage on switches express off and the reverse; each confirmed mode is what the host finds
// recorded.
TEST_F(CeldorctlCharging, ModesAreSwitchedConfirmedAndRecorded) {
    const Json before = Run({"charging"});
    EXPECT_EQ(before["mode"], "normal");
    EXPECT_EQ(before["express"], Json::parse(R"({"supported": true, "on": false})"));
    EXPECT_EQ(before["batteries"], Json::parse(R"({"firmware": 1, "windows": 1})"));
    EXPECT_EQ(before["night_charge"], Json::parse(R"({"supported": true, "on": false})"));
    EXPECT_EQ(before["storage_80"], true);
    EXPECT_EQ(before["spec_version"], 184);

    struct Step {
        const char* mode;
        const char* recorded;
        bool storage, express;
    };
    for (const Step& step :
         {Step{"storage", "Storage", true, false}, Step{"express", "Quick", false, true},
          Step{"normal", "Normal", false, false}}) {
        SCOPED_TRACE(step.mode);
        const Json set = Run({"charging", "set", step.mode});
        EXPECT_EQ(set["mode"], step.mode);
        EXPECT_EQ(set["confirmed"], true);
        const Json shown = Run({"charging"});
        EXPECT_EQ(shown["mode"], step.mode);
        EXPECT_EQ(shown["storage"]["on"], step.storage);
        EXPECT_EQ(shown["express"]["on"], step.express);
        EXPECT_EQ(shown["recorded_mode"], step.recorded);
        EXPECT_EQ(shown["recorded_agrees"], true);
    }
}

// The firmware forgets storage mode across a hibernation while the host's record keeps it:
// the tool says so and how to put it back.
TEST_F(CeldorctlCharging, AFirmwareThatLostTheModeIsReported) {
    nb().loadScenario(ScenarioText("storage-lost-in-hibernation.json"));
    const ToolResult table = Tool({"charging"});
    EXPECT_EQ(table.code, 0);
    EXPECT_NE(table.out.find("the firmware lost the mode"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("celdorctl charging set storage"), std::string::npos);
    EXPECT_EQ(Run({"charging"})["recorded_agrees"], false);

    Run({"charging", "set", "storage"});
    EXPECT_EQ(Run({"charging"})["recorded_agrees"], true);
    nb().fervo().hibernate();
    const Json after = Run({"charging"});
    EXPECT_EQ(after["mode"], "normal");
    EXPECT_NE(after["disagreement"].get<std::string>().find("charging set storage"),
              std::string::npos);
}

TEST_F(CeldorctlCharging, AModeThatDoesNotTakeFailsWithItsReason) {
    nb().loadScenario(ScenarioText("no-express.json"));
    ToolResult result = Tool({"charging", "set", "express"});
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.err.find("does not support express charging"), std::string::npos);
    EXPECT_NE(result.out.find("normal"), std::string::npos) << "the mode in force is shown";

    nb().fervo().present = false;
    result = Tool({"charging", "set", "storage", "--json"});
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.json()["reason"].get<std::string>().find("not available"), std::string::npos);
    EXPECT_EQ(Run({"charging", "night", "on"}, 1)["confirmed"], false);
}

TEST_F(CeldorctlCharging, NightChargeAndAlwaysOnUsb) {
    EXPECT_EQ(Run({"charging", "night", "on"})["night_charge"], true);
    EXPECT_EQ(Run({"charging"})["night_charge"]["on"], true);

    EXPECT_EQ(Run({"usb"}), Json::parse(R"({"ac": {"supported": true, "state": "off"},
        "battery": {"supported": false, "state": "off"}})"));
    EXPECT_EQ(Run({"usb", "set", "ac", "on"})["state"], "on");
    EXPECT_EQ(Run({"status"})["usb"], Json::parse(R"({"ac": "on", "battery": "not supported"})"));
    const ToolResult refused = Tool({"usb", "set", "battery", "on"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("does not support it"), std::string::npos) << refused.err;
}

TEST_F(CeldorctlCharging, TwoBatteriesAreCountedBothWays) {
    nb().loadScenario(ScenarioText("two-batteries.json"));
    EXPECT_EQ(Run({"charging"})["batteries"], Json::parse(R"({"firmware": 2, "windows": 2})"));
    Run({"charging", "set", "storage"});
    EXPECT_TRUE(nb().fervo().firmware().settled(celdor::models::firmware::Mode::Storage2));
}

} // namespace
