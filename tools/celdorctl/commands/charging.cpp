// celdorctl charging: the charging mode and the further charging modes, as CChargingMode gives
// them to the host, with the mode recorded for the host and whether the firmware still has it.
#include "../command.h"
#include "../output.h"
#include "common.h"

#include <celdor/chargingmode.h>
#include <celdor/cstring.h>

#include <memory>
#include <string>

namespace celdorctl {

namespace {

using Celdor::CChargingMode;

const char* const kModes[] = {"normal", "storage", "express"};

std::string ModeName(int mode) {
    return mode >= 0 && mode <= 2 ? kModes[mode] : "unknown";
}

int ModeNumber(const std::string& name) {
    for (int mode = 0; mode <= 2; ++mode) {
        if (name == kModes[mode]) {
            return mode;
        }
    }
    return -1;
}

std::string Utf8(const WCHAR* text) {
    return Celdor::CString(text).ToUtf8();
}

// The mode recorded for the host under HKEY_CURRENT_USER, or nothing.
std::optional<std::string> RecordedMode() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, CChargingMode::ADDIN_KEY, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    WCHAR text[128] = {};
    DWORD size = sizeof text - sizeof(WCHAR);
    const LSTATUS status = RegQueryValueExW(key, CChargingMode::BATTERY_CHARGE_MODE_VALUE, nullptr,
                                            nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::optional(Utf8(text)) : std::nullopt;
}

std::string Supported(bool supported, const std::string& state = {}) {
    return supported ? "supported" + (state.empty() ? "" : ", " + state) : "not supported";
}

std::string OnOff(bool on) {
    return on ? "on" : "off";
}

// The bits of the firmware's power status word that tell each mode apart.
struct Firmware {
    bool answered = false;
    bool express = false;
    bool storage = false;
    int batteries = 1;
};

Firmware AskFirmware() {
    const std::optional<DWORD> word = PowerStatusWord();
    if (!word) {
        return {};
    }
    return Firmware{true, (*word & 0x4) != 0, (*word & 0x20) != 0, (*word & 0x4000) ? 2 : 1};
}

// GetTemporaryMode() in words.
std::string TemporaryText(int state) {
    switch (state) {
    case 1:
        return "off: charging follows the charging mode";
    case 2:
        return "on: the next charge goes to full once, whatever the mode";
    case 4:
        return "done: charged to full once; the mode applies again from the next unplug";
    default:
        return "unknown";
    }
}

void AddModeRow(Report& report, int mode, const Firmware& firmware) {
    const std::optional<int> limit = StorageLimitPercent();
    report
        .row("mode", "Charging mode", ModeName(mode),
             ModeName(mode) +
                 (limit ? ", charge limited to " + std::to_string(*limit) + " %" : std::string()) +
                 (firmware.answered ? "  (storage " + OnOff(firmware.storage) + ", express " +
                                          OnOff(firmware.express) + ")"
                                    : std::string("  (the firmware cannot be asked)")))
        .detail("mode_number", mode)
        .detail("charge_limit_percent", limit ? Json(*limit) : Json());
}

// The mode recorded for the host as a mode number, -1 for a text that is none of them.
int RecordedModeNumber(const std::string& recorded) {
    for (int mode = 0; mode <= 2; ++mode) {
        if (recorded == Utf8(CChargingMode::ChargeMode2Str(mode))) {
            return mode;
        }
    }
    return -1;
}

std::string DisagreementText(int mode, const std::string& recorded) {
    const int recordedMode = RecordedModeNumber(recorded);
    return "the firmware reports " + ModeName(mode) + " but " + recorded +
           " is recorded: the firmware lost the mode (as it does across hibernation); restore it "
           "with: celdorctl charging set " +
           ModeName(recordedMode < 0 ? 0 : recordedMode);
}

// The recorded mode and, when the firmware's differs, what happened and how to restore it.
void AddRecordRows(Report& report, int mode, bool recordedBefore) {
    const std::optional<std::string> recorded = RecordedMode();
    const std::string where = "HKEY_CURRENT_USER\\" + Utf8(CChargingMode::ADDIN_KEY) + ", " +
                              Utf8(CChargingMode::BATTERY_CHARGE_MODE_VALUE);
    const bool agrees = !recorded || RecordedModeNumber(*recorded) == mode;
    report
        .row("recorded_mode", "Recorded mode", recorded ? Json(*recorded) : Json(),
             (recorded ? *recorded : "none") + "  (" + where + ")" +
                 (recorded && !recordedBefore ? ", recorded as the library started" : ""))
        .detail("recorded_agrees", agrees);
    if (agrees) {
        report.detail("disagreement", nullptr);
        return;
    }
    const std::string text = DisagreementText(mode, *recorded);
    report.row("disagreement", "Disagreement", text, text);
}

int Show(Context& context) {
    const bool recordedBefore = RecordedMode().has_value();
    CChargingMode charging;
    const int mode = charging.GetChargingMode();
    const Firmware firmware = AskFirmware();
    const bool expressSupported = charging.DoesSupportRapidChargeMode() == 1;
    const bool storageSupported = charging.DoesSupportConservationMode() == 1;
    const int windowsBatteries = static_cast<int>(OsBatteries().Read().size());
    const bool nightSupported = CChargingMode::DoesSupportNightChargeMode() == 1;
    const int night = CChargingMode::GetNightChargeMode();
    const bool temporarySupported = CChargingMode::DoesSupportTemporaryMode() == 1;
    const int temporary = CChargingMode::GetTemporaryMode();
    const bool storage80 = CChargingMode::DoesSupportStorage80() == 1;
    const int version = CChargingMode::GetFvSpecVersion();

    Report report;
    AddModeRow(report, mode, firmware);
    auto on = [&](bool value) { return firmware.answered ? Json(value) : Json(); };
    auto onText = [&](bool value) { return firmware.answered ? OnOff(value) : "state unknown"; };
    report
        .row("express", "Express charging",
             Json{{"supported", expressSupported}, {"on", on(firmware.express)}},
             Supported(expressSupported, onText(firmware.express)))
        .row("storage", "Storage charging",
             Json{{"supported", storageSupported}, {"on", on(firmware.storage)}},
             Supported(storageSupported, onText(firmware.storage)))
        .row("batteries", "Batteries",
             Json{{"firmware", firmware.answered ? Json(firmware.batteries) : Json()},
                  {"windows", windowsBatteries}},
             (firmware.answered ? std::to_string(firmware.batteries) : std::string("unknown")) +
                 " as the firmware counts them, " + std::to_string(windowsBatteries) +
                 " found by Windows")
        .row("night_charge", "Night charge",
             Json{{"supported", nightSupported}, {"on", night == 0 ? Json() : Json(night == 1)}},
             Supported(nightSupported, night == 0 ? "state unknown" : OnOff(night == 1)))
        .row("temporary_mode", "Temporary mode",
             Json{{"supported", temporarySupported},
                  {"state", temporary == 0 ? Json() : Json(temporary)},
                  {"state_text", temporary == 0 ? Json() : Json(TemporaryText(temporary))}},
             Supported(temporarySupported, temporary == 0 ? "state unknown"
                                                          : std::to_string(temporary) + "  " +
                                                                TemporaryText(temporary)))
        .row("storage_80", "Storage-80", storage80, Supported(storage80))
        .row("driver_interface_version", "Driver interface version",
             version < 0 ? Json() : Json(version),
             version < 0 ? std::string("unknown: not reported") : std::to_string(version));
    AddRecordRows(report, mode, recordedBefore);
    report.print(context.out, context.json);
    return 0;
}

// Why a change was not confirmed: a row when there is a reason, null in JSON when there is none.
void AddReasonRow(Report& report, const std::string& reason) {
    if (reason.empty()) {
        report.detail("reason", nullptr);
    } else {
        report.row("reason", "Reason", reason, reason);
    }
}

// What keeps a requested mode from taking effect, as far as the tool can tell.
std::string Reason(const CChargingMode& charging, int requested) {
    if (std::string driver = DriverUnavailable(); !driver.empty()) {
        return driver;
    }
    if (requested == 2 && charging.DoesSupportRapidChargeMode() != 1) {
        return "this notebook's firmware does not support express charging";
    }
    return "the firmware did not report the mode within 10 reads, 50 ms apart; it may have "
           "refused the switch (the diagnostic log tells)";
}

int Set(Context& context, const std::string& name) {
    const int requested = ModeNumber(name);
    CChargingMode charging;
    const int mode = charging.SetChargingMode(requested);
    const bool confirmed = mode == requested;
    Report report;
    report.row("requested", "Requested mode", name, name);
    AddModeRow(report, mode, AskFirmware());
    report.row("confirmed", "Confirmed", confirmed, confirmed ? "yes" : "no");
    const std::string reason = confirmed ? "" : Reason(charging, requested);
    AddReasonRow(report, reason);
    AddRecordRows(report, mode, true);
    report.print(context.out, context.json);
    if (!confirmed) {
        context.err << "celdorctl: the firmware did not confirm " << name << ": " << reason << "\n";
        return 1;
    }
    return 0;
}

int Night(Context& context, const std::string& state) {
    const int requested = state == "on" ? 1 : 2; // the validator gives "on" or "off"
    const int result = CChargingMode::SetNightChargeMode(requested);
    const bool confirmed = result == requested;
    Report report;
    report
        .row("night_charge", "Night charge", result == 0 ? Json() : Json(result == 1),
             result == 0 ? std::string("unknown") : OnOff(result == 1))
        .row("confirmed", "Confirmed", confirmed, confirmed ? "yes" : "no");
    std::string reason;
    if (!confirmed) {
        reason = DriverUnavailable();
        if (reason.empty()) {
            reason = CChargingMode::DoesSupportNightChargeMode() == 1
                         ? "the firmware did not report the change within 10 reads, 50 ms apart"
                         : "this notebook's firmware does not support night charge";
        }
    }
    AddReasonRow(report, reason);
    report.print(context.out, context.json);
    if (!confirmed) {
        context.err << "celdorctl: night charge did not turn " << state << ": " << reason << "\n";
        return 1;
    }
    return 0;
}

} // namespace

std::optional<std::string> ChargingDisagreement() {
    const std::optional<std::string> recorded = RecordedMode();
    if (!recorded) {
        return std::nullopt;
    }
    const int mode = CChargingMode().GetChargingMode();
    return RecordedModeNumber(*recorded) == mode ? std::nullopt
                                                 : std::optional(DisagreementText(mode, *recorded));
}

std::optional<int> StorageLimitPercent() {
    const std::optional<DWORD> word = PowerStatusWord();
    if (!word || !(*word & 0x20)) {
        return std::nullopt;
    }
    // The firmware holds the charge at 80 % where it offers storage-80, else at 60 %.
    return CChargingMode::DoesSupportStorage80() == 1 ? 80 : 60;
}

void AddChargingCommands(Commands& commands) {
    CLI::App* charging =
        commands.add("charging",
                     "The charging mode, the further charging modes and the mode recorded for "
                     "the host (CChargingMode)",
                     Effect::Reads, Show);

    auto mode = std::make_shared<std::string>();
    commands
        .add(
            "set", "Switch the charging mode and confirm it", Effect::Changes,
            [mode](Context& context) { return Set(context, *mode); }, charging)
        ->add_option("mode", *mode, "normal, storage or express")
        ->required()
        ->transform(OneOf({"normal", "storage", "express"}, "mode"));

    auto night = std::make_shared<std::string>();
    commands
        .add(
            "night", "Switch night charge on or off and confirm it", Effect::Changes,
            [night](Context& context) { return Night(context, *night); }, charging)
        ->add_option("state", *night, "on or off")
        ->required()
        ->transform(OneOf({"on", "off"}, "state"));
}

} // namespace celdorctl
