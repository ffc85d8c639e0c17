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

// What an object took: the references it holds and whether it opened its handles itself. Kept
// beside the objects, not in them, so that they keep the layout hosts give them. An object
// without a note holds no reference and owns no handle, as every copy starts; only objects that
// hold something at the moment have one. The table grows with the number of such objects and is
// freed when the last note is given up; the globals have nothing to destroy, since objects of
// the host may outlive the library's static storage.
struct Note {
    const CBatteryDriver* object = nullptr;
    int references = 0;
    bool ownsHandles = false;
};

std::mutex g_notesMutex; // taken alone or inside s_mutexHandle, never the other way round
Note* g_notes = nullptr;
std::size_t g_noteCount = 0;
std::size_t g_notesHeld = 0;

// A vacant note, after growing the table when it has none. Null when memory ran out.
Note* VacantNote() {
    Note* const end = g_notes + g_noteCount;
    Note* vacant = std::find_if(g_notes, end, [](const Note& note) { return !note.object; });
    if (vacant != end) {
        return vacant;
    }
    const std::size_t used = g_noteCount;
    Note* grown = new (std::nothrow) Note[used == 0 ? 8 : used * 2];
    if (grown == nullptr) {
        return nullptr;
    }
    std::copy(g_notes, end, grown);
    delete[] g_notes;
    g_notes = grown;
    g_noteCount = used == 0 ? 8 : used * 2;
    return g_notes + used;
}

// Hands the object's note to `change` and keeps what it leaves. False, with nothing changed,
// when a new note was needed and memory ran out, or the lock could not be taken.
template <typename Change> bool UpdateNote(const CBatteryDriver* self, Change change) noexcept {
    try {
        std::lock_guard lock(g_notesMutex);
        Note* const end = g_notes + g_noteCount;
        Note* note = std::find_if(g_notes, end, [self](const Note& n) { return n.object == self; });
        Note changed = note != end ? *note : Note{self};
        change(changed);
        const bool holds = changed.references != 0 || changed.ownsHandles;
        if (note != end && holds) {
            *note = changed;
        } else if (note != end) {
            *note = Note{};
            if (--g_notesHeld == 0) {
                delete[] g_notes;
                g_notes = nullptr;
                g_noteCount = 0;
            }
        } else if (holds) {
            note = VacantNote();
            if (note == nullptr) {
                return false;
            }
            *note = changed;
            ++g_notesHeld;
        }
        return true;
    } catch (...) {
        return false;
    }
}

// Locks the handles' mutex; std::system_error when it cannot be taken.
std::unique_lock<std::mutex> LockHandles(std::mutex& mutex) {
    if (BatteryHandles::failingLocks.load() > 0 && BatteryHandles::failingLocks.fetch_sub(1) > 0) {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    return std::unique_lock(mutex);
}

} // namespace

std::atomic<int> BatteryHandles::failingLocks{0};

std::size_t BatteryHandles::HoldingObjects() {
    std::lock_guard lock(g_notesMutex);
    return g_notesHeld;
}

std::mutex CBatteryDriver::s_mutexHandle;
int CBatteryDriver::s_nHandleRefCount = 0;
const int CBatteryDriver::BATTERY_MAX_NUMBER;

CBatteryDriver::CBatteryDriver()
    : m_nBatteryCount(1), m_hBattery{INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE} {}

CBatteryDriver::CBatteryDriver(const CBatteryDriver& other)
    : m_nBatteryCount(other.m_nBatteryCount), m_hBattery{other.m_hBattery[0], other.m_hBattery[1]} {
}

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
        UpdateNote(this, [](Note& note) {
            s_nHandleRefCount -= note.references;
            note.references = 0;
        });
        CloseOwnHandles();
    } catch (const std::system_error&) {
        UpdateNote(this, [](Note& note) { note.references = 0; }); // no note outlives the object
        CloseOwnHandles();
    }
}

// Closes the handles this object opened; handles copied from another object are only
// forgotten.
void CBatteryDriver::CloseOwnHandles() {
    bool owns = false;
    UpdateNote(this, [&owns](Note& note) {
        owns = note.ownsHandles;
        note.ownsHandles = false;
    });
    for (HANDLE& handle : m_hBattery) {
        if (handle != INVALID_HANDLE_VALUE && owns) {
            CloseHandle(handle);
        }
        handle = INVALID_HANDLE_VALUE;
    }
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
// handles as they were. A reference that could not be noted down (memory ran out) is not taken;
// each query then opens the handles for itself.
void CBatteryDriver::InitBatteryDriverHandle() {
    if (!UpdateNote(this, [](Note& note) { ++note.references; })) {
        return;
    }
    try {
        ReferenceStep();
    } catch (const std::system_error&) {
        UpdateNote(this, [](Note& note) { --note.references; });
    }
}

// Gives back a reference only when this object holds one, as the destructor does: a release
// without a reference (one whose taking could not be noted down, or one too many) would leave
// the count below the references outstanding, and every later query without batteries.
void CBatteryDriver::ReleaseBatteryDriverHandle() {
    bool holds = false;
    UpdateNote(this, [&holds](Note& note) { holds = note.references > 0; });
    if (!holds) {
        return;
    }
    try {
        ReleaseStep();
    } catch (const std::system_error&) {
        return;
    }
    UpdateNote(this, [](Note& note) { --note.references; });
}

// Up to two battery interfaces, each opened as found; a slot whose interface cannot be read is
// skipped, not the end of the list. The handles are then put in the order of their device
// paths, which stay in the system's blocks until then: enumerating allocates nothing of the
// library's, so it cannot fail half-way for want of memory. Handles this object held before
// are closed first.
void CBatteryDriver::GetBatteryDriverHandle() {
    CloseOwnHandles();
    if (!UpdateNote(this, [](Note& note) { note.ownsHandles = true; })) {
        SetLastError(0);
        return; // handles this object could not be known to own would never be closed
    }
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
