/* Celdor's C interface: the library for hosts that cannot use its C++ classes. Programs built
 * with another compiler than the library's (MSVC, clang for the MSVC target), C#, Python, Rust.
 * Plain C99; it needs nothing but <stddef.h> and <stdint.h>, so that any compiler's C front end
 * reads it, freestanding ones included, without <windows.h>. The functions are exported from the
 * same Celdor.dll (import library Celdor.lib, or libCeldor.dll.a for MinGW) and libceldor.so as
 * the C++ interface, and each one calls the C++ class that does the work.
 *
 * Conventions
 *
 * - Objects that keep state between calls are opaque handles, made by a *_create function
 *   (null when the object cannot be made) and released by the matching *_destroy function
 *   (which ignores null): celdor_battery (battery information and its caches), celdor_charging
 *   (the charging mode controller and its open channel to the driver), celdor_thermal (the link
 *   to the thermal service), celdor_plans (a snapshot of the power plans). Everything else is a
 *   plain function. A handle is used by one thread at a time; different handles and the plain
 *   functions may be used from any thread.
 * - Results are ints. Each function returns its operation's own result, as documented beside it
 *   (1 yes or done, 0 no or failed, -1 no answer, small codes where an operation has several
 *   outcomes); or a refusal from celdor_result, all of which are negative numbers of the form
 *   of Windows' HRESULT failure codes and never an operation's result.
 * - Every pointer argument may be null: a null handle, record, buffer size or name is refused
 *   with CELDOR_E_INVALID_ARGUMENT and nothing is done. Nothing is thrown and nothing of C++
 *   crosses this interface.
 * - Text is UTF-16: celdor_wchar is wchar_t on Windows and a 16-bit code unit elsewhere
 *   (char16_t in C++; in C11, u"" literals have its type). Text given to a function ends with a
 *   terminator. Text returned goes into a buffer the caller owns: *length holds the buffer's
 *   size in characters on the way in and the size the text needs, terminator included, on the
 *   way out. A null buffer asks for the size only. A buffer too short is refused with
 *   CELDOR_E_BUFFER_TOO_SMALL and not written at all.
 * - Records begin with a `size` member that the caller sets to sizeof the record, as Win32's
 *   cbSize, so that later versions can grow them; a smaller size is refused. Every field of a
 *   returned record is written: 0xFFFF in a 16-bit field (65535 in SmbSignedWord12, -1 in the
 *   int fields of celdor_smart_battery_info) and the empty text mean "no value".
 * - Calls block their thread while they confirm a change: a charging mode or night-charge
 *   change up to about half a second, a thermal change a little over two seconds.
 */
#ifndef CELDOR_CELDOR_C_H
#define CELDOR_CELDOR_C_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(CELDOR_BUILDING)
#define CELDOR_C_API __declspec(dllexport)
#else
#define CELDOR_C_API __declspec(dllimport)
#endif
typedef wchar_t celdor_wchar;
#define CELDOR_TEXT(text) L##text
#else
#define CELDOR_C_API __attribute__((visibility("default")))
#if defined(__cplusplus)
typedef char16_t celdor_wchar;
#else
typedef uint_least16_t celdor_wchar;
#endif
#define CELDOR_TEXT(text) u##text
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Interface version and refusals ------------------------------------------------------ */

/* Major version in the high 16 bits, minor in the low: a host built against major M runs with
 * any library whose celdor_version() >> 16 is M. */
#define CELDOR_VERSION 0x00010000u
CELDOR_C_API uint32_t celdor_version(void);

typedef enum celdor_result {
    /* A null handle, pointer or name; a record whose size is too small; a value outside the
     * function's range. 0x80070057 */
    CELDOR_E_INVALID_ARGUMENT = -0x7FF8FFA9,
    /* The caller's buffer cannot hold the text; *length says what it needs. 0x8007007A */
    CELDOR_E_BUFFER_TOO_SMALL = -0x7FF8FF86,
    /* Memory ran out while the result was being copied. 0x8007000E */
    CELDOR_E_OUT_OF_MEMORY = -0x7FF8FFF2,
    /* The operation failed in a way it has no result for. 0x8000FFFF */
    CELDOR_E_UNEXPECTED = -0x7FFF0001
} celdor_result;

