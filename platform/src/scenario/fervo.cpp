// The "fervo" section: the maker's control device, its firmware's configuration (what this
// notebook offers) and the firmware's state, in named features and modes.
#include "section.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace celdor::sim::scenario {

namespace {

namespace fw = celdor::models::firmware;

struct Named {
    const char* name;
    std::uint32_t value;
};

const Named kFeatures[] = {
    {"express", fw::kExpress},
    {"storage", fw::kStorage},
    {"storage_80", fw::kStorage80},
    {"usb_on_ac", fw::kUsbOnAc},
    {"usb_on_battery", fw::kUsbOnBattery},
    {"night_charge", fw::kNightCharge},
    {"temporary_mode", fw::kTemporaryMode},
    {"adapter_mode_detection", fw::kAdapterModeDetection},
};

// The modes, in the order of fw::Mode, with the feature each needs.
struct ModeName {
    const char* name;
    fw::Mode mode;
    std::uint32_t feature;
};
const ModeName kModes[] = {
    {"express", fw::Mode::Express, fw::kExpress},
    {"storage", fw::Mode::Storage, fw::kStorage},
    {"storage_battery2", fw::Mode::Storage2, fw::kStorage},
    {"usb_on_ac", fw::Mode::UsbOnAc, fw::kUsbOnAc},
    {"usb_on_battery", fw::Mode::UsbOnBattery, fw::kUsbOnBattery},
    {"night_charge", fw::Mode::NightCharge, fw::kNightCharge},
};

const Named kCodes[] = {
    {"IOCTL_POWER_COMMAND", fw::kPowerCommand},
    {"IOCTL_USB_CHARGE_COMMAND", fw::kUsbChargeCommand},
    {"IOCTL_GET_SPEC_VERSION", fw::kGetSpecVersion},
    {"IOCTL_BTMC", fw::kBtmc},
    {"IOCTL_BNMC", fw::kBnmc},
    {"IOCTL_SMART_BATTERY_READ", fw::kSmartBatteryRead},
    {"IOCTL_BATTERY_FIRMWARE_INFO", fw::kBatteryFirmwareInfo},
    {"IOCTL_CHARGE_COMPLETION_TIME", fw::kChargeCompletionTime},
};

const Named kRefusals[] = {
    {"invalid_parameter", static_cast<std::uint32_t>(fw::Refusal::InvalidParameter)},
    {"not_supported", static_cast<std::uint32_t>(fw::Refusal::NotSupported)},
    {"busy", static_cast<std::uint32_t>(fw::Refusal::Busy)},
    {"not_ready", static_cast<std::uint32_t>(fw::Refusal::NotReady)},
};

template <typename Entry, std::size_t N>
const Entry& ReadName(const Json& value, const std::string& where, const Entry (&table)[N]) {
    const std::string name = ReadString(value, where);
    auto it = std::find_if(std::begin(table), std::end(table),
                           [&](const Entry& entry) { return name == entry.name; });
    if (it == std::end(table)) {
        std::string names;
        for (const Entry& entry : table) {
            names += (names.empty() ? "\"" : ", \"") + std::string(entry.name) + "\"";
        }
        Fail(where, "unknown name " + Shown(value) + " (expected one of: " + names + ")");
    }
    return *it;
}

template <std::size_t N> const char* NameOf(const Named (&table)[N], std::uint32_t value) {
    for (const Named& entry : table) {
        if (entry.value == value) {
            return entry.name;
        }
    }
    return nullptr;
}

// An array of names, each at most once.
template <typename Entry, std::size_t N>
std::vector<const Entry*> ReadNames(const Json& value, const std::string& where,
                                    const Entry (&table)[N]) {
    if (!value.is_array()) {
        Fail(where, "expected an array of names, got " + Shown(value));
    }
    std::vector<const Entry*> entries;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto* entry = &ReadName(value[i], Element(where, i), table);
        if (std::find(entries.begin(), entries.end(), entry) != entries.end()) {
            Fail(Element(where, i), "given twice");
        }
        entries.push_back(entry);
    }
    return entries;
}

