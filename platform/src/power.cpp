// Power management: the system power status, and the power schemes with the powrprof functions
// over them. Like Windows, the powrprof functions return their status and leave the thread's
// last error alone.
#include "internal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace celdor::sim;
using namespace celdor::sim::detail;

namespace {

// The system's battery as Windows reports it, over the packs in their bays: one composite
// battery whose charge is the sum of theirs. The run time is known on battery only, from the
// rate the packs run down at.
SYSTEM_POWER_STATUS FromPacks(SYSTEM_POWER_STATUS status) {
    namespace fw = celdor::models::firmware;
    AdvanceBatteries();
    fw::Firmware& firmware = NB().fervo().firmware();
    const bool onAc = status.ACLineStatus != 0;
    std::uint64_t remaining = 0;
    std::uint64_t full = 0;
    std::uint64_t drain = 0;
    bool charging = false;
    bool any = false;
    for (std::uint32_t i = 0; i < fw::kMostPacks; ++i) {
        const fw::Pack& pack = firmware.pack(i);
        if (!pack.present) {
            continue;
        }
        any = true;
        remaining += pack.remainingCapacity;
        full += pack.fullChargedCapacity;
        drain += pack.dischargeRate;
        charging =
            charging || fw::IsCharging(pack, onAc, firmware.chargeLimit(i, NB().clock().tickMs));
    }
    status.BatteryLifeTime = BATTERY_LIFE_UNKNOWN;
    status.BatteryFullLifeTime = BATTERY_LIFE_UNKNOWN;
    if (!any || full == 0) {
        status.BatteryFlag = BATTERY_FLAG_NO_BATTERY;
        status.BatteryLifePercent = BATTERY_PERCENTAGE_UNKNOWN;
        return status;
    }
    const auto percent =
        static_cast<BYTE>(std::min<std::uint64_t>(100, (remaining * 100 + full / 2) / full));
    status.BatteryLifePercent = percent;
    status.BatteryFlag = (percent > 66 ? BATTERY_FLAG_HIGH : 0) | (percent < 33 ? BATTERY_FLAG_LOW : 0) |
                         (percent < 5 ? BATTERY_FLAG_CRITICAL : 0) | (charging ? BATTERY_FLAG_CHARGING : 0);
    if (!onAc && drain > 0) {
        status.BatteryLifeTime = static_cast<DWORD>(remaining * 3600 / drain);
        status.BatteryFullLifeTime = static_cast<DWORD>(full * 3600 / drain);
    }
    return status;
}

} // namespace

BOOL WINAPI GetSystemPowerStatus(LPSYSTEM_POWER_STATUS lpSystemPowerStatus) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    Call call{.function = "GetSystemPowerStatus"};
    BOOL ok = FALSE;
    if (!lpSystemPowerStatus) {
        SetLastError(ERROR_NOACCESS);
    } else if (auto error = Injected("GetSystemPowerStatus")) {
        SetLastError(*error);
    } else {
        BatteryDevices& batteries = NB().batteries();
        const bool fromPacks = batteries.count() > 0 && batteries.systemStatusFromPacks;
        *lpSystemPowerStatus = fromPacks ? FromPacks(NB().powerStatus()) : NB().powerStatus();
        ok = TRUE;
    }
    return Finish(call, ok);
}

// --- Identifiers ----------------------------------------------------------------------------

const GUID GUID_TYPICAL_POWER_SAVINGS = {
    0x381B4222, 0xF694, 0x41F0, {0x96, 0x85, 0xFF, 0x5B, 0xB2, 0x60, 0xDF, 0x2E}};
const GUID GUID_MIN_POWER_SAVINGS = {
    0x8C5E7FDA, 0xE8BF, 0x4A96, {0x9A, 0x85, 0xA6, 0xE2, 0x3A, 0x8C, 0x63, 0x5C}};
const GUID GUID_MAX_POWER_SAVINGS = {
    0xA1841308, 0x3541, 0x4FAB, {0xBC, 0x81, 0xF7, 0x15, 0x56, 0xF2, 0x0B, 0x4A}};
