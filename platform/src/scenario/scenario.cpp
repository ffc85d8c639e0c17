// Scenario files: the whole simulated notebook described as JSON (docs/scenario.md).
//
// Each top-level section is loaded and saved by a file of its own in this folder; the table
// below names them. Loading is two-phase: every section is read and checked first, producing
// the changes to make, and only when the whole file is valid is the notebook reset and changed.
// A bad file therefore leaves the notebook as it was.
#include "section.h"

#include <algorithm>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace celdor::sim {

namespace scenario {

// The sections, in the order they are loaded and saved; each is defined in the file of its name.
extern const Section kDescription, kUser, kElevated, kClock, kPowerStatus, kFervo, kRegistry;
extern const Section kServices, kPowerPlans;
extern const Section kBatteries;
const Section* const kSections[] = {
    &kDescription, &kUser,     &kElevated, &kClock,      &kPowerStatus,
    &kFervo,       &kRegistry, &kServices, &kPowerPlans, &kBatteries,
};

} // namespace scenario

void Notebook::loadScenario(std::string_view text) {
    using namespace scenario;
    // A notebook is a handful of levels deep. Text nested far deeper is refused while it is
    // read: showing or freeing such a value would recurse once per level.
    constexpr int kMaxDepth = 64;
    const Json::parser_callback_t depthLimit = [](int depth, Json::parse_event_t, Json&) {
        if (depth > kMaxDepth) {
            Fail({}, "nested deeper than " + std::to_string(kMaxDepth) + " levels");
        }
        return true;
    };
    Json root;
    try {
        root = Json::parse(text, depthLimit);
    } catch (const Json::exception& error) { // a syntax error, or a number out of range
        throw std::runtime_error(std::string("scenario: not valid JSON: ") + error.what());
    }
    if (!root.is_object()) {
        Fail({}, "expected a JSON object with the notebook's sections, got " + Shown(root));
    }
    for (const auto& [name, value] : root.items()) {
        auto known = [&name = name](const Section* s) { return name == s->name; };
        if (std::none_of(std::begin(kSections), std::end(kSections), known)) {
            std::string list;
            for (const Section* s : kSections) {
                list += (list.empty() ? "" : ", ") + std::string(s->name);
            }
            Fail({}, "unknown section " + Json(name).dump() + " (known sections: " + list + ")");
        }
    }
    std::vector<Change> changes;
    for (const Section* section : kSections) {
        if (const Json* value = Find(root, section->name)) {
            changes.push_back(section->load(*value, section->name));
        }
    }

    std::lock_guard lock(m_mutex);
    resetStateLocked();
    for (const Change& change : changes) {
        change(*this);
    }
}

std::string Notebook::saveScenario() const {
    using namespace scenario;
    std::lock_guard lock(m_mutex);
    // The savers only read; the accessors they use are the notebook's non-const ones.
    Notebook& self = const_cast<Notebook&>(*this);
    Json root = Json::object();
    for (const Section* section : kSections) {
        if (auto value = section->save(self)) {
            root[section->name] = std::move(*value);
        }
    }
    return root.dump(2) + "\n";
}

} // namespace celdor::sim
