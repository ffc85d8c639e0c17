// The link to the maker's thermal and process-management services, and the thermal mode
// queries and changes built on it.
#include <celdor/thermal.h>

#include "driver/driverlib.h"
#include "thermal/service_choice.h"

#include <cstring>
#include <optional>

namespace Celdor {

const WCHAR* const CIntelligentCooling::ITS_SERVICE_NAME = W("Thermivo");
const WCHAR* const CIntelligentCooling::DISPATCHER_SERVICE_NAME = W("HarluneProcessManagement");
const WCHAR* const CIntelligentCooling::KEY_INTELLIGENT_COOLING =
    W("SYSTEM\\CurrentControlSet\\Services\\Thermivo\\Dovric\\IC");
const WCHAR* const CIntelligentCooling::KEY_INTELLIGENT_COOLING_MMC =
    W("SYSTEM\\CurrentControlSet\\Services\\Thermivo\\Dovric\\IC\\MMC");
const WCHAR* const CIntelligentCooling::KEY_INTELLIGENT_COOLING_AUTODETECT =
    W("SYSTEM\\CurrentControlSet\\Services\\Thermivo\\Dovric\\IC\\AUTODETECT");
const WCHAR* const CIntelligentCooling::KEY_DISPATCHER_POWER_SLIDER =
    W("SYSTEM\\CurrentControlSet\\Services\\HarluneProcessManagement\\Performance\\PowerSlider");
const WCHAR* const CIntelligentCooling::SUBKEY_VERSION = W("Version");
const WCHAR* const CIntelligentCooling::SUBKEY_CAPABILITY = W("Capability");
const WCHAR* const CIntelligentCooling::SUBKEY_CURRENTSTATE = W("CurrentState");
const WCHAR* const CIntelligentCooling::SUBKEY_CURRENT_SETTING = W("CurrentSetting");
const WCHAR* const CIntelligentCooling::SUBKEY_AUTOMATIC_MODE_SETTING = W("AutomaticModeSetting");
const WCHAR* const CIntelligentCooling::SUBKEY_ITS_FN_CAPABILITY = W("ITS_FN_Capability");
const WCHAR* const CIntelligentCooling::SUBKEY_ITS_CURRENT_SETTING = W("ITS_CurrentSetting");
const WCHAR* const CIntelligentCooling::SUBKEY_ITS_CURRENT_SETTING_V = W("ITS_CurrentSettingV");
const WCHAR* const CIntelligentCooling::SUBKEY_ITS_SE_PELMARKSETTING = W("ITS_SE_PelmarkSetting");
const WCHAR* const CIntelligentCooling::SUBKEY_ITS_SE_HW_CAPABILITY = W("ITS_SE_HWCapability");

DWORD CIntelligentCooling::CONTROL_SERVICE_DELAY = 200;
DWORD CIntelligentCooling::SERVICE_CONTROL_MESSAGE_SET_INTELLIGENT_COOLING_DISABLE = 134;
DWORD CIntelligentCooling::SERVICE_CONTROL_MESSAGE_SET_INTELLIGENT_COOLING_ENABLE = 135;
DWORD CIntelligentCooling::SERVICE_CONTROL_MESSAGE_SET_INTELLIGENT_COOLING_COOL = 146;
DWORD CIntelligentCooling::SERVICE_CONTROL_MESSAGE_SET_INTELLIGENT_COOLING_HIGH_PERFORMANCE = 148;
DWORD CIntelligentCooling::SERVICE_CONTROL_MESSAGE_SET_iEPM_ENABLE = 154;
DWORD CIntelligentCooling::SERVICE_CONTROL_MESSAGE_SET_iEPM_DISABLE = 155;
DWORD CIntelligentCooling::SERVICE_CONTROL_SET_INTELLIGENT = 163;
DWORD CIntelligentCooling::SERVICE_CONTROL_SET_BSM = 164;
DWORD CIntelligentCooling::SERVICE_CONTROL_SET_EPM = 165;
DWORD CIntelligentCooling::SERVICE_CONTROL_SET_iEPM_ENABLE = 170;
DWORD CIntelligentCooling::SERVICE_CONTROL_SET_iEPM_DISABLE = 171;
DWORD CIntelligentCooling::SERVICE_CONTROL_SET_iGEEK_ENABLE = 172;

namespace {

constexpr int kPolls = 10;
// A Get operation lets the service settle a moment before it reads.
constexpr DWORD kSettleMs = 20;

// Waits while the service is between states, then tells whether it runs: 0 running, 1 no
// handle, 2 stopped, not queryable, or stuck. A pending service is asked again after a tenth
// of its wait hint (1 to 10 seconds), and given up on once its checkpoint has not moved for
// longer than its latest wait hint.
int WaitForServiceState(SC_HANDLE* handle) {
    if (*handle == nullptr) {
        return 1;
    }
    SERVICE_STATUS_PROCESS status;
    DWORD needed = 0;
    auto query = [&] {
        std::memset(&status, 0, sizeof(status));
        return QueryServiceStatusEx(*handle, SC_STATUS_PROCESS_INFO,
                                    reinterpret_cast<LPBYTE>(&status), sizeof(status),
                                    &needed) != 0;
    };
    if (!query()) {
        return 2;
    }
    ULONGLONG start = GetTickCount64();
    DWORD lastCheckPoint = status.dwCheckPoint;
    while (status.dwCurrentState != SERVICE_STOPPED && status.dwCurrentState != SERVICE_RUNNING) {
        DWORD wait = status.dwWaitHint / 10;
        wait = wait < 1000 ? 1000 : wait > 10000 ? 10000 : wait;
        Sleep(wait);
        if (!query()) {
            return 2;
        }
        if (status.dwCheckPoint > lastCheckPoint) {
            start = GetTickCount64();
            lastCheckPoint = status.dwCheckPoint;
        } else if (GetTickCount64() - start > status.dwWaitHint) {
            return 2;
        }
    }
    return status.dwCurrentState == SERVICE_RUNNING ? 0 : 2;
}

// Every service operation begins here: 0 when the service runs, reopening it (and choosing the
// service again) first if it did not; otherwise the operation's result, 1 or 2.
int ServiceCheck(CIntelligentCooling& cooling) {
    if (cooling.GetServiceStatus() == 0) {
        return 0;
    }
    cooling.InitHandle();
    return cooling.GetServiceStatus();
}

// Reads a DWORD value into `value`, which keeps what it held when the value is missing.
void ReadValue(HKEY key, const WCHAR* name, DWORD& value) {
    DWORD size = sizeof(value);
    RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(&value), &size);
}

bool SendControl(SC_HANDLE service, DWORD code) {
    SERVICE_STATUS status;
    std::memset(&status, 0, sizeof(status));
    return ControlService(service, code, &status) != 0;
}

// Sends a mode's control code, then reads the mode with `read` until it is the one asked for, at
// most ten times, `delay` ms apart. `mode` is left holding the last mode read; the result is that
// of the last read.
template <typename Read>
int SendAndConfirm(SC_HANDLE service, DWORD code, CIntelligentCooling::ITSMode& mode, DWORD delay,
                   Read read) {
    const CIntelligentCooling::ITSMode requested = mode;
    if (!SendControl(service, code)) {
        return CIntelligentCooling::ITS_RESULT_CONTROL_FAILED;
    }
    int result = CIntelligentCooling::ITS_RESULT_OK;
    for (int poll = 0; poll < kPolls; ++poll) {
        mode = CIntelligentCooling::ITS_MODE_NONE;
        int capability = 0;
        result = read(capability, mode);
        if (mode == requested) {
            return result;
        }
        Sleep(delay);
    }
    return result;
}

} // namespace

