// The C interface: each function hands its call to the C++ class that does the work, and turns
// what crosses the boundary into C: handles into objects, UTF-16 buffers into CStrings and back,
// records into the C layouts, and anything thrown into a refusal.
#include <celdor/celdor.h>
#include <celdor/celdor_c.h>

#include "charging/features.h"
#include "support/logger.h"
#include "support/wstr.h"
#include "thermal/service_choice.h"

#include <algorithm>
#include <iterator>
#include <list>
#include <new>
#include <type_traits>
#include <vector>

using namespace Celdor;

static_assert(std::is_same_v<celdor_wchar, WCHAR>, "one UTF-16 code unit on both sides");

// The handles are the C++ objects themselves, wrapped so that C sees only an incomplete type.
struct celdor_charging {
    CChargingMode object;
};
struct celdor_battery {
    CBatteryInformation object;
};
struct celdor_thermal {
    CIntelligentCooling object;
};
// The snapshot never changes after it is taken, so its names are listed once, for look-up by
// index.
struct celdor_plans {
    CPowerScheme object;
    std::vector<CString> names;
};

namespace {

// Runs one call; what it throws becomes a refusal, so that nothing C++ reaches a C caller.
template <class Call> int Guard(Call call) noexcept {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return CELDOR_E_OUT_OF_MEMORY;
    } catch (...) {
        return CELDOR_E_UNEXPECTED;
    }
}

// A call on a handle: null is refused before anything is done.
template <class Handle, class Call> int OnHandle(Handle* handle, Call call) noexcept {
    if (handle == nullptr) {
        return CELDOR_E_INVALID_ARGUMENT;
    }
    return Guard([&] { return call(handle->object); });
}

template <class Handle> Handle* Create() noexcept {
    try {
        return new Handle{};
    } catch (...) {
        return nullptr;
    }
}

// A text into the caller's buffer, by the size-query rule: *length says what the text needs,
// terminator included; a null buffer only asks; a short one is left untouched.
int CopyText(const CString& text, celdor_wchar* buffer, std::size_t* length) {
    const std::size_t capacity = *length;
    const std::size_t needed = text.GetLength() + 1;
    *length = needed;
    if (buffer == nullptr) {
        return 1;
    }
    if (capacity < needed) {
        return CELDOR_E_BUFFER_TOO_SMALL;
    }
    std::copy_n(text.GetString(), needed - 1, buffer);
    buffer[needed - 1] = 0;
    return 1;
}

// A text into a fixed field of a record, cut where it does not fit (the battery texts are
// far shorter), never between the two halves of a surrogate pair.
template <std::size_t N> void CopyField(const CString& text, celdor_wchar (&field)[N]) {
    std::size_t count = std::min(text.GetLength(), N - 1);
    const WCHAR* units = text.GetString();
    if (count < text.GetLength() && count > 0 && units[count - 1] >= 0xD800 &&
        units[count - 1] <= 0xDBFF) {
        --count;
    }
    std::copy_n(units, count, field);
    std::fill(field + count, field + N, celdor_wchar{0});
}

// A record the caller sized for this version or a later one.
template <class Record> bool Sized(const Record* record) {
    return record != nullptr && record->size >= sizeof(Record);
}

CPowerFeatureBase* UsbFeature(int feature, CUSBCharger& onAc, CUSBBatteryCharger& fromBattery) {
    switch (feature) {
    case CELDOR_USB_ALWAYS_ON:
        return &onAc;
    case CELDOR_USB_FROM_BATTERY:
        return &fromBattery;
    default:
        return nullptr;
    }
}

template <class Call> int OnUsbFeature(int feature, Call call) noexcept {
    return Guard([&] {
        CUSBCharger onAc;
        CUSBBatteryCharger fromBattery;
        CPowerFeatureBase* chosen = UsbFeature(feature, onAc, fromBattery);
        return chosen ? call(*chosen) : CELDOR_E_INVALID_ARGUMENT;
    });
}

using ITSMode = CIntelligentCooling::ITSMode;

// A thermal operation that reads and writes a mode: *mode goes in as the C++ enumeration and
// comes back out as an int.
template <class Call> int WithMode(celdor_thermal* thermal, int* mode, Call call) noexcept {
    if (mode == nullptr) {
        return CELDOR_E_INVALID_ARGUMENT;
    }
    return OnHandle(thermal, [&](CIntelligentCooling& object) {
        auto value = static_cast<ITSMode>(*mode);
        const int result = call(object, value);
        *mode = value;
        return result;
    });
}

} // namespace