/* ---- Diagnostic log ---------------------------------------------------------------------- */

/* Append `message` to the diagnostic log as an error or as debug information, as the library
 * logs its own failures: only when the machine's "WriteLevel" mask admits the level. The text
 * is taken as it is (no format), cut at 1023 or 511 characters. 1 when the mask admitted the
 * level, 0 when nothing was written. */
CELDOR_C_API int celdor_log_error(const celdor_wchar* message);
CELDOR_C_API int celdor_log_debug_info(const celdor_wchar* message);

/* ---- AC adapter -------------------------------------------------------------------------- */

/* 1 when the system reports AC power on line; 0 off line, unknown or not asked. */
CELDOR_C_API int celdor_adapter_ac_in(void);
/* The driver's adapter state 0 to 3; -1 when the driver cannot be asked or reports none. */
CELDOR_C_API int celdor_adapter_status(void);
/* 1 when the driver reports adapter mode detection, else 0. */
CELDOR_C_API int celdor_adapter_mode_detect_supported(void);
/* Not reported by this notebook generation: always -1. */
CELDOR_C_API int celdor_adapter_type(void);
CELDOR_C_API int celdor_adapter_wattage(void);
CELDOR_C_API int celdor_adapter_is_harlune(void);

/* ---- Charging modes ---------------------------------------------------------------------- */

#define CELDOR_CHARGING_NORMAL 0
#define CELDOR_CHARGING_STORAGE 1 /* conservation: the battery is kept part-charged */
#define CELDOR_CHARGING_EXPRESS 2 /* rapid charge */

/* The charging mode controller. Creating one asks the driver how many batteries it serves and,
 * the first time on this account, records the mode in force for the device-settings
 * application (HKEY_CURRENT_USER). */
typedef struct celdor_charging celdor_charging;
CELDOR_C_API celdor_charging* celdor_charging_create(void);
CELDOR_C_API void celdor_charging_destroy(celdor_charging* charging);

/* The mode in force: CELDOR_CHARGING_NORMAL, _STORAGE or _EXPRESS (storage when the firmware
 * reports both). */
CELDOR_C_API int celdor_charging_get_mode(celdor_charging* charging);
/* Switch to `mode` (storage and express are never on together) and read the mode back, up to
 * ten times 50 ms apart; returns the mode read last, `mode` itself when the change was
 * confirmed. */
CELDOR_C_API int celdor_charging_set_mode(celdor_charging* charging, int mode);
/* 1 when express charging is supported, else 0. */
CELDOR_C_API int celdor_charging_express_supported(celdor_charging* charging);
/* 1 when storage mode is supported (the driver can be opened), else 0. */
CELDOR_C_API int celdor_charging_storage_supported(celdor_charging* charging);

/* Batteries the firmware switches storage mode for: 1 or 2. */
CELDOR_C_API int celdor_charging_battery_count(void);
/* The driver's interface version, or -1. */
CELDOR_C_API int celdor_charging_driver_version(void);
/* Temporary mode: 1 supported, 0 not; its state 1, 2 or 4, 0 when unsupported or unread. */
CELDOR_C_API int celdor_charging_temporary_supported(void);
CELDOR_C_API int celdor_charging_temporary_mode(void);
/* Night charge: 1 supported, 0 not; its state 1 on, 2 off, 0 unsupported or unread. */
CELDOR_C_API int celdor_charging_night_supported(void);
CELDOR_C_API int celdor_charging_night_mode(void);
/* Switch night charge on (1) or off (2); returns the state read back (1, 2 or 0). */
CELDOR_C_API int celdor_charging_set_night_mode(int mode);
/* 1 when the driver is recent enough and the firmware offers storage at 80 %, else 0. */
CELDOR_C_API int celdor_charging_storage80_supported(void);

