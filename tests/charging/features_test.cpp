// The charging features (express, storage, always-on USB on AC and from the battery): the bytes
// they send, the bits they read, what they log, and the storage feature's one channel that lives
// as long as it does.
#include "charging_test.h"

#include "charging/features.h"

#include <celdor/usbcharger.h>

#include <gmock/gmock.h>

#include <functional>
#include <memory>

using Celdor::CExpressMode;
using Celdor::CPowerFeatureBase;
using Celdor::CStorageMode;
using Celdor::CUSBBatteryCharger;
using Celdor::CUSBCharger;
using celdor::sim::FervoReply;
using ::testing::ElementsAre;

namespace {

class FeaturesTest : public ChargingTest {};

// The battery-count query opens the channel; every later request of the object uses it, and
// destroying the object through its interface closes it once.
TEST_F(FeaturesTest, StorageKeepsOneChannelForItsLife) {
    nb().fervo().configure({.features = fw::kStorage});
    std::unique_ptr<CPowerFeatureBase> storage = std::make_unique<CStorageMode>();
    EXPECT_EQ(storage->OpenFeature(), 1);
    EXPECT_EQ(storage->OpenOrClose(), 1);
    EXPECT_EQ(storage->CloseFeature(), 1);
    EXPECT_EQ(storage->OpenOrClose(), 2);
    EXPECT_EQ(DriverOpens(), 1u);
    EXPECT_EQ(nb().journal().count("CloseHandle"), 0u);
    storage.reset();
    const auto closes = nb().journal().calls("CloseHandle");
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].handle, nb().journal().calls("CreateFileW").at(0).handle);
    EXPECT_THAT(Sent(kPower, true), ElementsAre(0xFF, 0x03, 0xFF, 0x05, 0xFF));
}

// With two batteries each switch goes to the second battery too, after the first succeeded;
// nothing is undone when the second fails.
TEST_F(FeaturesTest, StorageSwitchesEachBattery) {
    struct Case {
        std::uint32_t batteries;
        std::uint32_t refused; // sub-command the firmware refuses, 0 for none
        std::vector<std::uint32_t> sent;
        int result;
    };
    const Case cases[] = {
        {1, 0, {0x03, 0x05}, 1},
        {2, 0x03, {0x03, 0x05, 0x0F}, 0},
        {2, 0x0D, {0x03, 0x0D, 0x05, 0x0F}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refused);
        nb().fervo().configure({.features = fw::kStorage,
                                .batteries = c.batteries,
                                .refusedCode = c.refused ? kPower : 0,
                                .refusedCommand = c.refused,
                                .refusal = std::uint32_t(fw::Refusal::NotSupported)});
        Forget();
        CStorageMode storage;
        EXPECT_EQ(storage.GetBatteryCount(), int(c.batteries));
        EXPECT_EQ(storage.OpenFeature(), c.result);
        EXPECT_TRUE(nb().fervo().firmware().isOn(fw::Mode::Storage, nb().clock().tickMs) ==
                    (c.refused != 0x03));
        EXPECT_EQ(storage.CloseFeature(), 1);
        EXPECT_EQ(Sent(kPower), c.sent);
        EXPECT_EQ(Messages(), c.result ? std::vector<std::string>{}
                                       : std::vector<std::string>{"Open storage mode failed"});
    }
}

TEST_F(FeaturesTest, AFailedCountQueryCountsOneBattery) {
    nb().fervo().configure({.features = fw::kStorage, .batteries = 2});
    nb().fervo().script(kPower, 0xFF, FervoReply::Fail(ERROR_GEN_FAILURE));
    CStorageMode storage;
    EXPECT_EQ(storage.GetBatteryCount(), 1);
    storage.OpenFeature();
    EXPECT_THAT(Sent(kPower), ElementsAre(0x03));
    EXPECT_TRUE(Messages().empty());
}

