// celdorctl's command line, callable from main() and from tests.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace celdorctl {

enum class MachineUse {
    Attach, // prepare the machine before the command and keep its state after it
    AsIs,   // run on the machine as the caller arranged it (tests)
};

// Runs one command line (without the program name). Returns the process exit code: 0 on
// success, 1 when the command or the machine failed, 2 for a bad command line.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        MachineUse use = MachineUse::Attach);

} // namespace celdorctl
