// The machine the commands work on. On Windows it is this computer and needs nothing. Elsewhere
// it is the simulated notebook, started from a description and kept between runs; that side
// lives in machine_sim.cpp, the only part of the tool that knows about the simulation.
#pragma once

#include "command.h"

#include <memory>

namespace celdorctl {

class Machine {
public:
    Machine();
    ~Machine();

    // The machine's own global options and commands.
    void addOptions(CLI::App& app);
    void addCommands(Commands& commands);

    // Around the chosen command: prepare the machine before it and, when the command changed it
    // and succeeded, keep its state after it. A machine that could not keep a change is refused
    // by open(), before anything has changed. Both throw std::runtime_error with a message for
    // the user.
    void open(Effect effect);
    void close(bool succeeded);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace celdorctl
