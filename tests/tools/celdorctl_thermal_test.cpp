// celdorctl thermal on the default notebook and its thermal scenarios: what it shows, the
// changes it confirms, and how a change that is not confirmed or a bad mode is answered.
#include "cli.h"
#include "default_scenario.h"
#include "sim_test.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <iterator>
#include <sstream>

using Json = nlohmann::json;

namespace {

class CeldorctlThermal : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        nb().loadScenario(celdorctl::DefaultScenario());
    }
    static void load(const char* file) {
        std::ifstream in(std::string(CELDOR_SOURCE_DIR) + "/scenarios/" + file);
        nb().loadScenario(std::string(std::istreambuf_iterator<char>(in), {}));
    }
    struct Result {
        int code;
        std::string out, err;
        Json json() const { return Json::parse(out); }
    };
    static Result run(std::vector<std::string> args) {
        std::ostringstream out, err;
        const int code = celdorctl::Run(args, out, err, celdorctl::MachineUse::AsIs);
        return {code, out.str(), err.str()};
    }
};

TEST_F(CeldorctlThermal, EveryModeIsSetConfirmedAndShown) {
    const std::uint64_t before = nb().clock().tickMs;
    for (const char* mode : {"cool", "performance", "off", "intelligent", "2"}) {
        SCOPED_TRACE(mode);
        const Result set = run({"thermal", "set", mode, "--json"});
        EXPECT_EQ(set.code, 0) << set.err;
        EXPECT_EQ(set.json()["confirmed"], true);
        const Json shown = run({"thermal", "--json"}).json();
        EXPECT_EQ(shown["mode"], set.json()["requested"]);
        EXPECT_EQ(shown["service"], "Thermivo");
    }
    EXPECT_GT(nb().clock().tickMs - before, 3000u) << "seconds on the notebook's clock";
    EXPECT_EQ(run({"status", "--json"}).json()["thermal_mode"], "cool");
}

TEST_F(CeldorctlThermal, AChangeThatIsNotConfirmedFailsAndSaysSo) {
    const Result geek = run({"thermal", "set", "geek"});
    EXPECT_EQ(geek.code, 1);
    EXPECT_NE(geek.err.find("Thermivo service has no geek mode"), std::string::npos) << geek.err;

    load("thermal-unconfirmed.json");
    const Result ignored = run({"thermal", "set", "cool"});
    EXPECT_EQ(ignored.code, 1);
    EXPECT_NE(ignored.err.find("not confirmed: the service reports intelligent"), std::string::npos)
        << ignored.err;
    EXPECT_EQ(run({"thermal", "auto", "off"}).code, 1);

    load("thermal-stopped.json");
    const Result stopped = run({"thermal", "set", "cool"});
    EXPECT_EQ(stopped.code, 1);
    EXPECT_NE(stopped.err.find("result 2, the service is not running"), std::string::npos);
}

TEST_F(CeldorctlThermal, TheProcessManagementServiceShowsItsOwnSwitches) {
    load("thermal-process-management.json");
    Json shown = run({"thermal", "--json"}).json();
    EXPECT_EQ(shown["service"], "HarluneProcessManagement");
    EXPECT_EQ(shown["capability"], 0x1F);
    EXPECT_EQ(shown["geek_option_greyed"], true);
    EXPECT_EQ(shown["auto_transition"], true);
    EXPECT_FALSE(shown.contains("iepm_mode"));

    EXPECT_EQ(run({"thermal", "set", "geek"}).code, 0);
    EXPECT_EQ(run({"thermal", "auto", "off"}).code, 0);
    shown = run({"thermal", "--json"}).json();
    EXPECT_EQ(shown["mode"], "geek");
    EXPECT_EQ(shown["auto_transition"], false);
}

} // namespace
