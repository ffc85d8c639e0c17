// Scenario files: the whole simulated notebook described as JSON (docs/scenario.md).
//
// Each top-level section has a loader and a saver in the table at the end of this file; adding a
// part of the notebook means adding one row. Loading is two-phase: every section is read and
// checked first, producing the changes to make, and only when the whole file is valid is the
// notebook reset and changed. A bad file therefore leaves the notebook as it was.
#include "internal.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <limits>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace celdor::sim {

namespace {

using Json = nlohmann::ordered_json;
// A change to the notebook, decided while reading a section and made once the file is valid.
using Change = std::function<void(Notebook&)>;

// --- Locations and errors -------------------------------------------------------------------

bool IsPlainName(std::string_view name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

// The location of a member, written the way a reader finds it in the file:
// power_status.battery_flag, registry.HKEY_CURRENT_USER["Software\\Key"].Value.data
std::string Member(const std::string& where, std::string_view name) {
    if (IsPlainName(name)) {
        return where.empty() ? std::string(name) : where + "." + std::string(name);
    }
    return where + "[" + Json(std::string(name)).dump() + "]";
}

std::string Element(const std::string& where, std::size_t index) {
    return where + "[" + std::to_string(index) + "]";
}

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw std::runtime_error("scenario: " + (where.empty() ? what : where + ": " + what));
}

std::string Shown(const Json& value) {
    std::string text = value.dump();
    if (text.size() > 60) {
        text = text.substr(0, 57) + "...";
    }
    return text;
}

// --- Readers --------------------------------------------------------------------------------

const Json& ExpectObject(const Json& value, const std::string& where) {
    if (!value.is_object()) {
        Fail(where, "expected an object, got " + Shown(value));
    }
    return value;
}

// Rejects members other than the known ones, so that a misspelt field does not pass silently.
void CheckMembers(const Json& object, const std::string& where,
                  std::initializer_list<const char*> known) {
    for (const auto& [name, value] : object.items()) {
        if (std::none_of(known.begin(), known.end(), [&](const char* k) { return name == k; })) {
            std::string list;
            for (const char* k : known) {
                list += (list.empty() ? "" : ", ") + std::string(k);
            }
            Fail(Member(where, name), "unknown field (expected one of: " + list + ")");
        }
    }
}

const Json* Find(const Json& object, const char* name) {
    auto it = object.find(name);
    return it == object.end() ? nullptr : &*it;
}

std::string ReadString(const Json& value, const std::string& where) {
    if (!value.is_string()) {
        Fail(where, "expected a string, got " + Shown(value));
    }
    return value.get<std::string>();
}

bool ReadBool(const Json& value, const std::string& where) {
    if (!value.is_boolean()) {
        Fail(where, "expected true or false, got " + Shown(value));
    }
    return value.get<bool>();
}

std::optional<std::uint64_t> ParseHex(std::string_view text) {
    if (text.size() < 3 || text.size() > 18 || text[0] != '0' ||
        (text[1] != 'x' && text[1] != 'X')) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text.substr(2)) {
        int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                    : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                                : -1;
        if (digit < 0) {
            return std::nullopt;
        }
        value = value << 4 | static_cast<unsigned>(digit);
    }
    return value;
}

// A whole number from 0 to max; "0x..." text is accepted as well when hex is true.
std::uint64_t ReadUnsigned(const Json& value, const std::string& where, std::uint64_t max,
                           bool hex = false) {
    std::optional<std::uint64_t> number;
    if (value.is_number_unsigned()) {
        number = value.get<std::uint64_t>();
    } else if (value.is_string() && hex) {
        number = ParseHex(value.get<std::string>());
    }
    if (!number || *number > max) {
        Fail(where, "expected a whole number from 0 to " + std::to_string(max) +
                        (hex ? " (or \"0x\" hexadecimal text)" : "") + ", got " + Shown(value));
    }
    return *number;
}