const GUID NO_SUBGROUP_GUID = {
    0xFEA3413E, 0x7E05, 0x4911, {0x9A, 0x71, 0x70, 0x03, 0x31, 0xF1, 0xC2, 0x94}};
const GUID GUID_VIDEO_SUBGROUP = {
    0x7516B95F, 0xF776, 0x4464, {0x8C, 0x53, 0x06, 0x16, 0x7F, 0x40, 0xCC, 0x99}};
const GUID GUID_VIDEO_POWERDOWN_TIMEOUT = {
    0x3C0BC021, 0xC8A8, 0x4E07, {0xA9, 0x73, 0x6B, 0x14, 0xCB, 0xCB, 0x2B, 0x7E}};
const GUID GUID_DEVICE_POWER_POLICY_VIDEO_BRIGHTNESS = {
    0xADED5E82, 0xB909, 0x4619, {0x99, 0x49, 0xF5, 0xD7, 0x1D, 0xAC, 0x0B, 0xCB}};

namespace celdor::sim {

std::string GuidText(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", guid.Data1,
                  guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

std::optional<GUID> ParseGuid(std::string_view text) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
        text = text.substr(1, 36);
    }
    if (text.size() != 36) {
        return std::nullopt;
    }
    auto digit = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    std::uint8_t bytes[16];
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i++] != '-') {
                return std::nullopt;
            }
        }
        const int high = digit(text[i]);
        const int low = digit(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes[count++] = static_cast<std::uint8_t>(high << 4 | low);
    }
    GUID guid{};
    guid.Data1 =
        static_cast<std::uint32_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
    guid.Data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
    guid.Data3 = static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]);
    std::memcpy(guid.Data4, bytes + 8, 8);
    return guid;
}

PowerPlan* PowerSchemes::find(const GUID& guid) {
    for (PowerPlan& plan : plans) {
        if (plan.guid == guid) {
            return &plan;
        }
    }
    return nullptr;
}

void PowerSchemes::reset() {
    plans = {
        PowerPlan{GUID_TYPICAL_POWER_SAVINGS, u"Balanced", 600, 300, 100, 75},
        PowerPlan{GUID_MIN_POWER_SAVINGS, u"High performance", 900, 600, 100, 100},
        PowerPlan{GUID_MAX_POWER_SAVINGS, u"Power saver", 300, 120, 75, 40},
    };
    active = GUID_TYPICAL_POWER_SAVINGS;
}

} // namespace celdor::sim

