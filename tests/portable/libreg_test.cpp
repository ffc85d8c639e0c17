// The registry helpers through the public interface, with keys and values arranged and
// inspected through the Win32 registry calls, and their failures read from the log file.
#include "diagnostic_log.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace {

using portable::KeyExists;
using portable::SetText;
using portable::SetValue;
using portable::WString;

const WCHAR* const kParent = WTEXT("Software\\CeldorPortableTests");
const WCHAR* const kKey = WTEXT("Software\\CeldorPortableTests\\Libreg");
const WCHAR* const kMissingKey = WTEXT("Software\\CeldorPortableTests\\Libreg\\Missing");
const WCHAR* const kMade = WTEXT("Software\\CeldorPortableTests\\Libreg\\Made");
const WCHAR* const kInner = WTEXT("Software\\CeldorPortableTests\\Libreg\\Made\\Inner");

// Removes what the tests may have made, innermost first; the parent only when it is empty.
void DeleteTestKeys(HKEY root) {
    for (const WCHAR* path : {kInner, kMade, kMissingKey, kKey, kParent}) {
        RegDeleteKeyW(root, path);
    }
}

// The type and bytes a value holds; REG_NONE when it cannot be read.
std::pair<DWORD, std::string> Stored(HKEY key, const WCHAR* name) {
    char data[512];
    DWORD type = REG_NONE, size = sizeof(data);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
        ERROR_SUCCESS) {
        return {REG_NONE, ""};
    }
    return {type, std::string(data, size)};
}

// One test key under the current user and the same under the machine, and the log.
class Libreg : public portable::LogReadingTest {
protected:
    void SetUp() override {
        LogReadingTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            DeleteTestKeys(root);
        }
        ASSERT_EQ(Create(HKEY_CURRENT_USER, m_user), ERROR_SUCCESS);
        ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, m_machine), ERROR_SUCCESS);
    }

    void TearDown() override {
        for (HKEY key : {m_user, m_machine}) {
            if (key != nullptr) {
                RegCloseKey(key);
            }
        }
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            DeleteTestKeys(root);
        }
        LogReadingTest::TearDown();
    }

    static LSTATUS Create(HKEY root, HKEY& key) {
        return RegCreateKeyExW(root, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                               nullptr);
    }

    HKEY m_user = nullptr;
    HKEY m_machine = nullptr;
};

// Each writer stores its type, strings as given with their terminator; writing a value again
// replaces its type and data.
TEST_F(Libreg, WritersStoreTheirTypeAndBytes) {
    ASSERT_EQ(RegSetStr(kKey, WTEXT("Expand"), WTEXT("%a%")), 1);
    ASSERT_EQ(RegSetSz(kKey, WTEXT("Plain"), WTEXT("%a%")), 1);
    ASSERT_EQ(RegSetStr(kKey, WTEXT("EmptyExpand"), WTEXT("")), 1);
    ASSERT_EQ(RegSetSz(kKey, WTEXT("EmptyPlain"), WTEXT("")), 1);
    ASSERT_EQ(RegSetSz(kKey, WTEXT("Number"), WTEXT("x")), 1);
    ASSERT_EQ(RegSetDWORD(kKey, WTEXT("Number"), 0x80000001u), 1);
    const std::string text("%\0a\0%\0\0\0", 8), empty("\0\0", 2);
    EXPECT_EQ(Stored(m_user, WTEXT("Expand")), std::pair(DWORD(REG_EXPAND_SZ), text));
    EXPECT_EQ(Stored(m_user, WTEXT("Plain")), std::pair(DWORD(REG_SZ), text));
    EXPECT_EQ(Stored(m_user, WTEXT("EmptyExpand")), std::pair(DWORD(REG_EXPAND_SZ), empty));
    EXPECT_EQ(Stored(m_user, WTEXT("EmptyPlain")), std::pair(DWORD(REG_SZ), empty));
    EXPECT_EQ(Stored(m_user, WTEXT("Number")),
              std::pair(DWORD(REG_DWORD), std::string("\1\0\0\x80", 4)));
}

TEST_F(Libreg, WritersOnAMissingKeyFailAndDoNotCreateIt) {
    EXPECT_EQ(RegSetStr(kMissingKey, WTEXT("V"), WTEXT("x")), 0);
    EXPECT_EQ(RegSetSz(kMissingKey, WTEXT("V"), WTEXT("x")), 0);
    EXPECT_EQ(RegSetDWORD(kMissingKey, WTEXT("V"), 1), 0);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kMissingKey));
}

