// The diagnostic log as any program on the machine sees it: a file under the local
// application-data folder and a level mask in the machine's part of the registry. Tests arrange
// both through Win32 calls, put back what they changed, and read the file back as lines.
#pragma once

#include "portable.h"

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
        const WString appData = LocalAppData();
        if (appData.empty()) {
            return false;
        }
        m_folders.clear();
        WString folder = appData;
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

    // Puts the mask back, removes the file and the folders that Arrange made.
    void Restore() {
        if (m_levelKey != nullptr) {
            if (m_hadLevel) {
                RegSetValueExW(m_levelKey, kLevelValue, 0, m_oldType, m_oldLevel.data(),
                               static_cast<DWORD>(m_oldLevel.size()));
            } else {
                RegDeleteValueW(m_levelKey, kLevelValue);
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
        RegSetValueExW(m_levelKey, kLevelValue, 0, type, static_cast<const BYTE*>(data), size);
    }
    void ClearLevel() const { RegDeleteValueW(m_levelKey, kLevelValue); }

    const WString& File() const { return m_file; }
    bool FileExists() const { return PathExists(m_file); }
    void RemoveFile() const { DeleteFileW(m_file.c_str()); }

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

    std::string Bytes() const { return ReadFileBytes(m_file); }

    // The file's lines without their CR LF; text after the last CR LF comes back as a last
    // line, so that a line left open shows.
    std::vector<std::string> Lines() const {
        const std::string text = Utf16LeToAscii(Bytes());
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t cut; (cut = text.find("\r\n", start)) != std::string::npos;
             start = cut + 2) {
            lines.push_back(text.substr(start, cut - start));
        }
        if (start < text.size()) {
            lines.push_back(text.substr(start));
        }
        return lines;
    }

private:
    static constexpr const WCHAR* kLevelValue = CELDOR_W("WriteLevel");

    // Opens the mask's key, making the levels that are missing, and keeps the mask found there.
    bool ArrangeLevelKey() {
        const WString path = kLevelKey;
        for (std::size_t cut = path.find(CELDOR_W('\\')); cut != WString::npos;
             cut = path.find(CELDOR_W('\\'), cut + 1)) {
            NoteMissingKey(path.substr(0, cut));
        }
        NoteMissingKey(path);
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kLevelKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                            nullptr, &m_levelKey, nullptr) != ERROR_SUCCESS) {
            m_levelKey = nullptr;
            m_createdKeys.clear();
            return false;
        }
        m_oldLevel.assign(64, 0);
        DWORD size = static_cast<DWORD>(m_oldLevel.size());
        m_hadLevel = RegQueryValueExW(m_levelKey, kLevelValue, nullptr, &m_oldType,
                                      m_oldLevel.data(), &size) == ERROR_SUCCESS;
        m_oldLevel.resize(m_hadLevel ? size : 0);
        ClearLevel();
        return true;
    }

    void NoteMissingKey(const WString& path) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
            RegCloseKey(key);
        } else {
            m_createdKeys.push_back(path);
        }
    }

    std::vector<WString> m_folders; // the log's folder, outermost level first
    std::vector<WString> m_created; // the levels made here, in the order they were made
    WString m_file;
    HKEY m_levelKey = nullptr;
    std::vector<WString> m_createdKeys;
    bool m_hadLevel = false;
    DWORD m_oldType = REG_NONE;
    std::vector<BYTE> m_oldLevel;
};

} // namespace portable
