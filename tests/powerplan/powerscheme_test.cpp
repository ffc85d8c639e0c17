// CPowerScheme against the simulated notebook's plans where only the simulation can arrange or
// observe it: the power source, every platform failure, the calls the enumeration makes.
#include "out_of_memory.h"
#include "plan_names.h"
#include "sim_test.h"

#include <celdor/powerplan.h>

#include <list>
#include <string>
#include <vector>

using Celdor::CPowerScheme;
using Celdor::CString;
using celdor::sim::Fault;
using celdor::sim::PowerPlan;

namespace {

GUID Plan(unsigned i) {
    return GUID{0xC0DE0000 + i, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
}

class PowerSchemeTest : public SimTest {
protected:
    // The notebook's plans become these, in this enumeration order: plan i has GUID Plan(i),
    // the first is active.
    void setPlans(std::vector<const char*> names) {
        auto& schemes = nb().powerSchemes();
        schemes.plans.clear();
        for (unsigned i = 0; i < names.size(); ++i) {
            schemes.plans.push_back(PowerPlan{Plan(i), celdor::sim::Utf8ToUtf16(names[i])});
        }
        schemes.active = Plan(0);
    }
};

TEST_F(PowerSchemeTest, DisplayValuesComeFromThePowerSourcesSide) {
    setPlans({"Balanced"});
    nb().powerSchemes().plans[0] = PowerPlan{Plan(0), u"Balanced", 0, 120, 90, 40};
    // Only line status 1 is AC power; 255 is unknown, 2 an odd report. A time-out of 0 is
    // "never", not a failure.
    const struct {
        BYTE acLine;
        int timeout, brightness;
    } cases[] = {{1, 0, 90}, {0, 120, 40}, {255, 120, 40}, {2, 120, 40}};
    for (const auto& c : cases) {
        nb().powerStatus().ACLineStatus = c.acLine;
        EXPECT_EQ(CPowerScheme().GetDisplayTimeOutValue(), c.timeout) << int(c.acLine);
        EXPECT_EQ(CPowerScheme().GetCurrentBrightness(), c.brightness) << int(c.acLine);
    }
}

// Each failure gives -1 (or 0 with the name unchanged); the leak check sees every GUID freed.
TEST_F(PowerSchemeTest, PlatformFailuresGiveNoAnswer) {
    const struct {
        const char* function;
        Fault fault;
        int values, active;
    } cases[] = {
        {"GetSystemPowerStatus", Fault::Always(ERROR_GEN_FAILURE), -1, 1},
        {"PowerGetActiveScheme", Fault::Always(ERROR_ACCESS_DENIED), -1, 0},
        {"PowerReadACValue", Fault::Always(ERROR_FILE_NOT_FOUND), -1, 1},
        {"PowerReadFriendlyName", Fault::Once(ERROR_FILE_NOT_FOUND), 600, 0},
        {"PowerReadFriendlyName", Fault::Nth(2, ERROR_MORE_DATA), 600, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.function);
        CPowerScheme schemes; // built before the fault
        nb().faults().inject(c.function, c.fault);
        CString name(CELDOR_W("kept"));
        EXPECT_EQ(schemes.GetActivePowerScheme(name), c.active);
        EXPECT_EQ(name.ToUtf8(), c.active ? "Balanced" : "kept");
        EXPECT_EQ(schemes.GetDisplayTimeOutValue(), c.values);
        nb().faults().clear();
    }
}

// A name is sized before it is read; a scheme whose name cannot be read is left out, and the
// first index the system does not answer ends the enumeration. Copies ask the system nothing.
TEST_F(PowerSchemeTest, EnumerationSkipsWhatItCannotReadAndCopiesAskNothing) {
    setPlans({"First", "Second", "Third", "Fourth"});
    nb().faults().inject("PowerReadFriendlyName",
                         Fault::Nth(2, ERROR_GEN_FAILURE, celdor::sim::GuidText(Plan(1))));
    nb().faults().inject("PowerEnumerate", Fault::Nth(4, ERROR_GEN_FAILURE));
    CPowerScheme schemes;
    EXPECT_EQ(PlanNames(schemes), "First|Third");
    const auto reads = nb().journal().calls("PowerReadFriendlyName");
    ASSERT_EQ(reads.size(), 6u);
    EXPECT_EQ(reads[0].outSize, 0u);
    EXPECT_EQ(reads[1].outSize, sizeof(u"First"));

    setPlans({"Other"});
    CPowerScheme other;
    nb().journal().clear();
    CPowerScheme copy(schemes);
    EXPECT_EQ(PlanNames(copy), "First|Third");
    copy = other;
    EXPECT_EQ(PlanNames(copy), "Other");
    EXPECT_TRUE(nb().journal().calls().empty());
}

// Memory running out at any allocation of the enumeration leaves every plan or none: a list
// missing some would let the host offer plans that are not all there are.
TEST_F(PowerSchemeTest, RunningOutOfMemoryLeavesEveryPlanOrNone) {
    setPlans({"First", "Second", "Third"});
    for (long allocations = 0, failed = 1; failed; ++allocations) {
        t_allocationsBeforeFailure = allocations;
        CPowerScheme schemes;
        failed = t_allocationsBeforeFailure < 0;
        t_allocationsBeforeFailure = -1;
        const std::string names = PlanNames(schemes);
        EXPECT_TRUE(names.empty() || names == "First|Second|Third") << allocations << ": " << names;
    }
}

} // namespace
