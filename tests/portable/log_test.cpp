// The diagnostic log as a host and a person reading the file meet it: the level mask set in the
// registry, messages produced by the public interface (the registry helpers' existence checks
// and the INI helpers), and the file read back with CreateFileW and ReadFile.
#include <gtest/gtest.h>

#include "diagnostic_log.h"

#include <regex>
#include <string>
#include <vector>

namespace {

using portable::DiagnosticLog;
using portable::WString;

// A key every installation has, with a value nobody writes, and a key nobody creates.
const WCHAR* const kPresentKey = WTEXT("Software");
const WCHAR* const kMissingValue = WTEXT("CeldorPortableTestsNoSuchValue");
const WCHAR* const kMissingKey = WTEXT("Software\\CeldorPortableTests\\NoSuchKey");

const std::regex kLine(R"(^\[(\d{4})-(\d{2})-(\d{2}),(\d{2}):(\d{2}):(\d{2}) (\d+)\] (.*)$)");

const char kError[] = "ERROR --------------------";
const char kDebugInfo[] = "debug info --------------------";

struct Line {
    long number = -1;
    std::string text; // header and message
};

// Splits "[stamp number] text"; a line that does not match comes back with number -1.
Line Parse(const std::string& line) {
    std::smatch match;
    if (!std::regex_match(line, match, kLine)) {
        return Line{-1, line};
    }
    return Line{std::stol(match[7].str()), match[8].str()};
}

std::vector<std::string> Texts(const std::vector<std::string>& lines) {
    std::vector<std::string> texts;
    for (const std::string& line : lines) {
        texts.push_back(Parse(line).text);
    }
    return texts;
}

// One line through LogError alone.
void LogAnError() {
    RegDoesExistSzValue(kMissingKey, kMissingValue);
}

// A debug info line followed by an error line.
void LogDebugInfoAndAnError() {
    RegDoesExistSzValue(kPresentKey, kMissingValue);
}

const std::regex kOpenError(R"(ERROR --------------------libreg :line 226, Error [0-9a-f]+)");
const std::regex
    kQueryDebugInfo(R"(debug info --------------------RegDoesExistSzValue valuepath Software, )"
                    R"(valuename CeldorPortableTestsNoSuchValue, lstatus 2, valen \d+)");
const std::regex kQueryError(R"(ERROR --------------------libreg :line 246, Error [0-9a-f]+)");

class Log : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_log.Arrange()) {
            GTEST_SKIP() << "the log's level mask cannot be set here";
        }
    }
    void TearDown() override { m_log.Restore(); }

    DiagnosticLog m_log;
};

TEST_F(Log, MasksWithoutALevelBitWriteNothing) {
    LogDebugInfoAndAnError();
    LogAnError();
    EXPECT_FALSE(m_log.FileExists()) << "no mask";

    for (DWORD mask : {0x0u, 0x1u, 0x80u, 0x800u, 0xFFFFF8FFu}) {
        m_log.SetLevel(mask);
        LogDebugInfoAndAnError();
        LogAnError();
        EXPECT_FALSE(m_log.FileExists()) << std::hex << "mask 0x" << mask;
    }

    // A mask that does not fit 32 bits is no mask at all.
    const unsigned long long wide = 0x400;
    m_log.SetLevelValue(REG_QWORD, &wide, sizeof(wide));
    LogDebugInfoAndAnError();
    EXPECT_FALSE(m_log.FileExists()) << "8-byte mask";
}

TEST_F(Log, ErrorAndWarningMasksLetOnlyErrorsThrough) {
    for (DWORD mask : {0x100u, 0x200u, 0x101u}) {
        m_log.RemoveFile();
        m_log.SetLevel(mask);
        LogDebugInfoAndAnError();
        LogAnError();
        const std::vector<std::string> texts = Texts(m_log.Lines());
        ASSERT_EQ(texts.size(), 2u) << std::hex << "mask 0x" << mask;
        EXPECT_TRUE(std::regex_match(texts[0], kQueryError)) << texts[0];
        EXPECT_TRUE(std::regex_match(texts[1], kOpenError)) << texts[1];
    }
}

TEST_F(Log, DebugMaskWritesTheDebugLineBeforeTheError) {
    for (DWORD mask : {0x400u, 0x700u}) {
        m_log.RemoveFile();
        m_log.SetLevel(mask);
        LogDebugInfoAndAnError();
        LogAnError();
        const std::vector<std::string> texts = Texts(m_log.Lines());
        ASSERT_EQ(texts.size(), 3u) << std::hex << "mask 0x" << mask;
        EXPECT_TRUE(std::regex_match(texts[0], kQueryDebugInfo)) << texts[0];
        EXPECT_TRUE(std::regex_match(texts[1], kQueryError)) << texts[1];
        EXPECT_TRUE(std::regex_match(texts[2], kOpenError)) << texts[2];
    }
}

