// What a section of a scenario file is made of, and what the sections share. Each top-level
// section has a file of its own in this folder with its loader and saver, named in the table in
// scenario.cpp. The readers check a value's form and, when it is wrong, fail with a message
// that names its place in the file.
#pragma once

#include <celdor_platform/notebook.h>

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace celdor::sim::scenario {

using Json = nlohmann::ordered_json;
// A change to the notebook, decided while reading a section and made once the file is valid.
using Change = std::function<void(Notebook&)>;

// One top-level member of a scenario file. The loader checks its value, without touching the
// notebook, and returns the change to make; `where` is the section's name, for messages. The
// saver writes the section from the notebook, or nothing when the notebook does not keep it.
struct Section {
    const char* name;
    Change (*load)(const Json& value, const std::string& where);
    std::optional<Json> (*save)(Notebook& nb);
};

// --- Locations and errors -------------------------------------------------------------------

// The location of a member, written the way a reader finds it in the file:
// power_status.battery_flag, registry.HKEY_CURRENT_USER["Software\\Key"].Value.data
std::string Member(const std::string& where, std::string_view name);
std::string Element(const std::string& where, std::size_t index);

// Throws std::runtime_error "scenario: <where>: <what>".
[[noreturn]] void Fail(const std::string& where, const std::string& what);

// A value as the file gives it, shortened for a message.
std::string Shown(const Json& value);

// --- Readers --------------------------------------------------------------------------------

const Json& ExpectObject(const Json& value, const std::string& where);
// Rejects members other than the known ones, so that a misspelt field does not pass silently.
void CheckMembers(const Json& object, const std::string& where,
                  std::initializer_list<const char*> known);
// The member of that name, or null.
const Json* Find(const Json& object, const char* name);

std::string ReadString(const Json& value, const std::string& where);
bool ReadBool(const Json& value, const std::string& where);
// A whole number from 0 to max; "0x..." text is accepted as well when hex is true.
std::uint64_t ReadUnsigned(const Json& value, const std::string& where, std::uint64_t max,
                           bool hex = false);
std::int64_t ReadSigned(const Json& value, const std::string& where, std::int64_t min,
                        std::int64_t max);

} // namespace celdor::sim::scenario
