#include "cli.h"

#include "command.h"
#include "machine.h"

#include <CLI/CLI.hpp>

#include <exception>
#include <string>
#include <vector>

#ifndef CELDOR_VERSION
#define CELDOR_VERSION "unknown"
#endif

namespace celdorctl {

CLI::App* Commands::add(std::string name, std::string description, Effect effect, Action action,
                        CLI::App* parent) {
    CLI::App* owner = parent ? parent : &m_app;
    CLI::App* command = owner->add_subcommand(std::move(name), std::move(description));
    command->callback([this, command, effect, action = std::move(action)] {
        if (!command->get_subcommands().empty()) {
            return; // one of the command's own subcommands was chosen
        }
        m_chosen = action;
        m_chosenEffect = effect;
    });
    return command;
}

CLI::App* Commands::family(std::string name, std::string description) {
    CLI::App* group = m_app.add_subcommand(std::move(name), std::move(description));
    group->require_subcommand(1);
    return group;
}

namespace {

using Family = void (*)(Commands&);
constexpr Family kFamilies[] = {
    AddStatusCommands,   AddAdapterCommands, AddThermalCommands, AddPlansCommands,
    AddChargingCommands, AddUsbCommands,     AddBatteryCommands, AddDoctorCommands,
};

std::string CommandNames(const CLI::App& app) {
    std::string names;
    for (const CLI::App* command : app.get_subcommands({})) {
        names += (names.empty() ? "" : ", ") + command->get_name();
    }
    return names;
}

// CLI11's messages, reworded where the user most likely mistyped or forgot a command.
std::string Describe(const CLI::ParseError& error, const CLI::App& app) {
    const CLI::App* family = &app;
    while (!family->get_subcommands().empty()) {
        family = family->get_subcommands().front();
    }
    const bool takesCommands = !family->get_subcommands({}).empty();
    const std::string where = family == &app ? "" : " " + family->get_name();
    const std::vector<std::string> extras = app.remaining(true);
    if (takesCommands && family->get_subcommands().empty() && !extras.empty() &&
        !extras.front().starts_with("-")) {
        return "unknown command '" + extras.front() + "'; the" + where +
               " commands are: " + CommandNames(*family);
    }
    if (takesCommands && dynamic_cast<const CLI::RequiredError*>(&error) &&
        family->get_subcommands().empty()) {
        return "a command is needed; the" + where + " commands are: " + CommandNames(*family);
    }
    return error.what();
}

} // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        MachineUse use) {
    CLI::App app{"Shows and changes the notebook's power and battery features through Celdor.",
                 "celdorctl"};
    app.require_subcommand(1);
    app.fallthrough(); // global options are accepted after the command too
    bool json = false;
    app.add_flag("--json", json, "Print machine-readable JSON instead of tables");
    app.set_version_flag("--version", "celdorctl " CELDOR_VERSION);

    Commands commands(app);
    for (Family family : kFamilies) {
        family(commands);
    }
    Machine machine;
    machine.addOptions(app);
    machine.addCommands(commands);

    std::vector<std::string> reversed(args.rbegin(), args.rend()); // CLI11 consumes from the back
    try {
        app.parse(reversed);
    } catch (const CLI::Success& done) { // --help, --version
        return app.exit(done, out, err);
    } catch (const CLI::ParseError& error) {
        err << "celdorctl: " << Describe(error, app) << "\n"
            << "Run 'celdorctl --help' for the commands and options.\n";
        return 2;
    }

    Context context{json, out, err};
    try {
        if (use == MachineUse::Attach) {
            machine.open(commands.chosenEffect());
        }
        int code = 1;
        std::string failure;
        try {
            code = commands.chosen()(context);
        } catch (const std::exception& error) {
            failure = error.what();
        }
        if (use == MachineUse::Attach) {
            machine.close(code == 0 && failure.empty());
        }
        if (!failure.empty()) {
            err << "celdorctl: " << failure << "\n";
            return 1;
        }
        return code;
    } catch (const std::exception& error) {
        err << "celdorctl: " << error.what() << "\n";
        return 1;
    }
}

} // namespace celdorctl
