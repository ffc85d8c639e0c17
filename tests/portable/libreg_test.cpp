// The registry helpers through the public interface, with keys and values arranged and
// inspected through the Win32 registry calls, and their failures read from the log file.
#include <gtest/gtest.h>

#include "diagnostic_log.h"

#include <algorithm>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

namespace {

using portable::WString;

const WCHAR* const kParent = WTEXT("Software\\CeldorPortableTests");
const WCHAR* const kKey = WTEXT("Software\\CeldorPortableTests\\Libreg");
const WCHAR* const kMissingKey = WTEXT("Software\\CeldorPortableTests\\Libreg\\Missing");
// Keys the tests may create below kKey, innermost first.
const WCHAR* const kSubkeys[] = {WTEXT("Software\\CeldorPortableTests\\Libreg\\Made\\Inner"),
                                 WTEXT("Software\\CeldorPortableTests\\Libreg\\Made"), kMissingKey};

WString Repeat(WCHAR c, std::size_t count) {
    return WString(count, c);
}

// Removes the test key and what the tests may have made below it.
void DeleteTestKeys(HKEY root) {
    for (const WCHAR* path : kSubkeys) {
        RegDeleteKeyW(root, path);
    }
    RegDeleteKeyW(root, kKey);
}

struct Value {
    LSTATUS status = ERROR_SUCCESS;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

Value Query(HKEY key, const WCHAR* name) {
    Value value;
    value.data.assign(4096, 0);
    DWORD size = static_cast<DWORD>(value.data.size());
    value.status = RegQueryValueExW(key, name, nullptr, &value.type, value.data.data(), &size);
    value.data.resize(value.status == ERROR_SUCCESS ? size : 0);
    return value;
}

std::vector<BYTE> Bytes(const WString& text) {
    const auto* begin = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(begin, begin + (text.size() + 1) * sizeof(WCHAR));
}

bool KeyExists(HKEY root, const WCHAR* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// One test key under the current user, and the same under the machine where this program may
// write there.
class Libreg : public ::testing::Test {
protected:
    void SetUp() override {
        m_madeUserParent = !KeyExists(HKEY_CURRENT_USER, kParent);
        DeleteTestKeys(HKEY_CURRENT_USER);
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                  nullptr, &m_user, nullptr),
                  ERROR_SUCCESS);
        m_madeMachineParent = !KeyExists(HKEY_LOCAL_MACHINE, kParent);
        DeleteTestKeys(HKEY_LOCAL_MACHINE);
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                            &m_machine, nullptr) != ERROR_SUCCESS) {
            m_machine = nullptr;
        }
    }

    void TearDown() override {
        RegCloseKey(m_user);
        DeleteTestKeys(HKEY_CURRENT_USER);
        if (m_machine != nullptr) {
            RegCloseKey(m_machine);
            DeleteTestKeys(HKEY_LOCAL_MACHINE);
        }
        // The parents go only when this test made them and nothing else lives there.
        if (m_madeUserParent) {
            RegDeleteKeyW(HKEY_CURRENT_USER, kParent);
        }
        if (m_madeMachineParent) {
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, kParent);
        }
    }

    static void Set(HKEY key, const WCHAR* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
    }
    static void SetDword(HKEY key, const WCHAR* name, DWORD value) {
        Set(key, name, REG_DWORD, &value, sizeof(value));
    }
    static void SetText(HKEY key, const WCHAR* name, const WString& text) {
        const std::vector<BYTE> bytes = Bytes(text);
        Set(key, name, REG_SZ, bytes.data(), static_cast<DWORD>(bytes.size()));
    }

    HKEY m_user = nullptr;
    HKEY m_machine = nullptr;
    bool m_madeUserParent = false;
    bool m_madeMachineParent = false;
};

#define REQUIRE_MACHINE_KEY()                                                                      \
    if (m_machine == nullptr) {                                                                    \
        GTEST_SKIP() << "this program may not write under HKEY_LOCAL_MACHINE";                     \
    }