/* ---- Always-on USB charging -------------------------------------------------------------- */

/* Which feature: USB charging while the notebook sleeps or is off (on AC power), or the same
 * from the battery. Any other value is refused with CELDOR_E_INVALID_ARGUMENT. */
#define CELDOR_USB_ALWAYS_ON 0
#define CELDOR_USB_FROM_BATTERY 1

/* 1 supported, 0 not or unknown. */
CELDOR_C_API int celdor_usb_supported(int feature);
/* 1 on, 2 off, -1 unknown. */
CELDOR_C_API int celdor_usb_state(int feature);
/* Switch on (non-zero `on`) or off: non-zero when the driver took the command, 0 when not.
 * CELDOR_USB_ALWAYS_ON checks the state afterwards and sends the command again, up to ten
 * times, while it does not read as asked. */
CELDOR_C_API int celdor_usb_switch(int feature, int on);

/* ---- Batteries --------------------------------------------------------------------------- */

/* Characters of a text field of celdor_battery_information, terminator included. */
#define CELDOR_BATTERY_TEXT 32

/* One battery's information. Capacities in units of 10 mWh, voltage in mV, temperature in
 * tenths of a kelvin, times in minutes, percentages 0 to 100, dates packed as
 * (year - 1980) * 512 + month * 32 + day. */
typedef struct celdor_battery_information {
    uint32_t size; /* sizeof(celdor_battery_information), set by the caller */
    uint16_t DesignCapacity;
    uint16_t FullChargeCapacity;
    uint16_t RemainingCapacity;
    uint16_t SmbWord06; /* words of the smart-battery block, as the driver delivers them */
    uint16_t SmbWord08;
    uint16_t Voltage;
    int32_t SmbSignedWord12;
    uint16_t Temperature;
    uint16_t ManufactureDate;
    uint16_t SmbWord18;
    uint16_t SmbWord20;
    uint16_t ChargePercent; /* of the full-charge capacity */
    uint16_t HealthPercent; /* full-charge capacity in percent of the design capacity */
    /* 0 idle (on AC, or no state), 1 charging, 2 discharging, 3 discharging on AC. */
    uint16_t ChargeStatus;
    uint16_t RemainingTime;
    uint16_t TimeToFull;
    uint16_t CycleCount;
    celdor_wchar SmbText32[CELDOR_BATTERY_TEXT];
    celdor_wchar ManufacturerName[CELDOR_BATTERY_TEXT];
    celdor_wchar Firmware[CELDOR_BATTERY_TEXT]; /* "XXXX-XXXX-XXXX-XXXX" */
    celdor_wchar SerialNumber[CELDOR_BATTERY_TEXT];
    celdor_wchar SmbText52[CELDOR_BATTERY_TEXT];
    celdor_wchar Chemistry[CELDOR_BATTERY_TEXT];
} celdor_battery_information;

/* The health values of the second smart-battery generation; -1 where there is none. */
typedef struct celdor_smart_battery_info {
    uint32_t size; /* sizeof(celdor_smart_battery_info), set by the caller */
    int32_t IsSupported;
    int32_t HealthLevel;
    int32_t HealthTip;
    int32_t PredictedLifeSpan;
} celdor_smart_battery_info;

/* Battery information, with the readings it caches between calls. */
typedef struct celdor_battery celdor_battery;
CELDOR_C_API celdor_battery* celdor_battery_create(void);
CELDOR_C_API void celdor_battery_destroy(celdor_battery* battery);

/* Present batteries, at least 1; kept by the handle as the count that
 * celdor_battery_get_information accepts indices below. */
