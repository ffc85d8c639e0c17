// Runs celdorctl's command layer in-process and keeps what it printed.
#pragma once

#include "cli.h"

#include <nlohmann/json.hpp>

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
