// The diagnostic log as any program on the machine sees it: a file under the local
// application-data folder and a level mask in the machine's part of the registry. Tests arrange
// both through Win32 calls, put back what they changed, and read the file back as lines.
#pragma once

#include "log_lines.h"
#include "portable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace portable {

class DiagnosticLog {
public:
    static constexpr const WCHAR* kLevelKey =
        CELDOR_W("Software\\WOW6432Node\\Harlune\\PelmarkService\\FileLogger");

    // Makes every missing level of the log's folder and of the mask's key, and removes the file.
    // False when the mask cannot be written here (on Windows only an elevated program may), or
    // is already set: then it belongs to a host on the machine, not to the tests.
    bool Arrange() {
        WString folder = LocalAppData();
        for (const WCHAR* level : {CELDOR_W("\\Harlune"), CELDOR_W("\\Pelmark"), CELDOR_W("\\Logs"),
                                   CELDOR_W("\\OstraNotebookAddin")}) {
            folder += level;
            m_folders.push_back(folder);
        }
        m_file = folder + CELDOR_W("\\FervoManager.log");
        CreateFolders();
        RemoveFile();

        const WString key = kLevelKey;
        for (std::size_t cut = 0; cut != WString::npos;) {
            cut = key.find(CELDOR_W('\\'), cut + 1);
            if (!KeyExists(HKEY_LOCAL_MACHINE, key.substr(0, cut).c_str())) {
                m_createdKeys.push_back(key.substr(0, cut));
            }
        }
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kLevelKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                            nullptr, &m_levelKey, nullptr) != ERROR_SUCCESS) {
            m_levelKey = nullptr;
            m_createdKeys.clear();
            return false;
        }
        if (RegQueryValueExW(m_levelKey, kLevelValue, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_FILE_NOT_FOUND) {
            RegCloseKey(m_levelKey);
            m_levelKey = nullptr;
            return false;
        }
        return true;
    }

    // Removes the mask, the file, and the folders and keys that Arrange made.
    void Restore() {
        if (m_levelKey != nullptr) {
            ClearLevel();
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

    std::vector<logtext::Line> Lines() const { return logtext::Lines(Bytes()); }
    std::vector<std::string> Messages() const { return logtext::Texts(Lines()); }
    std::vector<long> Numbers() const {
        std::vector<long> numbers;
        for (const logtext::Line& line : Lines()) {
            numbers.push_back(line.number);
        }
        return numbers;
    }

private:
    static constexpr const WCHAR* kLevelValue = CELDOR_W("WriteLevel");

    std::vector<WString> m_folders; // the log's folder, outermost level first
    std::vector<WString> m_created; // the levels made here, in the order they were made
    WString m_file;
    HKEY m_levelKey = nullptr;
    std::vector<WString> m_createdKeys; // the mask's key levels made here, outermost first
};

// A test that reads the log: arranged before the test, put back after it, skipped where the
// mask cannot be written.
class LogReadingTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_log.Arrange()) {
            GTEST_SKIP() << "the log's level mask cannot be set here, or is a host's";
        }
    }
    void TearDown() override { m_log.Restore(); }

    DiagnosticLog m_log;
};

} // namespace portable