CELDOR_C_API int celdor_battery_count(celdor_battery* battery);
/* Present batteries, 0 to 2. */
CELDOR_C_API int celdor_battery_precise_count(celdor_battery* battery);
/* 1 when battery `index` (0 or 1) is present, else 0. */
CELDOR_C_API int celdor_battery_exists(celdor_battery* battery, int index);
/* 1 to 4 from the driver's status word, 5 for a missing battery, 0xFFFF when the driver
 * cannot be asked. */
CELDOR_C_API int celdor_battery_status(celdor_battery* battery, int index);
/* Reads every source afresh and fills *info for battery `index`, counted as the driver counts
 * them: 1 done; 0 when `index` is not below the count celdor_battery_count last gave (1 before
 * the first call), *info then unchanged. */
CELDOR_C_API int celdor_battery_get_information(celdor_battery* battery, int index,
                                                celdor_battery_information* info);

/* 1 when the maker's driver can be opened, else 0. */
CELDOR_C_API int celdor_battery_driver_present(void);
/* 1 when the battery is of the second smart-battery generation, else 0. */
CELDOR_C_API int celdor_battery_smart_v2_supported(void);
/* The driver's health level, health tip and predicted life span, each -1 when unread. */
CELDOR_C_API int celdor_battery_health_level(void);
CELDOR_C_API int celdor_battery_health_tip(void);
CELDOR_C_API int celdor_battery_predicted_life_span(void);
/* All four at once: 1, with *info filled. */
CELDOR_C_API int celdor_battery_smart_v2_info(celdor_smart_battery_info* info);

/* ---- Thermal modes ----------------------------------------------------------------------- */

#define CELDOR_THERMAL_MODE_NONE 0
#define CELDOR_THERMAL_MODE_INTELLIGENT 1
#define CELDOR_THERMAL_MODE_COOL 2
#define CELDOR_THERMAL_MODE_HIGH_PERFORMANCE 3
#define CELDOR_THERMAL_MODE_GEEK 4

/* Results of the thermal operations that talk to the service. */
#define CELDOR_THERMAL_OK 0
#define CELDOR_THERMAL_NO_SERVICE 1          /* the service cannot be opened */
#define CELDOR_THERMAL_SERVICE_NOT_RUNNING 2 /* stopped, not queryable, or pending too long */
#define CELDOR_THERMAL_CONTROL_FAILED 3      /* the service did not take the control */
#define CELDOR_THERMAL_NO_REGISTRY 4         /* the service's registry key cannot be opened */
#define CELDOR_THERMAL_NO_DRIVER 5           /* the maker's driver cannot be opened */

/* The two services that run the thermal modes: the thermal service serves the its_ functions,
 * the process-management service (the dispatcher) the dispatcher_ ones. */
#define CELDOR_THERMAL_SERVICE_ITS 0
#define CELDOR_THERMAL_SERVICE_DISPATCHER 1

/* A link to the service that the dispatcher's version selects. */
typedef struct celdor_thermal celdor_thermal;
CELDOR_C_API celdor_thermal* celdor_thermal_create(void);
CELDOR_C_API void celdor_thermal_destroy(celdor_thermal* thermal);

/* The service the link opens now, by the dispatcher's version: CELDOR_THERMAL_SERVICE_ITS or
 * _DISPATCHER. The link itself changes service only when it is opened again. */
CELDOR_C_API int celdor_thermal_service(celdor_thermal* thermal);
/* Opens the link again, choosing the service afresh: 1. */
CELDOR_C_API int celdor_thermal_reopen(celdor_thermal* thermal);
/* Waits while the service is starting or stopping: 0 running, 1 no service, 2 not running. */
CELDOR_C_API int celdor_thermal_service_status(celdor_thermal* thermal);
/* 1 when the service runs, reopening the link first when it did not; else 0. */
CELDOR_C_API int celdor_thermal_check_service(celdor_thermal* thermal);
/* The "Version" of each service's key; 0 when missing. */
CELDOR_C_API int celdor_thermal_its_version(celdor_thermal* thermal);
CELDOR_C_API int celdor_thermal_dispatcher_version(celdor_thermal* thermal);

