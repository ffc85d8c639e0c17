// The simulated notebook behind the Win32 subset: the control side that tests, scenarios and
// tools use to arrange state, script the hardware and inspect what the library did.
//
// Exactly one notebook exists per process (Notebook::instance()). Every member is thread-safe:
// the Win32 functions and the control API share one lock.
#pragma once

#include "win32.h"

#include <celdor_models/firmware.h>
#include <celdor_models/firmware_setup.h>
#include <celdor_models/pack.h>
#include <celdor_models/services.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace celdor::sim {

// --- Text helpers ---------------------------------------------------------------------------

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
// Windows' case-insensitive comparison of names (registry keys, values, file names).
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);
std::u16string ToUpper(std::u16string_view text);

// --- Journal --------------------------------------------------------------------------------

// One simulated call, with the arguments that matter for it. Fields a function has no use for
// stay at their defaults.
struct Call {
    std::string function{};            // "CreateFileW", "DeviceIoControl", "RegOpenKeyExW", ...
    std::string target{};              // path, "HKLM\\key\\path", value name, device name (UTF-8)
    std::uint64_t handle = 0;          // handle the call worked on, or the one it returned
    DWORD code = 0;                    // control code, value type, seek method, ...
    DWORD access = 0;                  // desired access / REGSAM
    DWORD share = 0;                   // share mode
    DWORD disposition = 0;             // creation disposition / create-key disposition
    DWORD flags = 0;                   // flags and attributes / options
    std::vector<std::uint8_t> input{}; // input bytes (device requests, written data)
    std::string text{};                // further text (CreateDirectoryW: the descriptor in SDDL)
    DWORD inSize = 0;
    DWORD outSize = 0;
    std::int64_t result = 0; // BOOL, LSTATUS, HRESULT, size, or the handle value
    DWORD lastError = 0;     // thread's last error when the call returned
};

class Journal {
public:
    std::vector<Call> calls() const;
    // Calls of one function, in order.
    std::vector<Call> calls(std::string_view function) const;
    std::size_t count(std::string_view function) const;
    // The function names of every call, in order; handy for sequence assertions.
    std::vector<std::string> functions() const;
    void clear();
    // Recording can be switched off for long runs (benchmarks); a reset switches it on.
    void setEnabled(bool enabled);
    bool enabled() const;

    // Used by the platform layer.
    void record(Call call);

private:
    mutable std::mutex m_mutex;
    std::vector<Call> m_calls;
    std::atomic<bool> m_enabled = true; // read without the lock by every call
};

// --- Fault injection ------------------------------------------------------------------------

struct Fault {
    enum class Mode { Always, Once, Nth };
    Mode mode = Mode::Always;
    unsigned n = 1;                  // for Nth: fail the n-th matching call (1-based)
    DWORD error = ERROR_GEN_FAILURE; // last error, or the status a registry function returns
    std::string target; // if not empty, only calls whose target contains this (ASCII, any case)

    static Fault Always(DWORD error, std::string target = {});
    static Fault Once(DWORD error, std::string target = {});
    static Fault Nth(unsigned n, DWORD error, std::string target = {});
};

class Faults {
public:
    void inject(std::string function, Fault fault);
    void clear();
    bool armed() const; // whether any fault is waiting to fire

    // Used by the platform layer: the error to fail this call with, if a fault applies.
    std::optional<DWORD> check(std::string_view function, std::string_view target);

private:
    struct Armed {
        std::string function;
        Fault fault;
        unsigned seen = 0;
        bool spent = false;
    };
    mutable std::mutex m_mutex;
    std::vector<Armed> m_armed;
    std::atomic<std::size_t> m_count = 0; // of m_armed, read without the lock by every call
};

// --- Registry -------------------------------------------------------------------------------

enum class Hive { LocalMachine, CurrentUser };
const char* HiveName(Hive hive); // "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"

struct RegValue {
    DWORD type = REG_NONE;
    std::vector<std::uint8_t> data;

