// The "registry" section: keys and typed values of the two hives, and keys that refuse writes.
#include "section.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace celdor::sim::scenario {

namespace {

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

} // namespace

extern const Section kRegistry{"registry", LoadRegistry, SaveRegistry};

} // namespace celdor::sim::scenario
