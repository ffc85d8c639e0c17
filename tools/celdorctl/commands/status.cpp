// celdorctl status: the notebook's power situation at a glance.
#include "../command.h"
#include "../output.h"
#include "common.h"

#include <celdor/adapter.h>
#include <celdor/chargingmode.h>
#include <celdor/powerplan.h>
#include <celdor/usbcharger.h>

namespace celdorctl {

namespace {

// One always-on USB feature: whether the notebook has it, whether it is on (null when the
// firmware does not say), and that in a word.
struct Usb {
    Json json;
    std::string text;
};
Usb UsbState(Celdor::CPowerFeatureBase&& feature) {
    if (feature.IsSupport() != 1) {
        return {Json{{"supported", false}, {"on", nullptr}}, "not supported"};
    }
    const int state = feature.OpenOrClose();
    const bool known = state == 1 || state == 2;
    return {Json{{"supported", true}, {"on", known ? Json(state == 1) : Json()}}, !known ? "unknown"
                                                                                  : state == 1
                                                                                      ? "on"
                                                                                      : "off"};
}

void AddChargingRows(Report& report) {
    static const char* const kModes[] = {"normal", "storage", "express"};
    const std::string mode = kModes[Celdor::CChargingMode().GetChargingMode()];
    const std::optional<int> limit = StorageLimitPercent();
    const Usb ac = UsbState(Celdor::CUSBCharger());
    const Usb battery = UsbState(Celdor::CUSBBatteryCharger());
    report
        .row("charging_mode", "Charging mode", mode,
             limit ? mode + ", charge limited to " + std::to_string(*limit) + " %" : mode)
        .detail("charge_limit_percent", limit ? Json(*limit) : Json())
        .row("usb", "Always-on USB", Json{{"ac", ac.json}, {"battery", battery.json}},
             "on AC " + ac.text + ", from battery " + battery.text);
}

int Status(Context& context) {
    using Celdor::CAdapter;
    const std::optional<bool> ac = OnAcPower();
    const int adapterState = CAdapter::GetAdapterStatus();
    const bool detection = CAdapter::IsSupportAdapterModeDetect() == 1;
    const DriverProbe driver = ProbeDriver();

    Report report;
    report
        .row("ac_power", "Power", ac ? Json(*ac) : Json(),
             !ac   ? "unknown: the system does not say"
             : *ac ? "on AC power"
                   : "on battery")
        .row("adapter_state", "Adapter", adapterState < 0 ? Json() : Json(adapterState),
             (adapterState < 0 ? "" : std::to_string(adapterState) + "  ") +
                 AdapterStateText(adapterState, driver.present))
        .detail("adapter_state_text", AdapterStateText(adapterState, driver.present))
        .row("adapter_mode_detection", "Adapter mode detection", detection,
             detection ? "supported" : "not supported (or driver not available)")
        .row("driver_present", "Maker's driver", driver.present,
             driver.present ? "present (\\\\.\\FervoDrv)"
                            : "not available: \\\\.\\FervoDrv gives " + ErrorText(driver.error))
        .detail("driver_error", driver.present ? Json() : Json(driver.error));
    const ThermalSummary thermal = SummariseThermal();
    report
        .row("thermal_mode", "Thermal mode", thermal.mode ? Json(*thermal.mode) : Json(),
             thermal.text)
        .detail("thermal_service", thermal.service)
        .detail("thermal_service_state", thermal.serviceState);

    Celdor::CString plan;
    const bool planKnown = Celdor::CPowerScheme().GetActivePowerScheme(plan) == 1;
    report.row("active_plan", "Power plan", planKnown ? Json(plan.ToUtf8()) : Json(),
               planKnown ? plan.ToUtf8() : "unknown: the system did not say");
    AddChargingRows(report);
    AddBatteryItems(report.rows("batteries", "Batteries", "none present"), false);
    report.print(context.out, context.json);
    return 0;
}

} // namespace

void AddStatusCommands(Commands& commands) {
    commands.add("status",
                 "Power source, adapter, maker's driver, thermal mode, power plan, charging, "
                 "batteries",
                 Effect::Reads, Status);
}

} // namespace celdorctl