TEST_F(Libreg, StringWritersStoreTheirTypeAndTheTerminator) {
    ASSERT_EQ(RegSetStr(kKey, WTEXT("Expand"), WTEXT("%SystemRoot%\\x")), 1);
    ASSERT_EQ(RegSetSz(kKey, WTEXT("Plain"), WTEXT("%SystemRoot%\\x")), 1);
    ASSERT_EQ(RegSetStr(kKey, WTEXT("EmptyExpand"), WTEXT("")), 1);
    ASSERT_EQ(RegSetSz(kKey, WTEXT("EmptyPlain"), WTEXT("")), 1);

    const Value expand = Query(m_user, WTEXT("Expand"));
    EXPECT_EQ(expand.type, DWORD(REG_EXPAND_SZ));
    EXPECT_EQ(expand.data, Bytes(WTEXT("%SystemRoot%\\x"))) << "stored as given, not expanded";
    const Value plain = Query(m_user, WTEXT("Plain"));
    EXPECT_EQ(plain.type, DWORD(REG_SZ));
    EXPECT_EQ(plain.data, Bytes(WTEXT("%SystemRoot%\\x")));

    const Value emptyExpand = Query(m_user, WTEXT("EmptyExpand"));
    EXPECT_EQ(emptyExpand.type, DWORD(REG_EXPAND_SZ));
    EXPECT_EQ(emptyExpand.data, std::vector<BYTE>(2, 0));
    const Value emptyPlain = Query(m_user, WTEXT("EmptyPlain"));
    EXPECT_EQ(emptyPlain.type, DWORD(REG_SZ));
    EXPECT_EQ(emptyPlain.data, std::vector<BYTE>(2, 0));

    // Overwriting replaces type and data.
    ASSERT_EQ(RegSetSz(kKey, WTEXT("Expand"), WTEXT("ab")), 1);
    const Value replaced = Query(m_user, WTEXT("Expand"));
    EXPECT_EQ(replaced.type, DWORD(REG_SZ));
    EXPECT_EQ(replaced.data, Bytes(WTEXT("ab")));
}

TEST_F(Libreg, DwordWriterStoresFourBytesThatTheReaderGetsBack) {
    ASSERT_EQ(RegSetDWORD(kKey, WTEXT("Mode"), 0x80000001u), 1);
    const Value stored = Query(m_user, WTEXT("Mode"));
    EXPECT_EQ(stored.type, DWORD(REG_DWORD));
    EXPECT_EQ(stored.data, (std::vector<BYTE>{0x01, 0x00, 0x00, 0x80}));

    DWORD read = 0;
    EXPECT_EQ(RegGetDWORD(kKey, WTEXT("Mode"), read), 1);
    EXPECT_EQ(read, 0x80000001u);
}

TEST_F(Libreg, WritersOnAMissingKeyFailAndDoNotCreateIt) {
    EXPECT_EQ(RegSetStr(kMissingKey, WTEXT("V"), WTEXT("x")), 0);
    EXPECT_EQ(RegSetSz(kMissingKey, WTEXT("V"), WTEXT("x")), 0);
    EXPECT_EQ(RegSetDWORD(kMissingKey, WTEXT("V"), 1), 0);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kMissingKey));
}

TEST_F(Libreg, DwordReadersFillOnlyWhatTheValueHolds) {
    const BYTE two[2] = {0x34, 0x12};
    Set(m_user, WTEXT("Short"), REG_BINARY, two, sizeof(two));
    const unsigned long long eight = 5;
    Set(m_user, WTEXT("Long"), REG_QWORD, &eight, sizeof(eight));
    SetText(m_user, WTEXT("Text"), WTEXT("A"));

    DWORD read = 0xAAAAAAAA;
    EXPECT_EQ(RegGetDWORD(kKey, WTEXT("Short"), read), 1);
    EXPECT_EQ(read, 0xAAAA1234u);
    // The type is not examined: "A" and its terminator are four bytes.
    EXPECT_EQ(RegGetDWORD(kKey, WTEXT("Text"), read), 1);
    EXPECT_EQ(read, 0x00000041u);

    EXPECT_EQ(RegGetDWORD(kKey, WTEXT("Long"), read), 0);
    EXPECT_EQ(RegGetDWORD(kKey, WTEXT("Missing"), read), 0);
    EXPECT_EQ(RegGetDWORD(kMissingKey, WTEXT("Short"), read), 0);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kMissingKey));
}

