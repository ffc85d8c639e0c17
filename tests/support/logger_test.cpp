// The diagnostic log against the simulated notebook: what reaches FervoManager.log, in which
// form, and which file calls it costs.
#include "log_file.h"
#include "sim_test.h"

#include "support/logger.h"

#include <gmock/gmock.h>

#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <thread>
#include <vector>

// Memory can be made to run out for one thread: once `t_allocationsLeft` allocations have been
// made, every further one throws std::bad_alloc. -1 never runs out.
namespace {
thread_local long t_allocationsLeft = -1;
} // namespace

void* operator new(std::size_t size) {
    if (t_allocationsLeft == 0) {
        throw std::bad_alloc();
    }
    if (t_allocationsLeft > 0) {
        --t_allocationsLeft;
    }
    if (void* memory = std::malloc(size != 0 ? size : 1)) {
        return memory;
    }
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
// Memory from malloc goes back to free; the compiler cannot tell that these pair up.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
#pragma GCC diagnostic pop

using Celdor::CFileLogger;
using Celdor::CString;
using Celdor::LOG_LEVEL_DEBUG_INFO;
using Celdor::LOG_LEVEL_ERROR;
using Celdor::LOG_LEVEL_WARNING;
using celdor::sim::Call;
using celdor::sim::Fault;
using celdor::sim::Hive;
using celdor::sim::RegValue;
using ::testing::ElementsAre;

namespace {

const std::string kError = "ERROR --------------------";
const std::string kWarning = "WARNING --------------------";
const std::string kDebug = "debug info --------------------";

CFileLogger& Log() {
    return *CFileLogger::GetInstance();
}

// The file-system calls of the journal, in order.
std::vector<Call> FileCalls() {
    std::vector<Call> out;
    for (const Call& call : celdor::sim::Notebook::instance().journal().calls()) {
        if (call.function == "CreateFileW" || call.function == "GetFileSize" ||
            call.function == "SetFilePointer" || call.function == "WriteFile" ||
            call.function == "CloseHandle") {
            out.push_back(call);
        }
    }
    return out;
}

std::vector<std::string> Names(const std::vector<Call>& calls) {
    std::vector<std::string> names;
    for (const Call& call : calls) {
        names.push_back(call.function);
    }
    return names;
}

long NumberOf(const std::string& line) {
    auto parsed = logfile::Parse(line);
    return parsed ? parsed->number : -1;
}

class LogTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        logfile::CreateFolder();
    }

    // Writes one line and returns its number.
    long WriteNumberedLine() {
        logfile::Remove();
        Log().LogError(W("probe"));
        auto lines = logfile::Lines();
        return lines.size() == 1 ? NumberOf(lines[0]) : -1;
    }
};

TEST_F(LogTest, NothingIsWrittenWithoutAMask) {
    EXPECT_FALSE(Log().LogError(W("lost %d"), 1));
    EXPECT_FALSE(Log().LogDebugInfo(W("lost %d"), 2));
    EXPECT_FALSE(logfile::Exists());
    EXPECT_EQ(nb().journal().count("CreateFileW"), 0u);
}

