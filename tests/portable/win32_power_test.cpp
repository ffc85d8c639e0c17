// The power-management calls the plan catalogue relies on, checked on the plans this machine
// has. Wine implements none of them (docs/wine.md): there each test states Wine's answer.
#include "portable.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const GUID kUnknown = {0x0BADF00D, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

// On Wine, checks that the call was not implemented and tells the caller to stop.
bool WineSaysNotImplemented(DWORD result) {
    if (!portable::RunningOnWine()) {
        return false;
    }
    EXPECT_EQ(result, DWORD(ERROR_CALL_NOT_IMPLEMENTED));
    return true;
}

TEST(Win32Power, SchemesAreEnumeratedByIndexUntilNoMoreItems) {
    DWORD size = 0;
    const DWORD sizeQuery =
        PowerEnumerate(nullptr, nullptr, nullptr, ACCESS_SCHEME, 0, nullptr, &size);
    if (WineSaysNotImplemented(sizeQuery)) {
        return;
    }
    EXPECT_EQ(sizeQuery, DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(size, sizeof(GUID));
    GUID scheme{};
    size = sizeof(GUID) - 1;
    EXPECT_EQ(PowerEnumerate(nullptr, nullptr, nullptr, ACCESS_SCHEME, 0,
                             reinterpret_cast<UCHAR*>(&scheme), &size),
              DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(size, sizeof(GUID));

    ULONG count = 0;
    DWORD result = ERROR_SUCCESS;
    for (;; ++count) {
        size = sizeof(GUID);
        result = PowerEnumerate(nullptr, nullptr, nullptr, ACCESS_SCHEME, count,
                                reinterpret_cast<UCHAR*>(&scheme), &size);
        if (result != ERROR_SUCCESS) {
            break;
        }
    }
    EXPECT_EQ(result, DWORD(ERROR_NO_MORE_ITEMS));
    EXPECT_GE(count, 1u) << "Windows always has a plan";

    for (POWER_DATA_ACCESSOR flags : {ACCESS_AC_POWER_SETTING_INDEX, ACCESS_ACTIVE_SCHEME}) {
        size = sizeof(GUID);
        EXPECT_EQ(PowerEnumerate(nullptr, nullptr, nullptr, flags, 0,
                                 reinterpret_cast<UCHAR*>(&scheme), &size),
                  DWORD(ERROR_INVALID_PARAMETER));
    }
}

TEST(Win32Power, TheActiveSchemeCanBeChangedButNotToAnUnknownOne) {
    GUID* active = nullptr;
    const DWORD got = PowerGetActiveScheme(nullptr, &active);
    if (portable::RunningOnWine()) {
        EXPECT_EQ(got, DWORD(ERROR_CALL_NOT_IMPLEMENTED));
        EXPECT_EQ(PowerSetActiveScheme(nullptr, &kUnknown), DWORD(ERROR_SUCCESS)); // accepts it
        return;
    }
    ASSERT_EQ(got, DWORD(ERROR_SUCCESS));
    const GUID original = *active;
    EXPECT_EQ(LocalFree(active), nullptr);

    EXPECT_NE(PowerSetActiveScheme(nullptr, &kUnknown), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(PowerGetActiveScheme(nullptr, &active), DWORD(ERROR_SUCCESS));
    EXPECT_TRUE(*active == original);
    LocalFree(active);
    EXPECT_EQ(PowerSetActiveScheme(nullptr, &original), DWORD(ERROR_SUCCESS));
}

TEST(Win32Power, AFriendlyNameIsSizedFirstThenRead) {
    DWORD size = 0;
    const DWORD sizeQuery = PowerReadFriendlyName(nullptr, &GUID_TYPICAL_POWER_SAVINGS,
                                                  &NO_SUBGROUP_GUID, nullptr, nullptr, &size);
    if (WineSaysNotImplemented(sizeQuery)) {
        return;
    }
    ASSERT_EQ(sizeQuery, DWORD(ERROR_SUCCESS)) << "every installation has Balanced";
    ASSERT_GE(size, 2u);
    std::vector<WCHAR> name(size / sizeof(WCHAR), WCHAR('x'));
    DWORD shortSize = size - 2;
    EXPECT_EQ(PowerReadFriendlyName(nullptr, &GUID_TYPICAL_POWER_SAVINGS, &NO_SUBGROUP_GUID,
                                    nullptr, reinterpret_cast<UCHAR*>(name.data()), &shortSize),
              DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(shortSize, size);
    EXPECT_EQ(PowerReadFriendlyName(nullptr, &GUID_TYPICAL_POWER_SAVINGS, &NO_SUBGROUP_GUID,
                                    nullptr, reinterpret_cast<UCHAR*>(name.data()), &size),
              DWORD(ERROR_SUCCESS));
    EXPECT_EQ(name.back(), WCHAR(0));
    EXPECT_EQ(PowerReadFriendlyName(nullptr, &kUnknown, &NO_SUBGROUP_GUID, nullptr, nullptr, &size),
              DWORD(ERROR_FILE_NOT_FOUND));
}

// Both display settings are DWORDs, read for AC power and for the battery by the same rules.
TEST(Win32Power, DisplaySettingsAreDwordsOnBothSides) {
    using Reader = DWORD (*)(const GUID*, const GUID*, PULONG, UCHAR*, LPDWORD);
    const Reader readers[] = {
        [](const GUID* scheme, const GUID* setting, PULONG type, UCHAR* buffer, LPDWORD size) {
            return PowerReadDCValue(nullptr, scheme, &GUID_VIDEO_SUBGROUP, setting, type, buffer,
                                    size);
        },
        [](const GUID* scheme, const GUID* setting, PULONG type, UCHAR* buffer, LPDWORD size) {
            return PowerReadACValue(nullptr, scheme, &GUID_VIDEO_SUBGROUP, setting, type, buffer,
                                    size);
        },
    };
    const GUID* scheme = &GUID_TYPICAL_POWER_SAVINGS;
    for (const Reader read : readers) {
        ULONG type = 0;
        DWORD size = 0;
        const DWORD sizeQuery = read(scheme, &GUID_VIDEO_POWERDOWN_TIMEOUT, &type, nullptr, &size);
        if (WineSaysNotImplemented(sizeQuery)) {
            return; // and Wine has no PowerReadACValue at all
        }
        EXPECT_EQ(sizeQuery, DWORD(ERROR_SUCCESS));
        EXPECT_EQ(size, sizeof(DWORD));
        EXPECT_EQ(type, ULONG(REG_DWORD));
        DWORD value = 0;
        size = 2;
        EXPECT_EQ(read(scheme, &GUID_DEVICE_POWER_POLICY_VIDEO_BRIGHTNESS, nullptr,
                       reinterpret_cast<UCHAR*>(&value), &size),
                  DWORD(ERROR_MORE_DATA));
        EXPECT_EQ(size, sizeof(DWORD));
        EXPECT_EQ(read(scheme, &GUID_DEVICE_POWER_POLICY_VIDEO_BRIGHTNESS, nullptr,
                       reinterpret_cast<UCHAR*>(&value), &size),
                  DWORD(ERROR_SUCCESS));
        EXPECT_LE(value, 100u);
        EXPECT_EQ(read(scheme, &kUnknown, nullptr, reinterpret_cast<UCHAR*>(&value), &size),
                  DWORD(ERROR_FILE_NOT_FOUND));
    }
}

} // namespace
