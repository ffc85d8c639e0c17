// The INI helpers through the public interface, with files, folders and the log's level mask
// arranged and inspected through Win32 calls alone.
#include "diagnostic_log.h"

#include <iterator>
#include <string>
#include <vector>

namespace {

using portable::ReadFileBytes;
using portable::WString;

// A folder for the INI files beside the log, removed again with what the tests put in it.
class LibIni : public portable::LogReadingTest {
protected:
    void SetUp() override {
        LogReadingTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        m_base = portable::LocalAppData() + WTEXT("\\CeldorPortableTests");
        m_dir = m_base + WTEXT("\\Ini");
        m_file = m_dir + WTEXT("\\power.ini");
        CreateDirectoryW(m_base.c_str(), nullptr);
        Clean();
        m_log.SetLevel(0x100);
    }

    void TearDown() override {
        Clean();
        RemoveDirectoryW(m_base.c_str());
        LogReadingTest::TearDown();
    }

    void Clean() const {
        DeleteFileW(m_file.c_str());
        RemoveDirectoryW(m_dir.c_str());
    }

    WString m_base, m_dir, m_file;
};

// Every 32-bit value is written as signed decimal text and reads back unchanged; the folder of a
// new file is made, and a value already in the file is replaced in place.
TEST_F(LibIni, ValuesRoundTripAsSignedDecimalText) {
    const struct {
        DWORD value;
        const char* text;
    } cases[] = {{0, "0"},
                 {1, "1"},
                 {2147483647, "2147483647"},
                 {2147483648u, "-2147483648"},
                 {4294967295u, "-1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Clean();
        ASSERT_EQ(SetDWForIni(m_file.c_str(), WTEXT("Power"), WTEXT("Mode"), c.value), 1);
        EXPECT_EQ(ReadFileBytes(m_file), std::string("[Power]\r\nMode=") + c.text + "\r\n");
        DWORD read = 0x5A5A5A5A;
        EXPECT_EQ(GetDWForIni(m_file.c_str(), WTEXT("power"), WTEXT("MODE"), &read), 1);
        EXPECT_EQ(read, c.value);
    }

    ASSERT_TRUE(
        portable::WriteFileBytes(m_file, "[Power]\r\nMode=1\r\nLevel=80\r\n[Other]\r\nMode=9\r\n"));
    ASSERT_EQ(SetDWForIni(m_file.c_str(), WTEXT("power"), WTEXT("MODE"), 2), 1);
    EXPECT_EQ(ReadFileBytes(m_file), "[Power]\r\nMode=2\r\nLevel=80\r\n[Other]\r\nMode=9\r\n");
    EXPECT_FALSE(m_log.FileExists());
}

// A value reads as the decimal number it starts with, after a sign, clamped to 32 bits; the
// system has already stripped surrounding blanks and quotes.
TEST_F(LibIni, TextReadsAsTheNumberItStartsWith) {
    const struct {
        const char* text;
        DWORD value;
    } cases[] = {{"12abc", 12},
                 {"abc", 0},
                 {"0x10", 0},
                 {"- 5", 0},
                 {"  -7 ", DWORD(-7)},
                 {"+5", 5},
                 {"\"42\"", 42},
                 {"000000000000000000042", 42},
                 {"99999999999", 2147483647},
                 {"-99999999999999999999", 0x80000000}};
    std::string file = "[Power]\r\n";
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        file += "K" + std::to_string(i) + "=" + cases[i].text + "\r\n";
    }
    ASSERT_TRUE(CreateDirectoryW(m_dir.c_str(), nullptr));
    ASSERT_TRUE(portable::WriteFileBytes(m_file, file));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].text);
        const WCHAR key[] = {WTEXT('K'), WCHAR(WTEXT('0') + i), 0};
        DWORD value = 0xDEADBEEF;
        EXPECT_EQ(GetDWForIni(m_file.c_str(), WTEXT("Power"), key, &value), 1);
        EXPECT_EQ(value, cases[i].value);
    }
}

// Each failure leaves the variable alone and logs its site with the last error.
TEST_F(LibIni, FailuresAreLoggedWithTheirSite) {
    DWORD value = 0xDEADBEEF;
    ASSERT_TRUE(CreateDirectoryW(m_dir.c_str(), nullptr));
    EXPECT_EQ(GetDWForIni(m_file.c_str(), WTEXT("Power"), WTEXT("Mode"), &value), 0);
    ASSERT_TRUE(portable::WriteFileBytes(m_file, "[Power]\r\nEmpty=\r\nQuoted=\"\"\r\n"));
    for (const WCHAR* key : {WTEXT("Missing"), WTEXT("Empty"), WTEXT("Quoted")}) {
        EXPECT_EQ(GetDWForIni(m_file.c_str(), WTEXT("Power"), key, &value), 0);
    }
    EXPECT_EQ(GetDWForIni(m_file.c_str(), WTEXT("Other"), WTEXT("Empty"), &value), 0);
    EXPECT_EQ(value, 0xDEADBEEFu);
    const WString deep = m_dir + WTEXT("\\NoSuch\\Ini");
    EXPECT_EQ(SetDWForIni((deep + WTEXT("\\power.ini")).c_str(), WTEXT("Power"), WTEXT("Mode"), 1),
              0);
    EXPECT_FALSE(portable::PathExists(deep));

    // A key missing from the file: Windows reports ERROR_FILE_NOT_FOUND, Wine leaves 0.
    const std::string missing = portable::RunningOnWine() ? "0" : "2";
    const std::string site = "ERROR --------------------libini :line ";
    EXPECT_EQ(m_log.Messages(),
              (std::vector<std::string>{site + "68, Error 2", site + "74, Error " + missing,
                                        site + "74, Error 0", site + "74, Error 0",
                                        site + "74, Error " + missing, site + "100, Error 3"}));
}

} // namespace
