// The service control manager and the maker's services behind it. The services are models (see
// celdor_models/services.h) run on the virtual clock; this file gives them a database, handles,
// access checks and the advapi32 functions, with Windows' answers and last-error codes.
#include "internal.h"

#include <cstring>
#include <map>

namespace celdor::sim {

using models::ServiceKind;
using models::ServiceModel;

namespace {

// The services publish their values into the notebook's HKEY_LOCAL_MACHINE, as a service
// running as LocalSystem writes the machine's registry.
class RegistryStore : public models::ValueStore {
public:
    std::optional<std::uint32_t> read(std::string_view key, std::string_view name) override {
        auto value =
            detail::NB().registry().value(Hive::LocalMachine, Utf8ToUtf16(key), Utf8ToUtf16(name));
        return value && value->type == REG_DWORD ? value->asDword() : std::nullopt;
    }
    void write(std::string_view key, std::string_view name, std::uint32_t value) override {
        detail::NB().registry().setValue(Hive::LocalMachine, Utf8ToUtf16(key), Utf8ToUtf16(name),
                                         RegValue::Dword(value));
    }
};

RegistryStore& Store() {
    static RegistryStore store;
    return store;
}

std::uint64_t Now() {
    return detail::NB().clock().tickMs;
}

int Index(ServiceKind kind) {
    return static_cast<int>(kind);
}

} // namespace

void Services::install(ServiceKind kind, models::ServiceConfig config, DWORD userAccess) {
    auto lock = detail::LockNotebook();
    m_installed[Index(kind)].emplace(Installed{ServiceModel(kind, config, Now()), userAccess,
                                               config,
                                               config.state != models::ServiceState::Stopped});
}

bool Services::installed(ServiceKind kind) const {
    auto lock = detail::LockNotebook();
    return m_installed[Index(kind)].has_value();
}

// Not brought up to the clock first: a change that falls due now is saved as one still to come,
// so that it is not lost from a save that has written the registry already.
std::optional<models::ServiceConfig> Services::config(ServiceKind kind) const {
    auto lock = detail::LockNotebook();
    const auto& installed = m_installed[Index(kind)];
    return installed ? std::optional(installed->model.config(Now())) : std::nullopt;
}

DWORD Services::userAccess(ServiceKind kind) const {
    auto lock = detail::LockNotebook();
    const auto& installed = m_installed[Index(kind)];
    return installed ? installed->userAccess : 0;
}

void Services::clear() {
    auto lock = detail::LockNotebook();
    for (auto& installed : m_installed) {
        installed.reset();
    }
}

ServiceModel* Services::model(ServiceKind kind) {
    auto lock = detail::LockNotebook();
    advance();
    auto& installed = m_installed[Index(kind)];
    return installed ? &installed->model : nullptr;
}

void Services::advance() {
    auto lock = detail::LockNotebook();
    for (auto& installed : m_installed) {
        if (installed) {
            installed->model.advance(Now(), Store());
        }
    }
}

bool Services::start(ServiceKind kind) {
    auto lock = detail::LockNotebook();
    advance();
    auto& installed = m_installed[Index(kind)];
    if (!installed || installed->model.status().state != models::ServiceState::Stopped) {
        return false;
    }
    installed->model =
        ServiceModel(kind, models::StartupConfig(kind, Store(), installed->installedAs), Now());
    installed->everStarted = true;
    return true;
}

bool Services::everStarted(ServiceKind kind) const {
    auto lock = detail::LockNotebook();
    const auto& installed = m_installed[Index(kind)];
    return installed && installed->everStarted;
}

} // namespace celdor::sim

namespace celdor::sim::detail {

void AdvanceServices() {
    NB().services().advance();
}

} // namespace celdor::sim::detail

// --- advapi32 -------------------------------------------------------------------------------

using namespace celdor::sim;
using namespace celdor::sim::detail;
namespace models = celdor::models;
using models::ServiceKind;
using models::ServiceModel;

