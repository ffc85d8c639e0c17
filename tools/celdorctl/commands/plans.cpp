// celdorctl plans: the Windows power plans through CPowerScheme, the active plan's display
// settings for the current power source, and activating a plan by name.
#include "../command.h"
#include "../output.h"

#include <celdor/powerplan.h>

#include <algorithm>
#include <list>
#include <memory>
#include <string>

namespace celdorctl {

namespace {

using Celdor::CPowerScheme;
using Celdor::CString;

// "never", "45 seconds", "10 minutes", "1 hour 30 minutes".
std::string TimeoutText(int seconds) {
    if (seconds < 0) {
        return "unknown: the system did not say";
    }
    if (seconds == 0) {
        return "never";
    }
    std::string text;
    const struct {
        int size;
        const char* unit;
    } units[] = {{3600, "hour"}, {60, "minute"}, {1, "second"}};
    for (const auto& unit : units) {
        const int count = seconds / unit.size;
        seconds %= unit.size;
        if (count > 0) {
            text += (text.empty() ? "" : " ") + std::to_string(count) + " " + unit.unit +
                    (count == 1 ? "" : "s");
        }
    }
    return text;
}

// Which of a plan's two values apply now: its AC value on AC power, its battery value
// otherwise, as the library reads them.
struct PowerSource {
    const char* key;
    const char* text;
};
PowerSource CurrentPowerSource() {
    SYSTEM_POWER_STATUS status{};
    if (!GetSystemPowerStatus(&status) || status.ACLineStatus > 1) {
        return {"unknown", "unknown (the battery values apply)"};
    }
    return status.ACLineStatus == 1 ? PowerSource{"ac", "AC power"}
                                    : PowerSource{"battery", "battery"};
}

std::list<CString> PlanNames(CPowerScheme& schemes) {
    std::list<CString> names;
    schemes.GetPowerSchemeList(names);
    return names;
}

int Plans(Context& context) {
    CPowerScheme schemes;
    const std::list<CString> names = PlanNames(schemes);
    CString active;
    const bool known = schemes.GetActivePowerScheme(active) == 1;
    const int timeout = schemes.GetDisplayTimeOutValue();
    const int brightness = schemes.GetCurrentBrightness();
    const PowerSource source = CurrentPowerSource();

    Report report;
    report
        .row("active_plan", "Active plan", known ? Json(active.ToUtf8()) : Json(),
             known ? active.ToUtf8() : "unknown: the system did not say")
        .row("power_source", "Power source", source.key, source.text)
        .row("display_timeout_s", "Turn off display after", timeout < 0 ? Json() : Json(timeout),
             TimeoutText(timeout))
        .row("brightness_percent", "Display brightness", brightness < 0 ? Json() : Json(brightness),
             brightness < 0 ? "unknown: the system did not say"
                            : std::to_string(brightness) + " %");
    Report& plans = report.list("plans", "Power plans", "the system lists none");
    for (const CString& name : names) {
        const bool isActive = known && name == active;
        plans.item(name.ToUtf8(), isActive ? "active" : "available")
            .detail("name", name.ToUtf8())
            .detail("active", isActive);
    }
    report.print(context.out, context.json);
    return 0;
}

// Exit code 2 when no plan has the name (the names are listed), 1 when the system refused.
int SetPlan(Context& context, const std::string& wanted) {
    CPowerScheme schemes;
    const std::list<CString> names = PlanNames(schemes);
    const CString name = CString::FromUtf8(wanted);
    if (std::find(names.begin(), names.end(), name) == names.end()) {
        std::string list;
        for (const CString& known : names) {
            list += (list.empty() ? "'" : ", '") + known.ToUtf8() + "'";
        }
        context.err << "celdorctl: no power plan is named '" << wanted << "' (names are exact, "
                    << "case included); "
                    << (names.empty() ? "the system lists none" : "the plans are: " + list) << "\n";
        return 2;
    }
    if (schemes.SetActivePowerScheme(name) != 1) {
        throw CommandError("the system refused to activate the power plan '" + wanted + "'");
    }
    Report report;
    report.row("active_plan", "Active plan", wanted, wanted + " (activated)");
    report.print(context.out, context.json);
    return 0;
}

} // namespace

void AddPlansCommands(Commands& commands) {
    CLI::App* plans = commands.add(
        "plans", "The power plans, the active one, and its display time-out and brightness",
        Effect::Reads, Plans);
    auto name = std::make_shared<std::string>();
    CLI::App* set = commands.add(
        "set", "Activate the power plan with exactly this name", Effect::Changes,
        [name](Context& context) { return SetPlan(context, *name); }, plans);
    set->add_option("name", *name, "The plan's name, exactly as listed")->required();
}

} // namespace celdorctl
