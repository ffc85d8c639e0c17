// The INI helpers through the public interface, with files, folders and the log's level mask
// arranged and inspected through Win32 calls alone.
#include <celdor/celdor.h>

#if defined(_WIN32)
#include <knownfolders.h>
#include <shlobj.h>
#include <shlwapi.h>
#endif

#include <gtest/gtest.h>

#include "wine.h"

#include <string>
#include <vector>

#define T(text) CELDOR_W(text)

namespace {

using WString = std::basic_string<WCHAR>;

const WCHAR* const kLevelKey = T("Software\\WOW6432Node\\Harlune\\PelmarkService\\FileLogger");
const WCHAR* const kLogFolders[] = {T("\\Harlune"), T("\\Pelmark"), T("\\Logs"),
                                    T("\\OstraNotebookAddin")};

WString LocalAppData() {
    PWSTR folder = nullptr;
    WString path;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder))) {
        path = folder;
    }
    CoTaskMemFree(folder);
    return path;
}

std::string ReadAll(const WString& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string bytes;
    if (file == INVALID_HANDLE_VALUE) {
        return bytes;
    }
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
        bytes.append(chunk, got);
    }
    CloseHandle(file);
    return bytes;
}

std::string Utf16Le(const WString& text) {
    std::string bytes;
    for (WCHAR c : text) {
        bytes.push_back(char(c & 0xFF));
        bytes.push_back(char(c >> 8));
    }
    return bytes;
}

// Arranges a folder for the INI files and the log's folder and level mask, and puts back
// everything it changed.
class LibIni : public ::testing::Test {
protected:
    void SetUp() override {
        const WString appData = LocalAppData();
        ASSERT_FALSE(appData.empty());
        m_base = appData + T("\\CeldorPortableTests");
        m_dir = m_base + T("\\Ini");
        m_file = m_dir + T("\\power.ini");
        CreateDirectoryW(m_base.c_str(), nullptr);
        Clean();

        WString folder = appData;
        for (const WCHAR* level : kLogFolders) {
            folder += level;
            if (CreateDirectoryW(folder.c_str(), nullptr)) {
                m_createdFolders.push_back(folder);
            }
        }
        m_log = folder + T("\\FervoManager.log");
        m_logStart = ReadAll(m_log).size();
        m_logExisted = GetFileAttributesW(m_log.c_str()) != INVALID_FILE_ATTRIBUTES;

        DWORD disposition = 0;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kLevelKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                            nullptr, &m_levelKey, &disposition) != ERROR_SUCCESS) {
            m_levelKey = nullptr;
            GTEST_SKIP() << "the log's level mask cannot be set here";
        }
        m_createdKey = disposition == REG_CREATED_NEW_KEY;
        DWORD size = sizeof(m_oldLevel);
        m_hadLevel = RegQueryValueExW(m_levelKey, T("WriteLevel"), nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(&m_oldLevel), &size) == ERROR_SUCCESS;
        SetLevel(0x100);
    }

    void TearDown() override {
        Clean();
        RemoveDirectoryW(m_base.c_str());
        if (m_levelKey) {
            if (m_hadLevel) {
                SetLevel(m_oldLevel);
            } else {
                RegDeleteValueW(m_levelKey, T("WriteLevel"));
            }
            RegCloseKey(m_levelKey);
            if (m_createdKey) {
                RegDeleteKeyW(HKEY_LOCAL_MACHINE, kLevelKey);
            }
        }
        if (!m_logExisted) {
            DeleteFileW(m_log.c_str());
        }
        for (auto it = m_createdFolders.rbegin(); it != m_createdFolders.rend(); ++it) {
            RemoveDirectoryW(it->c_str());
        }
    }

    void Clean() {
        DeleteFileW(m_file.c_str());
        RemoveDirectoryW(m_dir.c_str());
    }

    void SetLevel(DWORD mask) {
        RegSetValueExW(m_levelKey, T("WriteLevel"), 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&mask), sizeof(mask));
    }

    // What the log gained since the test began, as UTF-16LE bytes.
    std::string NewLog() const { return ReadAll(m_log).substr(m_logStart); }

    static bool Has(const std::string& log, const WCHAR* text) {
        return log.find(Utf16Le(text)) != std::string::npos;
    }

    WString m_base, m_dir, m_file, m_log;
    std::vector<WString> m_createdFolders;
    std::size_t m_logStart = 0;
    bool m_logExisted = false;
    HKEY m_levelKey = nullptr;
    bool m_createdKey = false;
    bool m_hadLevel = false;
    DWORD m_oldLevel = 0;
};

TEST_F(LibIni, NewFileAndFolderAreCreatedAndReadBack) {
    ASSERT_EQ(SetDWForIni(m_file.c_str(), T("Power"), T("Mode"), 4294967295u), 1);
    EXPECT_TRUE(PathIsDirectoryW(m_dir.c_str()));
    EXPECT_EQ(ReadAll(m_file), "[Power]\r\nMode=-1\r\n");
    DWORD value = 0;
    EXPECT_EQ(GetDWForIni(m_file.c_str(), T("power"), T("MODE"), &value), 1);
    EXPECT_EQ(value, 4294967295u);

    ASSERT_EQ(SetDWForIni(m_file.c_str(), T("Power"), T("Mode"), 7), 1);
    EXPECT_EQ(ReadAll(m_file), "[Power]\r\nMode=7\r\n");
    EXPECT_EQ(GetDWForIni(m_file.c_str(), T("Power"), T("Mode"), &value), 1);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(NewLog(), "");
}

TEST_F(LibIni, FailuresAreLoggedWithTheirSite) {
    DWORD value = 0xDEADBEEF;
    ASSERT_TRUE(CreateDirectoryW(m_dir.c_str(), nullptr));
    EXPECT_EQ(GetDWForIni(m_file.c_str(), T("Power"), T("Mode"), &value), 0);
    ASSERT_TRUE(WritePrivateProfileStringW(T("Power"), T("Other"), T("1"), m_file.c_str()));
    EXPECT_EQ(GetDWForIni(m_file.c_str(), T("Power"), T("Mode"), &value), 0);
    EXPECT_EQ(value, 0xDEADBEEFu);
    EXPECT_EQ(
        SetDWForIni((m_dir + T("\\NoSuch\\Ini\\power.ini")).c_str(), T("Power"), T("Mode"), 1), 0);

    const std::string log = NewLog();
    EXPECT_TRUE(Has(log, T("ERROR --------------------libini :line 68, Error 2\r\n")));
    // A key missing from the file: Windows reports ERROR_FILE_NOT_FOUND, Wine leaves 0.
    EXPECT_TRUE(Has(log, RunningOnWine()
                             ? T("ERROR --------------------libini :line 74, Error 0\r\n")
                             : T("ERROR --------------------libini :line 74, Error 2\r\n")));
    EXPECT_TRUE(Has(log, T("ERROR --------------------libini :line 100, Error 3\r\n")));
}

} // namespace
