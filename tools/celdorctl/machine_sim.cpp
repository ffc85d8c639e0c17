// The simulated notebook as celdorctl's machine. Each run starts from the kept notebook (or the
// built-in default, or --scenario FILE), runs one command on it and, when the command changed
// it, keeps the result, so that a change made by one command is seen by the next. The
// notebook's C: drive lives beside it.
//
//   <state>/notebook.json   the notebook, in the scenario format
//   <state>/drive/C/...     its files (the diagnostic log, INI files)
#include "machine.h"

#include "default_scenario.h"
#include "output.h"

#include <celdor_platform/notebook.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace celdorctl {

namespace {

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

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return std::string(std::istreambuf_iterator<char>(in), {});
}

fs::path TemporaryOf(const fs::path& path) {
    fs::path temporary = path;
    temporary += ".new";
    return temporary;
}

// Written beside the target and renamed over it, so that an interrupted run never leaves half
// a file behind.
void WriteFile(const fs::path& path, const std::string& text) {
    const fs::path temporary = TemporaryOf(path);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            throw std::runtime_error("cannot write " + temporary.string());
        }
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) {
        fs::remove(temporary, ec);
        throw std::runtime_error("cannot write " + path.string() + ": " + ec.message());
    }
}

// Keeping the notebook starts by creating a file beside the kept one. Doing that once before
// the command runs finds a state folder the notebook cannot be kept in while nothing has
// changed yet.
void CheckWritable(const fs::path& kept) {
    const fs::path probe = TemporaryOf(kept);
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

// "30m", "2h", "1h30m", "45s", "500ms", "1d": parts of a whole number and a unit.
std::uint64_t ParseDuration(const std::string& text) {
    static const std::pair<const char*, std::uint64_t> kUnits[] = {
        {"ms", 1}, {"s", 1000}, {"m", 60'000}, {"h", 3'600'000}, {"d", 86'400'000}};
    std::uint64_t total = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t digits = at;
        while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) {
            ++digits;
        }
        std::size_t letters = digits;
        while (letters < text.size() && std::isalpha(static_cast<unsigned char>(text[letters]))) {
            ++letters;
        }
        const std::string unit = text.substr(digits, letters - digits);
        auto known = std::find_if(std::begin(kUnits), std::end(kUnits),
                                  [&](const auto& u) { return unit == u.first; });
        if (digits == at || digits - at > 9 || known == std::end(kUnits)) {
            throw CommandError("'" + text +
                               "' is not a duration: give a number with a unit "
                               "(ms, s, m, h, d), such as 30m, 2h or 1h30m");
        }
        total += std::stoull(text.substr(at, digits - at)) * known->second;
        at = letters;
    }
    if (text.empty()) {
        throw CommandError("a duration is needed, such as 30m or 2h");
    }
    return total;
}

void Machine::addCommands(Commands& commands) {
    State& state = *m_state;
    CLI::App* clock = commands.family("clock", "The simulated notebook's clock");
    auto duration = std::make_shared<std::string>();
    commands
        .add(
            "advance", "Move the clock on: batteries charge or run down over the time",
            Effect::Changes,
            [duration](Context& context) {
                const std::uint64_t ms = ParseDuration(*duration);
                NB().advanceClock(ms);
                const std::uint64_t tick = NB().clock().tickMs;
                Report report;
                report.row("advanced_ms", "Advanced by", ms, *duration)
                    .row("tick_ms", "Time since boot", tick,
                         std::to_string(tick / 3'600'000) + " h " +
                             std::to_string(tick / 60'000 % 60) + " min");
                report.print(context.out, context.json);
                return 0;
            },
            clock)
        ->add_option("duration", *duration, "How long, such as 30m, 2h or 1h30m")
        ->required();
    state.resetCommand = commands.add(
        "reset", "Start again from the default notebook, with an empty drive", Effect::Changes,
        [&state](Context& context) {
            Load(DefaultScenario(), "built-in default notebook");
            NB().clearFiles();
            Report report;
            report
                .row("notebook", "Notebook", "default", "the default notebook, with an empty drive")
                .row("state", "Kept in", state.dir.string(), state.dir.string());
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
            WriteFile(*saveFile, NB().saveScenario());
            Report report;
            report.row("saved", "Saved to", *saveFile, *saveFile);
            report.print(context.out, context.json);
            return 0;
        },
        scenario);
    save->add_option("file", *saveFile, "Scenario file to write")->required();

    auto loadFile = std::make_shared<std::string>();
    state.loadCommand = commands.add(
        "load", "Replace the notebook with the one a scenario file describes", Effect::Changes,
        [loadFile](Context& context) {
            Load(ReadFile(*loadFile), *loadFile);
            Report report;
            report.row("loaded", "Loaded from", *loadFile, *loadFile);
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
    if (state.keep) {
        CheckWritable(kept);
    }
    NB().setRoot(state.dir / "drive");

    const bool replacing = (state.resetCommand && state.resetCommand->parsed()) ||
                           (state.loadCommand && state.loadCommand->parsed());
    if (!state.scenarioFile.empty()) {
        Load(ReadFile(state.scenarioFile), state.scenarioFile);
    } else if (fs::exists(kept) && !replacing) {
        try {
            Load(ReadFile(kept), "kept notebook " + kept.string());
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

void Machine::close() {
    if (m_state->keep) {
        WriteFile(m_state->dir / "notebook.json", NB().saveScenario());
    }
}

} // namespace celdorctl
