// The firmware model on its own: status words built from its state, switches that take their
// time, refusals, and what a hibernation takes away.
#include <celdor_firmware/firmware.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace fw = celdor::firmware;

namespace {

struct Answer {
    fw::Reply reply;
    std::vector<std::uint8_t> bytes;
    std::uint32_t word() const {
        std::uint32_t w = 0;
        for (std::size_t i = 0; i < bytes.size() && i < 4; ++i) {
            w |= std::uint32_t{bytes[i]} << (8 * i);
        }
        return w;
    }
};

Answer Ask(fw::Firmware& firmware, std::uint32_t code, std::uint32_t command,
           std::uint32_t outSize = 4, std::uint64_t now = 0) {
    const std::uint32_t inSize =
        code == fw::kPowerCommand || code == fw::kUsbChargeCommand ? 1 : 4;
    std::uint8_t in[4] = {std::uint8_t(command), std::uint8_t(command >> 8),
                          std::uint8_t(command >> 16), std::uint8_t(command >> 24)};
    Answer answer;
    answer.bytes.assign(outSize, 0xAA);
    answer.reply = firmware.request(now, code, in, inSize, answer.bytes.data(), outSize);
    return answer;
}

fw::Firmware Configured(fw::Config config) {
    fw::Firmware firmware;
    firmware.configure(config);
    return firmware;
}

} // namespace

TEST(FirmwareModel, StatusWordsComeFromConfigurationAndState) {
    fw::Firmware firmware = Configured({.features = fw::kExpress | fw::kStorage | fw::kStorage80 |
                                                    fw::kAdapterModeDetection | fw::kUsbOnAc,
                                        .batteries = 2});
    EXPECT_EQ(Ask(firmware, fw::kPowerCommand, 0xFF).word(), 0x008A4000u);
    EXPECT_EQ(Ask(firmware, fw::kUsbChargeCommand, 0x02).word(), 0x00000040u);

    firmware.set(fw::Mode::Express, true);
    firmware.set(fw::Mode::Storage, true);
    firmware.set(fw::Mode::UsbOnAc, true);
    for (std::uint32_t state : {1u, 2u, 3u}) {
        firmware.setAdapterState(state);
        const std::uint32_t adapterBits[] = {0, 0x10000, 0x8000, 0x18000};
        EXPECT_EQ(Ask(firmware, fw::kPowerCommand, 0xFF).word(), 0x008A4024u | adapterBits[state]);
    }
    EXPECT_EQ(Ask(firmware, fw::kUsbChargeCommand, 0x02).word(), 0x000000C0u);
}

// A switch shows after the configured delay; switching back meanwhile starts the delay anew;
// repeating the switch keeps its time. "Never" keeps the old state for good.
TEST(FirmwareModel, SwitchesShowAfterTheirDelay) {
    fw::Firmware firmware = Configured({.features = fw::kStorage, .switchDelayMs = 200});
    EXPECT_EQ(Ask(firmware, fw::kPowerCommand, 0x03, 4, 1000).reply.length, 0u);
    EXPECT_FALSE(firmware.isOn(fw::Mode::Storage, 1199));
    Ask(firmware, fw::kPowerCommand, 0x03, 4, 1100);
    EXPECT_TRUE(firmware.isOn(fw::Mode::Storage, 1200));
    Ask(firmware, fw::kPowerCommand, 0x05, 4, 1300);
    EXPECT_TRUE(firmware.isOn(fw::Mode::Storage, 1499));
    EXPECT_FALSE(firmware.isOn(fw::Mode::Storage, 1500));
    EXPECT_FALSE(firmware.settled(fw::Mode::Storage));

    firmware.configure({.features = fw::kNightCharge, .switchDelayMs = fw::kNever});
    Ask(firmware, fw::kBnmc, 0x80000012);
    EXPECT_FALSE(firmware.isOn(fw::Mode::NightCharge, ~std::uint64_t{0} - 1));
    EXPECT_FALSE(firmware.settled(fw::Mode::NightCharge));
}