std::int64_t ReadSigned(const Json& value, const std::string& where, std::int64_t min,
                        std::int64_t max) {
    bool ok = value.is_number_integer();
    std::int64_t number = 0;
    if (ok) {
        if (value.is_number_unsigned() &&
            value.get<std::uint64_t>() > static_cast<std::uint64_t>(max)) {
            ok = false;
        } else {
            number = value.get<std::int64_t>();
            ok = number >= min && number <= max;
        }
    }
    if (!ok) {
        Fail(where, "expected a whole number from " + std::to_string(min) + " to " +
                        std::to_string(max) + ", got " + Shown(value));
    }
    return number;
}

// Fields where Windows uses an all-ones value for "unknown" (255 in a BYTE, 0xFFFFFFFF in a
// DWORD) take that value, -1 or the text "unknown". Other values run from 0 to max.
std::uint32_t ReadOrUnknown(const Json& value, const std::string& where, std::uint32_t max,
                            std::uint32_t unknown) {
    if ((value.is_string() && value.get<std::string>() == "unknown") ||
        (value.is_number_integer() && !value.is_number_unsigned() &&
         value.get<std::int64_t>() == -1) ||
        (value.is_number_unsigned() && value.get<std::uint64_t>() == unknown)) {
        return unknown;
    }
    if (!value.is_number_unsigned() || value.get<std::uint64_t>() > max) {
        Fail(where, "expected a whole number from 0 to " + std::to_string(max) +
                        ", or \"unknown\", got " + Shown(value));
    }
    return static_cast<std::uint32_t>(value.get<std::uint64_t>());
}

Json WriteOrUnknown(std::uint32_t value, std::uint32_t unknown) {
    return value == unknown ? Json("unknown") : Json(value);
}

std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// --- user -----------------------------------------------------------------------------------

Change LoadUser(const Json& value, const std::string& where) {
    std::string name = ReadString(value, where);
    // The name becomes a folder, C:\Users\<name>: it must be one valid path component.
    bool bad = name.empty() || name == "." || name == ".." ||
               name.find_first_of("\\/:*?\"<>|") != std::string::npos ||
               std::any_of(name.begin(), name.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    if (bad) {
        Fail(where, "expected a user name usable as a folder name, got " + Shown(value));
    }
    return [text = Utf8ToUtf16(name)](Notebook& nb) { nb.setUserName(text); };
}

std::optional<Json> SaveUser(Notebook& nb) {
    return Json(Utf16ToUtf8(nb.userName()));
}

Change LoadElevated(const Json& value, const std::string& where) {
    return [elevated = ReadBool(value, where)](Notebook& nb) { nb.setElevated(elevated); };
}

std::optional<Json> SaveElevated(Notebook& nb) {
    return nb.elevated() ? std::optional<Json>(true) : std::nullopt;
}

// --- clock ----------------------------------------------------------------------------------

// "YYYY-MM-DDThh:mm:ssZ", the one form scenario files use for a UTC time.
std::optional<std::int64_t> ParseUtc(std::string_view text) {
    using namespace std::chrono;
    static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != kShape.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool digit = std::isdigit(static_cast<unsigned char>(text[i]));
        if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) {
            return std::nullopt;
        }
    }
    auto number = [&](std::size_t at, std::size_t len) {
        return std::stoi(std::string(text.substr(at, len)));
    };
    year_month_day date{year{number(0, 4)}, month{static_cast<unsigned>(number(5, 2))},
                        day{static_cast<unsigned>(number(8, 2))}};
    int h = number(11, 2), m = number(14, 2), s = number(17, 2);
    if (!date.ok() || h > 23 || m > 59 || s > 59) {
        return std::nullopt;
    }
    return sys_days{date}.time_since_epoch() / seconds{1} + h * 3600 + m * 60 + s;
}

