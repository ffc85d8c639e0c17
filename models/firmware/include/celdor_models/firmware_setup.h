// A firmware's whole setup as one fixed-layout block: what the notebook offers and the state its
// firmware is found in. It travels as bytes through a control code that only the machines built
// on this model accept (the simulated device and the stand-in driver under Wine), so that a
// program sets up the firmware the same way on both: a test through DeviceIoControl, an installer
// as the stand-in's start-up configuration.
//
// Freestanding, like the model.
#pragma once

#include "firmware.h"

namespace celdor::models::firmware {

// Device type 0x8310, function 0xFC0, buffered, any access: in a Setup, out nothing. A request
// of any other input size fails as an invalid parameter.
inline constexpr uint32_t kConfigure = 0x83103F00;

struct Setup {
    Config config;
    uint32_t modesOn = 0;      // ModeBit()s of the modes that are on
    uint32_t adapterState = 0; // 0 to 3
    uint32_t temporaryMode = 0;
};
static_assert(sizeof(Setup) == 44, "the setup travels as 44 bytes");

// The firmware as the setup describes it, every switch settled.
inline void Apply(Firmware& firmware, const Setup& setup) {
    firmware.configure(setup.config);
    for (uint32_t mode = 0; mode < kModeCount; ++mode) {
        firmware.set(static_cast<Mode>(mode), (setup.modesOn & (1u << mode)) != 0);
    }
    firmware.setAdapterState(setup.adapterState);
    firmware.setTemporaryMode(setup.temporaryMode);
}

// The setup a firmware would be built again from, its switches as they settle.
inline Setup SetupOf(const Firmware& firmware) {
    Setup setup;
    setup.config = firmware.config();
    for (uint32_t mode = 0; mode < kModeCount; ++mode) {
        if (firmware.settled(static_cast<Mode>(mode))) {
            setup.modesOn |= 1u << mode;
        }
    }
    setup.adapterState = firmware.adapterState();
    setup.temporaryMode = firmware.temporaryMode();
    return setup;
}

// A configuration request as both machines answer it: a Setup's bytes, exactly, or false
// (an invalid parameter) and the firmware left as it was.
inline bool Configure(Firmware& firmware, const uint8_t* in, uint32_t inSize) {
    if (!in || inSize != sizeof(Setup)) {
        return false;
    }
    Setup setup;
    __builtin_memcpy(&setup, in, sizeof(setup));
    Apply(firmware, setup);
    return true;
}

// The battery packs in the bays, set up the same way: device type 0x8310, function 0xFC1,
// buffered, any access; in a PackSetup, out nothing. The first `count` bays get the packs, each
// put in under a new tag; the others are left empty, their battery devices gone.
inline constexpr uint32_t kConfigurePacks = 0x83103F04;

struct PackSetup {
    uint32_t count = 0; // 0 to kMostPacks
    Pack packs[kMostPacks];
};

// A pack setup's bytes, exactly, with at most kMostPacks packs; false is an invalid parameter.
inline bool ReadPacks(const uint8_t* in, uint32_t inSize, PackSetup& setup) {
    if (!in || inSize != sizeof(PackSetup)) {
        return false;
    }
    __builtin_memcpy(&setup, in, sizeof(setup));
    return setup.count <= kMostPacks;
}

} // namespace celdor::models::firmware