CIntelligentCooling::CIntelligentCooling() : m_hService(nullptr) {
    InitHandle();
}

CIntelligentCooling::CIntelligentCooling(const CIntelligentCooling&) : m_hService(nullptr) {
    InitHandle();
}

CIntelligentCooling& CIntelligentCooling::operator=(const CIntelligentCooling& other) {
    if (this != &other) {
        InitHandle();
    }
    return *this;
}

CIntelligentCooling::~CIntelligentCooling() {
    if (m_hService != nullptr) {
        CloseServiceHandle(m_hService);
        m_hService = nullptr;
    }
}

void CIntelligentCooling::InitHandle() {
    const WCHAR* name = DispatcherRunsThermalModes(GetDispatcherVersion()) ? DISPATCHER_SERVICE_NAME
                                                                           : ITS_SERVICE_NAME;
    SC_HANDLE opened = nullptr;
    if (SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)) {
        opened = OpenServiceW(manager, name, SERVICE_QUERY_STATUS | SERVICE_USER_DEFINED_CONTROL);
        CloseServiceHandle(manager);
    }
    if (m_hService != nullptr) {
        CloseServiceHandle(m_hService);
    }
    m_hService = opened;
}

int CIntelligentCooling::CheckHandle() {
    if (GetServiceStatus() == 0) {
        return 1;
    }
    InitHandle();
    return GetServiceStatus() == 0 ? 1 : 0;
}

int CIntelligentCooling::GetServiceStatus() {
    return WaitForServiceState(&m_hService);
}

int CIntelligentCooling::QueryIntelligentCoolingRegistry(const WCHAR* path, HKEY& key) {
    key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) == ERROR_SUCCESS &&
        key != nullptr) {
        return 1;
    }
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, &key) ==
                   ERROR_SUCCESS
               ? 1
               : 0;
}