std::string FormatUtc(std::int64_t epochSeconds) {
    using namespace std::chrono;
    sys_seconds time{seconds{epochSeconds}};
    auto dayStart = floor<days>(time);
    year_month_day date{dayStart};
    hh_mm_ss clock{time - dayStart};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

Change LoadClock(const Json& section, const std::string& where) {
    ExpectObject(section, where);
    CheckMembers(section, where, {"tick_ms", "boot_time", "utc_offset_minutes"});
    std::optional<std::uint64_t> tick;
    std::optional<std::int64_t> boot;
    std::optional<int> offset;
    if (auto* v = Find(section, "tick_ms")) {
        tick = ReadUnsigned(*v, Member(where, "tick_ms"), std::numeric_limits<std::int64_t>::max());
    }
    if (auto* v = Find(section, "boot_time")) {
        boot = ParseUtc(ReadString(*v, Member(where, "boot_time")));
        if (!boot) {
            Fail(Member(where, "boot_time"),
                 "expected a UTC time as \"YYYY-MM-DDThh:mm:ssZ\", got " + Shown(*v));
        }
    }
    if (auto* v = Find(section, "utc_offset_minutes")) {
        // Windows' time zones run from UTC-12:00 to UTC+14:00.
        offset = static_cast<int>(ReadSigned(*v, Member(where, "utc_offset_minutes"), -720, 840));
    }
    return [=](Notebook& nb) {
        Clock& clock = nb.clock();
        clock.tickMs = tick.value_or(clock.tickMs);
        clock.bootEpochSeconds = boot.value_or(clock.bootEpochSeconds);
        clock.utcOffsetMinutes = offset.value_or(clock.utcOffsetMinutes);
    };
}

std::optional<Json> SaveClock(Notebook& nb) {
    const Clock& clock = nb.clock();
    Json out = Json::object();
    out["tick_ms"] = clock.tickMs;
    out["boot_time"] = FormatUtc(clock.bootEpochSeconds);
    out["utc_offset_minutes"] = clock.utcOffsetMinutes;
    return out;
}

// --- power_status ---------------------------------------------------------------------------

// The members of SYSTEM_POWER_STATUS, in the order Windows declares them.
struct PowerField {
    const char* name;
    std::uint32_t max;     // largest ordinary value
    std::uint32_t unknown; // the value meaning "unknown"
    std::uint32_t (*get)(const SYSTEM_POWER_STATUS&);
    void (*set)(SYSTEM_POWER_STATUS&, std::uint32_t);
};

using Status = SYSTEM_POWER_STATUS;
const PowerField kPowerFields[] = {
    {"ac_line_status", 254, 255, [](const Status& s) -> std::uint32_t { return s.ACLineStatus; },
     [](Status& s, std::uint32_t v) { s.ACLineStatus = static_cast<BYTE>(v); }},
    {"battery_flag", 254, 255, [](const Status& s) -> std::uint32_t { return s.BatteryFlag; },
     [](Status& s, std::uint32_t v) { s.BatteryFlag = static_cast<BYTE>(v); }},
    {"battery_life_percent", 100, 255,
     [](const Status& s) -> std::uint32_t { return s.BatteryLifePercent; },
     [](Status& s, std::uint32_t v) { s.BatteryLifePercent = static_cast<BYTE>(v); }},
    {"system_status_flag", 254, 255,
     [](const Status& s) -> std::uint32_t { return s.SystemStatusFlag; },
     [](Status& s, std::uint32_t v) { s.SystemStatusFlag = static_cast<BYTE>(v); }},
    {"battery_life_time", 0xFFFFFFFE, 0xFFFFFFFF,
     [](const Status& s) -> std::uint32_t { return s.BatteryLifeTime; },
     [](Status& s, std::uint32_t v) { s.BatteryLifeTime = v; }},
    {"battery_full_life_time", 0xFFFFFFFE, 0xFFFFFFFF,
     [](const Status& s) -> std::uint32_t { return s.BatteryFullLifeTime; },
     [](Status& s, std::uint32_t v) { s.BatteryFullLifeTime = v; }},
};

Change LoadPowerStatus(const Json& section, const std::string& where) {
    ExpectObject(section, where);
    CheckMembers(section, where,
                 {"ac_line_status", "battery_flag", "battery_life_percent", "system_status_flag",
                  "battery_life_time", "battery_full_life_time"});
    std::vector<std::pair<const PowerField*, std::uint32_t>> values;
    for (const PowerField& field : kPowerFields) {
        if (auto* v = Find(section, field.name)) {
            values.emplace_back(
                &field, ReadOrUnknown(*v, Member(where, field.name), field.max, field.unknown));
        }
    }
    return [values](Notebook& nb) {
        for (const auto& [field, value] : values) {
            field->set(nb.powerStatus(), value);
        }
    };
}

std::optional<Json> SavePowerStatus(Notebook& nb) {
    Json out = Json::object();
    for (const PowerField& field : kPowerFields) {
        out[field.name] = WriteOrUnknown(field.get(nb.powerStatus()), field.unknown);
    }
    return out;
}

// --- fervo ----------------------------------------------------------------------------------

Change LoadFervo(const Json& section, const std::string& where) {
    ExpectObject(section, where);
    CheckMembers(section, where, {"present", "open_error", "status_word"});
    std::optional<bool> present;
    std::optional<DWORD> openError, statusWord;
    if (auto* v = Find(section, "present")) {
        present = ReadBool(*v, Member(where, "present"));
    }
    if (auto* v = Find(section, "open_error")) {
        openError = static_cast<DWORD>(ReadUnsigned(*v, Member(where, "open_error"), 0xFFFFFFFF));
    }
    if (auto* v = Find(section, "status_word")) {
        statusWord =
            static_cast<DWORD>(ReadUnsigned(*v, Member(where, "status_word"), 0xFFFFFFFF, true));
    }
    return [=](Notebook& nb) {
        FervoDevice& fervo = nb.fervo();
        fervo.present = present.value_or(fervo.present);
        fervo.openError = openError.value_or(fervo.openError);
        fervo.statusWord = statusWord.value_or(fervo.statusWord);
    };
}

std::optional<Json> SaveFervo(Notebook& nb) {
    const FervoDevice& fervo = nb.fervo();
    Json out = Json::object();
    out["present"] = fervo.present;
    out["open_error"] = fervo.openError;
    out["status_word"] = Hex32(fervo.statusWord);
    return out;
}

// --- registry -------------------------------------------------------------------------------

constexpr Hive kHives[] = {Hive::LocalMachine, Hive::CurrentUser};

struct TypeName {
    DWORD type;
    const char* name;
};
constexpr TypeName kTypeNames[] = {
    {REG_NONE, "REG_NONE"},           {REG_SZ, "REG_SZ"},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ"}, {REG_BINARY, "REG_BINARY"},
    {REG_DWORD, "REG_DWORD"},         {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
    {REG_MULTI_SZ, "REG_MULTI_SZ"},   {REG_QWORD, "REG_QWORD"},
};

std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text) {
    std::vector<std::uint8_t> out;
    out.reserve(text.size() * 2);
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

std::u16string Utf16FromBytes(const std::vector<std::uint8_t>& bytes) {
    std::u16string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        out.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    }
    return out;
}

std::string ToHex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char pair[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(pair, sizeof pair, i ? " %02x" : "%02x", bytes[i]);
        out += pair;
    }
    return out;
}

