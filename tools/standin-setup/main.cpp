// celdor-standin-setup: turns a scenario into what a Wine prefix needs to present the same
// notebook through the stand-ins (standins/): a registry file that installs them and holds
// their configuration, and one that removes them again. scripts/wine-notebook imports them with
// Wine's regedit.
//
//   celdor-standin-setup SCENARIO.json STANDINS_FOLDER INSTALL.reg REMOVE.reg
//
// It prints the names of the stand-ins the Wine session starts, one a line.
// STANDINS_FOLDER is the Windows path of the folder that holds FervoDrv.sys and the service
// program. The scenario is read by the simulated notebook's own loader, so it is checked
// exactly as celdorctl checks it; what the loader made of it is then written out:
//   - the values of the registry section;
//   - the maker's driver, when present, as an automatically started kernel driver whose
//     "Parameters" value "Firmware" holds the firmware's setup, "Packs" the packs of the
//     battery section, with its two battery devices and their interfaces registered;
//   - each installed service as an own-process service of the stand-in program, started
//     automatically unless it is stopped, with its start-up values under "Parameters";
//   - the power plans, where Windows keeps them and the stand-in powrprof.dll reads them.
#include <celdor_models/firmware_setup.h>
#include <celdor_models/power_schemes.h>
#include <celdor_platform/notebook.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using celdor::sim::Hive;
using celdor::sim::Notebook;
using celdor::sim::RegValue;
namespace models = celdor::models;
namespace power = celdor::models::power;

constexpr std::u16string_view kServicesKey = u"SYSTEM\\CurrentControlSet\\Services\\";
constexpr std::u16string_view kBatteryClassesKey =
    u"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\";
constexpr std::u16string_view kBatteryClass = u"{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";
constexpr std::u16string_view kDriverName = u"FervoDrv";

// A service's "Type", "Start" and "ErrorControl" values, as the service control manager keeps
// them in its key.
constexpr DWORD kKernelDriver = 0x1;
constexpr DWORD kOwnProcess = 0x10;
constexpr DWORD kAutoStart = 2;
constexpr DWORD kDemandStart = 3;
constexpr DWORD kErrorNormal = 1;

std::u16string Quoted(std::u16string_view text) {
    std::u16string out = u"\"";
    for (char16_t c : text) {
        if (c == u'\\' || c == u'"') {
            out += u'\\';
        }
        out += c;
    }
    return out + u"\"";
}

std::u16string Hex(const std::vector<std::uint8_t>& bytes) {
    std::u16string out;
    char pair[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(pair, sizeof pair, i ? ",%02x" : "%02x", bytes[i]);
        out += celdor::sim::Utf8ToUtf16(pair);
    }
    return out;
}

// A value as a line of a registry file: strings as text, DWORDs as numbers, the rest as bytes.
std::u16string ValueLine(std::u16string_view name, const RegValue& value) {
    std::u16string line = name.empty() ? u"@" : Quoted(name);
    line += u"=";
    const std::u16string text = value.asString();
    if (value.type == REG_SZ && value.data.size() == (text.size() + 1) * 2) {
        return line + Quoted(text);
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        char number[16];
        std::snprintf(number, sizeof number, "dword:%08x", static_cast<unsigned>(*value.asDword()));
        return line + celdor::sim::Utf8ToUtf16(number);
    }
    if (value.type == REG_BINARY) {
        return line + u"hex:" + Hex(value.data);
    }
    char type[16];
    std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.type));
    return line + celdor::sim::Utf8ToUtf16(type) + Hex(value.data);
}

// A registry file being written: keys in order, each with its value lines.
class RegFile {
public:
    void key(Hive hive, std::u16string_view path) {
        m_text += u"\r\n[" + Root(hive) + std::u16string(path) + u"]\r\n";
    }
    void deleteKey(Hive hive, std::u16string_view path) {
        m_text += u"\r\n[-" + Root(hive) + std::u16string(path) + u"]\r\n";
    }
    void line(std::u16string_view text) { (m_text += text) += u"\r\n"; }
    void value(std::u16string_view name, const RegValue& value) { line(ValueLine(name, value)); }

    // UTF-16LE with its byte-order mark, as regedit writes and reads version 5 files.
    bool save(const std::string& path) const {
        std::u16string all = u"\xFEFFWindows Registry Editor Version 5.00\r\n" + m_text;
        std::ofstream out(path, std::ios::binary);
        for (char16_t c : all) {
            out.put(static_cast<char>(c & 0xFF)).put(static_cast<char>(c >> 8));
        }
        return static_cast<bool>(out.flush());
    }

private:
    static std::u16string Root(Hive hive) {
        return celdor::sim::Utf8ToUtf16(celdor::sim::HiveName(hive)) + u"\\";
    }
    std::u16string m_text;
};