// A value of up to four bytes, whatever its type, fills that many bytes of the variable; a
// longer one fails. Each reader looks under its own root only.
TEST_F(Libreg, DwordReadersFillOnlyWhatTheValueHolds) {
    SetValue(m_user, WTEXT("Short"), REG_BINARY, "\x34\x12", 2);
    SetValue(m_user, WTEXT("Long"), REG_QWORD, "\5\0\0\0\0\0\0\0", 8);
    SetText(m_user, WTEXT("Text"), WTEXT("A")); // "A" and its terminator: four bytes
    SetValue(m_machine, WTEXT("Machine"), REG_BINARY, "\x9", 1);
    const struct {
        int (*reader)(const WCHAR*, const WCHAR*, DWORD&);
        const WCHAR* key;
        const WCHAR* name;
        DWORD read; // 0: the reader fails
    } cases[] = {{RegGetDWORD, kKey, WTEXT("Short"), 0xAAAA1234u},
                 {RegGetDWORD, kKey, WTEXT("Text"), 0x00000041u},
                 {RegGetDWORD, kKey, WTEXT("Long"), 0},
                 {RegGetDWORD, kKey, WTEXT("Missing"), 0},
                 {RegGetDWORD, kKey, WTEXT("Machine"), 0},
                 {RegGetDWORD, kMissingKey, WTEXT("Short"), 0},
                 {RegGetDWORD_Local_Machine, kKey, WTEXT("Machine"), 0xAAAAAA09u},
                 {RegGetDWORD_Local_Machine, kKey, WTEXT("Short"), 0}};
    for (const auto& c : cases) {
        DWORD read = 0xAAAAAAAA;
        EXPECT_EQ(c.reader(c.key, c.name, read), c.read != 0 ? 1 : 0);
        if (c.read != 0) {
            EXPECT_EQ(read, c.read);
        }
    }
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kMissingKey));
}

TEST_F(Libreg, StringReaderTakesAtMost130CharactersWithTheTerminator) {
    SetText(m_user, WTEXT("Fits"), WString(129, WTEXT('f')));
    SetText(m_user, WTEXT("TooLong"), WString(130, WTEXT('t')));
    const DWORD four = 0x00420041; // "AB" without a terminator: the type is not examined
    SetValue(m_user, WTEXT("Number"), REG_DWORD, &four, sizeof(four));

    // The reader may use 130 characters of the buffer and not one more.
    WCHAR buffer[140];
    std::fill(std::begin(buffer), std::end(buffer), WCHAR(0xAAAA));
    EXPECT_EQ(RegGetStr(kKey, WTEXT("Fits"), buffer), 1);
    EXPECT_EQ(WString(buffer), WString(129, WTEXT('f')));
    EXPECT_EQ(buffer[130], WCHAR(0xAAAA));

    std::fill(std::begin(buffer), std::end(buffer), WCHAR(0xAAAA));
    EXPECT_EQ(RegGetStr(kKey, WTEXT("TooLong"), buffer), 0);
    EXPECT_EQ(buffer[130], WCHAR(0xAAAA));

    std::fill(std::begin(buffer), std::end(buffer), WCHAR(0));
    EXPECT_EQ(RegGetStr(kKey, WTEXT("Number"), buffer), 1);
    EXPECT_EQ(WString(buffer), WTEXT("AB"));
}

TEST_F(Libreg, StringReaderLeavesAMissingKeyCreatedAndEmpty) {
    WCHAR buffer[130] = {};
    EXPECT_EQ(RegGetStr(kMissingKey, WTEXT("Name"), buffer), 0);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kMissingKey));
    ASSERT_EQ(RegSetSz(kMissingKey, WTEXT("Name"), WTEXT("storage")), 1);
    EXPECT_EQ(RegGetStr(kMissingKey, WTEXT("Name"), buffer), 1);
    EXPECT_EQ(WString(buffer), WTEXT("storage"));
}