TEST_F(Libreg, LocalMachineReaderLooksOnlyUnderTheMachine) {
    REQUIRE_MACHINE_KEY();
    SetDword(m_machine, WTEXT("Machine"), 0x11);
    SetDword(m_user, WTEXT("User"), 0x22);
    const BYTE two[2] = {0x34, 0x12};
    Set(m_machine, WTEXT("Short"), REG_BINARY, two, sizeof(two));
    const unsigned long long eight = 5;
    Set(m_machine, WTEXT("Long"), REG_QWORD, &eight, sizeof(eight));

    DWORD read = 0;
    EXPECT_EQ(RegGetDWORD_Local_Machine(kKey, WTEXT("Machine"), read), 1);
    EXPECT_EQ(read, 0x11u);
    EXPECT_EQ(RegGetDWORD_Local_Machine(kKey, WTEXT("User"), read), 0);
    EXPECT_EQ(RegGetDWORD(kKey, WTEXT("Machine"), read), 0);

    read = 0xAAAAAAAA;
    EXPECT_EQ(RegGetDWORD_Local_Machine(kKey, WTEXT("Short"), read), 1);
    EXPECT_EQ(read, 0xAAAA1234u);
    EXPECT_EQ(RegGetDWORD_Local_Machine(kKey, WTEXT("Long"), read), 0);
    EXPECT_EQ(RegGetDWORD_Local_Machine(kMissingKey, WTEXT("Machine"), read), 0);
}

TEST_F(Libreg, StringReaderTakesAtMost130CharactersWithTheTerminator) {
    SetText(m_user, WTEXT("Fits"), Repeat(WTEXT('f'), 129));
    SetText(m_user, WTEXT("TooLong"), Repeat(WTEXT('t'), 130));

    // The reader may use 130 characters of the buffer and not one more.
    WCHAR buffer[140];
    std::fill(std::begin(buffer), std::end(buffer), WCHAR(0xAAAA));
    EXPECT_EQ(RegGetStr(kKey, WTEXT("Fits"), buffer), 1);
    EXPECT_EQ(WString(buffer), Repeat(WTEXT('f'), 129));
    EXPECT_EQ(buffer[130], WCHAR(0xAAAA));

    std::fill(std::begin(buffer), std::end(buffer), WCHAR(0xAAAA));
    EXPECT_EQ(RegGetStr(kKey, WTEXT("TooLong"), buffer), 0);
    EXPECT_EQ(buffer[130], WCHAR(0xAAAA));

    // The type is not examined either.
    const DWORD four = 0x00420041; // "AB" without a terminator
    Set(m_user, WTEXT("Number"), REG_DWORD, &four, sizeof(four));
    std::fill(std::begin(buffer), std::end(buffer), WCHAR(0));
    EXPECT_EQ(RegGetStr(kKey, WTEXT("Number"), buffer), 1);
    EXPECT_EQ(WString(buffer), WTEXT("AB"));
}

TEST_F(Libreg, StringReaderLeavesAMissingKeyCreatedAndEmpty) {
    WCHAR buffer[130] = {};
    EXPECT_EQ(RegGetStr(kMissingKey, WTEXT("Name"), buffer), 0);
    HKEY made = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kMissingKey, 0, KEY_READ, &made), ERROR_SUCCESS);
    EXPECT_EQ(Query(made, WTEXT("Name")).status, ERROR_FILE_NOT_FOUND);
    RegCloseKey(made);

    // Now the key is there, a value written into it reads back.
    ASSERT_EQ(RegSetSz(kMissingKey, WTEXT("Name"), WTEXT("storage")), 1);
    EXPECT_EQ(RegGetStr(kMissingKey, WTEXT("Name"), buffer), 1);
    EXPECT_EQ(WString(buffer), WTEXT("storage"));
}

