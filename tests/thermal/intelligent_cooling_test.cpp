// CIntelligentCooling on the simulated notebook: which service it talks to, how it waits for
// one that is starting, the mode tables and control codes, the confirmation polls on the
// virtual clock, and every failing platform call.
#include "sim_test.h"

#include <celdor/thermal.h>

#include <gmock/gmock.h>

#include <string>
#include <vector>

using Celdor::CIntelligentCooling;
using celdor::models::ControlHandling;
using celdor::models::ServiceConfig;
using celdor::models::ServiceKind;
using celdor::models::ServiceState;
using celdor::sim::Fault;
using celdor::sim::HandleKind;
using celdor::sim::Hive;
using celdor::sim::RegValue;
using Mode = CIntelligentCooling::ITSMode;

namespace {

const char16_t kMmc[] = u"SYSTEM\\CurrentControlSet\\Services\\Thermivo\\Dovric\\IC\\MMC";
const char16_t kAutoDetect[] =
    u"SYSTEM\\CurrentControlSet\\Services\\Thermivo\\Dovric\\IC\\AUTODETECT";
const char16_t kSlider[] =
    u"SYSTEM\\CurrentControlSet\\Services\\HarluneProcessManagement\\Performance\\PowerSlider";

class Thermal : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        nb().fervo().present = true;
        set(kMmc, u"Capability", 7);
        set(kMmc, u"AutomaticModeSetting", 2);
        set(kMmc, u"CurrentSetting", 0);
        set(kAutoDetect, u"Capability", 1);
    }
    static void set(const char16_t* key, const char16_t* name, DWORD value) {
        nb().registry().setValue(Hive::LocalMachine, key, name, RegValue::Dword(value));
    }
    static void install(ServiceConfig config = {}, ServiceKind kind = ServiceKind::Thermal) {
        nb().services().install(kind, config);
    }
    static ServiceConfig delayed(std::uint32_t ms, ControlHandling controls = {}) {
        ServiceConfig config;
        config.controlDelayMs = ms;
        config.controls = controls;
        return config;
    }
    // The sleeps' lengths, or the control codes sent, in order.
    static std::vector<DWORD> codes(const char* function) {
        std::vector<DWORD> out;
        for (const auto& call : nb().journal().calls(function)) {
            out.push_back(call.code);
        }
        return out;
    }
    static std::vector<DWORD> sleeps() { return codes("Sleep"); }
    static std::vector<DWORD> controls() { return codes("ControlService"); }
};

TEST_F(Thermal, TheDispatcherVersionChoosesTheServiceAtEveryOpen) {
    install();
    install({}, ServiceKind::ProcessManagement);
    struct Case {
        std::optional<DWORD> version;
        const char* service;
    };
    const Case cases[] = {{std::nullopt, "Thermivo"},
                          {8191, "Thermivo"},
                          {8192, "HarluneProcessManagement"},
                          {0xFFFFFFFF, "Thermivo"}}; // negative as a signed version
    CIntelligentCooling cooling;
    for (const Case& c : cases) {
        nb().registry().deleteValue(Hive::LocalMachine, kSlider, u"Version");
        if (c.version) {
            set(kSlider, u"Version", *c.version);
        }
        nb().journal().clear();
        cooling.InitHandle();
        const auto opens = nb().journal().calls("OpenServiceW");
        ASSERT_EQ(opens.size(), 1u);
        EXPECT_EQ(opens[0].target, c.service);
        EXPECT_EQ(opens[0].access, 0x0104u);
        EXPECT_EQ(nb().journal().calls("OpenSCManagerW")[0].access, DWORD(SC_MANAGER_CONNECT));
        EXPECT_EQ(nb().openCount(HandleKind::Service), 1) << "the manager is closed at once";
    }
}

// Without the service every check opens it again, and a Get fills its outputs all the same.
TEST_F(Thermal, WithoutTheServiceEveryCheckTriesAgain) {
    CIntelligentCooling cooling;
    for (std::size_t round = 1; round <= 3; ++round) {
        EXPECT_EQ(cooling.CheckHandle(), 0);
        EXPECT_EQ(nb().journal().count("OpenServiceW"), 1 + round);
    }
    int capability = -1;
    Mode mode = CIntelligentCooling::ITS_MODE_GEEK;
    EXPECT_EQ(cooling.GetITSMode(capability, mode), 1);
    EXPECT_EQ(capability, 7);
    EXPECT_EQ(mode, CIntelligentCooling::ITS_MODE_INTELLIGENT);
}

