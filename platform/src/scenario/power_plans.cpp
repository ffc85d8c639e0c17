// The "power_plans" section: the machine's power plans with their display settings, and the
// active plan.
#include "section.h"

#include <string>
#include <utility>
#include <vector>

namespace celdor::sim::scenario {

namespace {

// The display settings of a plan, with their ranges: time-outs in seconds (0 is never),
// brightness in percent.
struct ValueField {
    const char* name;
    std::uint64_t max;
    DWORD PowerPlan::*member;
};
const ValueField kValueFields[] = {
    {"display_timeout_ac", 0xFFFFFFFF, &PowerPlan::displayTimeoutAc},
    {"display_timeout_dc", 0xFFFFFFFF, &PowerPlan::displayTimeoutDc},
    {"brightness_ac", 100, &PowerPlan::brightnessAc},
    {"brightness_dc", 100, &PowerPlan::brightnessDc},
};

GUID ReadGuid(const Json& value, const std::string& where) {
    auto guid = value.is_string() ? ParseGuid(value.get<std::string>()) : std::nullopt;
    if (!guid) {
        Fail(where, "expected a GUID such as \"381b4222-f694-41f0-9685-ff5bb260df2e\", got " +
                        Shown(value));
    }
    return *guid;
}

PowerPlan ReadPlan(const Json& value, const std::string& where) {
    ExpectObject(value, where);
    CheckMembers(value, where,
                 {"guid", "name", "display_timeout_ac", "display_timeout_dc", "brightness_ac",
                  "brightness_dc"});
    PowerPlan plan;
    for (const char* required : {"guid", "name"}) {
        if (!Find(value, required)) {
            Fail(Member(where, required), "missing: every plan has a GUID and a name");
        }
    }
    plan.guid = ReadGuid(value["guid"], Member(where, "guid"));
    plan.name = Utf8ToUtf16(ReadString(value["name"], Member(where, "name")));
    for (const ValueField& field : kValueFields) {
        if (const Json* v = Find(value, field.name)) {
            plan.*field.member =
                static_cast<DWORD>(ReadUnsigned(*v, Member(where, field.name), field.max));
        }
    }
    return plan;
}

Change LoadPowerPlans(const Json& section, const std::string& where) {
    ExpectObject(section, where);
    CheckMembers(section, where, {"active", "plans"});
    PowerSchemes schemes;
    schemes.reset();
    if (const Json* list = Find(section, "plans")) {
        const std::string at = Member(where, "plans");
        if (!list->is_array() || list->empty()) {
            Fail(at, "expected a list of at least one plan (Windows always has one), got " +
                         Shown(*list));
        }
        schemes.plans.clear();
        for (std::size_t i = 0; i < list->size(); ++i) {
            PowerPlan plan = ReadPlan((*list)[i], Element(at, i));
            if (schemes.find(plan.guid)) {
                Fail(Member(Element(at, i), "guid"),
                     "the GUID " + GuidText(plan.guid) + " is already used by another plan");
            }
            schemes.plans.push_back(std::move(plan));
        }
        if (!schemes.find(schemes.active)) {
            schemes.active = schemes.plans.front().guid;
        }
    }
    if (const Json* active = Find(section, "active")) {
        schemes.active = ReadGuid(*active, Member(where, "active"));
        if (!schemes.find(schemes.active)) {
            Fail(Member(where, "active"), "no plan has the GUID " + GuidText(schemes.active));
        }
    }
    return [schemes = std::move(schemes)](Notebook& nb) { nb.powerSchemes() = schemes; };
}

std::optional<Json> SavePowerPlans(Notebook& nb) {
    const PowerSchemes& schemes = nb.powerSchemes();
    Json plans = Json::array();
    for (const PowerPlan& plan : schemes.plans) {
        Json out = Json::object();
        out["guid"] = GuidText(plan.guid);
        out["name"] = Utf16ToUtf8(plan.name);
        for (const ValueField& field : kValueFields) {
            out[field.name] = plan.*field.member;
        }
        plans.push_back(std::move(out));
    }
    Json out = Json::object();
    out["active"] = GuidText(schemes.active);
    out["plans"] = std::move(plans);
    return out;
}

} // namespace

extern const Section kPowerPlans{"power_plans", LoadPowerPlans, SavePowerPlans};

} // namespace celdor::sim::scenario
