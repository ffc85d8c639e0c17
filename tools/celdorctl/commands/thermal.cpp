// celdorctl thermal: the thermal modes through CIntelligentCooling, with the service that runs
// them. The family of operations follows the service in use: the thermal service's ITS
// operations, or the dispatcher operations of the process-management service.
#include "../command.h"
#include "../output.h"
#include "common.h"

#include <celdor/thermal.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace celdorctl {

namespace {

using Celdor::CIntelligentCooling;
using Mode = CIntelligentCooling::ITSMode;

// The modes as a person names them, in their numbers' order.
constexpr const char* kModeNames[] = {"off", "intelligent", "cool", "performance", "geek"};
constexpr const char* kValidModes = "off, intelligent, cool, performance, geek (or 0 to 4)";

std::string ModeName(int mode) {
    return mode >= 0 && mode <= 4 ? kModeNames[mode] : "mode " + std::to_string(mode);
}

std::optional<Mode> ParseMode(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (int mode = 0; mode <= 4; ++mode) {
        if (text == kModeNames[mode] || text == std::to_string(mode)) {
            return static_cast<Mode>(mode);
        }
    }
    return std::nullopt;
}

std::string ResultText(int result) {
    switch (result) {
    case CIntelligentCooling::ITS_RESULT_OK:
        return "done";
    case CIntelligentCooling::ITS_RESULT_NO_SERVICE:
        return "no service: the service manager or the service cannot be opened";
    case CIntelligentCooling::ITS_RESULT_SERVICE_NOT_RUNNING:
        return "the service is not running";
    case CIntelligentCooling::ITS_RESULT_CONTROL_FAILED:
        return "the service did not take the control";
    case CIntelligentCooling::ITS_RESULT_NO_REGISTRY:
        return "the service has published no state (its registry key is missing)";
    case CIntelligentCooling::ITS_RESULT_NO_DRIVER:
        return "the maker's driver is not available";
    default:
        return "result " + std::to_string(result);
    }
}

// The modes a capability value offers: bit 0 intelligent, bit 1 cool, bit 2 geek, bit 3
// performance; bit 4 tells of the process-management service's "V" setting.
std::vector<std::string> OfferedModes(int capability) {
    static const std::pair<int, const char*> kBits[] = {
        {0x1, "intelligent"}, {0x2, "cool"}, {0x8, "performance"}, {0x4, "geek"}};
    std::vector<std::string> modes;
    for (const auto& [bit, name] : kBits) {
        if (capability & bit) {
            modes.push_back(name);
        }
    }
    return modes;
}

std::string Join(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text.empty() ? "none" : text;
}

std::string Hex(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

// The service the library talks to, chosen as it chooses it, and what the service control
// manager says of it.
struct ServiceInUse {
    bool dispatcher = false;
    const char* name = "Thermivo";
    std::string state; // "running", "stopped", ..., or why it cannot be seen

    explicit ServiceInUse(CIntelligentCooling& cooling)
        : dispatcher(cooling.GetDispatcherVersion() >= 0x2000),
          name(dispatcher ? "HarluneProcessManagement" : "Thermivo"), state(Query(name)) {}

    std::string describe() const {
        return std::string(dispatcher ? "process-management service " : "thermal service ") + name +
               ", " + state;
    }

private:
    static std::string Query(const char* name) {
        SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        if (!manager) {
            return "unknown: the service manager cannot be opened (" + ErrorText(GetLastError()) +
                   ")";
        }
        std::basic_string<WCHAR> wide(name, name + std::char_traits<char>::length(name));
        SC_HANDLE service = OpenServiceW(manager, wide.c_str(), SERVICE_QUERY_STATUS);
        const DWORD error = GetLastError();
        CloseServiceHandle(manager);
        if (!service) {
            return error == ERROR_SERVICE_DOES_NOT_EXIST
                       ? "not installed"
                       : "cannot be opened (" + ErrorText(error) + ")";
        }
        SERVICE_STATUS_PROCESS status{};
        DWORD needed = 0;
        const BOOL ok =
            QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                                 sizeof status, &needed);
        CloseServiceHandle(service);
        if (!ok) {
            return "state unknown";
        }
        switch (status.dwCurrentState) {
        case SERVICE_RUNNING:
            return "running";
        case SERVICE_STOPPED:
            return "stopped";
        case SERVICE_START_PENDING:
            return "starting";
        case SERVICE_STOP_PENDING:
            return "stopping";
        default:
            return "state " + std::to_string(status.dwCurrentState);
        }
    }
};

struct Reading {
    int result = 0;
    int capability = 0;
    Mode mode = CIntelligentCooling::ITS_MODE_NONE;
};

Reading ReadMode(CIntelligentCooling& cooling, bool dispatcher) {
    Reading reading;
    reading.result = dispatcher ? cooling.GetDispatcherMode(reading.capability, reading.mode, 0, 1)
                                : cooling.GetITSMode(reading.capability, reading.mode);
    return reading;
}

Json Switch(int state) {
    return state < 0 ? Json() : Json(state == 1);
}

std::string SwitchText(int state) {
    return state < 0 ? "not available" : state == 1 ? "on" : "off";
}

int Show(Context& context) {
    CIntelligentCooling cooling;
    const ServiceInUse service(cooling);
    const Reading reading = ReadMode(cooling, service.dispatcher);
    const bool known = reading.result != CIntelligentCooling::ITS_RESULT_NO_REGISTRY;
    const int dispatcherVersion = cooling.GetDispatcherVersion();
    const int itsVersion = cooling.GetITSVersion();

    const std::vector<std::string> offered = OfferedModes(reading.capability);
    auto version = [](int v) { return v ? Json(v) : Json(); };
    Report report;
    report.row("service", "Service", service.name, service.describe())
        .detail("service_state", service.state)
        .row("dispatcher_version", "Dispatcher version", version(dispatcherVersion),
             dispatcherVersion ? Hex(dispatcherVersion) : "none")
        .row("its_version", "Thermal service version", version(itsVersion),
             itsVersion ? Hex(itsVersion) : "none")
        .row("mode", "Mode", known ? Json(ModeName(reading.mode)) : Json(),
             known ? ModeName(reading.mode) : "unknown")
        .detail("mode_number", known ? Json(reading.mode) : Json())
        .row("capability", "Modes offered", known ? Json(reading.capability) : Json(),
             known ? Join(offered) + "  (capability " + Hex(reading.capability) + ")" : "unknown")
        .detail("modes_offered", known ? Json(offered) : Json())
        .row("result", "Answer", reading.result,
             std::to_string(reading.result) + "  " + ResultText(reading.result))
        .detail("result_text", ResultText(reading.result));
    if (service.dispatcher) {
        const int automatic = cooling.IsDispatcheriEPMAutoTransitionEnabled();
        const bool greyed = cooling.ShouldGeekOptionGrey() == 1;
        report
            .row("auto_transition", "iEPM automatic transition", Switch(automatic),
                 SwitchText(automatic))
            .detail("iepm_mode", nullptr)
            .row("geek_option_greyed", "Geek option", greyed, greyed ? "greyed" : "offered");
    } else {
        const int automatic = cooling.IsAutoTransitionEnabled();
        const bool iepm = cooling.IsiEPMModeEnabled() == 1;
        report
            .row("auto_transition", "Automatic transition", Switch(automatic),
                 SwitchText(automatic))
            .row("iepm_mode", "iEPM mode", iepm, iepm ? "on" : "off")
            .detail("geek_option_greyed", nullptr);
    }
    report.print(context.out, context.json);
    return 0;
}

// A refused argument: the message and exit code 2, before anything is changed.
int Usage(Context& context, const std::string& message) {
    context.err << "celdorctl: " << message << "\n";
    return 2;
}

int Set(Context& context, const std::string& argument) {
    const std::optional<Mode> requested = ParseMode(argument);
    if (!requested) {
        return Usage(context,
                     "unknown thermal mode '" + argument + "'; the modes are " + kValidModes);
    }
    CIntelligentCooling cooling;
    const ServiceInUse service(cooling);
    Mode mode = *requested;
    const int result =
        service.dispatcher ? cooling.SetDispatcherMode(mode, 0, 1) : cooling.SetITSMode(mode);
    const bool confirmed = result == CIntelligentCooling::ITS_RESULT_OK && mode == *requested;
    const Reading now = ReadMode(cooling, service.dispatcher);
    const bool known = now.result != CIntelligentCooling::ITS_RESULT_NO_REGISTRY;

    Report report;
    report.row("service", "Service", service.name, service.describe())
        .row("requested", "Asked for", ModeName(*requested), ModeName(*requested))
        .row("mode", "Mode now", known ? Json(ModeName(now.mode)) : Json(),
             known ? ModeName(now.mode) : "unknown")
        .row("result", "Answer", result, std::to_string(result) + "  " + ResultText(result))
        .detail("result_text", ResultText(result))
        .row("confirmed", "Confirmed", confirmed, confirmed ? "yes" : "no");
    report.print(context.out, context.json);
    if (confirmed) {
        return 0;
    }
    context.err << "celdorctl: the change to " << ModeName(*requested) << " was not confirmed: "
                << (result == CIntelligentCooling::ITS_RESULT_OK
                        ? "the service reports " + ModeName(mode)
                        : "result " + std::to_string(result) + ", " + ResultText(result));
    // Each service has four of the five modes.
    if (*requested == (service.dispatcher ? CIntelligentCooling::ITS_MODE_NONE
                                          : CIntelligentCooling::ITS_MODE_GEEK)) {
        context.err << " (the " << service.name << " service has no " << ModeName(*requested)
                    << " mode)";
    }
    context.err << "\n";
    return 1;
}

int Auto(Context& context, const std::string& argument) {
    const int enable = argument == "on" ? 1 : 0;
    CIntelligentCooling cooling;
    const ServiceInUse service(cooling);
    const int result = service.dispatcher ? cooling.SetDispatcheriEPMAutoTransition(enable, 0)
                                          : cooling.SetITSAutoTransition(enable);
    const int now = service.dispatcher ? cooling.IsDispatcheriEPMAutoTransitionEnabled()
                                       : cooling.IsAutoTransitionEnabled();
    const bool confirmed = result == CIntelligentCooling::ITS_RESULT_OK && now == enable;

    Report report;
    report.row("service", "Service", service.name, service.describe())
        .row("auto_transition", "Automatic transition", Switch(now), SwitchText(now))
        .row("result", "Answer", result, std::to_string(result) + "  " + ResultText(result))
        .detail("result_text", ResultText(result))
        .row("confirmed", "Confirmed", confirmed, confirmed ? "yes" : "no");
    report.print(context.out, context.json);
    if (confirmed) {
        return 0;
    }
    context.err << "celdorctl: switching the automatic transition " << argument
                << " was not confirmed: "
                << (result == CIntelligentCooling::ITS_RESULT_OK
                        ? "the service reports it " + SwitchText(now)
                        : "result " + std::to_string(result) + ", " + ResultText(result))
                << "\n";
    return 1;
}

} // namespace

