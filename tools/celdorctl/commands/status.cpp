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
    const std::string ac = UsbState(Celdor::CUSBCharger());
    const std::string battery = UsbState(Celdor::CUSBBatteryCharger());
    report.row("charging_mode", "Charging mode", mode, mode)
        .row("usb", "Always-on USB", Json{{"ac", ac}, {"battery", battery}},
             "on AC " + ac + ", from battery " + battery);
}

int Status(Context& context) {
    using Celdor::CAdapter;
    const bool acIn = CAdapter::IsACIn() == 1;
    const int adapterState = CAdapter::GetAdapterStatus();
    const bool detection = CAdapter::IsSupportAdapterModeDetect() == 1;
    const DriverProbe driver = ProbeDriver();

    Report report;
    report.row("ac_power", "AC power", acIn, acIn ? "on line" : "not on line (battery or unknown)")
        .row("adapter_state", "Adapter state", adapterState,
             std::to_string(adapterState) + "  " + AdapterStateText(adapterState, driver.present))
        .row("adapter_mode_detection", "Adapter mode detection", detection,
             detection ? "supported" : "not supported (or driver not available)")
        .row("driver_present", "Maker's driver", driver.present,
             driver.present ? "present (\\\\.\\FervoDrv)"
                            : "not available: \\\\.\\FervoDrv gives " + ErrorText(driver.error))
        .detail("driver_error", driver.error);
    const ThermalSummary thermal = SummariseThermal();
    report
        .row("thermal_mode", "Thermal mode", thermal.mode ? Json(*thermal.mode) : Json(),
             thermal.text)
        .detail("thermal_service", thermal.service);

    Celdor::CString plan;
    const bool planKnown = Celdor::CPowerScheme().GetActivePowerScheme(plan) == 1;
    report.row("active_plan", "Power plan", planKnown ? Json(plan.ToUtf8()) : Json(),
               planKnown ? plan.ToUtf8() : "unknown: the system did not say");
    AddChargingRows(report);
    AddBatteryRows(report);
    report.print(context.out, context.json);
    return 0;
}

} // namespace

void AddStatusCommands(Commands& commands) {
    commands.add("status",
                 "AC power, adapter state, whether the maker's driver is there, the power plan",
                 Effect::Reads, Status);
}

} // namespace celdorctl
