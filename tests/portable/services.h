// The maker's services as a program sets them up: started and stopped through the service
// control manager, with the values of their "Parameters" key deciding how they start (whether
// at once or slowly, and how they answer their controls). Both the stand-in services under Wine
// and the simulated ones read those values at every start.
#pragma once

#include "portable.h"

namespace portable {

inline constexpr const WCHAR* kThermalService = CELDOR_W("Thermivo");
inline constexpr const WCHAR* kDispatcherService = CELDOR_W("HarluneProcessManagement");

// How a service starts and answers; the defaults start it at once and apply every control at
// once.
struct Startup {
    DWORD runningAfterMs = 0; // kNever: it never reports running
    DWORD waitHintMs = 0;
    DWORD checkpointEveryMs = 0; // 0: the checkpoint stalls
    DWORD controlDelayMs = 0;
    DWORD controls = 0; // 0 applies them, 1 ignores them, 2 rejects them
    static constexpr DWORD kNever = 0xFFFFFFFF;
};

// A DWORD value under HKEY_LOCAL_MACHINE, its key made when needed; false when the system
// refuses (an unelevated program on Windows).
inline bool SetMachineDword(const WString& key, const WCHAR* name, DWORD value) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool set =
        RegSetValueExW(handle, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof(value)) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return set;
}

inline void DeleteMachineValue(const WString& key, const WCHAR* name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &handle) ==
        ERROR_SUCCESS) {
        RegDeleteValueW(handle, name);
        RegCloseKey(handle);
    }
}

// One of the maker's services, opened with every right; empty when it is not installed or may
// not be started and stopped here.
class Service {
public:
    explicit Service(const WCHAR* name) : m_name(name) {
        m_manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        if (m_manager) {
            m_service = OpenServiceW(m_manager, name, SERVICE_ALL_ACCESS);
        }
    }
    ~Service() {
        if (m_service) {
            CloseServiceHandle(m_service);
        }
        if (m_manager) {
            CloseServiceHandle(m_manager);
        }
    }
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    explicit operator bool() const { return m_service != nullptr; }
    SC_HANDLE Handle() const { return m_service; }

    DWORD State() const {
        SERVICE_STATUS_PROCESS status{};
        DWORD needed = 0;
        QueryServiceStatusEx(m_service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                             sizeof(status), &needed);
        return status.dwCurrentState;
    }

    // Waits (up to ten seconds) for the state; true when the service reached it.
    bool WaitFor(DWORD state) const {
        for (int i = 0; i < 500; ++i) {
            if (State() == state) {
                return true;
            }
            Sleep(20);
        }
        return false;
    }

    bool Stop() const {
        SERVICE_STATUS status{};
        if (State() != SERVICE_STOPPED) {
            ControlService(m_service, SERVICE_CONTROL_STOP, &status);
        }
        return WaitFor(SERVICE_STOPPED);
    }

    // Stops the service and starts it again as `startup` says; a service that starts at once is
    // waited for until it runs.
    bool Restart(const Startup& startup) const {
        const WString key = WString(CELDOR_W("SYSTEM\\CurrentControlSet\\Services\\")) + m_name +
                            CELDOR_W("\\Parameters");
        const struct {
            const WCHAR* name;
            DWORD value;
        } values[] = {{CELDOR_W("RunningAfterMs"), startup.runningAfterMs},
                      {CELDOR_W("StopsAfterMs"), Startup::kNever},
                      {CELDOR_W("WaitHintMs"), startup.waitHintMs},
                      {CELDOR_W("CheckPoint"), 1},
                      {CELDOR_W("CheckpointEveryMs"), startup.checkpointEveryMs},
                      {CELDOR_W("ControlDelayMs"), startup.controlDelayMs},
                      {CELDOR_W("Controls"), startup.controls}};
        for (const auto& value : values) {
            if (!SetMachineDword(key, value.name, value.value)) {
                return false;
            }
        }
        if (!Stop() || !StartServiceW(m_service, 0, nullptr)) {
            return false;
        }
        return startup.runningAfterMs != 0 || WaitFor(SERVICE_RUNNING);
    }

private:
    const WCHAR* m_name;
    SC_HANDLE m_manager = nullptr;
    SC_HANDLE m_service = nullptr;
};

} // namespace portable