    static RegValue Dword(DWORD value);
    static RegValue Qword(std::uint64_t value);
    // A string value with its terminator, of type REG_SZ or REG_EXPAND_SZ.
    static RegValue String(std::u16string_view text, DWORD type = REG_SZ);
    static RegValue Binary(std::vector<std::uint8_t> bytes);
    std::optional<DWORD> asDword() const;
    // The text up to the first terminator (REG_SZ, REG_EXPAND_SZ).
    std::u16string asString() const;
};

class Registry {
public:
    // Key paths use backslashes and are case-insensitive, as on Windows.
    void createKey(Hive hive, std::u16string_view path);
    bool keyExists(Hive hive, std::u16string_view path) const;
    void deleteKeyTree(Hive hive, std::u16string_view path);
    // A read-only key refuses opens that ask for write access (ERROR_ACCESS_DENIED).
    void setReadOnly(Hive hive, std::u16string_view path, bool readOnly);

    // setValue creates the key when needed.
    void setValue(Hive hive, std::u16string_view path, std::u16string_view name, RegValue value);
    std::optional<RegValue> value(Hive hive, std::u16string_view path,
                                  std::u16string_view name) const;
    void deleteValue(Hive hive, std::u16string_view path, std::u16string_view name);
    // Back to a fresh installation: only the keys every Windows has (SOFTWARE, its
    // WOW6432Node, SYSTEM, HARDWARE; the user's Software and Environment), all empty.
    void clear();
    static bool isBaseKey(Hive hive, std::u16string_view path);

    // Enumeration, for saving: every key path under the hive (depth first, parents before
    // children, names as created), and the values of one key in the order they were created.
    std::vector<std::u16string> keyPaths(Hive hive) const;
    std::vector<std::pair<std::u16string, RegValue>> values(Hive hive,
                                                            std::u16string_view path) const;
    bool isReadOnly(Hive hive, std::u16string_view path) const;

    struct Key; // defined by the platform layer
    Registry();
    ~Registry();
    Key& root(Hive hive);
    const Key& root(Hive hive) const;
    std::shared_ptr<Key> rootPtr(Hive hive) const { return m_roots[static_cast<int>(hive)]; }
    // Both hives become a copy of `other`'s; handles open on the keys replaced see them
    // deleted, as after clear().
    void assign(const Registry& other);

private:
    void makeRoots();
    std::shared_ptr<Key> m_roots[2];
};

// --- The maker's control device "\\.\FervoDrv" ----------------------------------------------

struct FervoRequest {
    DWORD code = 0;
    std::vector<std::uint8_t> input; // the input bytes as sent
    DWORD inSize = 0;
    DWORD outSize = 0;
    bool succeeded = false;
    DWORD error = 0; // last error when it failed
};

// A scripted answer for one request: either a failure with a last-error code, or reply bytes
// (copied into the output buffer, at most outSize of them).
struct FervoReply {
    DWORD error = 0;
    std::vector<std::uint8_t> bytes;

    static FervoReply Fail(DWORD error);
    static FervoReply Bytes(std::vector<std::uint8_t> bytes);
    static FervoReply Word(std::uint32_t word); // little-endian 32-bit reply
};

// The maker's driver and the firmware behind it. Requests answer from the firmware model
// (models/firmware) at the notebook's virtual time unless a scripted reply is queued for them;
// scripted replies are consumed one per request, in order.
class FervoDevice {
public:
    bool present = true;
    DWORD openError = 0;        // non-zero: opening the device fails with this last error
    bool recordRequests = true; // keep the record of requests (off for long runs)

    // The firmware: its configuration (what this notebook offers) and its state. A reset
    // leaves a firmware that offers nothing. Take the notebook's lock to change it while other
    // threads make requests.
    celdor::models::firmware::Firmware& firmware() { return m_firmware; }
    // Configures the firmware and sets the modes given as on, at once.
    void configure(const celdor::models::firmware::Config& config,
                   std::initializer_list<celdor::models::firmware::Mode> on = {});
    // The notebook went through a hibernation and resumed.
    void hibernate();

