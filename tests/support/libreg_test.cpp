// The exported registry helpers against the simulated registry: roots, access masks, value
// types and sizes, what they log and what they leave in the last error.
#include "log_file.h"
#include "sim_test.h"

#include "support/logger.h"

#include <celdor/libreg.h>

#include <gmock/gmock.h>

#include <regex>
#include <string>
#include <vector>

using celdor::sim::Call;
using celdor::sim::Fault;
using celdor::sim::Hive;
using celdor::sim::RegValue;
using ::testing::ElementsAre;
using ::testing::MatchesRegex;

namespace {

constexpr char16_t kKey[] = u"Software\\CeldorTest";
const std::string kUserKey = "HKEY_CURRENT_USER\\Software\\CeldorTest";

class RegTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        logfile::CreateFolder();
    }

    celdor::sim::Registry& reg() { return nb().registry(); }

    // Header and message of every log line.
    static std::vector<std::string> LogRests() {
        std::vector<std::string> rests;
        for (const auto& line : logfile::Lines()) {
            rests.push_back(logfile::Parse(line).value().rest);
        }
        return rests;
    }
};

// --- Writers ----------------------------------------------------------------------------------

TEST_F(RegTest, WritersStoreTheirTypesAndTheTerminator) {
    reg().createKey(Hive::CurrentUser, kKey);
    EXPECT_EQ(RegSetStr(kKey, W("Expand"), W("Storage")), 1);
    EXPECT_EQ(RegSetSz(kKey, W("Plain"), W("Storage")), 1);
    EXPECT_EQ(RegSetSz(kKey, W("Empty"), W("")), 1);
    EXPECT_EQ(RegSetDWORD(kKey, W("Number"), 0xCAFE), 1);

    auto expand = reg().value(Hive::CurrentUser, kKey, u"Expand").value();
    EXPECT_EQ(expand.type, DWORD(REG_EXPAND_SZ));
    EXPECT_EQ(expand.data.size(), 16u);
    EXPECT_EQ(expand.asString(), u"Storage");
    auto plain = reg().value(Hive::CurrentUser, kKey, u"Plain").value();
    EXPECT_EQ(plain.type, DWORD(REG_SZ));
    EXPECT_EQ(plain.data.size(), 16u);
    EXPECT_EQ(reg().value(Hive::CurrentUser, kKey, u"Empty").value().data.size(), 2u);
    auto number = reg().value(Hive::CurrentUser, kKey, u"Number").value();
    EXPECT_EQ(number.type, DWORD(REG_DWORD));
    EXPECT_EQ(number.asDword(), 0xCAFEu);

    // Open with read and write access, write, flush, close: for each of the four.
    auto opens = nb().journal().calls("RegOpenKeyExW");
    ASSERT_EQ(opens.size(), 4u);
    for (const Call& open : opens) {
        EXPECT_EQ(open.target, kUserKey);
        EXPECT_EQ(open.access, 0x2001Fu);
    }
    EXPECT_EQ(nb().journal().count("RegFlushKey"), 4u);
}

TEST_F(RegTest, WritersNeverCreateTheKey) {
    EXPECT_EQ(RegSetStr(kKey, W("V"), W("x")), 0);
    EXPECT_EQ(RegSetSz(kKey, W("V"), W("x")), 0);
    EXPECT_EQ(RegSetDWORD(kKey, W("V"), 1), 0);
    EXPECT_FALSE(reg().keyExists(Hive::CurrentUser, kKey));
    EXPECT_EQ(nb().journal().count("RegCreateKeyExW"), 0u);
}

TEST_F(RegTest, RefusedWriteIsNeitherFlushedNorLogged) {
    logfile::SetWriteLevel(0x400);
    reg().createKey(Hive::CurrentUser, kKey);
    reg().setReadOnly(Hive::CurrentUser, kKey, true);
    EXPECT_EQ(RegSetDWORD(kKey, W("V"), 1), 0);
    reg().setReadOnly(Hive::CurrentUser, kKey, false);

    nb().faults().inject("RegSetValueExW", Fault::Always(ERROR_ACCESS_DENIED));
    EXPECT_EQ(RegSetStr(kKey, W("V"), W("x")), 0);
    EXPECT_EQ(RegSetDWORD(kKey, W("V"), 1), 0);

    EXPECT_EQ(nb().journal().count("RegFlushKey"), 0u);
    EXPECT_FALSE(reg().value(Hive::CurrentUser, kKey, u"V"));
    EXPECT_FALSE(logfile::Exists());
}

// --- Readers ----------------------------------------------------------------------------------