TEST_F(Libreg, KeysAreTestedAndMadeUnderTheCurrentUser) {
    EXPECT_EQ(RegDoesExistKey(kKey), 1);
    EXPECT_EQ(RegDoesExistKey(kMade), 0);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kMade));
    EXPECT_EQ(RegDoesExistKey(WTEXT("HARDWARE")), 0) << "only the machine has it";

    // Missing levels are made along the way; an existing key is fine too.
    EXPECT_EQ(RegCreateKeyW(kInner), 1);
    EXPECT_EQ(RegDoesExistKey(kMade), 1);
    EXPECT_EQ(RegDoesExistKey(kInner), 1);
    EXPECT_EQ(RegCreateKeyW(kInner), 1);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMade));
    EXPECT_EQ(RegSetDWORD(kInner, WTEXT("V"), 3), 1);
}

// What distinguishes the four value-existence checks.
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

// Each check looks under its own root for a value of the name, whatever its type; all but the
// DWORD check read the data, and fail for more than 1024 bytes. A key that cannot be opened is
// logged with the thread's last error as it stood, a failed query with a debug line of its
// status and an error line; the check leaves its cause as the last error.
TEST_F(Libreg, ExistenceChecksFindAValueOfTheNameAndLogWhatFails) {
    enum Outcome { kFound, kNoValue, kTooBig, kNoKey };
    const DWORD one = 1;
    SetValue(m_user, WTEXT("Number"), REG_DWORD, &one, sizeof(one));
    SetText(m_user, WTEXT("Text"), WTEXT("x"));
    SetValue(m_user, WTEXT("Empty"), REG_BINARY, nullptr, 0);
    SetText(m_machine, WTEXT("OnMachine"), WTEXT("m"));
    const std::vector<BYTE> limit(1024, 0x5A), over(1025, 0x5A);
    for (HKEY key : {m_user, m_machine}) {
        SetValue(key, WTEXT("Limit"), REG_BINARY, limit.data(), DWORD(limit.size()));
        SetValue(key, WTEXT("Over"), REG_BINARY, over.data(), DWORD(over.size()));
    }
    const struct {
        const WCHAR* key;
        const char* value;
        Outcome user, machine; // for the checks of each root
    } cases[] = {
        {kKey, "Number", kFound, kNoValue},    {kKey, "Text", kFound, kNoValue},
        {kKey, "Empty", kFound, kNoValue},     {kKey, "OnMachine", kNoValue, kFound},
        {kKey, "Limit", kFound, kFound},       {kKey, "Over", kTooBig, kTooBig},
        {kKey, "Missing", kNoValue, kNoValue}, {kMissingKey, "V", kNoKey, kNoKey},
    };
    m_log.SetLevel(0x400);
    for (const ExistCheck& check : kChecks) {
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::Message() << check.name << ", " << c.value);
            Outcome expected = check.machine ? c.machine : c.user;
            if (expected == kTooBig && check.acceptsAnySize) {
                expected = kFound;
            }
            const WString value(c.value, c.value + std::strlen(c.value));
            m_log.RemoveFile();
            SetLastError(0x1234);
            EXPECT_EQ(check.check(c.key, value.c_str()), expected == kFound ? 1 : 0);

            const std::string site = "ERROR --------------------libreg :line ";
            std::vector<std::string> lines;
            if (expected == kNoKey) {
                EXPECT_EQ(GetLastError(), LIBREG_ERROR_KEY_NOT_OPEN);
                lines = {site + std::to_string(check.openSite) + ", Error 1234"};
            } else if (expected != kFound) {
                const bool big = expected == kTooBig;
                EXPECT_EQ(GetLastError(), DWORD(big ? ERROR_MORE_DATA : ERROR_FILE_NOT_FOUND));
                lines = {"debug info --------------------" + std::string(check.debugName) +
                             " valuepath Software\\\\CeldorPortableTests\\\\Libreg, valuename " +
                             c.value +
                             (big                    ? ", lstatus 234, valen 1025"
                              : check.acceptsAnySize ? ", lstatus 2, valen 0"
                                                     : ", lstatus 2, valen \\d+"),
                         site + std::to_string(check.querySite) + ", Error [0-9a-f]+"};
            }
            const std::vector<std::string> messages = m_log.Messages();
            ASSERT_EQ(messages.size(), lines.size());
            for (std::size_t i = 0; i < lines.size(); ++i) {
                EXPECT_TRUE(std::regex_match(messages[i], std::regex(lines[i]))) << messages[i];
            }
        }
    }
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kMissingKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMissingKey));
}

} // namespace
