// The plan catalogue against the plans the system reports through its own calls. Wine reports
// none and no active plan (docs/wine.md); there the catalogue is empty and every query fails.
#include "portable.h"

#include <gtest/gtest.h>

#include <list>
#include <map>

namespace {

using Celdor::CPowerScheme;
using Celdor::CString;

// The system's plans by name, the first enumerated keeping a repeated name.
std::map<CString, GUID> SystemPlans() {
    std::map<CString, GUID> plans;
    for (ULONG index = 0;; ++index) {
        GUID guid{};
        DWORD size = sizeof(guid);
        if (PowerEnumerate(nullptr, nullptr, nullptr, ACCESS_SCHEME, index,
                           reinterpret_cast<UCHAR*>(&guid), &size) != ERROR_SUCCESS) {
            return plans;
        }
        WCHAR name[512] = {};
        DWORD bytes = sizeof(name) - sizeof(WCHAR);
        if (PowerReadFriendlyName(nullptr, &guid, &NO_SUBGROUP_GUID, nullptr,
                                  reinterpret_cast<UCHAR*>(name), &bytes) == ERROR_SUCCESS) {
            plans.emplace(CString(name), guid);
        }
    }
}

// Puts the plan that was active back when the test ends.
struct KeepActivePlan {
    GUID original{};
    KeepActivePlan() {
        GUID* active = nullptr;
        if (PowerGetActiveScheme(nullptr, &active) == ERROR_SUCCESS) {
            original = *active;
        }
        LocalFree(active);
    }
    ~KeepActivePlan() { PowerSetActiveScheme(nullptr, &original); }
};

TEST(PowerPlans, TheCatalogueIsTheSystemsPlansInCodeUnitOrderAfterWhatTheListHeld) {
    std::list<CString> list{CString(WTEXT("held"))};
    CPowerScheme().GetPowerSchemeList(list);

    std::list<CString> expected{CString(WTEXT("held"))};
    for (const auto& plan : SystemPlans()) {
        expected.push_back(plan.first);
    }
    EXPECT_TRUE(list == expected);
    EXPECT_EQ(list.size() == 1, portable::RunningOnWine());
}

// A plan activated by another program after the snapshot is reported; one activated by name
// is the one the system has under that name.
TEST(PowerPlans, TheActivePlanIsTheSystemsAtEveryCall) {
    const CPowerScheme schemes;
    CString name(WTEXT("none"));
    if (portable::RunningOnWine()) {
        EXPECT_EQ(schemes.GetActivePowerScheme(name), 0);
        EXPECT_TRUE(name == CString(WTEXT("none")));
        EXPECT_EQ(schemes.SetActivePowerScheme(CString(WTEXT("Balanced"))), 0);
        return;
    }
    const KeepActivePlan keep;
    for (const auto& [planName, guid] : SystemPlans()) {
        ASSERT_EQ(PowerSetActiveScheme(nullptr, &guid), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(schemes.GetActivePowerScheme(name), 1);
        EXPECT_TRUE(name == planName) << planName.ToUtf8();
    }
    for (const auto& [planName, guid] : SystemPlans()) {
        EXPECT_EQ(schemes.SetActivePowerScheme(planName), 1) << planName.ToUtf8();
        GUID* active = nullptr;
        ASSERT_EQ(PowerGetActiveScheme(nullptr, &active), DWORD(ERROR_SUCCESS));
        EXPECT_TRUE(*active == guid) << planName.ToUtf8();
        LocalFree(active);
    }
}

TEST(PowerPlans, DisplaySettingsAreTheActivePlansForThePowerSource) {
    const CPowerScheme schemes;
    GUID* active = nullptr;
    SYSTEM_POWER_STATUS status{};
    if (PowerGetActiveScheme(nullptr, &active) != ERROR_SUCCESS || !GetSystemPowerStatus(&status)) {
        EXPECT_TRUE(portable::RunningOnWine());
        EXPECT_EQ(schemes.GetDisplayTimeOutValue(), -1);
        EXPECT_EQ(schemes.GetCurrentBrightness(), -1);
        return;
    }
    auto read = [&](const GUID& setting) {
        DWORD value = 0;
        DWORD size = sizeof(value);
        auto* buffer = reinterpret_cast<UCHAR*>(&value);
        const DWORD result = status.ACLineStatus == 1
                                 ? PowerReadACValue(nullptr, active, &GUID_VIDEO_SUBGROUP, &setting,
                                                    nullptr, buffer, &size)
                                 : PowerReadDCValue(nullptr, active, &GUID_VIDEO_SUBGROUP, &setting,
                                                    nullptr, buffer, &size);
        return result == ERROR_SUCCESS ? static_cast<int>(value) : -1;
    };
    EXPECT_EQ(schemes.GetDisplayTimeOutValue(), read(GUID_VIDEO_POWERDOWN_TIMEOUT));
    EXPECT_EQ(schemes.GetCurrentBrightness(), read(GUID_DEVICE_POWER_POLICY_VIDEO_BRIGHTNESS));
    LocalFree(active);
}

} // namespace