TEST_F(RegTest, DwordReadersReadTheirOwnRootAndAtMostFourBytes) {
    reg().setValue(Hive::CurrentUser, kKey, u"User", RegValue::Dword(7));
    reg().setValue(Hive::LocalMachine, kKey, u"Machine", RegValue::Dword(9));
    DWORD data = 0;
    EXPECT_EQ(RegGetDWORD(kKey, W("User"), data), 1);
    EXPECT_EQ(data, 7u);
    EXPECT_EQ(RegGetDWORD(kKey, W("Machine"), data), 0);
    EXPECT_EQ(RegGetDWORD_Local_Machine(kKey, W("Machine"), data), 1);
    EXPECT_EQ(data, 9u);
    EXPECT_EQ(RegGetDWORD_Local_Machine(kKey, W("User"), data), 0);
    for (const Call& open : nb().journal().calls("RegOpenKeyExW")) {
        EXPECT_EQ(open.access, 0x20019u);
    }

    // Longer than 4 bytes fails; shorter fills only its own bytes; no type check.
    reg().setValue(Hive::CurrentUser, kKey, u"Long", RegValue::Qword(1));
    EXPECT_EQ(RegGetDWORD(kKey, W("Long"), data), 0);
    reg().setValue(Hive::CurrentUser, kKey, u"Short", RegValue::Binary({0x12, 0x34}));
    data = 0xAAAAAAAA;
    EXPECT_EQ(RegGetDWORD(kKey, W("Short"), data), 1);
    EXPECT_EQ(data, 0xAAAA3412u);

    EXPECT_EQ(RegGetDWORD(kKey, W("Missing"), data), 0);
    EXPECT_EQ(RegGetDWORD(W("Software\\NoSuchKey"), W("User"), data), 0);
    EXPECT_EQ(nb().journal().count("RegCreateKeyExW"), 0u);
}

// 260 bytes at most: 129 characters and the terminator.
TEST_F(RegTest, StringReaderReadsAtMost260Bytes) {
    const std::u16string fits(129, u'a');
    const std::u16string tooLong(130, u'b');
    reg().setValue(Hive::CurrentUser, kKey, u"Fits", RegValue::String(fits, REG_EXPAND_SZ));
    reg().setValue(Hive::CurrentUser, kKey, u"TooLong", RegValue::String(tooLong));

    WCHAR data[130] = {};
    EXPECT_EQ(RegGetStr(kKey, W("Fits"), data), 1);
    EXPECT_EQ(std::u16string(data), fits);
    EXPECT_EQ(RegGetStr(kKey, W("TooLong"), data), 0);
    auto queries = nb().journal().calls("RegQueryValueExW");
    ASSERT_EQ(queries.size(), 2u);
    EXPECT_EQ(queries[0].outSize, 260u);
}

TEST_F(RegTest, StringReaderCreatesAMissingKey) {
    WCHAR data[130] = {};
    EXPECT_EQ(RegGetStr(kKey, W("Mode"), data), 0);
    EXPECT_TRUE(reg().keyExists(Hive::CurrentUser, kKey));
    auto creates = nb().journal().calls("RegCreateKeyExW");
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_EQ(creates[0].access, 0x2001Fu);
    EXPECT_EQ(creates[0].flags, DWORD(REG_OPTION_NON_VOLATILE));

    nb().faults().inject("RegCreateKeyExW", Fault::Always(ERROR_ACCESS_DENIED));
    SetLastError(0);
    EXPECT_EQ(RegGetStr(W("Software\\Other"), W("Mode"), data), 0);
    EXPECT_EQ(GetLastError(), LIBREG_ERROR_KEY_NOT_CREATED);
}

// --- Keys -------------------------------------------------------------------------------------

TEST_F(RegTest, KeyCheckAndKeyCreation) {
    EXPECT_EQ(RegDoesExistKey(kKey), 0);
    EXPECT_FALSE(reg().keyExists(Hive::CurrentUser, kKey));

    EXPECT_EQ(RegCreateKeyW(kKey), 1);
    EXPECT_TRUE(reg().keyExists(Hive::CurrentUser, kKey));
    auto creates = nb().journal().calls("RegCreateKeyExW");
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_EQ(creates[0].access, 3u);

    EXPECT_EQ(RegDoesExistKey(kKey), 1);
    EXPECT_EQ(RegCreateKeyW(kKey), 1);
    EXPECT_EQ(nb().journal().count("RegCreateKeyExW"), 1u); // existing: opened, not created

    nb().faults().inject("RegCreateKeyExW", Fault::Always(ERROR_ACCESS_DENIED));
    EXPECT_EQ(RegCreateKeyW(W("Software\\Refused")), 0);
    EXPECT_FALSE(logfile::Exists());
}

// --- Existence checks -------------------------------------------------------------------------

struct ExistCheck {
    const char* name;
    int (*check)(const WCHAR*, const WCHAR*);
    Hive hive;
    DWORD access;
    const char* message;
    int openSite;
    int querySite;
    bool readsData;
};

