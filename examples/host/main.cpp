// A minimal host: loads Celdor (Celdor.dll on Windows, libceldor.so elsewhere) through its import
// library and calls one operation of each family, printing what it gets back.
#include <celdor/celdor.h>

#if defined(_WIN32)
#include <knownfolders.h>
#include <shlobj.h>
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

void ShowPowerPlans() {
    const Celdor::CPowerScheme plans; // a snapshot of the plans, by name
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

} // namespace

int main() {
    ShowAdapter();
    ShowRegistry();
    ShowIni();
    ShowString();
    ShowPowerPlans();
    return 0;
}
