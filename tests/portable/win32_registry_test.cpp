// The registry behaviour the library relies on, beyond what its registry helpers show, checked
// through the Win32 calls alone so that the simulated notebook and a real Windows answer the
// same.
#include "portable.h"

#include <gtest/gtest.h>

namespace {

using portable::SetValue;

const WCHAR* const kTestKey = WTEXT("Software\\CeldorPortableTests\\Registry");
const WCHAR* const kChild = WTEXT("Software\\CeldorPortableTests\\Registry\\Child");

class Win32Registry : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteKeyW(HKEY_CURRENT_USER, kChild);
        RegDeleteKeyW(HKEY_CURRENT_USER, kTestKey);
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                  nullptr, &m_key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(m_key);
        RegDeleteKeyW(HKEY_CURRENT_USER, kChild);
        RegDeleteKeyW(HKEY_CURRENT_USER, kTestKey);
    }
    HKEY m_key = nullptr;
};

TEST_F(Win32Registry, NamesAreCaseInsensitive) {
    const DWORD value = 7;
    ASSERT_EQ(SetValue(m_key, WTEXT("Level"), REG_DWORD, &value, 4), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, WTEXT("SOFTWARE\\celdorportabletests\\REGISTRY"), 0,
                            KEY_READ | KEY_WOW64_64KEY, &key),
              ERROR_SUCCESS);
    DWORD read = 0, size = 4, type = 0;
    EXPECT_EQ(RegQueryValueExW(key, WTEXT("LEVEL"), nullptr, &type, reinterpret_cast<BYTE*>(&read),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(read, 7u);
    RegCloseKey(key);
}

// What a call refuses, with the status it returns: a missing key (and no handle for it), a path
// that starts with a backslash, both registry views at once, what the handle's access does not
// allow, a key that still has subkeys, a key deleted under an open handle, a missing value, data
// without a size.
TEST_F(Win32Registry, RefusalsAndTheirStatus) {
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kChild, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, WTEXT("\\Software"), 0, KEY_READ, &key),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(
        RegCreateKeyExW(m_key, WTEXT("\\Child"), 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
        ERROR_BAD_PATHNAME);
    EXPECT_FALSE(portable::KeyExists(HKEY_CURRENT_USER, kChild)) << "nothing was created";
    // Both views at once; Wine opens the key.
    const LSTATUS views = RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0,
                                        KEY_READ | KEY_WOW64_32KEY | KEY_WOW64_64KEY, &key);
    EXPECT_EQ(views, portable::RunningOnWine() ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER);
    if (views == ERROR_SUCCESS) {
        RegCloseKey(key);
    }

    const DWORD one = 1;
    DWORD read = 0, size = 4;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(SetValue(key, WTEXT("V"), REG_DWORD, &one, 4), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    ASSERT_EQ(SetValue(key, WTEXT("V"), REG_DWORD, &one, 4), ERROR_SUCCESS);
    EXPECT_EQ(
        RegQueryValueExW(key, WTEXT("V"), nullptr, nullptr, reinterpret_cast<BYTE*>(&read), &size),
        ERROR_ACCESS_DENIED);
    RegCloseKey(key);

    ASSERT_EQ(RegCreateKeyExW(m_key, WTEXT("Child"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, kTestKey), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegDeleteKeyW(m_key, WTEXT("Child")), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(m_key, WTEXT("Child")), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetValue(key, WTEXT("V"), REG_DWORD, &one, 4), ERROR_KEY_DELETED);
    EXPECT_EQ(RegFlushKey(key), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteValueW(m_key, WTEXT("Missing")), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExW(m_key, WTEXT("V"), nullptr, nullptr, reinterpret_cast<BYTE*>(&read),
                               nullptr),
              ERROR_INVALID_PARAMETER)
        << "data without a size";
}

// A predefined root opened without a subkey is handed back itself. A 64-bit program asking for
// the 32-bit view of HKLM\SOFTWARE reads what a 32-bit program there reads: SOFTWARE\WOW6432Node.
TEST_F(Win32Registry, RootsAndThe32BitView) {
    for (const WCHAR* subKey : {static_cast<const WCHAR*>(nullptr), WTEXT("")}) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, subKey, 0, KEY_READ, &key), ERROR_SUCCESS);
        EXPECT_EQ(key, HKEY_CURRENT_USER);
    }
    const WCHAR* const stored = WTEXT("Software\\WOW6432Node\\CeldorPortableTests32");
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, stored, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        GTEST_SKIP() << "the machine's keys cannot be written here";
    }
    const DWORD bits = 32;
    EXPECT_EQ(SetValue(key, WTEXT("Bits"), REG_DWORD, &bits, 4), ERROR_SUCCESS);
    RegCloseKey(key);
    const WCHAR* const asked = WTEXT("Software\\CeldorPortableTests32");
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, asked, 0, KEY_READ | KEY_WOW64_64KEY, &key),
              ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, asked, 0, KEY_READ | KEY_WOW64_32KEY, &key),
              ERROR_SUCCESS);
    DWORD read = 0, size = 4;
    EXPECT_EQ(RegQueryValueExW(key, WTEXT("Bits"), nullptr, nullptr, reinterpret_cast<BYTE*>(&read),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(read, 32u);
    RegCloseKey(key);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, stored), ERROR_SUCCESS);
}

// A caller that leaves the terminator out of a string's size gets it stored all the same; other
// types keep exactly the bytes given.
TEST_F(Win32Registry, StringSizedWithoutItsTerminatorIsStoredWithIt) {
    const WCHAR text[] = WTEXT("abc");
    const struct {
        DWORD type;
        DWORD stored;
    } cases[] = {{REG_SZ, sizeof(text)}, {REG_EXPAND_SZ, sizeof(text)}, {REG_BINARY, 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "type " << c.type);
        ASSERT_EQ(SetValue(m_key, WTEXT("Value"), c.type, text, 6), ERROR_SUCCESS);
        DWORD size = 0;
        ASSERT_EQ(RegQueryValueExW(m_key, WTEXT("Value"), nullptr, nullptr, nullptr, &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(size, c.stored);
    }
}

} // namespace
