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

    auto fixed = [](int value) {
        return value == -1 ? std::string("not reported by this notebook generation")
                           : std::string("reported");
    };
    Report report;
    report
        .row("is_ac_in", "IsACIn", acIn,
             Answer(acIn, acIn == 1 ? "AC power on line" : "AC power not on line"))
        .row("adapter_status", "GetAdapterStatus", state,
             Answer(state, AdapterStateText(state, driverPresent)))
        .row("is_support_adapter_mode_detect", "IsSupportAdapterModeDetect", detection,
             Answer(detection, detection == 1 ? "adapter mode detection supported (bit 0x80000)"
                                              : "adapter mode detection not reported"))
        .row("ac_adapter_type", "GetACAdapterType", type, Answer(type, fixed(type)))
        .row("adapter_wattage", "GetAdapterWattage", wattage, Answer(wattage, fixed(wattage)))
        .row("is_harlune_adapter", "IsHarluneAdapter", own, Answer(own, fixed(own)));
    report.print(context.out, context.json);
    return 0;
}

} // namespace

void AddAdapterCommands(Commands& commands) {
    commands.add("adapter", "Every answer of the AC adapter queries (CAdapter)", Effect::Reads,
                 Adapter);
}

} // namespace celdorctl
