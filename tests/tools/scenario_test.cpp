// Scenario files: the notebook saved to JSON and loaded back, and what a bad file is told.
#include "sim_test.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

using celdor::sim::Hive;
using celdor::sim::RegValue;
using Json = nlohmann::json;

namespace {

constexpr auto HKLM = Hive::LocalMachine;
constexpr auto HKCU = Hive::CurrentUser;

RegValue Raw(DWORD type, std::vector<std::uint8_t> bytes) {
    return RegValue{type, std::move(bytes)};
}

// The message a load fails with, or "" when it succeeds.
std::string LoadError(std::string_view text) {
    try {
        celdor::sim::Notebook::instance().loadScenario(text);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return {};
}

} // namespace

class Scenario : public SimTest {
protected:
    // A notebook that uses every part of the format, including values that only the raw-byte
    // form can carry.
    void arrangeEverything() {
        nb().setUserName(u"Zo\u00eb");
        nb().setElevated(true);
        nb().clock().tickMs = 123'456'789;
        nb().clock().bootEpochSeconds = 1'700'000'000;
        nb().clock().utcOffsetMinutes = -330;
        nb().powerStatus() = SYSTEM_POWER_STATUS{0, 255, 42, 1, 7200, 0xFFFFFFFF};
        nb().fervo().present = true;
        nb().fervo().openError = ERROR_ACCESS_DENIED;
        namespace fw = celdor::models::firmware;
        nb().fervo().configure({.features = fw::kExpress | fw::kStorage | fw::kAdapterModeDetection,
                                .specVersion = 184,
                                .batteries = 2,
                                .switchDelayMs = fw::kNever,
                                .lostAtHibernation = fw::ModeBit(fw::Mode::Storage),
                                .refusedCode = fw::kPowerCommand,
                                .refusedCommand = 0x0D,
                                .refusal = static_cast<std::uint32_t>(fw::Refusal::Busy)},
                               {fw::Mode::Express, fw::Mode::Storage2});
        nb().fervo().firmware().setAdapterState(3);
        nb().batteries().add(u"\\\\?\\ACPI#PNP0C0A#2#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}",
                             {.chemistry = "LiP", .designedCapacity = 45000, .cycleCount = 7},
                             false);

        auto& reg = nb().registry();
        reg.setValue(HKLM, u"Software\\Vendor\\App", u"Level", RegValue::Dword(0x400));
        reg.setValue(HKLM, u"Software\\Vendor\\App", u"", RegValue::String(u"default value"));
        reg.setValue(HKLM, u"Software\\Vendor\\App", u"Big", RegValue::Qword(0xFEDCBA9876543210));
        reg.setValue(HKLM, u"Software\\Vendor\\App", u"Path",
                     RegValue::String(u"%LOCALAPPDATA%\\Logs", REG_EXPAND_SZ));
        reg.setValue(HKLM, u"Software\\Vendor\\App", u"Blob", RegValue::Binary({0, 1, 0xFE, 0xFF}));
        reg.setValue(HKLM, u"Software\\Vendor\\App", u"List",
                     Raw(REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0, 0, 0}));
        // Data that does not fit its type's usual form.
        reg.setValue(HKCU, u"Software\\Odd", u"NoTerminator", Raw(REG_SZ, {'h', 0, 'i', 0}));
        reg.setValue(HKCU, u"Software\\Odd", u"ShortDword", Raw(REG_DWORD, {1, 2, 3}));
        reg.setValue(HKCU, u"Software\\Odd", u"LoneSurrogate", Raw(REG_SZ, {0x00, 0xD8, 0, 0}));
        reg.setValue(HKCU, u"Software\\Odd", u"Custom", Raw(0x20, {9, 8, 7}));
        reg.setValue(HKCU, u"Software\\Odd", u"Big-endian",
                     Raw(REG_DWORD_BIG_ENDIAN, {0x12, 0x34, 0x56, 0x78}));
        reg.createKey(HKCU, u"Software\\Empty\\Leaf");
        reg.createKey(HKCU, u"Software\\Locked\\Below");
        reg.setReadOnly(HKCU, u"Software\\Locked", true);
    }
};

