// celdorctl doctor: every family checked at once, for a person whose notebook misbehaves. Each
// finding says what was found, what it means and what to do.
#include "../command.h"
#include "../output.h"
#include "common.h"

#include <celdor/batteryinformation.h>
#include <celdor/powerplan.h>

#include <list>
#include <string>
#include <vector>

namespace celdorctl {

namespace {

struct Finding {
    const char* id;
    std::string found;
    std::string meaning;
    std::string action;
};

void CheckDriver(std::vector<Finding>& findings) {
    if (const std::string missing = DriverUnavailable(); !missing.empty()) {
        findings.push_back(
            {"driver_missing", missing,
             "charging modes, always-on USB, battery health and the adapter state can neither be "
             "read nor changed",
             "reinstall the maker's driver package and restart the notebook"});
    }
}

void CheckThermal(std::vector<Finding>& findings) {
    const ThermalSummary thermal = SummariseThermal();
    if (thermal.serviceState != "running") {
        const bool starting = thermal.serviceState == "starting";
        findings.push_back({"thermal_service_not_running",
                            "the service " + thermal.service + " is " + thermal.serviceState,
                            "the thermal mode can be read but not changed",
                            starting ? "wait a minute and run celdorctl doctor again; if it is "
                                       "still starting, restart the notebook"
                                     : "start the service " + thermal.service +
                                           " (services.msc, as an administrator) or reinstall "
                                           "the maker's application"});
    } else if (!thermal.mode) {
        findings.push_back(
            {"thermal_service_not_answering",
             "the service " + thermal.service + " runs but has published no thermal state",
             "the thermal mode is unknown and a change cannot be confirmed",
             "restart the service " + thermal.service +
                 "; if it stays silent, reinstall the maker's application"});
    }
}

void CheckCharging(std::vector<Finding>& findings) {
    if (const std::optional<std::string> lost = ChargingDisagreement()) {
        findings.push_back({"charging_mode_lost", *lost,
                            "the battery charges in another mode than the one chosen",
                            "restore the chosen mode with the command above; if it happens after "
                            "every hibernation, update the notebook's firmware"});
    }
}

void CheckBatteries(std::vector<Finding>& findings) {
    Celdor::CBatteryInformation batteries;
    const int present = batteries.GetPreciseBatteryCount();
    const int count = batteries.GetBatteryCount();
    for (int i = 0; present > 0 && i < count; ++i) {
        Celdor::_BATTERY_INFORMATION_EX info;
        batteries.GetBatteryInformation(info, i);
        if (info.HealthPercent == Celdor::_BATTERY_INFORMATION_EX::NO_VALUE ||
            info.HealthPercent >= 80) {
            continue;
        }
        std::string found = "battery " + std::to_string(i) + " holds " +
                            std::to_string(info.HealthPercent) + " % of its design capacity";
        if (info.CycleCount != Celdor::_BATTERY_INFORMATION_EX::NO_VALUE) {
            found += " after " + std::to_string(info.CycleCount) + " charge cycles";
        }
        findings.push_back({"battery_worn", found,
                            "it runs down sooner than it did when new, and keeps wearing",
                            "plan to replace the battery; until then, storage mode slows the wear "
                            "on a notebook that is mostly plugged in (celdorctl charging set "
                            "storage)"});
    }
}

// The maker's application activates its own plan; without it, the application's power settings
// have nothing to act on.
void CheckPlans(std::vector<Finding>& findings) {
    const char* const kMakersPlan = "Harlune Recommended";
    std::list<Celdor::CString> names;
    Celdor::CPowerScheme().GetPowerSchemeList(names);
    for (const Celdor::CString& name : names) {
        if (name.ToUtf8() == kMakersPlan) {
            return;
        }
    }
    findings.push_back({"makers_plan_missing",
                        std::string("the power plan '") + kMakersPlan + "' is missing",
                        "the maker's application cannot switch to its own power settings",
                        "reinstall the maker's application, which creates the plan"});
}

void CheckLog(std::vector<Finding>& findings) {
    DWORD level = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      CELDOR_W("Software\\WOW6432Node\\Harlune\\PelmarkService\\FileLogger"), 0,
                      KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD size = sizeof level;
        DWORD type = 0;
        if (RegQueryValueExW(key, CELDOR_W("WriteLevel"), nullptr, &type,
                             reinterpret_cast<BYTE*>(&level), &size) != ERROR_SUCCESS ||
            type != REG_DWORD) {
            level = 0;
        }
        RegCloseKey(key);
    }
    if ((level & 0x700) == 0) {
        findings.push_back(
            {"log_off", "the diagnostic log is off (WriteLevel is 0 or not set)",
             "failed requests to the maker's driver leave no trace to diagnose them by",
             "as an administrator, set the DWORD WriteLevel under HKEY_LOCAL_MACHINE\\Software\\"
             "WOW6432Node\\Harlune\\PelmarkService\\FileLogger to 0x100 (errors) or 0x400 "
             "(everything)"});
    }
}

int Doctor(Context& context) {
    std::vector<Finding> findings;
    CheckDriver(findings);
    CheckThermal(findings);
    CheckCharging(findings);
    CheckBatteries(findings);
    CheckPlans(findings);
    CheckLog(findings);
    static const char* const kChecked[] = {"driver",  "thermal", "charging",
                                           "battery", "plans",   "log"};
    if (context.json) {
        Json out = {{"checked", kChecked}, {"findings", Json::array()}};
        for (const Finding& finding : findings) {
            out["findings"].push_back({{"id", finding.id},
                                       {"found", finding.found},
                                       {"meaning", finding.meaning},
                                       {"action", finding.action}});
        }
        context.out << out.dump(2) << "\n";
    } else if (findings.empty()) {
        context.out << "Nothing found: the maker's driver, the thermal service, the charging "
                       "mode, the batteries, the power plans and the diagnostic log are as "
                       "expected.\n";
    } else {
        for (const Finding& finding : findings) {
            context.out << "! " << finding.found << "\n"
                        << "  means:  " << finding.meaning << "\n"
                        << "  to do:  " << finding.action << "\n";
        }
    }
    if (findings.empty()) {
        return 0;
    }
    context.err << "celdorctl: " << findings.size()
                << (findings.size() == 1 ? " finding" : " findings") << "\n";
    return 1;
}

} // namespace

void AddDoctorCommands(Commands& commands) {
    commands.add("doctor", "Checks every family and tells what is wrong and what to do",
                 Effect::Reads, Doctor);
}

} // namespace celdorctl
