// celdorctl battery on the shipped notebooks: the merged record agrees with the scenario's pack,
// moves with the clock, and each battery of a crossed pair shows its own values.
#include "sim_test.h"
#include "tool_run.h"

#include <filesystem>
#include <fstream>
#include <iterator>

using Json = nlohmann::json;

namespace {

Json Scenario(const char* name) {
    std::ifstream in(std::filesystem::path(CELDOR_SOURCE_DIR) / "scenarios" / name);
    return Json::parse(std::string(std::istreambuf_iterator<char>(in), {}));
}

class CeldorctlBattery : public SimTest {
protected:
    // The scenario's packs, in the firmware's numbering.
    Json Load(const char* name) {
        const Json scenario = Scenario(name);
        nb().loadScenario(scenario.dump());
        Json packs = Json::array();
        for (const Json& bay : scenario["batteries"]) {
            packs.push_back(bay["pack"]);
        }
        return packs;
    }
    static Json Run(std::vector<std::string> args) {
        args.push_back("--json");
        const ToolResult result = Tool(args);
        EXPECT_EQ(result.code, 0) << result.err;
        return result.json();
    }
};

TEST_F(CeldorctlBattery, RecordAgreesWithTheDefaultPack) {
    const Json pack = Load("default.json")[0];
    const Json info = Run({"battery", "info"});
    const unsigned full = pack["full_charged_capacity_mwh"];
    const unsigned remaining = pack["remaining_capacity_mwh"];
    EXPECT_EQ(info["DesignCapacity"], pack["designed_capacity_mwh"].get<unsigned>() / 10);
    EXPECT_EQ(info["FullChargeCapacity"], full / 10);
    EXPECT_EQ(info["RemainingCapacity"], remaining / 10);
    EXPECT_EQ(info["Voltage"], pack["voltage_mv"]);
    EXPECT_EQ(info["Temperature"], pack["temperature_dk"]);
    EXPECT_EQ(info["ChargePercent"], (remaining * 100 + full / 2) / full);
    EXPECT_EQ(info["HealthPercent"], 91);
    EXPECT_EQ(info["CycleCount"], pack["cycle_count"]);
    EXPECT_EQ(info["ManufacturerName"], pack["manufacturer"]);
    EXPECT_EQ(info["Chemistry"], pack["chemistry"]);
    EXPECT_EQ(info["Firmware"], pack["firmware"]);
    EXPECT_EQ(info["ChargeStatus"], 1);

    EXPECT_EQ(Run({"clock", "advance", "30m"})["advanced_ms"], 1'800'000);
    const Json later = Run({"battery", "info", "0"});
    EXPECT_GT(later["RemainingCapacity"], info["RemainingCapacity"]);
    EXPECT_LT(later["TimeToFull"], info["TimeToFull"]);
    EXPECT_EQ(Run({"status"})["battery0"]["charge_percent"], later["ChargePercent"]);
}

TEST_F(CeldorctlBattery, CrossedBatteriesShowTheirOwnValues) {
    const Json packs = Load("two-batteries-crossed.json");
    for (int i = 0; i < 2; ++i) {
        const Json info = Run({"battery", "info", std::to_string(i)});
        EXPECT_EQ(info["SerialNumber"], packs[i]["serial_number"]) << i;
        EXPECT_EQ(info["CycleCount"], packs[i]["cycle_count"]) << i;
    }
    const Json overview = Run({"battery"});
    EXPECT_EQ(overview["count"], 2);
}

TEST_F(CeldorctlBattery, RefusalsAndMachinesWithout) {
    Load("no-battery.json");
    EXPECT_EQ(Run({"battery"})["count"], 0);
    const ToolResult info = Tool({"battery", "info", "5"});
    EXPECT_EQ(info.code, 2);
    EXPECT_NE(info.err.find("no battery 5"), std::string::npos) << info.err;
    const ToolResult clock = Tool({"clock", "advance", "soon"});
    EXPECT_EQ(clock.code, 1);
    EXPECT_NE(clock.err.find("not a duration"), std::string::npos) << clock.err;

    Load("worn-battery.json");
    EXPECT_EQ(Run({"battery", "health"}),
              Json::parse(R"({"driver": true, "smart_battery_v2": true, "health_level": 70,
                              "health_tip": 2, "predicted_life_span": 9})"));
    EXPECT_EQ(Run({"battery", "info"})["HealthPercent"], 70);
}

} // namespace
