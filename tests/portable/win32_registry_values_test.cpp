// More of the registry behaviour the registry helpers rely on: the type and size a string value
// reports, keys created with their missing parents, and what the calls answer for a missing
// value or a bad argument.
#include "portable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const WCHAR* const kRoot = WTEXT("Software\\CeldorPortableTests\\Values");

void DeleteTree() {
    RegDeleteKeyW(HKEY_CURRENT_USER, WTEXT("Software\\CeldorPortableTests\\Values\\A\\B\\C"));
    RegDeleteKeyW(HKEY_CURRENT_USER, WTEXT("Software\\CeldorPortableTests\\Values\\A\\B"));
    RegDeleteKeyW(HKEY_CURRENT_USER, WTEXT("Software\\CeldorPortableTests\\Values\\A"));
    RegDeleteKeyW(HKEY_CURRENT_USER, kRoot);
}

class Win32RegistryValues : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteTree();
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRoot, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_READ | KEY_WRITE, nullptr, &m_key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(m_key);
        DeleteTree();
    }
    HKEY m_key = nullptr;
};

TEST_F(Win32RegistryValues, StringsKeepTheirTypeAndReportBytesWithTheTerminator) {
    const WCHAR text[] = WTEXT("%SystemRoot%\\x");
    ASSERT_EQ(RegSetValueExW(m_key, WTEXT("Expand"), 0, REG_EXPAND_SZ,
                             reinterpret_cast<const BYTE*>(text), sizeof(text)),
              ERROR_SUCCESS);
    WCHAR read[32] = {};
    DWORD type = 0, size = sizeof(read);
    ASSERT_EQ(RegQueryValueExW(m_key, WTEXT("Expand"), nullptr, &type,
                               reinterpret_cast<BYTE*>(read), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_EXPAND_SZ)) << "the query does not expand or convert";
    EXPECT_EQ(size, DWORD(sizeof(text)));
    EXPECT_EQ(std::basic_string<WCHAR>(read), std::basic_string<WCHAR>(text));

    // A DWORD read through a DWORD-sized buffer from a longer value is refused, not cut.
    DWORD number = 0xAAAAAAAA;
    size = sizeof(number);
    EXPECT_EQ(RegQueryValueExW(m_key, WTEXT("Expand"), nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&number), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, DWORD(sizeof(text)));
}

// A caller that leaves the terminator out of a string's size gets it stored all the same; other
// types keep exactly the bytes given.
TEST_F(Win32RegistryValues, StringSizedWithoutItsTerminatorIsStoredWithIt) {
    const WCHAR text[] = WTEXT("abc");
    const auto* bytes = reinterpret_cast<const BYTE*>(text);
    const struct {
        DWORD type;
        DWORD stored;
    } cases[] = {{REG_SZ, sizeof(text)}, {REG_EXPAND_SZ, sizeof(text)}, {REG_BINARY, 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "type " << c.type);
        ASSERT_EQ(RegSetValueExW(m_key, WTEXT("Value"), 0, c.type, bytes, 6), ERROR_SUCCESS);
        DWORD size = 0;
        ASSERT_EQ(RegQueryValueExW(m_key, WTEXT("Value"), nullptr, nullptr, nullptr, &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(size, c.stored);
    }
}

TEST_F(Win32RegistryValues, CreateMakesEveryMissingLevel) {
    HKEY deep = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER,
                              WTEXT("Software\\CeldorPortableTests\\Values\\A\\B\\C"), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                              &deep, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    RegCloseKey(deep);

    HKEY middle = nullptr;
    EXPECT_EQ(RegOpenKeyExW(m_key, WTEXT("A\\B"), 0, KEY_READ, &middle), ERROR_SUCCESS);
    RegCloseKey(middle);
}

TEST_F(Win32RegistryValues, MissingValuesAndBadArguments) {
    EXPECT_EQ(RegDeleteValueW(m_key, WTEXT("Missing")), ERROR_FILE_NOT_FOUND);

    const DWORD value = 5;
    ASSERT_EQ(RegSetValueExW(m_key, WTEXT("Number"), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&value), sizeof(value)),
              ERROR_SUCCESS);
    DWORD read = 0;
    EXPECT_EQ(RegQueryValueExW(m_key, WTEXT("Number"), nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&read), nullptr),
              ERROR_INVALID_PARAMETER)
        << "data without a size";
    EXPECT_EQ(RegDeleteValueW(m_key, WTEXT("Number")), ERROR_SUCCESS);
    DWORD size = sizeof(read);
    EXPECT_EQ(RegQueryValueExW(m_key, WTEXT("Number"), nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&read), &size),
              ERROR_FILE_NOT_FOUND);
}

} // namespace