void ReadRefusal(const Json& value, const std::string& where, fw::Config& config) {
    if (value.is_null()) {
        return;
    }
    ExpectObject(value, where);
    CheckMembers(value, where, {"code", "command", "error"});
    for (const char* field : {"code", "command", "error"}) {
        if (!Find(value, field)) {
            Fail(where, std::string("missing \"") + field + "\"");
        }
    }
    config.refusedCode = ReadName(value["code"], Member(where, "code"), kCodes).value;
    const Json& command = value["command"];
    config.refusedCommand = command.is_string() && command.get<std::string>() == "any"
                                ? fw::kAnyCommand
                                : static_cast<std::uint32_t>(ReadUnsigned(
                                      command, Member(where, "command"), 0xFFFFFFFE, true));
    config.refusal = ReadName(value["error"], Member(where, "error"), kRefusals).value;
}

fw::Config ReadConfig(const Json& section, const std::string& where) {
    ExpectObject(section, where);
    CheckMembers(section, where,
                 {"spec_version", "batteries", "supports", "switch_delay_ms", "refuses",
                  "loses_across_hibernation"});
    fw::Config config;
    if (auto* v = Find(section, "spec_version")) {
        config.specVersion =
            static_cast<std::uint32_t>(ReadUnsigned(*v, Member(where, "spec_version"), 0xFFFFFFF));
    }
    if (auto* v = Find(section, "batteries")) {
        config.batteries =
            static_cast<std::uint32_t>(ReadSigned(*v, Member(where, "batteries"), 1, 2));
    }
    if (auto* v = Find(section, "supports")) {
        for (const Named* feature : ReadNames(*v, Member(where, "supports"), kFeatures)) {
            config.features |= feature->value;
        }
    }
    if (auto* v = Find(section, "switch_delay_ms")) {
        config.switchDelayMs = v->is_string() && v->get<std::string>() == "never"
                                   ? fw::kNever
                                   : static_cast<std::uint32_t>(ReadUnsigned(
                                         *v, Member(where, "switch_delay_ms"), 0xFFFFFFFE));
    }
    if (auto* v = Find(section, "refuses")) {
        ReadRefusal(*v, Member(where, "refuses"), config);
    }
    if (auto* v = Find(section, "loses_across_hibernation")) {
        for (const ModeName* mode :
             ReadNames(*v, Member(where, "loses_across_hibernation"), kModes)) {
            config.lostAtHibernation |= fw::ModeBit(mode->mode);
        }
    }
    return config;
}

struct State {
    std::vector<fw::Mode> on;
    std::uint32_t adapterState = 0;
    std::uint32_t temporaryMode = 0;
    std::uint32_t firstSelector = 0; // of the smart-battery read
};

State ReadState(const Json& section, const std::string& where, const fw::Config& config) {
    ExpectObject(section, where);
    CheckMembers(section, where,
                 {"on", "adapter_state", "temporary_mode", "smart_battery_first_selector"});
    State state;
    if (auto* v = Find(section, "on")) {
        const std::string list = Member(where, "on");
        const auto modes = ReadNames(*v, list, kModes);
        for (std::size_t i = 0; i < modes.size(); ++i) {
            const ModeName& mode = *modes[i];
            if (!(config.features & mode.feature)) {
                Fail(Element(list, i), std::string("\"") + mode.name +
                                           "\" is on but the firmware does not support it");
            }
            if (mode.mode == fw::Mode::Storage2 && config.batteries != 2) {
                Fail(Element(list, i), "\"storage_battery2\" needs \"batteries\": 2");
            }
            state.on.push_back(mode.mode);
        }
    }
    if (auto* v = Find(section, "adapter_state")) {
        state.adapterState =
            static_cast<std::uint32_t>(ReadUnsigned(*v, Member(where, "adapter_state"), 3));
    }
    if (auto* v = Find(section, "temporary_mode")) {
        state.temporaryMode = static_cast<std::uint32_t>(
            ReadUnsigned(*v, Member(where, "temporary_mode"), 0x7FFFFFF));
    }
    if (auto* v = Find(section, "smart_battery_first_selector")) {
        state.firstSelector = static_cast<std::uint32_t>(
            ReadUnsigned(*v, Member(where, "smart_battery_first_selector"), 1));
    }
    return state;
}

