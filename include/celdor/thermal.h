// CIntelligentCooling: the notebook's thermal modes (intelligent cooling), run by one of the
// maker's two services. The thermal service "Thermivo" serves the ITS operations, the
// process-management service "HarluneProcessManagement" (the dispatcher) the Dispatcher ones;
// which one the object talks to is chosen by the dispatcher's version at every open. The
// services publish their state as DWORD values under HKEY_LOCAL_MACHINE, which every query reads
// afresh, and take custom service control codes, which every change sends and then confirms by
// polling those values. Nothing here logs: every failure is a result code.
#pragma once

#include "export.h"

#include <cstddef>

namespace Celdor {

class CELDOR_API CIntelligentCooling {
public:
    // The thermal modes, as the Get operations report them and the Set operations ask for them.
    enum ITSMode : int {
        ITS_MODE_NONE = 0,
        ITS_MODE_INTELLIGENT = 1,
        ITS_MODE_COOL = 2,
        ITS_MODE_HIGH_PERFORMANCE = 3,
        ITS_MODE_GEEK = 4,
    };

    // Results of the thermal operations.
    enum : int {
        ITS_RESULT_OK = 0,
        ITS_RESULT_NO_SERVICE = 1,          // the service manager or the service cannot be opened
        ITS_RESULT_SERVICE_NOT_RUNNING = 2, // stopped, not queryable, or pending too long
        ITS_RESULT_CONTROL_FAILED = 3,      // the service did not take the control
        ITS_RESULT_NO_REGISTRY = 4,         // the service's key cannot be opened
        ITS_RESULT_NO_DRIVER = 5,           // the maker's driver device cannot be opened
    };

    // Opens a handle to the service the dispatcher's version selects (none when it cannot).
    CIntelligentCooling();
    // A copy opens a handle of its own, chosen afresh; the two never share one.
    CIntelligentCooling(const CIntelligentCooling& other);
    CIntelligentCooling& operator=(const CIntelligentCooling& other);
    virtual ~CIntelligentCooling();

    // Chooses the service again and replaces the handle.
    void InitHandle();
    // 1 when the service runs (reopening it first if it did not), else 0.
    int CheckHandle();
    // Waits while the service is starting or stopping: 0 running, 1 no handle, 2 not running.
    int GetServiceStatus();

    // The "Version" values of the two services' keys; 0 when missing.
    int GetITSVersion();
    int GetDispatcherVersion();
    // 1 when the thermal service's automatic transition is on, 0 off, -1 key missing.
    int IsAutoTransitionEnabled();

    // The thermal service's mode and capability: 0, or 1, 2, 4, 5 as the results above.
    int GetITSMode(int& capability, ITSMode& mode);
    // The dispatcher's mode and capability. skipDriverProbe: do not check the maker's driver;
    // useSettingV: read the "V" setting where the capability has it (bit 0x10), and keep that
    // bit in the capability.
    int GetDispatcherMode(int& capability, ITSMode& mode, int skipDriverProbe, int useSettingV);
    // Ask for `mode` and poll until the service reports it (at most ten times, 200 ms apart).
    // `mode` ends holding the last mode read; compare it with the request to tell whether the
    // change was confirmed.
    int SetITSMode(ITSMode& mode);
    int SetDispatcherMode(ITSMode& mode, int skipDriverProbe, int useSettingV);
    // Switch the automatic transition on (non-zero) or off. 0 unless the control could not be
    // sent (1, 2, 3) or the driver is missing (5); a change the service does not confirm is 0.
    int SetITSAutoTransition(int enable);
    int SetDispatcheriEPMAutoTransition(int enable, int skipDriverProbe);
    // 1 on, 0 off, -1 not available or key missing.
    int IsDispatcheriEPMAutoTransitionEnabled();
    // 1 when the thermal service runs and reports the iEPM mode on, else 0.
    int IsiEPMModeEnabled();
    // 1 when the dispatcher asks for its geek option to be shown greyed, else 0.
    int ShouldGeekOptionGrey();

private:
    struct Layout;

    // Opens `path` under HKEY_LOCAL_MACHINE for reading, as a 64-bit view when the plain open
    // fails. 1 with `key` open (the caller closes it), 0 when it cannot be opened.
    static int QueryIntelligentCoolingRegistry(const WCHAR* path, HKEY& key);

    static const WCHAR* const ITS_SERVICE_NAME;
    static const WCHAR* const DISPATCHER_SERVICE_NAME;
    static const WCHAR* const KEY_INTELLIGENT_COOLING;
    static const WCHAR* const KEY_INTELLIGENT_COOLING_MMC;
    static const WCHAR* const KEY_INTELLIGENT_COOLING_AUTODETECT;
    static const WCHAR* const KEY_DISPATCHER_POWER_SLIDER;
    static const WCHAR* const SUBKEY_VERSION;
    static const WCHAR* const SUBKEY_CAPABILITY;
    static const WCHAR* const SUBKEY_CURRENTSTATE;
    static const WCHAR* const SUBKEY_CURRENT_SETTING;
    static const WCHAR* const SUBKEY_AUTOMATIC_MODE_SETTING;
    static const WCHAR* const SUBKEY_ITS_FN_CAPABILITY;
    static const WCHAR* const SUBKEY_ITS_CURRENT_SETTING;
    static const WCHAR* const SUBKEY_ITS_CURRENT_SETTING_V;
    static const WCHAR* const SUBKEY_ITS_SE_PELMARKSETTING;
    static const WCHAR* const SUBKEY_ITS_SE_HW_CAPABILITY;

    // Milliseconds between two confirmation polls after a control.
    static DWORD CONTROL_SERVICE_DELAY;
    // The custom control codes (128 to 255) the services take.
    static DWORD SERVICE_CONTROL_MESSAGE_SET_INTELLIGENT_COOLING_DISABLE;
    static DWORD SERVICE_CONTROL_MESSAGE_SET_INTELLIGENT_COOLING_ENABLE;
    static DWORD SERVICE_CONTROL_MESSAGE_SET_INTELLIGENT_COOLING_COOL;
    static DWORD SERVICE_CONTROL_MESSAGE_SET_INTELLIGENT_COOLING_HIGH_PERFORMANCE;
    static DWORD SERVICE_CONTROL_MESSAGE_SET_iEPM_ENABLE;
    static DWORD SERVICE_CONTROL_MESSAGE_SET_iEPM_DISABLE;
    static DWORD SERVICE_CONTROL_SET_INTELLIGENT;
    static DWORD SERVICE_CONTROL_SET_BSM;
    static DWORD SERVICE_CONTROL_SET_EPM;
    static DWORD SERVICE_CONTROL_SET_iEPM_ENABLE;
    static DWORD SERVICE_CONTROL_SET_iEPM_DISABLE;
    static DWORD SERVICE_CONTROL_SET_iGEEK_ENABLE;

    // The service handle, null when no service could be opened. Owned by this object.
    SC_HANDLE m_hService;
};

// Hosts lay the object out as its destructor's table and the one service handle.
CELDOR_LAYOUT_CHECKS_BEGIN
struct CIntelligentCooling::Layout {
    static_assert(sizeof(CIntelligentCooling) == 16);
    static_assert(offsetof(CIntelligentCooling, m_hService) == 8);
};
CELDOR_LAYOUT_CHECKS_END

} // namespace Celdor