TEST(FirmwareModel, RefusalsAndOverflow) {
    fw::Firmware firmware = Configured({.features = fw::kStorage,
                                        .refusedCode = fw::kPowerCommand,
                                        .refusedCommand = 0x05,
                                        .refusal = std::uint32_t(fw::Refusal::Busy)});
    struct Case {
        std::uint32_t code, command;
        fw::Outcome outcome;
        fw::Refusal refusal;
    };
    const Case cases[] = {
        {fw::kPowerCommand, 0x05, fw::Outcome::Refused, fw::Refusal::Busy},
        {fw::kPowerCommand, 0x07, fw::Outcome::Refused, fw::Refusal::NotSupported}, // no express
        {fw::kPowerCommand, 0x0D, fw::Outcome::Refused, fw::Refusal::NotSupported}, // one battery
        {fw::kPowerCommand, 0x42, fw::Outcome::Refused, fw::Refusal::NotSupported},
        {fw::kUsbChargeCommand, 0x0A, fw::Outcome::Refused, fw::Refusal::NotSupported},
        {0x83102138, 0, fw::Outcome::UnknownCode, fw::Refusal::None},
        {fw::kPowerCommand, 0x03, fw::Outcome::Done, fw::Refusal::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const fw::Reply reply = Ask(firmware, c.code, c.command).reply;
        EXPECT_EQ(reply.outcome, c.outcome);
        EXPECT_EQ(reply.refusal, c.refusal);
    }
    EXPECT_TRUE(firmware.isOn(fw::Mode::Storage, 0));

    std::uint8_t out[2] = {};
    EXPECT_EQ(firmware.request(0, fw::kBnmc, nullptr, 0, out, 2).refusal,
              fw::Refusal::InvalidParameter);
    const Answer cut = Ask(firmware, fw::kPowerCommand, 0xFF, 2);
    EXPECT_EQ(cut.reply.outcome, fw::Outcome::Overflow);
    EXPECT_EQ(cut.reply.length, 4u);
    EXPECT_EQ(cut.word(), 0x0020u); // the first two bytes of the status word
}

// The 32-bit codes answer in band: bit 0 when carried out, an error code in bits 1 to 3.
TEST(FirmwareModel, WordCommandsAnswerInBand) {
    fw::Firmware firmware = Configured({.features = fw::kNightCharge, .specVersion = 0xB8});
    firmware.setTemporaryMode(2);
    struct Case {
        std::uint32_t code, command, reply;
    };
    const Case cases[] = {
        {fw::kGetSpecVersion, 0x11, 0xB81}, {fw::kGetSpecVersion, 0x12, 0x2},
        {fw::kBtmc, 0x13, 0x1},             {fw::kBtmc, 0x11, 0x4},
        {fw::kBnmc, 0x13, 0x11},            {fw::kBnmc, 0x11, 0x1},
        {fw::kBnmc, 0x80000012, 0x1},       {fw::kBnmc, 0x11, 0x11},
        {fw::kBnmc, 0x00000012, 0x1},       {fw::kBnmc, 0x11, 0x1},
        {fw::kBnmc, 0, 0x2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(Ask(firmware, c.code, c.command).word(), c.reply);
    }
    firmware.configure({.features = fw::kTemporaryMode});
    firmware.setTemporaryMode(2);
    EXPECT_EQ(Ask(firmware, fw::kBtmc, 0x13).word(), 0x3u);
    EXPECT_EQ(Ask(firmware, fw::kBtmc, 0x11).word(), 0x21u);
    EXPECT_EQ(Ask(firmware, fw::kBnmc, 0x80000012).word(), 0x4u); // night charge unsupported
}

TEST(FirmwareModel, HibernationTakesTheConfiguredModes) {
    fw::Firmware firmware =
        Configured({.features = fw::kExpress | fw::kStorage | fw::kUsbOnAc,
                    .lostAtHibernation = fw::ModeBit(fw::Mode::Storage) | fw::ModeBit(fw::Mode::UsbOnAc)});
    firmware.set(fw::Mode::Storage, true);
    firmware.set(fw::Mode::Express, true);
    firmware.set(fw::Mode::UsbOnAc, true);
    firmware.hibernate();
    EXPECT_FALSE(firmware.isOn(fw::Mode::Storage, 0));
    EXPECT_FALSE(firmware.isOn(fw::Mode::UsbOnAc, 0));
    EXPECT_TRUE(firmware.isOn(fw::Mode::Express, 0));
}
