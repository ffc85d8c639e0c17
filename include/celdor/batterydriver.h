// CBatteryDriver: the batteries Windows knows, found through the battery device interface class,
// one handle per battery kept open under a process-wide reference count; the Windows battery
// information of one battery; and the version of the maker's driver interface.
#pragma once

#include "export.h"

#if defined(_WIN32)
#include <batclass.h>
#endif

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace Celdor {

class CELDOR_API CBatteryDriver {
public:
    CBatteryDriver();
    // A copy holds the same handle values as its source, without a reference of its own: it
    // may use them while the source keeps them open.
    CBatteryDriver(const CBatteryDriver& other);
    CBatteryDriver& operator=(const CBatteryDriver& other);
    // Gives back the references this object took and closes the handles it opened.
    virtual ~CBatteryDriver();

    // Takes a reference; the first reference of the process opens this object's handles.
    void InitBatteryDriverHandle();
    // Enumerates the batteries and opens their handles, without the lock or a reference.
    void GetBatteryDriverHandle();
    // Gives back a reference; the last one closes this object's handles.
    void ReleaseBatteryDriverHandle();
    // Reads BatteryInformation of battery `index` (0 or 1). Returns 1 when read (or when the
    // battery reports tag 0, leaving `info` alone), 0 otherwise.
    int GetBatteryInformationFromOS(BATTERY_INFORMATION& info, int index);
    // The maker's driver interface version, or -1.
    static int GetFvSpecVersion();

protected:
    static const int BATTERY_MAX_NUMBER = 2;
    // Guards s_nHandleRefCount and every open and close of battery handles, in every object.
    static std::mutex s_mutexHandle;
    static int s_nHandleRefCount;

    // The last battery slot whose interface could be read, plus one.
    int m_nBatteryCount;

private:
    // What this object took, in the word that the handles' alignment leaves free after the
    // count, so that the object keeps the layout hosts give it: the references it holds, and
    // whether it opened its handles itself (a copy's handles belong to its source).
    std::uint32_t m_uReferences : 31;
    std::uint32_t m_uOwnsHandles : 1;

protected:
    HANDLE m_hBattery[BATTERY_MAX_NUMBER];

    // Taking and giving back one reference under the lock: the first reference of the process
    // opens this object's handles, the last closes them. A lock that cannot be taken throws
    // std::system_error.
    void ReferenceStep();
    void ReleaseStep();
    // GetBatteryInformationFromOS, letting a lock that cannot be taken leave as
    // std::system_error for the caller to report.
    int ReadBatteryInformationFromOS(BATTERY_INFORMATION& info, int index);

private:
    struct Layout;

    // Closes the handles this object opened; handles copied from another are only forgotten.
    void CloseOwnHandles();
};

// The layout hosts give the object: the table of the virtual destructor, the battery count and
// the two handles.
CELDOR_LAYOUT_CHECKS_BEGIN
struct CBatteryDriver::Layout {
    static_assert(sizeof(CBatteryDriver) == 32);
    static_assert(offsetof(CBatteryDriver, m_nBatteryCount) == 8);
    static_assert(offsetof(CBatteryDriver, m_hBattery) == 16);
};
CELDOR_LAYOUT_CHECKS_END

} // namespace Celdor