namespace {

// One value of a key opened by the class's rule (0 when the value is missing); nothing when the
// key cannot be opened.
std::optional<DWORD> ReadOne(int (*open)(const WCHAR*, HKEY&), const WCHAR* path,
                             const WCHAR* name) {
    HKEY key = nullptr;
    if (!open(path, key)) {
        return std::nullopt;
    }
    DWORD value = 0;
    ReadValue(key, name, value);
    RegCloseKey(key);
    return value;
}

} // namespace

int CIntelligentCooling::GetITSVersion() {
    return static_cast<int>(
        ReadOne(QueryIntelligentCoolingRegistry, KEY_INTELLIGENT_COOLING, SUBKEY_VERSION)
            .value_or(0));
}

int CIntelligentCooling::GetDispatcherVersion() {
    return static_cast<int>(
        ReadOne(QueryIntelligentCoolingRegistry, KEY_DISPATCHER_POWER_SLIDER, SUBKEY_VERSION)
            .value_or(0));
}

int CIntelligentCooling::IsAutoTransitionEnabled() {
    const auto capability = ReadOne(QueryIntelligentCoolingRegistry,
                                    KEY_INTELLIGENT_COOLING_AUTODETECT, SUBKEY_CAPABILITY);
    return capability ? static_cast<int>((*capability >> 1) & 1) : -1;
}

// The thermal service's mode is a pair: the automatic setting (2 intelligent cooling, 1 a fixed
// mode) and, under it, the current setting.
int CIntelligentCooling::GetITSMode(int& capability, ITSMode& mode) {
    Sleep(kSettleMs);
    HKEY key = nullptr;
    if (!QueryIntelligentCoolingRegistry(KEY_INTELLIGENT_COOLING_MMC, key)) {
        return ITS_RESULT_NO_REGISTRY;
    }
    DWORD value = 0;
    ReadValue(key, SUBKEY_CAPABILITY, value);
    capability = static_cast<int>(value);
    mode = ITS_MODE_NONE;
    ReadValue(key, SUBKEY_AUTOMATIC_MODE_SETTING, value);
    const DWORD automatic = value;
    if (automatic == 2) {
        ReadValue(key, SUBKEY_CURRENT_SETTING, value);
        if (value == 0) {
            mode = ITS_MODE_INTELLIGENT;
        }
    } else if (automatic == 1) {
        ReadValue(key, SUBKEY_CURRENT_SETTING, value);
        if (value == 1) {
            mode = ITS_MODE_COOL;
        } else if (value == 3) {
            mode = ITS_MODE_HIGH_PERFORMANCE;
        }
    }
    RegCloseKey(key);
    if (const int status = ServiceCheck(*this)) {
        return status;
    }
    return IsFervoDriverPresent() ? ITS_RESULT_OK : ITS_RESULT_NO_DRIVER;
}

int CIntelligentCooling::GetDispatcherMode(int& capability, ITSMode& mode, int skipDriverProbe,
                                           int useSettingV) {
    Sleep(kSettleMs);
    HKEY key = nullptr;
    if (!QueryIntelligentCoolingRegistry(KEY_DISPATCHER_POWER_SLIDER, key)) {
        return ITS_RESULT_NO_REGISTRY;
    }
    DWORD value = 0;
    ReadValue(key, SUBKEY_ITS_FN_CAPABILITY, value);
    const DWORD functions = value;
    constexpr DWORD kHasSettingV = 0x10;
    mode = ITS_MODE_NONE;
    capability = static_cast<int>(functions);
    const WCHAR* setting = SUBKEY_ITS_CURRENT_SETTING;
    if (useSettingV == 0) {
        capability = static_cast<int>(functions & ~kHasSettingV);
    } else if (functions & kHasSettingV) {
        setting = SUBKEY_ITS_CURRENT_SETTING_V;
    }
    ReadValue(key, setting, value);
    switch (value) {
    case 0:
        mode = ITS_MODE_INTELLIGENT;
        break;
    case 1:
        mode = ITS_MODE_COOL;
        break;
    case 3:
        mode = ITS_MODE_HIGH_PERFORMANCE;
        break;
    case 4:
        mode = ITS_MODE_GEEK;
        break;
    default:
        break;
    }
    RegCloseKey(key);
    if (const int status = ServiceCheck(*this)) {
        return status;
    }
    return skipDriverProbe != 0 || IsFervoDriverPresent() ? ITS_RESULT_OK : ITS_RESULT_NO_DRIVER;
}

