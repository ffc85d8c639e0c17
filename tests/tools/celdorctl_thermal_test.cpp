// celdorctl thermal on the default notebook and its thermal scenarios: what it shows, the
// changes it confirms, and how a change that is not confirmed or a bad mode is answered.
#include "tool_run.h"

using Json = nlohmann::json;

namespace {

class CeldorctlThermal : public DefaultNotebookTest {
protected:
    static void load(const char* file) { nb().loadScenario(ScenarioText(file)); }
};

TEST_F(CeldorctlThermal, EveryModeIsSetConfirmedAndShown) {
    const std::uint64_t before = nb().clock().tickMs;
    for (const char* mode : {"cool", "performance", "off", "intelligent", "2"}) {
        SCOPED_TRACE(mode);
        const ToolResult set = Tool({"thermal", "set", mode, "--json"});
        EXPECT_EQ(set.code, 0) << set.err;
        EXPECT_EQ(set.json()["confirmed"], true);
        const Json shown = Tool({"thermal", "--json"}).json();
        EXPECT_EQ(shown["mode"], set.json()["requested"]);
        EXPECT_EQ(shown["service"], "Thermivo");
    }
    EXPECT_GT(nb().clock().tickMs - before, 3000u) << "seconds on the notebook's clock";
    EXPECT_EQ(Tool({"status", "--json"}).json()["thermal_mode"], "cool");
}

TEST_F(CeldorctlThermal, AChangeThatIsNotConfirmedFailsAndSaysSo) {
    const ToolResult geek = Tool({"thermal", "set", "geek"});
    EXPECT_EQ(geek.code, 1);
    EXPECT_NE(geek.err.find("Thermivo service has no geek mode"), std::string::npos) << geek.err;

    load("thermal-unconfirmed.json");
    const ToolResult ignored = Tool({"thermal", "set", "cool"});
    EXPECT_EQ(ignored.code, 1);
    EXPECT_NE(ignored.err.find("not confirmed: the service reports intelligent"), std::string::npos)
        << ignored.err;
    EXPECT_EQ(Tool({"thermal", "auto", "off"}).code, 1);

    load("thermal-stopped.json");
    const ToolResult stopped = Tool({"thermal", "set", "cool"});
    EXPECT_EQ(stopped.code, 1);
    EXPECT_NE(stopped.err.find("result 2, the service is not running"), std::string::npos);
}

TEST_F(CeldorctlThermal, TheProcessManagementServiceShowsItsOwnSwitches) {
    load("thermal-process-management.json");
    Json shown = Tool({"thermal", "--json"}).json();
    EXPECT_EQ(shown["service"], "HarluneProcessManagement");
    EXPECT_EQ(shown["capability"], 0x1F);
    EXPECT_EQ(shown["geek_option_greyed"], true);
    EXPECT_EQ(shown["auto_transition"], true);
    EXPECT_FALSE(shown.contains("iepm_mode"));

    EXPECT_EQ(Tool({"thermal", "set", "geek"}).code, 0);
    EXPECT_EQ(Tool({"thermal", "auto", "off"}).code, 0);
    shown = Tool({"thermal", "--json"}).json();
    EXPECT_EQ(shown["mode"], "geek");
    EXPECT_EQ(shown["auto_transition"], false);
}

} // namespace
