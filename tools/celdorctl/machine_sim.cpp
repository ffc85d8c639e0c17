// The simulated notebook as celdorctl's machine. Each run starts from the kept notebook (or the
// built-in default, or --scenario FILE), runs one command on it and, when the command changed
// it, keeps the result, so that a change made by one command is seen by the next. The
// notebook's C: drive lives beside it.
//
//   <state>/notebook.json   the notebook, in the scenario format
//   <state>/drive/C/...     its files (the diagnostic log, INI files)
#include "machine.h"

#include "commands/common.h"
#include "default_scenario.h"
#include "files.h"
#include "output.h"

#include <celdor_platform/notebook.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace celdorctl {

namespace {

// How long a run waits for another run on the same state folder to finish.
constexpr std::chrono::seconds kLockPatience{10};

celdor::sim::Notebook& NB() {
    return celdor::sim::Notebook::instance();
}

fs::path DefaultStateDir() {
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && fs::path(xdg).is_absolute()) {
        return fs::path(xdg) / "celdor";
    }
    if (const char* home = std::getenv("HOME"); home && *home) {
        return fs::path(home) / ".local" / "state" / "celdor";
    }
    throw std::runtime_error("no folder to keep the simulated notebook in: neither "
                             "XDG_STATE_HOME nor HOME is set; give one with --state DIR");
}

// Keeping the notebook starts by creating a file beside the kept one. Doing that once before
// the command runs finds a state folder the notebook cannot be kept in while nothing has
// changed yet.
void CheckWritable(const fs::path& kept) {
    fs::path probe = kept;
    probe += ".new";
    bool created = false;
    int error = 0;
    {
        std::ofstream out(probe, std::ios::binary | std::ios::trunc);
        created = static_cast<bool>(out);
        error = errno;
    }
    if (!created) {
        throw std::runtime_error("the state folder " + kept.parent_path().string() +
                                 " cannot be written (" + std::generic_category().message(error) +
                                 "), so nothing was changed; give another with --state DIR");
    }
    std::error_code ec;
    fs::remove(probe, ec);
}

void Load(std::string_view text, const std::string& source) {
    try {
        NB().loadScenario(text);
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(source + ": " + error.what());
    }
}

} // namespace

struct Machine::State {
    std::string scenarioFile; // --scenario
    std::string stateDir;     // --state
    fs::path dir;             // the folder in use, once open
    bool keep = false;        // the run's result is kept
    // Commands that replace the whole notebook, and so need nothing from the kept one.
    CLI::App* resetCommand = nullptr;
    CLI::App* loadCommand = nullptr;
    std::unique_ptr<FolderLock> lock; // held from open() to close()
};

Machine::Machine() : m_state(std::make_unique<State>()) {}
Machine::~Machine() = default;

void Machine::addOptions(CLI::App& app) {
    app.add_option("--scenario", m_state->scenarioFile,
                   "Start from this notebook description (JSON) instead of the kept notebook; "
                   "the result is kept")
        ->type_name("FILE")
        ->check(CLI::ExistingFile);
    app.add_option("--state", m_state->stateDir,
                   "Folder that keeps the simulated notebook between runs "
                   "(default: $XDG_STATE_HOME/celdor or ~/.local/state/celdor)")
        ->type_name("DIR");
}