/* The current mode and the capability word: a CELDOR_THERMAL_ result, with *capability and
 * *mode written on CELDOR_THERMAL_OK. For the dispatcher, skip_driver_probe non-zero skips the
 * check for the maker's driver, and use_setting_v non-zero reads the "V" setting where the
 * capability has it (bit 0x10, then kept in *capability). */
CELDOR_C_API int celdor_thermal_its_mode(celdor_thermal* thermal, int* capability, int* mode);
CELDOR_C_API int celdor_thermal_dispatcher_mode(celdor_thermal* thermal, int* capability, int* mode,
                                                int skip_driver_probe, int use_setting_v);
/* Ask for *mode and poll (ten times, 200 ms apart) until the service reports it: a
 * CELDOR_THERMAL_ result, with *mode then holding the mode read last (compare it with the
 * request to tell whether the change was confirmed). */
CELDOR_C_API int celdor_thermal_set_its_mode(celdor_thermal* thermal, int* mode);
CELDOR_C_API int celdor_thermal_set_dispatcher_mode(celdor_thermal* thermal, int* mode,
                                                    int skip_driver_probe, int use_setting_v);

/* Automatic transition: 1 on, 0 off, -1 not available. */
CELDOR_C_API int celdor_thermal_its_auto_transition(celdor_thermal* thermal);
CELDOR_C_API int celdor_thermal_dispatcher_auto_transition(celdor_thermal* thermal);
/* Switch it on (non-zero) or off: a CELDOR_THERMAL_ result; a change the service does not
 * confirm still gives CELDOR_THERMAL_OK. */
CELDOR_C_API int celdor_thermal_set_its_auto_transition(celdor_thermal* thermal, int enable);
CELDOR_C_API int celdor_thermal_set_dispatcher_auto_transition(celdor_thermal* thermal, int enable,
                                                               int skip_driver_probe);
/* 1 when the thermal service runs and reports the iEPM mode on, else 0. */
CELDOR_C_API int celdor_thermal_iepm_mode(celdor_thermal* thermal);
/* 1 when the dispatcher asks for its geek option to be shown greyed, else 0. */
CELDOR_C_API int celdor_thermal_geek_option_grey(celdor_thermal* thermal);

/* ---- Power plans ------------------------------------------------------------------------- */

/* A snapshot of the power plans by name, taken when it is created: the names in ascending
 * order of their UTF-16 code units, each once. The active plan and its settings are read from
 * the system at every call. */
typedef struct celdor_plans celdor_plans;
CELDOR_C_API celdor_plans* celdor_plans_create(void);
CELDOR_C_API void celdor_plans_destroy(celdor_plans* plans);

/* Plans in the snapshot. */
CELDOR_C_API int celdor_plans_count(celdor_plans* plans);
/* The name of plan `index` of the snapshot: 1 (or the size, for a null buffer); 0 when
 * `index` is not below the count. */
CELDOR_C_API int celdor_plans_name(celdor_plans* plans, size_t index, celdor_wchar* buffer,
                                   size_t* length);
/* The active plan's name: 1 (or the size, for a null buffer); 0 when the system cannot say.
 * Also names a plan made after the snapshot. */
CELDOR_C_API int celdor_plans_active(celdor_plans* plans, celdor_wchar* buffer, size_t* length);
/* Activates the plan of the snapshot with exactly this name (case-sensitive): 1 done, 0 no
 * such plan or the system refused. */
CELDOR_C_API int celdor_plans_activate(celdor_plans* plans, const celdor_wchar* name);
/* The active plan's display time-out in seconds (0 never) and brightness in percent, for the
 * current power source; -1 when they cannot be read. */
CELDOR_C_API int celdor_plans_display_timeout(celdor_plans* plans);
CELDOR_C_API int celdor_plans_brightness(celdor_plans* plans);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* CELDOR_CELDOR_C_H */
