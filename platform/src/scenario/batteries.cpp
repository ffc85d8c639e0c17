// The "batteries" section: the battery devices Windows enumerates, in their order, each with its
// interface path and the pack in it.
#include "section.h"

#include <algorithm>
#include <string>
#include <vector>

namespace celdor::sim::scenario {

namespace {

constexpr std::size_t kMostBays = 2;
constexpr char16_t kClassSuffix[] = u"#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";

struct PackField {
    const char* name;
    DWORD BatteryPack::*member;
};
const PackField kPackFields[] = {
    {"designed_capacity_mwh", &BatteryPack::designedCapacity},
    {"full_charged_capacity_mwh", &BatteryPack::fullChargedCapacity},
    {"default_alert1_mwh", &BatteryPack::defaultAlert1},
    {"default_alert2_mwh", &BatteryPack::defaultAlert2},
    {"critical_bias_mwh", &BatteryPack::criticalBias},
    {"cycle_count", &BatteryPack::cycleCount},
};

// "\\?\<enumerator>#<device>#<instance>#{battery class}", as SetupAPI names a battery's
// interface.
std::u16string ReadInterface(const Json& value, const std::string& where) {
    const std::u16string path = Utf8ToUtf16(ReadString(value, where));
    const std::u16string_view suffix(kClassSuffix);
    const bool ok =
        path.starts_with(u"\\\\?\\") && path.size() > 4 + suffix.size() &&
        EqualsIgnoreCase(std::u16string_view(path).substr(path.size() - suffix.size()), suffix) &&
        path.find(u'\\', 4) == std::u16string::npos;
    if (!ok) {
        Fail(where, "expected a battery interface path such as "
                    "\"\\\\?\\acpi#pnp0c0a#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}\", got " +
                        Shown(value));
    }
    return path;
}

BatteryPack ReadPack(const Json& value, const std::string& where) {
    ExpectObject(value, where);
    CheckMembers(value, where,
                 {"chemistry", "rechargeable", "designed_capacity_mwh", "full_charged_capacity_mwh",
                  "default_alert1_mwh", "default_alert2_mwh", "critical_bias_mwh", "cycle_count"});
    BatteryPack pack;
    if (auto* v = Find(value, "chemistry")) {
        pack.chemistry = ReadString(*v, Member(where, "chemistry"));
        const bool ascii = std::all_of(pack.chemistry.begin(), pack.chemistry.end(),
                                       [](char c) { return c > ' ' && c < 0x7F; });
        if (pack.chemistry.empty() || pack.chemistry.size() > 4 || !ascii) {
            Fail(Member(where, "chemistry"),
                 "expected one to four ASCII letters (\"LION\"), got " + Shown(*v));
        }
    }
    if (auto* v = Find(value, "rechargeable")) {
        pack.rechargeable = ReadBool(*v, Member(where, "rechargeable"));
    }
    for (const PackField& field : kPackFields) {
        if (auto* v = Find(value, field.name)) {
            pack.*field.member =
                static_cast<DWORD>(ReadUnsigned(*v, Member(where, field.name), 0xFFFFFFFE));
        }
    }
    return pack;
}

Change LoadBatteries(const Json& section, const std::string& where) {
    if (!section.is_array() || section.size() > kMostBays) {
        Fail(where, "expected an array of at most two battery devices, got " + Shown(section));
    }
    std::vector<BatteryDevice> devices;
    for (std::size_t i = 0; i < section.size(); ++i) {
        const std::string at = Element(where, i);
        const Json& device = ExpectObject(section[i], at);
        CheckMembers(device, at, {"interface", "inserted", "pack"});
        const Json* path = Find(device, "interface");
        if (!path) {
            Fail(at, "missing \"interface\"");
        }
        BatteryDevice read;
        read.interfacePath = ReadInterface(*path, Member(at, "interface"));
        for (const BatteryDevice& earlier : devices) {
            if (EqualsIgnoreCase(earlier.interfacePath, read.interfacePath)) {
                Fail(Member(at, "interface"), "given twice");
            }
        }
        if (auto* v = Find(device, "inserted")) {
            read.inserted = ReadBool(*v, Member(at, "inserted"));
        }
        if (auto* v = Find(device, "pack")) {
            read.pack = ReadPack(*v, Member(at, "pack"));
        }
        devices.push_back(std::move(read));
    }
    return [devices](Notebook& nb) {
        for (const BatteryDevice& device : devices) {
            nb.batteries().add(device.interfacePath, device.pack, device.inserted);
        }
    };
}

std::optional<Json> SaveBatteries(Notebook& nb) {
    Json out = Json::array();
    BatteryDevices& batteries = nb.batteries();
    for (std::size_t i = 0; i < batteries.count(); ++i) {
        const BatteryDevice& device = batteries.at(i);
        Json pack = Json::object();
        pack["chemistry"] = device.pack.chemistry;
        pack["rechargeable"] = device.pack.rechargeable;
        for (const PackField& field : kPackFields) {
            pack[field.name] = device.pack.*field.member;
        }
        out.push_back({{"interface", Utf16ToUtf8(device.interfacePath)},
                       {"inserted", device.inserted},
                       {"pack", pack}});
    }
    return out;
}

} // namespace

extern const Section kBatteries{"batteries", LoadBatteries, SaveBatteries};

} // namespace celdor::sim::scenario
