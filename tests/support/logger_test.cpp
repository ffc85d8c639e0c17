// The diagnostic log against the simulated notebook: what only the notebook can arrange or see
// (the clock, faults, the file calls a line costs, a new process) and what
// the library's public functions never ask of it (warnings, mixed levels, long messages).
#include "log_file.h"

#include "support/logger.h"

#include <gmock/gmock.h>

#include <string>
#include <vector>

using Celdor::CFileLogger;
using Celdor::CString;
using Celdor::LOG_LEVEL_DEBUG_INFO;
using Celdor::LOG_LEVEL_ERROR;
using Celdor::LOG_LEVEL_WARNING;
using celdor::sim::Call;
using celdor::sim::Fault;
using ::testing::ElementsAre;

namespace {

const std::string kError = "ERROR --------------------";
const std::string kWarning = "WARNING --------------------";

CFileLogger& Log() {
    return *CFileLogger::GetInstance();
}

using LogTest = LoggingTest;

// Warnings, and messages of several levels at once: only the log's own callers use them. Each
// mask bit is a threshold (0x100 errors, 0x200 warnings too, 0x400 everything) and a message
// takes the header of its most severe level.
TEST_F(LogTest, WarningsAndMixedLevelsMeetTheThresholds) {
    const struct {
        DWORD mask;
        DWORD level;
        std::string header; // empty: nothing written
    } cases[] = {
        {0x100, LOG_LEVEL_WARNING, ""},
        {0x200, LOG_LEVEL_WARNING, kWarning},
        {0x400, LOG_LEVEL_WARNING, kWarning},
        {0x400, LOG_LEVEL_WARNING | LOG_LEVEL_DEBUG_INFO, kWarning},
        {0x100, LOG_LEVEL_ERROR | LOG_LEVEL_DEBUG_INFO, kError},
        {0x200, LOG_LEVEL_ERROR | LOG_LEVEL_WARNING, kError},
        {0xFFFFFFFF, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << std::hex << "mask 0x" << c.mask << ", level 0x" << c.level);
        std::filesystem::remove(logfile::HostPath());
        logfile::SetWriteLevel(c.mask);
        EXPECT_EQ(Log().WriteLog(CString(W("text\r\n")), c.level), !c.header.empty());
        EXPECT_EQ(logfile::Messages(), c.header.empty()
                                           ? std::vector<std::string>{}
                                           : std::vector<std::string>{c.header + "text"});
    }
}

// The stamp is the notebook's local time, here already the next day; a stamp that cannot be
// widened is left out. The text goes into the file as it is.
TEST_F(LogTest, LineCarriesTheLocalTimeIfItCanAndTheTextAsGiven) {
    auto& clock = nb().clock();
    clock.tickMs = 0;
    clock.bootEpochSeconds = 1706656502; // 2024-01-30 23:15:02 UTC
    clock.utcOffsetMinutes = 60;
    logfile::SetWriteLevel(0x100);
    Log().LogError(W("Temperatur %s"), W("\u20AC \U0001D11E"));
    nb().faults().inject("MultiByteToWideChar", Fault::Always(ERROR_INVALID_PARAMETER));
    Log().LogError(W("no time"));

    const auto lines = logfile::Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].stamp, "2024-01-31,00:15:02");
    EXPECT_EQ(lines[1].stamp, "");
    EXPECT_EQ(lines[1].number, lines[0].number + 1);
    EXPECT_EQ(lines[1].text, kError + "no time");
    EXPECT_NE(logfile::Text().find(u"--------------------Temperatur \u20AC \U0001D11E\r\n["),
              std::u16string::npos);
}

