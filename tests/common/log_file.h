// Helpers for tests that look at the diagnostic log: where the file is, how to let levels
// through, and reading it back as lines.
#pragma once

#include <celdor_platform/notebook.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace logfile {

inline constexpr char16_t kLevelKey[] =
    u"Software\\WOW6432Node\\Harlune\\PelmarkService\\FileLogger";

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

// The log writes only into folders that exist: make them.
inline void CreateFolder() {
    std::filesystem::create_directories(HostPath().parent_path());
}

inline void SetWriteLevel(DWORD mask) {
    Nb().registry().setValue(celdor::sim::Hive::LocalMachine, kLevelKey, u"WriteLevel",
                             celdor::sim::RegValue::Dword(mask));
}

inline void SetWriteLevel(celdor::sim::RegValue value) {
    Nb().registry().setValue(celdor::sim::Hive::LocalMachine, kLevelKey, u"WriteLevel",
                             std::move(value));
}

inline void ClearWriteLevel() {
    Nb().registry().deleteValue(celdor::sim::Hive::LocalMachine, kLevelKey, u"WriteLevel");
}

inline bool Exists() {
    std::error_code ec;
    return std::filesystem::exists(HostPath(), ec);
}

inline std::uintmax_t Size() {
    std::error_code ec;
    auto size = std::filesystem::file_size(HostPath(), ec);
    return ec ? 0 : size;
}

inline void Remove() {
    std::error_code ec;
    std::filesystem::remove(HostPath(), ec);
}

inline std::vector<std::uint8_t> Bytes() {
    std::ifstream in(HostPath(), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The file as UTF-16LE text.
inline std::u16string Text() {
    std::vector<std::uint8_t> bytes = Bytes();
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return text;
}

// The lines of the file in UTF-8, each without its CR LF. Text after the last CR LF, if any,
// comes back as a final line so that a test can see it.
inline std::vector<std::string> Lines() {
    std::u16string text = Text();
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

} // namespace logfile
