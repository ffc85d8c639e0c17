// One of the maker's services as a Windows service program: "Thermivo" or
// "HarluneProcessManagement", whichever the service control manager starts it as (the program is
// installed once per service). The service model does the work: this program registers with the
// service control manager, reports the model's status (start-pending with its wait hint and
// checkpoints, running, stopped), hands it the custom control codes and lets it write its values
// under HKEY_LOCAL_MACHINE as time passes. How the service starts comes from its "Parameters" key
// (celdor_models/services.h), read at every start.
#include <celdor_models/services.h>

#include <windows.h>

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace {

using namespace celdor::models;

std::wstring Wide(std::string_view ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

// The machine's registry, as a service running as LocalSystem writes it.
class RegistryStore : public ValueStore {
public:
    std::optional<std::uint32_t> read(std::string_view key, std::string_view name) override {
        DWORD value = 0;
        DWORD size = sizeof(value);
        if (RegGetValueW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), Wide(name).c_str(),
                         RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return value;
    }
    void write(std::string_view key, std::string_view name, std::uint32_t value) override {
        HKEY handle = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &handle, nullptr) != ERROR_SUCCESS) {
            return;
        }
        RegSetValueExW(handle, Wide(name).c_str(), 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&value), sizeof(value));
        RegCloseKey(handle);
    }
};

// How often the model is brought up to the clock: the latency of a change after its control
// delay, well below the 200 ms at which callers poll for it.
constexpr DWORD kTickMs = 20;

// The one service this process runs. The handler runs on the dispatcher's thread, the loop on
// the service's own; the lock keeps the model and the reported status in step.
struct Service {
    std::mutex mutex;
    std::optional<ServiceModel> model;
    SERVICE_STATUS_HANDLE handle = nullptr;
    HANDLE wake = nullptr;
    ServiceStatus reported{};
    bool everReported = false;
    RegistryStore store;

    static std::uint64_t Now() { return GetTickCount64(); }

    // Tells the service control manager the model's status when it has changed.
    void report(bool always = false) {
        const ServiceStatus now = model->status();
        if (!always && everReported && now.state == reported.state &&
            now.checkPoint == reported.checkPoint && now.waitHint == reported.waitHint) {
            return;
        }
        SERVICE_STATUS status{};
        status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status.dwCurrentState = static_cast<DWORD>(now.state);
        status.dwControlsAccepted =
            now.state == ServiceState::Running ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
        status.dwCheckPoint = now.checkPoint;
        status.dwWaitHint = now.waitHint;
        SetServiceStatus(handle, &status);
        reported = now;
        everReported = true;
    }
};

Service g_service;

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID) {
    std::lock_guard lock(g_service.mutex);
    if (!g_service.model) {
        return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    }
    ServiceModel& model = *g_service.model;
    switch (control) {
    case SERVICE_CONTROL_INTERROGATE:
        g_service.report(true);
        return NO_ERROR;
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        model.stop(Service::Now());
        g_service.report();
        SetEvent(g_service.wake);
        return NO_ERROR;
    default:
        if (control < 128 || control > 255) {
            return ERROR_CALL_NOT_IMPLEMENTED;
        }
        const DWORD answer = model.control(control, Service::Now(), g_service.store);
        g_service.report();
        return answer;
    }
}

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
    const std::wstring wideName = argc > 0 && argv[0] ? argv[0] : L"";
    const auto kind = ServiceKindByName(std::string(wideName.begin(), wideName.end()));
    {
        // Held until the model exists, so that the handler never sees the service without it.
        std::lock_guard lock(g_service.mutex);
        g_service.handle = RegisterServiceCtrlHandlerExW(wideName.c_str(), Handler, nullptr);
        if (!g_service.handle) {
            return;
        }
        if (!kind) {
            SERVICE_STATUS status{};
            status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
            status.dwCurrentState = SERVICE_STOPPED;
            status.dwWin32ExitCode = ERROR_INVALID_NAME;
            SetServiceStatus(g_service.handle, &status);
            return;
        }
        g_service.wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        g_service.model.emplace(*kind, StartupConfig(*kind, g_service.store), Service::Now());
        g_service.report(true);
    }
    for (;;) {
        WaitForSingleObject(g_service.wake, kTickMs);
        std::lock_guard lock(g_service.mutex);
        g_service.model->advance(Service::Now(), g_service.store);
        g_service.report();
        if (g_service.model->status().state == ServiceState::Stopped) {
            break;
        }
    }
    CloseHandle(g_service.wake);
}

} // namespace

int wmain() {
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(L""), ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        std::fprintf(stderr,
                     "This program runs the maker's services; the service control "
                     "manager starts it (error %lu).\n",
                     GetLastError());
        return 1;
    }
    return 0;
}