void Machine::addCommands(Commands& commands) {
    State& state = *m_state;
    CLI::App* clock =
        commands.add("clock", "The simulated notebook's time, and moving it on", Effect::Reads,
                     [](Context& context) {
                         const celdor::sim::Clock now = NB().clock();
                         ClockReport(now.nowEpochSeconds(), now.utcOffsetMinutes, now.tickMs)
                             .print(context.out, context.json);
                         return 0;
                     });
    auto duration = std::make_shared<std::string>();
    commands
        .add(
            "advance", "Move the clock on: batteries charge or run down over the time",
            Effect::Changes,
            [duration](Context& context) {
                const std::uint64_t ms = *ParseDuration(*duration);
                NB().advanceClock(ms);
                const celdor::sim::Clock now = NB().clock();
                Report report =
                    ClockReport(now.nowEpochSeconds(), now.utcOffsetMinutes, now.tickMs);
                report.row("advanced_ms", "Advanced by", ms, *duration);
                report.print(context.out, context.json);
                return 0;
            },
            clock)
        ->add_option("duration", *duration, "How long, such as 30m, 2h or 1h30m")
        ->required()
        ->check(DurationValidator());

    auto source = std::make_shared<std::string>();
    commands
        .add("power", "Plug the notebook's adapter in (ac) or pull it out (battery)",
             Effect::Changes,
             [source](Context& context) {
                 const bool ac = Lower(*source) == "ac";
                 NB().advanceClock(0); // the batteries up to now, on the power they had
                 {
                     std::lock_guard lock(NB().mutex());
                     NB().powerStatus().ACLineStatus = ac ? 1 : 0;
                     // The driver reports an adapter while one is plugged in.
                     NB().fervo().firmware().setAdapterState(ac ? 2 : 0);
                 }
                 Report report;
                 report.row("power_source", "Power source", ac ? "ac" : "battery",
                            ac ? "AC power (adapter plugged in)" : "battery (adapter pulled out)");
                 report.print(context.out, context.json);
                 return 0;
             })
        ->add_option("source", *source, "ac or battery")
        ->required()
        ->transform(OneOf({"ac", "battery"}, "power source"));

    state.resetCommand = commands.add(
        "reset", "Start again from the default notebook, with an empty drive", Effect::Changes,
        [&state](Context& context) {
            Load(DefaultScenario(), "built-in default notebook");
            NB().clearFiles();
            Report report;
            report
                .row("notebook", "Notebook", "default", "the default notebook, with an empty drive")
                .row("state_dir", "Kept in", fs::absolute(state.dir).string(),
                     fs::absolute(state.dir).string());
            report.print(context.out, context.json);
            return 0;
        });

    CLI::App* scenario =
        commands.family("scenario", "Show, save or load the whole simulated notebook");
    commands.add(
        "show", "Print the notebook as a scenario (JSON)", Effect::Reads,
        [](Context& context) {
            context.out << NB().saveScenario();
            return 0;
        },
        scenario);

    auto saveFile = std::make_shared<std::string>();
    CLI::App* save = commands.add(
        "save", "Write the notebook to a scenario file", Effect::Reads,
        [saveFile](Context& context) {
            WriteTextFile(*saveFile, NB().saveScenario());
            Report report;
            report.row("saved_to", "Saved to", *saveFile, *saveFile);
            report.print(context.out, context.json);
            return 0;
        },
        scenario);
    save->add_option("file", *saveFile, "Scenario file to write")->required();

    auto loadFile = std::make_shared<std::string>();
    state.loadCommand = commands.add(
        "load", "Replace the notebook with the one a scenario file describes", Effect::Changes,
        [loadFile](Context& context) {
            Load(ReadTextFile(*loadFile), *loadFile);
            Report report;
            report.row("loaded_from", "Loaded from", *loadFile, *loadFile);
            report.print(context.out, context.json);
            return 0;
        },
        scenario);
    state.loadCommand->add_option("file", *loadFile, "Scenario file to read")
        ->required()
        ->check(CLI::ExistingFile);
}

void Machine::open(Effect effect) {
    State& state = *m_state;
    state.dir = state.stateDir.empty() ? DefaultStateDir() : fs::path(state.stateDir);
    std::error_code ec;
    fs::create_directories(state.dir, ec);
    if (ec) {
        throw std::runtime_error("cannot create the state folder " + state.dir.string() + ": " +
                                 ec.message());
    }
    const fs::path kept = state.dir / "notebook.json";
    // Kept: what a command changed, a notebook --scenario gives, and the first notebook of a
    // new folder (which also gets its drive). A command that only reads leaves the folder alone.
    state.keep = effect == Effect::Changes || !state.scenarioFile.empty() || !fs::exists(kept);
    // Runs on one folder take turns, so that each change is made to the notebook the run before
    // kept. A folder that cannot take the lock cannot take the notebook either.
    state.lock = std::make_unique<FolderLock>(
        state.dir, state.keep ? FolderLock::Use::Write : FolderLock::Use::Read, kLockPatience);
    if (state.keep) {
        CheckWritable(kept);
    }
    NB().setRoot(state.dir / "drive");

    const bool replacing = (state.resetCommand && state.resetCommand->parsed()) ||
                           (state.loadCommand && state.loadCommand->parsed());
    if (!state.scenarioFile.empty()) {
        Load(ReadTextFile(state.scenarioFile), state.scenarioFile);
    } else if (fs::exists(kept) && !replacing) {
        try {
            Load(ReadTextFile(kept), "kept notebook " + kept.string());
        } catch (const std::runtime_error& error) {
            throw std::runtime_error(std::string(error.what()) +
                                     "\n(run 'celdorctl reset' to start again from the default "
                                     "notebook)");
        }
    } else {
        Load(DefaultScenario(), "built-in default notebook");
        if (!fs::exists(kept)) {
            NB().clearFiles(); // a new notebook: a fresh drive with the usual folders
        }
    }
}

void Machine::close(bool succeeded) {
    // A failed run keeps nothing: the notebook stays as the last successful run left it.
    if (m_state->keep && succeeded) {
        WriteTextFile(m_state->dir / "notebook.json", NB().saveScenario());
    }
    m_state->lock.reset();
}

} // namespace celdorctl