// What is saved loads back into the same notebook: saving it again gives the same text.
TEST_F(Scenario, SavesValuesInTheirReadableFormsAndLoadsThemBack) {
    arrangeEverything();
    const std::string text = nb().saveScenario();
    nb().reset();
    nb().loadScenario(text);
    EXPECT_EQ(nb().saveScenario(), text);

    const Json saved = Json::parse(text);
    EXPECT_EQ(saved["user"], "Zo\u00eb");
    EXPECT_EQ(saved["clock"]["tick_ms"], 123'456'789);
    EXPECT_EQ(saved["clock"]["utc_offset_minutes"], -330);
    EXPECT_EQ(saved["power_status"]["battery_life_percent"], 42);
    EXPECT_EQ(saved["fervo"]["present"], true);
    EXPECT_EQ(saved["fervo"]["open_error"], ERROR_ACCESS_DENIED);

    EXPECT_EQ(saved["clock"]["boot_time"], "2023-11-14T22:13:20Z");
    EXPECT_EQ(saved["power_status"]["battery_flag"], "unknown");
    EXPECT_EQ(saved["power_status"]["battery_full_life_time"], "unknown");
    EXPECT_EQ(saved["fervo"]["firmware"], Json::parse(R"({"spec_version": 184, "batteries": 2,
        "supports": ["express", "storage", "adapter_mode_detection"], "switch_delay_ms": "never",
        "refuses": {"code": "IOCTL_POWER_COMMAND", "command": "0x0D", "error": "busy"},
        "loses_across_hibernation": ["storage"]})"));
    EXPECT_EQ(saved["fervo"]["state"], Json::parse(R"({"on": ["express", "storage_battery2"],
        "adapter_state": 3, "temporary_mode": 0})"));
    EXPECT_EQ(saved["elevated"], true);
    const Json& app = saved["registry"]["HKEY_LOCAL_MACHINE"]["SOFTWARE\\Vendor\\App"];
    EXPECT_EQ(app["Level"], Json::parse(R"({"type": "REG_DWORD", "data": 1024})"));
    EXPECT_EQ(app["Big"]["data"], 0xFEDCBA9876543210u);
    EXPECT_EQ(app["Path"]["data"], "%LOCALAPPDATA%\\Logs");
    EXPECT_EQ(app["Blob"]["data"], "00 01 fe ff");
    EXPECT_EQ(app["List"]["data"], Json::parse(R"(["a", "bc"])"));
    const Json& odd = saved["registry"]["HKEY_CURRENT_USER"]["Software\\Odd"];
    EXPECT_EQ(odd["NoTerminator"], Json::parse(R"({"type": "REG_SZ", "bytes": "68 00 69 00"})"));
    EXPECT_EQ(odd["Custom"]["type"], 0x20);
    EXPECT_EQ(odd["Big-endian"]["data"], 0x12345678);
    // Keys that only hold other keys are implied by them; a key with nothing in it is listed.
    const Json& hkcu = saved["registry"]["HKEY_CURRENT_USER"];
    EXPECT_FALSE(hkcu.contains("Software\\Empty"));
    EXPECT_EQ(hkcu["Software\\Empty\\Leaf"], Json::object());
    EXPECT_EQ(saved["registry"]["read_only"],
              Json::parse(R"(["HKEY_CURRENT_USER\\Software\\Locked"])"));
}

TEST_F(Scenario, AcceptsTheHandWrittenForms) {
    nb().loadScenario(R"({
        "power_status": {"ac_line_status": -1, "battery_life_time": -1},
        "fervo": {"present": true, "state": {"adapter_state": 3}},
        "power_plans": {"plans": [{"name": "Zo\u00eb",
            "guid": "{C0DE0001-1234-5678-9ABC-DEF012345678}", "brightness_dc": 5}]},
        "registry": {
            "HKEY_LOCAL_MACHINE": {
                "SOFTWARE\\Vendor": {
                    "Mask": {"type": "REG_DWORD", "data": "0x400"},
                    "Bits": {"type": "REG_BINARY", "data": "0102FF"},
                    "Raw": {"type": 4, "bytes": "05 00 00 00"}
                }
            }
        }
    })");
    EXPECT_EQ(nb().powerStatus().ACLineStatus, 255);
    EXPECT_EQ(nb().powerStatus().BatteryLifeTime, 0xFFFFFFFFu);
    EXPECT_EQ(nb().fervo().firmware().powerStatus(0), 0x18000u);
    // A plan needs only its GUID, in either form, and its name; the only plan is the active one.
    const auto& schemes = nb().powerSchemes();
    ASSERT_EQ(schemes.plans.size(), 1u);
    EXPECT_EQ(celdor::sim::GuidText(schemes.active), "c0de0001-1234-5678-9abc-def012345678");
    EXPECT_EQ(schemes.plans[0].name, u"Zo\u00eb");
    EXPECT_EQ(schemes.plans[0].displayTimeoutDc, 300u);
    EXPECT_EQ(schemes.plans[0].brightnessDc, 5u);
    auto& reg = nb().registry();
    // Names are found in any case, as on Windows.
    EXPECT_EQ(reg.value(HKLM, u"software\\VENDOR", u"mask")->asDword(), 0x400u);
    EXPECT_EQ(reg.value(HKLM, u"Software\\Vendor", u"Bits")->data,
              (std::vector<std::uint8_t>{1, 2, 0xFF}));
    EXPECT_EQ(reg.value(HKLM, u"Software\\Vendor", u"Raw")->asDword(), 5u);
}