namespace {

// A handle to the manager or to one service, with the access it was opened with.
struct ScObject {
    std::optional<ServiceKind> service; // empty for the manager
    DWORD access = 0;
};

struct ScTable {
    std::map<std::uint64_t, ScObject> objects;
    std::uint64_t next = 0x5A0004;
};
ScTable& Table() {
    static ScTable table;
    return table;
}

const ScObject* Find(SC_HANDLE handle) {
    auto& objects = Table().objects;
    auto it = objects.find(HandleId(handle));
    return it == objects.end() ? nullptr : &it->second;
}

SC_HANDLE NewHandle(ScObject object, const std::string& what) {
    auto& table = Table();
    const std::uint64_t id = table.next;
    table.next += 4;
    table.objects.emplace(id, object);
    NB().trackOpen(HandleKind::Service, id, what);
    return reinterpret_cast<SC_HANDLE>(id);
}

// The specific rights that the generic ones stand for, and MAXIMUM_ALLOWED as all that is
// granted.
DWORD MapAccess(DWORD desired, DWORD granted, DWORD read, DWORD write, DWORD execute, DWORD all) {
    DWORD specific =
        desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
    specific |= (desired & GENERIC_READ) ? read : 0;
    specific |= (desired & GENERIC_WRITE) ? write : 0;
    specific |= (desired & GENERIC_EXECUTE) ? execute : 0;
    specific |= (desired & GENERIC_ALL) ? all : 0;
    specific |= (desired & MAXIMUM_ALLOWED) ? granted : 0;
    return specific;
}

// What the manager grants: authenticated users may connect, enumerate services and query the
// lock status; administrators may do everything.
constexpr DWORD kManagerUserAccess =
    READ_CONTROL | SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;

DWORD ManagerAccess(DWORD desired, DWORD granted) {
    return MapAccess(
        desired, granted,
        STANDARD_RIGHTS_READ | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS,
        STANDARD_RIGHTS_WRITE | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG,
        STANDARD_RIGHTS_EXECUTE | SC_MANAGER_CONNECT | SC_MANAGER_LOCK, SC_MANAGER_ALL_ACCESS);
}

DWORD ServiceAccess(DWORD desired, DWORD granted) {
    return MapAccess(desired, granted,
                     STANDARD_RIGHTS_READ | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS |
                         SERVICE_INTERROGATE | SERVICE_ENUMERATE_DEPENDENTS,
                     STANDARD_RIGHTS_WRITE | SERVICE_CHANGE_CONFIG,
                     STANDARD_RIGHTS_EXECUTE | SERVICE_START | SERVICE_STOP |
                         SERVICE_PAUSE_CONTINUE | SERVICE_USER_DEFINED_CONTROL,
                     SERVICE_ALL_ACCESS);
}

bool SameText(const WCHAR* text, std::u16string_view expected) {
    return EqualsIgnoreCase(text, expected);
}

// The status the manager reports for a service. A service whose model is gone (a notebook
// without it loaded while a handle stays open) reads as stopped and never started.
SERVICE_STATUS_PROCESS StatusOf(ServiceKind kind) {
    SERVICE_STATUS_PROCESS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = SERVICE_STOPPED;
    // A service that has not run since the machine started says so in its exit code.
    if (!NB().services().everStarted(kind)) {
        status.dwWin32ExitCode = ERROR_SERVICE_NEVER_STARTED;
    }
    if (const ServiceModel* model = NB().services().model(kind)) {
        const models::ServiceStatus now = model->status();
        status.dwCurrentState = static_cast<DWORD>(now.state);
        status.dwCheckPoint = now.checkPoint;
        status.dwWaitHint = now.waitHint;
        if (now.state == models::ServiceState::Running) {
            status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
        }
        if (now.state != models::ServiceState::Stopped) {
            // Each service runs in a process of its own.
            status.dwProcessId = kind == ServiceKind::Thermal ? 2316 : 3048;
        }
    }
    return status;
}

void CopyStatus(const SERVICE_STATUS_PROCESS& from, LPSERVICE_STATUS to) {
    to->dwServiceType = from.dwServiceType;
    to->dwCurrentState = from.dwCurrentState;
    to->dwControlsAccepted = from.dwControlsAccepted;
    to->dwWin32ExitCode = from.dwWin32ExitCode;
    to->dwServiceSpecificExitCode = from.dwServiceSpecificExitCode;
    to->dwCheckPoint = from.dwCheckPoint;
    to->dwWaitHint = from.dwWaitHint;
}

// The right a control needs, or 0 for a code the service control manager does not send for an
// application: codes 128 to 255 are the service's own, the rest are the system's.
DWORD RightForControl(DWORD control) {
    if (control >= 128 && control <= 255) {
        return SERVICE_USER_DEFINED_CONTROL;
    }
    switch (control) {
    case SERVICE_CONTROL_STOP:
        return SERVICE_STOP;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
    case SERVICE_CONTROL_PARAMCHANGE:
    case SERVICE_CONTROL_NETBINDADD:
    case SERVICE_CONTROL_NETBINDREMOVE:
    case SERVICE_CONTROL_NETBINDENABLE:
    case SERVICE_CONTROL_NETBINDDISABLE:
        return SERVICE_PAUSE_CONTINUE;
    case SERVICE_CONTROL_INTERROGATE:
        return SERVICE_INTERROGATE;
    default:
        return 0;
    }
}

std::string Describe(SC_HANDLE handle) {
    const ScObject* object = Find(handle);
    if (!object) {
        return {};
    }
    return object->service ? models::ServiceName(*object->service) : "ServicesActive";
}

// Ends a call that failed with `error` as its last error.
template <typename Result> Result Fail(Call& call, DWORD error, Result failed) {
    SetLastError(error);
    return Finish(call, failed);
}

} // namespace

SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName,
                                DWORD dwDesiredAccess) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    AdvanceServices();
    Call call{.function = "OpenSCManagerW",
              .target = lpDatabaseName ? Narrow(lpDatabaseName) : "ServicesActive",
              .access = dwDesiredAccess};
    SC_HANDLE none = nullptr;
    if (auto error = Injected("OpenSCManagerW", call.target)) {
        return Fail(call, *error, none);
    }
    if (lpMachineName && *lpMachineName) {
        return Fail(call, RPC_S_SERVER_UNAVAILABLE, none); // no other computer is reachable
    }
    if (lpDatabaseName && !SameText(lpDatabaseName, SERVICES_ACTIVE_DATABASEW)) {
        return Fail(call,
                    SameText(lpDatabaseName, SERVICES_FAILED_DATABASEW)
                        ? ERROR_DATABASE_DOES_NOT_EXIST
                        : ERROR_INVALID_NAME,
                    none);
    }
    const DWORD granted = NB().elevated() ? SC_MANAGER_ALL_ACCESS : kManagerUserAccess;
    // Connecting is implied by opening the manager at all.
    const DWORD wanted = ManagerAccess(dwDesiredAccess, granted) | SC_MANAGER_CONNECT;
    if ((wanted & ~granted) != 0) {
        return Fail(call, ERROR_ACCESS_DENIED, none);
    }
    SC_HANDLE handle = NewHandle(ScObject{std::nullopt, wanted}, "service control manager");
    call.handle = HandleId(handle);
    SetLastError(ERROR_SUCCESS);
    return Finish(call, handle);
}

SC_HANDLE WINAPI OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD dwDesiredAccess) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    AdvanceServices();
    Call call{.function = "OpenServiceW",
              .target = lpServiceName ? Narrow(lpServiceName) : "",
              .access = dwDesiredAccess};
    SC_HANDLE none = nullptr;
    if (auto error = Injected("OpenServiceW", call.target)) {
        return Fail(call, *error, none);
    }
    const ScObject* manager = Find(hSCManager);
    if (!manager || manager->service) {
        return Fail(call, ERROR_INVALID_HANDLE, none);
    }
    if (!lpServiceName) {
        return Fail(call, ERROR_INVALID_ADDRESS, none);
    }
    const std::u16string_view name = lpServiceName;
    if (name.empty() || name.size() > 256) {
        return Fail(call, ERROR_INVALID_NAME, none);
    }
    if (!(manager->access & SC_MANAGER_CONNECT)) {
        return Fail(call, ERROR_ACCESS_DENIED, none);
    }
    const auto kind = models::ServiceKindByName(call.target);
    if (!kind || !NB().services().installed(*kind)) {
        return Fail(call, ERROR_SERVICE_DOES_NOT_EXIST, none);
    }
    const DWORD granted = NB().elevated() ? SERVICE_ALL_ACCESS : NB().services().userAccess(*kind);
    const DWORD wanted = ServiceAccess(dwDesiredAccess, granted);
    if ((wanted & ~granted) != 0) {
        return Fail(call, ERROR_ACCESS_DENIED, none);
    }
    SC_HANDLE handle =
        NewHandle(ScObject{kind, wanted}, std::string("service ") + models::ServiceName(*kind));
    call.handle = HandleId(handle);
    SetLastError(ERROR_SUCCESS);
    return Finish(call, handle);
}

BOOL WINAPI QueryServiceStatusEx(SC_HANDLE hService, SC_STATUS_TYPE InfoLevel, LPBYTE lpBuffer,
                                 DWORD cbBufSize, LPDWORD pcbBytesNeeded) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    AdvanceServices();
    Call call{.function = "QueryServiceStatusEx",
              .target = Describe(hService),
              .handle = HandleId(hService),
              .code = static_cast<DWORD>(InfoLevel),
              .outSize = cbBufSize};
    if (auto error = Injected("QueryServiceStatusEx", call.target)) {
        return Fail(call, *error, FALSE);
    }
    // The order of the checks is Windows': the level, the size, then the handle and its rights.
    if (InfoLevel != SC_STATUS_PROCESS_INFO) {
        return Fail(call, ERROR_INVALID_LEVEL, FALSE);
    }
    if (!pcbBytesNeeded) {
        return Fail(call, ERROR_INVALID_ADDRESS, FALSE);
    }
    if (cbBufSize < sizeof(SERVICE_STATUS_PROCESS)) {
        *pcbBytesNeeded = sizeof(SERVICE_STATUS_PROCESS);
        return Fail(call, ERROR_INSUFFICIENT_BUFFER, FALSE);
    }
    if (!lpBuffer) {
        return Fail(call, ERROR_INVALID_ADDRESS, FALSE);
    }
    const ScObject* object = Find(hService);
    if (!object || !object->service) {
        return Fail(call, ERROR_INVALID_HANDLE, FALSE);
    }
    if (!(object->access & SERVICE_QUERY_STATUS)) {
        return Fail(call, ERROR_ACCESS_DENIED, FALSE);
    }
    const SERVICE_STATUS_PROCESS status = StatusOf(*object->service);
    std::memcpy(lpBuffer, &status, sizeof(status));
    call.code = status.dwCurrentState;
    SetLastError(ERROR_SUCCESS);
    return Finish(call, TRUE);
}

BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    AdvanceServices();
    Call call{.function = "ControlService",
              .target = Describe(hService),
              .handle = HandleId(hService),
              .code = dwControl};
    if (auto error = Injected("ControlService", call.target)) {
        return Fail(call, *error, FALSE);
    }
    const ScObject* object = Find(hService);
    if (!object || !object->service) {
        return Fail(call, ERROR_INVALID_HANDLE, FALSE);
    }
    if (!lpServiceStatus) {
        return Fail(call, ERROR_INVALID_ADDRESS, FALSE);
    }
    const DWORD right = RightForControl(dwControl);
    if (right == 0) {
        return Fail(call, ERROR_INVALID_PARAMETER, FALSE);
    }
    if (!(object->access & right)) {
        return Fail(call, ERROR_ACCESS_DENIED, FALSE);
    }
    // From here on the caller gets the service's latest status with the answer.
    const ServiceKind kind = *object->service;
    auto answer = [&](DWORD error) {
        CopyStatus(StatusOf(kind), lpServiceStatus);
        SetLastError(error);
        return Finish(call, error == ERROR_SUCCESS ? TRUE : FALSE);
    };
    ServiceModel* model = NB().services().model(kind);
    const auto state = model ? model->status().state : models::ServiceState::Stopped;
    if (state == models::ServiceState::Stopped) {
        return answer(ERROR_SERVICE_NOT_ACTIVE);
    }
    if (state != models::ServiceState::Running) {
        return answer(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    }
    switch (dwControl) {
    case SERVICE_CONTROL_INTERROGATE:
        return answer(ERROR_SUCCESS);
    case SERVICE_CONTROL_STOP:
        model->stop(NB().clock().tickMs);
        return answer(ERROR_SUCCESS);
    default:
        if (right != SERVICE_USER_DEFINED_CONTROL) {
            return answer(ERROR_INVALID_SERVICE_CONTROL); // pause, parameters, bindings
        }
        // A control the service's handler does not implement is not valid for the service.
        const std::uint32_t handled = model->control(dwControl, NB().clock().tickMs, Store());
        return answer(handled == models::kControlAccepted ? ERROR_SUCCESS
                                                          : ERROR_INVALID_SERVICE_CONTROL);
    }
}

BOOL WINAPI StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs,
                          LPCWSTR* lpServiceArgVectors) {
    (void)lpServiceArgVectors; // the maker's services take no arguments
    auto lock = LockNotebook();
    AdvanceServices();
    Call call{.function = "StartServiceW",
              .target = Describe(hService),
              .handle = HandleId(hService),
              .code = dwNumServiceArgs};
    if (auto error = Injected("StartServiceW", call.target)) {
        return Fail(call, *error, FALSE);
    }
    const ScObject* object = Find(hService);
    if (!object || !object->service) {
        return Fail(call, ERROR_INVALID_HANDLE, FALSE);
    }
    if (!(object->access & SERVICE_START)) {
        return Fail(call, ERROR_ACCESS_DENIED, FALSE);
    }
    if (!NB().services().start(*object->service)) {
        return Fail(call, ERROR_SERVICE_ALREADY_RUNNING, FALSE);
    }
    SetLastError(ERROR_SUCCESS);
    return Finish(call, TRUE);
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    Call call{.function = "CloseServiceHandle",
              .target = Describe(hSCObject),
              .handle = HandleId(hSCObject)};
    if (auto error = Injected("CloseServiceHandle", call.target)) {
        return Fail(call, *error, FALSE);
    }
    if (Table().objects.erase(HandleId(hSCObject)) == 0) {
        return Fail(call, ERROR_INVALID_HANDLE, FALSE);
    }
    NB().trackClose(HandleKind::Service, HandleId(hSCObject));
    return Finish(call, TRUE);
}
