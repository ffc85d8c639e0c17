// Plans a test makes with the system's own functions, as a settings program would: a copy of
// Balanced under a GUID the test chooses, with a name of its own. The machine's active plan is
// put back and the test's plans deleted when the test ends, whatever it did.
#pragma once

#include "portable.h"

#include <gtest/gtest.h>

#include <vector>

namespace portable {

// The i-th GUID of the tests' own: "ffff00ii-...", so such plans are enumerated after the
// machine's own, in the order of i (the system enumerates plans in the order of their keys).
inline GUID TestPlanGuid(unsigned i) {
    return GUID{0xFFFF0000 + i, 0x7E57, 0x4A11, {0x8B, 0x1A, 0, 0, 0, 0, 0, 1}};
}

inline DWORD NamePlan(const GUID& plan, const WCHAR* name) {
    WString text(name);
    return PowerWriteFriendlyName(nullptr, &plan, &NO_SUBGROUP_GUID, nullptr,
                                  reinterpret_cast<UCHAR*>(text.data()),
                                  DWORD((text.size() + 1) * sizeof(WCHAR)));
}

inline GUID ActivePlan() {
    GUID* active = nullptr;
    GUID plan{};
    if (PowerGetActiveScheme(nullptr, &active) == ERROR_SUCCESS) {
        plan = *active;
        LocalFree(active);
    }
    return plan;
}

class PowerPlanTest : public ::testing::Test {
protected:
    void SetUp() override { m_active = ActivePlan(); }
    void TearDown() override {
        PowerSetActiveScheme(nullptr, &m_active);
        for (const GUID& plan : m_made) {
            PowerDeleteScheme(nullptr, &plan);
        }
    }

    // The plan TestPlanGuid(i), named `name`.
    GUID makePlan(unsigned i, const WCHAR* name) {
        GUID guid = TestPlanGuid(i);
        GUID* destination = &guid;
        EXPECT_EQ(PowerDuplicateScheme(nullptr, &GUID_TYPICAL_POWER_SAVINGS, &destination),
                  DWORD(ERROR_SUCCESS));
        m_made.push_back(guid);
        EXPECT_EQ(NamePlan(guid, name), DWORD(ERROR_SUCCESS));
        return guid;
    }
    // A plan the system gave its GUID, deleted at the end like the others.
    void adopt(const GUID& plan) { m_made.push_back(plan); }

private:
    GUID m_active{};
    std::vector<GUID> m_made;
};

} // namespace portable
