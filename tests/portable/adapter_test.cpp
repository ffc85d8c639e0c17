// The adapter state and its detection from the maker's firmware. (AC presence, which the test
// cannot arrange, is a contract test.)
#include "firmware.h"

namespace {

using Celdor::CAdapter;
namespace fw = portable::fw;

// Every state the firmware reports, with and without adapter mode detection; state 3 with
// detection is no valid state.
using AdapterWithTheDriver = portable::FirmwareTest;

TEST_F(AdapterWithTheDriver, StateAndDetectionComeFromTheFirmware) {
    for (std::uint32_t detection : {0u, std::uint32_t(fw::kAdapterModeDetection)}) {
        for (std::uint32_t state = 0; state < 4; ++state) {
            SCOPED_TRACE(::testing::Message() << "state " << state << " detection " << detection);
            Configure(detection, 0, state);
            EXPECT_EQ(CAdapter::GetAdapterStatus(), detection && state == 3 ? -1 : int(state));
            EXPECT_EQ(CAdapter::IsSupportAdapterModeDetect(), detection ? 1 : 0);
        }
    }
}

} // namespace