// Hexadecimal bytes, optionally separated by spaces: "01 00 ff" or "0100ff".
std::vector<std::uint8_t> ReadHex(const Json& value, const std::string& where) {
    std::string text = ReadString(value, where);
    std::string digits;
    for (char c : text) {
        if (c != ' ') {
            digits.push_back(c);
        }
    }
    bool ok = digits.size() % 2 == 0 && std::all_of(digits.begin(), digits.end(), [](char c) {
                  return std::isxdigit(static_cast<unsigned char>(c));
              });
    if (!ok) {
        Fail(where, "expected hexadecimal bytes such as \"01 00 ff\", got " + Shown(value));
    }
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::vector<std::uint8_t> MultiStringBytes(const std::vector<std::u16string>& texts) {
    std::u16string joined;
    for (const auto& text : texts) {
        joined += text;
        joined.push_back(u'\0');
    }
    joined.push_back(u'\0');
    return Utf16Bytes(joined);
}

std::vector<std::uint8_t> WordBytes(std::uint64_t value, int count, bool bigEndian = false) {
    std::vector<std::uint8_t> out;
    for (int i = 0; i < count; ++i) {
        int shift = 8 * (bigEndian ? count - 1 - i : i);
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    return out;
}

// The "data" member, in the form that suits the value's type.
std::vector<std::uint8_t> ReadData(DWORD type, const Json& value, const std::string& where) {
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return RegValue::String(Utf8ToUtf16(ReadString(value, where)), type).data;
    case REG_MULTI_SZ: {
        if (!value.is_array()) {
            Fail(where, "expected an array of strings, got " + Shown(value));
        }
        std::vector<std::u16string> texts;
        for (std::size_t i = 0; i < value.size(); ++i) {
            std::string text = ReadString(value[i], Element(where, i));
            // An empty string or a terminator inside one would end the list early.
            if (text.empty() || text.find('\0') != std::string::npos) {
                Fail(Element(where, i),
                     "a multi-string entry must be non-empty text without terminators");
            }
            texts.push_back(Utf8ToUtf16(text));
        }
        return MultiStringBytes(texts);
    }
    case REG_DWORD:
        return WordBytes(ReadUnsigned(value, where, 0xFFFFFFFF, true), 4);
    case REG_DWORD_BIG_ENDIAN:
        return WordBytes(ReadUnsigned(value, where, 0xFFFFFFFF, true), 4, true);
    case REG_QWORD:
        return WordBytes(
            ReadUnsigned(value, where, std::numeric_limits<std::uint64_t>::max(), true), 8);
    case REG_BINARY:
    case REG_NONE:
        return ReadHex(value, where);
    default:
        Fail(where, "this value type takes its contents as \"bytes\", not \"data\"");
    }
}

// The "data" form of a stored value, when that form gives back exactly the same bytes.
std::optional<Json> WriteData(const RegValue& value) {
    const auto& bytes = value.data;
    std::optional<Json> out;
    switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        out = Json(Utf16ToUtf8(value.asString()));
        break;
    case REG_MULTI_SZ: {
        std::u16string all = Utf16FromBytes(bytes);
        Json list = Json::array();
        for (std::size_t start = 0; start < all.size();) {
            std::size_t end = all.find(u'\0', start);
            if (end == std::u16string::npos || end == start) {
                break;
            }
            list.push_back(Utf16ToUtf8(all.substr(start, end - start)));
            start = end + 1;
        }
        out = list;
        break;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
    case REG_QWORD: {
        std::size_t size = value.type == REG_QWORD ? 8 : 4;
        if (bytes.size() == size) {
            std::uint64_t number = 0;
            for (std::size_t i = 0; i < size; ++i) {
                std::size_t at = value.type == REG_DWORD_BIG_ENDIAN ? i : size - 1 - i;
                number = number << 8 | bytes[at];
            }
            out = Json(number);
        }
        break;
    }
    case REG_BINARY:
    case REG_NONE:
        out = Json(ToHex(bytes));
        break;
    default:
        break;
    }
    // Only a form that reads back to the very same bytes will do; anything else (a string
    // without its terminator, odd sizes, text that is not valid UTF-16) is saved as raw bytes.
    if (out) {
        try {
            if (ReadData(value.type, *out, {}) != bytes) {
                out.reset();
            }
        } catch (const std::runtime_error&) {
            out.reset();
        }
    }
    return out;
}

DWORD ReadType(const Json& value, const std::string& where) {
    if (value.is_string()) {
        for (const auto& t : kTypeNames) {
            if (value.get<std::string>() == t.name) {
                return t.type;
            }
        }
    } else if (value.is_number_unsigned() && value.get<std::uint64_t>() <= 0xFFFFFFFF) {
        return static_cast<DWORD>(value.get<std::uint64_t>());
    }
    Fail(where, "expected a value type such as \"REG_SZ\", \"REG_EXPAND_SZ\", \"REG_DWORD\", "
                "\"REG_QWORD\", \"REG_BINARY\", \"REG_MULTI_SZ\" or a type number, got " +
                    Shown(value));
}

Json WriteType(DWORD type) {
    for (const auto& t : kTypeNames) {
        if (t.type == type) {
            return t.name;
        }
    }
    return type;
}

RegValue ReadValue(const Json& value, const std::string& where) {
    ExpectObject(value, where);
    CheckMembers(value, where, {"type", "data", "bytes"});
    const Json* type = Find(value, "type");
    if (!type) {
        Fail(where, "missing \"type\"");
    }
    RegValue out;
    out.type = ReadType(*type, Member(where, "type"));
    const Json* data = Find(value, "data");
    const Json* bytes = Find(value, "bytes");
    if (data && bytes) {
        Fail(where, "give either \"data\" or \"bytes\", not both");
    }
    if (data) {
        out.data = ReadData(out.type, *data, Member(where, "data"));
    } else if (bytes) {
        out.data = ReadHex(*bytes, Member(where, "bytes"));
    } else {
        Fail(where, "missing \"data\" (or raw \"bytes\")");
    }
    return out;
}

Json WriteValue(const RegValue& value) {
    Json out = Json::object();
    out["type"] = WriteType(value.type);
    if (auto data = WriteData(value)) {
        out["data"] = std::move(*data);
    } else {
        out["bytes"] = ToHex(value.data);
    }
    return out;
}

void CheckKeyPath(const std::string& path, const std::string& where) {
    // Backslashes separate the names; no name may be empty.
    bool bad = path.empty() || path.front() == '\\' || path.back() == '\\' ||
               path.find("\\\\") != std::string::npos;
    if (bad) {
        Fail(where, "a key path is one or more names separated by single backslashes, "
                    "without a leading or trailing backslash");
    }
}

struct KeyContents {
    Hive hive;
    std::u16string path;
    std::vector<std::pair<std::u16string, RegValue>> values;
};

Change LoadRegistry(const Json& section, const std::string& where) {
    ExpectObject(section, where);
    CheckMembers(section, where,
                 {HiveName(Hive::LocalMachine), HiveName(Hive::CurrentUser), "read_only"});
    std::vector<KeyContents> keys;
    for (Hive hive : kHives) {
        const Json* hiveJson = Find(section, HiveName(hive));
        if (!hiveJson) {
            continue;
        }
        const std::string hiveWhere = Member(where, HiveName(hive));
        ExpectObject(*hiveJson, hiveWhere);
        std::set<std::u16string> seenKeys;
        for (const auto& [path, values] : hiveJson->items()) {
            const std::string keyWhere = Member(hiveWhere, path);
            CheckKeyPath(path, keyWhere);
            ExpectObject(values, keyWhere);
            KeyContents key{hive, Utf8ToUtf16(path), {}};
            // Names are case-insensitive: two spellings of one name would be one key or value.
            if (!seenKeys.insert(ToUpper(key.path)).second) {
                Fail(keyWhere, "this key is already given under another spelling");
            }
            std::set<std::u16string> seenValues;
            for (const auto& [name, value] : values.items()) {
                std::u16string wideName = Utf8ToUtf16(name);
                if (!seenValues.insert(ToUpper(wideName)).second) {
                    Fail(Member(keyWhere, name),
                         "this value is already given under another spelling");
                }
                key.values.emplace_back(wideName, ReadValue(value, Member(keyWhere, name)));
            }
            keys.push_back(std::move(key));
        }
    }

    std::vector<std::pair<Hive, std::u16string>> readOnly;
    if (const Json* list = Find(section, "read_only")) {
        const std::string listWhere = Member(where, "read_only");
        if (!list->is_array()) {
            Fail(listWhere, "expected an array of key names, got " + Shown(*list));
        }
        for (std::size_t i = 0; i < list->size(); ++i) {
            std::string name = ReadString((*list)[i], Element(listWhere, i));
            std::optional<Hive> hive;
            for (Hive h : kHives) {
                const std::string prefix = std::string(HiveName(h)) + "\\";
                if (name.starts_with(prefix)) {
                    hive = h;
                    name.erase(0, prefix.size());
                    break;
                }
            }
            if (!hive) {
                Fail(Element(listWhere, i),
                     "expected a key name starting with \"HKEY_LOCAL_MACHINE\\\" or "
                     "\"HKEY_CURRENT_USER\\\", got " +
                         Shown((*list)[i]));
            }
            CheckKeyPath(name, Element(listWhere, i));
            readOnly.emplace_back(*hive, Utf8ToUtf16(name));
        }
    }

    return [keys = std::move(keys), readOnly = std::move(readOnly)](Notebook& nb) {
        Registry& registry = nb.registry();
        for (const auto& key : keys) {
            registry.createKey(key.hive, key.path);
            for (const auto& [name, value] : key.values) {
                registry.setValue(key.hive, key.path, name, value);
            }
        }
        for (const auto& [hive, path] : readOnly) {
            registry.setReadOnly(hive, path, true);
        }
    };
}

std::u16string ParentPath(std::u16string_view path) {
    auto cut = path.rfind(u'\\');
    return cut == std::u16string_view::npos ? std::u16string()
                                            : std::u16string(path.substr(0, cut));
}

std::optional<Json> SaveRegistry(Notebook& nb) {
    const Registry& registry = nb.registry();
    Json out = Json::object();
    Json readOnly = Json::array();
    for (Hive hive : kHives) {
        const std::vector<std::u16string> paths = registry.keyPaths(hive);
        std::set<std::u16string> parents;
        for (const auto& path : paths) {
            parents.insert(ToUpper(ParentPath(path)));
        }
        Json keys = Json::object();
        for (const auto& path : paths) {
            const auto values = registry.values(hive, path);
            // A key with subkeys exists through them; one with neither values nor subkeys has
            // to be listed, empty, to exist — unless every installation has it anyway.
            if (!values.empty() ||
                (!parents.count(ToUpper(path)) && !Registry::isBaseKey(hive, path))) {
                Json contents = Json::object();
                for (const auto& [name, value] : values) {
                    contents[Utf16ToUtf8(name)] = WriteValue(value);
                }
                keys[Utf16ToUtf8(path)] = std::move(contents);
            }
            if (registry.isReadOnly(hive, path)) {
                readOnly.push_back(std::string(HiveName(hive)) + "\\" + Utf16ToUtf8(path));
            }
        }
        out[HiveName(hive)] = std::move(keys);
    }
    if (!readOnly.empty()) {
        out["read_only"] = std::move(readOnly);
    }
    return out;
}

// --- description ----------------------------------------------------------------------------

// A note for the people who read the file; the notebook does not keep it.
Change LoadDescription(const Json& value, const std::string& where) {
    ReadString(value, where);
    return [](Notebook&) {};
}

std::optional<Json> SaveNothing(Notebook&) {
    return std::nullopt;
}

// --- The sections, in the order they are loaded and saved -----------------------------------

struct Section {
    const char* name;
    Change (*load)(const Json& value, const std::string& where);
    std::optional<Json> (*save)(Notebook& nb);
};

const Section kSections[] = {
    {"description", LoadDescription, SaveNothing},
    {"user", LoadUser, SaveUser},
    {"elevated", LoadElevated, SaveElevated}, // saved only when true
    {"clock", LoadClock, SaveClock},
    {"power_status", LoadPowerStatus, SavePowerStatus},
    {"fervo", LoadFervo, SaveFervo},
    {"registry", LoadRegistry, SaveRegistry},
};

} // namespace

