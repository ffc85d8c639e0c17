// celdorctl's command layer, run in-process on the shipped notebooks: what a person reads, and
// how a bad command line or a refused change is answered; then how the notebook is kept between
// runs. The JSON contract and the runs that keep nothing are checked on the built program
// (celdorctl_contract.py).
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

namespace {

// A notebook: a file under scenarios/, or the text of a scenario.
std::string NotebookText(const std::string& notebook) {
    return notebook.starts_with("{") ? notebook : ScenarioText(notebook);
}

// "plans set 'Power saver'" as arguments.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (char c : line) {
        if (c == '\'') {
            quoted = !quoted;
            any = true;
        } else if (c == ' ' && !quoted) {
            if (any) {
                words.push_back(word);
            }
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any) {
        words.push_back(word);
    }
    return words;
}

const char* const kUnicodePlans = R"({"power_plans": {"plans": [
    {"guid": "381b4222-f694-41f0-9685-ff5bb260df2e", "name": "Balanced"},
    {"guid": "11111111-2222-3333-4444-555555555555", "name": "Économie d’énergie"},
    {"guid": "11111111-2222-3333-4444-666666666666", "name": "省电模式"}]}})";

struct Case {
    const char* notebook;
    const char* commands; // run one after the other, separated by " ; "; the last is checked
    int code;
    const char* expected; // a part of what the last command printed, on stdout or stderr
};