const ExistCheck kChecks[] = {
    {"RegDoesExistValue", RegDoesExistValue, Hive::LocalMachine, 0x20119, "Reg_IsExistValue", 181,
     201, true},
    {"RegDoesExistSzValue", RegDoesExistSzValue, Hive::CurrentUser, 0x20119, "RegDoesExistSzValue",
     226, 246, true},
    {"RegDoesExistStrValue", RegDoesExistStrValue, Hive::CurrentUser, 0x20119,
     "RegDoesExistStrValue", 271, 291, true},
    {"RegDoesExistDwordValue", RegDoesExistDwordValue, Hive::CurrentUser, 0x20019,
     "Reg_IsExistDwordValue", 311, 331, false},
};

TEST_F(RegTest, ExistenceChecksFindAnyValueOfTheName) {
    for (const ExistCheck& c : kChecks) {
        SCOPED_TRACE(c.name);
        nb().reset();
        logfile::CreateFolder();
        logfile::SetWriteLevel(0x400);
        reg().setValue(c.hive, kKey, u"Number", RegValue::Dword(1));
        reg().setValue(c.hive, kKey, u"Text", RegValue::String(u"x"));
        // Present only under the other root.
        Hive other = c.hive == Hive::LocalMachine ? Hive::CurrentUser : Hive::LocalMachine;
        reg().setValue(other, kKey, u"Elsewhere", RegValue::Dword(1));

        EXPECT_EQ(c.check(kKey, W("Number")), 1);
        EXPECT_EQ(c.check(kKey, W("Text")), 1);
        EXPECT_EQ(c.check(kKey, W("Elsewhere")), 0);
        auto opens = nb().journal().calls("RegOpenKeyExW");
        ASSERT_FALSE(opens.empty());
        EXPECT_EQ(opens[0].target,
                  std::string(celdor::sim::HiveName(c.hive)) + "\\Software\\CeldorTest");
        EXPECT_EQ(opens[0].access, c.access);

        // Over 1024 bytes: "more data" for the checks that read the data; the size-only check
        // still finds it.
        reg().setValue(c.hive, kKey, u"Big", RegValue::Binary(std::vector<std::uint8_t>(2000)));
        logfile::Remove();
        EXPECT_EQ(c.check(kKey, W("Big")), c.readsData ? 0 : 1);
        if (c.readsData) {
            EXPECT_EQ(GetLastError(), DWORD(ERROR_MORE_DATA));
            auto rests = LogRests();
            ASSERT_EQ(rests.size(), 2u);
            EXPECT_EQ(rests[0], "debug info --------------------" + std::string(c.message) +
                                    " valuepath Software\\CeldorTest, valuename Big, lstatus "
                                    "234, valen 2000");
        } else {
            EXPECT_FALSE(logfile::Exists());
        }
    }
}

// A missing value: a debug line, then an error line, and the query's status as last error.
TEST_F(RegTest, ExistenceChecksReportAMissingValue) {
    for (const ExistCheck& c : kChecks) {
        SCOPED_TRACE(c.name);
        nb().reset();
        logfile::CreateFolder();
        logfile::SetWriteLevel(0x400);
        nb().registry().createKey(c.hive, kKey);

        EXPECT_EQ(c.check(kKey, W("Missing")), 0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
        auto rests = LogRests();
        ASSERT_EQ(rests.size(), 2u);
        EXPECT_THAT(rests[0],
                    MatchesRegex("debug info --------------------" + std::string(c.message) +
                                 " valuepath Software.CeldorTest, valuename Missing, "
                                 "lstatus 2, valen [0-9]+"));
        EXPECT_THAT(rests[1], MatchesRegex("ERROR --------------------libreg :line " +
                                           std::to_string(c.querySite) + ", Error [0-9a-f]+"));

        // With errors only, just the error line.
        logfile::Remove();
        logfile::SetWriteLevel(0x100);
        EXPECT_EQ(c.check(kKey, W("Missing")), 0);
        rests = LogRests();
        ASSERT_EQ(rests.size(), 1u);
        EXPECT_THAT(rests[0], ::testing::StartsWith("ERROR "));
    }
}

// A missing key: one error line with the thread's last error as it stood, and
// LIBREG_ERROR_KEY_NOT_OPEN left behind.
TEST_F(RegTest, ExistenceChecksReportAMissingKey) {
    for (const ExistCheck& c : kChecks) {
        SCOPED_TRACE(c.name);
        nb().reset();
        logfile::CreateFolder();
        logfile::SetWriteLevel(0x400);

        SetLastError(0x1234);
        EXPECT_EQ(c.check(W("Software\\NoSuchKey"), W("Value")), 0);
        EXPECT_EQ(GetLastError(), LIBREG_ERROR_KEY_NOT_OPEN);
        EXPECT_THAT(LogRests(), ElementsAre("ERROR --------------------libreg :line " +
                                            std::to_string(c.openSite) + ", Error 1234"));
        for (const Call& query : nb().journal().calls("RegQueryValueExW")) {
            EXPECT_THAT(query.target, ::testing::HasSubstr("FileLogger")); // the log's mask only
        }
    }
}

} // namespace
