// CPowerScheme: the Windows power plans (power schemes) by friendly name. The object takes a
// snapshot of the plans when it is built; listing and activating a plan by name use that
// snapshot, while the active plan and its display settings are read from the system at every
// call. Scheme GUIDs stay inside the object.
#pragma once

#include "cstring.h"
#include "export.h"

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

    // Appends the name of every plan of the snapshot to `list`, in ascending order of their
    // UTF-16 code units (case-sensitive, not by locale). What the list held stays in front.
    void GetPowerSchemeList(std::list<CString>& list) const;
    // 1 with the active plan's name stored in `name`; 0 (and `name` unchanged) when the system
    // cannot say. Also names a plan created after the snapshot.
    int GetActivePowerScheme(CString& name) const;
    // 1 when the plan of the snapshot with exactly this name (case-sensitive) was activated;
    // 0 when no plan has that name or the system refused.
    int SetActivePowerScheme(const CString& name) const;
    // The active plan's display time-out in seconds (0: never) for the current power source
    // (the AC value on AC power, the battery value otherwise), or -1 when it cannot be read.
    int GetDisplayTimeOutValue() const;
    // The active plan's display brightness in percent for the current power source, or -1.
    int GetCurrentBrightness() const;

private:
    void EnumPowerScheme();
    static int GetPowerSchemeFriendlyname(GUID scheme, CString& name);
    static int GetSubItemValue(GUID subgroup, GUID setting, DWORD& value);

    std::map<CString, GUID> m_mapSchemes;
};

} // namespace Celdor
