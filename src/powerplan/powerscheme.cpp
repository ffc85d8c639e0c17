#include <celdor/powerplan.h>

#include "support/wstr.h"
#include "win32.h"

#include <memory>
#include <utility>
#include <vector>

namespace Celdor {

namespace {

// Memory the power-management functions hand out, freed with LocalFree.
struct LocalFreeDeleter {
    void operator()(void* block) const { LocalFree(block); }
};
using ActiveScheme = std::unique_ptr<GUID, LocalFreeDeleter>;

// The active scheme's GUID, or none when the system cannot say.
ActiveScheme QueryActiveScheme() {
    GUID* active = nullptr;
    const DWORD result = PowerGetActiveScheme(nullptr, &active);
    ActiveScheme owner(active); // freed on every path where the system returned one
    if (result != ERROR_SUCCESS) {
        owner.reset();
    }
    return owner;
}

} // namespace

CPowerScheme::CPowerScheme() {
    EnumPowerScheme();
}

CPowerScheme::CPowerScheme(const CPowerScheme& other) {
    *this = other;
}

// Running out of memory while copying leaves the copy empty: nothing is thrown to the host.
CPowerScheme& CPowerScheme::operator=(const CPowerScheme& other) {
    if (this != &other) {
        m_mapSchemes.clear();
        try {
            m_mapSchemes = other.m_mapSchemes;
        } catch (...) {
            m_mapSchemes.clear();
        }
    }
    return *this;
}

CPowerScheme::~CPowerScheme() = default;

// Every scheme the system enumerates, by index until the first index it does not answer. A
// scheme whose name cannot be read is left out; the first scheme with a name keeps it. Running
// out of memory leaves the catalogue empty rather than throwing to the host.
void CPowerScheme::EnumPowerScheme() {
    try {
        for (ULONG index = 0;; ++index) {
            GUID scheme{};
            DWORD size = sizeof(scheme);
            if (PowerEnumerate(nullptr, nullptr, nullptr, ACCESS_SCHEME, index,
                               reinterpret_cast<UCHAR*>(&scheme), &size) != ERROR_SUCCESS) {
                break;
            }
            CString name;
            if (GetPowerSchemeFriendlyname(scheme, name)) {
                m_mapSchemes.emplace(std::move(name), scheme); // keeps an existing name's scheme
            }
        }
    } catch (...) {
        m_mapSchemes.clear();
    }
}

// Asks for the size first, then reads into a zeroed buffer of that size (one character more,
// so that a name without its terminator still ends). Running out of memory is the callers' to
// handle: a catalogue missing the plan whose name could not be held would mislead the host.
int CPowerScheme::GetPowerSchemeFriendlyname(GUID scheme, CString& name) {
    DWORD size = 0;
    if (PowerReadFriendlyName(nullptr, &scheme, &NO_SUBGROUP_GUID, nullptr, nullptr, &size) !=
        ERROR_SUCCESS) {
        return 0;
    }
    std::vector<WCHAR> buffer(size / sizeof(WCHAR) + 1, WCHAR(0));
    if (PowerReadFriendlyName(nullptr, &scheme, &NO_SUBGROUP_GUID, nullptr,
                              reinterpret_cast<UCHAR*>(buffer.data()), &size) != ERROR_SUCCESS) {
        return 0;
    }
    name = Text::Whole(buffer.data(), Text::Length(buffer.data()));
    return 1;
}

void CPowerScheme::GetPowerSchemeList(std::list<CString>& list) {
    try {
        std::list<CString> names;
        for (const auto& entry : m_mapSchemes) {
            names.push_back(entry.first);
        }
        list.splice(list.end(), names); // all or nothing
    } catch (...) {
    }
}

// The map is not consulted: the active scheme may be one created after the snapshot.
int CPowerScheme::GetActivePowerScheme(CString& name) {
    try {
        const ActiveScheme active = QueryActiveScheme();
        CString read;
        if (!active || !GetPowerSchemeFriendlyname(*active, read)) {
            return 0;
        }
        name = std::move(read);
        return 1;
    } catch (...) {
        return 0;
    }
}

int CPowerScheme::SetActivePowerScheme(CString& name) {
    return SetActivePowerScheme(static_cast<const CString&>(name));
}

int CPowerScheme::SetActivePowerScheme(const CString& name) {
    const auto found = m_mapSchemes.find(name);
    if (found == m_mapSchemes.end()) {
        return 0;
    }
    return PowerSetActiveScheme(nullptr, &found->second) == ERROR_SUCCESS ? 1 : 0;
}

// On AC power (line status 1) the scheme's AC value; on battery or with an unknown status
// (0 or 255) its battery value.
int CPowerScheme::GetSubItemValue(GUID subgroup, GUID setting, DWORD& value) {
    SYSTEM_POWER_STATUS status{};
    if (!GetSystemPowerStatus(&status)) {
        return 0;
    }
    const ActiveScheme active = QueryActiveScheme();
    if (!active) {
        return 0;
    }
    DWORD data = 0;
    DWORD size = sizeof(data);
    const DWORD result = status.ACLineStatus == 1
                             ? PowerReadACValue(nullptr, active.get(), &subgroup, &setting, nullptr,
                                                reinterpret_cast<LPBYTE>(&data), &size)
                             : PowerReadDCValue(nullptr, active.get(), &subgroup, &setting, nullptr,
                                                reinterpret_cast<PUCHAR>(&data), &size);
    if (result != ERROR_SUCCESS) {
        return 0;
    }
    value = data;
    return 1;
}

int CPowerScheme::GetDisplayTimeOutValue() {
    DWORD seconds = 0;
    return GetSubItemValue(GUID_VIDEO_SUBGROUP, GUID_VIDEO_POWERDOWN_TIMEOUT, seconds)
               ? static_cast<int>(seconds)
               : -1;
}

int CPowerScheme::GetCurrentBrightness() {
    DWORD percent = 0;
    return GetSubItemValue(GUID_VIDEO_SUBGROUP, GUID_DEVICE_POWER_POLICY_VIDEO_BRIGHTNESS, percent)
               ? static_cast<int>(percent)
               : -1;
}

} // namespace Celdor
