// CChargingMode: the battery charging mode (normal, storage, express), kept so that storage and
// express are never on together, confirmed by reading it back and recorded for the host in the
// registry; and the temporary, night-charge and storage-80 modes.
#pragma once

#include "export.h"

#include <cstddef>

namespace Celdor {

class CPowerFeatureBase;

class CELDOR_API CChargingMode {
public:
    // Builds the storage and express features and, the first time, records the mode in force
    // in the registry.
    CChargingMode();
    // Copies share the features of their source; the last one destroyed destroys them.
    CChargingMode(const CChargingMode& other);
    CChargingMode& operator=(const CChargingMode& other);
    ~CChargingMode();

    // 0 normal, 1 storage, 2 express: the mode in force (storage when the firmware reports
    // both).
    int GetChargingMode() const;
    // Switches to `mode` and reads the mode back up to 10 times, 50 ms apart. Returns the mode
    // read last: `mode` when the change was confirmed (and then recorded in the registry).
    int SetChargingMode(int mode) const;
    int DoesSupportRapidChargeMode() const;
    int DoesSupportConservationMode() const;

    // The registry string of a mode ("Normal" for a value that is no mode); not to be freed.
    static WCHAR* ChargeMode2Str(int mode);
    // Records `mode` in the registry without touching the hardware.
    static void SetChargeModeRegistry(int mode);
    // The maker's driver's interface version, or -1.
    static int GetFvSpecVersion();

    // Temporary mode: 1 supported, 0 not; its state 1, 2 or 4, 0 when unsupported or unread.
    static int DoesSupportTemporaryMode();
    static int GetTemporaryMode();
    // Night charge: 1 supported, 0 not; its state 1 on, 2 off, 0 unsupported or unread.
    static int DoesSupportNightChargeMode();
    static int GetNightChargeMode();
    // Switches night charge on (1) or off (2) and returns the state read back.
    static int SetNightChargeMode(int mode);
    // 1 when the driver is recent enough and the firmware supports storage at 80%.
    static int DoesSupportStorage80();

    // Where the mode is recorded: the value BATTERY_CHARGE_MODE_VALUE of the key ADDIN_KEY
    // under HKEY_CURRENT_USER, holding one of the three mode strings.
    static WCHAR* ADDIN_KEY;
    static WCHAR* BATTERY_CHARGE_MODE_VALUE;
    static WCHAR* BATTERY_CHARGE_MODE_NORMAL;
    static WCHAR* BATTERY_CHARGE_MODE_EXPRESS;
    static WCHAR* BATTERY_CHARGE_MODE_STORAGE;
    // The driver interface version from which storage-80 can be supported (184); read at
    // every use.
    static int FV_SPEC_VERSION_STORAGE_80;

private:
    struct Features;
    struct Layout;

    // Seeds the registry value when it does not exist yet: -1 when it did, else the mode
    // recorded.
    int InitChargingModeStatus() const;
    void Release();
    Features* Shared() const;

    // Both point into one shared allocation (see Features); null when it could not be made.
    CPowerFeatureBase* m_pStorage;
    CPowerFeatureBase* m_pExpress;
};

// Hosts lay the object out as the two feature pointers alone.
struct CChargingMode::Layout {
    static_assert(sizeof(CChargingMode) == 16);
    static_assert(offsetof(CChargingMode, m_pStorage) == 0);
    static_assert(offsetof(CChargingMode, m_pExpress) == 8);
};

} // namespace Celdor