extern "C" {

uint32_t celdor_version(void) {
    return CELDOR_VERSION;
}

// ---- Diagnostic log ----

int celdor_log_error(const celdor_wchar* message) {
    if (message == nullptr) {
        return CELDOR_E_INVALID_ARGUMENT;
    }
    return Guard([&] { return CFileLogger::GetInstance()->LogError(W("%s"), message) ? 1 : 0; });
}

int celdor_log_debug_info(const celdor_wchar* message) {
    if (message == nullptr) {
        return CELDOR_E_INVALID_ARGUMENT;
    }
    return Guard(
        [&] { return CFileLogger::GetInstance()->LogDebugInfo(W("%s"), message) ? 1 : 0; });
}

// ---- AC adapter ----

int celdor_adapter_ac_in(void) {
    return Guard([] { return CAdapter::IsACIn(); });
}
int celdor_adapter_status(void) {
    return Guard([] { return CAdapter::GetAdapterStatus(); });
}
int celdor_adapter_mode_detect_supported(void) {
    return Guard([] { return CAdapter::IsSupportAdapterModeDetect(); });
}
int celdor_adapter_type(void) {
    return Guard([] { return CAdapter::GetACAdapterType(); });
}
int celdor_adapter_wattage(void) {
    return Guard([] { return CAdapter::GetAdapterWattage(); });
}
int celdor_adapter_is_harlune(void) {
    return Guard([] { return CAdapter::IsHarluneAdapter(); });
}

// ---- Charging modes ----

celdor_charging* celdor_charging_create(void) {
    return Create<celdor_charging>();
}
void celdor_charging_destroy(celdor_charging* charging) {
    delete charging;
}

int celdor_charging_get_mode(celdor_charging* charging) {
    return OnHandle(charging, [](CChargingMode& object) { return object.GetChargingMode(); });
}
int celdor_charging_set_mode(celdor_charging* charging, int mode) {
    return OnHandle(charging,
                    [mode](CChargingMode& object) { return object.SetChargingMode(mode); });
}
int celdor_charging_express_supported(celdor_charging* charging) {
    return OnHandle(charging,
                    [](CChargingMode& object) { return object.DoesSupportRapidChargeMode(); });
}
int celdor_charging_storage_supported(celdor_charging* charging) {
    return OnHandle(charging,
                    [](CChargingMode& object) { return object.DoesSupportConservationMode(); });
}

int celdor_charging_battery_count(void) {
    return Guard([] { return CBatteryCount().GetBatteryCount(); });
}
int celdor_charging_driver_version(void) {
    return Guard([] { return CChargingMode::GetFvSpecVersion(); });
}
int celdor_charging_temporary_supported(void) {
    return Guard([] { return CChargingMode::DoesSupportTemporaryMode(); });
}
int celdor_charging_temporary_mode(void) {
    return Guard([] { return CChargingMode::GetTemporaryMode(); });
}
int celdor_charging_night_supported(void) {
    return Guard([] { return CChargingMode::DoesSupportNightChargeMode(); });
}
int celdor_charging_night_mode(void) {
    return Guard([] { return CChargingMode::GetNightChargeMode(); });
}
int celdor_charging_set_night_mode(int mode) {
    return Guard([mode] { return CChargingMode::SetNightChargeMode(mode); });
}
int celdor_charging_storage80_supported(void) {
    return Guard([] { return CChargingMode::DoesSupportStorage80(); });
}

// ---- Always-on USB charging ----

int celdor_usb_supported(int feature) {
    return OnUsbFeature(feature, [](CPowerFeatureBase& usb) { return usb.IsSupport(); });
}
int celdor_usb_state(int feature) {
    return OnUsbFeature(feature, [](CPowerFeatureBase& usb) { return usb.OpenOrClose(); });
}
int celdor_usb_switch(int feature, int on) {
    return OnUsbFeature(feature, [on](CPowerFeatureBase& usb) {
        return on != 0 ? usb.OpenFeature() : usb.CloseFeature();
    });
}

// ---- Batteries ----

celdor_battery* celdor_battery_create(void) {
    return Create<celdor_battery>();
}
void celdor_battery_destroy(celdor_battery* battery) {
    delete battery;
}

int celdor_battery_count(celdor_battery* battery) {
    return OnHandle(battery, [](CBatteryInformation& object) { return object.GetBatteryCount(); });
}
int celdor_battery_precise_count(celdor_battery* battery) {
    return OnHandle(battery,
                    [](CBatteryInformation& object) { return object.GetPreciseBatteryCount(); });
}
int celdor_battery_exists(celdor_battery* battery, int index) {
    return OnHandle(battery,
                    [index](CBatteryInformation& object) { return object.IsBatteryExist(index); });
}
int celdor_battery_status(celdor_battery* battery, int index) {
    return OnHandle(battery, [index](CBatteryInformation& object) {
        return static_cast<int>(object.GetBatteryStatus(index));
    });
}

int celdor_battery_get_information(celdor_battery* battery, int index,
                                   celdor_battery_information* info) {
    if (!Sized(info)) {
        return CELDOR_E_INVALID_ARGUMENT;
    }
    return OnHandle(battery, [&](CBatteryInformation& object) {
        // A fresh record, so that every field the sources leave out reads as "no value".
        _BATTERY_INFORMATION_EX record;
        if (object.GetBatteryInformation(record, index) != 1) {
            return 0;
        }
        info->DesignCapacity = record.DesignCapacity;
        info->FullChargeCapacity = record.FullChargeCapacity;
        info->RemainingCapacity = record.RemainingCapacity;
        info->SmbWord06 = record.SmbWord06;
        info->SmbWord08 = record.SmbWord08;
        info->Voltage = record.Voltage;
        info->SmbSignedWord12 = record.SmbSignedWord12;
        info->Temperature = record.Temperature;
        info->ManufactureDate = record.ManufactureDate;
        info->SmbWord18 = record.SmbWord18;
        info->SmbWord20 = record.SmbWord20;
        info->ChargePercent = record.ChargePercent;
        info->HealthPercent = record.HealthPercent;
        info->ChargeStatus = record.ChargeStatus;
        info->RemainingTime = record.RemainingTime;
        info->TimeToFull = record.TimeToFull;
        info->CycleCount = record.CycleCount;
        CopyField(record.SmbText32, info->SmbText32);
        CopyField(record.ManufacturerName, info->ManufacturerName);
        CopyField(record.Firmware, info->Firmware);
        CopyField(record.SerialNumber, info->SerialNumber);
        CopyField(record.SmbText52, info->SmbText52);
        CopyField(record.Chemistry, info->Chemistry);
        return 1;
    });
}

int celdor_battery_driver_present(void) {
    return Guard([] { return CBatteryInformation::GetFVDriverCapability(); });
}
int celdor_battery_smart_v2_supported(void) {
    return Guard([] { return CBatteryInformation::IsSupportSmartBatteryV2(); });
}
int celdor_battery_health_level(void) {
    return Guard([] { return CBatteryInformation::GetBatteryHealthLevel(); });
}
int celdor_battery_health_tip(void) {
    return Guard([] { return CBatteryInformation::GetBatteryHealthTip(); });
}
int celdor_battery_predicted_life_span(void) {
    return Guard([] { return CBatteryInformation::GetBatteryPredictedLifeSpan(); });
}
int celdor_battery_smart_v2_info(celdor_smart_battery_info* info) {
    if (!Sized(info)) {
        return CELDOR_E_INVALID_ARGUMENT;
    }
    return Guard([info] {
        const SmartBatteryInfo values = CBatteryInformation::GetSmartBatteryV2Info();
        info->IsSupported = values.IsSupported;
        info->HealthLevel = values.HealthLevel;
        info->HealthTip = values.HealthTip;
        info->PredictedLifeSpan = values.PredictedLifeSpan;
        return 1;
    });
}

// ---- Thermal modes ----

celdor_thermal* celdor_thermal_create(void) {
    return Create<celdor_thermal>();
}
void celdor_thermal_destroy(celdor_thermal* thermal) {
    delete thermal;
}

int celdor_thermal_service(celdor_thermal* thermal) {
    return OnHandle(thermal, [](CIntelligentCooling& object) {
        return DispatcherRunsThermalModes(object.GetDispatcherVersion())
                   ? CELDOR_THERMAL_SERVICE_DISPATCHER
                   : CELDOR_THERMAL_SERVICE_ITS;
    });
}
int celdor_thermal_reopen(celdor_thermal* thermal) {
    return OnHandle(thermal, [](CIntelligentCooling& object) {
        object.InitHandle();
        return 1;
    });
}
int celdor_thermal_service_status(celdor_thermal* thermal) {
    return OnHandle(thermal, [](CIntelligentCooling& object) { return object.GetServiceStatus(); });
}
int celdor_thermal_check_service(celdor_thermal* thermal) {
    return OnHandle(thermal, [](CIntelligentCooling& object) { return object.CheckHandle(); });
}
int celdor_thermal_its_version(celdor_thermal* thermal) {
    return OnHandle(thermal, [](CIntelligentCooling& object) { return object.GetITSVersion(); });
}
int celdor_thermal_dispatcher_version(celdor_thermal* thermal) {
    return OnHandle(thermal,
                    [](CIntelligentCooling& object) { return object.GetDispatcherVersion(); });
}

int celdor_thermal_its_mode(celdor_thermal* thermal, int* capability, int* mode) {
    if (capability == nullptr) {
        return CELDOR_E_INVALID_ARGUMENT;
    }
    return WithMode(thermal, mode, [capability](CIntelligentCooling& object, ITSMode& read) {
        return object.GetITSMode(*capability, read);
    });
}
int celdor_thermal_dispatcher_mode(celdor_thermal* thermal, int* capability, int* mode,
                                   int skip_driver_probe, int use_setting_v) {
    if (capability == nullptr) {
        return CELDOR_E_INVALID_ARGUMENT;
    }
    return WithMode(thermal, mode, [=](CIntelligentCooling& object, ITSMode& read) {
        return object.GetDispatcherMode(*capability, read, skip_driver_probe, use_setting_v);
    });
}
int celdor_thermal_set_its_mode(celdor_thermal* thermal, int* mode) {
    return WithMode(thermal, mode, [](CIntelligentCooling& object, ITSMode& asked) {
        return object.SetITSMode(asked);
    });
}
int celdor_thermal_set_dispatcher_mode(celdor_thermal* thermal, int* mode, int skip_driver_probe,
                                       int use_setting_v) {
    return WithMode(thermal, mode, [=](CIntelligentCooling& object, ITSMode& asked) {
        return object.SetDispatcherMode(asked, skip_driver_probe, use_setting_v);
    });
}

int celdor_thermal_its_auto_transition(celdor_thermal* thermal) {
    return OnHandle(thermal,
                    [](CIntelligentCooling& object) { return object.IsAutoTransitionEnabled(); });
}
int celdor_thermal_dispatcher_auto_transition(celdor_thermal* thermal) {
    return OnHandle(thermal, [](CIntelligentCooling& object) {
        return object.IsDispatcheriEPMAutoTransitionEnabled();
    });
}
int celdor_thermal_set_its_auto_transition(celdor_thermal* thermal, int enable) {
    return OnHandle(thermal, [enable](CIntelligentCooling& object) {
        return object.SetITSAutoTransition(enable);
    });
}
int celdor_thermal_set_dispatcher_auto_transition(celdor_thermal* thermal, int enable,
                                                  int skip_driver_probe) {
    return OnHandle(thermal, [=](CIntelligentCooling& object) {
        return object.SetDispatcheriEPMAutoTransition(enable, skip_driver_probe);
    });
}
int celdor_thermal_iepm_mode(celdor_thermal* thermal) {
    return OnHandle(thermal,
                    [](CIntelligentCooling& object) { return object.IsiEPMModeEnabled(); });
}
int celdor_thermal_geek_option_grey(celdor_thermal* thermal) {
    return OnHandle(thermal,
                    [](CIntelligentCooling& object) { return object.ShouldGeekOptionGrey(); });
}

// ---- Power plans ----

celdor_plans* celdor_plans_create(void) {
    celdor_plans* plans = Create<celdor_plans>();
    if (plans == nullptr) {
        return nullptr;
    }
    try {
        std::list<CString> names;
        plans->object.GetPowerSchemeList(names);
        plans->names.assign(std::make_move_iterator(names.begin()),
                            std::make_move_iterator(names.end()));
    } catch (...) {
        delete plans;
        return nullptr;
    }
    return plans;
}
void celdor_plans_destroy(celdor_plans* plans) {
    delete plans;
}

int celdor_plans_count(celdor_plans* plans) {
    if (plans == nullptr) {
        return CELDOR_E_INVALID_ARGUMENT;
    }
    return static_cast<int>(plans->names.size());
}
int celdor_plans_name(celdor_plans* plans, size_t index, celdor_wchar* buffer, size_t* length) {
    if (plans == nullptr || length == nullptr) {
        return CELDOR_E_INVALID_ARGUMENT;
    }
    if (index >= plans->names.size()) {
        return 0;
    }
    return CopyText(plans->names[index], buffer, length);
}
int celdor_plans_active(celdor_plans* plans, celdor_wchar* buffer, size_t* length) {
    if (length == nullptr) {
        return CELDOR_E_INVALID_ARGUMENT;
    }
    return OnHandle(plans, [&](CPowerScheme& object) {
        CString name;
        return object.GetActivePowerScheme(name) == 1 ? CopyText(name, buffer, length) : 0;
    });
}
int celdor_plans_activate(celdor_plans* plans, const celdor_wchar* name) {
    if (name == nullptr) {
        return CELDOR_E_INVALID_ARGUMENT;
    }
    return OnHandle(plans, [name](CPowerScheme& object) {
        CString wanted =
            Text::Whole(name, Text::Length(name)); // std::bad_alloc, not a shorter name
        return object.SetActivePowerScheme(wanted);
    });
}
int celdor_plans_display_timeout(celdor_plans* plans) {
    return OnHandle(plans, [](CPowerScheme& object) { return object.GetDisplayTimeOutValue(); });
}
int celdor_plans_brightness(celdor_plans* plans) {
    return OnHandle(plans, [](CPowerScheme& object) { return object.GetCurrentBrightness(); });
}

} // extern "C"
