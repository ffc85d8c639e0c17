// What the fuzz harnesses share: the notebooks of scenarios/ read once, a fresh notebook per
// input, and the check that an input left nothing open.
#pragma once

#include "support/logger.h"

#include <celdor_platform/notebook.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace fuzz {

inline celdor::sim::Notebook& Nb() {
    return celdor::sim::Notebook::instance();
}

// Every scenario file's text, default.json first.
inline const std::vector<std::string>& Scenarios() {
    static const std::vector<std::string> texts = [] {
        namespace fs = std::filesystem;
        std::vector<std::string> found;
        const fs::path folder = fs::path(CELDOR_SOURCE_DIR) / "scenarios";
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().extension() == ".json") {
                std::ifstream in(entry.path(), std::ios::binary);
                std::string text{std::istreambuf_iterator<char>(in), {}};
                if (entry.path().filename() == "default.json") {
                    found.insert(found.begin(), std::move(text));
                } else {
                    found.push_back(std::move(text));
                }
            }
        }
        return found;
    }();
    return texts;
}

// The log's level mask by a number from the input: 0 admits errors, 1 warnings too, 2 every line.
inline void AdmitLogLines(int level) {
    Nb().registry().setValue(celdor::sim::Hive::LocalMachine,
                             u"Software\\WOW6432Node\\Harlune\\PelmarkService\\FileLogger",
                             u"WriteLevel", celdor::sim::RegValue::Dword(0x100u << level));
}

// A fresh notebook from one of the scenarios, logging every line into a folder that exists.
// Each scenario is loaded once and its notebook restored from a snapshot for every input after
// that. The drive is kept from one input to the next (building it anew costs more than the
// input), all but the log, which starts empty.
inline void Start(std::size_t scenario) {
    struct Loaded {
        celdor::sim::Notebook::Snapshot notebook;
        std::filesystem::path log;
    };
    static std::vector<std::optional<Loaded>> loaded(Scenarios().size());
    auto& start = loaded.at(scenario % loaded.size());
    if (!start) {
        Nb().loadScenario(Scenarios()[scenario % loaded.size()]);
        AdmitLogLines(2);
        start = Loaded{Nb().snapshot(), Nb().hostPath(Celdor::CFileLogger::LogFilePath().View())};
    }
    Nb().restore(start->notebook);
    Nb().journal().setEnabled(false); // nothing reads it, and every call would add to it
    Nb().fervo().recordRequests = false;
    std::error_code ec;
    if (!std::filesystem::remove(start->log, ec)) {
        std::filesystem::create_directories(start->log.parent_path(), ec);
    }
}

// Whatever the input, nothing the library opened may stay open.
inline void CheckNothingOpen() {
    const std::vector<std::string> leaks = Nb().leaks();
    if (!leaks.empty()) {
        std::fprintf(stderr, "left open: %s\n", leaks.front().c_str());
        std::abort();
    }
}

} // namespace fuzz
