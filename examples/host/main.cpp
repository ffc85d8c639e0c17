// A minimal host: loads Celdor (Celdor.dll on Windows, libceldor.so elsewhere) through its import
// library and calls the operations of every family, printing what it gets back.
//
// On Linux the library runs on the simulated notebook, which starts empty: no maker's driver, no
// battery, no services. Give a scenario file to start from a notebook instead:
//   celdor_example_host scenarios/default.json
#include <celdor/celdor.h>

#if defined(_WIN32)
#include <knownfolders.h>
#include <shlobj.h>
#else
#include <celdor_platform/notebook.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#endif

#include <cstdio>
#include <list>
#include <string>

#define T(text) CELDOR_W(text)

namespace {

const WCHAR* const kKey = T("Software\\CeldorExampleHost");

void ShowAdapter() {
    std::printf("AC adapter\n");
    std::printf("  AC power on line:        %d\n", Celdor::CAdapter::IsACIn());
    std::printf("  adapter state:           %d\n", Celdor::CAdapter::GetAdapterStatus());
    std::printf("  adapter mode detection:  %d\n", Celdor::CAdapter::IsSupportAdapterModeDetect());
}

void ShowRegistry() {
    std::printf("Registry (HKEY_CURRENT_USER\\Software\\CeldorExampleHost)\n");
    std::printf("  create key:              %d\n", RegCreateKeyW(kKey));
    std::printf("  write DWORD Runs = 1:    %d\n", RegSetDWORD(kKey, T("Runs"), 1));
    DWORD runs = 0;
    const int read = RegGetDWORD(kKey, T("Runs"), runs);
    std::printf("  read Runs:               %d (value %lu)\n", read,
                static_cast<unsigned long>(runs));
    std::printf("  write text Greeting:     %d\n", RegSetSz(kKey, T("Greeting"), T("hello")));
    WCHAR text[130] = {};
    const int readText = RegGetStr(kKey, T("Greeting"), text);
    std::printf("  read Greeting:           %d (\"%s\")\n", readText,
                Celdor::CString(text).ToUtf8().c_str());
    std::printf("  Greeting exists:         %d\n", RegDoesExistSzValue(kKey, T("Greeting")));
}

void ShowIni() {
    // An INI file in the user's local application-data folder; SetDWForIni makes its folder.
    PWSTR appData = nullptr;
    if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &appData) != S_OK) {
        CoTaskMemFree(appData);
        std::printf("INI file: no local application-data folder\n");
        return;
    }
    std::basic_string<WCHAR> file = appData;
    CoTaskMemFree(appData);
    file += T("\\CeldorExampleHost\\example.ini");

    std::printf("INI file (%s)\n", Celdor::CString(file.c_str()).ToUtf8().c_str());
    std::printf("  write [Power] Level = 3: %d\n",
                SetDWForIni(file.c_str(), T("Power"), T("Level"), 3));
    DWORD level = 0;
    const int read = GetDWForIni(file.c_str(), T("Power"), T("Level"), &level);
    std::printf("  read [Power] Level:      %d (value %lu)\n", read,
                static_cast<unsigned long>(level));
}

void ShowString() {
    const Celdor::CString name = Celdor::CString::FromUtf8("Celdor host");
    std::printf("CString\n");
    std::printf("  \"%s\": %zu UTF-16 code units\n", name.ToUtf8().c_str(), name.GetLength());
    std::printf("  orders before \"Celdor z\": %d\n",
                name < Celdor::CString(T("Celdor z")) ? 1 : 0);
}

void ShowBatteries() {
    Celdor::CBatteryInformation batteries;
    const int count = batteries.GetBatteryCount(); // at least 1: call it before the records
    std::printf("Batteries (%d present)\n", batteries.GetPreciseBatteryCount());
    for (int i = 0; i < count && batteries.IsBatteryExist(i) == 1; ++i) {
        Celdor::_BATTERY_INFORMATION_EX info; // a fresh record each time: only known fields are set
        batteries.GetBatteryInformation(info, i);
        const auto none = Celdor::_BATTERY_INFORMATION_EX::NO_VALUE;
        std::printf("  battery %d: status %u (1 normal), %s %s\n", i,
                    unsigned{batteries.GetBatteryStatus(i)}, info.ManufacturerName.ToUtf8().c_str(),
                    info.Chemistry.ToUtf8().c_str());
        if (info.ChargePercent != none) {
            std::printf("    charge %u %%, charge status %u (1 charging)\n",
                        unsigned{info.ChargePercent}, unsigned{info.ChargeStatus});
        }
        if (info.FullChargeCapacity != none && info.DesignCapacity != none) {
            std::printf("    holds %u of %u mWh\n", info.FullChargeCapacity * 10u,
                        info.DesignCapacity * 10u);
        }
    }
    const Celdor::SmartBatteryInfo health = Celdor::CBatteryInformation::GetSmartBatteryV2Info();
    std::printf("  smart battery V2:        %d (health %d %%, tip %d, life span %d months)\n",
                health.IsSupported, health.HealthLevel, health.HealthTip, health.PredictedLifeSpan);
}