    // Queue a reply for the next request with this code (and, when given, this first input
    // byte: the sub-command of the 1-byte commands).
    void script(DWORD code, std::optional<std::uint8_t> subCommand, FervoReply reply);
    void clearScripts();
    std::vector<FervoRequest> requests() const;
    void clearRequests();
    int openHandles() const { return m_openHandles; }

    // Used by the platform layer.
    std::optional<FervoReply> takeScript(DWORD code, const std::vector<std::uint8_t>& input);
    void record(FervoRequest request);
    void reset();
    int m_openHandles = 0;

private:
    celdor::models::firmware::Firmware m_firmware;
    struct Scripted {
        DWORD code;
        std::optional<std::uint8_t> subCommand;
        FervoReply reply;
    };
    std::vector<Scripted> m_scripts;
    std::vector<FervoRequest> m_requests;
};

// --- The maker's services ------------------------------------------------------------------

// What the security of the maker's services grants an interactive (standard) user: read their
// configuration, status and security, enumerate dependents, interrogate, and send the custom
// controls. Stopping, starting and reconfiguring need an administrator.
inline constexpr DWORD kServiceUserAccess = READ_CONTROL | SERVICE_QUERY_CONFIG |
                                            SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS |
                                            SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL;

// The services installed on the notebook, each run by its model on the virtual clock. A service
// changes as time passes: the platform brings the models up to the clock's tick whenever a
// program could see them (Sleep, every service call, registry reads).
class Services {
public:
    // Installs the service, replacing one installed before, in the state `config` describes as
    // of the clock's tick now. `userAccess` is what its security grants a standard user.
    void install(models::ServiceKind kind, models::ServiceConfig config = {},
                 DWORD userAccess = kServiceUserAccess);
    bool installed(models::ServiceKind kind) const;
    // The service as a configuration now (for saving), or nothing when it is not installed.
    std::optional<models::ServiceConfig> config(models::ServiceKind kind) const;
    DWORD userAccess(models::ServiceKind kind) const;
    void clear();

    // Used by the platform layer: the model brought up to the clock's tick, or null.
    models::ServiceModel* model(models::ServiceKind kind);
    void advance();
    // Starts a stopped service as its host does: from the values of its "Parameters" key over
    // the way it was installed (celdor_models/services.h). False when it is not stopped.
    bool start(models::ServiceKind kind);
    // Whether the service has run since the notebook started: installed in any state but
    // stopped, or started since.
    bool everStarted(models::ServiceKind kind) const;

private:
    struct Installed {
        models::ServiceModel model;
        DWORD userAccess;
        models::ServiceConfig installedAs;
        bool everStarted;
    };
    std::optional<Installed> m_installed[2];
};

// --- The battery class devices --------------------------------------------------------------

// A battery pack: one physical pack, held by the firmware model in the maker's numbering
// (models/firmware/pack.h). The battery class devices and the system power status report it to
// Windows, the maker's driver reads its smart-battery block; both views come from the same pack.
using BatteryPack = celdor::models::firmware::Pack;

// A battery device of the battery interface class: a battery bay, opened through its interface
// path, with or without a pack in it. Its tag names the pack that is in: every insertion gives a
// new one, as the battery class does.
struct BatteryDevice {
    std::u16string interfacePath; // "\\?\acpi#pnp0c0a#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}"
    bool inserted = true;
    std::uint32_t slot = 0; // the pack's number in the firmware
    ULONG tag = 0;          // while a pack is in; 0 (BATTERY_TAG_INVALID) otherwise
    // The device is there and its interface enabled. One that is not stays known to the system:
    // listed only without DIGCF_PRESENT, and it cannot be opened.
    bool present = true;
};

