#include "celdor_models/services.h"

#include <algorithm>

namespace celdor::models {

namespace {

constexpr const char* kNames[] = {"Thermivo", "HarluneProcessManagement"};

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
        return upper(x) == upper(y);
    });
}

bool InFamily(ServiceKind kind, std::uint32_t code) {
    using namespace thermal;
    using namespace dispatcher;
    switch (kind) {
    case ServiceKind::Thermal:
        return code == kDisable || code == kEnable || code == kCool || code == kHighPerformance ||
               code == thermal::kAutoOn || code == thermal::kAutoOff;
    case ServiceKind::ProcessManagement:
        return code == kIntelligent || code == kBatterySaving || code == kExtremePerformance ||
               code == dispatcher::kAutoOn || code == dispatcher::kAutoOff || code == kGeek;
    }
    return false;
}

void SetBits(ValueStore& store, const char* key, const char* name, std::uint32_t bits, bool on) {
    const std::uint32_t value = store.read(key, name).value_or(0);
    store.write(key, name, on ? value | bits : value & ~bits);
}

// The thermal service keeps its mode as a pair: the automatic setting (2 intelligent cooling,
// 1 a fixed mode, 0 off) and the fixed mode (1 cool, 3 high performance; 0 with intelligent
// cooling). The automatic transition is bit 1 of the AUTODETECT capability; switching it on
// also engages the iEPM mode (bit 0 of its current state).
void ApplyThermal(std::uint32_t code, ValueStore& store) {
    using namespace thermal;
    auto mode = [&](std::uint32_t automatic, std::optional<std::uint32_t> fixed) {
        store.write(kModeKey, "AutomaticModeSetting", automatic);
        if (fixed) {
            store.write(kModeKey, "CurrentSetting", *fixed);
        }
    };
    switch (code) {
    case kDisable:
        mode(0, std::nullopt);
        break;
    case kEnable:
        mode(2, 0);
        break;
    case kCool:
        mode(1, 1);
        break;
    case kHighPerformance:
        mode(1, 3);
        break;
    case kAutoOn:
    case kAutoOff:
        SetBits(store, kAutoDetectKey, "Capability", 0x2, code == kAutoOn);
        SetBits(store, kAutoDetectKey, "CurrentState", 0x1, code == kAutoOn);
        break;
    }
}

// The process-management service keeps one setting (0 intelligent, 1 battery saving, 3 extreme
// performance, 4 geek), written also to the "V" setting where its capability has that (bit
// 0x10). Its iEPM automatic transition is bit 1 of its settings word, switched on only where
// the hardware capability has it.
void ApplyDispatcher(std::uint32_t code, ValueStore& store) {
    using namespace dispatcher;
    auto setting = [&](std::uint32_t value) {
        store.write(kKey, "ITS_CurrentSetting", value);
        if (store.read(kKey, "ITS_FN_Capability").value_or(0) & 0x10) {
            store.write(kKey, "ITS_CurrentSettingV", value);
        }
    };
    switch (code) {
    case kIntelligent:
        setting(0);
        break;
    case kBatterySaving:
        setting(1);
        break;
    case kExtremePerformance:
        setting(3);
        break;
    case kGeek:
        setting(4);
        break;
    case kAutoOn:
        if (store.read(kKey, "ITS_SE_HWCapability").value_or(0) & 0x2) {
            SetBits(store, kKey, "ITS_SE_PelmarkSetting", 0x2, true);
        }
        break;
    case kAutoOff:
        SetBits(store, kKey, "ITS_SE_PelmarkSetting", 0x2, false);
        break;
    }
}

} // namespace

const char* ServiceName(ServiceKind kind) {
    return kNames[static_cast<int>(kind)];
}

std::optional<ServiceKind> ServiceKindByName(std::string_view name) {
    for (ServiceKind kind : {ServiceKind::Thermal, ServiceKind::ProcessManagement}) {
        if (EqualsIgnoreCase(name, ServiceName(kind))) {
            return kind;
        }
    }
    return std::nullopt;
}

