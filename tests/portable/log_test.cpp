// The diagnostic log as a host and a person reading the file meet it: the level mask set in the
// registry, messages produced by the public interface (the registry helpers' existence checks
// and the INI helpers), and the file read back with CreateFileW and ReadFile.
#include "diagnostic_log.h"

#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

using portable::WString;
using Log = portable::LogReadingTest;
using LogThreads = Log; // run under ThreadSanitizer too

// A key every installation has, with a value nobody writes, and a key nobody creates.
const WCHAR* const kMissingValue = WTEXT("CeldorPortableTestsNoSuchValue");
const WCHAR* const kMissingKey = WTEXT("Software\\CeldorPortableTests\\NoSuchKey");

// One line through LogError alone.
void LogAnError() {
    RegDoesExistSzValue(kMissingKey, kMissingValue);
}

// A debug info line followed by an error line.
void LogDebugInfoAndAnError() {
    RegDoesExistSzValue(WTEXT("Software"), kMissingValue);
}

const std::string kDebugInfo = "debug info --------------------";
const std::string kError = "ERROR --------------------";
const std::regex kOpenError(kError + R"(libreg :line 226, Error [0-9a-f]+)");
const std::regex kQueryError(kError + R"(libreg :line 246, Error [0-9a-f]+)");

// The header of every line, up to its hyphens.
std::vector<std::string> Headers(const portable::DiagnosticLog& log) {
    std::vector<std::string> headers;
    for (const std::string& text : log.Messages()) {
        headers.push_back(text.substr(0, text.find(" -")));
    }
    return headers;
}

std::string Le32(DWORD value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof(value));
}

// The mask is read for every message: 0x100 and 0x200 let errors through, 0x400 debug
// information too; other bits, and a value that is not 32 bits wide, count for nothing.
TEST_F(Log, MaskDecidesWhichLinesAreWritten) {
    const std::vector<std::string> none, errors = {"ERROR"}, all = {"debug info", "ERROR"};
    const struct {
        const char* what;
        DWORD type; // REG_NONE: no mask
        std::string data;
        std::vector<std::string> headers;
    } cases[] = {
        {"no mask", REG_NONE, "", none},
        {"0", REG_DWORD, Le32(0), none},
        {"every other bit", REG_DWORD, Le32(0xFFFFF8FF), none},
        {"0x100", REG_DWORD, Le32(0x100), errors},
        {"0x200", REG_DWORD, Le32(0x200), errors},
        {"0x101", REG_DWORD, Le32(0x101), errors},
        {"0x400", REG_DWORD, Le32(0x400), all},
        {"0x700", REG_DWORD, Le32(0x700), all},
        {"8 bytes", REG_QWORD, Le32(0x400) + Le32(0), none},
        {"text", REG_SZ, Le32(0x00300031) + Le32(0x00340032) + Le32(0).substr(2), none}, // "1024"
        {"2 bytes", REG_BINARY, std::string("\0\4", 2), all},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_log.RemoveFile();
        m_log.ClearLevel();
        if (c.type != REG_NONE) {
            m_log.SetLevelValue(c.type, c.data.data(), DWORD(c.data.size()));
        }
        LogDebugInfoAndAnError();
        EXPECT_EQ(Headers(m_log), c.headers);
    }
}

// UTF-16 without a byte-order mark, one "[stamp number] header+message" line per message, each
// ended by CR LF and numbered one above the one before.
TEST_F(Log, LinesAreNumberedUtf16TextEndingInCrLf) {
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

    const auto lines = m_log.Lines();
    ASSERT_EQ(lines.size(), 3u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_NE(lines[i].stamp, "") << lines[i].text;
        EXPECT_EQ(lines[i].number, lines[0].number + long(i)) << lines[i].text;
    }
    EXPECT_TRUE(
        std::regex_match(lines[0].text, std::regex(kDebugInfo + "RegDoesExistSzValue valuepath "
                                                                "Software, valuename "
                                                                "CeldorPortableTestsNoSuchValue,"
                                                                " lstatus 2, valen \\d+")))
        << lines[0].text;
    EXPECT_TRUE(std::regex_match(lines[1].text, kQueryError)) << lines[1].text;
    EXPECT_EQ(lines[2].text, kError + "libini :line 68, Error 2");
}

TEST_F(Log, MissingFolderIsNotCreatedAndItsLinesTakeNoNumber) {
    m_log.SetLevel(0x400);
    LogAnError();
    const long before = m_log.Numbers().at(0);

    const WString outermost = m_log.RemoveFolders();
    if (outermost.empty()) {
        GTEST_SKIP() << "the log's folder was there before the test";
    }
    LogDebugInfoAndAnError();
    EXPECT_FALSE(portable::PathExists(outermost));

    m_log.CreateFolders();
    LogAnError();
    EXPECT_EQ(m_log.Numbers(), std::vector<long>{before + 1});
}

TEST_F(Log, FileStopsGrowingAtTwoMebibytes) {
    constexpr DWORD kLimit = 2 * 1024 * 1024;
    m_log.SetLevel(0x100);
    // A file of `size` bytes that ends in CR LF.
    const auto fill = [&](DWORD size) {
        return portable::WriteFileBytes(m_log.File(),
                                        std::string(size - 4, ' ') + std::string("\r\0\n\0", 4));
    };

    ASSERT_TRUE(fill(kLimit));
    LogAnError();
    EXPECT_EQ(m_log.Bytes().size(), kLimit);

    // Just below the limit one more line goes in, even though it takes the file past it.
    ASSERT_TRUE(fill(kLimit - 2));
    LogAnError();
    const auto lines = m_log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    const auto line = lines[1];
    EXPECT_GE(line.number, 0) << line.text;
    EXPECT_TRUE(std::regex_match(line.text, kOpenError)) << line.text;
    EXPECT_EQ(m_log.Bytes().substr(m_log.Bytes().size() - 4), std::string("\r\0\n\0", 4));

    const std::size_t full = m_log.Bytes().size();
    LogAnError();
    EXPECT_EQ(m_log.Bytes().size(), full);

    // The dropped line took no number.
    m_log.RemoveFile();
    LogAnError();
    EXPECT_EQ(m_log.Numbers(), std::vector<long>{line.number + 1});
}

// Callers on several threads at once: every line whole, numbers rising by one in file order,
// each thread's lines in its own order.
TEST_F(LogThreads, LinesOfConcurrentCallersStayWholeAndInOrder) {
    m_log.SetLevel(0x400);
    constexpr int kThreads = 4, kCalls = 50;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int m = 0; m < kCalls; ++m) {
                const std::string name = "T" + std::to_string(t) + "M" + std::to_string(m);
                RegDoesExistSzValue(WTEXT("Software"), WString(name.begin(), name.end()).c_str());
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const auto lines = m_log.Lines();
    ASSERT_EQ(lines.size(), std::size_t(2 * kThreads * kCalls));
    const std::regex debug(kDebugInfo + R"(RegDoesExistSzValue valuepath Software, )"
                                        R"(valuename T(\d+)M(\d+), lstatus 2, valen \d+)");
    std::vector<int> next(kThreads, 0);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i].number, lines[0].number + long(i)) << lines[i].text;
        std::smatch match;
        if (std::regex_match(lines[i].text, match, debug)) {
            ASSERT_EQ(std::stoi(match[2].str()), next[std::stoi(match[1].str())]++);
        } else {
            ASSERT_TRUE(std::regex_match(lines[i].text, kQueryError)) << lines[i].text;
        }
    }
}

} // namespace
