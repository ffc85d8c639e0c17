// The charging mode controller: which switches each change sends, how long it reads the mode
// back, what it records for the host, how it seeds that record, and what copies share.
#include "charging_test.h"
#include "every_call_fails.h"

#include <celdor/usbcharger.h>

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

// Each request switches its own mode on first and the other off afterwards; the second
// battery's storage commands follow the first's.
TEST_F(ChargingModeTest, ChangesKeepStorageAndExpressApart) {
    struct Case {
        std::initializer_list<fw::Mode> from;
        int to;
        std::vector<std::uint32_t> sent;
    };
    const Case cases[] = {
        {{}, 0, {}},
        {{}, 1, {0x03, 0x0D}},
        {{}, 2, {0x07}},
        {{fw::Mode::Storage, fw::Mode::Storage2}, 0, {0x05, 0x0F}},
        {{fw::Mode::Storage, fw::Mode::Storage2}, 1, {0x03, 0x0D}},
        {{fw::Mode::Storage, fw::Mode::Storage2}, 2, {0x07, 0x05, 0x0F}},
        {{fw::Mode::Express}, 0, {0x08}},
        {{fw::Mode::Express}, 1, {0x03, 0x0D, 0x08}},
        {{fw::Mode::Express}, 2, {0x07}},
    };
    const char16_t* recorded[] = {u"Normal", u"Storage", u"Quick"};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.sent.size() << " commands to mode " << c.to);
        Arrange(2, c.from);
        CChargingMode charging;
        Forget();
        EXPECT_EQ(charging.SetChargingMode(c.to), c.to);
        EXPECT_EQ(Sent(kPower), c.sent);
        EXPECT_EQ(On(fw::Mode::Storage), c.to == 1);
        EXPECT_EQ(On(fw::Mode::Storage2), c.to == 1);
        EXPECT_EQ(On(fw::Mode::Express), c.to == 2);
        EXPECT_EQ(nb().clock().sleeps, 0u);
        EXPECT_EQ(Recorded(), recorded[c.to]);
        EXPECT_TRUE(Messages().empty());
    }
}

// Up to ten reads, 50 ms apart on the virtual clock; the registry hears only of a confirmed
// mode.
TEST_F(ChargingModeTest, ReadsTheModeBackUntilConfirmed) {
    struct Case {
        std::uint32_t delayMs;
        int result;
        std::uint64_t sleeps;
    };
    const Case cases[] = {
        {0, 1, 0}, {200, 1, 4}, {450, 1, 9}, {451, 0, 10}, {fw::kNever, 0, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.delayMs);
        Arrange(1, {}, c.delayMs);
        CChargingMode charging;
        nb().clock().sleeps = nb().clock().sleptMs = 0;
        EXPECT_EQ(charging.SetChargingMode(1), c.result);
        EXPECT_EQ(nb().clock().sleeps, c.sleeps);
        EXPECT_EQ(nb().clock().sleptMs, 50 * c.sleeps);
        EXPECT_EQ(Recorded(), c.result == 1 ? u"Storage" : u"Normal");
    }
}

TEST_F(ChargingModeTest, AValueThatIsNoModeSwitchesNothing) {
    for (int mode : {3, -1}) {
        Arrange(1, {fw::Mode::Express});
        CChargingMode charging;
        Forget();
        nb().clock().sleeps = 0;
        EXPECT_EQ(charging.SetChargingMode(mode), 2);
        EXPECT_TRUE(Sent(kPower).empty());
        EXPECT_EQ(nb().clock().sleeps, 10u);
        EXPECT_EQ(Recorded(), u"Normal");
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

TEST_F(ChargingModeTest, ModeStringsAndTheRecordOnRequest) {
    EXPECT_EQ(CChargingMode::ChargeMode2Str(7), CChargingMode::ChargeMode2Str(0));
    EXPECT_EQ(CChargingMode::ChargeMode2Str(0), CChargingMode::BATTERY_CHARGE_MODE_NORMAL);
    EXPECT_EQ(CChargingMode::ChargeMode2Str(1), CChargingMode::BATTERY_CHARGE_MODE_STORAGE);
    EXPECT_EQ(CChargingMode::ChargeMode2Str(2), CChargingMode::BATTERY_CHARGE_MODE_EXPRESS);
    nb().registry().createKey(celdor::sim::Hive::CurrentUser, kAddinKey);
    CChargingMode::SetChargeModeRegistry(2);
    EXPECT_EQ(Recorded(), u"Quick");
    EXPECT_EQ(nb().journal().count("CreateFileW"), 0u);
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
    Celdor::CUSBCharger ac;
    Celdor::CUSBBatteryCharger battery;
    for (Celdor::CPowerFeatureBase* feature : {static_cast<Celdor::CPowerFeatureBase*>(&ac),
                                               static_cast<Celdor::CPowerFeatureBase*>(&battery)}) {
        EXPECT_EQ(feature->IsSupport(), 0);
        EXPECT_EQ(feature->OpenOrClose(), -1);
        EXPECT_EQ(feature->OpenFeature(), 0);
        EXPECT_EQ(feature->CloseFeature(), 0);
    }
}

} // namespace
