// The "batteries" section: the battery devices Windows enumerates, in their order, each with its
// interface path and the pack in it. The n-th bay holds the firmware's pack n.
#include "section.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace celdor::sim::scenario {

namespace {

namespace fw = celdor::models::firmware;

constexpr std::size_t kMostBays = 2;
constexpr char16_t kClassSuffix[] = u"#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";

struct PackField {
    const char* name;
    std::uint32_t BatteryPack::*member;
};
const PackField kPackFields[] = {
    {"designed_capacity_mwh", &BatteryPack::designedCapacity},
    {"full_charged_capacity_mwh", &BatteryPack::fullChargedCapacity},
    {"default_alert1_mwh", &BatteryPack::defaultAlert1},
    {"default_alert2_mwh", &BatteryPack::defaultAlert2},
    {"critical_bias_mwh", &BatteryPack::criticalBias},
    {"cycle_count", &BatteryPack::cycleCount},
    {"remaining_capacity_mwh", &BatteryPack::remainingCapacity},
    {"charge_rate_mw", &BatteryPack::chargeRate},
    {"discharge_rate_mw", &BatteryPack::dischargeRate},
    {"voltage_mv", &BatteryPack::voltage},
    {"temperature_dk", &BatteryPack::temperature},
};

struct TextField {
    const char* name;
    char* (*at)(BatteryPack&);
    std::size_t size; // bytes, without the terminator
};
const TextField kTextFields[] = {
    {"manufacturer", [](BatteryPack& p) { return p.manufacturer; }, 12},
    {"serial_number", [](BatteryPack& p) { return p.serialNumber; }, 20},
};

struct WordField {
    const char* name;
    std::uint16_t BatteryPack::*member;
};
const WordField kSmartWords[] = {
    {"word06", &BatteryPack::smbWord06},
    {"word08", &BatteryPack::smbWord08},
    {"word18", &BatteryPack::smbWord18},
    {"word20", &BatteryPack::smbWord20},
};
const TextField kSmartTexts[] = {
    {"text32", [](BatteryPack& p) { return p.smbText32; }, 8},
    {"text52", [](BatteryPack& p) { return p.smbText52; }, 23},
};

const PackField kHealthFields[] = {
    {"level", &BatteryPack::healthLevel},
    {"tip", &BatteryPack::healthTip},
    {"predicted_life_span", &BatteryPack::predictedLifeSpan},
};

struct Lack {
    const char* name;
    std::uint32_t bit;
};
const Lack kLacks[] = {
    {"voltage", fw::kLacksVoltage},           {"temperature", fw::kLacksTemperature},
    {"manufacturer", fw::kLacksManufacturer}, {"manufacture_date", fw::kLacksManufactureDate},
    {"cycle_count", fw::kLacksCycleCount},    {"serial_number", fw::kLacksSerialNumber},
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

void ReadText(const Json& value, const std::string& where, char* to, std::size_t size) {
    const std::string text = ReadString(value, where);
    if (text.size() > size) {
        Fail(where, "at most " + std::to_string(size) + " bytes, got " + Shown(value));
    }
    std::memset(to, 0, size + 1);
    std::memcpy(to, text.data(), text.size());
}

// "2024-03-15".
void ReadDate(const Json& value, const std::string& where, BatteryPack& pack) {
    const std::string text = ReadString(value, where);
    unsigned year = 0, month = 0, day = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%4u-%2u-%2u%c", &year, &month, &day, &end) != 3 || year < 1980 ||
        year > 2107 || month < 1 || month > 12 || day < 1 || day > 31) {
        Fail(where, "expected a date from 1980 on such as \"2024-03-15\", got " + Shown(value));
    }
    pack.manufactureYear = static_cast<std::uint16_t>(year);
    pack.manufactureMonth = static_cast<std::uint8_t>(month);
    pack.manufactureDay = static_cast<std::uint8_t>(day);
}

// "0102-0304-0506-0708": the four firmware words.
void ReadFirmware(const Json& value, const std::string& where, BatteryPack& pack) {
    const std::string text = ReadString(value, where);
    unsigned words[4] = {};
    char end = 0;
    if (text.size() != 19 || std::sscanf(text.c_str(), "%4x-%4x-%4x-%4x%c", &words[0], &words[1],
                                         &words[2], &words[3], &end) != 4) {
        Fail(where, "expected four hexadecimal words such as \"0102-0304-0506-0708\", got " +
                        Shown(value));
    }
    for (int i = 0; i < 4; ++i) {
        pack.firmwareWords[i] = static_cast<std::uint16_t>(words[i]);
    }
}

void ReadSmart(const Json& value, const std::string& where, BatteryPack& pack) {
    ExpectObject(value, where);
    CheckMembers(value, where,
                 {"word06", "word08", "word12", "word18", "word20", "text32", "text52"});
    for (const WordField& field : kSmartWords) {
        if (auto* v = Find(value, field.name)) {
            pack.*field.member = static_cast<std::uint16_t>(
                ReadUnsigned(*v, Member(where, field.name), 0xFFFF, true));
        }
    }
    if (auto* v = Find(value, "word12")) {
        pack.smbWord12 =
            static_cast<std::int16_t>(ReadSigned(*v, Member(where, "word12"), -32768, 32767));
    }
    for (const TextField& field : kSmartTexts) {
        if (auto* v = Find(value, field.name)) {
            ReadText(*v, Member(where, field.name), field.at(pack), field.size);
        }
    }
}

void ReadHealth(const Json& value, const std::string& where, BatteryPack& pack) {
    pack.healthV2 = !value.is_null();
    if (value.is_null()) {
        return;
    }
    ExpectObject(value, where);
    CheckMembers(value, where, {"level", "tip", "predicted_life_span"});
    for (const PackField& field : kHealthFields) {
        if (auto* v = Find(value, field.name)) {
            pack.*field.member =
                static_cast<std::uint32_t>(ReadUnsigned(*v, Member(where, field.name), 0x7FFFFFF));
        }
    }
}

void ReadWindowsView(const Json& value, const std::string& where, BatteryPack& pack) {
    ExpectObject(value, where);
    CheckMembers(value, where, {"relative_capacity", "lacks"});
    if (auto* v = Find(value, "relative_capacity")) {
        pack.relativeCapacity = ReadBool(*v, Member(where, "relative_capacity"));
    }
    if (auto* v = Find(value, "lacks")) {
        const std::string list = Member(where, "lacks");
        if (!v->is_array()) {
            Fail(list, "expected a list of field names, got " + Shown(*v));
        }
        for (std::size_t i = 0; i < v->size(); ++i) {
            const std::string name = ReadString((*v)[i], Element(list, i));
            auto it = std::find_if(std::begin(kLacks), std::end(kLacks),
                                   [&](const Lack& lack) { return name == lack.name; });
            if (it == std::end(kLacks)) {
                Fail(Element(list, i), "unknown field " + Shown((*v)[i]));
            }
            pack.windowsLacks |= it->bit;
        }
    }
}

BatteryPack ReadPack(const Json& value, const std::string& where) {
    ExpectObject(value, where);
    CheckMembers(value, where,
                 {"chemistry",
                  "rechargeable",
                  "designed_capacity_mwh",
                  "full_charged_capacity_mwh",
                  "default_alert1_mwh",
                  "default_alert2_mwh",
                  "critical_bias_mwh",
                  "cycle_count",
                  "remaining_capacity_mwh",
                  "charge_rate_mw",
                  "discharge_rate_mw",
                  "voltage_mv",
                  "temperature_dk",
                  "manufacture_date",
                  "manufacturer",
                  "serial_number",
                  "firmware",
                  "smart_battery",
                  "health",
                  "windows_view"});
    BatteryPack pack;
    if (auto* v = Find(value, "chemistry")) {
        const std::string chemistry = ReadString(*v, Member(where, "chemistry"));
        const bool ascii = std::all_of(chemistry.begin(), chemistry.end(),
                                       [](char c) { return c > ' ' && c < 0x7F; });
        if (chemistry.empty() || chemistry.size() > 4 || !ascii) {
            Fail(Member(where, "chemistry"),
                 "expected one to four ASCII letters (\"LION\"), got " + Shown(*v));
        }
        ReadText(*v, Member(where, "chemistry"), pack.chemistry, 4);
    }
    if (auto* v = Find(value, "rechargeable")) {
        pack.rechargeable = ReadBool(*v, Member(where, "rechargeable"));
    }
    for (const PackField& field : kPackFields) {
        if (auto* v = Find(value, field.name)) {
            pack.*field.member =
                static_cast<std::uint32_t>(ReadUnsigned(*v, Member(where, field.name), 0xFFFFFFFE));
        }
    }
    if (pack.remainingCapacity > pack.fullChargedCapacity) {
        Fail(Member(where, "remaining_capacity_mwh"), "more than the full-charged capacity");
    }
    if (auto* v = Find(value, "manufacture_date")) {
        ReadDate(*v, Member(where, "manufacture_date"), pack);
    }
    for (const TextField& field : kTextFields) {
        if (auto* v = Find(value, field.name)) {
            ReadText(*v, Member(where, field.name), field.at(pack), field.size);
        }
    }
    if (auto* v = Find(value, "firmware")) {
        ReadFirmware(*v, Member(where, "firmware"), pack);
    }
    if (auto* v = Find(value, "smart_battery")) {
        ReadSmart(*v, Member(where, "smart_battery"), pack);
    }
    if (auto* v = Find(value, "health")) {
        ReadHealth(*v, Member(where, "health"), pack);
    }
    if (auto* v = Find(value, "windows_view")) {
        ReadWindowsView(*v, Member(where, "windows_view"), pack);
    }
    return pack;
}

struct Bay {
    std::u16string interfacePath;
    bool inserted = true;
    BatteryPack pack;
};

Change LoadBatteries(const Json& section, const std::string& where) {
    if (!section.is_array() || section.size() > kMostBays) {
        Fail(where, "expected an array of at most two battery devices, got " + Shown(section));
    }
    std::vector<Bay> bays;
    for (std::size_t i = 0; i < section.size(); ++i) {
        const std::string at = Element(where, i);
        const Json& device = ExpectObject(section[i], at);
        CheckMembers(device, at, {"interface", "inserted", "pack"});
        const Json* path = Find(device, "interface");
        if (!path) {
            Fail(at, "missing \"interface\"");
        }
        Bay read;
        read.interfacePath = ReadInterface(*path, Member(at, "interface"));
        for (const Bay& earlier : bays) {
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
        bays.push_back(std::move(read));
    }
    return [bays](Notebook& nb) {
        for (const Bay& bay : bays) {
            nb.batteries().add(bay.interfacePath, bay.pack, bay.inserted);
        }
    };
}

std::string Hex4(std::uint16_t word) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", word);
    return text;
}

Json SavePack(BatteryPack pack) {
    Json out = Json::object();
    out["chemistry"] = std::string(pack.chemistry);
    out["rechargeable"] = pack.rechargeable;
    for (const PackField& field : kPackFields) {
        out[field.name] = pack.*field.member;
    }
    if (pack.manufactureYear != 0) {
        char date[16];
        std::snprintf(date, sizeof date, "%04u-%02u-%02u", unsigned{pack.manufactureYear},
                      unsigned{pack.manufactureMonth}, unsigned{pack.manufactureDay});
        out["manufacture_date"] = date;
    }
    for (const TextField& field : kTextFields) {
        out[field.name] = std::string(field.at(pack));
    }
    out["firmware"] = Hex4(pack.firmwareWords[0]) + "-" + Hex4(pack.firmwareWords[1]) + "-" +
                      Hex4(pack.firmwareWords[2]) + "-" + Hex4(pack.firmwareWords[3]);
    Json smart = Json::object();
    for (const WordField& field : kSmartWords) {
        smart[field.name] = pack.*field.member;
    }
    smart["word12"] = pack.smbWord12;
    for (const TextField& field : kSmartTexts) {
        smart[field.name] = std::string(field.at(pack));
    }
    out["smart_battery"] = smart;
    if (pack.healthV2) {
        Json health = Json::object();
        for (const PackField& field : kHealthFields) {
            health[field.name] = pack.*field.member;
        }
        out["health"] = health;
    } else {
        out["health"] = nullptr;
    }
    Json lacks = Json::array();
    for (const Lack& lack : kLacks) {
        if (pack.windowsLacks & lack.bit) {
            lacks.push_back(lack.name);
        }
    }
    out["windows_view"] = {{"relative_capacity", pack.relativeCapacity}, {"lacks", lacks}};
    return out;
}

// The packs as they are now: charged or run down up to the clock's tick.
std::optional<Json> SaveBatteries(Notebook& nb) {
    Json out = Json::array();
    BatteryDevices& batteries = nb.batteries();
    if (batteries.count() > 0) {
        nb.advanceClock(0);
    }
    for (std::size_t i = 0; i < batteries.count(); ++i) {
        const BatteryDevice& device = batteries.at(i);
        if (!device.present) {
            continue; // bays the maker's device left empty come back when it sets them up again
        }
        out.push_back({{"interface", Utf16ToUtf8(device.interfacePath)},
                       {"inserted", device.inserted},
                       {"pack", SavePack(batteries.pack(i))}});
    }
    return out;
}

} // namespace

extern const Section kBatteries{"batteries", LoadBatteries, SaveBatteries};

} // namespace celdor::sim::scenario