// Each mask bit is a threshold: 0x100 admits errors, 0x200 warnings too, 0x400 everything.
TEST_F(LogTest, MaskBitsAreThresholds) {
    struct Case {
        DWORD mask;
        DWORD level;
        std::string header; // empty: nothing written
    };
    const Case cases[] = {
        {0x100, LOG_LEVEL_ERROR, kError},
        {0x100, LOG_LEVEL_WARNING, ""},
        {0x100, LOG_LEVEL_DEBUG_INFO, ""},
        {0x200, LOG_LEVEL_ERROR, kError},
        {0x200, LOG_LEVEL_WARNING, kWarning},
        {0x200, LOG_LEVEL_DEBUG_INFO, ""},
        {0x400, LOG_LEVEL_ERROR, kError},
        {0x400, LOG_LEVEL_WARNING, kWarning},
        {0x400, LOG_LEVEL_DEBUG_INFO, kDebug},
        {0x300, LOG_LEVEL_DEBUG_INFO, ""},
        {0x1, LOG_LEVEL_ERROR, ""},
        {0xFFFFF8FF, LOG_LEVEL_ERROR, ""}, // every bit but the three thresholds
        {0xFFFFFFFF, LOG_LEVEL_DEBUG_INFO, kDebug},
        {0x400, LOG_LEVEL_WARNING | LOG_LEVEL_DEBUG_INFO, kWarning},
        {0x100, LOG_LEVEL_ERROR | LOG_LEVEL_DEBUG_INFO, kError},
        {0xFFFFFFFF, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << std::hex << "mask 0x" << c.mask << ", level 0x" << c.level);
        logfile::Remove();
        logfile::SetWriteLevel(c.mask);
        EXPECT_EQ(Log().WriteLog(CString(W("text\r\n")), c.level), !c.header.empty());
        if (c.header.empty()) {
            EXPECT_FALSE(logfile::Exists());
            continue;
        }
        auto lines = logfile::Lines();
        ASSERT_EQ(lines.size(), 1u);
        auto line = logfile::Parse(lines[0]);
        ASSERT_TRUE(line);
        EXPECT_EQ(line->rest, c.header + "text");
    }
}

TEST_F(LogTest, EntryPointsCarryTheirOwnLevel) {
    logfile::SetWriteLevel(0x100);
    EXPECT_TRUE(Log().LogError(W("error one")));
    EXPECT_FALSE(Log().LogDebugInfo(W("debug dropped")));
    logfile::SetWriteLevel(0x400);
    EXPECT_TRUE(Log().LogDebugInfo(W("debug two")));
    EXPECT_TRUE(Log().LogError(W("error three")));

    std::vector<std::string> rests;
    for (const auto& line : logfile::Lines()) {
        rests.push_back(logfile::Parse(line).value().rest);
    }
    EXPECT_THAT(rests,
                ElementsAre(kError + "error one", kDebug + "debug two", kError + "error three"));
}

// UTF-16LE without a byte-order mark; "[stamp number] header+message" CR LF.
TEST_F(LogTest, LineLayout) {
    auto& clock = nb().clock();
    clock.tickMs = 0;
    clock.bootEpochSeconds = 1706688902; // 2024-01-31 08:15:02 UTC
    clock.utcOffsetMinutes = 60;
    logfile::SetWriteLevel(0x100);

    Log().LogError(W("%s :line %d, Error %x"), W("libreg"), 181, 0xB7u);
    Log().LogError(W("Temperatur %s"), W("\u20AC \U0001D11E"));

    std::vector<std::uint8_t> bytes = logfile::Bytes();
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], '[');
    EXPECT_EQ(bytes[1], 0);

    std::u16string text = logfile::Text();
    std::u16string first = text.substr(0, text.find(u"\r\n") + 2);
    long number = NumberOf(celdor::sim::Utf16ToUtf8(first.substr(0, first.size() - 2)));
    EXPECT_EQ(first, u"[2024-01-31,09:15:02 " + celdor::sim::Utf8ToUtf16(std::to_string(number)) +
                         u"] ERROR --------------------libreg :line 181, Error b7\r\n");
    std::u16string second = text.substr(first.size());
    EXPECT_TRUE(second.ends_with(u"--------------------Temperatur \u20AC \U0001D11E\r\n"))
        << celdor::sim::Utf16ToUtf8(second);
    EXPECT_EQ(text.size() * 2, bytes.size());
}

TEST_F(LogTest, LineCarriesNoTimeWhenTheStampCannotBeWidened) {
    logfile::SetWriteLevel(0x100);
    nb().faults().inject("MultiByteToWideChar", Fault::Always(ERROR_INVALID_PARAMETER));
    Log().LogError(W("no time"));
    auto lines = logfile::Lines();
    ASSERT_EQ(lines.size(), 1u);
    auto line = logfile::Parse(lines[0]);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->stamp, "");
    EXPECT_EQ(lines[0], "[" + std::to_string(line->number) + "] " + kError + "no time");
}

