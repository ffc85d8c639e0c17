// This computer as celdorctl's machine: the commands talk to it directly, with nothing to
// prepare or keep.
#include "machine.h"

#include "commands/common.h"
#include "output.h"

#include <chrono>
#include <memory>
#include <string>

namespace celdorctl {

struct Machine::State {};

Machine::Machine() : m_state(std::make_unique<State>()) {}
Machine::~Machine() = default;

void Machine::addOptions(CLI::App&) {}

// The clock and the adapter of a real machine are not ours to move.
void Machine::addCommands(Commands& commands) {
    CLI::App* clock =
        commands.add("clock", "This computer's time and how long it has been running",
                     Effect::Reads, [](Context& context) {
                         const auto now = std::chrono::system_clock::now().time_since_epoch();
                         ClockReport(std::chrono::duration_cast<std::chrono::seconds>(now).count(),
                                     0, GetTickCount64())
                             .print(context.out, context.json);
                         return 0;
                     });
    auto duration = std::make_shared<std::string>();
    commands
        .add(
            "advance", "Move a simulated notebook's clock on", Effect::Reads,
            [duration](Context&) -> int { // the argument lives as long as the command
                throw CommandError("the clock can only be moved on a simulated notebook; this "
                                   "is a real machine, whose time runs by itself");
            },
            clock)
        ->add_option("duration", *duration, "How long, such as 30m or 2h")
        ->check(DurationValidator());
    auto source = std::make_shared<std::string>();
    commands
        .add("power", "Plug a simulated notebook's adapter in or pull it out", Effect::Reads,
             [source](Context&) -> int {
                 throw CommandError("the adapter of a real machine is plugged in and pulled out "
                                    "by hand");
             })
        ->add_option("source", *source, "ac or battery")
        ->transform(OneOf({"ac", "battery"}, "power source"));
}
void Machine::open(Effect) {}
void Machine::close(bool) {}

} // namespace celdorctl