const Case kCases[] = {
    // What the notebook is doing, at a glance.
    {"default.json", "status", 0,
     "Battery 0                [######----] 62 %, charging at 24.0 W, full in 49 min\n"},
    {"default.json", "power BATTERY ; status", 0, "Power                    on battery\n"},
    {"default.json", "power battery ; clock advance 3h ; battery", 0,
     "Battery 0   [#---------] 7 %, discharging at 9.5 W, empty in 23 min\n"},
    {"default.json", "power battery ; clock advance 189m ; battery", 0,
     "[----------] 4 %, discharging at 9.5 W, empty in 14 min, low\n"},
    {"default.json", "power battery ; clock advance 200m ; battery --json", 0,
     "\"charge_level\": \"critical\""},
    {"default.json", "charging set storage ; clock advance 20m ; status", 0,
     "[########--] 77 %, charging at 24.0 W, at 80 % in 4 min\n"},
    {"default.json", "charging set storage ; clock advance 1h ; status", 0,
     "80 %, idle, held at 80 % (storage mode)\n"},
    {"no-express.json", "charging set storage ; charging", 0, "storage, charge limited to 60 %"},
    {"no-battery.json", "battery", 0, "Batteries   none present\n"},
    {"no-battery.json", "battery --json", 0, "\"count\": 0,\n  \"batteries\": []"},
    {"no-battery.json", "battery info", 2, "no battery 0: this machine has no battery"},
    {"two-batteries.json", "battery info 2", 2, "this machine has 2 batteries (index 0 or 1)"},
    {"two-batteries-crossed.json", "battery info 1", 0, "Serial number          QC2403150427"},
    {"two-batteries.json", "battery health", 0, "0, the first of two"},
    {"worn-battery.json", "battery health", 0, "Health tip            2  worn: plan to replace"},
    // A pack whose gauge has no readings, nor a charge: nothing impossible is shown.
    {R"({"fervo": {"present": true, "firmware": {"batteries": 1}},
        "batteries": [{"interface": "\\\\?\\acpi#pnp0c0a#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}",
        "pack": {"designed_capacity_mwh": 57000, "full_charged_capacity_mwh": 51870,
                 "cycle_count": 143}}]})",
     "battery info", 0,
     "Voltage                unknown\nTemperature            unknown\n"
     "Cycle count            143\nManufactured           unknown\n"
     "Manufacturer           unknown\nSerial number          unknown\n"
     "Chemistry              LION\nFirmware               unknown\n"},
    {R"({"fervo": {"present": false}})", "status", 0,
     "Maker's driver           not available: \\\\.\\FervoDrv gives error 2 (no such device)"},
    {"default.json", "adapter", 0, "GetAdapterStatus               2  adapter connected"},
    {"default.json", "power battery ; adapter --json", 0, "\"adapter_state\": 0,"},

    // Changes, confirmed or refused with the reason.
    {"default.json", "charging set STORAGE ; charging --json", 0, "\"mode\": \"storage\""},
    {"no-express.json", "charging set express", 1, "does not support express charging"},
    {"storage-lost-in-hibernation.json", "charging", 0,
     "restore it with: celdorctl charging set storage"},
    {"default.json", "usb set AC on ; status", 0,
     "Always-on USB            on AC on, from battery not supported"},
    {"default.json", "usb set battery off", 1, "does not support it"},
    {"default.json", "thermal set COOL ; status", 0, "Thermal mode             cool"},
    {"default.json", "thermal set geek", 1, "the Thermivo service has no geek mode"},
    {"default.json", "thermal auto OFF ; thermal", 0, "Automatic transition      off"},
    {"thermal-unconfirmed.json", "thermal set cool", 1,
     "not confirmed: the service reports intelligent"},
    {"thermal-stopped.json", "thermal set cool", 1, "result 2, the service is not running"},
    {"default.json", "thermal", 0,
     "Modes offered             intelligent, cool, performance  (capability 0x0000000B)"},
    {"thermal-process-management.json", "thermal", 0,
     "Modes offered               intelligent, cool, performance, geek"},
    {"default.json", "plans set 'Power saver' ; status", 0,
     "Power plan               Power saver\n"},
    {"default.json", "plans set 'power saver'", 2, "(names are exact, case included)"},
    {kUnicodePlans, "plans", 0,
     "  Balanced             active\n  Économie d’énergie   available\n"
     "  省电模式             available\n"},
    {"default.json", "clock", 0, "Time          2026-05-28T11:00:00+02:00\n"},
    {"default.json", "clock advance 1h30m ; clock --json", 0, "\"uptime_ms\": 10800000"},
    {"default.json", "clock advance 1d2h30m45s500ms ; clock --json", 0, "\"uptime_ms\": 100845500"},
    {R"({"clock": {"tick_ms": 0, "boot_time": "2026-01-01T02:00:00Z",
        "utc_offset_minutes": -330}})",
     "clock", 0, "2025-12-31T20:30:00-05:30"},
    {"default.json", "charging night ON ; charging", 0, "Night charge               supported, on"},
    {"thermal-process-management.json", "thermal set geek ; thermal auto off ; thermal --json", 0,
     "\"mode\": \"geek\""},

    // Bad command lines: exit 2, and what was meant.
    {"default.json", "clock advance soon", 2, "'soon' is not a duration"},
    {"default.json", "clock advance 1234567890m", 2, "is not a duration"},
    {"default.json", "--scenario /nonexistent.json status", 2, "/nonexistent.json"},
    {"default.json", "bogus", 2, "unknown command 'bogus'"},
    {"default.json", "", 2, "a command is needed"},
    {"default.json", "scenario", 2, "the scenario commands are: show, save, load"},
    {"default.json", "charging set turbo", 2, "the modes are: normal, storage, express"},
    {"default.json", "charging night maybe", 2, "the states are: on, off"},
    {"default.json", "usb set phone on", 2, "the features are: ac, battery"},
    {"default.json", "thermal set turbo", 2, "modes are off, intelligent, cool, performance"},
    {"default.json", "thermal auto maybe", 2, "the states are: on, off"},
    {"default.json", "power off", 2, "the power sources are: ac, battery"},

    // doctor: each finding on a notebook that has it.
    {"default.json", "doctor", 0, "Nothing found"},
    {R"({"fervo": {"present": false}})", "doctor", 1, "! the maker's driver is not available"},
    {"thermal-stopped.json", "doctor", 1, "! the service Thermivo is stopped"},
    {"storage-lost-in-hibernation.json", "doctor", 1, "the firmware lost the mode"},
    {"worn-battery.json", "doctor", 1,
     "! battery 0 holds 70 % of its design capacity after 812 charge cycles"},
    {"test-bench.json", "doctor", 1, "! the power plan 'Harlune Recommended' is missing"},
    {"test-bench.json", "doctor", 1, "! the service Thermivo runs but has published no thermal"},
    {"test-bench.json", "doctor --json", 1, "\"id\": \"log_off\""},
};

