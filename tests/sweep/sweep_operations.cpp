// The sweep's table: one entry per exported operation (and per argument where the argument
// changes what the operation does).
#include "sweep_operations.h"

#include <celdor/celdor.h>

#include <initializer_list>
#include <list>
#include <set>

namespace sweep {

namespace {

using Celdor::CIntelligentCooling;
using Results = std::function<bool(int)>;

Results OneOf(std::initializer_list<int> values) {
    return [set = std::set<int>(values)](int result) { return set.count(result) != 0; };
}
Results From(int lowest) {
    return [lowest](int result) { return result >= lowest; };
}
const Results kAny = [](int) { return true; };
const Results kFlag = OneOf({0, 1});
const Results kMode = OneOf({0, 1, 2});
const Results kThermalResult = OneOf({0, 1, 2, 3, 4, 5});

const std::vector<std::string> kDefault = {"default.json"};
const std::vector<std::string> kCharging = {"default.json", "no-express.json",
                                            "storage-lost-in-hibernation.json"};
const std::vector<std::string> kThermal = {"default.json", "thermal-stopped.json",
                                           "thermal-starting.json", "thermal-unconfirmed.json",
                                           "thermal-process-management.json"};
const std::vector<std::string> kBatteries = {"default.json", "two-batteries.json"};
const std::vector<std::string> kBatteryInformation = {"default.json", "two-batteries.json",
                                                      "two-batteries-crossed.json",
                                                      "no-battery.json", "worn-battery.json"};

// The charging values the host reads back, and an INI file in a folder a user may write to.
const WCHAR* const kAddinKey = Celdor::CChargingMode::ADDIN_KEY;
const WCHAR* const kModeValue = Celdor::CChargingMode::BATTERY_CHARGE_MODE_VALUE;
const WCHAR* const kLoggerKey =
    CELDOR_W("Software\\WOW6432Node\\Harlune\\PelmarkService\\FileLogger");
const WCHAR* const kIni = CELDOR_W("C:\\ProgramData\\Harlune\\Sweep\\settings.ini");
// The host's own string, made before the sweep counts the library's allocations.
const Celdor::CString kPowerSaver(CELDOR_W("Power saver"));

template <typename Feature> std::vector<Operation> FeatureOperations(const std::string& name) {
    return {
        {name + "::OpenFeature", kCharging, [] { return Feature().OpenFeature(); }, kAny},
        {name + "::CloseFeature", kCharging, [] { return Feature().CloseFeature(); }, kAny},
        {name + "::IsSupport", kCharging, [] { return Feature().IsSupport(); }, kFlag},
        {name + "::OpenOrClose", kCharging, [] { return Feature().OpenOrClose(); },
         OneOf({-1, 1, 2})},
        {name + " copies", kCharging,
         [] {
             Feature feature;
             Feature copy(feature);
             copy = feature;
             return copy.IsSupport();
         },
         kFlag},
    };
}

std::vector<Operation> Build() {
    std::vector<Operation> ops = {
        // Registry helpers
        {"RegGetDWORD", kDefault,
         [] {
             DWORD v = 0;
             return RegGetDWORD(kAddinKey, CELDOR_W("Dword"), v);
         },
         kFlag, [] { RegSetDWORD(kAddinKey, CELDOR_W("Dword"), 7); }},
        {"RegGetDWORD_Local_Machine", kDefault,
         [] {
             DWORD v = 0;
             return RegGetDWORD_Local_Machine(kLoggerKey, CELDOR_W("WriteLevel"), v);
         },
         kFlag},
        {"RegGetStr", kDefault,
         [] {
             WCHAR text[130] = {};
             return RegGetStr(kAddinKey, kModeValue, text);
         },
         kFlag},
        {"RegSetStr", kDefault, [] { return RegSetStr(kAddinKey, kModeValue, CELDOR_W("Quick")); },
         kFlag},
        {"RegSetSz", kDefault, [] { return RegSetSz(kAddinKey, kModeValue, CELDOR_W("Normal")); },
         kFlag},
        {"RegSetDWORD", kDefault, [] { return RegSetDWORD(kAddinKey, CELDOR_W("Dword"), 1); },
         kFlag},
        {"RegDoesExistValue", kDefault,
         [] { return RegDoesExistValue(kLoggerKey, CELDOR_W("WriteLevel")); }, kFlag},
        {"RegDoesExistSzValue", kDefault, [] { return RegDoesExistSzValue(kAddinKey, kModeValue); },
         kFlag},
        {"RegDoesExistStrValue", kDefault,
         [] { return RegDoesExistStrValue(kAddinKey, kModeValue); }, kFlag},
        {"RegDoesExistDwordValue", kDefault,
         [] { return RegDoesExistDwordValue(kAddinKey, kModeValue); }, kFlag},
        {"RegDoesExistKey", kDefault, [] { return RegDoesExistKey(kAddinKey); }, kFlag},
        {"RegCreateKeyW", kDefault,
         [] { return RegCreateKeyW(CELDOR_W("Software\\Harlune\\Sweep")); }, kFlag},
        // INI helpers
        {"GetDWForIni", kDefault,
         [] {
             DWORD v = 0;
             return GetDWForIni(kIni, CELDOR_W("Charging"), CELDOR_W("Mode"), &v);
         },
         kFlag, [] { SetDWForIni(kIni, CELDOR_W("Charging"), CELDOR_W("Mode"), 2); }},
        {"SetDWForIni", kDefault,
         [] { return SetDWForIni(kIni, CELDOR_W("Charging"), CELDOR_W("Mode"), 4294967295u); },
         kFlag},
        // CString: a string that cannot be made comes out empty, an append that cannot be made
        // leaves the string as it was.
        {"CString", kDefault,
         [] {
             Celdor::CString text(CELDOR_W("Storage"));
             Celdor::CString copy(text);
             copy += Celdor::CString::FromUtf8("\xC3\xA9t\xC3\xA9");
             copy += CELDOR_W("!");
             return (text.IsEmpty() || text.View() == CELDOR_W("Storage")) &&
                            copy.View().starts_with(text.View()) && copy.ToUtf8().size() <= 13
                        ? 1
                        : 0;
         },
         OneOf({1})},
        // AC adapter
        {"CAdapter::IsACIn", kDefault, [] { return Celdor::CAdapter::IsACIn(); }, kFlag},
        {"CAdapter::GetAdapterStatus", kDefault,
         [] { return Celdor::CAdapter::GetAdapterStatus(); }, OneOf({-1, 0, 1, 2, 3})},
        {"CAdapter::IsSupportAdapterModeDetect", kDefault,
         [] { return Celdor::CAdapter::IsSupportAdapterModeDetect(); }, kFlag},
        {"CAdapter::GetACAdapterType and the unreported ones", kDefault,
         [] {
             Celdor::CAdapter adapter;
             adapter = Celdor::CAdapter();
             return Celdor::CAdapter::GetACAdapterType() + Celdor::CAdapter::GetAdapterWattage() +
                    Celdor::CAdapter::IsHarluneAdapter();
         },
         OneOf({-3})},
        // Power plans
        {"CPowerScheme::GetPowerSchemeList", kDefault,
         [] {
             std::list<Celdor::CString> names;
             Celdor::CPowerScheme().GetPowerSchemeList(names);
             return int(names.size());
         },
         From(0)},
        {"CPowerScheme::GetActivePowerScheme", kDefault,
         [] {
             Celdor::CString name;
             return Celdor::CPowerScheme().GetActivePowerScheme(name);
         },
         kFlag},
        {"CPowerScheme::SetActivePowerScheme", kDefault,
         [] { return Celdor::CPowerScheme().SetActivePowerScheme(kPowerSaver); }, kFlag},
        {"CPowerScheme::GetDisplayTimeOutValue", kDefault,
         [] { return Celdor::CPowerScheme().GetDisplayTimeOutValue(); }, From(-1)},
        {"CPowerScheme::GetCurrentBrightness", kDefault,
         [] { return Celdor::CPowerScheme().GetCurrentBrightness(); }, From(-1)},
        {"CPowerScheme copies", kDefault,
         [] {
             Celdor::CPowerScheme plans;
             Celdor::CPowerScheme copy(plans);
             copy = plans;
             std::list<Celdor::CString> names;
             copy.GetPowerSchemeList(names);
             return int(names.size());
         },
         From(0)},
        // Thermal modes
        {"CIntelligentCooling::InitHandle", kThermal,
         [] {
             CIntelligentCooling().InitHandle();
             return 0;
         },
         kAny},
        {"CIntelligentCooling::CheckHandle", kThermal,
         [] { return CIntelligentCooling().CheckHandle(); }, kFlag},
        {"CIntelligentCooling::GetServiceStatus", kThermal,
         [] { return CIntelligentCooling().GetServiceStatus(); }, OneOf({0, 1, 2})},
        {"CIntelligentCooling::GetITSVersion", kThermal,
         [] { return CIntelligentCooling().GetITSVersion(); }, kAny},
        {"CIntelligentCooling::GetDispatcherVersion", kThermal,
         [] { return CIntelligentCooling().GetDispatcherVersion(); }, kAny},
        {"CIntelligentCooling::IsAutoTransitionEnabled", kThermal,
         [] { return CIntelligentCooling().IsAutoTransitionEnabled(); }, OneOf({-1, 0, 1})},
        {"CIntelligentCooling::GetITSMode", kThermal,
         [] {
             int c = 0;
             CIntelligentCooling::ITSMode m{};
             return CIntelligentCooling().GetITSMode(c, m);
         },
         OneOf({0, 1, 2, 4, 5})},
        {"CIntelligentCooling::GetDispatcherMode", kThermal,
         [] {
             int c = 0;
             CIntelligentCooling::ITSMode m{};
             return CIntelligentCooling().GetDispatcherMode(c, m, 0, 1);
         },
         kThermalResult},
        {"CIntelligentCooling::SetITSMode", kThermal,
         [] {
             auto m = CIntelligentCooling::ITS_MODE_COOL;
             return CIntelligentCooling().SetITSMode(m);
         },
         kThermalResult},
        {"CIntelligentCooling::SetDispatcherMode", kThermal,
         [] {
             auto m = CIntelligentCooling::ITS_MODE_GEEK;
             return CIntelligentCooling().SetDispatcherMode(m, 0, 1);
         },
         kThermalResult},
        {"CIntelligentCooling::SetITSAutoTransition", kThermal,
         [] { return CIntelligentCooling().SetITSAutoTransition(0); }, kThermalResult},
        {"CIntelligentCooling::SetDispatcheriEPMAutoTransition", kThermal,
         [] { return CIntelligentCooling().SetDispatcheriEPMAutoTransition(1, 0); },
         kThermalResult},
        {"CIntelligentCooling::IsDispatcheriEPMAutoTransitionEnabled", kThermal,
         [] { return CIntelligentCooling().IsDispatcheriEPMAutoTransitionEnabled(); },
         OneOf({-1, 0, 1})},
        {"CIntelligentCooling::IsiEPMModeEnabled", kThermal,
         [] { return CIntelligentCooling().IsiEPMModeEnabled(); }, kFlag},
        {"CIntelligentCooling::ShouldGeekOptionGrey", kThermal,
         [] { return CIntelligentCooling().ShouldGeekOptionGrey(); }, kFlag},
        {"CIntelligentCooling copies", kThermal,
         [] {
             CIntelligentCooling cooling;
             CIntelligentCooling copy(cooling);
             copy = cooling;
             return copy.GetServiceStatus();
         },
         OneOf({0, 1, 2})},
        // Charging modes
        {"CChargingMode::GetChargingMode", kCharging,
         [] { return Celdor::CChargingMode().GetChargingMode(); }, kMode},
        {"CChargingMode::SetChargingMode(storage)", kCharging,
         [] { return Celdor::CChargingMode().SetChargingMode(1); }, kMode},
        {"CChargingMode::SetChargingMode(express)", kCharging,
         [] { return Celdor::CChargingMode().SetChargingMode(2); }, kMode},
        {"CChargingMode::SetChargingMode(normal)", kCharging,
         [] { return Celdor::CChargingMode().SetChargingMode(0); }, kMode},
        {"CChargingMode::DoesSupportRapidChargeMode", kCharging,
         [] { return Celdor::CChargingMode().DoesSupportRapidChargeMode(); }, kFlag},
        {"CChargingMode::DoesSupportConservationMode", kCharging,
         [] { return Celdor::CChargingMode().DoesSupportConservationMode(); }, kFlag},
        {"CChargingMode::ChargeMode2Str", kDefault,
         [] { return Celdor::CChargingMode::ChargeMode2Str(7) != nullptr ? 1 : 0; }, OneOf({1})},
        {"CChargingMode::SetChargeModeRegistry", kDefault,
         [] {
             Celdor::CChargingMode::SetChargeModeRegistry(2);
             return 0;
         },
         kAny},
        {"CChargingMode::GetFvSpecVersion", kCharging,
         [] { return Celdor::CChargingMode::GetFvSpecVersion(); }, From(-1)},
        {"CChargingMode::DoesSupportTemporaryMode", kCharging,
         [] { return Celdor::CChargingMode::DoesSupportTemporaryMode(); }, kFlag},
        {"CChargingMode::GetTemporaryMode", kCharging,
         [] { return Celdor::CChargingMode::GetTemporaryMode(); }, OneOf({0, 1, 2, 4})},
        {"CChargingMode::DoesSupportNightChargeMode", kCharging,
         [] { return Celdor::CChargingMode::DoesSupportNightChargeMode(); }, kFlag},
        {"CChargingMode::GetNightChargeMode", kCharging,
         [] { return Celdor::CChargingMode::GetNightChargeMode(); }, kMode},
        {"CChargingMode::SetNightChargeMode", kCharging,
         [] { return Celdor::CChargingMode::SetNightChargeMode(1); }, kMode},
        {"CChargingMode::DoesSupportStorage80", kCharging,
         [] { return Celdor::CChargingMode::DoesSupportStorage80(); }, kFlag},
        {"CChargingMode copies", kCharging,
         [] {
             Celdor::CChargingMode charging;
             Celdor::CChargingMode copy(charging);
             Celdor::CChargingMode other;
             other = copy;
             return other.GetChargingMode();
         },
         kMode},
        // Battery devices
        {"CBatteryDriver::GetBatteryInformationFromOS", kBatteries,
         [] {
             Celdor::CBatteryDriver driver;
             driver.InitBatteryDriverHandle();
             BATTERY_INFORMATION info{};
             const int result = driver.GetBatteryInformationFromOS(info, 1) * 2 +
                                driver.GetBatteryInformationFromOS(info, 0);
             driver.ReleaseBatteryDriverHandle();
             return result;
         },
         OneOf({0, 1, 2, 3})},
        {"CBatteryDriver::GetBatteryDriverHandle", kBatteries,
         [] {
             Celdor::CBatteryDriver driver;
             driver.GetBatteryDriverHandle();
             BATTERY_INFORMATION info{};
             return driver.GetBatteryInformationFromOS(info, 0);
         },
         kFlag},
        {"CBatteryDriver copies", kBatteries,
         [] {
             Celdor::CBatteryDriver driver;
             driver.InitBatteryDriverHandle();
             Celdor::CBatteryDriver copy(driver);
             Celdor::CBatteryDriver other;
             other = copy;
             BATTERY_INFORMATION info{};
             const int result = other.GetBatteryInformationFromOS(info, 0);
             driver.ReleaseBatteryDriverHandle();
             return result;
         },
         kFlag},
        {"CBatteryDriver::GetFvSpecVersion", kCharging,
         [] { return Celdor::CBatteryDriver::GetFvSpecVersion(); }, From(-1)},
        // Battery information
        {"CBatteryInformation::GetBatteryInformation", kBatteryInformation,
         [] {
             Celdor::CBatteryInformation batteries;
             Celdor::_BATTERY_INFORMATION_EX info;
             int result = 0;
             for (int index = batteries.GetBatteryCount() - 1; index >= 0; --index) {
                 result = result * 2 + batteries.GetBatteryInformation(info, index);
             }
             return result;
         },
         OneOf({0, 1, 2, 3})},
        {"CBatteryInformation::GetBatteryInformation copies", kDefault,
         [] {
             Celdor::CBatteryInformation batteries;
             batteries.GetBatteryCount();
             Celdor::CBatteryInformation copy(batteries);
             Celdor::_BATTERY_INFORMATION_EX info;
             return copy.GetBatteryInformation(info, 0);
         },
         kFlag},
        {"CBatteryInformation::GetBatteryCount", kBatteryInformation,
         [] { return Celdor::CBatteryInformation().GetBatteryCount(); }, OneOf({1, 2})},
        {"CBatteryInformation::IsBatteryExist(1)", kBatteryInformation,
         [] { return Celdor::CBatteryInformation().IsBatteryExist(1); }, kFlag},
        {"CBatteryInformation::GetPreciseBatteryCount", kBatteryInformation,
         [] { return Celdor::CBatteryInformation().GetPreciseBatteryCount(); }, kMode},
        {"CBatteryInformation::GetBatteryStatus", kBatteryInformation,
         [] { return int{Celdor::CBatteryInformation().GetBatteryStatus(0)}; },
         OneOf({1, 2, 3, 4, 5, 0xFFFF})},
        {"CBatteryInformation::GetFVDriverCapability", kDefault,
         [] { return Celdor::CBatteryInformation::GetFVDriverCapability(); }, kFlag},
        {"CBatteryInformation::IsSupportSmartBatteryV2", kDefault,
         [] { return Celdor::CBatteryInformation::IsSupportSmartBatteryV2(); }, kFlag},
        {"CBatteryInformation::GetBatteryHealthLevel", kDefault,
         [] { return Celdor::CBatteryInformation::GetBatteryHealthLevel(); }, From(-1)},
        {"CBatteryInformation::GetBatteryHealthTip", kDefault,
         [] { return Celdor::CBatteryInformation::GetBatteryHealthTip(); }, From(-1)},
        {"CBatteryInformation::GetBatteryPredictedLifeSpan", kDefault,
         [] { return Celdor::CBatteryInformation::GetBatteryPredictedLifeSpan(); }, From(-1)},
        {"CBatteryInformation::GetSmartBatteryV2Info",
         {"default.json", "worn-battery.json"},
         [] {
             const Celdor::SmartBatteryInfo health =
                 Celdor::CBatteryInformation::GetSmartBatteryV2Info();
             return health.IsSupported == 1 && health.HealthLevel >= -1 && health.HealthTip >= -1 &&
                            health.PredictedLifeSpan >= -1
                        ? 1
                    : health.IsSupported == 0 ? 0
                                              : -1;
         },
         kFlag},
    };
    for (auto family : {FeatureOperations<Celdor::CUSBCharger>("CUSBCharger"),
                        FeatureOperations<Celdor::CUSBBatteryCharger>("CUSBBatteryCharger")}) {
        ops.insert(ops.end(), family.begin(), family.end());
    }
    return ops;
}

} // namespace

const std::vector<Operation>& Operations() {
    static const std::vector<Operation> operations = Build();
    return operations;
}

} // namespace sweep