std::string ParametersKey(ServiceKind kind) {
    return std::string("SYSTEM\\CurrentControlSet\\Services\\") + ServiceName(kind) +
           "\\Parameters";
}

ServiceConfig StartupConfig(ServiceKind kind, ValueStore& store, const ServiceConfig& installed) {
    const std::string key = ParametersKey(kind);
    auto read = [&](const char* name) { return store.read(key, name); };
    auto time = [](std::uint32_t ms) {
        return ms == kNeverMs ? std::nullopt : std::optional<std::uint64_t>(ms);
    };
    ServiceConfig config = installed;
    config.pending.clear();
    std::optional<std::uint64_t> runningAfter =
        installed.state == ServiceState::StartPending ? installed.runningAfterMs : 0;
    if (auto ms = read("RunningAfterMs")) {
        runningAfter = time(*ms);
    }
    if (auto ms = read("StopsAfterMs")) {
        config.stopsAfterMs = time(*ms);
    }
    config.waitHintMs = read("WaitHintMs").value_or(config.waitHintMs);
    config.checkPoint = read("CheckPoint").value_or(config.checkPoint);
    config.checkpointEveryMs = read("CheckpointEveryMs").value_or(config.checkpointEveryMs);
    config.controlDelayMs = read("ControlDelayMs").value_or(config.controlDelayMs);
    if (auto controls = read("Controls"); controls && *controls <= 2) {
        config.controls = static_cast<ControlHandling>(*controls);
    }
    config.state =
        runningAfter == std::uint64_t{0} ? ServiceState::Running : ServiceState::StartPending;
    config.runningAfterMs = runningAfter;
    return config;
}

void WriteStartupConfig(ServiceKind kind, const ServiceConfig& config, ValueStore& store) {
    const std::string key = ParametersKey(kind);
    auto time = [](const std::optional<std::uint64_t>& ms) {
        return ms ? static_cast<std::uint32_t>(std::min<std::uint64_t>(*ms, kNeverMs - 1))
                  : kNeverMs;
    };
    const bool pending = config.state == ServiceState::StartPending;
    store.write(key, "RunningAfterMs", pending ? time(config.runningAfterMs) : 0);
    store.write(key, "StopsAfterMs", time(config.stopsAfterMs));
    store.write(key, "WaitHintMs", config.waitHintMs);
    store.write(key, "CheckPoint", config.checkPoint);
    store.write(key, "CheckpointEveryMs", config.checkpointEveryMs);
    store.write(key, "ControlDelayMs", config.controlDelayMs);
    store.write(key, "Controls", static_cast<std::uint32_t>(config.controls));
}

ServiceModel::ServiceModel(ServiceKind kind, ServiceConfig config, std::uint64_t nowMs)
    : m_kind(kind), m_state(config.state), m_now(nowMs), m_waitHint(0), m_checkPoint(0),
      m_checkpointEvery(0), m_lastCheckpointAt(nowMs), m_controlDelay(config.controlDelayMs),
      m_controls(config.controls) {
    if (m_state == ServiceState::StartPending) {
        m_waitHint = config.waitHintMs;
        m_checkPoint = config.checkPoint;
        m_checkpointEvery = config.checkpointEveryMs;
        if (config.runningAfterMs) {
            m_runsAt = nowMs + *config.runningAfterMs;
        }
    }
    if (m_state != ServiceState::Stopped) {
        if (config.stopsAfterMs) {
            m_stopsAt = nowMs + *config.stopsAfterMs;
        }
        for (const auto& pending : config.pending) {
            m_due.push_back(Due{pending.code, nowMs + pending.inMs});
        }
        std::stable_sort(m_due.begin(), m_due.end(),
                         [](const Due& a, const Due& b) { return a.at < b.at; });
    }
}