void Notebook::loadScenario(std::string_view text) {
    Json root;
    try {
        root = Json::parse(text);
    } catch (const Json::parse_error& error) {
        throw std::runtime_error(std::string("scenario: not valid JSON: ") + error.what());
    }
    if (!root.is_object()) {
        Fail({}, "expected a JSON object with the notebook's sections, got " + Shown(root));
    }
    for (const auto& [name, value] : root.items()) {
        auto known = [&](const Section& s) { return name == s.name; };
        if (std::none_of(std::begin(kSections), std::end(kSections), known)) {
            std::string list;
            for (const Section& s : kSections) {
                list += (list.empty() ? "" : ", ") + std::string(s.name);
            }
            Fail({}, "unknown section " + Json(name).dump() + " (known sections: " + list + ")");
        }
    }
    std::vector<Change> changes;
    for (const Section& section : kSections) {
        if (const Json* value = Find(root, section.name)) {
            changes.push_back(section.load(*value, section.name));
        }
    }

    std::lock_guard lock(m_mutex);
    resetStateLocked();
    for (const Change& change : changes) {
        change(*this);
    }
}

std::string Notebook::saveScenario() const {
    std::lock_guard lock(m_mutex);
    // The savers only read; the accessors they use are the notebook's non-const ones.
    Notebook& self = const_cast<Notebook&>(*this);
    Json root = Json::object();
    for (const Section& section : kSections) {
        if (auto value = section.save(self)) {
            root[section.name] = std::move(*value);
        }
    }
    return root.dump(2) + "\n";
}

} // namespace celdor::sim
