// Power management: the system power status, and the power schemes with the powrprof functions
// over them. The rules of those functions are the power-scheme model's; here they run over the
// notebook's plans. Like Windows, the powrprof functions return their status and leave the
// thread's last error alone.
#include "internal.h"

#include <celdor_models/power_schemes.h>

#include <algorithm>

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
    status.BatteryFlag =
        (percent > 66 ? BATTERY_FLAG_HIGH : 0) | (percent < 33 ? BATTERY_FLAG_LOW : 0) |
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
        const bool fromPacks = batteries.anyPresent() && batteries.systemStatusFromPacks;
        *lpSystemPowerStatus = fromPacks ? FromPacks(NB().powerStatus()) : NB().powerStatus();
        ok = TRUE;
    }
    return Finish(call, ok);
}

// --- Identifiers ----------------------------------------------------------------------------

namespace power = celdor::models::power;

namespace {

constexpr GUID ToGuid(const power::Guid& g) {
    return power::ToHost<GUID>(g);
}

power::Guid ToModel(const GUID& g) {
    return power::FromHost(g);
}

} // namespace

const GUID GUID_TYPICAL_POWER_SAVINGS = ToGuid(power::kBalanced);
const GUID GUID_MIN_POWER_SAVINGS = ToGuid(power::kHighPerformance);
const GUID GUID_MAX_POWER_SAVINGS = ToGuid(power::kPowerSaver);
const GUID NO_SUBGROUP_GUID = ToGuid(power::kNoSubgroup);
const GUID GUID_VIDEO_SUBGROUP = ToGuid(power::kVideoSubgroup);
const GUID GUID_VIDEO_POWERDOWN_TIMEOUT = ToGuid(power::kDisplayTimeout);
const GUID GUID_DEVICE_POWER_POLICY_VIDEO_BRIGHTNESS = ToGuid(power::kBrightness);

namespace celdor::sim {

std::string GuidText(const GUID& guid) {
    return power::GuidText(ToModel(guid));
}

std::optional<GUID> ParseGuid(std::string_view text) {
    const auto guid = power::ParseGuid(text);
    return guid ? std::optional<GUID>(ToGuid(*guid)) : std::nullopt;
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
    created = 0;
}

} // namespace celdor::sim

namespace {

using power::GuidArg;
using power::status::kFileNotFound;
using power::status::kNoMoreItems;
using power::status::kSuccess;

DWORD PowerPlan::*Member(power::Setting setting, bool ac) {
    if (setting == power::Setting::DisplayTimeout) {
        return ac ? &PowerPlan::displayTimeoutAc : &PowerPlan::displayTimeoutDc;
    }
    return ac ? &PowerPlan::brightnessAc : &PowerPlan::brightnessDc;
}

// The notebook's plans as the model's store: enumerated in their order, a new plan last.
class NotebookStore final : public power::SchemeStore {
public:
    NotebookStore() : m_schemes(NB().powerSchemes()) {}

