// How command families plug into celdorctl: each family adds its subcommands to a Commands
// registry, and the one the user chose runs with a Context.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>

namespace celdorctl {

struct Context {
    bool json = false; // --json: machine-readable output
    std::ostream& out;
    std::ostream& err;
};

// A command's work. Returns the exit code; a failure may also be thrown as CommandError.
using Action = std::function<int(Context&)>;

// What a command does to the machine.
enum class Effect {
    Reads,   // only looks at it: nothing of the run is kept
    Changes, // may change it: the machine must be able to keep the change, and keeps it
};

// A failed command: the message goes to stderr and the tool exits with 1.
class CommandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Commands {
public:
    explicit Commands(CLI::App& app) : m_app(app) {}

    // Adds a command to the top level or, with a parent, to a family; the action runs when the
    // user chooses it. Returns the command so that it can take its own arguments, or commands
    // of its own: then it runs only when none of those is given ("plans", "plans set").
    CLI::App* add(std::string name, std::string description, Effect effect, Action action,
                  CLI::App* parent = nullptr);
    // A family of commands under one name ("scenario show", "scenario save"): one of them
    // must be given.
    CLI::App* family(std::string name, std::string description);

    CLI::App& app() { return m_app; }
    // The chosen command's action and effect, once the arguments are parsed; empty if none.
    const Action& chosen() const { return m_chosen; }
    Effect chosenEffect() const { return m_chosenEffect; }

private:
    CLI::App& m_app;
    Action m_chosen;
    Effect m_chosenEffect = Effect::Changes;
};

// The command families. Each lives in commands/<family>.cpp.
void AddStatusCommands(Commands& commands);
void AddAdapterCommands(Commands& commands);
void AddThermalCommands(Commands& commands);
void AddPlansCommands(Commands& commands);
void AddChargingCommands(Commands& commands);
void AddUsbCommands(Commands& commands);
void AddBatteryCommands(Commands& commands);
void AddDoctorCommands(Commands& commands);

} // namespace celdorctl
