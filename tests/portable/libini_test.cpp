// The INI helpers through the public interface, with files, folders and the log's level mask
// arranged and inspected through Win32 calls alone.
#include <gtest/gtest.h>

#include "diagnostic_log.h"

#include <string>

namespace {

using portable::ReadFileBytes;
using portable::WString;

// Arranges a folder for the INI files and the log's folder and level mask, and puts back
// everything it changed.
class LibIni : public ::testing::Test {
protected:
    void SetUp() override {
        const WString appData = portable::LocalAppData();
        ASSERT_FALSE(appData.empty());
        m_base = appData + WTEXT("\\CeldorPortableTests");
        m_dir = m_base + WTEXT("\\Ini");
        m_file = m_dir + WTEXT("\\power.ini");
        CreateDirectoryW(m_base.c_str(), nullptr);
        Clean();
        if (!m_log.Arrange()) {
            GTEST_SKIP() << "the log's level mask cannot be set here";
        }
        m_log.SetLevel(0x100);
    }

    void TearDown() override {
        Clean();
        RemoveDirectoryW(m_base.c_str());
        m_log.Restore();
    }

    void Clean() {
        DeleteFileW(m_file.c_str());
        RemoveDirectoryW(m_dir.c_str());
    }

    // What the log holds, as text.
    std::string NewLog() const { return portable::Utf16LeToAscii(m_log.Bytes()); }

    static bool Has(const std::string& log, const char* text) {
        return log.find(text) != std::string::npos;
    }

    WString m_base, m_dir, m_file;
    portable::DiagnosticLog m_log;
};

TEST_F(LibIni, NewFileAndFolderAreCreatedAndReadBack) {
    ASSERT_EQ(SetDWForIni(m_file.c_str(), WTEXT("Power"), WTEXT("Mode"), 4294967295u), 1);
    EXPECT_TRUE(PathIsDirectoryW(m_dir.c_str()));
    EXPECT_EQ(ReadFileBytes(m_file), "[Power]\r\nMode=-1\r\n");
    DWORD value = 0;
    EXPECT_EQ(GetDWForIni(m_file.c_str(), WTEXT("power"), WTEXT("MODE"), &value), 1);
    EXPECT_EQ(value, 4294967295u);

    ASSERT_EQ(SetDWForIni(m_file.c_str(), WTEXT("Power"), WTEXT("Mode"), 7), 1);
    EXPECT_EQ(ReadFileBytes(m_file), "[Power]\r\nMode=7\r\n");
    EXPECT_EQ(GetDWForIni(m_file.c_str(), WTEXT("Power"), WTEXT("Mode"), &value), 1);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(NewLog(), "");
}

TEST_F(LibIni, FailuresAreLoggedWithTheirSite) {
    DWORD value = 0xDEADBEEF;
    ASSERT_TRUE(CreateDirectoryW(m_dir.c_str(), nullptr));
    EXPECT_EQ(GetDWForIni(m_file.c_str(), WTEXT("Power"), WTEXT("Mode"), &value), 0);
    ASSERT_TRUE(
        WritePrivateProfileStringW(WTEXT("Power"), WTEXT("Other"), WTEXT("1"), m_file.c_str()));
    EXPECT_EQ(GetDWForIni(m_file.c_str(), WTEXT("Power"), WTEXT("Mode"), &value), 0);
    EXPECT_EQ(value, 0xDEADBEEFu);
    EXPECT_EQ(SetDWForIni((m_dir + WTEXT("\\NoSuch\\Ini\\power.ini")).c_str(), WTEXT("Power"),
                          WTEXT("Mode"), 1),
              0);

    const std::string log = NewLog();
    EXPECT_TRUE(Has(log, "ERROR --------------------libini :line 68, Error 2\r\n"));
    // A key missing from the file: Windows reports ERROR_FILE_NOT_FOUND, Wine leaves 0.
    EXPECT_TRUE(Has(log, portable::RunningOnWine()
                             ? "ERROR --------------------libini :line 74, Error 0\r\n"
                             : "ERROR --------------------libini :line 74, Error 2\r\n"));
    EXPECT_TRUE(Has(log, "ERROR --------------------libini :line 100, Error 3\r\n"));
}

} // namespace