    std::uint32_t schemeAt(std::uint32_t index, power::Guid& scheme) override {
        if (index >= m_schemes.plans.size()) {
            return kNoMoreItems;
        }
        scheme = ToModel(m_schemes.plans[index].guid);
        return kSuccess;
    }
    bool exists(const power::Guid& scheme) override { return plan(scheme) != nullptr; }
    std::uint32_t name(const power::Guid& scheme, std::u16string& name) override {
        return with(scheme, [&](PowerPlan& plan) { name = plan.name; });
    }
    std::uint32_t setName(const power::Guid& scheme, std::u16string_view name) override {
        return with(scheme, [&](PowerPlan& plan) { plan.name = name; });
    }
    std::uint32_t active(power::Guid& scheme) override {
        scheme = ToModel(m_schemes.active);
        return kSuccess;
    }
    std::uint32_t setActive(const power::Guid& scheme) override {
        m_schemes.active = ToGuid(scheme);
        return kSuccess;
    }
    std::uint32_t value(const power::Guid& scheme, power::Setting setting, bool ac,
                        std::uint32_t& value) override {
        return with(scheme, [&](PowerPlan& plan) { value = plan.*Member(setting, ac); });
    }
    std::uint32_t setValue(const power::Guid& scheme, power::Setting setting, bool ac,
                           std::uint32_t value) override {
        return with(scheme, [&](PowerPlan& plan) { plan.*Member(setting, ac) = value; });
    }
    std::uint32_t copy(const power::Guid& from, const power::Guid& to) override {
        return with(from, [&](PowerPlan& plan) {
            PowerPlan copy = plan;
            copy.guid = ToGuid(to);
            m_schemes.plans.push_back(std::move(copy));
        });
    }
    std::uint32_t remove(const power::Guid& scheme) override {
        std::erase_if(m_schemes.plans,
                      [&](const PowerPlan& plan) { return plan.guid == ToGuid(scheme); });
        return kSuccess;
    }

private:
    PowerPlan* plan(const power::Guid& scheme) { return m_schemes.find(ToGuid(scheme)); }
    template <typename Use> std::uint32_t with(const power::Guid& scheme, Use use) {
        PowerPlan* found = plan(scheme);
        if (!found) {
            return kFileNotFound;
        }
        use(*found);
        return kSuccess;
    }
    PowerSchemes& m_schemes;
};

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

DWORD ReadValue(const char* function, bool ac, const GUID* scheme, const GUID* subgroup,
                const GUID* setting, PULONG type, UCHAR* buffer, LPDWORD bufferSize) {
    auto lock = LockNotebook();
    Call call{.function = function,
              .target = Target(scheme, subgroup, setting),
              .outSize = bufferSize ? *bufferSize : 0};
    if (auto error = Injected(function, call.target)) {
        return Finish(call, *error);
    }
    NotebookStore store;
    return Finish(call,
                  DWORD(power::ReadValue(store, ac, GuidArg(scheme).get(), GuidArg(subgroup).get(),
                                         GuidArg(setting).get(), type, buffer, bufferSize)));
}

DWORD WriteValue(const char* function, bool ac, const GUID* scheme, const GUID* subgroup,
                 const GUID* setting, DWORD value) {
    auto lock = LockNotebook();
    Call call{.function = function, .target = Target(scheme, subgroup, setting), .code = value};
    if (auto error = Injected(function, call.target)) {
        return Finish(call, *error);
    }
    NotebookStore store;
    return Finish(call, DWORD(power::WriteValueIndex(store, ac, GuidArg(scheme).get(),
                                                     GuidArg(subgroup).get(),
                                                     GuidArg(setting).get(), value)));
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
    NotebookStore store;
    return Finish(call, DWORD(power::Enumerate(store, static_cast<std::uint32_t>(AccessFlags),
                                               Index, Buffer, BufferSize)));
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
    NotebookStore store;
    return Finish(
        call, DWORD(power::ReadFriendlyName(store, GuidArg(SchemeGuid).get(),
                                            GuidArg(SubGroupOfPowerSettingsGuid).get(),
                                            GuidArg(PowerSettingGuid).get(), Buffer, BufferSize)));
}

DWORD WINAPI PowerWriteFriendlyName(HKEY RootPowerKey, const GUID* SchemeGuid,
                                    const GUID* SubGroupOfPowerSettingsGuid,
                                    const GUID* PowerSettingGuid, UCHAR* Buffer, DWORD BufferSize) {
    const SystemCallScope systemCall;
    (void)RootPowerKey;
    auto lock = LockNotebook();
    Call call{.function = "PowerWriteFriendlyName",
              .target = Target(SchemeGuid, SubGroupOfPowerSettingsGuid, PowerSettingGuid),
              .inSize = BufferSize};
    if (auto error = Injected("PowerWriteFriendlyName", call.target)) {
        return Finish(call, *error);
    }
    NotebookStore store;
    return Finish(
        call, DWORD(power::WriteFriendlyName(store, GuidArg(SchemeGuid).get(),
                                             GuidArg(SubGroupOfPowerSettingsGuid).get(),
                                             GuidArg(PowerSettingGuid).get(), Buffer, BufferSize)));
}

DWORD WINAPI PowerGetActiveScheme(HKEY UserRootPowerKey, GUID** ActivePolicyGuid) {
    const SystemCallScope systemCall;
    (void)UserRootPowerKey;
    auto lock = LockNotebook();
    Call call{.function = "PowerGetActiveScheme"};
    call.target = GuidText(NB().powerSchemes().active);
    if (auto error = Injected("PowerGetActiveScheme", call.target)) {
        return Finish(call, *error);
    }
    if (!ActivePolicyGuid) {
        return Finish(call, DWORD(ERROR_INVALID_PARAMETER));
    }
    NotebookStore store;
    power::Guid active;
    if (const DWORD result = power::GetActiveScheme(store, active); result != ERROR_SUCCESS) {
        return Finish(call, result);
    }
    auto* block = static_cast<GUID*>(LocalBlock(sizeof(GUID)));
    if (!block) {
        return Finish(call, DWORD(ERROR_NOT_ENOUGH_MEMORY));
    }
    *block = ToGuid(active);
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
    NotebookStore store;
    return Finish(call, DWORD(power::SetActiveScheme(store, GuidArg(SchemeGuid).get())));
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

DWORD WINAPI PowerWriteACValueIndex(HKEY RootPowerKey, const GUID* SchemeGuid,
                                    const GUID* SubGroupOfPowerSettingsGuid,
                                    const GUID* PowerSettingGuid, DWORD AcValueIndex) {
    const SystemCallScope systemCall;
    (void)RootPowerKey;
    return WriteValue("PowerWriteACValueIndex", true, SchemeGuid, SubGroupOfPowerSettingsGuid,
                      PowerSettingGuid, AcValueIndex);
}

DWORD WINAPI PowerWriteDCValueIndex(HKEY RootPowerKey, const GUID* SchemeGuid,
                                    const GUID* SubGroupOfPowerSettingsGuid,
                                    const GUID* PowerSettingGuid, DWORD DcValueIndex) {
    const SystemCallScope systemCall;
    (void)RootPowerKey;
    return WriteValue("PowerWriteDCValueIndex", false, SchemeGuid, SubGroupOfPowerSettingsGuid,
                      PowerSettingGuid, DcValueIndex);
}

// A duplicate named by no GUID gets the next of the notebook's own series of identifiers, which
// no scenario uses, in a block the caller frees with LocalFree.
DWORD WINAPI PowerDuplicateScheme(HKEY RootPowerKey, const GUID* SourceSchemeGuid,
                                  GUID** DestinationSchemeGuid) {
    const SystemCallScope systemCall;
    (void)RootPowerKey;
    auto lock = LockNotebook();
    Call call{.function = "PowerDuplicateScheme", .target = Target(SourceSchemeGuid)};
    if (auto error = Injected("PowerDuplicateScheme", call.target)) {
        return Finish(call, *error);
    }
    if (!DestinationSchemeGuid) {
        return Finish(call, DWORD(ERROR_INVALID_PARAMETER));
    }
    NotebookStore store;
    if (*DestinationSchemeGuid) {
        return Finish(call, DWORD(power::DuplicateScheme(store, GuidArg(SourceSchemeGuid).get(),
                                                         ToModel(**DestinationSchemeGuid))));
    }
    PowerSchemes& schemes = NB().powerSchemes();
    GUID fresh{};
    do {
        fresh = GUID{0x5CE4E000 + ++schemes.created, 0x0C1D, 0x4E01, {0xA0, 0, 0, 0, 0, 0, 0, 1}};
    } while (schemes.find(fresh));
    const DWORD result =
        power::DuplicateScheme(store, GuidArg(SourceSchemeGuid).get(), ToModel(fresh));
    if (result != ERROR_SUCCESS) {
        return Finish(call, result);
    }
    auto* block = static_cast<GUID*>(LocalBlock(sizeof(GUID)));
    if (!block) {
        store.remove(ToModel(fresh));
        return Finish(call, DWORD(ERROR_NOT_ENOUGH_MEMORY));
    }
    *block = fresh;
    *DestinationSchemeGuid = block;
    call.handle = HandleId(block);
    return Finish(call, DWORD(ERROR_SUCCESS));
}

DWORD WINAPI PowerDeleteScheme(HKEY RootPowerKey, const GUID* SchemeGuid) {
    const SystemCallScope systemCall;
    (void)RootPowerKey;
    auto lock = LockNotebook();
    Call call{.function = "PowerDeleteScheme", .target = Target(SchemeGuid)};
    if (auto error = Injected("PowerDeleteScheme", call.target)) {
        return Finish(call, *error);
    }
    NotebookStore store;
    return Finish(call, DWORD(power::DeleteScheme(store, GuidArg(SchemeGuid).get())));
}