// A starting service is asked again after a tenth of its wait hint, 1 to 10 s, for as long as
// its checkpoint moves, and given up on once it stalls for longer than its wait hint. The
// running service's checkpoint and wait hint of 0 count as a stall too, so the wait ends in 2
// and the next check finds the service running.
TEST_F(Thermal, AStartingServiceIsPolledByItsWaitHint) {
    struct Case {
        std::uint32_t waitHint, every;
        std::optional<std::uint64_t> runningAfter;
        std::vector<DWORD> sleeps;
    };
    const Case cases[] = {
        {30000, 3000, 9000, {3000, 3000, 3000}},
        {5000, 1000, 3000, {1000, 1000, 1000}},
        {200000, 10000, 20000, {10000, 10000}},
        {3000, 0, 2500, {1000, 1000, 1000}},               // stalled but on time
        {0, 0, std::nullopt, {1000}},                      // stalled, no patience at all
        {3000, 0, std::nullopt, {1000, 1000, 1000, 1000}}, // stalled past its hint
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.waitHint);
        ServiceConfig starting;
        starting.state = ServiceState::StartPending;
        starting.waitHintMs = c.waitHint;
        starting.checkPoint = 1;
        starting.checkpointEveryMs = c.every;
        starting.runningAfterMs = c.runningAfter;
        install(starting);
        nb().journal().clear();
        CIntelligentCooling cooling;
        EXPECT_EQ(cooling.GetServiceStatus(), 2);
        EXPECT_EQ(sleeps(), c.sleeps);
        if (c.runningAfter) {
            EXPECT_EQ(cooling.CheckHandle(), 1);
            EXPECT_EQ(sleeps(), c.sleeps);
        }
    }
}

TEST_F(Thermal, AKeyIsOpenedAgainAsA64BitViewWhenThePlainOpenFails) {
    install();
    CIntelligentCooling cooling;
    nb().journal().clear();
    nb().faults().inject("RegOpenKeyExW", Fault::Once(ERROR_ACCESS_DENIED, "AUTODETECT"));
    EXPECT_EQ(cooling.IsAutoTransitionEnabled(), 0);
    const auto opens = nb().journal().calls("RegOpenKeyExW");
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0].access, 0x20019u);
    EXPECT_EQ(opens[1].access, 0x20119u);

    nb().faults().inject("RegOpenKeyExW", Fault::Always(ERROR_ACCESS_DENIED, "AUTODETECT"));
    EXPECT_EQ(cooling.IsAutoTransitionEnabled(), -1);
}

// The code each requested mode sends; the service here never confirms, so each request but the
// mode in force polls ten times (a little over 2.2 s) and leaves the last mode read.
TEST_F(Thermal, EachModeSendsItsControlCode) {
    install(delayed(0, ControlHandling::Ignore));
    install(delayed(0, ControlHandling::Ignore), ServiceKind::ProcessManagement);
    const int requests[] = {0, 1, 2, 3, 4, -1, 5};
    const std::vector<DWORD> its = {134, 135, 146, 148, 135, 135, 135};
    const std::vector<DWORD> dispatcher = {163, 163, 164, 165, 172, 163, 163};
    CIntelligentCooling cooling;
    for (int request : requests) {
        Mode mode = static_cast<Mode>(request);
        const auto before = nb().clock().tickMs;
        EXPECT_EQ(cooling.SetITSMode(mode), 0);
        EXPECT_EQ(mode, CIntelligentCooling::ITS_MODE_INTELLIGENT);
        EXPECT_EQ(nb().clock().tickMs - before, request == 1 ? 20u : 10u * (20 + 200));
    }
    EXPECT_EQ(controls(), its);

    set(kSlider, u"Version", 0x2000);
    cooling.InitHandle();
    nb().journal().clear();
    for (int request : requests) {
        Mode mode = static_cast<Mode>(request);
        EXPECT_EQ(cooling.SetDispatcherMode(mode, 1, 0), 0);
    }
    EXPECT_EQ(controls(), dispatcher);
}

TEST_F(Thermal, AServiceThatStopsWhileConfirmingMakesThePollsFail) {
    ServiceConfig config = delayed(1000);
    config.stopsAfterMs = 300;
    install(config);
    CIntelligentCooling cooling;
    Mode mode = CIntelligentCooling::ITS_MODE_COOL;
    EXPECT_EQ(cooling.SetITSMode(mode), 2);
    EXPECT_EQ(mode, CIntelligentCooling::ITS_MODE_INTELLIGENT);
    EXPECT_LE(nb().openCount(HandleKind::Service), 1) << "reopened on every poll, kept one";
}

