// The "description" section.
#include "section.h"

#include <string>

namespace celdor::sim::scenario {

namespace {

// A note for the people who read the file; the notebook does not keep it.
Change LoadDescription(const Json& value, const std::string& where) {
    ReadString(value, where);
    return [](Notebook&) {};
}

std::optional<Json> SaveNothing(Notebook&) {
    return std::nullopt;
}

} // namespace

extern const Section kDescription{"description", LoadDescription, SaveNothing};

} // namespace celdor::sim::scenario
