// The diagnostic log as any program on the machine sees it: a file under the local
// application-data folder and a level mask in the machine's part of the registry. Tests arrange
// both through Win32 calls, put back what they changed, and read the file back as lines.
#pragma once

#include "portable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

namespace portable {

class DiagnosticLog {
public:
    static constexpr const WCHAR* kLevelKey =
        CELDOR_W("Software\\WOW6432Node\\Harlune\\PelmarkService\\FileLogger");

    // Makes every missing level of the log's folder, removes the file and clears the level
    // mask. False when the mask cannot be written here (on Windows only an elevated program
    // may).
    bool Arrange() {
        WString folder = LocalAppData();
        if (folder.empty()) {
            return false;
        }
        for (const WCHAR* level : {CELDOR_W("\\Harlune"), CELDOR_W("\\Pelmark"), CELDOR_W("\\Logs"),
                                   CELDOR_W("\\OstraNotebookAddin")}) {
            folder += level;
            m_folders.push_back(folder);
        }
        m_file = folder + CELDOR_W("\\FervoManager.log");
        CreateFolders();
        RemoveFile();
        return ArrangeLevelKey();
    }

    // Puts the mask back, removes the file and the folders and keys that Arrange made.
    void Restore() {
        if (m_levelKey != nullptr) {
            if (m_oldLevel.empty()) {
                ClearLevel();
            } else {
                SetLevelValue(m_oldType, m_oldLevel.data(), DWORD(m_oldLevel.size()));
            }
            RegCloseKey(m_levelKey);
            m_levelKey = nullptr;
        }
        for (auto it = m_createdKeys.rbegin(); it != m_createdKeys.rend(); ++it) {
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, it->c_str());
        }
        m_createdKeys.clear();
        RemoveFolders();
    }

    void SetLevel(DWORD mask) const { SetLevelValue(REG_DWORD, &mask, sizeof(mask)); }
    void SetLevelValue(DWORD type, const void* data, DWORD size) const {
        SetValue(m_levelKey, kLevelValue, type, data, size);
    }
    void ClearLevel() const { RegDeleteValueW(m_levelKey, kLevelValue); }

    const WString& File() const { return m_file; }
    bool FileExists() const { return PathExists(m_file); }
    void RemoveFile() const { DeleteFileW(m_file.c_str()); }
    std::string Bytes() const { return ReadFileBytes(m_file); }

    // Removes the file and the folder levels made here; returns the outermost folder removed,
    // or nothing when the log's own folder was there before and so is not the test's to remove.
    WString RemoveFolders() {
        RemoveFile();
        WString outermost;
        while (!m_created.empty() && RemoveDirectoryW(m_created.back().c_str())) {
            outermost = m_created.back();
            m_created.pop_back();
        }
        return m_created.empty() ? outermost : WString();
    }

    void CreateFolders() {
        for (const WString& folder : m_folders) {
            if (CreateDirectoryW(folder.c_str(), nullptr)) {
                m_created.push_back(folder);
            }
        }
    }

    // A line is "[yyyy-mm-dd,hh:mm:ss number] header+message".
    struct Line {
        long number = -1; // -1: the line is not of that form
        std::string text; // header and message; the whole line when not of that form
    };

    // The file's lines without their CR LF; text after the last CR LF comes back as a last
    // line, so that a line left open shows.
    std::vector<Line> Lines() const {
        static const std::regex form(R"(^\[\d{4}-\d{2}-\d{2},\d{2}:\d{2}:\d{2} (\d+)\] (.*)$)");
        const std::string text = Utf16LeToAscii(Bytes());
        std::vector<Line> lines;
        for (std::size_t start = 0, cut = 0; start < text.size(); start = cut + 2) {
            cut = std::min(text.find("\r\n", start), text.size());
            const std::string line = text.substr(start, cut - start);
            std::smatch match;
            lines.push_back(std::regex_match(line, match, form)
                                ? Line{std::stol(match[1].str()), match[2].str()}
                                : Line{-1, line});
        }
        return lines;
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const Line& line : Lines()) {
            texts.push_back(line.text);
        }
        return texts;
    }
    std::vector<long> Numbers() const {
        std::vector<long> numbers;
        for (const Line& line : Lines()) {
            numbers.push_back(line.number);
        }
        return numbers;
    }

private:
    static constexpr const WCHAR* kLevelValue = CELDOR_W("WriteLevel");

    // Opens the mask's key, noting the levels it makes, and keeps the mask found there.
    bool ArrangeLevelKey() {
        const WString path = kLevelKey;
        for (std::size_t cut = 0; cut != WString::npos;) {
            cut = path.find(CELDOR_W('\\'), cut + 1);
            if (!KeyExists(HKEY_LOCAL_MACHINE, path.substr(0, cut).c_str())) {
                m_createdKeys.push_back(path.substr(0, cut));
            }
        }
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kLevelKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                            nullptr, &m_levelKey, nullptr) != ERROR_SUCCESS) {
            m_levelKey = nullptr;
            m_createdKeys.clear();
            return false;
        }
        m_oldLevel.assign(64, 0);
        DWORD size = DWORD(m_oldLevel.size());
        const bool had = RegQueryValueExW(m_levelKey, kLevelValue, nullptr, &m_oldType,
                                          m_oldLevel.data(), &size) == ERROR_SUCCESS;
        m_oldLevel.resize(had ? size : 0);
        ClearLevel();
        return true;
    }

    std::vector<WString> m_folders; // the log's folder, outermost level first
    std::vector<WString> m_created; // the levels made here, in the order they were made
    WString m_file;
    HKEY m_levelKey = nullptr;
    std::vector<WString> m_createdKeys;
    DWORD m_oldType = REG_NONE;
    std::vector<BYTE> m_oldLevel; // empty: there was no mask
};

// A test that reads the log: arranged before the test, put back after it, skipped where the
// mask cannot be written.
class LogReadingTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_log.Arrange()) {
            GTEST_SKIP() << "the log's level mask cannot be set here";
        }
    }
    void TearDown() override { m_log.Restore(); }

    DiagnosticLog m_log;
};

} // namespace portable