// Every formatted line takes the next number; lines dropped before formatting take none.
TEST_F(LogTest, LinesAreNumberedConsecutively) {
    logfile::SetWriteLevel(0x100);
    Log().LogError(W("a"));
    Log().LogError(W("b"));
    Log().LogError(W("c"));
    auto lines = logfile::Lines();
    ASSERT_EQ(lines.size(), 3u);
    long first = NumberOf(lines[0]);
    EXPECT_EQ(NumberOf(lines[1]), first + 1);
    EXPECT_EQ(NumberOf(lines[2]), first + 2);

    // Dropped at the size limit and for a missing folder: no number used.
    std::filesystem::resize_file(logfile::HostPath(), 0x200000);
    Log().LogError(W("dropped at the limit"));
    std::filesystem::remove_all(logfile::HostPath().parent_path());
    Log().LogError(W("dropped, no folder"));
    logfile::CreateFolder();
    EXPECT_EQ(WriteNumberedLine(), first + 3);
}

TEST_F(LogTest, FirstLineOfAProcessIsNumberedZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // the child is a fresh process
    logfile::SetWriteLevel(0x100);
    EXPECT_EXIT(
        {
            Log().LogError(W("first"));
            auto lines = logfile::Lines();
            std::exit(lines.size() == 1 && NumberOf(lines[0]) == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(LogTest, FileStopsGrowingAtTwoMebibytes) {
    logfile::SetWriteLevel(0x100);
    Log().LogError(W("x"));
    const auto path = logfile::HostPath();

    std::filesystem::resize_file(path, 0x200000 - 1);
    EXPECT_TRUE(Log().LogError(W("still fits")));
    const auto grown = std::filesystem::file_size(path);
    EXPECT_GT(grown, 0x200000u); // one line may take the file past the limit

    nb().journal().clear();
    EXPECT_TRUE(Log().LogError(W("dropped")));
    EXPECT_EQ(std::filesystem::file_size(path), grown);
    EXPECT_THAT(Names(FileCalls()), ElementsAre("CreateFileW", "GetFileSize", "CloseHandle"));

    std::filesystem::resize_file(path, 0x200000);
    Log().LogError(W("dropped too"));
    EXPECT_EQ(std::filesystem::file_size(path), 0x200000u);
}

TEST_F(LogTest, MissingFolderIsNeitherCreatedNorWritten) {
    logfile::SetWriteLevel(0x100);
    const auto harlune =
        logfile::HostPath().parent_path().parent_path().parent_path().parent_path();
    ASSERT_EQ(harlune.filename(), "Harlune");
    std::filesystem::remove_all(harlune);
    nb().journal().clear();

    EXPECT_TRUE(Log().LogError(W("nowhere to go")));
    EXPECT_FALSE(std::filesystem::exists(harlune));
    auto calls = FileCalls();
    ASSERT_THAT(Names(calls), ElementsAre("CreateFileW", "CreateFileW"));
    EXPECT_EQ(calls[0].disposition, DWORD(OPEN_ALWAYS));
    EXPECT_EQ(calls[1].disposition, DWORD(CREATE_ALWAYS));
}

// One open, one size query, one seek to the end, one write, one close per line.
TEST_F(LogTest, EachLineOpensAppendsAndClosesTheFile) {
    logfile::SetWriteLevel(0x100);
    Log().LogError(W("first"));
    nb().journal().clear();
    Log().LogError(W("second"));

    auto calls = FileCalls();
    ASSERT_THAT(Names(calls), ElementsAre("CreateFileW", "GetFileSize", "SetFilePointer",
                                          "WriteFile", "CloseHandle"));
    const Call& open = calls[0];
    EXPECT_EQ(celdor::sim::Utf8ToUtf16(open.target), logfile::WindowsPath());
    EXPECT_EQ(open.access, GENERIC_WRITE);
    EXPECT_EQ(open.share, DWORD(FILE_SHARE_WRITE));
    EXPECT_EQ(open.disposition, DWORD(OPEN_ALWAYS));
    EXPECT_EQ(open.flags, 0u);
    EXPECT_EQ(calls[2].code, DWORD(FILE_END));
    for (std::size_t i = 1; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].handle, open.handle) << calls[i].function;
    }
    // The write carries the line without its terminator, and it lands after the first one.
    auto lines = logfile::Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(calls[3].inSize, (lines[1].size() + 2) * 2);

    nb().journal().clear();
    Log().AppendLine(nullptr);
    EXPECT_TRUE(FileCalls().empty());
}

TEST_F(LogTest, FailedOpenIsRetriedWithCreateAlways) {
    logfile::SetWriteLevel(0x100);
    nb().faults().inject("CreateFileW", Fault::Once(ERROR_SHARING_VIOLATION, "FervoManager"));
    EXPECT_TRUE(Log().LogError(W("second try")));
    auto calls = FileCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[1].disposition, DWORD(CREATE_ALWAYS));
    auto lines = logfile::Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], ::testing::EndsWith(kError + "second try"));
}

