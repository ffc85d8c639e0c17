// A battery pack as a model: one physical pack, what it is and how full it is, and the two ways
// a notebook reports it: to Windows through the battery class (capacities in mWh, a power
// state, a rate) and to the maker's driver as the smart-battery block its firmware reads over
// the system management bus. Both views are built from the same pack, each in its own units.
//
// Freestanding like the firmware model: fixed-size state, no heap, no clock of its own (the
// caller passes the elapsed time in).
//
// The pack lives on the caller's clock, linearly: on AC it charges at `chargeRate` up to its
// charge limit (full, or the storage-mode limit) and then holds; on battery it discharges at
// `dischargeRate` down to empty. Energy below one mWh is carried over between steps, so the
// result does not depend on how the time is cut up.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace celdor::models::firmware {

inline constexpr uint32_t kMostPacks = 2;

// Fields the Windows view of a pack leaves out (Pack::windowsLacks), while the smart-battery
// block still carries them.
enum WindowsLacks : uint32_t {
    kLacksVoltage = 1u << 0,
    kLacksTemperature = 1u << 1,
    kLacksManufacturer = 1u << 2,
    kLacksManufactureDate = 1u << 3,
    kLacksCycleCount = 1u << 4,
    kLacksSerialNumber = 1u << 5,
};

struct Pack {
    // What the pack is. Capacities, alerts and the critical bias in mWh.
    char chemistry[5] = "LION"; // up to four ASCII characters: "LION", "LiP", "NiMH", ...
    bool rechargeable = true;
    uint32_t designedCapacity = 0;
    uint32_t fullChargedCapacity = 0;
    uint32_t defaultAlert1 = 0; // the low-capacity alert
    uint32_t defaultAlert2 = 0; // the warning alert
    uint32_t criticalBias = 0;
    uint32_t cycleCount = 0;
    // How full it is and how fast it moves, in mWh and mW.
    uint32_t remainingCapacity = 0;
    uint32_t chargeRate = 0;
    uint32_t dischargeRate = 0;
    // Its gauge's readings; 0 where the gauge has none.
    uint32_t voltage = 0;     // mV
    uint32_t temperature = 0; // tenths of a kelvin
    uint16_t manufactureYear = 0;
    uint8_t manufactureMonth = 0;
    uint8_t manufactureDay = 0;
    char manufacturer[13] = {}; // at most 12 bytes of UTF-8
    char serialNumber[21] = {}; // at most 20 ASCII characters
    uint16_t firmwareWords[4] = {};
    // Words and texts of the smart-battery block that the maker's driver hands on as they are.
    uint16_t smbWord06 = 0;
    uint16_t smbWord08 = 0;
    int16_t smbWord12 = 0;
    uint16_t smbWord18 = 0;
    uint16_t smbWord20 = 0;
    char smbText32[9] = {};
    char smbText52[24] = {};
    // Health of the second smart-battery generation.
    bool healthV2 = false;
    uint32_t healthLevel = 0;
    uint32_t healthTip = 0;
    uint32_t predictedLifeSpan = 0;
    // How Windows sees it: in relative units (percent of design) instead of mWh, and without
    // the fields of WindowsLacks.
    bool relativeCapacity = false;
    uint32_t windowsLacks = 0;
    // In its bay (set when the pack is put in).
    bool present = false;
    // Energy below one mWh, in mW x ms, carried over to the next step.
    uint32_t residue = 0;
};

// The pack moves on by `elapsedMs`, holding at `limit` mWh while on AC.
void Advance(Pack& pack, uint64_t elapsedMs, bool onAc, uint32_t limit);
bool IsCharging(const Pack& pack, bool onAc, uint32_t limit);
// Minutes until the pack reaches `limit` at its charge rate; 0 when it is not charging.
uint32_t MinutesToLimit(const Pack& pack, bool onAc, uint32_t limit);

// The battery class's view: BATTERY_STATUS and the capacities of BATTERY_INFORMATION, as
// plain fields.
inline constexpr uint32_t kPowerOnLine = 0x1;
inline constexpr uint32_t kDischarging = 0x2;
inline constexpr uint32_t kCharging = 0x4;
inline constexpr uint32_t kCritical = 0x8;
inline constexpr uint32_t kUnknownValue = 0xFFFFFFFF;
inline constexpr int32_t kUnknownRate = static_cast<int32_t>(0x80000000u);
struct ClassStatus {
    uint32_t powerState = 0;
    uint32_t capacity = 0;
    uint32_t voltage = kUnknownValue;
    int32_t rate = 0;
};
struct ClassCapacities {
    uint32_t designed = 0;
    uint32_t fullCharged = 0;
    uint32_t relative = 0; // 1 when the capacities are in percent of the design capacity
};
ClassStatus WindowsStatus(const Pack& pack, bool onAc, uint32_t limit);
ClassCapacities WindowsCapacities(const Pack& pack);

// The 83-byte smart-battery block of a pack; all zeros for an empty bay.
inline constexpr uint32_t kSmartBlockSize = 83;
void SmartBlock(const Pack& pack, uint8_t (&block)[kSmartBlockSize]);

} // namespace celdor::models::firmware
