// The "power_status" section: what GetSystemPowerStatus reports.
#include "section.h"

#include <string>
#include <utility>
#include <vector>

namespace celdor::sim::scenario {

namespace {

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

} // namespace

extern const Section kPowerStatus{"power_status", LoadPowerStatus, SavePowerStatus};

} // namespace celdor::sim::scenario