void ShowCharging() {
    Celdor::CChargingMode charging; // records the mode in force for the host, if none is
    std::printf("Charging\n");
    std::printf("  mode:                    %d (0 normal, 1 storage, 2 express)\n",
                charging.GetChargingMode());
    std::printf("  express, storage:        %d, %d (supported)\n",
                charging.DoesSupportRapidChargeMode(), charging.DoesSupportConservationMode());
    std::printf("  night charge:            %d (1 on, 2 off, 0 unsupported)\n",
                Celdor::CChargingMode::GetNightChargeMode());
    std::printf("  temporary mode:          %d (1 off, 2 on, 4 done, 0 unsupported)\n",
                Celdor::CChargingMode::GetTemporaryMode());
    std::printf("  storage-80:              %d\n", Celdor::CChargingMode::DoesSupportStorage80());
    std::printf("  driver interface:        %d\n", Celdor::CBatteryDriver::GetFvSpecVersion());

    Celdor::CUSBCharger usbOnAc;
    Celdor::CUSBBatteryCharger usbFromBattery;
    std::printf("Always-on USB (supported, 1 on / 2 off)\n");
    std::printf("  on AC:                   %d, %d\n", usbOnAc.IsSupport(), usbOnAc.OpenOrClose());
    std::printf("  from battery:            %d, %d\n", usbFromBattery.IsSupport(),
                usbFromBattery.OpenOrClose());
}

void ShowThermal() {
    Celdor::CIntelligentCooling cooling; // opens the service in use
    int capability = 0;
    Celdor::CIntelligentCooling::ITSMode mode = Celdor::CIntelligentCooling::ITS_MODE_NONE;
    // The process-management service from version 0x2000 on, else the thermal service.
    const bool dispatcher = cooling.GetDispatcherVersion() >= 0x2000;
    const int result = dispatcher ? cooling.GetDispatcherMode(capability, mode, 0, 1)
                                  : cooling.GetITSMode(capability, mode);
    std::printf("Thermal (%s service)\n", dispatcher ? "process-management" : "thermal");
    std::printf("  mode:                    %d (result %d, capability 0x%X)\n",
                static_cast<int>(mode), result, static_cast<unsigned>(capability));
}

void ShowPowerPlans() {
    Celdor::CPowerScheme plans; // a snapshot of the plans, by name
    std::list<Celdor::CString> names;
    plans.GetPowerSchemeList(names);
    Celdor::CString active;
    const bool known = plans.GetActivePowerScheme(active) == 1;
    std::printf("Power plans (* active)\n");
    for (const Celdor::CString& name : names) {
        std::printf("  %s %s\n", known && name == active ? "*" : " ", name.ToUtf8().c_str());
    }
    std::printf("  display off after:       %d s (0 never, -1 unknown)\n",
                plans.GetDisplayTimeOutValue());
    std::printf("  display brightness:      %d%%\n", plans.GetCurrentBrightness());
}

#if !defined(_WIN32)
// A Linux host starts the simulated notebook from a scenario (docs/scenario.md).
bool LoadScenario(const char* file) {
    std::ifstream in(file, std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    try {
        if (!in) {
            throw std::runtime_error("cannot read the file");
        }
        celdor::sim::Notebook::instance().loadScenario(text);
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "%s: %s\n", file, error.what());
        return false;
    }
    return true;
}
#endif

} // namespace

int main(int argc, char** argv) {
#if !defined(_WIN32)
    if (argc > 1 && !LoadScenario(argv[1])) {
        return 1;
    }
#else
    (void)argc;
    (void)argv;
#endif
    ShowAdapter();
    ShowBatteries();
    ShowCharging();
    ShowThermal();
    ShowRegistry();
    ShowIni();
    ShowString();
    ShowPowerPlans();
    return 0;
}
