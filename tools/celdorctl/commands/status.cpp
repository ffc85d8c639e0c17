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

// One always-on USB feature in a word: "on", "off", "not supported" or "unknown".
std::string UsbState(Celdor::CPowerFeatureBase&& feature) {
    if (feature.IsSupport() != 1) {
        return "not supported";
    }
    const int state = feature.OpenOrClose();
    return state == 1 ? "on" : state == 2 ? "off" : "unknown";
}

void AddChargingRows(Report& report) {
    static const char* const kModes[] = {"normal", "storage", "express"};
    const std::string mode = kModes[Celdor::CChargingMode().GetChargingMode()];
    const std::optional<int> limit = StorageLimitPercent();
    const std::string ac = UsbState(Celdor::CUSBCharger());
    const std::string battery = UsbState(Celdor::CUSBBatteryCharger());
    report
        .row("charging_mode", "Charging mode", mode,
             limit ? mode + ", charge limited to " + std::to_string(*limit) + " %" : mode)
        .detail("charge_limit_percent", limit ? Json(*limit) : Json())
        .row("usb", "Always-on USB", Json{{"ac", ac}, {"battery", battery}},
             "on AC " + ac + ", from battery " + battery);
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
             !ac ? "unknown: the system does not say" : *ac ? "on AC power" : "on battery")
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
