// The "services" section: the maker's services that are installed, their state and how they
// answer their controls. The values they publish are registry values (the registry section).
#include "section.h"

#include <cstdio>
#include <limits>
#include <string>

namespace celdor::sim::scenario {

namespace {

using models::ControlHandling;
using models::ServiceConfig;
using models::ServiceKind;
using models::ServiceState;

constexpr std::uint64_t kMaxMs = std::numeric_limits<std::uint32_t>::max();

struct Named {
    const char* name;
    int value;
};
constexpr Named kStates[] = {{"stopped", static_cast<int>(ServiceState::Stopped)},
                             {"start_pending", static_cast<int>(ServiceState::StartPending)},
                             {"running", static_cast<int>(ServiceState::Running)}};
constexpr Named kHandlings[] = {{"apply", static_cast<int>(ControlHandling::Apply)},
                                {"ignore", static_cast<int>(ControlHandling::Ignore)},
                                {"reject", static_cast<int>(ControlHandling::Reject)}};

template <std::size_t N>
int ReadNamed(const Json& value, const std::string& where, const Named (&names)[N]) {
    const std::string text = ReadString(value, where);
    std::string list;
    for (const Named& named : names) {
        if (text == named.name) {
            return named.value;
        }
        list += (list.empty() ? "\"" : ", \"") + std::string(named.name) + "\"";
    }
    Fail(where, "expected one of " + list + ", got " + Shown(value));
}

template <std::size_t N> const char* NameOf(int value, const Named (&names)[N]) {
    for (const Named& named : names) {
        if (named.value == value) {
            return named.name;
        }
    }
    return "";
}

// A time in milliseconds, or "never".
std::optional<std::uint64_t> ReadTime(const Json& value, const std::string& where) {
    if (value == "never") {
        return std::nullopt;
    }
    if (!value.is_number_unsigned()) {
        Fail(where, "expected milliseconds from 0 to " + std::to_string(kMaxMs) +
                        " or \"never\", got " + Shown(value));
    }
    return ReadUnsigned(value, where, kMaxMs);
}

Json Time(const std::optional<std::uint64_t>& ms) {
    return ms ? Json(*ms) : Json("never");
}

std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

struct Setup {
    ServiceKind kind;
    ServiceConfig config;
    DWORD userAccess;
};

Setup LoadService(ServiceKind kind, const Json& object, const std::string& where) {
    ExpectObject(object, where);
    CheckMembers(object, where,
                 {"state", "user_access", "controls", "control_delay_ms", "wait_hint_ms",
                  "checkpoint", "checkpoint_every_ms", "running_after_ms", "stops_after_ms",
                  "pending_controls"});
    Setup setup{kind, ServiceConfig{}, kServiceUserAccess};
    ServiceConfig& config = setup.config;
    auto member = [&](const char* name) { return Member(where, name); };
    auto millis = [&](const char* name) {
        return static_cast<std::uint32_t>(ReadUnsigned(object[name], member(name), kMaxMs));
    };
    if (Find(object, "state")) {
        config.state =
            static_cast<ServiceState>(ReadNamed(object["state"], member("state"), kStates));
    }
    if (Find(object, "user_access")) {
        setup.userAccess = static_cast<DWORD>(
            ReadUnsigned(object["user_access"], member("user_access"), kMaxMs, true));
    }
    if (Find(object, "controls")) {
        config.controls = static_cast<ControlHandling>(
            ReadNamed(object["controls"], member("controls"), kHandlings));
    }
    if (Find(object, "control_delay_ms")) {
        config.controlDelayMs = millis("control_delay_ms");
    }
    if (Find(object, "wait_hint_ms")) {
        config.waitHintMs = millis("wait_hint_ms");
    }
    if (Find(object, "checkpoint")) {
        config.checkPoint = millis("checkpoint");
    }
    if (Find(object, "checkpoint_every_ms")) {
        config.checkpointEveryMs = millis("checkpoint_every_ms");
    }
    if (Find(object, "running_after_ms")) {
        config.runningAfterMs = ReadTime(object["running_after_ms"], member("running_after_ms"));
    }
    if (Find(object, "stops_after_ms")) {
        config.stopsAfterMs = ReadTime(object["stops_after_ms"], member("stops_after_ms"));
    }
    if (const Json* pending = Find(object, "pending_controls")) {
        const std::string at = member("pending_controls");
        if (!pending->is_array()) {
            Fail(at, "expected an array of {\"code\", \"in_ms\"}, got " + Shown(*pending));
        }
        for (std::size_t i = 0; i < pending->size(); ++i) {
            const Json& entry = ExpectObject((*pending)[i], Element(at, i));
            CheckMembers(entry, Element(at, i), {"code", "in_ms"});
            ServiceConfig::Pending control;
            control.code = static_cast<std::uint32_t>(
                ReadUnsigned(entry.value("code", Json()), Member(Element(at, i), "code"), 255));
            control.inMs =
                ReadUnsigned(entry.value("in_ms", Json()), Member(Element(at, i), "in_ms"), kMaxMs);
            config.pending.push_back(control);
        }
    }
    // A start that keeps making progress and never ends would keep its callers waiting.
    if (config.state == ServiceState::StartPending && config.checkpointEveryMs != 0 &&
        !config.runningAfterMs) {
        Fail(member("running_after_ms"),
             "a service whose checkpoint keeps growing must finish starting; give a time, or "
             "set checkpoint_every_ms to 0 for a start that hangs");
    }
    return setup;
}

Change LoadServices(const Json& section, const std::string& where) {
    ExpectObject(section, where);
    std::vector<Setup> setups;
    for (const auto& [name, value] : section.items()) {
        const auto kind = models::ServiceKindByName(name);
        if (!kind || name != models::ServiceName(*kind)) {
            Fail(Member(where, name), "unknown service (expected \"Thermivo\" or "
                                      "\"HarluneProcessManagement\")");
        }
        setups.push_back(LoadService(*kind, value, Member(where, name)));
    }
    return [setups](Notebook& nb) {
        for (const Setup& setup : setups) {
            nb.services().install(setup.kind, setup.config, setup.userAccess);
        }
    };
}

std::optional<Json> SaveServices(Notebook& nb) {
    Json out = Json::object();
    for (ServiceKind kind : {ServiceKind::Thermal, ServiceKind::ProcessManagement}) {
        const auto config = nb.services().config(kind);
        if (!config) {
            continue;
        }
        Json service = Json::object();
        service["state"] = NameOf(static_cast<int>(config->state), kStates);
        service["user_access"] = Hex32(nb.services().userAccess(kind));
        service["controls"] = NameOf(static_cast<int>(config->controls), kHandlings);
        service["control_delay_ms"] = config->controlDelayMs;
        service["wait_hint_ms"] = config->waitHintMs;
        service["checkpoint"] = config->checkPoint;
        service["checkpoint_every_ms"] = config->checkpointEveryMs;
        service["running_after_ms"] = Time(config->runningAfterMs);
        service["stops_after_ms"] = Time(config->stopsAfterMs);
        Json pending = Json::array();
        for (const auto& control : config->pending) {
            pending.push_back(Json{{"code", control.code}, {"in_ms", control.inMs}});
        }
        service["pending_controls"] = std::move(pending);
        out[models::ServiceName(kind)] = std::move(service);
    }
    return out;
}

} // namespace

extern const Section kServices{"services", LoadServices, SaveServices};

} // namespace celdor::sim::scenario