ThermalSummary SummariseThermal() {
    CIntelligentCooling cooling;
    const ServiceInUse service(cooling);
    const Reading reading = ReadMode(cooling, service.dispatcher);
    ThermalSummary summary{std::nullopt, service.name, service.state, {}};
    if (reading.result != CIntelligentCooling::ITS_RESULT_NO_REGISTRY) {
        summary.mode = ModeName(reading.mode);
    }
    summary.text = summary.mode.value_or("unknown") + " (" + service.describe() + ")";
    return summary;
}

void AddThermalCommands(Commands& commands) {
    CLI::App* thermal = commands.add(
        "thermal", "The thermal mode, automatic transition and the service that runs them",
        Effect::Reads, Show);
    auto mode = std::make_shared<std::string>();
    commands
        .add(
            "set", "Switch the thermal mode and wait for the service to confirm it",
            Effect::Changes, [mode](Context& context) { return Set(context, *mode); }, thermal)
        ->add_option("mode", *mode, std::string("The mode: ") + kValidModes)
        ->required();
    auto state = std::make_shared<std::string>();
    commands
        .add(
            "auto", "Switch the automatic transition on or off", Effect::Changes,
            [state](Context& context) { return Auto(context, *state); }, thermal)
        ->add_option("state", *state, "on or off")
        ->required()
        ->transform(OneOf({"on", "off"}, "state"));
}

} // namespace celdorctl