int CIntelligentCooling::SetITSMode(ITSMode& mode) {
    if (const int status = ServiceCheck(*this)) {
        return status;
    }
    DWORD code = SERVICE_CONTROL_MESSAGE_SET_INTELLIGENT_COOLING_ENABLE;
    switch (mode) {
    case ITS_MODE_NONE:
        code = SERVICE_CONTROL_MESSAGE_SET_INTELLIGENT_COOLING_DISABLE;
        break;
    case ITS_MODE_COOL:
        code = SERVICE_CONTROL_MESSAGE_SET_INTELLIGENT_COOLING_COOL;
        break;
    case ITS_MODE_HIGH_PERFORMANCE:
        code = SERVICE_CONTROL_MESSAGE_SET_INTELLIGENT_COOLING_HIGH_PERFORMANCE;
        break;
    default: // intelligent, geek and anything else
        break;
    }
    return SendAndConfirm(
        m_hService, code, mode, CONTROL_SERVICE_DELAY,
        [this](int& capability, ITSMode& read) { return GetITSMode(capability, read); });
}

int CIntelligentCooling::SetDispatcherMode(ITSMode& mode, int skipDriverProbe, int useSettingV) {
    if (const int status = ServiceCheck(*this)) {
        return status;
    }
    DWORD code = SERVICE_CONTROL_SET_INTELLIGENT;
    switch (mode) {
    case ITS_MODE_COOL:
        code = SERVICE_CONTROL_SET_BSM;
        break;
    case ITS_MODE_HIGH_PERFORMANCE:
        code = SERVICE_CONTROL_SET_EPM;
        break;
    case ITS_MODE_GEEK:
        code = SERVICE_CONTROL_SET_iGEEK_ENABLE;
        break;
    default: // none, intelligent and anything else
        break;
    }
    return SendAndConfirm(
        m_hService, code, mode, CONTROL_SERVICE_DELAY, [&](int& capability, ITSMode& read) {
            return GetDispatcherMode(capability, read, skipDriverProbe, useSettingV);
        });
}

int CIntelligentCooling::SetITSAutoTransition(int enable) {
    if (const int status = ServiceCheck(*this)) {
        return status;
    }
    if (!SendControl(m_hService, enable != 0 ? SERVICE_CONTROL_MESSAGE_SET_iEPM_ENABLE
                                             : SERVICE_CONTROL_MESSAGE_SET_iEPM_DISABLE)) {
        return ITS_RESULT_CONTROL_FAILED;
    }
    if (!IsFervoDriverPresent()) {
        return ITS_RESULT_NO_DRIVER;
    }
    for (int poll = 0; poll < kPolls && IsAutoTransitionEnabled() != enable; ++poll) {
        Sleep(CONTROL_SERVICE_DELAY);
    }
    return ITS_RESULT_OK;
}

int CIntelligentCooling::SetDispatcheriEPMAutoTransition(int enable, int skipDriverProbe) {
    if (const int status = ServiceCheck(*this)) {
        return status;
    }
    if (!SendControl(m_hService, enable != 0 ? SERVICE_CONTROL_SET_iEPM_ENABLE
                                             : SERVICE_CONTROL_SET_iEPM_DISABLE)) {
        return ITS_RESULT_CONTROL_FAILED;
    }
    if (skipDriverProbe == 0 && !IsFervoDriverPresent()) {
        return ITS_RESULT_NO_DRIVER;
    }
    for (int poll = 0; poll < kPolls && IsDispatcheriEPMAutoTransitionEnabled() != enable; ++poll) {
        Sleep(CONTROL_SERVICE_DELAY);
    }
    return ITS_RESULT_OK;
}

int CIntelligentCooling::IsDispatcheriEPMAutoTransitionEnabled() {
    HKEY key = nullptr;
    if (!QueryIntelligentCoolingRegistry(KEY_DISPATCHER_POWER_SLIDER, key)) {
        return -1;
    }
    DWORD value = 0;
    ReadValue(key, SUBKEY_ITS_SE_HW_CAPABILITY, value);
    if ((value & 0x2) == 0) {
        RegCloseKey(key);
        return -1;
    }
    ReadValue(key, SUBKEY_ITS_SE_PELMARKSETTING, value);
    RegCloseKey(key);
    return (value >> 1) & 1;
}

int CIntelligentCooling::IsiEPMModeEnabled() {
    if (CheckHandle() == 0) {
        return 0;
    }
    const auto state = ReadOne(QueryIntelligentCoolingRegistry, KEY_INTELLIGENT_COOLING_AUTODETECT,
                               SUBKEY_CURRENTSTATE);
    return static_cast<int>(state.value_or(0) & 1);
}

int CIntelligentCooling::ShouldGeekOptionGrey() {
    const auto setting = ReadOne(QueryIntelligentCoolingRegistry, KEY_DISPATCHER_POWER_SLIDER,
                                 SUBKEY_ITS_SE_PELMARKSETTING);
    return static_cast<int>((setting.value_or(0) >> 10) & 1);
}

} // namespace Celdor
