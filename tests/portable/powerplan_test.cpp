// The plan catalogue against the plans the system reports through its own calls, with plans
// made, renamed and deleted by the system's functions.
#include "plan_names.h"
#include "power_plans.h"

#include <gtest/gtest.h>

#include <list>
#include <map>
#include <string>

namespace {

using Celdor::CPowerScheme;
using Celdor::CString;
using portable::ActivePlan;
using portable::PowerPlanTest;

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

using PowerPlans = PowerPlanTest;

// A plan activated by another program after the snapshot is reported; a plan activated by name
// is the one the system has under that name.
TEST_F(PowerPlans, TheActivePlanIsTheSystemsAtEveryCall) {
    CPowerScheme schemes;
    CString name(WTEXT("none"));
    ASSERT_EQ(schemes.GetActivePowerScheme(name), 1);
    const CString original = name;
    const auto plans = SystemPlans();
    ASSERT_GE(plans.size(), 1u);
    for (const auto& [planName, guid] : plans) {
        ASSERT_EQ(PowerSetActiveScheme(nullptr, &guid), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(schemes.GetActivePowerScheme(name), 1);
        EXPECT_TRUE(name == planName) << planName.ToUtf8();
        EXPECT_EQ(schemes.SetActivePowerScheme(original), 1);
        EXPECT_TRUE(ActivePlan() == plans.at(original));
    }
}

// Ordinal order of the UTF-16 code units, after what the caller's list held. U+1F600 is a
// surrogate pair (0xD83D 0xDE00), so it sorts before U+FF03. The machine's plans are those of
// the test bench.
TEST_F(PowerPlans, ListIsInCodeUnitOrderAppendedToTheCallersList) {
    const WCHAR* const names[] = {WTEXT("beta"),       WTEXT("Alpha"), WTEXT("\u00c9co"),
                                  WTEXT("alpha"),      WTEXT("Zeta"),  WTEXT("\uff03"),
                                  WTEXT("\U0001F600"), WTEXT("\u03a9")};
    for (unsigned i = 0; i < std::size(names); ++i) {
        makePlan(i, names[i]);
    }
    const std::list<CString> held{CString(WTEXT("zz")), CString(WTEXT("held"))};
    EXPECT_EQ(PlanNames(CPowerScheme(), held),
              "zz|held|Alpha|Balanced|High performance|Power saver|Zeta|alpha|beta|\u00c9co|"
              "\u03a9|\U0001F600|\uff03");
}

TEST_F(PowerPlans, ARepeatedNameKeepsTheFirstSchemeAndNamesMatchExactly) {
    makePlan(0, WTEXT("Other"));
    const GUID first = makePlan(1, WTEXT("Quiet"));
    makePlan(2, WTEXT("Quiet"));
    makePlan(3, WTEXT("QUIET"));
    CPowerScheme schemes;
    EXPECT_EQ(PlanNames(schemes), "Balanced|High performance|Other|Power saver|QUIET|Quiet");
    EXPECT_EQ(schemes.SetActivePowerScheme(CString(WTEXT("Quiet"))), 1);
    EXPECT_TRUE(ActivePlan() == first);

    for (const WCHAR* name : {WTEXT("quiet"), WTEXT("Quiet "), WTEXT("")}) {
        EXPECT_EQ(schemes.SetActivePowerScheme(CString(name)), 0);
    }
    EXPECT_TRUE(ActivePlan() == first);
}

// The snapshot is never refreshed; the active plan is read from the system at every call.
TEST_F(PowerPlans, PlansChangedAfterTheSnapshot) {
    const GUID gone = makePlan(0, WTEXT("Gone"));
    CPowerScheme schemes;
    ASSERT_EQ(PowerDeleteScheme(nullptr, &gone), DWORD(ERROR_SUCCESS));
    const GUID later = makePlan(1, WTEXT("Created later"));
    ASSERT_EQ(PowerSetActiveScheme(nullptr, &later), DWORD(ERROR_SUCCESS));

    CString name;
    EXPECT_EQ(schemes.GetActivePowerScheme(name), 1);
    EXPECT_EQ(name.ToUtf8(), "Created later");
    EXPECT_EQ(schemes.SetActivePowerScheme(CString(WTEXT("Created later"))), 0);
    EXPECT_EQ(schemes.SetActivePowerScheme(CString(WTEXT("Gone"))), 0); // the system refuses
    EXPECT_TRUE(ActivePlan() == later);
    EXPECT_EQ(PlanNames(schemes), "Balanced|Gone|High performance|Power saver");
}

} // namespace
