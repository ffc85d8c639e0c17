// Helpers for contract tests that look at the diagnostic log: where the file is, how to let
// levels through, and reading it back as lines.
#pragma once

#include "sim_test.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace logfile {

inline celdor::sim::Notebook& Nb() {
    return celdor::sim::Notebook::instance();
}

// The log's Windows path, found the way any program on the machine would find it.
inline std::u16string WindowsPath() {
    PWSTR folder = nullptr;
    std::u16string path;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder))) {
        path = folder;
    }
    CoTaskMemFree(folder);
    return path + u"\\Harlune\\Pelmark\\Logs\\OstraNotebookAddin\\FervoManager.log";
}

inline std::filesystem::path HostPath() {
    return Nb().hostPath(WindowsPath());
}

inline void SetWriteLevel(DWORD mask) {
    Nb().registry().setValue(celdor::sim::Hive::LocalMachine,
                             u"Software\\WOW6432Node\\Harlune\\PelmarkService\\FileLogger",
                             u"WriteLevel", celdor::sim::RegValue::Dword(mask));
}

inline bool Exists() {
    return std::filesystem::exists(HostPath());
}

// The file as UTF-16LE text.
inline std::u16string Text() {
    std::ifstream in(HostPath(), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(char16_t(std::uint8_t(bytes[i]) | std::uint8_t(bytes[i + 1]) << 8));
    }
    return text;
}

// The lines of the file in UTF-8, each without its CR LF. Text after the last CR LF, if any,
// comes back as a final line so that a test can see it.
inline std::vector<std::string> Lines() {
    const std::u16string text = Text();
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t cut; (cut = text.find(u"\r\n", start)) != std::u16string::npos;
         start = cut + 2) {
        lines.push_back(celdor::sim::Utf16ToUtf8(text.substr(start, cut - start)));
    }
    if (start < text.size()) {
        lines.push_back(celdor::sim::Utf16ToUtf8(text.substr(start)));
    }
    return lines;
}

struct Line {
    std::string stamp; // empty when the line carries no time
    long number = -1;
    std::string rest; // header and message
};

// "[stamp number] rest" or "[number] rest".
inline std::optional<Line> Parse(const std::string& line) {
    static const std::regex pattern(
        R"(^\[(?:(\d{4}-\d{2}-\d{2},\d{2}:\d{2}:\d{2}) )?(\d+)\] ([\s\S]*)$)");
    std::smatch match;
    if (!std::regex_match(line, match, pattern)) {
        return std::nullopt;
    }
    return Line{match[1].str(), std::stol(match[2].str()), match[3].str()};
}

// Header and message of every line; a line of another form comes back whole.
inline std::vector<std::string> Messages() {
    std::vector<std::string> rests;
    for (const std::string& line : Lines()) {
        const auto parsed = Parse(line);
        rests.push_back(parsed ? parsed->rest : line);
    }
    return rests;
}

} // namespace logfile

// A contract test with the log's folder in place (the log writes only into folders that
// exist) and, until the test sets one, no level mask.
class LoggingTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        std::filesystem::create_directories(logfile::HostPath().parent_path());
    }
};
