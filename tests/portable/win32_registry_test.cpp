// The registry behaviour the library relies on, checked through the Win32 calls alone so that
// the simulated notebook and a real Windows answer the same.
#include "portable.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const WCHAR* const kTestKey = WTEXT("Software\\CeldorPortableTests\\Registry");

class Win32Registry : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteKeyW(HKEY_CURRENT_USER, WTEXT("Software\\CeldorPortableTests\\Registry\\Child"));
        RegDeleteKeyW(HKEY_CURRENT_USER, kTestKey);
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                  nullptr, &m_key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(m_key);
        RegDeleteKeyW(HKEY_CURRENT_USER, WTEXT("Software\\CeldorPortableTests\\Registry\\Child"));
        RegDeleteKeyW(HKEY_CURRENT_USER, kTestKey);
    }
    HKEY m_key = nullptr;
};

TEST_F(Win32Registry, OpeningAMissingKeyFailsWithFileNotFoundAndNoHandle) {
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER,
                            WTEXT("Software\\CeldorPortableTests\\Registry\\None"), 0, KEY_READ,
                            &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
}

TEST_F(Win32Registry, NamesAreCaseInsensitive) {
    const DWORD value = 7;
    ASSERT_EQ(RegSetValueExW(m_key, WTEXT("Level"), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&value), 4),
              ERROR_SUCCESS);
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

TEST_F(Win32Registry, QueryReportsSizesAndMoreData) {
    const WCHAR text[] = WTEXT("twelve chars");
    ASSERT_EQ(RegSetValueExW(m_key, WTEXT("Text"), 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             sizeof(text)),
              ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(m_key, WTEXT("Text"), nullptr, nullptr, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, DWORD(sizeof(text)));

    BYTE small[4] = {};
    size = sizeof(small);
    EXPECT_EQ(RegQueryValueExW(m_key, WTEXT("Text"), nullptr, nullptr, small, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, DWORD(sizeof(text)));

    EXPECT_EQ(RegQueryValueExW(m_key, WTEXT("Missing"), nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(Win32Registry, ShortValueFillsOnlyItsLength) {
    const BYTE two[2] = {0x34, 0x12};
    ASSERT_EQ(RegSetValueExW(m_key, WTEXT("Two"), 0, REG_BINARY, two, 2), ERROR_SUCCESS);
    DWORD read = 0xAAAAAAAA, size = 4;
    EXPECT_EQ(RegQueryValueExW(m_key, WTEXT("Two"), nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&read), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(read, 0xAAAA1234u);
}

TEST_F(Win32Registry, AccessMaskOfTheHandleIsEnforced) {
    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &readOnly), ERROR_SUCCESS);
    const DWORD value = 1;
    EXPECT_EQ(RegSetValueExW(readOnly, WTEXT("V"), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&value), 4),
              ERROR_ACCESS_DENIED);
    RegCloseKey(readOnly);

    HKEY writeOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_SET_VALUE, &writeOnly),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(writeOnly, WTEXT("V"), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&value), 4),
              ERROR_SUCCESS);
    DWORD size = 4, read = 0;
    EXPECT_EQ(RegQueryValueExW(writeOnly, WTEXT("V"), nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&read), &size),
              ERROR_ACCESS_DENIED);
    RegCloseKey(writeOnly);
}

TEST_F(Win32Registry, CreateReportsDispositionAndKeyWithSubkeysCannotBeDeleted) {
    HKEY child = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(m_key, WTEXT("Child"), 0, nullptr, 0, KEY_READ, nullptr, &child,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    RegCloseKey(child);
    ASSERT_EQ(RegCreateKeyExW(m_key, WTEXT("Child"), 0, nullptr, 0, KEY_READ, nullptr, &child,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    RegCloseKey(child);

    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, kTestKey), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(m_key, WTEXT("Child")), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(m_key, WTEXT("Child")), ERROR_FILE_NOT_FOUND);
}

// A subkey is relative to the key it is opened under; a leading backslash makes the path bad.
TEST_F(Win32Registry, SubkeyStartingWithABackslashIsABadPath) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, WTEXT("\\Software"), 0, KEY_READ, &key),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(
        RegCreateKeyExW(m_key, WTEXT("\\Child"), 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
        ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExW(m_key, WTEXT("Child"), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND)
        << "nothing was created";
}

TEST_F(Win32Registry, RegistryFunctionsLeaveLastErrorAlone) {
    SetLastError(1234);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, WTEXT("Software\\CeldorPortableTests\\Nowhere"), 0,
                            KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetLastError(), 1234u);
}

} // namespace

namespace {

// Keys the log's level and the add-in's settings live under exist on every installation.
TEST(Win32RegistryBase, StandardKeysExist) {
    for (const WCHAR* path : {WTEXT("SOFTWARE"), WTEXT("SOFTWARE\\WOW6432Node"), WTEXT("SYSTEM")}) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, WTEXT("Software"), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

} // namespace
