// The batteries Windows knows: enumerated through the battery device interface class, one
// handle per battery, kept open under a process-wide reference count.
#include <celdor/batterydriver.h>

#include "battery/handles.h"
#include "driver/controlcodes.h"
#include "driver/driverlib.h"
#include "support/logger.h"
#include "support/wstr.h"

#include <algorithm>
#include <memory>
#include <new>
#include <system_error>
#include <utility>

namespace Celdor {

namespace {

constexpr DWORD SPEC_VERSION_QUERY = 0x11;

struct LocalFreeDeleter {
    void operator()(void* block) const { LocalFree(block); }
};
using DetailBuffer = std::unique_ptr<SP_DEVICE_INTERFACE_DETAIL_DATA_W, LocalFreeDeleter>;

// The device information set, destroyed on every way out.
struct DeviceInfoSet {
    HDEVINFO set;
    ~DeviceInfoSet() {
        if (set != INVALID_HANDLE_VALUE) {
            SetupDiDestroyDeviceInfoList(set);
        }
    }
};

// Locks the handles' mutex; std::system_error when it cannot be taken.
std::unique_lock<std::mutex> LockHandles(std::mutex& mutex) {
    if (BatteryHandles::failingLocks.load() > 0 && BatteryHandles::failingLocks.fetch_sub(1) > 0) {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    return std::unique_lock(mutex);
}

} // namespace

std::atomic<int> BatteryHandles::failingLocks{0};

std::mutex CBatteryDriver::s_mutexHandle;
int CBatteryDriver::s_nHandleRefCount = 0;
const int CBatteryDriver::BATTERY_MAX_NUMBER;

CBatteryDriver::CBatteryDriver()
    : m_nBatteryCount(1), m_uReferences(0),
      m_uOwnsHandles(0), m_hBattery{INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE} {}

// A copy takes the handle values, not the references or the ownership of its source.
CBatteryDriver::CBatteryDriver(const CBatteryDriver& other)
    : m_nBatteryCount(other.m_nBatteryCount), m_uReferences(0),
      m_uOwnsHandles(0), m_hBattery{other.m_hBattery[0], other.m_hBattery[1]} {}

// The references this object holds stay with it; handles it opened are closed, since nothing
// of this object names them any more.
CBatteryDriver& CBatteryDriver::operator=(const CBatteryDriver& other) {
    if (this != &other) {
        try {
            const auto lock = LockHandles(s_mutexHandle);
            CloseOwnHandles();
        } catch (const std::system_error&) {
            CloseOwnHandles();
        }
        m_nBatteryCount = other.m_nBatteryCount;
        m_hBattery[0] = other.m_hBattery[0];
        m_hBattery[1] = other.m_hBattery[1];
    }
    return *this;
}

// Gives back only the references this object took, so that an object that never took one does
// not close another's. A lock that cannot be taken must not end the host's process: the
// handles are then closed without it.
CBatteryDriver::~CBatteryDriver() {
    try {
        const auto lock = LockHandles(s_mutexHandle);
        s_nHandleRefCount -= static_cast<int>(m_uReferences);
        m_uReferences = 0;
        CloseOwnHandles();
    } catch (const std::system_error&) {
        CloseOwnHandles();
    }
}

// Closes the handles this object opened; handles copied from another object are only
// forgotten.
void CBatteryDriver::CloseOwnHandles() {
    for (HANDLE& handle : m_hBattery) {
        if (handle != INVALID_HANDLE_VALUE && m_uOwnsHandles) {
            CloseHandle(handle);
        }
        handle = INVALID_HANDLE_VALUE;
    }
    m_uOwnsHandles = 0;
}

// An enumeration that fails half way (memory running out) gives the reference back and closes
// what it opened, so that the count stays true for every later query.
void CBatteryDriver::ReferenceStep() {
    const auto lock = LockHandles(s_mutexHandle);
    ++s_nHandleRefCount;
    if (s_nHandleRefCount == 1 && m_hBattery[0] == INVALID_HANDLE_VALUE &&
        m_hBattery[1] == INVALID_HANDLE_VALUE) {
        try {
            GetBatteryDriverHandle();
        } catch (...) {
            --s_nHandleRefCount;
            CloseOwnHandles();
            throw;
        }
    }
}

void CBatteryDriver::ReleaseStep() {
    const auto lock = LockHandles(s_mutexHandle);
    --s_nHandleRefCount;
    if (s_nHandleRefCount <= 0) {
        CloseOwnHandles();
    }
}

// The host's calls give no exception back: a lock that cannot be taken leaves the count and the
// handles as they were.
void CBatteryDriver::InitBatteryDriverHandle() {
    try {
        ReferenceStep();
        ++m_uReferences;
    } catch (const std::system_error&) {
    }
}

// A release gives back one reference whether or not this object took it, as the host asks; what
// this object still holds is what its destructor gives back.
void CBatteryDriver::ReleaseBatteryDriverHandle() {
    try {
        ReleaseStep();
        if (m_uReferences > 0) {
            --m_uReferences;
        }
    } catch (const std::system_error&) {
    }
}

// Up to two battery interfaces, each opened as found; a slot whose interface cannot be read is
// skipped, not the end of the list. The handles are then put in the order of their device
// paths, which stay in the system's blocks until then: enumerating allocates nothing of the
// library's, so it cannot fail half-way for want of memory. Handles this object held before
// are closed first.
void CBatteryDriver::GetBatteryDriverHandle() {
    CloseOwnHandles();
    m_uOwnsHandles = 1;
    {
        const DeviceInfoSet devices{SetupDiGetClassDevsW(&GUID_DEVICE_BATTERY, nullptr, nullptr,
                                                         DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)};
        DetailBuffer details[BATTERY_MAX_NUMBER]; // freed before the list is destroyed
        for (int i = 0; devices.set != INVALID_HANDLE_VALUE && i < BATTERY_MAX_NUMBER; ++i) {
            SP_DEVICE_INTERFACE_DATA data = {};
            data.cbSize = sizeof data;
            if (SetupDiEnumDeviceInterfaces(devices.set, nullptr, &GUID_DEVICE_BATTERY, i, &data) !=
                TRUE) {
                continue;
            }
            DWORD required = 0;
            SetupDiGetDeviceInterfaceDetailW(devices.set, &data, nullptr, 0, &required, nullptr);
            if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
                continue; // the size could not be had: nothing to read the path into
            }
            DetailBuffer detail(
                static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(LocalAlloc(LPTR, required)));
            if (!detail) {
                continue;
            }
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
            if (SetupDiGetDeviceInterfaceDetailW(devices.set, &data, detail.get(), required,
                                                 nullptr, nullptr) == TRUE) {
                m_hBattery[i] = CreateFileW(detail->DevicePath, GENERIC_READ | GENERIC_WRITE, 0,
                                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
                m_nBatteryCount = i + 1;
                details[i] = std::move(detail);
            }
        }
        const auto path = [&details](int i) {
            return details[i] ? details[i]->DevicePath : nullptr;
        };
        if (Text::Length(path(0)) > 0 && Text::Length(path(1)) > 0 &&
            Text::Compare(path(0), path(1)) > 0) {
            std::swap(m_hBattery[0], m_hBattery[1]);
        }
    }
    SetLastError(0);
}

int CBatteryDriver::GetBatteryInformationFromOS(BATTERY_INFORMATION& info, int index) {
    try {
        return ReadBatteryInformationFromOS(info, index);
    } catch (const std::system_error&) {
        return 0;
    }
}

// A battery that reports tag 0 is left unread, and the query still counts as answered.
int CBatteryDriver::ReadBatteryInformationFromOS(BATTERY_INFORMATION& info, int index) {
    ReferenceStep();
    int result = 0;
    if ((index == 0 || index == 1) && m_hBattery[index] != INVALID_HANDLE_VALUE) {
        ULONG wait = 0;
        ULONG tag = 0;
        DWORD returned = 0;
        result = DeviceIoControl(m_hBattery[index], IOCTL_BATTERY_QUERY_TAG, &wait, sizeof wait,
                                 &tag, sizeof tag, &returned, nullptr);
        if (result == 1 && tag != 0) {
            BATTERY_QUERY_INFORMATION query = {};
            query.BatteryTag = tag;
            query.InformationLevel = BatteryInformation;
            query.AtRate = 0;
            result = DeviceIoControl(m_hBattery[index], IOCTL_BATTERY_QUERY_INFORMATION, &query,
                                     sizeof query, &info, sizeof info, &returned, nullptr);
        }
    }
    ReleaseStep();
    return result;
}

int CBatteryDriver::GetFvSpecVersion() {
    CDriverLib driver;
    DWORD command = SPEC_VERSION_QUERY;
    DWORD answer = 0;
    if (driver.IoControl(IOCTL_GET_SPEC_VERSION, &command, IOCTL_GET_SPEC_VERSION_IN_SIZE, &answer,
                         IOCTL_GET_SPEC_VERSION_OUT_SIZE) == 0) {
        CFileLogger::GetInstance()->LogDebugInfo(
            W("GetFvSpecVersion DeviceIoControl failed, last error: %d"),
            static_cast<int>(GetLastError()));
        return -1;
    }
    if ((answer & 1) == 0) {
        CFileLogger::GetInstance()->LogDebugInfo(
            W("GetFvSpecVersion output returned failed, error code: %d"),
            static_cast<int>((answer >> 1) & 7));
        return -1;
    }
    return static_cast<int>(answer >> 4);
}

} // namespace Celdor
