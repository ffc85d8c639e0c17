// The operations the fault sweep runs: every exported operation of every family, with the
// notebooks it means something on and the results it may give. A family joins the sweep by
// adding its entries to the table in sweep_operations.cpp.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace sweep {

struct Operation {
    std::string name;                   // "CChargingMode::SetChargingMode(1)"
    std::vector<std::string> scenarios; // files under scenarios/
    std::function<int()> run;           // builds what it needs, calls, returns the result
    std::function<bool(int)> results;   // the documented results
    std::function<void()> arrange = {}; // state the operation needs beyond the scenario
};

const std::vector<Operation>& Operations();

} // namespace sweep