// The battery devices in the order the interface class enumerates them. The packs live in the
// firmware: the n-th bay added holds the firmware's pack n, so that bays added (or enumerated)
// in another order than the firmware counts give two numberings that disagree, as on machines
// whose interface paths sort the other way round.
class BatteryDevices {
public:
    // At most two bays; a third throws std::length_error.
    void add(std::u16string interfacePath, BatteryPack pack, bool inserted = true);
    std::size_t count() const { return m_devices.size(); }
    BatteryDevice& at(std::size_t index) { return m_devices.at(index); }
    // The pack of a bay (in the firmware).
    BatteryPack& pack(std::size_t index);
    // Takes the pack out of a bay, or puts it (back) in under a new tag.
    void eject(std::size_t index);
    void insert(std::size_t index);
    void clear();
    // The bays as the maker's device sets them up (celdor_models/firmware_setup.h): a driver's
    // own battery devices, under the interface paths "\\?\ROOT#BATTERY#000n#{...}", each pack
    // in under a new tag. A bay without a pack is a device that is not present.
    void configure(const celdor::models::firmware::PackSetup& setup);
    // The present device whose interface path, without its "\\?\" or "\\.\", is `name`; null
    // if none.
    BatteryDevice* find(std::u16string_view name);
    bool anyPresent() const;

    // While there are bays, GetSystemPowerStatus reports the packs (charge, run time, battery
    // flags) over the power status set on the notebook; a test that scripts those values
    // itself switches this off. A reset switches it on.
    bool systemStatusFromPacks = true;

private:
    std::vector<BatteryDevice> m_devices;
    ULONG m_lastTag = 0;
};

// --- Clock ----------------------------------------------------------------------------------

// Virtual time: Sleep advances it at once, GetTickCount64 and the wall clock read it.
struct Clock {
    std::uint64_t tickMs = 0;          // milliseconds since boot
    std::int64_t bootEpochSeconds = 0; // UTC wall-clock time at boot (Unix seconds)
    int utcOffsetMinutes = 0;          // local time = UTC + offset
    std::uint64_t sleeps = 0;          // number of Sleep calls, for tests
    std::uint64_t sleptMs = 0;         // total time slept

    std::int64_t nowEpochSeconds() const {
        return bootEpochSeconds + static_cast<std::int64_t>(tickMs / 1000);
    }
};

// --- Power schemes --------------------------------------------------------------------------

// One power plan as Windows keeps it: its identifier, its friendly name and the two display
// settings of its video subgroup, for AC power and for the battery.
struct PowerPlan {
    GUID guid{};
    std::u16string name;
    DWORD displayTimeoutAc = 600; // seconds until the display turns off; 0 means never
    DWORD displayTimeoutDc = 300;
    DWORD brightnessAc = 100; // display brightness, percent
    DWORD brightnessDc = 75;
};

// The machine's power plans, in the order Windows enumerates them, and the active one. Windows
// keeps one active plan for the whole machine, and a standard user may change it.
struct PowerSchemes {
    std::vector<PowerPlan> plans;
    GUID active{};
    unsigned created = 0; // duplicates given a GUID of the notebook's own series so far

    PowerPlan* find(const GUID& guid);
    // The plans every Windows installation has (Balanced, High performance, Power saver), with
    // Balanced active.
    void reset();
};

// "381b4222-f694-41f0-9685-ff5bb260df2e", and back (braces and either case accepted).
std::string GuidText(const GUID& guid);
std::optional<GUID> ParseGuid(std::string_view text);

// --- The system's own memory -----------------------------------------------------------------

// True while a Win32 function runs on the calling thread. What it allocates comes from the
// system's heap on Windows, never from the calling program's operator new, so a program that
// makes its own allocations fail (to test how it copes) leaves these alone.
bool InSystemCall();

// --- The notebook ---------------------------------------------------------------------------

// Handles of every kind the platform hands out, counted for leak checks.
enum class HandleKind { File, Device, RegistryKey, Allocation, Service, DeviceInfoList };
const char* HandleKindName(HandleKind kind);

class Notebook {
public:
    static Notebook& instance();

