// Runs celdorctl's command layer in-process and keeps what it printed; the notebooks it starts
// from.
#pragma once

#include "cli.h"
#include "default_scenario.h"
#include "sim_test.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

struct ToolResult {
    int code = 0;
    std::string out;
    std::string err;
    nlohmann::json json() const { return nlohmann::json::parse(out); }
};

inline ToolResult Tool(const std::vector<std::string>& args,
                       celdorctl::MachineUse use = celdorctl::MachineUse::AsIs) {
    std::ostringstream out, err;
    ToolResult result;
    result.code = celdorctl::Run(args, out, err, use);
    result.out = out.str();
    result.err = err.str();
    return result;
}

// The text of one of the notebooks under scenarios/.
inline std::string ScenarioText(const std::string& name) {
    std::ifstream in(std::filesystem::path(CELDOR_SOURCE_DIR) / "scenarios" / name,
                     std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A test on the notebook celdorctl starts from.
class DefaultNotebookTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        nb().loadScenario(celdorctl::DefaultScenario());
    }
};
