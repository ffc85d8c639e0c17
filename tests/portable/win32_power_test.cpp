// The power-management calls the plan catalogue relies on, and those a settings program makes
// plans with, checked on the plans this machine has.
#include "power_plans.h"

#include <gtest/gtest.h>

namespace {

using portable::PowerPlanTest;

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

portable::WString Name(const GUID& scheme) {
    WCHAR name[256] = {};
    DWORD size = sizeof(name) - sizeof(WCHAR);
    return ReadName(&scheme, name, &size) == ERROR_SUCCESS ? name : WTEXT("(none)");
}

DWORD ReadValue(bool ac, const GUID* scheme, const GUID& setting, DWORD& value) {
    DWORD size = sizeof(value);
    return (ac ? PowerReadACValue : PowerReadDCValue)(nullptr, scheme, &GUID_VIDEO_SUBGROUP,
                                                      &setting, nullptr, Bytes(&value), &size);
}

DWORD WriteValue(bool ac, const GUID* scheme, const GUID& setting, DWORD value) {
    return (ac ? PowerWriteACValueIndex
               : PowerWriteDCValueIndex)(nullptr, scheme, &GUID_VIDEO_SUBGROUP, &setting, value);
}

TEST(Win32Power, SchemesAreEnumeratedByIndexUntilNoMoreItems) {
    GUID scheme{};
    DWORD size = 0;
    EXPECT_EQ(Enumerate(ACCESS_SCHEME, 0, nullptr, &size), DWORD(ERROR_MORE_DATA));
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
    EXPECT_GE(count, 1u);
    EXPECT_EQ(Enumerate(ACCESS_ACTIVE_SCHEME, 0, &scheme, &size), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(Win32Power, AFriendlyNameIsSizedFirstThenRead) {
    DWORD size = 0;
    ASSERT_EQ(ReadName(kBalanced, nullptr, &size), DWORD(ERROR_SUCCESS));
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
    ASSERT_EQ(PowerGetActiveScheme(nullptr, &active), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(PowerSetActiveScheme(nullptr, &kUnknown), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(portable::ActivePlan() == *active);
    EXPECT_EQ(LocalFree(active), nullptr);
}

// Both display settings are DWORDs, read for the battery and for AC power by the same rules.
TEST(Win32Power, DisplaySettingsAreDwordsOnBothSides) {
    for (const bool ac : {false, true}) {
        auto read = [ac](const GUID& setting, PULONG type, void* buffer, DWORD* size) {
            return (ac ? PowerReadACValue : PowerReadDCValue)(
                nullptr, kBalanced, &GUID_VIDEO_SUBGROUP, &setting, type, Bytes(buffer), size);
        };
        ULONG type = 0;
        DWORD value = 0;
        DWORD size = 0;
        EXPECT_EQ(read(GUID_VIDEO_POWERDOWN_TIMEOUT, &type, nullptr, &size), DWORD(ERROR_SUCCESS));
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

using Win32PowerPlans = PowerPlanTest;

// A copy made without a GUID gets a new one the caller frees; the active plan stays until
// another is activated.
TEST_F(Win32PowerPlans, ADuplicateIsANewPlanUntilItIsDeleted) {
    GUID* copy = nullptr;
    ASSERT_EQ(PowerDuplicateScheme(nullptr, kBalanced, &copy), DWORD(ERROR_SUCCESS));
    ASSERT_NE(copy, nullptr);
    const GUID plan = *copy;
    EXPECT_EQ(LocalFree(copy), nullptr);
    adopt(plan);
    EXPECT_FALSE(plan == *kBalanced);
    EXPECT_TRUE(Name(plan) == Name(*kBalanced));
    for (const bool ac : {false, true}) {
        DWORD original = 0, copied = 1;
        EXPECT_EQ(ReadValue(ac, kBalanced, GUID_VIDEO_POWERDOWN_TIMEOUT, original), 0u);
        EXPECT_EQ(ReadValue(ac, &plan, GUID_VIDEO_POWERDOWN_TIMEOUT, copied), 0u);
        EXPECT_EQ(copied, original);
    }

    GUID named = plan;
    GUID* existing = &named;
    GUID* unknownCopy = nullptr;
    EXPECT_EQ(PowerDuplicateScheme(nullptr, kBalanced, &existing), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(PowerDuplicateScheme(nullptr, &kUnknown, &unknownCopy), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(unknownCopy, nullptr);
    EXPECT_EQ(PowerDuplicateScheme(nullptr, kBalanced, nullptr), DWORD(ERROR_INVALID_PARAMETER));

    ASSERT_EQ(PowerSetActiveScheme(nullptr, &plan), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(PowerDeleteScheme(nullptr, &plan), DWORD(ERROR_ACCESS_DENIED));
    ASSERT_EQ(PowerSetActiveScheme(nullptr, kBalanced), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(PowerDeleteScheme(nullptr, &plan), DWORD(ERROR_SUCCESS));
    EXPECT_TRUE(Name(plan) == WTEXT("(none)"));
    EXPECT_EQ(PowerSetActiveScheme(nullptr, &plan), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(PowerDeleteScheme(nullptr, &plan), DWORD(ERROR_FILE_NOT_FOUND));
}

// A plan's name and values change for that plan alone, within the setting's range.
TEST_F(Win32PowerPlans, NamesAndValuesAreWrittenToOnePlan) {
    const GUID plan = makePlan(0, WTEXT("Presenting"));
    EXPECT_TRUE(Name(plan) == WTEXT("Presenting"));
    EXPECT_FALSE(Name(*kBalanced) == WTEXT("Presenting"));
    EXPECT_EQ(portable::NamePlan(kUnknown, WTEXT("Nowhere")), DWORD(ERROR_FILE_NOT_FOUND));

    const struct {
        const GUID& setting;
        DWORD ac, dc;
    } cases[] = {{GUID_VIDEO_POWERDOWN_TIMEOUT, 0, 86400},
                 {GUID_DEVICE_POWER_POLICY_VIDEO_BRIGHTNESS, 100, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(WriteValue(true, &plan, c.setting, c.ac), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(WriteValue(false, &plan, c.setting, c.dc), DWORD(ERROR_SUCCESS));
        DWORD ac = 7, dc = 7, balanced = 0;
        EXPECT_EQ(ReadValue(true, &plan, c.setting, ac), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(ReadValue(false, &plan, c.setting, dc), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(ac, c.ac);
        EXPECT_EQ(dc, c.dc);
        EXPECT_EQ(ReadValue(false, kBalanced, c.setting, balanced), DWORD(ERROR_SUCCESS));
        EXPECT_NE(balanced, c.dc);
    }
    EXPECT_EQ(WriteValue(true, &plan, GUID_DEVICE_POWER_POLICY_VIDEO_BRIGHTNESS, 101),
              DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WriteValue(true, &kUnknown, GUID_VIDEO_POWERDOWN_TIMEOUT, 60),
              DWORD(ERROR_FILE_NOT_FOUND));
}

} // namespace