TEST_F(Scenario, LoadReplacesTheStateButLeavesTheFiles) {
    nb().registry().setValue(HKCU, u"Software\\Before", u"V", RegValue::Dword(1));
    nb().fervo().present = true;
    nb().setElevated(true);
    const auto file = nb().root() / "C" / "kept.txt";
    std::ofstream(file) << "still here";

    nb().loadScenario(R"({"user": "Robin"})");

    EXPECT_FALSE(nb().registry().keyExists(HKCU, u"Software\\Before"));
    EXPECT_FALSE(nb().fervo().present);
    EXPECT_EQ(nb().userName(), u"Robin");
    EXPECT_FALSE(nb().elevated());
    EXPECT_FALSE(Json::parse(nb().saveScenario()).contains("elevated")) << "saved only when true";
    EXPECT_TRUE(std::filesystem::exists(file));
}

// A bad file is refused as a whole, naming what is wrong, and leaves the notebook as it was.
TEST_F(Scenario, RejectsBadInputNamingTheField) {
    struct Case {
        const char* json;
        const char* message; // part of the expected message
    };
    const std::string deep = std::string(200000, '[') + std::string(200000, ']');
    const Case cases[] = {
        {"{ \"user\": ", "not valid JSON"},
        {"[1, 2]", "expected a JSON object"},
        {R"({"battery": []})", "unknown section \"battery\""},
        {R"({"user": "a\\b"})", "user: expected a user name"},
        {R"({"elevated": "yes"})", "elevated: expected true or false"},
        {R"({"clock": {"tick": 5}})", "clock.tick: unknown field"},
        {R"({"clock": {"tick_ms": -5}})", "clock.tick_ms"},
        {R"({"clock": {"boot_time": "2026-02-30T00:00:00Z"}})", "clock.boot_time"},
        {R"({"clock": {"utc_offset_minutes": 900}})", "clock.utc_offset_minutes"},
        {R"({"power_status": {"battery_life_percent": 101}})", "power_status.battery_life_percent"},
        {R"({"power_status": {"ac_line_status": "online"}})", "power_status.ac_line_status"},
        {R"({"fervo": {"present": 1}})", "fervo.present: expected true or false"},
        {R"({"fervo": {"firmware": {"supports": ["turbo"]}}})", "fervo.firmware.supports[0]"},
        {R"({"fervo": {"firmware": {"batteries": 3}}})", "fervo.firmware.batteries"},
        {R"({"fervo": {"firmware": {"refuses": {"code": "IOCTL_POWER_COMMAND"}}}})",
         "missing \"command\""},
        {R"({"fervo": {"state": {"on": ["express"]}}})", "the firmware does not support it"},
        {R"({"fervo": {"firmware": {"supports": ["storage"]}, "state": {"on": ["storage_battery2"]}}})",
         "needs \"batteries\": 2"},
        {R"({"batteries": [{"interface": "C:\\battery"}]})", "batteries[0].interface"},
        {R"({"batteries": [{"interface": "\\\\?\\acpi#pnp0c0a#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}",
             "pack": {"chemistry": "LITHIUM"}}]})",
         "batteries[0].pack.chemistry"},
        {R"({"registry": {"HKEY_LOCAL_MACHIN": {}}})", "registry.HKEY_LOCAL_MACHIN: unknown field"},
        {R"({"registry": {"HKEY_CURRENT_USER": {"K": {"V": {"type": "REG_DWROD", "data": 1}}}}})",
         "registry.HKEY_CURRENT_USER.K.V.type"},
        {R"({"registry": {"HKEY_CURRENT_USER": {"K": {"V": {"type": "REG_DWORD", "data": 4294967296}}}}})",
         "registry.HKEY_CURRENT_USER.K.V.data"},
        {R"({"registry": {"HKEY_CURRENT_USER": {"K": {"V": {"type": "REG_SZ", "data": 7}}}}})",
         "K.V.data: expected a string"},
        {R"({"registry": {"HKEY_CURRENT_USER": {"K": {"V": {"type": "REG_BINARY", "data": "abc"}}}}})",
         "K.V.data: expected hexadecimal bytes"},
        {R"({"registry": {"HKEY_CURRENT_USER": {"K": {"V": {"type": "REG_MULTI_SZ", "data": ["a", ""]}}}}})",
         "K.V.data[1]"},
        {R"({"registry": {"HKEY_CURRENT_USER": {"K": {"V": {"type": "REG_SZ", "data": "x", "bytes": "00"}}}}})",
         "not both"},
        {R"({"registry": {"HKEY_CURRENT_USER": {"K": {"V": {"type": "REG_SZ"}}}}})",
         "missing \"data\""},
        {R"({"registry": {"HKEY_CURRENT_USER": {"K": {"V": {"type": "REG_SZ", "value": "x"}}}}})",
         "K.V.value: unknown field"},
        {R"({"registry": {"HKEY_CURRENT_USER": {"K": {"V": {"type": 32, "data": "x"}}}}})",
         "takes its contents as \"bytes\""},
        {R"({"registry": {"HKEY_CURRENT_USER": {"\\K": {}}}})", "HKEY_CURRENT_USER[\"\\\\K\"]"},
        {R"({"registry": {"HKEY_CURRENT_USER": {"A\\\\B": {}}}})", "single backslashes"},
        {R"({"registry": {"HKEY_CURRENT_USER": {"K": {"v": {"type": "REG_SZ", "data": "1"},
                                                      "V": {"type": "REG_SZ", "data": "2"}}}}})",
         "already given under another spelling"},
        {R"({"registry": {"read_only": ["HKLM\\Software"]}})", "registry.read_only[0]"},
        {R"({"power_plans": {"active": "00000000-0000-0000-0000-000000000001"}})",
         "power_plans.active: no plan"},
        {R"({"power_plans": {"plans": []}})", "expected a list of at least one plan"},
        {R"({"power_plans": {"plans": [{"guid": "381b4222-f694-41f0-9685-ff5bb260df2e", "name": "B"},
             {"guid": "381b4222-f694-41f0-9685-ff5bb260df2e", "name": "B"}]}})",
         "power_plans.plans[1].guid: the GUID"},
        {R"({"power_plans": {"plans": [{"guid": "381b4222-f694", "name": "B"}]}})",
         "plans[0].guid: expected a GUID"},
        {R"({"power_plans": {"plans": [{"guid": "381b4222-f694-41f0-9685-ff5bb260df2e",
             "name": "B", "brightness_ac": 101}]}})",
         "from 0 to 100"},
        {R"({"services": {"Spooler": {}}})", "services.Spooler: unknown service"},
        {R"({"services": {"Thermivo": {"state": "paused"}}})", "services.Thermivo.state"},
        {R"({"services": {"Thermivo": {"state": "start_pending", "checkpoint_every_ms": 5}}})",
         "must finish starting"},
        {R"({"services": {"Thermivo": {"pending_controls": [{"code": 300, "in_ms": 0}]}}})",
         "pending_controls[0].code"},
        {deep.c_str(), "nested deeper than 64 levels"},
        {R"({"clock": {"tick_ms": 1e400}})", "not valid JSON"},
        // Valid sections first, the mistake last: nothing of the file may be applied.
        {R"({"user": "Other", "fervo": {"present": false},
             "registry": {"HKEY_LOCAL_MACHINE": {"K": {"V": {"type": "REG_NOPE"}}}}})",
         "K.V.type"},
    };
    nb().registry().setValue(HKLM, u"Software\\Kept", u"V", RegValue::Dword(7));
    nb().fervo().present = true;
    const std::string before = nb().saveScenario();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        const std::string message = LoadError(c.json);
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        EXPECT_EQ(message.rfind("scenario: ", 0), 0u) << message;
        EXPECT_EQ(nb().saveScenario(), before);
    }
}