// Each feature reads its own bit; which of the two wins is the controller's business.
TEST_F(FeaturesTest, StateAndSupportBits) {
    struct Case {
        std::uint32_t word;
        int expressSupport, expressState, storageState;
    };
    const Case cases[] = {{0x00020004, 1, 1, 2}, {0x00000024, 0, 1, 1}, {0x00004020, 0, 2, 1}};
    CStorageMode storage;
    CExpressMode express;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        for (int i = 0; i < 3; ++i) {
            nb().fervo().script(kPower, 0xFF, FervoReply::Word(c.word));
        }
        EXPECT_EQ(express.IsSupport(), c.expressSupport);
        EXPECT_EQ(express.OpenOrClose(), c.expressState);
        EXPECT_EQ(storage.OpenOrClose(), c.storageState);
    }
    EXPECT_TRUE(Messages().empty());
}

// Each feature's switches and status query, and the line each logs when its request fails:
// express and the battery's always-on USB send their command once through a channel of their
// own, always-on USB on AC reads its state back after each command.
TEST_F(FeaturesTest, EachFeatureSwitchesAndLogsWhatFails) {
    struct Case {
        std::function<std::unique_ptr<CPowerFeatureBase>()> make;
        DWORD code;
        std::uint32_t offered;
        std::vector<std::uint32_t> sent; // queries included
        std::vector<std::string> refused, queryFailed;
    };
    const Case cases[] = {
        {[] { return std::make_unique<CStorageMode>(); },
         kPower,
         fw::kStorage,
         {0xFF, 0x03, 0x05},
         {"Open storage mode failed", "Close storage mode failed"},
         {"Query storage mode failed"}},
        {[] { return std::make_unique<CExpressMode>(); },
         kPower,
         fw::kExpress,
         {0x07, 0x08},
         {"Open rapid charge failed", "Close rapid charge failed"},
         {"Query support rapid charge failed", "Query rapid charge failed"}},
        {[] { return std::make_unique<CUSBCharger>(); },
         kUsb,
         fw::kUsbOnAc,
         {0x0A, 0x02, 0x0B, 0x02},
         {"Open always on USB DeviceIo failed", "Close always on USB DeviceIo failed"},
         {"Query always on USB capability DeviceIo failed", "Query always on USB DeviceIo failed"}},
        {[] { return std::make_unique<CUSBBatteryCharger>(); },
         kUsb,
         fw::kUsbOnBattery,
         {0x13, 0x12},
         {"Open AOU charge in battery DeviceIo failed",
          "Close AOU charge in battery DeviceIo failed"},
         {"Query AOU charge in battery capability DeviceIo failed",
          "Query AOU charge in battery DeviceIo failed"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refused[0]);
        nb().fervo().configure({.features = c.offered});
        Forget();
        auto feature = c.make();
        EXPECT_EQ(feature->OpenFeature(), 1);
        EXPECT_EQ(feature->CloseFeature(), 1);
        EXPECT_EQ(Sent(c.code, true), c.sent);

        // A refused switch is neither retried nor read back.
        nb().fervo().configure({});
        Forget();
        EXPECT_EQ(feature->OpenFeature(), 0);
        EXPECT_EQ(feature->CloseFeature(), 0);
        EXPECT_EQ(Sent(c.code, true).size(), 2u);
        EXPECT_EQ(Sent(c.code, true), Sent(c.code));
        EXPECT_EQ(Messages(), c.refused);

        Forget();
        for (std::size_t i = 0; i < c.queryFailed.size(); ++i) {
            nb().fervo().script(c.code, c.code == kPower ? 0xFF : 0x02,
                                FervoReply::Fail(ERROR_GEN_FAILURE));
        }
        // Storage's support is the driver's presence, which takes no status query.
        EXPECT_EQ(feature->IsSupport(), c.queryFailed.size() == 1 ? 1 : 0);
        EXPECT_EQ(feature->OpenOrClose(), -1);
        EXPECT_EQ(Messages(), c.queryFailed);
        Forget();
    }
}

} // namespace