class Celdorctl : public SimTest {};

TEST_F(Celdorctl, CommandLinesGiveWhatAPersonReads) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.notebook).substr(0, 40) + ": " + c.commands);
        nb().loadScenario(NotebookText(c.notebook));
        std::string line = c.commands;
        ToolResult result;
        for (std::size_t at = 0; at != std::string::npos;) {
            const std::size_t end = line.find(" ; ", at);
            result = Tool(Words(line.substr(at, end == std::string::npos ? end : end - at)));
            at = end == std::string::npos ? end : end + 3;
        }
        EXPECT_EQ(result.code, c.code) << result.err;
        EXPECT_NE((result.out + result.err).find(c.expected), std::string::npos)
            << result.out << result.err;
        EXPECT_EQ(result.err.empty(), result.code == 0) << result.err;
    }
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
    ToolResult run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--state", m_state.string()});
        return Tool(args, MachineUse::Attach);
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
    // A first run starts from the default notebook, with its drive.
    EXPECT_EQ(run({"status", "--json"}).json()["active_plan"], "Harlune Recommended");
    EXPECT_TRUE(fs::is_directory(m_state / "drive" / "C" / "Users" / "Alex" / "AppData" / "Local"));

    const fs::path unplugged = m_state / "given.json";
    std::ofstream(unplugged) << R"({"power_status": {"ac_line_status": 0}})";
    EXPECT_EQ(run({"--scenario", unplugged.string(), "status", "--json"}).json()["ac_power"],
              false);
    EXPECT_EQ(run({"status", "--json"}).json()["ac_power"], false);

    ASSERT_EQ(run({"reset"}).code, 0);
    EXPECT_EQ(run({"status", "--json"}).json()["ac_power"], true);
}

TEST_F(CeldorctlKeptState, ADamagedKeptNotebookIsReportedAndResetRecovers) {
    ASSERT_EQ(run({"status"}).code, 0);
    std::ofstream(m_state / "notebook.json") << R"({"fervo": {"present": "yes"}})";

    const ToolResult damaged = run({"status"});
    EXPECT_EQ(damaged.code, 1);
    EXPECT_NE(damaged.err.find("notebook.json"), std::string::npos) << damaged.err;
    EXPECT_NE(damaged.err.find("fervo.present"), std::string::npos) << damaged.err;
    EXPECT_NE(damaged.err.find("celdorctl reset"), std::string::npos) << damaged.err;

    EXPECT_EQ(run({"reset"}).code, 0);
    EXPECT_EQ(run({"status", "--json"}).code, 0);
}

// A command that only reads neither needs the state folder to be writable nor writes to it;
// one that changes the notebook is refused there, naming the folder, before anything changes.
TEST_F(CeldorctlKeptState, AFolderThatCannotBeWrittenIsReadButNotChanged) {
    blockKeeping();
    EXPECT_EQ(run({"status"}).code, 1) << "a new folder gets its notebook on the first run";
    EXPECT_FALSE(fs::exists(m_state / "drive"));
    unblockKeeping();

    ASSERT_EQ(run({"status"}).code, 0);
    const std::string unplugged = R"({"power_status": {"ac_line_status": 0}})"; // unlike a save
    std::ofstream(m_state / "notebook.json") << unplugged;
    blockKeeping();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"status", "--json"}, {"scenario", "show"}}) {
        const ToolResult result = run(args);
        EXPECT_EQ(result.code, 0) << result.err;
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"reset"}, {"--scenario", (m_state / "x").string(), "status"}}) {
        std::ofstream(m_state / "x") << "{}";
        const ToolResult result = run(args);
        EXPECT_EQ(result.code, 1);
        EXPECT_NE(result.err.find("state folder " + m_state.string() + " cannot be written"),
                  std::string::npos)
            << result.err;
    }
    EXPECT_EQ(kept(), unplugged);
}

} // namespace
