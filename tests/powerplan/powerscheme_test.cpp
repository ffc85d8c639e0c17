// CPowerScheme against the simulated notebook's plans: the snapshot and its order, repeated
// names, plans that change after the snapshot, the power source, and every platform failure.
#include "sim_test.h"

#include <celdor/powerplan.h>

#include <algorithm>
#include <list>
#include <string>
#include <vector>

using Celdor::CPowerScheme;
using Celdor::CString;
using celdor::sim::Fault;
using celdor::sim::GuidText;
using celdor::sim::HandleKind;
using celdor::sim::PowerPlan;

namespace {

GUID Plan(unsigned i) {
    return GUID{0xC0DE0000 + i, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
}

std::vector<std::string> Names(const CPowerScheme& schemes, std::list<CString> list = {}) {
    schemes.GetPowerSchemeList(list);
    std::vector<std::string> names;
    for (const CString& name : list) {
        names.push_back(name.ToUtf8());
    }
    return names;
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
    std::string active() {
        CString name(CELDOR_W("(unchanged)"));
        CPowerScheme().GetActivePowerScheme(name);
        return name.ToUtf8();
    }
};

TEST_F(PowerSchemeTest, ListIsInCodeUnitOrderAppendedToTheCallersList) {
    // U+1F600 is a surrogate pair (0xD83D 0xDE00), so it sorts before U+FF03 by code units.
    setPlans({"beta", "Alpha", "\u00c9co", "alpha", "Zeta", "\uff03 tag", "\U0001F600 smile",
              "\u03a9mega"});
    std::list<CString> held{CString(CELDOR_W("zz held")), CString()};
    EXPECT_EQ(Names(CPowerScheme(), held),
              (std::vector<std::string>{"zz held", "", "Alpha", "Zeta", "alpha", "beta", "\u00c9co",
                                        "\u03a9mega", "\U0001F600 smile", "\uff03 tag"}));

    nb().faults().inject("PowerEnumerate", Fault::Always(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Names(CPowerScheme(), held), (std::vector<std::string>{"zz held", ""}));
}

TEST_F(PowerSchemeTest, ARepeatedNameKeepsTheFirstSchemeAndNamesMatchExactly) {
    setPlans({"Other", "Quiet", "Quiet", "QUIET"});
    const CPowerScheme schemes;
    EXPECT_EQ(Names(schemes), (std::vector<std::string>{"Other", "QUIET", "Quiet"}));

    EXPECT_EQ(schemes.SetActivePowerScheme(CString(CELDOR_W("Quiet"))), 1);
    EXPECT_EQ(nb().powerSchemes().active, Plan(1));
    nb().journal().clear();
    for (const WCHAR* name : {CELDOR_W("quiet"), CELDOR_W("Quiet "), CELDOR_W("")}) {
        EXPECT_EQ(schemes.SetActivePowerScheme(CString(name)), 0);
    }
    EXPECT_EQ(nb().journal().count("PowerSetActiveScheme"), 0u);
    EXPECT_EQ(nb().powerSchemes().active, Plan(1));
}

// The snapshot is never refreshed; the active plan is read from the system at every call.
TEST_F(PowerSchemeTest, PlansChangedAfterTheSnapshot) {
    setPlans({"Balanced", "Gone"});
    const CPowerScheme schemes;
    nb().powerSchemes().plans.push_back(PowerPlan{Plan(7), u"Created later"});
    nb().powerSchemes().plans.erase(nb().powerSchemes().plans.begin() + 1);
    ASSERT_EQ(PowerSetActiveScheme(nullptr, &nb().powerSchemes().plans.back().guid), 0u);

    EXPECT_EQ(active(), "Created later");
    EXPECT_EQ(schemes.SetActivePowerScheme(CString(CELDOR_W("Created later"))), 0);
    EXPECT_EQ(schemes.SetActivePowerScheme(CString(CELDOR_W("Gone"))), 0); // the system refuses
    EXPECT_EQ(nb().powerSchemes().active, Plan(7));
    EXPECT_EQ(Names(schemes), (std::vector<std::string>{"Balanced", "Gone"}));
}

TEST_F(PowerSchemeTest, DisplayValuesComeFromThePowerSourcesSide) {
    setPlans({"Balanced"});
    nb().powerSchemes().plans[0] = PowerPlan{Plan(0), u"Balanced", 0, 120, 90, 40};
    struct Case {
        BYTE acLine;
        int timeout, brightness;
        const char* reader;
    };
    const Case cases[] = {{1, 0, 90, "PowerReadACValue"}, // 0 is "never", not a failure
                          {0, 120, 40, "PowerReadDCValue"},
                          {255, 120, 40, "PowerReadDCValue"}, // unknown
                          {2, 120, 40, "PowerReadDCValue"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.acLine));
        nb().powerStatus().ACLineStatus = c.acLine;
        nb().journal().clear();
        const CPowerScheme schemes;
        EXPECT_EQ(schemes.GetDisplayTimeOutValue(), c.timeout);
        EXPECT_EQ(schemes.GetCurrentBrightness(), c.brightness);
        EXPECT_EQ(nb().journal().count(c.reader), 2u);
        EXPECT_EQ(nb().journal().count("LocalFree"), 2u);
    }
}

// Each failure gives -1 (or 0 and the name unchanged) and leaves no GUID behind.
TEST_F(PowerSchemeTest, PlatformFailuresGiveNoAnswerAndFreeEveryGuid) {
    struct Case {
        const char* function;
        Fault fault;
        int values, active;
    };
    const Case cases[] = {
        {"GetSystemPowerStatus", Fault::Always(ERROR_GEN_FAILURE), -1, 1},
        {"PowerGetActiveScheme", Fault::Always(ERROR_ACCESS_DENIED), -1, 0},
        {"PowerReadACValue", Fault::Always(ERROR_FILE_NOT_FOUND), -1, 1},
        {"PowerReadFriendlyName", Fault::Once(ERROR_FILE_NOT_FOUND), 90, 0},
        {"PowerReadFriendlyName", Fault::Nth(2, ERROR_MORE_DATA), 90, 0},
    };
    setPlans({"Balanced"});
    nb().powerSchemes().plans[0].brightnessAc = nb().powerSchemes().plans[0].displayTimeoutAc = 90;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        const CPowerScheme schemes; // built before the fault
        nb().faults().inject(c.function, c.fault);
        nb().journal().clear();
        CString name(CELDOR_W("kept"));
        EXPECT_EQ(schemes.GetActivePowerScheme(name), c.active);
        EXPECT_EQ(name.ToUtf8(), c.active ? "Balanced" : "kept");
        EXPECT_EQ(schemes.GetDisplayTimeOutValue(), c.values);
        EXPECT_EQ(schemes.GetCurrentBrightness(), c.values);
        EXPECT_EQ(nb().openCount(HandleKind::Allocation), 0);
        const auto got = nb().journal().calls("PowerGetActiveScheme");
        const auto freed = nb().journal().calls("LocalFree");
        EXPECT_EQ(freed.size(),
                  static_cast<std::size_t>(std::count_if(
                      got.begin(), got.end(), [](const auto& call) { return call.result == 0; })));
        nb().faults().clear();
    }
}

// Reading a name asks for its size first; a scheme whose name cannot be read is left out, and
// the first index the system does not answer ends the enumeration.
TEST_F(PowerSchemeTest, EnumerationAsksOnceAndSkipsWhatItCannotRead) {
    setPlans({"First", "Second", "Third", "Fourth"});
    nb().faults().inject("PowerReadFriendlyName",
                         Fault::Nth(2, ERROR_GEN_FAILURE, GuidText(Plan(1))));
    nb().faults().inject("PowerEnumerate", Fault::Nth(4, ERROR_GEN_FAILURE));
    const CPowerScheme schemes;
    EXPECT_EQ(Names(schemes), (std::vector<std::string>{"First", "Third"}));
    const auto enumerated = nb().journal().calls("PowerEnumerate");
    ASSERT_EQ(enumerated.size(), 4u);
    EXPECT_EQ(enumerated.back().code, 3u);
    EXPECT_EQ(enumerated.back().outSize, sizeof(GUID));
    const auto names = nb().journal().calls("PowerReadFriendlyName");
    ASSERT_EQ(names.size(), 6u);
    EXPECT_EQ(names[0].outSize, 0u);
    EXPECT_EQ(names[1].outSize, sizeof(u"First"));

    // Copies take the snapshot as it is and ask the system nothing.
    setPlans({"Other"});
    CPowerScheme other;
    nb().journal().clear();
    CPowerScheme copy(schemes);
    EXPECT_EQ(Names(copy), Names(schemes));
    copy = other;
    EXPECT_EQ(Names(copy), (std::vector<std::string>{"Other"}));
    copy = copy;
    EXPECT_EQ(Names(copy), (std::vector<std::string>{"Other"}));
    EXPECT_TRUE(nb().journal().calls().empty());
}

} // namespace