// A size query that fails drops the line; a failed write is ignored. Neither leaks the handle.
TEST_F(LogTest, FailedSizeQueryOrWriteLosesOnlyTheLine) {
    logfile::SetWriteLevel(0x100);
    nb().faults().inject("GetFileSize", Fault::Once(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(Log().LogError(W("lost")));
    EXPECT_EQ(nb().journal().count("WriteFile"), 0u);
    nb().faults().inject("WriteFile", Fault::Once(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(Log().LogError(W("lost as well")));
    EXPECT_EQ(logfile::Size(), 0u);
    EXPECT_EQ(nb().journal().count("CloseHandle"), 2u);
}

TEST_F(LogTest, WriteLevelChangeTakesEffectAtTheNextMessage) {
    logfile::SetWriteLevel(0x400);
    Log().LogDebugInfo(W("one"));
    logfile::ClearWriteLevel();
    Log().LogDebugInfo(W("two"));
    logfile::SetWriteLevel(0x100);
    Log().LogDebugInfo(W("three"));
    Log().LogError(W("four"));
    logfile::SetWriteLevel(0x200);
    Log().LogDebugInfo(W("five"));
    logfile::SetWriteLevel(0x400);
    Log().LogDebugInfo(W("six"));

    std::vector<std::string> rests;
    for (const auto& line : logfile::Lines()) {
        rests.push_back(logfile::Parse(line).value().rest);
    }
    EXPECT_THAT(rests, ElementsAre(kDebug + "one", kError + "four", kDebug + "six"));
}

// The mask is read from the machine key at each filter step, never cached; only a 32-bit value
// (or a shorter one) counts.
TEST_F(LogTest, MaskIsReadFromTheMachineKeyAtEachStep) {
    EXPECT_FALSE(Log().LogDebugInfo(W("dropped")));
    auto opens = nb().journal().calls("RegOpenKeyExW");
    ASSERT_EQ(opens.size(), 3u);
    for (const Call& open : opens) {
        EXPECT_EQ(open.target,
                  "HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Harlune\\PelmarkService\\FileLogger");
        EXPECT_EQ(open.access, 0x20019u);
    }

    logfile::SetWriteLevel(0x100);
    nb().journal().clear();
    Log().LogError(W("written"));
    EXPECT_EQ(nb().journal().count("RegOpenKeyExW"), 1u);

    logfile::SetWriteLevel(RegValue::String(u"1024"));
    EXPECT_EQ(Log().ReadWriteLevel(), 0u);
    logfile::SetWriteLevel(RegValue::Qword(0x400));
    EXPECT_EQ(Log().ReadWriteLevel(), 0u);
    logfile::SetWriteLevel(RegValue::Binary({0x00, 0x04}));
    EXPECT_EQ(Log().ReadWriteLevel(), 0x400u);
    logfile::SetWriteLevel(0x12345678);
    EXPECT_EQ(Log().ReadWriteLevel(), 0x12345678u);
    nb().registry().deleteKeyTree(Hive::LocalMachine, logfile::kLevelKey);
    EXPECT_EQ(Log().ReadWriteLevel(), 0u);
}

// Messages are cut to their buffers (1023 and 511 characters), lines to 779 characters, and
// every line still ends in CR LF.
TEST_F(LogTest, LongMessagesAreCut) {
    logfile::SetWriteLevel(0x400);
    const CString::string_type longText(2000, W('e'));

    Log().LogDebugInfo(W("%s"), longText.c_str());
    auto lines = logfile::Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(logfile::Parse(lines[0]).value().rest, kDebug + std::string(511, 'e'));

    logfile::Remove();
    Log().LogError(W("%s"), longText.c_str());
    std::u16string text = logfile::Text();
    EXPECT_EQ(text.size(), 779u);
    EXPECT_TRUE(text.ends_with(u"eee\r\n"));
    EXPECT_EQ(logfile::Lines().size(), 1u);
}

// Several threads at once: every line whole, numbers strictly increasing in file order, each
// thread's messages in its own order.
TEST_F(LogTest, ConcurrentMessagesStayWholeAndOrdered) {
    logfile::SetWriteLevel(0x400);
    constexpr int kThreads = 8;
    constexpr int kPerThread = 400;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int m = 0; m < kPerThread; ++m) {
                if (m % 2 == 0) {
                    Log().LogError(W("thread %d message %d"), t, m);
                } else {
                    Log().LogDebugInfo(W("thread %d message %d"), t, m);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }

    auto lines = logfile::Lines();
    ASSERT_EQ(lines.size(), std::size_t(kThreads * kPerThread));
    const std::regex message(
        R"(^(?:ERROR|debug info) --------------------thread (\d+) message (\d+)$)");
    std::vector<int> next(kThreads, 0);
    long previous = -1;
    for (const auto& text : lines) {
        auto line = logfile::Parse(text);
        ASSERT_TRUE(line) << text;
        if (previous >= 0) {
            ASSERT_EQ(line->number, previous + 1) << text;
        }
        previous = line->number;
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line->rest, match, message)) << text;
        int t = std::stoi(match[1].str());
        ASSERT_EQ(std::stoi(match[2].str()), next[t]++) << text;
    }
}

// The log is called from exported functions: memory running out while a message is built costs
// the message, never an exception.
TEST_F(LogTest, RunningOutOfMemoryCostsOnlyTheMessage) {
    logfile::SetWriteLevel(0x400);
    const CString::string_type longText(300, W('e')); // too long for a string's own buffer
    bool threw = false;
    bool written[2] = {true, true};
    t_allocationsLeft = 0;
    try {
        written[0] = Log().LogError(W("%s :line %d"), longText.c_str(), 1);
        written[1] = Log().LogDebugInfo(W("%s"), longText.c_str());
    } catch (...) {
        threw = true;
    }
    t_allocationsLeft = -1;
    EXPECT_FALSE(threw);
    EXPECT_FALSE(written[0]);
    EXPECT_FALSE(written[1]);
    EXPECT_FALSE(logfile::Exists());
}

TEST_F(LogTest, PathIsTakenFromTheLocalApplicationDataFolder) {
    EXPECT_EQ(CFileLogger::LogFilePath().Str(), logfile::WindowsPath());

    nb().journal().clear();
    nb().faults().inject("SHGetKnownFolderPath", Fault::Once(ERROR_ACCESS_DENIED));
    EXPECT_EQ(CFileLogger::BuildLogFilePath().Str(),
              u"\\Harlune\\Pelmark\\Logs\\OstraNotebookAddin\\FervoManager.log");
    // The folder buffer is released even when the shell could not provide one.
    EXPECT_EQ(nb().journal().count("CoTaskMemFree"), 1u);
    auto asked = nb().journal().calls("SHGetKnownFolderPath");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].flags, 0u);
}

} // namespace
