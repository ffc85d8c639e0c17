// The firmware model on its own: switches that take their time, and the in-band answers of the
// 32-bit commands. (Status words, refusals, overflow and hibernation are seen through the device
// and the library's tests.)
#include <celdor_models/firmware.h>

#include <gtest/gtest.h>

namespace fw = celdor::models::firmware;

namespace {

std::uint32_t Ask(fw::Firmware& firmware, std::uint32_t code, std::uint32_t command,
                  std::uint64_t now = 0) {
    std::uint8_t in[4] = {std::uint8_t(command), std::uint8_t(command >> 8),
                          std::uint8_t(command >> 16), std::uint8_t(command >> 24)};
    std::uint8_t out[4] = {};
    const bool byte = code == fw::kPowerCommand || code == fw::kUsbChargeCommand;
    EXPECT_EQ(firmware.request(now, code, in, byte ? 1 : 4, out, 4).outcome, fw::Outcome::Done);
    return out[0] | out[1] << 8 | out[2] << 16 | std::uint32_t{out[3]} << 24;
}

} // namespace

// A switch shows after the delay; sent again meanwhile it keeps its time, switched back it
// starts the delay anew from what shows.
TEST(FirmwareModel, SwitchesShowAfterTheirDelay) {
    fw::Firmware firmware;
    firmware.configure({.features = fw::kStorage, .switchDelayMs = 200});
    Ask(firmware, fw::kPowerCommand, 0x03, 1000);
    Ask(firmware, fw::kPowerCommand, 0x03, 1100);
    EXPECT_FALSE(firmware.isOn(fw::Mode::Storage, 1199));
    EXPECT_TRUE(firmware.isOn(fw::Mode::Storage, 1200));
    Ask(firmware, fw::kPowerCommand, 0x05, 1300);
    EXPECT_TRUE(firmware.isOn(fw::Mode::Storage, 1499));
    EXPECT_FALSE(firmware.isOn(fw::Mode::Storage, 1500));
}

// Bit 0 when carried out, an error code in bits 1 to 3 when not.
TEST(FirmwareModel, WordCommandsAnswerInBand) {
    fw::Firmware firmware;
    firmware.configure({.features = fw::kTemporaryMode, .specVersion = 0xB8});
    firmware.setTemporaryMode(2);
    const std::uint32_t cases[][3] = {
        {fw::kGetSpecVersion, 0x11, 0xB81},
        {fw::kGetSpecVersion, 0x12, 0x2},
        {fw::kBtmc, 0x13, 0x3},
        {fw::kBtmc, 0x11, 0x21},
        {fw::kBnmc, 0x13, 0x1},
        {fw::kBnmc, 0x80000012, 0x4},
        {fw::kBnmc, 0, 0x2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Ask(firmware, c[0], c[1]), c[2]) << std::hex << c[0] << " " << c[1];
    }
}