    // Everything back to an empty machine: no registry content, no driver, no battery devices,
    // AC on line, the power plans of a fresh Windows installation, empty file system, clock at
    // its defaults, journal and faults cleared. Handles still open stay counted, so a leak is
    // not hidden by a reset.
    void reset();
    // The same, but the files under the root stay as they are.
    void resetState();

    // The whole state but the files, the open handles and the journal: what a scenario sets.
    // Taken once and restored for every run, it stands in for loading the same scenario again
    // at a fraction of the cost. restore() leaves the journal empty and no fault armed, and the
    // user's profile folders made, as a load does.
    class Snapshot {
    public:
        struct State; // defined by the platform layer
        std::shared_ptr<const State> state;
    };
    Snapshot snapshot() const;
    void restore(const Snapshot& snapshot);

    // Scenario JSON (see docs/scenario.md). load replaces the whole state but the files (it
    // starts from resetState()); save captures it. load throws std::runtime_error with a
    // message naming the offending field.
    void loadScenario(std::string_view json);
    std::string saveScenario() const;

    // The folder that holds the simulated drives: "C:\x" is <root>/C/x. Chosen per process
    // (CELDOR_SIM_ROOT, or a fresh temporary folder removed at exit) unless set here.
    void setRoot(const std::filesystem::path& root);
    std::filesystem::path root() const;
    // The real path of a Windows path ("C:\Users\..."), or empty for devices and bad paths.
    std::filesystem::path hostPath(std::u16string_view windowsPath) const;
    // Removes every file and folder under the root.
    void clearFiles();

    // The user whose profile the known folders name: C:\Users\<userName>.
    std::u16string userName() const;
    void setUserName(std::u16string name);

    // Whether programs run elevated, as an administrator. By default they run as a standard
    // user, like the device-settings application: write access to HKEY_LOCAL_MACHINE keys and
    // changes to C:\Windows, C:\Program Files and the files in the root of C: are refused
    // with ERROR_ACCESS_DENIED. A reset goes back to a standard user.
    bool elevated() const;
    void setElevated(bool elevated);

    // Live state. Take the lock for compound changes made from several threads.
    std::recursive_mutex& mutex() { return m_mutex; }
    Registry& registry() { return m_registry; }
    FervoDevice& fervo() { return m_fervo; }
    BatteryDevices& batteries() { return m_batteries; }
    SYSTEM_POWER_STATUS& powerStatus() { return m_powerStatus; }
    Clock& clock() { return m_clock; }
    Services& services() { return m_services; }
    Journal& journal() { return m_journal; }
    PowerSchemes& powerSchemes() { return m_powerSchemes; }
    Faults& faults() { return m_faults; }

    // Moves the clock on by `ms` as time passing would: the battery packs charge or run down
    // and the services move on over the time.
    void advanceClock(std::uint64_t ms);

    // Accounting: how many handles of each kind are open now, and a readable list of them.
    int openCount(HandleKind kind) const;
    int openCount() const;
    std::vector<std::string> leaks() const;

    // Used by the platform layer to account for handles.
    void trackOpen(HandleKind kind, std::uint64_t id, std::string what);
    bool trackClose(HandleKind kind, std::uint64_t id);
    bool isOpen(HandleKind kind, std::uint64_t id) const;

private:
    Notebook();
    void resetStateLocked();
    void setDefaultsLocked();
    void makeProfileFolders(); // the user's AppData folders, with the lock held

    mutable std::recursive_mutex m_mutex;
    std::filesystem::path m_root;
    bool m_ownsRoot = false;
    std::u16string m_userName;
    bool m_elevated = false;
    Registry m_registry;
    FervoDevice m_fervo;
    BatteryDevices m_batteries;
    SYSTEM_POWER_STATUS m_powerStatus{};
    Clock m_clock;
    Services m_services;
    Journal m_journal;
    Faults m_faults;
    PowerSchemes m_powerSchemes;
    std::map<std::pair<HandleKind, std::uint64_t>, std::string> m_open;
};

} // namespace celdor::sim
