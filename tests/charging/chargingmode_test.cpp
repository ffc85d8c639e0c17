// The charging mode controller: which switches each change sends, how long it reads the mode
// back, what it records for the host, how it seeds that record, and what copies share.
#include "charging_test.h"
#include "every_call_fails.h"

#include <gmock/gmock.h>

using Celdor::CChargingMode;
using ::testing::ElementsAre;

namespace {

class ChargingModeTest : public ChargingTest {
protected:
    // A notebook whose mode is already recorded, so that construction switches nothing.
    void Arrange(std::uint32_t batteries, std::initializer_list<fw::Mode> on,
                 std::uint32_t delayMs = 0) {
        nb().fervo().configure({.features = fw::kExpress | fw::kStorage,
                                .batteries = batteries,
                                .switchDelayMs = delayMs},
                               on);
        Record(u"Normal");
    }
    bool On(fw::Mode mode) { return nb().fervo().firmware().isOn(mode, nb().clock().tickMs); }
};

// Each request switches its own mode on first and the other off afterwards, the second
// battery's storage following the first's; the mode is then read back up to ten times, 50 ms
// apart on the virtual clock, and only a confirmed mode is recorded. A value that is no mode
// switches nothing and is never confirmed.
TEST_F(ChargingModeTest, ChangesSwitchReadBackAndRecord) {
    using M = fw::Mode;
    struct Case {
        std::initializer_list<fw::Mode> from;
        int to;
        std::uint32_t delayMs;
        std::vector<std::uint32_t> sent;
        int result;
        std::uint64_t sleeps;
    };
    const Case cases[] = {
        {{}, 0, 0, {}, 0, 0},
        {{}, 1, 0, {0x03, 0x0D}, 1, 0},
        {{}, 2, 0, {0x07}, 2, 0},
        {{M::Storage, M::Storage2}, 0, 0, {0x05, 0x0F}, 0, 0},
        {{M::Storage, M::Storage2}, 1, 0, {0x03, 0x0D}, 1, 0},
        {{M::Storage, M::Storage2}, 2, 0, {0x07, 0x05, 0x0F}, 2, 0},
        {{M::Express}, 0, 0, {0x08}, 0, 0},
        {{M::Express}, 1, 0, {0x03, 0x0D, 0x08}, 1, 0},
        {{M::Express}, 2, 0, {0x07}, 2, 0},
        {{}, 1, 200, {0x03, 0x0D}, 1, 4},
        {{}, 1, 450, {0x03, 0x0D}, 1, 9},
        {{}, 1, 451, {0x03, 0x0D}, 0, 10},
        {{}, 1, fw::kNever, {0x03, 0x0D}, 0, 10},
        {{M::Express}, 3, 0, {}, 2, 10},
        {{M::Express}, -1, 0, {}, 2, 10},
    };
    const char16_t* recorded[] = {u"Normal", u"Storage", u"Quick"};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "to " << c.to << " after " << c.delayMs << " ms");
        Arrange(2, c.from, c.delayMs);
        CChargingMode charging;
        Forget();
        nb().clock().sleeps = nb().clock().sleptMs = 0;
        EXPECT_EQ(charging.SetChargingMode(c.to), c.result);
        EXPECT_EQ(Sent(kPower), c.sent);
        EXPECT_EQ(nb().clock().sleeps, c.sleeps);
        EXPECT_EQ(nb().clock().sleptMs, 50 * c.sleeps);
        EXPECT_EQ(Recorded(), c.result == c.to ? recorded[c.to] : u"Normal");
        EXPECT_TRUE(Messages().empty());
        if (c.delayMs == 0) {
            EXPECT_EQ(On(M::Storage2), c.to == 1);
        }
    }
}

// A refused switch is logged and leaves the other mode alone; the read-back then times out.
TEST_F(ChargingModeTest, ARefusedSwitchLeavesTheModeInForce) {
    Arrange(1, {fw::Mode::Express});
    nb().fervo().configure({.features = fw::kExpress | fw::kStorage,
                            .refusedCode = kPower,
                            .refusedCommand = 0x03,
                            .refusal = std::uint32_t(fw::Refusal::Busy)},
                           {fw::Mode::Express});
    CChargingMode charging;
    EXPECT_EQ(charging.SetChargingMode(1), 2);
    EXPECT_THAT(Sent(kPower), ElementsAre(0x03));
    EXPECT_THAT(Messages(), ElementsAre("Open storage mode failed", "Open storage mode failed"));
    EXPECT_EQ(Recorded(), u"Normal");
}

