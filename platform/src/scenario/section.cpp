// The readers and messages every section of a scenario file uses.
#include "section.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace celdor::sim::scenario {

namespace {

bool IsPlainName(std::string_view name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
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

} // namespace

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

void CheckMembers(const Json& object, const std::string& where,
                  std::initializer_list<const char*> known) {
    for (const auto& [name, value] : object.items()) {
        if (std::none_of(known.begin(), known.end(),
                         [&name = name](const char* k) { return name == k; })) {
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

std::uint64_t ReadUnsigned(const Json& value, const std::string& where, std::uint64_t max,
                           bool hex) {
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

} // namespace celdor::sim::scenario
