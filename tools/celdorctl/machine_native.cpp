// This computer as celdorctl's machine: the commands talk to it directly, with nothing to
// prepare or keep.
#include "machine.h"

#include <memory>
#include <string>

namespace celdorctl {

struct Machine::State {};

Machine::Machine() : m_state(std::make_unique<State>()) {}
Machine::~Machine() = default;

void Machine::addOptions(CLI::App&) {}
// The clock of a real machine is not ours to move.
void Machine::addCommands(Commands& commands) {
    CLI::App* clock = commands.family("clock", "The simulated notebook's clock");
    auto duration = std::make_shared<std::string>();
    commands
        .add(
            "advance", "Move a simulated notebook's clock on", Effect::Reads,
            [](Context&) -> int {
                throw CommandError("the clock can only be moved on a simulated notebook; this "
                                   "is a real machine, whose time runs by itself");
            },
            clock)
        ->add_option("duration", *duration, "How long, such as 30m or 2h");
}
void Machine::open(Effect) {}
void Machine::close() {}

} // namespace celdorctl