// The values a service writes, gathered for the registry file.
class Gathered : public models::ValueStore {
public:
    std::optional<std::uint32_t> read(std::string_view, std::string_view) override {
        return std::nullopt;
    }
    void write(std::string_view, std::string_view name, std::uint32_t value) override {
        values.emplace_back(celdor::sim::Utf8ToUtf16(name), RegValue::Dword(value));
    }
    std::vector<std::pair<std::u16string, RegValue>> values;
};

// A scheme, subgroup or setting as the name of its key: "381b4222-f694-41f0-9685-ff5bb260df2e".
std::u16string KeyName(const GUID& guid) {
    return celdor::sim::Utf8ToUtf16(celdor::sim::GuidText(guid));
}
std::u16string KeyName(const power::Guid& guid) {
    return celdor::sim::Utf8ToUtf16(power::GuidText(guid));
}

void InstallService(RegFile& reg, std::u16string_view name, DWORD type, DWORD start,
                    const std::u16string& imagePath) {
    const std::u16string key = std::u16string(kServicesKey) + std::u16string(name);
    reg.deleteKey(Hive::LocalMachine, key);
    reg.key(Hive::LocalMachine, key);
    reg.value(u"Type", RegValue::Dword(type));
    reg.value(u"Start", RegValue::Dword(start));
    reg.value(u"ErrorControl", RegValue::Dword(kErrorNormal));
    reg.value(u"ImagePath", RegValue::String(imagePath));
    reg.value(u"DisplayName", RegValue::String(name));
    if (type != kKernelDriver) {
        reg.value(u"ObjectName", RegValue::String(u"LocalSystem"));
    }
    reg.key(Hive::LocalMachine, key + u"\\Parameters");
}

// The driver's two battery devices as the Plug and Play manager would have registered them:
// the device ROOT\BATTERY\000n and its battery interface, which SetupAPI lists once the driver
// has linked it (the driver sets "Linked" for a bay that holds a pack).
void RegisterBatteryDevices(RegFile& up, RegFile& down) {
    const std::u16string enumKey = u"SYSTEM\\CurrentControlSet\\Enum\\ROOT\\BATTERY";
    const std::u16string classKey =
        std::u16string(kBatteryClassesKey) + std::u16string(kBatteryClass);
    for (const char16_t* bay : {u"0000", u"0001"}) {
        const std::u16string instance = std::u16string(u"ROOT\\BATTERY\\") + bay;
        const std::u16string link =
            std::u16string(u"ROOT#BATTERY#") + bay + u"#" + std::u16string(kBatteryClass);
        up.key(Hive::LocalMachine, enumKey + u"\\" + bay);
        up.value(u"ClassGUID", RegValue::String(kBatteryClass));
        up.key(Hive::LocalMachine, classKey + u"\\##?#" + link);
        up.value(u"DeviceInstance", RegValue::String(instance));
        up.key(Hive::LocalMachine, classKey + u"\\##?#" + link + u"\\#");
        up.value(u"SymbolicLink", RegValue::String(u"\\\\?\\" + link));
        up.key(Hive::LocalMachine, classKey + u"\\##?#" + link + u"\\#\\Control");
        down.deleteKey(Hive::LocalMachine, classKey + u"\\##?#" + link);
    }
    down.deleteKey(Hive::LocalMachine, enumKey);
}