TEST_F(Log, FileIsUtf16WithoutMarkAndEveryLineEndsInCrLf) {
    m_log.SetLevel(0x400);
    LogDebugInfoAndAnError();
    DWORD value = 0;
    GetDWForIni((m_log.File() + WTEXT(".missing.ini")).c_str(), WTEXT("Power"), WTEXT("Mode"),
                &value);

    const std::string bytes = m_log.Bytes();
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 2), std::string("[\0", 2)) << "no byte-order mark";
    EXPECT_EQ(bytes.size() % 2, 0u);
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\r\0\n\0", 4));

    const std::vector<std::string> lines = m_log.Lines();
    ASSERT_EQ(lines.size(), 3u);
    for (const std::string& line : lines) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, kLine)) << line;
        EXPECT_GE(std::stoi(match[2].str()), 1);
        EXPECT_LE(std::stoi(match[2].str()), 12);
        EXPECT_GE(std::stoi(match[3].str()), 1);
        EXPECT_LE(std::stoi(match[3].str()), 31);
        EXPECT_LE(std::stoi(match[4].str()), 23);
        EXPECT_LE(std::stoi(match[5].str()), 59);
        EXPECT_LE(std::stoi(match[6].str()), 60);
        EXPECT_EQ(line.find('\r'), std::string::npos) << "a lone CR inside a line";
        EXPECT_EQ(line.find('\n'), std::string::npos) << "a lone LF inside a line";
    }
    // The message follows the hyphens directly.
    EXPECT_EQ(Parse(lines[0]).text.rfind(std::string(kDebugInfo) + "RegDoesExistSzValue ", 0), 0u);
    EXPECT_EQ(Parse(lines[1]).text.rfind(std::string(kError) + "libreg ", 0), 0u);
    EXPECT_EQ(Parse(lines[2]).text, std::string(kError) + "libini :line 68, Error 2");
}

TEST_F(Log, LineNumbersRiseByOne) {
    m_log.SetLevel(0x400);
    for (int i = 0; i < 3; ++i) {
        LogDebugInfoAndAnError();
        LogAnError();
    }
    const std::vector<std::string> lines = m_log.Lines();
    ASSERT_EQ(lines.size(), 9u);
    const long first = Parse(lines[0]).number;
    ASSERT_GE(first, 0) << lines[0];
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(Parse(lines[i]).number, first + long(i)) << lines[i];
    }
}

TEST_F(Log, MissingFolderIsNotCreatedAndItsLinesTakeNoNumber) {
    m_log.SetLevel(0x400);
    LogAnError();
    const long before = Parse(m_log.Lines().at(0)).number;
    ASSERT_GE(before, 0);

    const WString outermost = m_log.RemoveFolders();
    if (outermost.empty()) {
        GTEST_SKIP() << "the log's folder was there before the test";
    }
    LogDebugInfoAndAnError();
    LogAnError();
    EXPECT_FALSE(portable::PathExists(outermost));
    EXPECT_FALSE(m_log.FileExists());

    m_log.CreateFolders();
    LogAnError();
    const std::vector<std::string> lines = m_log.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(Parse(lines[0]).number, before + 1);
}

TEST_F(Log, MaskIsReadAgainForEveryMessage) {
    m_log.SetLevel(0x100);
    LogDebugInfoAndAnError();
    m_log.SetLevel(0);
    LogDebugInfoAndAnError();
    m_log.SetLevel(0x400);
    LogDebugInfoAndAnError();
    m_log.ClearLevel();
    LogDebugInfoAndAnError();

    const std::vector<std::string> texts = Texts(m_log.Lines());
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_TRUE(std::regex_match(texts[0], kQueryError)) << texts[0];
    EXPECT_TRUE(std::regex_match(texts[1], kQueryDebugInfo)) << texts[1];
    EXPECT_TRUE(std::regex_match(texts[2], kQueryError)) << texts[2];
}

// Writes `size` bytes of blanks as the whole log file.
void FillLog(const WString& path, DWORD size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    const std::string blanks(size, ' ');
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, blanks.data(), size, &written, nullptr));
    EXPECT_EQ(written, size);
    CloseHandle(file);
}

TEST_F(Log, FileStopsGrowingAtTwoMebibytes) {
    constexpr DWORD kLimit = 2 * 1024 * 1024;
    m_log.SetLevel(0x100);

    ASSERT_NO_FATAL_FAILURE(FillLog(m_log.File(), kLimit));
    LogAnError();
    EXPECT_EQ(m_log.Bytes().size(), kLimit);

    // Just below the limit one more line goes in, even though it takes the file past it.
    ASSERT_NO_FATAL_FAILURE(FillLog(m_log.File(), kLimit - 2));
    LogAnError();
    const std::string tail = portable::Utf16LeToAscii(m_log.Bytes().substr(kLimit - 2));
    ASSERT_EQ(tail.size() >= 2 ? tail.substr(tail.size() - 2) : "", "\r\n");
    const Line line = Parse(tail.substr(0, tail.size() - 2));
    ASSERT_GE(line.number, 0) << tail;
    EXPECT_TRUE(std::regex_match(line.text, kOpenError)) << line.text;

    const std::size_t full = m_log.Bytes().size();
    LogAnError();
    EXPECT_EQ(m_log.Bytes().size(), full);

    // The dropped line took no number.
    m_log.RemoveFile();
    LogAnError();
    const std::vector<std::string> lines = m_log.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(Parse(lines[0]).number, line.number + 1);
}

} // namespace
