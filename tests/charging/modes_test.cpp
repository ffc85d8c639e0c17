// The temporary, night-charge and storage-80 modes: the words they send, how they read the
// replies, what they log, and night charge's read-back.
#include "charging_test.h"

#include <gmock/gmock.h>

using Celdor::CChargingMode;
using celdor::sim::FervoReply;
using ::testing::ElementsAre;

namespace {

constexpr DWORD kSpecVersion = 0x8310214C;

class ModesTest : public ChargingTest {
protected:
    // A scripted reply word, or a failed request for std::nullopt.
    static void Reply(DWORD code, std::optional<std::uint32_t> word) {
        nb().fervo().script(code, std::nullopt,
                            word ? FervoReply::Word(*word) : FervoReply::Fail(ERROR_GEN_FAILURE));
    }
};

// Each query asks its capability first and its state only when the capability says yes; the
// messages tell a failed request ("call ...") from a refused command ("... returns failed").
TEST_F(ModesTest, TemporaryModeAndNightChargeReplies) {
    struct Case {
        DWORD code;
        std::optional<std::uint32_t> capability;
        std::optional<std::uint32_t> status; // not asked when the capability says no
        int support;
        int state;
        std::vector<std::string> messages; // of the state query
    };
    const Case cases[] = {
        {kBtmc, 0x1, {}, 0, 0, {}},
        {kBtmc, 0x3, 0x21, 1, 4, {}},
        {kBtmc, 0x5, 0x31, 1, 0, {}},
        {kBtmc, 0x3, 0x1, 1, 1, {}},
        {kBtmc, 0x3, 0x11, 1, 2, {}},
        {kBtmc, 0x3, 0x6, 1, 0, {"BTMC_GET_STATUS returns failed, error code: 6"}},
        {kBtmc, 0x3, std::nullopt, 1, 0, {"call BTMC_GET_STATUS DeviceIoControl failed"}},
        {kBtmc, 0x6, {}, 0, 0, {"BTMC_GET_CAP returns failed"}},
        {kBtmc, std::nullopt, {}, 0, 0, {"call BTMC_GET_CAP DeviceIoControl failed"}},
        {kBnmc, 0x11, 0x11, 1, 1, {}},
        {kBnmc, 0x11, 0x1, 1, 2, {}},
        {kBnmc, 0x1, {}, 0, 0, {}},
        {kBnmc, 0x11, 0x4, 1, 0, {"BNMC_GET_STATUS returns failed, error code: 4"}},
        {kBnmc, 0x11, std::nullopt, 1, 0, {"call BNMC_GET_STATUS DeviceIoControl failed"}},
        {kBnmc, 0x2, {}, 0, 0, {"BNMC_GET_CAP returns failed, error code: 2"}},
        {kBnmc, std::nullopt, {}, 0, 0, {"call BNMC_GET_CAP DeviceIoControl failed"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.code << " " << c.capability.value_or(0));
        const bool temporary = c.code == kBtmc;
        Reply(c.code, c.capability);
        EXPECT_EQ(temporary ? CChargingMode::DoesSupportTemporaryMode()
                            : CChargingMode::DoesSupportNightChargeMode(),
                  c.support);
        Forget();
        Reply(c.code, c.capability);
        if (c.support) {
            Reply(c.code, c.status);
        }
        EXPECT_EQ(temporary ? CChargingMode::GetTemporaryMode()
                            : CChargingMode::GetNightChargeMode(),
                  c.state);
        EXPECT_EQ(Sent(c.code).size(), c.support ? 2u : 1u);
        EXPECT_EQ(Messages(), c.messages);
        Forget();
    }
}

// The switch, then up to ten reads 50 ms apart; the command's channel is closed last.
TEST_F(ModesTest, NightChargeIsSwitchedAndReadBack) {
    struct Case {
        std::uint32_t features;
        int mode;
        std::uint32_t command;
        int result;
        std::uint64_t sleeps;
    };
    const Case cases[] = {
        {fw::kNightCharge, 1, 0x80000012, 1, 3},
        {fw::kNightCharge, 2, 0x00000012, 2, 0},
        {0, 1, 0x80000012, 0, 10},
        {0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        nb().fervo().configure({.features = c.features, .switchDelayMs = 120});
        Forget();
        nb().clock().sleeps = 0;
        EXPECT_EQ(CChargingMode::SetNightChargeMode(c.mode), c.result);
        EXPECT_EQ(nb().clock().sleeps, c.sleeps);
        EXPECT_EQ(Sent(kBnmc).at(0), c.command);
        const auto opens = nb().journal().calls("CreateFileW");
        EXPECT_EQ(nb().journal().calls("CloseHandle").back().handle, opens.front().handle);
    }
    EXPECT_TRUE(Messages().empty());

    nb().fervo().configure({.features = fw::kNightCharge}, {fw::Mode::NightCharge});
    Reply(kBnmc, std::nullopt);
    EXPECT_EQ(CChargingMode::SetNightChargeMode(2), 1);
    EXPECT_EQ(nb().clock().sleeps, 10u);
    EXPECT_THAT(Messages(), ElementsAre("call BNMC_SET_STATUS DeviceIoControl failed"));
}

// The power status word is asked only of a driver of version 184 or later.
TEST_F(ModesTest, Storage80NeedsADriverRecentEnough) {
    struct Case {
        std::optional<std::uint32_t> versionReply;
        std::uint32_t features;
        bool statusFails;
        int result;
        std::size_t statusQueries;
    };
    const Case cases[] = {
        {0xB71, fw::kStorage80, false, 0, 0},  {std::nullopt, fw::kStorage80, false, 0, 0},
        {0xB81, fw::kStorage80, false, 1, 1},  {0xB81, 0, false, 0, 1},
        {0x1001, fw::kStorage80, false, 1, 1}, {0xB81, fw::kStorage80, true, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.versionReply.value_or(0xDEAD));
        nb().fervo().configure({.features = c.features});
        Forget();
        Reply(kSpecVersion, c.versionReply);
        if (c.statusFails) {
            nb().fervo().script(kPower, 0xFF, FervoReply::Fail(ERROR_NOT_READY));
        }
        EXPECT_EQ(CChargingMode::DoesSupportStorage80(), c.result);
        EXPECT_EQ(Count(kPower, 0xFF), c.statusQueries);
        if (c.statusFails) {
            EXPECT_EQ(Messages().back(),
                      "CChargingMode::DoesSupportStorage80() DeviceIoControl failed, error: 21");
        }
    }
}

} // namespace
