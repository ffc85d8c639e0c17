// celdorctl usb: always-on USB charging on AC (CUSBCharger) and from the battery
// (CUSBBatteryCharger): support and state, and switching either.
#include "../command.h"
#include "../output.h"
#include "common.h"

#include <celdor/usbcharger.h>

#include <memory>
#include <string>

namespace celdorctl {

namespace {

std::string StateName(int state) {
    return state == 1 ? "on" : state == 2 ? "off" : "unknown";
}

// One feature's support and state, as a JSON object and a readable text.
void AddFeatureRow(Report& report, const std::string& key, const std::string& label,
                   Celdor::CPowerFeatureBase& feature) {
    const bool supported = feature.IsSupport() == 1;
    const int state = feature.OpenOrClose();
    const bool known = supported && (state == 1 || state == 2);
    report.row(key, label,
               Json{{"supported", supported}, {"on", known ? Json(state == 1) : Json()}},
               supported ? "supported, " + StateName(state) : "not supported");
}

int Show(Context& context) {
    Celdor::CUSBCharger ac;
    Celdor::CUSBBatteryCharger battery;
    Report report;
    AddFeatureRow(report, "ac", "Always-on USB on AC", ac);
    AddFeatureRow(report, "battery", "Always-on USB from battery", battery);
    report.print(context.out, context.json);
    return 0;
}

int Set(Context& context, const std::string& which, const std::string& state) {
    Celdor::CUSBCharger ac;
    Celdor::CUSBBatteryCharger battery;
    Celdor::CPowerFeatureBase& feature =
        which == "ac" ? static_cast<Celdor::CPowerFeatureBase&>(ac) : battery;
    const bool on = state == "on";
    const bool supported = feature.IsSupport() == 1;
    const int sent = !supported ? 0 : on ? feature.OpenFeature() : feature.CloseFeature();
    const int now = feature.OpenOrClose();
    const bool known = supported && (now == 1 || now == 2);
    // A feature the notebook does not have is neither on nor off.
    const bool confirmed = known && now == (on ? 1 : 2);
    Report report;
    report
        .row("feature", "Feature", which,
             which == "ac" ? "always-on USB on AC" : "always-on USB from battery")
        .row("on", "State", known ? Json(now == 1) : Json(),
             supported ? StateName(now) : "not supported")
        .row("confirmed", "Confirmed", confirmed, confirmed ? "yes" : "no");
    std::string reason;
    if (!confirmed) {
        reason = DriverUnavailable();
        if (reason.empty()) {
            reason = !supported  ? "this notebook's firmware does not support it"
                     : sent == 0 ? "the driver refused the switch"
                                 : "the firmware did not report the change";
        }
        report.row("reason", "Reason", reason, reason);
    } else {
        report.detail("reason", nullptr);
    }
    report.print(context.out, context.json);
    if (!confirmed) {
        context.err << "celdorctl: always-on USB " << (which == "ac" ? "on AC" : "from battery")
                    << " did not turn " << state << ": " << reason << "\n";
        return 1;
    }
    return 0;
}

} // namespace

void AddUsbCommands(Commands& commands) {
    CLI::App* usb =
        commands.add("usb", "Always-on USB charging on AC and from battery: support and state",
                     Effect::Reads, Show);
    auto which = std::make_shared<std::string>();
    auto state = std::make_shared<std::string>();
    CLI::App* set = commands.add(
        "set", "Switch always-on USB charging on AC or from battery on or off", Effect::Changes,
        [which, state](Context& context) { return Set(context, *which, *state); }, usb);
    set->add_option("feature", *which, "ac or battery")
        ->required()
        ->transform(OneOf({"ac", "battery"}, "feature"));
    set->add_option("state", *state, "on or off")
        ->required()
        ->transform(OneOf({"on", "off"}, "state"));
}

} // namespace celdorctl