int Run(const std::string& scenarioPath, const std::u16string& folder, const std::string& install,
        const std::string& remove) {
    std::ifstream file(scenarioPath, std::ios::binary);
    if (!file) {
        std::cerr << "celdor-standin-setup: cannot read " << scenarioPath << "\n";
        return 1;
    }
    std::stringstream text;
    text << file.rdbuf();
    Notebook& nb = Notebook::instance();
    nb.loadScenario(text.str());

    RegFile up, down;
    // The stand-ins: removed first, so that nothing of an earlier set-up stays, and last on the
    // way down, after the values of the registry section, some of which lie under their keys.
    const std::u16string services[] = {std::u16string(kDriverName), u"Thermivo",
                                       u"HarluneProcessManagement"};
    for (const std::u16string& name : services) {
        up.deleteKey(Hive::LocalMachine, std::u16string(kServicesKey) + name);
    }
    if (nb.fervo().present) {
        InstallService(up, kDriverName, kKernelDriver, kAutoStart, folder + u"\\FervoDrv.sys");
        const celdor::models::firmware::Setup setup =
            celdor::models::firmware::SetupOf(nb.fervo().firmware());
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&setup);
        up.value(u"Firmware", RegValue::Binary({bytes, bytes + sizeof(setup)}));
        // The packs of the scenario's battery bays, put in as the driver starts.
        celdor::models::firmware::PackSetup packs;
        for (std::size_t i = 0; i < nb.batteries().count(); ++i) {
            if (nb.batteries().at(i).inserted) {
                packs.packs[packs.count++] = nb.batteries().pack(i);
            }
        }
        const auto* packBytes = reinterpret_cast<const std::uint8_t*>(&packs);
        up.value(u"Packs", RegValue::Binary({packBytes, packBytes + sizeof(packs)}));
        RegisterBatteryDevices(up, down);
        std::cout << celdor::sim::Utf16ToUtf8(kDriverName) << "\n";
    }
    for (models::ServiceKind kind :
         {models::ServiceKind::Thermal, models::ServiceKind::ProcessManagement}) {
        const auto config = nb.services().config(kind);
        if (!config) {
            continue;
        }
        const std::u16string name = celdor::sim::Utf8ToUtf16(models::ServiceName(kind));
        const bool started = config->state != models::ServiceState::Stopped;
        InstallService(up, name, kOwnProcess, started ? kAutoStart : kDemandStart,
                       u"\"" + folder + u"\\celdor_service_standin.exe\"");
        if (started) {
            std::cout << models::ServiceName(kind) << "\n";
        }
        Gathered startup;
        models::WriteStartupConfig(kind, *config, startup);
        for (const auto& [valueName, value] : startup.values) {
            up.value(valueName, value);
        }
    }
    // The power plans replace whatever plans the prefix had.
    const std::u16string schemesKey = power::kSchemesKey;
    up.deleteKey(Hive::LocalMachine, schemesKey);
    up.key(Hive::LocalMachine, schemesKey);
    up.value(power::kActiveSchemeValue, RegValue::String(KeyName(nb.powerSchemes().active)));
    for (const celdor::sim::PowerPlan& plan : nb.powerSchemes().plans) {
        const std::u16string key = schemesKey + u"\\" + KeyName(plan.guid);
        up.key(Hive::LocalMachine, key);
        up.value(power::kFriendlyNameValue, RegValue::String(plan.name));
        const struct {
            power::Guid setting;
            DWORD ac, dc;
        } settings[] = {{power::kDisplayTimeout, plan.displayTimeoutAc, plan.displayTimeoutDc},
                        {power::kBrightness, plan.brightnessAc, plan.brightnessDc}};
        for (const auto& setting : settings) {
            up.key(Hive::LocalMachine,
                   key + u"\\" + KeyName(power::kVideoSubgroup) + u"\\" + KeyName(setting.setting));
            up.value(power::kAcValue, RegValue::Dword(setting.ac));
            up.value(power::kDcValue, RegValue::Dword(setting.dc));
        }
    }
    // The registry section, after the services so that their keys keep it. Removing takes away
    // the values alone: a key the scenario names may have been there before.
    for (Hive hive : {Hive::LocalMachine, Hive::CurrentUser}) {
        for (const std::u16string& path : nb.registry().keyPaths(hive)) {
            const auto values = nb.registry().values(hive, path);
            if (values.empty() && celdor::sim::Registry::isBaseKey(hive, path)) {
                continue;
            }
            up.key(hive, path);
            if (!values.empty()) {
                down.key(hive, path);
            }
            for (const auto& [name, value] : values) {
                up.value(name, value);
                down.line((name.empty() ? u"@" : Quoted(name)) + u"=-");
            }
        }
    }
    for (const std::u16string& name : services) {
        down.deleteKey(Hive::LocalMachine, std::u16string(kServicesKey) + name);
    }
    down.deleteKey(Hive::LocalMachine, schemesKey);
    if (!up.save(install) || !down.save(remove)) {
        std::cerr << "celdor-standin-setup: cannot write " << install << " or " << remove << "\n";
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: celdor-standin-setup SCENARIO.json STANDINS_FOLDER INSTALL.reg "
                     "REMOVE.reg\n";
        return 2;
    }
    try {
        return Run(argv[1], celdor::sim::Utf8ToUtf16(argv[2]), argv[3], argv[4]);
    } catch (const std::exception& error) {
        std::cerr << "celdor-standin-setup: " << error.what() << "\n";
        return 1;
    }
}
