// The power-management calls the plan catalogue relies on, checked on the plans this machine
// has. Wine implements none of them (docs/wine.md): there each test states Wine's answer.
#include "portable.h"

#include <gtest/gtest.h>

namespace {

const GUID kUnknown = {0x0BADF00D, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
const GUID* const kBalanced = &GUID_TYPICAL_POWER_SAVINGS; // every installation has it

UCHAR* Bytes(void* buffer) {
    return static_cast<UCHAR*>(buffer);
}

DWORD Enumerate(POWER_DATA_ACCESSOR flags, ULONG index, void* buffer, DWORD* size) {
    return PowerEnumerate(nullptr, nullptr, nullptr, flags, index, Bytes(buffer), size);
}

DWORD ReadName(const GUID* scheme, void* buffer, DWORD* size) {
    return PowerReadFriendlyName(nullptr, scheme, &NO_SUBGROUP_GUID, nullptr, Bytes(buffer), size);
}

// On Wine, checks that the call is not implemented there and tells the test to stop.
bool WineSaysNotImplemented(DWORD result) {
    if (portable::RunningOnWine()) {
        EXPECT_EQ(result, DWORD(ERROR_CALL_NOT_IMPLEMENTED));
    }
    return portable::RunningOnWine();
}

TEST(Win32Power, SchemesAreEnumeratedByIndexUntilNoMoreItems) {
    GUID scheme{};
    DWORD size = 0;
    const DWORD query = Enumerate(ACCESS_SCHEME, 0, nullptr, &size);
    if (WineSaysNotImplemented(query)) {
        return;
    }
    EXPECT_EQ(query, DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(size, sizeof(GUID));
    size = sizeof(GUID) - 1;
    EXPECT_EQ(Enumerate(ACCESS_SCHEME, 0, &scheme, &size), DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(size, sizeof(GUID));
    ULONG count = 0;
    DWORD result = ERROR_SUCCESS;
    while ((result = Enumerate(ACCESS_SCHEME, count, &scheme, &size)) == ERROR_SUCCESS) {
        ++count;
    }
    EXPECT_EQ(result, DWORD(ERROR_NO_MORE_ITEMS)) << "after " << count << " schemes";
    EXPECT_EQ(Enumerate(ACCESS_ACTIVE_SCHEME, 0, &scheme, &size), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(Win32Power, AFriendlyNameIsSizedFirstThenRead) {
    DWORD size = 0;
    const DWORD query = ReadName(kBalanced, nullptr, &size);
    if (WineSaysNotImplemented(query)) {
        return;
    }
    ASSERT_EQ(query, DWORD(ERROR_SUCCESS));
    ASSERT_GE(size, 2u);
    portable::WString name(size / sizeof(WCHAR), WCHAR('x'));
    DWORD shortSize = size - 2;
    EXPECT_EQ(ReadName(kBalanced, name.data(), &shortSize), DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(shortSize, size);
    EXPECT_EQ(ReadName(kBalanced, name.data(), &size), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(name.back(), WCHAR(0));
    EXPECT_EQ(ReadName(&kUnknown, nullptr, &size), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST(Win32Power, TheActiveSchemeCannotBeAnUnknownOne) {
    GUID* active = nullptr;
    const DWORD got = PowerGetActiveScheme(nullptr, &active);
    const DWORD set = PowerSetActiveScheme(nullptr, &kUnknown);
    if (WineSaysNotImplemented(got)) {
        EXPECT_EQ(set, DWORD(ERROR_SUCCESS)); // Wine accepts any GUID and changes nothing
        return;
    }
    EXPECT_NE(set, DWORD(ERROR_SUCCESS));
    ASSERT_EQ(got, DWORD(ERROR_SUCCESS));
    GUID* after = nullptr;
    ASSERT_EQ(PowerGetActiveScheme(nullptr, &after), DWORD(ERROR_SUCCESS));
    EXPECT_TRUE(*after == *active);
    EXPECT_EQ(LocalFree(after), nullptr);
    EXPECT_EQ(LocalFree(active), nullptr);
}

// Both display settings are DWORDs, read for the battery and for AC power by the same rules.
TEST(Win32Power, DisplaySettingsAreDwordsOnBothSides) {
    for (const bool ac : {false, true}) { // Wine has no PowerReadACValue at all
        auto read = [ac](const GUID& setting, PULONG type, void* buffer, DWORD* size) {
            return (ac ? PowerReadACValue : PowerReadDCValue)(
                nullptr, kBalanced, &GUID_VIDEO_SUBGROUP, &setting, type, Bytes(buffer), size);
        };
        ULONG type = 0;
        DWORD value = 0;
        DWORD size = 0;
        const DWORD query = read(GUID_VIDEO_POWERDOWN_TIMEOUT, &type, nullptr, &size);
        if (WineSaysNotImplemented(query)) {
            return;
        }
        EXPECT_EQ(query, DWORD(ERROR_SUCCESS));
        EXPECT_EQ(type, ULONG(REG_DWORD));
        EXPECT_EQ(size, sizeof(DWORD));
        size = 2;
        EXPECT_EQ(read(GUID_DEVICE_POWER_POLICY_VIDEO_BRIGHTNESS, nullptr, &value, &size),
                  DWORD(ERROR_MORE_DATA));
        EXPECT_EQ(size, sizeof(DWORD));
        EXPECT_EQ(read(GUID_DEVICE_POWER_POLICY_VIDEO_BRIGHTNESS, nullptr, &value, &size),
                  DWORD(ERROR_SUCCESS));
        EXPECT_LE(value, 100u);
        EXPECT_EQ(read(kUnknown, nullptr, &value, &size), DWORD(ERROR_FILE_NOT_FOUND));
    }
}

} // namespace
