// celdorctl's command layer, run in-process: what the commands report, how a bad command line
// is answered, and how the simulated notebook is kept between runs.
#include "sim_test.h"
#include "tool_run.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using Json = nlohmann::json;
using celdorctl::MachineUse;

using Result = ToolResult;

class Celdorctl : public SimTest {};

TEST_F(Celdorctl, StatusReportsTheNotebookAsItIs) {
    nb().fervo().present = true;
    // State bit 0x10000 and the detection bit.
    nb().fervo().configure({.features = celdor::models::firmware::kAdapterModeDetection});
    nb().fervo().firmware().setAdapterState(1);
    nb().powerStatus().ACLineStatus = 0;

    Result result = Tool({"status", "--json"});

    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(result.json(), Json::parse(R"({"ac_power": false, "adapter_state": 1,
        "adapter_mode_detection": true, "driver_present": true, "driver_error": 0,
        "thermal_mode": null, "thermal_service": "Thermivo",
        "active_plan": "Balanced", "charging_mode": "normal",
        "usb": {"ac": "not supported", "battery": "not supported"}, "batteries": []})"));
    EXPECT_EQ(result.err, "");
}

TEST_F(Celdorctl, StatusWithoutTheDriverSaysWhy) {
    Result json = Tool({"--json", "status"});
    ASSERT_EQ(json.code, 0) << json.err;
    EXPECT_EQ(json.json()["adapter_state"], -1);
    EXPECT_EQ(json.json()["driver_present"], false);
    EXPECT_EQ(json.json()["driver_error"], ERROR_FILE_NOT_FOUND);

    Result table = Tool({"status"});
    EXPECT_NE(table.out.find("not available"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("no such device"), std::string::npos) << table.out;
}

TEST_F(Celdorctl, AdapterGivesEveryAnswer) {
    nb().fervo().present = true;
    // Both state bits with detection: no valid state.
    nb().fervo().configure({.features = celdor::models::firmware::kAdapterModeDetection});
    nb().fervo().firmware().setAdapterState(3);

    Json answers = Tool({"adapter", "--json"}).json();

    EXPECT_EQ(answers, Json::parse(R"({"is_ac_in": 1, "adapter_status": -1,
        "is_support_adapter_mode_detect": 1, "ac_adapter_type": -1, "adapter_wattage": -1,
        "is_harlune_adapter": -1})"));
}

TEST_F(Celdorctl, BadCommandLinesFailWithAMessage) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"bogus"}, "unknown command 'bogus'"},
        {{}, "a command is needed"},
        {{"status", "--frobnicate"}, "--frobnicate"},
        {{"scenario"}, "the scenario commands are: show, save, load"},
        {{"scenario", "save"}, "file"},
        {{"--scenario", "/nonexistent/notebook.json", "status"}, "/nonexistent/notebook.json"},
        {{"thermal", "set", "turbo"}, "modes are off, intelligent, cool, performance, geek"},
        {{"thermal", "set"}, "mode is required"},
        {{"thermal", "auto", "maybe"}, "'on' or 'off'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(nothing)" : c.args.front());
        Result result = Tool(c.args);
        EXPECT_EQ(result.code, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
    EXPECT_EQ(Tool({"--help"}).code, 0);
}

// Runs against a state folder of its own, and gives the notebook its own root back afterwards.
class CeldorctlKeptState : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        m_root = nb().root();
        std::string pattern = (fs::temp_directory_path() / "celdorctl-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_state = pattern;
    }
    void TearDown() override {
        nb().setRoot(m_root);
        nb().reset();
        fs::remove_all(m_state);
        SimTest::TearDown();
    }
    Result run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--state", m_state.string()});
        return Tool(args, MachineUse::Attach);
    }
    fs::path writeScenario(const std::string& text) {
        fs::path file = m_state / "given.json";
        std::ofstream(file) << text;
        return file;
    }
    // Makes the state folder one the notebook cannot be kept in: the file a save writes first
    // is blocked by a folder of that name (permissions would not stop the superuser).
    void blockKeeping() { fs::create_directory(m_state / "notebook.json.new"); }
    void unblockKeeping() { fs::remove(m_state / "notebook.json.new"); }
    std::string kept() const {
        std::ifstream in(m_state / "notebook.json");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path m_root;
    fs::path m_state;
};