Change LoadFervo(const Json& section, const std::string& where) {
    ExpectObject(section, where);
    CheckMembers(section, where, {"present", "open_error", "firmware", "state"});
    std::optional<bool> present;
    std::optional<DWORD> openError;
    if (auto* v = Find(section, "present")) {
        present = ReadBool(*v, Member(where, "present"));
    }
    if (auto* v = Find(section, "open_error")) {
        openError = static_cast<DWORD>(ReadUnsigned(*v, Member(where, "open_error"), 0xFFFFFFFF));
    }
    fw::Config config;
    if (auto* v = Find(section, "firmware")) {
        config = ReadConfig(*v, Member(where, "firmware"));
    }
    State state;
    if (auto* v = Find(section, "state")) {
        state = ReadState(*v, Member(where, "state"), config);
    }
    return [=](Notebook& nb) {
        FervoDevice& fervo = nb.fervo();
        fervo.present = present.value_or(fervo.present);
        fervo.openError = openError.value_or(fervo.openError);
        fw::Firmware& firmware = fervo.firmware();
        firmware.configure(config);
        for (fw::Mode mode : state.on) {
            firmware.set(mode, true);
        }
        firmware.setAdapterState(state.adapterState);
        firmware.setTemporaryMode(state.temporaryMode);
        firmware.setSelectorBase(state.firstSelector);
    };
}

Json SaveConfig(const fw::Config& config) {
    Json out = Json::object();
    out["spec_version"] = config.specVersion;
    out["batteries"] = config.batteries;
    Json supports = Json::array();
    for (const Named& feature : kFeatures) {
        if (config.features & feature.value) {
            supports.push_back(feature.name);
        }
    }
    out["supports"] = supports;
    out["switch_delay_ms"] =
        config.switchDelayMs == fw::kNever ? Json("never") : Json(config.switchDelayMs);
    const char* code = NameOf(kCodes, config.refusedCode);
    if (code) {
        char command[16];
        std::snprintf(command, sizeof command, "0x%02X", config.refusedCommand);
        out["refuses"] = {{"code", code},
                          {"command", config.refusedCommand == fw::kAnyCommand ? "any" : command},
                          {"error", NameOf(kRefusals, config.refusal)}};
    } else {
        out["refuses"] = nullptr;
    }
    Json lost = Json::array();
    for (const ModeName& mode : kModes) {
        if (config.lostAtHibernation & fw::ModeBit(mode.mode)) {
            lost.push_back(mode.name);
        }
    }
    out["loses_across_hibernation"] = lost;
    return out;
}

// A switch still in progress is saved as completed: by the next run its time has come. A
// switch that never shows is saved as not made.
std::optional<Json> SaveFervo(Notebook& nb) {
    FervoDevice& fervo = nb.fervo();
    const fw::Firmware& firmware = fervo.firmware();
    Json out = Json::object();
    out["present"] = fervo.present;
    out["open_error"] = fervo.openError;
    out["firmware"] = SaveConfig(firmware.config());
    Json on = Json::array();
    for (const ModeName& mode : kModes) {
        if (firmware.settled(mode.mode)) {
            on.push_back(mode.name);
        }
    }
    out["state"] = {{"on", on},
                    {"adapter_state", firmware.adapterState()},
                    {"temporary_mode", firmware.temporaryMode()}};
    if (firmware.selectorBase() != 0) {
        out["state"]["smart_battery_first_selector"] = firmware.selectorBase();
    }
    return out;
}

} // namespace

extern const Section kFervo{"fervo", LoadFervo, SaveFervo};

} // namespace celdor::sim::scenario
