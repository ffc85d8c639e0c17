// CPowerScheme: the Windows power plans (power schemes) by friendly name. The object takes a
// snapshot of the plans when it is built; listing and activating a plan by name use that
// snapshot, while the active plan and its display settings are read from the system at every
// call. Scheme GUIDs stay inside the object.
#pragma once

#include "cstring.h"
#include "export.h"

#include <cstddef>
#include <list>
#include <map>

namespace Celdor {

class CELDOR_API CPowerScheme {
public:
    // Enumerates the plans once. A plan whose name cannot be read is left out, and of several
    // plans with one name only the first enumerated is kept.
    CPowerScheme();
    CPowerScheme(const CPowerScheme& other);
    CPowerScheme& operator=(const CPowerScheme& other);
    ~CPowerScheme();

    // After construction none of these changes the object, so several threads may call them on
    // one object at once.

    // Appends the name of every plan of the snapshot to `list`, in ascending order of their
    // UTF-16 code units (case-sensitive, not by locale). What the list held stays in front.
    void GetPowerSchemeList(std::list<CString>& list);
    // 1 with the active plan's name stored in `name`; 0 (and `name` unchanged) when the system
    // cannot say. Also names a plan created after the snapshot.
    int GetActivePowerScheme(CString& name);
    // 1 when the plan of the snapshot with exactly this name (case-sensitive) was activated;
    // 0 when no plan has that name or the system refused. `name` is only read; the second
    // form takes a literal.
    int SetActivePowerScheme(CString& name);
    int SetActivePowerScheme(const CString& name);
    // The active plan's display time-out in seconds (0: never) for the current power source
    // (the AC value on AC power, the battery value otherwise), or -1 when it cannot be read.
    int GetDisplayTimeOutValue();
    // The active plan's display brightness in percent for the current power source, or -1.
    int GetCurrentBrightness();

private:
    struct Layout;

    void EnumPowerScheme();
    int GetPowerSchemeFriendlyname(GUID scheme, CString& name);
    int GetSubItemValue(GUID subgroup, GUID setting, DWORD& value);

    std::map<CString, GUID> m_mapSchemes;
};

// Hosts lay the object out as the scheme map alone.
CELDOR_LAYOUT_CHECKS_BEGIN
struct CPowerScheme::Layout {
    static_assert(sizeof(CPowerScheme) == sizeof(std::map<CString, GUID>));
    static_assert(offsetof(CPowerScheme, m_mapSchemes) == 0);
};
CELDOR_LAYOUT_CHECKS_END

} // namespace Celdor
