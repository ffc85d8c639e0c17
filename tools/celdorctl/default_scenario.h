// The default simulated notebook, scenarios/default.json, built into the tool.
#pragma once

#include <string_view>

namespace celdorctl {

std::string_view DefaultScenario();

} // namespace celdorctl