namespace {

// The settings of the video subgroup, the only ones a plan of the notebook describes.
struct Setting {
    const GUID* guid;
    DWORD PowerPlan::*ac;
    DWORD PowerPlan::*dc;
};
const Setting kVideoSettings[] = {
    {&GUID_VIDEO_POWERDOWN_TIMEOUT, &PowerPlan::displayTimeoutAc, &PowerPlan::displayTimeoutDc},
    {&GUID_DEVICE_POWER_POLICY_VIDEO_BRIGHTNESS, &PowerPlan::brightnessAc,
     &PowerPlan::brightnessDc},
};

const Setting* FindSetting(const GUID* subgroup, const GUID* setting) {
    if (!subgroup || !setting || *subgroup != GUID_VIDEO_SUBGROUP) {
        return nullptr;
    }
    for (const Setting& known : kVideoSettings) {
        if (*known.guid == *setting) {
            return &known;
        }
    }
    return nullptr;
}

// The journal's name for what a call is about: scheme, subgroup and setting, as far as given.
std::string Target(const GUID* scheme, const GUID* subgroup = nullptr,
                   const GUID* setting = nullptr) {
    std::string text = scheme ? GuidText(*scheme) : "(null)";
    for (const GUID* part : {subgroup, setting}) {
        if (part) {
            text += "\\" + GuidText(*part);
        }
    }
    return text;
}

// Copies fixed-size data into a caller's buffer by the powrprof rules: no buffer asks for the
// size; a buffer too small gets ERROR_MORE_DATA and the size needed.
DWORD CopyOut(const void* data, DWORD size, UCHAR* buffer, DWORD* bufferSize, DWORD noBuffer) {
    if (!buffer) {
        *bufferSize = size;
        return noBuffer;
    }
    if (*bufferSize < size) {
        *bufferSize = size;
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, data, size);
    *bufferSize = size;
    return ERROR_SUCCESS;
}

DWORD ReadValue(const char* function, bool ac, const GUID* scheme, const GUID* subgroup,
                const GUID* setting, PULONG type, UCHAR* buffer, LPDWORD bufferSize) {
    auto lock = LockNotebook();
    Call call{.function = function,
              .target = Target(scheme, subgroup, setting),
              .outSize = bufferSize ? *bufferSize : 0};
    if (auto error = Injected(function, call.target)) {
        return Finish(call, *error);
    }
    if (!scheme || !setting || (buffer && !bufferSize)) {
        return Finish(call, DWORD(ERROR_INVALID_PARAMETER));
    }
    const PowerPlan* plan = NB().powerSchemes().find(*scheme);
    const Setting* known = FindSetting(subgroup, setting);
    if (!plan || !known) {
        return Finish(call, DWORD(ERROR_FILE_NOT_FOUND));
    }
    if (type) {
        *type = REG_DWORD;
    }
    if (!bufferSize) {
        return Finish(call, DWORD(ERROR_SUCCESS));
    }
    const DWORD value = plan->*(ac ? known->ac : known->dc);
    return Finish(call, CopyOut(&value, sizeof value, buffer, bufferSize, ERROR_SUCCESS));
}

} // namespace

// Schemes only: the subgroups and settings of a scheme are valid on Windows but outside the
// subset.
DWORD WINAPI PowerEnumerate(HKEY RootPowerKey, const GUID* SchemeGuid,
                            const GUID* SubGroupOfPowerSettingsGuid,
                            POWER_DATA_ACCESSOR AccessFlags, ULONG Index, UCHAR* Buffer,
                            DWORD* BufferSize) {
    const SystemCallScope systemCall;
    (void)RootPowerKey;
    (void)SchemeGuid; // ignored when enumerating schemes
    (void)SubGroupOfPowerSettingsGuid;
    auto lock = LockNotebook();
    Call call{.function = "PowerEnumerate",
              .code = Index,
              .flags = static_cast<DWORD>(AccessFlags),
              .outSize = BufferSize ? *BufferSize : 0};
    if (auto error = Injected("PowerEnumerate")) {
        return Finish(call, *error);
    }
    if (AccessFlags == ACCESS_SUBGROUP || AccessFlags == ACCESS_INDIVIDUAL_SETTING) {
        return Finish(call, DWORD(ERROR_NOT_SUPPORTED));
    }
    if (AccessFlags != ACCESS_SCHEME || !BufferSize) {
        return Finish(call, DWORD(ERROR_INVALID_PARAMETER));
    }
    const std::vector<PowerPlan>& plans = NB().powerSchemes().plans;
    if (Index >= plans.size()) {
        return Finish(call, DWORD(ERROR_NO_MORE_ITEMS));
    }
    return Finish(call,
                  CopyOut(&plans[Index].guid, sizeof(GUID), Buffer, BufferSize, ERROR_MORE_DATA));
}