TEST_F(Libreg, KeysAreTestedAndMadeUnderTheCurrentUser) {
    EXPECT_EQ(RegDoesExistKey(kKey), 1);
    EXPECT_EQ(RegDoesExistKey(WTEXT("Software\\CeldorPortableTests\\Libreg\\Made")), 0);
    EXPECT_FALSE(
        KeyExists(HKEY_CURRENT_USER, WTEXT("Software\\CeldorPortableTests\\Libreg\\Made")));
    // A key only the machine has is not the user's.
    EXPECT_EQ(RegDoesExistKey(WTEXT("HARDWARE")), 0);

    // Missing levels are made along the way; an existing key is fine too.
    EXPECT_EQ(RegCreateKeyW(WTEXT("Software\\CeldorPortableTests\\Libreg\\Made\\Inner")), 1);
    EXPECT_EQ(RegDoesExistKey(WTEXT("Software\\CeldorPortableTests\\Libreg\\Made")), 1);
    EXPECT_EQ(RegDoesExistKey(WTEXT("Software\\CeldorPortableTests\\Libreg\\Made\\Inner")), 1);
    EXPECT_EQ(RegCreateKeyW(WTEXT("Software\\CeldorPortableTests\\Libreg\\Made\\Inner")), 1);
    EXPECT_EQ(RegCreateKeyW(kKey), 1);
    EXPECT_FALSE(
        KeyExists(HKEY_LOCAL_MACHINE, WTEXT("Software\\CeldorPortableTests\\Libreg\\Made")));

    EXPECT_EQ(
        RegSetDWORD(WTEXT("Software\\CeldorPortableTests\\Libreg\\Made\\Inner"), WTEXT("V"), 3), 1);
}

// The four value-existence checks: each reports a value of the name, whatever its type.
struct ExistCheck {
    const char* name;
    int (*check)(const WCHAR*, const WCHAR*);
    bool machine;        // looks under HKEY_LOCAL_MACHINE rather than HKEY_CURRENT_USER
    bool acceptsAnySize; // asks only for the size, so a value over 1024 bytes still counts
    const char* debugName;
    int openSite;
    int querySite;
};

const ExistCheck kChecks[] = {
    {"RegDoesExistValue", RegDoesExistValue, true, false, "Reg_IsExistValue", 181, 201},
    {"RegDoesExistSzValue", RegDoesExistSzValue, false, false, "RegDoesExistSzValue", 226, 246},
    {"RegDoesExistStrValue", RegDoesExistStrValue, false, false, "RegDoesExistStrValue", 271, 291},
    {"RegDoesExistDwordValue", RegDoesExistDwordValue, false, true, "Reg_IsExistDwordValue", 311,
     331},
};

TEST_F(Libreg, ExistenceChecksLookUnderTheirRootAndIgnoreTheType) {
    REQUIRE_MACHINE_KEY();
    SetDword(m_machine, WTEXT("OnMachine"), 1);
    SetDword(m_user, WTEXT("Number"), 1);
    SetText(m_user, WTEXT("Text"), WTEXT("x"));
    Set(m_user, WTEXT("Empty"), REG_BINARY, nullptr, 0);
    for (HKEY key : {m_user, m_machine}) {
        SetText(key, WTEXT("Both"), WTEXT("y"));
    }

    for (const ExistCheck& check : kChecks) {
        SCOPED_TRACE(check.name);
        EXPECT_EQ(check.check(kKey, WTEXT("Both")), 1);
        EXPECT_EQ(check.check(kKey, WTEXT("OnMachine")), check.machine ? 1 : 0);
        for (const WCHAR* name : {WTEXT("Number"), WTEXT("Text"), WTEXT("Empty")}) {
            EXPECT_EQ(check.check(kKey, name), check.machine ? 0 : 1);
        }
    }
}

TEST_F(Libreg, OnlyTheDwordCheckReportsAValueOver1024Bytes) {
    REQUIRE_MACHINE_KEY();
    const std::vector<BYTE> limit(1024, 0x5A);
    const std::vector<BYTE> over(1025, 0x5A);
    for (HKEY key : {m_user, m_machine}) {
        Set(key, WTEXT("Limit"), REG_BINARY, limit.data(), static_cast<DWORD>(limit.size()));
        Set(key, WTEXT("Over"), REG_BINARY, over.data(), static_cast<DWORD>(over.size()));
    }

    for (const ExistCheck& check : kChecks) {
        SCOPED_TRACE(check.name);
        EXPECT_EQ(check.check(kKey, WTEXT("Limit")), 1);
        SetLastError(0);
        EXPECT_EQ(check.check(kKey, WTEXT("Over")), check.acceptsAnySize ? 1 : 0);
        if (!check.acceptsAnySize) {
            EXPECT_EQ(GetLastError(), DWORD(ERROR_MORE_DATA));
        }
    }
}

