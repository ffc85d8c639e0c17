// Always-on USB charging on AC: the switch and its retries until the state reads back.
#include "charging_test.h"

#include <celdor/usbcharger.h>

#include <gmock/gmock.h>

using Celdor::CUSBCharger;
using celdor::sim::FervoReply;
using ::testing::ElementsAre;

namespace {

class UsbChargerTest : public ChargingTest {
protected:
    static std::vector<std::string> Retries(const std::string& what, int count) {
        std::vector<std::string> lines;
        for (int i = 1; i <= count; ++i) {
            lines.push_back(what + " always on USB failed, automatically try again" +
                            std::to_string(i));
        }
        return lines;
    }
};

// Confirmed at the first check: one command, one query. Never confirmed: eleven commands on
// one channel, ten queries, ten numbered retries; the result is the last command's.
TEST_F(UsbChargerTest, SwitchOnAcRetriesUntilConfirmed) {
    struct Case {
        std::uint32_t delayMs;
        std::size_t commands, queries;
        int retries;
    };
    const Case cases[] = {{0, 1, 1, 0}, {fw::kNever, 11, 10, 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.delayMs);
        nb().fervo().configure({.features = fw::kUsbOnAc, .switchDelayMs = c.delayMs});
        Forget();
        EXPECT_EQ(CUSBCharger().OpenFeature(), 1);
        EXPECT_EQ(Count(kUsb, 0x0A), c.commands);
        EXPECT_EQ(Count(kUsb, 0x02), c.queries);
        EXPECT_EQ(Messages(), Retries("Open", c.retries));
        EXPECT_EQ(DriverOpens(), 1 + c.queries);
    }
}

// Switching off waits for the state "off"; a failed query counts as not yet, and a refused
// retry is reported only by the result.
TEST_F(UsbChargerTest, SwitchOffRetriesOnAFailedQuery) {
    nb().fervo().configure({.features = fw::kUsbOnAc}, {fw::Mode::UsbOnAc});
    nb().fervo().script(kUsb, 0x02, FervoReply::Fail(ERROR_GEN_FAILURE));
    EXPECT_EQ(CUSBCharger().CloseFeature(), 1);
    EXPECT_THAT(Sent(kUsb, true), ElementsAre(0x0B, 0x02, 0x0B, 0x02));
    EXPECT_THAT(Messages(), ElementsAre("Query always on USB DeviceIo failed",
                                        "Close always on USB failed, automatically try again1"));

    Forget();
    nb().fervo().configure({.features = fw::kUsbOnAc, .switchDelayMs = fw::kNever});
    nb().fervo().script(kUsb, 0x0A, FervoReply::Word(0));
    for (int i = 0; i < 10; ++i) {
        nb().fervo().script(kUsb, 0x0A, FervoReply::Fail(ERROR_BUSY));
    }
    EXPECT_EQ(CUSBCharger().OpenFeature(), 0);
    EXPECT_EQ(Messages(), Retries("Open", 10));
}

} // namespace
