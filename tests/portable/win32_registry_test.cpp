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

TEST_F(Win32Registry, OpeningAMissingKeyFailsWithFileNotFoundAndNoHandle) {
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kChild, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
}

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

TEST_F(Win32Registry, AccessMaskOfTheHandleIsEnforced) {
    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &readOnly), ERROR_SUCCESS);
    const DWORD value = 1;
    EXPECT_EQ(SetValue(readOnly, WTEXT("V"), REG_DWORD, &value, 4), ERROR_ACCESS_DENIED);
    RegCloseKey(readOnly);

    HKEY writeOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_SET_VALUE, &writeOnly),
              ERROR_SUCCESS);
    ASSERT_EQ(SetValue(writeOnly, WTEXT("V"), REG_DWORD, &value, 4), ERROR_SUCCESS);
    DWORD size = 4, read = 0;
    EXPECT_EQ(RegQueryValueExW(writeOnly, WTEXT("V"), nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&read), &size),
              ERROR_ACCESS_DENIED);
    RegCloseKey(writeOnly);
}

TEST_F(Win32Registry, CreateReportsDispositionAndKeyWithSubkeysCannotBeDeleted) {
    for (DWORD expected : {REG_CREATED_NEW_KEY, REG_OPENED_EXISTING_KEY}) {
        HKEY child = nullptr;
        DWORD disposition = 0;
        ASSERT_EQ(RegCreateKeyExW(m_key, WTEXT("Child"), 0, nullptr, 0, KEY_READ, nullptr, &child,
                                  &disposition),
                  ERROR_SUCCESS);
        EXPECT_EQ(disposition, expected);
        RegCloseKey(child);
    }
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, kTestKey), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(m_key, WTEXT("Child")), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(m_key, WTEXT("Child")), ERROR_FILE_NOT_FOUND);
}

TEST_F(Win32Registry, HandleToADeletedKeyReportsItDeleted) {
    HKEY child = nullptr;
    ASSERT_EQ(RegCreateKeyExW(m_key, WTEXT("Child"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyW(m_key, WTEXT("Child")), ERROR_SUCCESS);
    const DWORD one = 1;
    EXPECT_EQ(SetValue(child, WTEXT("V"), REG_DWORD, &one, 4), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
    EXPECT_FALSE(portable::KeyExists(HKEY_CURRENT_USER, kChild));
}

// A subkey is relative to the key it is opened under; a leading backslash makes the path bad.
TEST_F(Win32Registry, SubkeyStartingWithABackslashIsABadPath) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, WTEXT("\\Software"), 0, KEY_READ, &key),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(
        RegCreateKeyExW(m_key, WTEXT("\\Child"), 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
        ERROR_BAD_PATHNAME);
    EXPECT_FALSE(portable::KeyExists(HKEY_CURRENT_USER, kChild)) << "nothing was created";
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

TEST_F(Win32Registry, MissingValuesAndBadArguments) {
    EXPECT_EQ(RegDeleteValueW(m_key, WTEXT("Missing")), ERROR_FILE_NOT_FOUND);
    const DWORD value = 5;
    ASSERT_EQ(SetValue(m_key, WTEXT("Number"), REG_DWORD, &value, sizeof(value)), ERROR_SUCCESS);
    DWORD read = 0;
    EXPECT_EQ(RegQueryValueExW(m_key, WTEXT("Number"), nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&read), nullptr),
              ERROR_INVALID_PARAMETER)
        << "data without a size";
}

// Keys the log's level and the add-in's settings live under exist on every installation.
TEST(Win32RegistryBase, StandardKeysExist) {
    for (const WCHAR* path : {WTEXT("SOFTWARE"), WTEXT("SOFTWARE\\WOW6432Node"), WTEXT("SYSTEM")}) {
        EXPECT_TRUE(portable::KeyExists(HKEY_LOCAL_MACHINE, path));
    }
    EXPECT_TRUE(portable::KeyExists(HKEY_CURRENT_USER, WTEXT("Software")));
}

} // namespace
