// A battery bay as the battery class answers for it: IOCTL_BATTERY_QUERY_TAG,
// IOCTL_BATTERY_QUERY_INFORMATION and IOCTL_BATTERY_QUERY_STATUS, from the pack model. The
// simulated battery devices and the stand-in driver's battery devices both answer through
// Answer() below, so a program sees the same values, sizes and errors on both.
//
// Freestanding, like the rest of the model. The I/O manager's own checks (an unknown device,
// the handle's access) stay with each machine.
#pragma once

#include "pack.h"

namespace celdor::models::firmware {

// The battery class's control codes: device type 0x29, buffered, read access.
inline constexpr uint32_t kQueryTag = 0x00294040;
inline constexpr uint32_t kQueryInformation = 0x00294044;
inline constexpr uint32_t kQueryStatus = 0x0029404C;

inline constexpr uint32_t kTagInvalid = 0;
inline constexpr uint32_t kWaitForever = 0xFFFFFFFF;

// The information levels a battery may answer (BATTERY_QUERY_INFORMATION_LEVEL).
enum class Level : uint32_t {
    Information = 0,
    Temperature = 2,
    ManufactureDate = 5,
    ManufactureName = 6,
    SerialNumber = 8,
};

// The battery class's structures, laid out as Windows lays them out.
struct ClassQuery {
    uint32_t tag;
    uint32_t level;
    int32_t atRate;
};
struct ClassWait {
    uint32_t tag;
    uint32_t timeout;
    uint32_t powerState;
    uint32_t lowCapacity;
    uint32_t highCapacity;
};
struct ClassInformation {
    uint32_t capabilities;
    uint8_t technology;
    uint8_t reserved[3];
    uint8_t chemistry[4];
    uint32_t designedCapacity;
    uint32_t fullChargedCapacity;
    uint32_t defaultAlert1;
    uint32_t defaultAlert2;
    uint32_t criticalBias;
    uint32_t cycleCount;
};
struct ClassDate {
    uint8_t day;
    uint8_t month;
    uint16_t year;
};
static_assert(sizeof(ClassQuery) == 12 && sizeof(ClassWait) == 20);
static_assert(sizeof(ClassInformation) == 36 && sizeof(ClassStatus) == 16);
static_assert(sizeof(ClassDate) == 4);

inline constexpr uint32_t kSystemBattery = 0x80000000;
inline constexpr uint32_t kCapacityRelative = 0x40000000;

// Why a request failed; each machine turns it into its own error (a Win32 error or an
// NTSTATUS).
enum class ClassError : uint32_t {
    None,
    InvalidParameter, // the input is not the request's structure
    BufferTooSmall,   // the answer does not fit
    NoSuchBattery,    // no pack in the bay, or the tag names another pack
    InvalidFunction,  // a level the battery does not report, or an unknown code
};

struct ClassReply {
    ClassError error = ClassError::None;
    uint32_t length = 0;   // bytes written to the output
    uint32_t waitedMs = 0; // how long a tag request waited for a pack that never came
};

// What is in the bay: whether a pack is in, and the tag it was given when it was put in.
struct Bay {
    bool inserted = false;
    uint32_t tag = kTagInvalid;
};

// The answer to one battery class request for `pack` in `bay`, its status as on AC or not and
// held at `limit` mWh. The input is read whole before the output is written, so the two may be
// the same buffer.
ClassReply Answer(const Pack& pack, const Bay& bay, bool onAc, uint32_t limit, uint32_t code,
                  const void* in, uint32_t inSize, void* out, uint32_t outSize);

ClassInformation InformationOf(const Pack& pack);

// Whether `status` ends a status request's wait: the battery class completes the request once
// the power state differs from the caller's, or the capacity (when known) falls below its
// LowCapacity or rises above its HighCapacity. Until then, or until the wait's time-out, the
// request waits while the packs charge or run down; each machine waits on its own clock.
bool EndsWait(const ClassWait& wait, const ClassStatus& status);

} // namespace celdor::models::firmware