TEST_F(Libreg, FailedExistenceChecksLeaveTheirCause) {
    for (const ExistCheck& check : kChecks) {
        SCOPED_TRACE(check.name);
        SetLastError(0);
        EXPECT_EQ(check.check(kMissingKey, WTEXT("V")), 0);
        EXPECT_EQ(GetLastError(), LIBREG_ERROR_KEY_NOT_OPEN);
        // Keys every installation has, under either root.
        SetLastError(0);
        EXPECT_EQ(check.check(WTEXT("Software"), WTEXT("CeldorPortableTestsNoSuchValue")), 0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    }
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kMissingKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMissingKey));
}

// The lines a failed check leaves, without their "[stamp number] " prefix.
std::vector<std::string> Messages(const portable::DiagnosticLog& log) {
    static const std::regex prefix(R"(^\[\d{4}-\d{2}-\d{2},\d{2}:\d{2}:\d{2} \d+\] )");
    std::vector<std::string> messages;
    for (const std::string& line : log.Lines()) {
        messages.push_back(std::regex_replace(line, prefix, ""));
    }
    return messages;
}

class LibregLog : public ::testing::Test {
protected:
    void SetUp() override {
        if (!m_log.Arrange()) {
            GTEST_SKIP() << "the log's level mask cannot be set here";
        }
    }
    void TearDown() override { m_log.Restore(); }

    portable::DiagnosticLog m_log;
};

TEST_F(LibregLog, FailedExistenceChecksLogTheirSites) {
    m_log.SetLevel(0x400);
    for (const ExistCheck& check : kChecks) {
        SCOPED_TRACE(check.name);
        m_log.RemoveFile();
        check.check(kMissingKey, WTEXT("V"));
        check.check(WTEXT("Software"), WTEXT("CeldorPortableTestsNoSuchValue"));

        const std::vector<std::string> messages = Messages(m_log);
        ASSERT_EQ(messages.size(), 3u);
        const std::string hex = ", Error [0-9a-f]+";
        EXPECT_TRUE(
            std::regex_match(messages[0], std::regex("ERROR --------------------libreg :line " +
                                                     std::to_string(check.openSite) + hex)))
            << messages[0];
        EXPECT_TRUE(std::regex_match(
            messages[1],
            std::regex(std::string("debug info --------------------") + check.debugName +
                       " valuepath Software, valuename CeldorPortableTestsNoSuchValue, "
                       "lstatus 2, valen \\d+")))
            << messages[1];
        EXPECT_TRUE(
            std::regex_match(messages[2], std::regex("ERROR --------------------libreg :line " +
                                                     std::to_string(check.querySite) + hex)))
            << messages[2];
    }
}

TEST_F(LibregLog, ValueOverTheBufferIsLoggedWithItsSize) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const std::vector<BYTE> over(1030, 0x5A);
    ASSERT_EQ(RegSetValueExW(key, WTEXT("Over"), 0, REG_BINARY, over.data(), 1030), ERROR_SUCCESS);
    RegCloseKey(key);

    m_log.SetLevel(0x100);
    EXPECT_EQ(RegDoesExistStrValue(kKey, WTEXT("Over")), 0);
    m_log.SetLevel(0x400);
    EXPECT_EQ(RegDoesExistStrValue(kKey, WTEXT("Over")), 0);
    DeleteTestKeys(HKEY_CURRENT_USER);

    const std::vector<std::string> messages = Messages(m_log);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_TRUE(
        std::regex_match(messages[0], std::regex("ERROR --------------------libreg :line 291, .*")))
        << messages[0];
    EXPECT_EQ(messages[1], "debug info --------------------RegDoesExistStrValue valuepath "
                           "Software\\CeldorPortableTests\\Libreg, valuename Over, lstatus 234, "
                           "valen 1030");
    EXPECT_TRUE(
        std::regex_match(messages[2], std::regex("ERROR --------------------libreg :line 291, .*")))
        << messages[2];
}

} // namespace
