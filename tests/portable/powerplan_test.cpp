// The plan catalogue against the plans the system reports through its own calls. Wine reports
// no plans and no active plan (docs/wine.md): there the catalogue is empty and queries fail.
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
    GUID guid{};
    DWORD size = sizeof(guid);
    for (ULONG index = 0; PowerEnumerate(nullptr, nullptr, nullptr, ACCESS_SCHEME, index,
                                         reinterpret_cast<UCHAR*>(&guid), &size) == ERROR_SUCCESS;
         ++index) {
        WCHAR name[512] = {};
        DWORD bytes = sizeof(name) - sizeof(WCHAR);
        if (PowerReadFriendlyName(nullptr, &guid, &NO_SUBGROUP_GUID, nullptr,
                                  reinterpret_cast<UCHAR*>(name), &bytes) == ERROR_SUCCESS) {
            plans.emplace(CString(name), guid);
        }
    }
    return plans;
}

// A plan activated by another program after the snapshot is reported; a plan activated by name
// is the one the system has under that name.
TEST(PowerPlans, TheActivePlanIsTheSystemsAtEveryCall) {
    const CPowerScheme schemes;
    CString name(WTEXT("none"));
    if (portable::RunningOnWine()) {
        std::list<CString> list;
        schemes.GetPowerSchemeList(list);
        EXPECT_TRUE(list.empty());
        EXPECT_EQ(schemes.GetActivePowerScheme(name), 0);
        EXPECT_TRUE(name == CString(WTEXT("none")));
        EXPECT_EQ(schemes.GetDisplayTimeOutValue(), -1);
        EXPECT_EQ(schemes.GetCurrentBrightness(), -1);
        return;
    }
    ASSERT_EQ(schemes.GetActivePowerScheme(name), 1);
    const CString original = name;
    for (const auto& [planName, guid] : SystemPlans()) {
        ASSERT_EQ(PowerSetActiveScheme(nullptr, &guid), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(schemes.GetActivePowerScheme(name), 1);
        EXPECT_TRUE(name == planName) << planName.ToUtf8();
        EXPECT_EQ(schemes.SetActivePowerScheme(original), 1);
        GUID* active = nullptr;
        ASSERT_EQ(PowerGetActiveScheme(nullptr, &active), DWORD(ERROR_SUCCESS));
        EXPECT_TRUE(*active == SystemPlans()[original]);
        LocalFree(active);
    }
}

} // namespace