// Scheme names only: the names of subgroups and settings are valid on Windows but outside the
// subset.
DWORD WINAPI PowerReadFriendlyName(HKEY RootPowerKey, const GUID* SchemeGuid,
                                   const GUID* SubGroupOfPowerSettingsGuid,
                                   const GUID* PowerSettingGuid, PUCHAR Buffer,
                                   LPDWORD BufferSize) {
    const SystemCallScope systemCall;
    (void)RootPowerKey;
    auto lock = LockNotebook();
    Call call{.function = "PowerReadFriendlyName",
              .target = Target(SchemeGuid, SubGroupOfPowerSettingsGuid, PowerSettingGuid),
              .outSize = BufferSize ? *BufferSize : 0};
    if (auto error = Injected("PowerReadFriendlyName", call.target)) {
        return Finish(call, *error);
    }
    if (PowerSettingGuid ||
        (SubGroupOfPowerSettingsGuid && *SubGroupOfPowerSettingsGuid != NO_SUBGROUP_GUID)) {
        return Finish(call, DWORD(ERROR_NOT_SUPPORTED));
    }
    if (!SchemeGuid || !BufferSize) {
        return Finish(call, DWORD(ERROR_INVALID_PARAMETER));
    }
    const PowerPlan* plan = NB().powerSchemes().find(*SchemeGuid);
    if (!plan) {
        return Finish(call, DWORD(ERROR_FILE_NOT_FOUND));
    }
    const DWORD size = static_cast<DWORD>((plan->name.size() + 1) * sizeof(char16_t));
    return Finish(call, CopyOut(plan->name.c_str(), size, Buffer, BufferSize, ERROR_SUCCESS));
}

DWORD WINAPI PowerGetActiveScheme(HKEY UserRootPowerKey, GUID** ActivePolicyGuid) {
    const SystemCallScope systemCall;
    (void)UserRootPowerKey;
    auto lock = LockNotebook();
    Call call{.function = "PowerGetActiveScheme"};
    PowerSchemes& schemes = NB().powerSchemes();
    call.target = GuidText(schemes.active);
    if (auto error = Injected("PowerGetActiveScheme", call.target)) {
        return Finish(call, *error);
    }
    if (!ActivePolicyGuid) {
        return Finish(call, DWORD(ERROR_INVALID_PARAMETER));
    }
    if (!schemes.find(schemes.active)) {
        return Finish(call, DWORD(ERROR_FILE_NOT_FOUND));
    }
    auto* block = static_cast<GUID*>(LocalBlock(sizeof(GUID)));
    if (!block) {
        return Finish(call, DWORD(ERROR_NOT_ENOUGH_MEMORY));
    }
    *block = schemes.active;
    *ActivePolicyGuid = block;
    call.handle = HandleId(block);
    return Finish(call, DWORD(ERROR_SUCCESS));
}

DWORD WINAPI PowerSetActiveScheme(HKEY UserRootPowerKey, const GUID* SchemeGuid) {
    const SystemCallScope systemCall;
    (void)UserRootPowerKey;
    auto lock = LockNotebook();
    Call call{.function = "PowerSetActiveScheme", .target = Target(SchemeGuid)};
    if (auto error = Injected("PowerSetActiveScheme", call.target)) {
        return Finish(call, *error);
    }
    if (!SchemeGuid) {
        return Finish(call, DWORD(ERROR_INVALID_PARAMETER));
    }
    PowerSchemes& schemes = NB().powerSchemes();
    if (!schemes.find(*SchemeGuid)) {
        return Finish(call, DWORD(ERROR_FILE_NOT_FOUND));
    }
    schemes.active = *SchemeGuid;
    return Finish(call, DWORD(ERROR_SUCCESS));
}

DWORD WINAPI PowerReadACValue(HKEY RootPowerKey, const GUID* SchemeGuid,
                              const GUID* SubGroupOfPowerSettingsGuid, const GUID* PowerSettingGuid,
                              PULONG Type, LPBYTE Buffer, LPDWORD BufferSize) {
    const SystemCallScope systemCall;
    (void)RootPowerKey;
    return ReadValue("PowerReadACValue", true, SchemeGuid, SubGroupOfPowerSettingsGuid,
                     PowerSettingGuid, Type, Buffer, BufferSize);
}

DWORD WINAPI PowerReadDCValue(HKEY RootPowerKey, const GUID* SchemeGuid,
                              const GUID* SubGroupOfPowerSettingsGuid, const GUID* PowerSettingGuid,
                              PULONG Type, PUCHAR Buffer, LPDWORD BufferSize) {
    const SystemCallScope systemCall;
    (void)RootPowerKey;
    return ReadValue("PowerReadDCValue", false, SchemeGuid, SubGroupOfPowerSettingsGuid,
                     PowerSettingGuid, Type, Buffer, BufferSize);
}