TEST_F(Thermal, TheDriverProbe) {
    install();
    set(kSlider, u"ITS_FN_Capability", 0);
    nb().fervo().present = false;
    CIntelligentCooling cooling;
    int capability = 0;
    Mode mode{};
    EXPECT_EQ(cooling.GetITSMode(capability, mode), 5);
    EXPECT_EQ(mode, CIntelligentCooling::ITS_MODE_INTELLIGENT) << "filled all the same";
    EXPECT_EQ(cooling.GetDispatcherMode(capability, mode, 1, 0), 0);
    EXPECT_EQ(cooling.GetDispatcherMode(capability, mode, 0, 0), 5);

    nb().journal().clear();
    EXPECT_EQ(cooling.SetITSAutoTransition(1), 5);
    EXPECT_EQ(controls(), std::vector<DWORD>{154}) << "sent before the probe";
    EXPECT_TRUE(sleeps().empty()) << "and not confirmed";
}

// A change is read back until the service confirms it: a mode 20 ms after its control and every
// 220 ms, the automatic switch every 200 ms; a switch to 2, which never reads back as asked, ten
// times.
TEST_F(Thermal, ChangesArePolledUntilConfirmed) {
    install(delayed(300));
    CIntelligentCooling cooling;
    Mode mode = CIntelligentCooling::ITS_MODE_COOL;
    EXPECT_EQ(cooling.SetITSMode(mode), 0);
    EXPECT_EQ(mode, CIntelligentCooling::ITS_MODE_COOL);
    EXPECT_EQ(sleeps(), (std::vector<DWORD>{20, 200, 20, 200, 20}));

    for (const auto& [request, polls] :
         {std::pair{1, std::vector<DWORD>{200, 200}}, std::pair{2, std::vector<DWORD>(10, 200)}}) {
        nb().journal().clear();
        EXPECT_EQ(cooling.SetITSAutoTransition(request), 0);
        EXPECT_EQ(controls(), std::vector<DWORD>{154});
        EXPECT_EQ(sleeps(), polls);
    }
}

// Each platform call an operation makes, failing in turn, gives the operation's result.
TEST_F(Thermal, EveryFailingCallGivesItsResult) {
    using Operation = int (*)(CIntelligentCooling&);
    const Operation getMode = [](CIntelligentCooling& c) {
        int capability = 0;
        Mode mode{};
        return c.GetITSMode(capability, mode);
    };
    const Operation setMode = [](CIntelligentCooling& c) {
        Mode mode = CIntelligentCooling::ITS_MODE_COOL;
        return c.SetITSMode(mode);
    };
    const Operation setAuto = [](CIntelligentCooling& c) { return c.SetITSAutoTransition(1); };
    const Operation isAuto = [](CIntelligentCooling& c) { return c.IsAutoTransitionEnabled(); };
    const Operation isEpm = [](CIntelligentCooling& c) { return c.IsiEPMModeEnabled(); };
    const Operation version = [](CIntelligentCooling& c) { return c.GetITSVersion(); };
    struct Case {
        const char* function;
        Operation operation;
        int result;
    };
    const Case cases[] = {
        {"RegOpenKeyExW", getMode, 4},  {"OpenSCManagerW", getMode, 1},
        {"OpenServiceW", getMode, 1},   {"QueryServiceStatusEx", getMode, 2},
        {"CreateFileW", getMode, 5},    {"RegQueryValueExW", getMode, 0},
        {"ControlService", setMode, 3}, {"QueryServiceStatusEx", setMode, 2},
        {"ControlService", setAuto, 3}, {"CreateFileW", setAuto, 5},
        {"RegOpenKeyExW", isAuto, -1},  {"QueryServiceStatusEx", isEpm, 0},
        {"RegOpenKeyExW", version, 0},
    };
    set(u"SYSTEM\\CurrentControlSet\\Services\\Thermivo\\Dovric\\IC", u"Version", 3);
    set(kAutoDetect, u"Capability", 3);
    set(kAutoDetect, u"CurrentState", 1);
    install();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        nb().faults().clear();
        nb().faults().inject(c.function, Fault::Always(ERROR_ACCESS_DENIED));
        CIntelligentCooling cooling;
        EXPECT_EQ(c.operation(cooling), c.result);
        EXPECT_LE(nb().openCount(HandleKind::Service), 1);
        EXPECT_EQ(nb().openCount(HandleKind::RegistryKey), 0);
    }
}

} // namespace
