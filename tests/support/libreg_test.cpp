// The exported registry helpers against the simulated registry: the roots and access masks they
// open keys with, and the refusals and faults only the notebook can arrange.
#include "log_file.h"

#include <celdor/libreg.h>

#include <functional>
#include <string>

using celdor::sim::Fault;
using celdor::sim::Hive;
using celdor::sim::RegValue;

namespace {

constexpr char16_t kKey[] = u"Software\\CeldorTest";

using RegTest = LoggingTest;

// The access a helper asks for decides what a guarded key lets it do: reading helpers read,
// writers read and write, the creation of a key only queries and sets values.
TEST_F(RegTest, EachHelperOpensItsKeyUnderItsRootWithItsAccess) {
    for (Hive hive : {Hive::CurrentUser, Hive::LocalMachine}) {
        nb().registry().setValue(hive, kKey, u"V", RegValue::Dword(1));
    }
    DWORD number = 0;
    WCHAR text[130] = {};
    const struct {
        const char* what;
        std::function<int()> call;
        const char* function; // the call that opens the key
        const char* key;
        DWORD access;
        std::size_t flushes;
    } cases[] = {
        {"RegGetDWORD", [&] { return RegGetDWORD(kKey, u"V", number); }, "RegOpenKeyExW",
         "HKEY_CURRENT_USER\\Software\\CeldorTest", 0x20019, 0},
        {"RegGetDWORD_Local_Machine", [&] { return RegGetDWORD_Local_Machine(kKey, u"V", number); },
         "RegOpenKeyExW", "HKEY_LOCAL_MACHINE\\Software\\CeldorTest", 0x20019, 0},
        {"RegGetStr", [&] { return RegGetStr(kKey, u"V", text); }, "RegOpenKeyExW",
         "HKEY_CURRENT_USER\\Software\\CeldorTest", 0x20019, 0},
        {"RegGetStr of a missing key", [&] { return RegGetStr(u"Software\\New", u"V", text); },
         "RegCreateKeyExW", "HKEY_CURRENT_USER\\Software\\New", 0x2001F, 0},
        {"RegSetStr", [] { return RegSetStr(kKey, u"V", u"x"); }, "RegOpenKeyExW",
         "HKEY_CURRENT_USER\\Software\\CeldorTest", 0x2001F, 1},
        {"RegSetSz", [] { return RegSetSz(kKey, u"V", u"x"); }, "RegOpenKeyExW",
         "HKEY_CURRENT_USER\\Software\\CeldorTest", 0x2001F, 1},
        {"RegSetDWORD", [] { return RegSetDWORD(kKey, u"V", 1); }, "RegOpenKeyExW",
         "HKEY_CURRENT_USER\\Software\\CeldorTest", 0x2001F, 1},
        {"RegDoesExistValue", [] { return RegDoesExistValue(kKey, u"V"); }, "RegOpenKeyExW",
         "HKEY_LOCAL_MACHINE\\Software\\CeldorTest", 0x20119, 0},
        {"RegDoesExistSzValue", [] { return RegDoesExistSzValue(kKey, u"V"); }, "RegOpenKeyExW",
         "HKEY_CURRENT_USER\\Software\\CeldorTest", 0x20119, 0},
        {"RegDoesExistStrValue", [] { return RegDoesExistStrValue(kKey, u"V"); }, "RegOpenKeyExW",
         "HKEY_CURRENT_USER\\Software\\CeldorTest", 0x20119, 0},
        {"RegDoesExistDwordValue", [] { return RegDoesExistDwordValue(kKey, u"V"); },
         "RegOpenKeyExW", "HKEY_CURRENT_USER\\Software\\CeldorTest", 0x20019, 0},
        {"RegDoesExistKey", [] { return RegDoesExistKey(kKey); }, "RegOpenKeyExW",
         "HKEY_CURRENT_USER\\Software\\CeldorTest", 0x20019, 0},
        {"RegCreateKeyW", [] { return RegCreateKeyW(u"Software\\Made"); }, "RegCreateKeyExW",
         "HKEY_CURRENT_USER\\Software\\Made", 3, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        nb().journal().clear();
        c.call();
        const auto opens = nb().journal().calls(c.function);
        ASSERT_EQ(opens.size(), 1u);
        EXPECT_EQ(opens[0].target, c.key);
        EXPECT_EQ(opens[0].access, c.access);
        if (std::string(c.function) == "RegCreateKeyExW") {
            EXPECT_EQ(opens[0].flags, DWORD(REG_OPTION_NON_VOLATILE));
        }
        EXPECT_EQ(nb().journal().count("RegFlushKey"), c.flushes);
    }
}

TEST_F(RegTest, RefusedWriteIsNeitherFlushedNorLogged) {
    logfile::SetWriteLevel(0x400);
    nb().registry().createKey(Hive::CurrentUser, kKey);
    nb().registry().setReadOnly(Hive::CurrentUser, kKey, true);
    EXPECT_EQ(RegSetDWORD(kKey, u"V", 1), 0);
    nb().registry().setReadOnly(Hive::CurrentUser, kKey, false);

    nb().faults().inject("RegSetValueExW", Fault::Always(ERROR_ACCESS_DENIED));
    EXPECT_EQ(RegSetStr(kKey, u"V", u"x"), 0);
    EXPECT_EQ(RegSetDWORD(kKey, u"V", 1), 0);

    EXPECT_EQ(nb().journal().count("RegFlushKey"), 0u);
    EXPECT_FALSE(nb().registry().value(Hive::CurrentUser, kKey, u"V"));
    EXPECT_FALSE(logfile::Exists());
}

TEST_F(RegTest, KeyThatCannotBeCreatedIsReportedButNotLogged) {
    logfile::SetWriteLevel(0x400);
    nb().faults().inject("RegCreateKeyExW", Fault::Always(ERROR_ACCESS_DENIED));
    WCHAR text[130] = {};
    SetLastError(0);
    EXPECT_EQ(RegGetStr(kKey, u"Mode", text), 0);
    EXPECT_EQ(GetLastError(), LIBREG_ERROR_KEY_NOT_CREATED);
    EXPECT_EQ(RegCreateKeyW(kKey), 0);
    EXPECT_FALSE(nb().registry().keyExists(Hive::CurrentUser, kKey));
    EXPECT_FALSE(logfile::Exists());
}

} // namespace