// The first construction records the mode in force (and switches express off when storage is
// on); a recorded mode is left alone, with nothing asked beyond the battery count.
TEST_F(ChargingModeTest, TheFirstConstructionRecordsTheMode) {
    struct Case {
        std::initializer_list<fw::Mode> on;
        const char16_t* recorded;
        std::vector<std::uint32_t> sent;
    };
    const Case cases[] = {
        {{fw::Mode::Storage}, u"Storage", {0x08}},
        {{fw::Mode::Storage, fw::Mode::Express}, u"Storage", {0x08}},
        {{fw::Mode::Express}, u"Quick", {}},
        {{}, u"Normal", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(celdor::sim::Utf16ToUtf8(c.recorded));
        nb().reset();
        nb().fervo().present = true;
        nb().fervo().configure({.features = fw::kExpress | fw::kStorage}, c.on);
        CChargingMode charging;
        EXPECT_EQ(Recorded(), c.recorded);
        EXPECT_EQ(Sent(kPower), c.sent);
        EXPECT_FALSE(On(fw::Mode::Express) && On(fw::Mode::Storage));
    }

    Forget();
    nb().fervo().configure({.features = fw::kExpress | fw::kStorage}, {fw::Mode::Storage});
    CChargingMode again;
    EXPECT_THAT(Sent(kPower, true), ElementsAre(0xFF));
    EXPECT_EQ(nb().journal().count("RegSetValueExW"), 0u);
    EXPECT_EQ(Recorded(), u"Normal");
}

// A number that is no mode is recorded as normal.
TEST_F(ChargingModeTest, ANumberThatIsNoModeIsRecordedAsNormal) {
    Record(u"Quick");
    CChargingMode::SetChargeModeRegistry(7);
    EXPECT_EQ(Recorded(), u"Normal");
}

// Copies share one pair of features: the storage channel of a pair is closed once, when its
// last owner goes; an assignment lets go of the pair the object had.
TEST_F(ChargingModeTest, CopiesShareTheirFeatures) {
    Arrange(1, {fw::Mode::Storage});
    auto channels = [] { return nb().fervo().openHandles(); };
    auto first = std::make_unique<CChargingMode>();
    CChargingMode copy(*first);
    CChargingMode other;
    EXPECT_EQ(channels(), 2);
    other = copy;
    EXPECT_EQ(channels(), 1);
    first.reset();
    EXPECT_EQ(copy.GetChargingMode(), 1);
    EXPECT_EQ(other.SetChargingMode(2), 2);
    other = other;
    EXPECT_EQ(channels(), 1);
}

// Whichever call fails, the change ends in one of the two modes, the record names the mode
// read back when it was confirmed, and nothing is left open.
TEST_F(ChargingModeTest, EveryFailingCallLeavesAConsistentState) {
    EveryCallFailing<int>(
        [&] {
            nb().reset();
            nb().fervo().present = true;
            Arrange(2, {fw::Mode::Express});
            Record(u"Quick");
        },
        [] { return CChargingMode().SetChargingMode(1); },
        [&](const std::string&, int result) {
            EXPECT_TRUE(result == 1 || result == 2) << result;
            const auto recorded = Recorded();
            EXPECT_TRUE(recorded == u"Quick" || (result == 1 && recorded == u"Storage"));
        });
}

// Without the maker's driver every mode reads normal and off: a change to normal is confirmed at
// once and recorded, the others fail after ten reads and leave the record alone.
TEST_F(ChargingModeTest, WithoutTheDriverEverythingIsNormalAndOff) {
    nb().fervo().present = false;
    CChargingMode charging;
    EXPECT_EQ(Recorded(), u"Normal");
    EXPECT_THAT(Messages(), ::testing::IsSupersetOf(
                                {"Query storage mode failed", "Query rapid charge failed"}));
    EXPECT_EQ(charging.GetChargingMode(), 0);
    EXPECT_EQ(charging.DoesSupportConservationMode(), 0);
    EXPECT_EQ(charging.DoesSupportRapidChargeMode(), 0);
    Record(u"Quick");
    EXPECT_EQ(charging.SetChargingMode(1), 0);
    EXPECT_EQ(charging.SetChargingMode(2), 0);
    EXPECT_EQ(Recorded(), u"Quick");
    EXPECT_EQ(charging.SetChargingMode(0), 0);
    EXPECT_EQ(Recorded(), u"Normal");

    EXPECT_EQ(CChargingMode::GetTemporaryMode(), 0);
    EXPECT_EQ(CChargingMode::GetNightChargeMode(), 0);
    EXPECT_EQ(CChargingMode::SetNightChargeMode(1), 0);
    Forget();
    EXPECT_EQ(CChargingMode::DoesSupportStorage80(), 0);
    EXPECT_THAT(Messages(), ElementsAre("GetFvSpecVersion DeviceIoControl failed, last error: 2"));
}

} // namespace
