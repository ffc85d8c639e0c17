// Helpers for contract tests that look at the diagnostic log: where the file is, how to let
// levels through, and reading it back as lines.
#pragma once

#include "log_lines.h"
#include "sim_test.h"

#include "support/logger.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace logfile {

inline celdor::sim::Notebook& Nb() {
    return celdor::sim::Notebook::instance();
}

// Where the library writes the log (the portable tests show that it is where any program on
// the machine would look).
inline std::filesystem::path HostPath() {
    return Nb().hostPath(Celdor::CFileLogger::LogFilePath().View());
}

inline void SetWriteLevel(DWORD mask) {
    Nb().registry().setValue(celdor::sim::Hive::LocalMachine,
                             u"Software\\WOW6432Node\\Harlune\\PelmarkService\\FileLogger",
                             u"WriteLevel", celdor::sim::RegValue::Dword(mask));
}

inline bool Exists() {
    return std::filesystem::exists(HostPath());
}

inline std::string Bytes() {
    std::ifstream in(HostPath(), std::ios::binary);
    return std::string{std::istreambuf_iterator<char>(in), {}};
}

// The file as UTF-16LE text.
inline std::u16string Text() {
    const std::string bytes = Bytes();
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(char16_t(std::uint8_t(bytes[i]) | std::uint8_t(bytes[i + 1]) << 8));
    }
    return text;
}

inline std::vector<logtext::Line> Lines() {
    return logtext::Lines(Bytes());
}

// Header and message of every line.
inline std::vector<std::string> Messages() {
    return logtext::Texts(Lines());
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
