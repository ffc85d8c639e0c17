// This computer as celdorctl's machine: the commands talk to it directly, with nothing to
// prepare or keep.
#include "machine.h"

namespace celdorctl {

struct Machine::State {};

Machine::Machine() : m_state(std::make_unique<State>()) {}
Machine::~Machine() = default;

void Machine::addOptions(CLI::App&) {}
void Machine::addCommands(Commands&) {}
void Machine::open(Effect) {}
void Machine::close() {}

} // namespace celdorctl