TEST_F(CeldorctlKeptState, ANotebookGivenOnceIsKeptUntilReset) {
    // A first run starts from the default notebook: on AC, the driver reporting an adapter.
    const Json first = run({"status", "--json"}).json();
    EXPECT_EQ(first["ac_power"], true);
    EXPECT_EQ(first["adapter_state"], 2);
    EXPECT_EQ(first["driver_present"], true);
    EXPECT_TRUE(fs::exists(m_state / "notebook.json"));
    EXPECT_TRUE(fs::is_directory(m_state / "drive" / "C" / "Users" / "Alex" / "AppData" / "Local"));

    const fs::path unplugged = writeScenario(R"({"power_status": {"ac_line_status": 0}})");
    EXPECT_EQ(run({"--scenario", unplugged.string(), "status", "--json"}).json()["ac_power"],
              false);
    // The next run, without --scenario, sees the same notebook.
    EXPECT_EQ(run({"status", "--json"}).json()["ac_power"], false);

    Result reset = run({"reset"});
    ASSERT_EQ(reset.code, 0) << reset.err;
    EXPECT_EQ(run({"status", "--json"}).json()["ac_power"], true);
}

TEST_F(CeldorctlKeptState, ScenarioCommandsShowSaveAndLoadTheNotebook) {
    const fs::path copy = m_state / "copy.json";
    ASSERT_EQ(run({"scenario", "save", copy.string()}).code, 0);
    Result shown = run({"scenario", "show"});
    ASSERT_EQ(shown.code, 0);
    std::ifstream in(copy);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), shown.out);
    EXPECT_EQ(Json::parse(shown.out)["user"], "Alex");
    EXPECT_FALSE(Json::parse(shown.out).contains("elevated"))
        << "the default user is a standard one";

    const fs::path other = writeScenario(R"({"user": "Sam", "fervo": {"present": false}})");
    ASSERT_EQ(run({"scenario", "load", other.string()}).code, 0);
    EXPECT_EQ(run({"status", "--json"}).json()["driver_present"], false);
}

TEST_F(CeldorctlKeptState, ADamagedKeptNotebookIsReportedAndResetRecovers) {
    ASSERT_EQ(run({"status"}).code, 0);
    std::ofstream(m_state / "notebook.json") << R"({"fervo": {"present": "yes"}})";

    Result damaged = run({"status"});
    EXPECT_EQ(damaged.code, 1);
    EXPECT_NE(damaged.err.find("notebook.json"), std::string::npos) << damaged.err;
    EXPECT_NE(damaged.err.find("fervo.present"), std::string::npos) << damaged.err;
    EXPECT_NE(damaged.err.find("celdorctl reset"), std::string::npos) << damaged.err;

    EXPECT_EQ(run({"reset"}).code, 0);
    EXPECT_EQ(run({"status", "--json"}).code, 0);
}

// A command that only reads neither needs the state folder to be writable nor writes to it.
TEST_F(CeldorctlKeptState, ReadingCommandsLeaveTheKeptNotebookAlone) {
    ASSERT_EQ(run({"status"}).code, 0);
    const std::string unplugged = R"({"power_status": {"ac_line_status": 0}})"; // unlike a save
    std::ofstream(m_state / "notebook.json") << unplugged;
    blockKeeping();

    const std::vector<std::vector<std::string>> reads = {
        {"status", "--json"},
        {"adapter"},
        {"scenario", "show"},
        {"scenario", "save", (m_state / "copy.json").string()},
    };
    for (const auto& args : reads) {
        SCOPED_TRACE(args.front());
        Result result = run(args);
        EXPECT_EQ(result.code, 0) << result.err;
        EXPECT_EQ(result.err, "");
    }
    EXPECT_EQ(run({"status", "--json"}).json()["ac_power"], false);
    EXPECT_EQ(kept(), unplugged);
}

// A run that would have to keep a change is refused, naming the folder, before anything changes.
TEST_F(CeldorctlKeptState, ChangesAreRefusedWhenTheyCouldNotBeKept) {
    blockKeeping();
    Result first = run({"status"}); // a new folder gets its notebook and drive on the first run
    EXPECT_EQ(first.code, 1);
    EXPECT_FALSE(fs::exists(m_state / "drive"));
    unblockKeeping();

    ASSERT_EQ(run({"status"}).code, 0);
    const fs::path marker = m_state / "drive" / "C" / "marker.txt";
    std::ofstream(marker) << "kept";
    const std::string before = kept();
    const std::string other = writeScenario(R"({"user": "Sam"})").string();
    blockKeeping();

    const std::vector<std::vector<std::string>> changes = {
        {"reset"},
        {"scenario", "load", other},
        {"--scenario", other, "status"},
    };
    for (const auto& args : changes) {
        SCOPED_TRACE(args.front());
        Result result = run(args);
        EXPECT_EQ(result.code, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("state folder " + m_state.string() + " cannot be written"),
                  std::string::npos)
            << result.err;
    }
    EXPECT_EQ(kept(), before);
    EXPECT_TRUE(fs::exists(marker));
}
