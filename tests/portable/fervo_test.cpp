// The maker's device as any program sees it: buffered requests answered by the firmware the
// configuration code set up, with the driver's errors for what it refuses.
#include "firmware.h"

#include <cstdint>

namespace {

using portable::AskFervo;
using Fervo = portable::FirmwareTest;
namespace fw = portable::fw;

TEST_F(Fervo, TheConfigurationCodeTakesExactlyASetup) {
    std::uint8_t bytes[sizeof(fw::Setup) + 1] = {};
    for (DWORD size : {DWORD(0), DWORD(sizeof(fw::Setup) - 1), DWORD(sizeof(fw::Setup) + 1)}) {
        EXPECT_EQ(AskFervo(fw::kConfigure, bytes, size, nullptr, 0).error,
                  DWORD(ERROR_INVALID_PARAMETER))
            << size;
    }
    const auto answer = AskFervo(fw::kConfigure, bytes, sizeof(fw::Setup), nullptr, 0);
    EXPECT_EQ(answer.error, DWORD(ERROR_SUCCESS));
    EXPECT_EQ(answer.returned, 0u);
}

// The power status word as the setup describes the firmware: express offered and on, adapter
// state 3, adapter mode detection. A buffer too short for the word gets what fits and
// ERROR_MORE_DATA; a code the driver does not know is an invalid function.
TEST_F(Fervo, RequestsAreAnsweredFromTheSetUpFirmware) {
    Configure(fw::kExpress | fw::kAdapterModeDetection, fw::ModeBit(fw::Mode::Express), 3);
    const std::uint8_t status = 0xFF;
    struct Case {
        DWORD code, outSize, error, returned;
        std::uint32_t word;
    };
    const Case cases[] = {
        {fw::kPowerCommand, 4, ERROR_SUCCESS, 4, 0x000B8004},
        {fw::kPowerCommand, 2, ERROR_MORE_DATA, 2, 0x8004},
        {fw::kPowerCommand - 4, 4, ERROR_INVALID_FUNCTION, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.code << " into " << c.outSize);
        std::uint32_t word = 0;
        const auto answer = AskFervo(c.code, &status, 1, &word, c.outSize);
        EXPECT_EQ(answer.error, c.error);
        EXPECT_EQ(answer.returned, c.returned);
        EXPECT_EQ(word, c.word);
    }
}

// What the firmware refuses reaches the caller as the driver's error: a switch of a feature it
// lacks, a command it is set up to refuse as busy, a request without its command byte.
TEST_F(Fervo, RefusalsBecomeTheDriversErrors) {
    fw::Setup setup;
    setup.config.features = fw::kStorage;
    setup.config.refusedCode = fw::kPowerCommand;
    setup.config.refusedCommand = 0x05;
    setup.config.refusal = std::uint32_t(fw::Refusal::Busy);
    Configure(setup);
    const struct {
        std::uint8_t command;
        DWORD inSize, error;
    } cases[] = {{0x07, 1, ERROR_NOT_SUPPORTED},
                 {0x05, 1, ERROR_BUSY},
                 {0x03, 1, ERROR_SUCCESS},
                 {0xFF, 0, ERROR_INVALID_PARAMETER}};
    for (const auto& c : cases) {
        std::uint32_t word = 0;
        EXPECT_EQ(AskFervo(fw::kPowerCommand, &c.command, c.inSize, &word, 4).error, c.error)
            << int(c.command);
    }
}

} // namespace
