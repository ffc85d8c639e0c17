// celdorctl adapter: every answer CAdapter gives, as the host application sees it.
#include "../command.h"
#include "../output.h"
#include "common.h"

#include <celdor/adapter.h>

#include <cstdio>

namespace celdorctl {

namespace {

std::string Answer(int value, const std::string& meaning) {
    char number[16];
    std::snprintf(number, sizeof number, "%3d  ", value);
    return number + meaning;
}

int Adapter(Context& context) {
    using Celdor::CAdapter;
    const int acIn = CAdapter::IsACIn();
    const int state = CAdapter::GetAdapterStatus();
    const int detection = CAdapter::IsSupportAdapterModeDetect();
    const int type = CAdapter::GetACAdapterType();
    const int wattage = CAdapter::GetAdapterWattage();
    const int own = CAdapter::IsHarluneAdapter();
    const bool driverPresent = ProbeDriver().present;

    auto known = [](int value) { return value == -1 ? Json() : Json(value); };
    const std::string fixed = "unknown: not reported by this notebook generation";
    Report report;
    report
        .row("ac_in", "IsACIn", acIn == 1,
             Answer(acIn, acIn == 1 ? "AC power on line" : "AC power not on line"))
        .row("adapter_state", "GetAdapterStatus", known(state),
             Answer(state, AdapterStateText(state, driverPresent)))
        .detail("adapter_state_text", AdapterStateText(state, driverPresent))
        .row("adapter_mode_detection", "IsSupportAdapterModeDetect", detection == 1,
             Answer(detection, detection == 1 ? "adapter mode detection supported (bit 0x80000)"
                                              : "adapter mode detection not reported"))
        .row("adapter_type", "GetACAdapterType", known(type), Answer(type, fixed))
        .row("adapter_wattage_w", "GetAdapterWattage", known(wattage), Answer(wattage, fixed))
        .row("own_adapter", "IsHarluneAdapter", known(own), Answer(own, fixed));
    report.print(context.out, context.json);
    return 0;
}

} // namespace

void AddAdapterCommands(Commands& commands) {
    commands.add("adapter", "Every answer of the AC adapter queries (CAdapter)", Effect::Reads,
                 Adapter);
}

} // namespace celdorctl
