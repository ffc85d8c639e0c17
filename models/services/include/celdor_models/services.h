// The maker's two services as programs: the thermal service "Thermivo" and the
// process-management service "HarluneProcessManagement".
//
// Each service publishes its state as DWORD values of its keys under HKEY_LOCAL_MACHINE and
// answers the custom control codes of its family by changing those values, after a delay. The
// model knows nothing of the system it runs on: its host passes the time in (milliseconds on
// any steady clock), hands it the control codes the service control manager lets through, reads
// its status back, and supplies the store the values are written to (the registry of the
// machine). The platform layer hosts it over the simulated notebook; a Windows service program
// can host it over the real registry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace celdor::models {

// Where a service keeps the values it publishes: keys under HKEY_LOCAL_MACHINE, named by their
// path ("SYSTEM\\CurrentControlSet\\Services\\..."), holding DWORD values.
class ValueStore {
public:
    virtual ~ValueStore() = default;
    // The value, or nothing when the key or the value is missing or is not a DWORD.
    virtual std::optional<std::uint32_t> read(std::string_view key, std::string_view name) = 0;
    // Creates the key when needed.
    virtual void write(std::string_view key, std::string_view name, std::uint32_t value) = 0;
};

enum class ServiceKind { Thermal, ProcessManagement };

// The service's name in the service control manager's database.
const char* ServiceName(ServiceKind kind);
std::optional<ServiceKind> ServiceKindByName(std::string_view name);

// The states a service reports, numbered as the service control manager numbers them.
enum class ServiceState : std::uint32_t {
    Stopped = 1,
    StartPending = 2,
    Running = 4,
};

struct ServiceStatus {
    ServiceState state = ServiceState::Stopped;
    std::uint32_t waitHint = 0;   // while pending: how long the next step should take, in ms
    std::uint32_t checkPoint = 0; // while pending: grows as the start makes progress
};

// How the service treats a control code of its own family.
enum class ControlHandling {
    Apply,  // changes its values once the control delay has passed
    Ignore, // accepts the control and never acts on it
    Reject, // refuses it, as a handler that does not implement it
};

// A service's setup and its state at one moment. The times are counted from that moment.
struct ServiceConfig {
    ServiceState state = ServiceState::Running;
    // While start-pending: the wait hint and checkpoint reported, how often the checkpoint
    // grows (0: it stalls), and when the service reports running (nothing: it never does).
    std::uint32_t waitHintMs = 0;
    std::uint32_t checkPoint = 0;
    std::uint32_t checkpointEveryMs = 0;
    std::optional<std::uint64_t> runningAfterMs{};
    // A started service ends (stops on its own) after this time; nothing: it keeps running.
    std::optional<std::uint64_t> stopsAfterMs{};
    // Time between a control and the change of the values it asks for.
    std::uint32_t controlDelayMs = 0;
    ControlHandling controls = ControlHandling::Apply;

    struct Pending {
        std::uint32_t code = 0;
        std::uint64_t inMs = 0; // until the change is made
        bool operator==(const Pending&) const = default;
    };
    // Accepted controls whose change is still to come, in the order they were sent.
    std::vector<Pending> pending{};

    bool operator==(const ServiceConfig&) const = default;
};

// The answer of a service's control handler.
inline constexpr std::uint32_t kControlAccepted = 0;
// ERROR_CALL_NOT_IMPLEMENTED: what a handler answers for a control it does not take.
inline constexpr std::uint32_t kControlNotImplemented = 120;

class ServiceModel {
public:
    ServiceModel(ServiceKind kind, ServiceConfig config, std::uint64_t nowMs);

    ServiceKind kind() const { return m_kind; }

    // Brings the service to the moment given: it finishes starting, stops, and makes the
    // changes that are due, in the order they fall due. Time never goes back; an earlier
    // moment changes nothing.
    void advance(std::uint64_t nowMs, ValueStore& store);
    ServiceStatus status() const;

    // A custom control code (128 to 255), delivered while the service runs. Returns the
    // handler's answer: kControlAccepted, or kControlNotImplemented for a code outside the
    // service's family or a service that refuses controls.
    std::uint32_t control(std::uint32_t code, std::uint64_t nowMs, ValueStore& store);
    // The service is told to stop (or its process ends): it stops at once and forgets the
    // changes still to come.
    void stop(std::uint64_t nowMs);

    // The service as a configuration at the moment given, from which it can be built again.
    // A start-pending service's checkpoint interval restarts from that moment.
    ServiceConfig config(std::uint64_t nowMs) const;

private:
    void apply(std::uint32_t code, ValueStore& store) const;

    ServiceKind m_kind;
    ServiceState m_state;
    std::uint64_t m_now;
    std::uint32_t m_waitHint;
    std::uint32_t m_checkPoint;
    std::uint32_t m_checkpointEvery;
    std::uint64_t m_lastCheckpointAt;       // when the checkpoint last grew (or pending began)
    std::optional<std::uint64_t> m_runsAt;  // absolute time
    std::optional<std::uint64_t> m_stopsAt; // absolute time
    std::uint32_t m_controlDelay;
    ControlHandling m_controls;
    struct Due {
        std::uint32_t code;
        std::uint64_t at;
    };
    std::vector<Due> m_due;
};

// How a service starts: what its host reads, each time the service is started, from DWORD values
// of the service's "Parameters" key, so that an installer or a test can set up a service that
// starts slowly, stalls or stops on its own. Each value present replaces the corresponding
// field of the service as it was installed:
//   "WaitHintMs", "CheckPoint", "CheckpointEveryMs"  as reported while starting
//   "RunningAfterMs"   when it reports running: 0 at once, kNeverMs never
//   "StopsAfterMs"     when it ends on its own after running; kNeverMs never
//   "ControlDelayMs"   time between a control and the change it asks for
//   "Controls"         0 applies them, 1 ignores them, 2 rejects them (ControlHandling)
inline constexpr std::uint32_t kNeverMs = 0xFFFFFFFF;
std::string ParametersKey(ServiceKind kind);
// The service as it starts from `installed` (a stopped or running service starts at once unless
// the values say otherwise). Controls still to come are not carried over.
ServiceConfig StartupConfig(ServiceKind kind, ValueStore& store,
                            const ServiceConfig& installed = {});
// Writes every value, so that a start reads `config` back whatever was installed.
void WriteStartupConfig(ServiceKind kind, const ServiceConfig& config, ValueStore& store);

// The keys and values the services publish, and the control codes they answer.
namespace thermal {
inline constexpr const char* kKey = "SYSTEM\\CurrentControlSet\\Services\\Thermivo\\Dovric\\IC";
inline constexpr const char* kModeKey =
    "SYSTEM\\CurrentControlSet\\Services\\Thermivo\\Dovric\\IC\\MMC";
inline constexpr const char* kAutoDetectKey =
    "SYSTEM\\CurrentControlSet\\Services\\Thermivo\\Dovric\\IC\\AUTODETECT";
inline constexpr std::uint32_t kDisable = 134, kEnable = 135, kCool = 146, kHighPerformance = 148,
                               kAutoOn = 154, kAutoOff = 155;
} // namespace thermal

namespace dispatcher {
inline constexpr const char* kKey =
    "SYSTEM\\CurrentControlSet\\Services\\HarluneProcessManagement\\Performance\\PowerSlider";
inline constexpr std::uint32_t kIntelligent = 163, kBatterySaving = 164, kExtremePerformance = 165,
                               kAutoOn = 170, kAutoOff = 171, kGeek = 172;
} // namespace dispatcher

} // namespace celdor::models