TEST_F(LogTest, FirstLineOfAProcessIsNumberedZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // the child is a fresh process
    logfile::SetWriteLevel(0x100);
    EXPECT_EXIT(
        {
            Log().LogError(W("first"));
            const auto lines = logfile::Lines();
            std::exit(lines.size() == 1 && lines[0].number == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// A line is one append through one handle: opened for writing, sharing writing only, opened
// always, the pointer moved to the end, the line and its CR LF written without a terminating
// zero. A line no mask bit lets through touches no file.
TEST_F(LogTest, EachLineIsOneAppend) {
    logfile::SetWriteLevel(0x100);
    Log().LogError(W("first"));
    nb().journal().clear();
    Log().LogError(W("second"));
    const auto opens = nb().journal().calls("CreateFileW");
    const auto writes = nb().journal().calls("WriteFile");
    ASSERT_EQ(opens.size(), 1u);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(opens[0].access, GENERIC_WRITE);
    EXPECT_EQ(opens[0].share, DWORD(FILE_SHARE_WRITE));
    EXPECT_EQ(opens[0].disposition, DWORD(OPEN_ALWAYS));
    EXPECT_EQ(nb().journal().calls("SetFilePointer").at(0).code, DWORD(FILE_END));
    EXPECT_EQ(writes[0].handle, opens[0].handle);
    const std::u16string text = logfile::Text();
    EXPECT_EQ(writes[0].inSize, (text.size() - text.find(u"\r\n") - 2) * 2);

    nb().journal().clear();
    EXPECT_FALSE(Log().LogDebugInfo(W("dropped")));
    Log().AppendLine(nullptr);
    EXPECT_EQ(nb().journal().count("CreateFileW"), 0u);
}

// A failed open is tried again with CREATE_ALWAYS; a failed size query drops the line, a failed
// write loses it. The caller never learns of it.
TEST_F(LogTest, FileFaultsCostAtMostTheLine) {
    logfile::SetWriteLevel(0x100);
    const struct {
        const char* function;
        std::vector<DWORD> opens;
        std::vector<std::string> lines;
    } cases[] = {{"CreateFileW", {OPEN_ALWAYS, CREATE_ALWAYS}, {kError + "text"}},
                 {"GetFileSize", {OPEN_ALWAYS}, {}},
                 {"WriteFile", {OPEN_ALWAYS}, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.function);
        std::filesystem::remove(logfile::HostPath());
        nb().journal().clear();
        nb().faults().inject(c.function, Fault::Once(ERROR_SHARING_VIOLATION));
        EXPECT_TRUE(Log().LogError(W("text")));
        std::vector<DWORD> opens;
        for (const Call& open : nb().journal().calls("CreateFileW")) {
            opens.push_back(open.disposition);
        }
        EXPECT_EQ(opens, c.opens);
        EXPECT_EQ(logfile::Messages(), c.lines);
    }
}

// Messages are cut to their buffers (1023 and 511 characters), lines to 779 characters, and
// every line still ends in CR LF.
TEST_F(LogTest, LongMessagesAreCut) {
    logfile::SetWriteLevel(0x400);
    const std::u16string longText(2000, u'e');
    Log().LogDebugInfo(W("%s"), longText.c_str());
    EXPECT_THAT(logfile::Messages(),
                ElementsAre("debug info --------------------" + std::string(511, 'e')));

    std::filesystem::remove(logfile::HostPath());
    Log().LogError(W("%s"), longText.c_str());
    const std::u16string text = logfile::Text();
    EXPECT_EQ(text.size(), 779u);
    EXPECT_TRUE(text.ends_with(u"eee\r\n"));
    EXPECT_EQ(logfile::Lines().size(), 1u);

    // A character outside the basic plane is never split by the cut or by the CR LF after it,
    // whichever of its halves, or the letter between two of them, falls at the end of the line.
    for (const std::u16string lead : {u"", u"e", u"ee"}) {
        std::filesystem::remove(logfile::HostPath());
        std::u16string message = lead;
        for (int i = 0; i < 300; ++i) {
            message += u"e\U0001D11E";
        }
        Log().LogError(W("%s"), message.c_str());
        const std::u16string line = logfile::Text();
        EXPECT_GE(line.size(), 777u);
        EXPECT_TRUE(line.ends_with(u"\r\n"));
        const auto high = [&](std::size_t i) {
            return i < line.size() && line[i] >= 0xD800 && line[i] <= 0xDBFF;
        };
        const auto low = [&](std::size_t i) {
            return i < line.size() && line[i] >= 0xDC00 && line[i] <= 0xDFFF;
        };
        for (std::size_t i = 0; i < line.size(); ++i) {
            ASSERT_EQ(high(i), low(i + 1)) << "half a pair at " << i;
        }
    }
}

// Without the local application-data folder the path is the relative one alone; the shell's
// buffer is released either way.
TEST_F(LogTest, PathWithoutTheLocalApplicationDataFolderIsRelative) {
    nb().journal().clear();
    nb().faults().inject("SHGetKnownFolderPath", Fault::Once(ERROR_ACCESS_DENIED));
    EXPECT_EQ(CFileLogger::BuildLogFilePath().View(),
              u"\\Harlune\\Pelmark\\Logs\\OstraNotebookAddin\\FervoManager.log");
    EXPECT_EQ(nb().journal().count("CoTaskMemFree"), 1u);
    EXPECT_EQ(nb().journal().calls("SHGetKnownFolderPath").at(0).flags, 0u);
}

} // namespace