void ServiceModel::advance(std::uint64_t nowMs, ValueStore& store) {
    auto growCheckpoint = [&](std::uint64_t until) {
        if (m_state == ServiceState::StartPending && m_checkpointEvery != 0 &&
            until > m_lastCheckpointAt) {
            const std::uint64_t steps = (until - m_lastCheckpointAt) / m_checkpointEvery;
            m_checkPoint += static_cast<std::uint32_t>(steps);
            m_lastCheckpointAt += steps * m_checkpointEvery;
        }
    };
    for (;;) {
        // The next thing to happen: the start completing, a change falling due, or the end.
        enum class Event { None, Start, Change, End } event = Event::None;
        std::uint64_t at = 0;
        auto consider = [&](Event what, std::uint64_t when) {
            if (event == Event::None || when < at) {
                event = what;
                at = when;
            }
        };
        if (m_state == ServiceState::StartPending && m_runsAt) {
            consider(Event::Start, *m_runsAt);
        }
        if (m_state == ServiceState::Running) {
            if (!m_due.empty()) {
                consider(Event::Change, m_due.front().at);
            }
            if (m_stopsAt) {
                consider(Event::End, *m_stopsAt);
            }
        }
        if (event == Event::None || at > nowMs) {
            break;
        }
        growCheckpoint(at);
        m_now = std::max(m_now, at);
        switch (event) {
        case Event::Start:
            m_state = ServiceState::Running;
            m_waitHint = 0;
            m_checkPoint = 0;
            break;
        case Event::Change:
            apply(m_due.front().code, store);
            m_due.erase(m_due.begin());
            break;
        case Event::End:
            stop(at);
            break;
        case Event::None:
            break;
        }
    }
    growCheckpoint(nowMs);
    m_now = std::max(m_now, nowMs);
}

ServiceStatus ServiceModel::status() const {
    return ServiceStatus{m_state, m_waitHint, m_checkPoint};
}

std::uint32_t ServiceModel::control(std::uint32_t code, std::uint64_t nowMs, ValueStore& store) {
    advance(nowMs, store);
    if (!InFamily(m_kind, code) || m_controls == ControlHandling::Reject) {
        return kControlNotImplemented;
    }
    if (m_controls == ControlHandling::Apply) {
        m_due.push_back(Due{code, m_now + m_controlDelay});
        advance(m_now, store); // a change without delay is made at once
    }
    return kControlAccepted;
}

void ServiceModel::stop(std::uint64_t nowMs) {
    m_now = std::max(m_now, nowMs);
    m_state = ServiceState::Stopped;
    m_waitHint = 0;
    m_checkPoint = 0;
    m_runsAt.reset();
    m_stopsAt.reset();
    m_due.clear();
}

ServiceConfig ServiceModel::config(std::uint64_t nowMs) const {
    const std::uint64_t now = std::max(nowMs, m_now);
    auto left = [&](std::uint64_t at) { return at > now ? at - now : 0; };
    ServiceConfig config;
    config.state = m_state;
    config.controlDelayMs = m_controlDelay;
    config.controls = m_controls;
    if (m_state == ServiceState::StartPending) {
        config.waitHintMs = m_waitHint;
        config.checkPoint = m_checkPoint;
        config.checkpointEveryMs = m_checkpointEvery;
        if (m_checkpointEvery != 0 && now > m_lastCheckpointAt) {
            config.checkPoint +=
                static_cast<std::uint32_t>((now - m_lastCheckpointAt) / m_checkpointEvery);
        }
        if (m_runsAt) {
            config.runningAfterMs = left(*m_runsAt);
        }
    }
    if (m_stopsAt) {
        config.stopsAfterMs = left(*m_stopsAt);
    }
    for (const Due& due : m_due) {
        config.pending.push_back(ServiceConfig::Pending{due.code, left(due.at)});
    }
    return config;
}

void ServiceModel::apply(std::uint32_t code, ValueStore& store) const {
    if (m_kind == ServiceKind::Thermal) {
        ApplyThermal(code, store);
    } else {
        ApplyDispatcher(code, store);
    }
}

} // namespace celdor::models
