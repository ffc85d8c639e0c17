// The firmware behind the maker's driver, as a model: what a notebook's embedded controller
// answers to the driver's control codes, built from its own state.
//
// Freestanding: fixed-size state, no heap, no exceptions, nothing beyond <stddef.h> and
// <stdint.h>, and no clock of its own (the caller passes the time in), so that the same code can
// run inside a kernel driver as well as behind the simulated device.
//
// The interface is narrow: a configuration (a plain fixed-layout struct, so that it can travel
// as bytes), the time in virtual milliseconds, request bytes in, reply bytes out with an outcome
// that the caller maps to its own results (Win32 errors, NTSTATUS codes).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "pack.h"

namespace celdor::models::firmware {

// The control codes the firmware answers: device type 0x8310, buffered, any access.
inline constexpr uint32_t kPowerCommand = 0x831020F8;         // 1-byte sub-command -> 32-bit word
inline constexpr uint32_t kUsbChargeCommand = 0x831020E8;     // 1-byte sub-command -> 32-bit word
inline constexpr uint32_t kGetSpecVersion = 0x8310214C;       // 32-bit command -> 32-bit reply
inline constexpr uint32_t kBtmc = 0x83102148;                 // battery mode control
inline constexpr uint32_t kBnmc = 0x83102150;                 // night-charge mode control
inline constexpr uint32_t kSmartBatteryRead = 0x83102138;     // 32-bit selector -> 83-byte block
inline constexpr uint32_t kBatteryFirmwareInfo = 0x83102120;  // nothing -> 20-byte block
inline constexpr uint32_t kChargeCompletionTime = 0x8310212C; // 32-bit request -> 32-bit minutes

// What a notebook's firmware offers: bits of Config::features.
enum Feature : uint32_t {
    kExpress = 1u << 0,              // express (rapid) charging
    kStorage = 1u << 1,              // storage (conservation) mode
    kStorage80 = 1u << 2,            // storage mode that holds the charge at 80%
    kUsbOnAc = 1u << 3,              // always-on USB charging
    kUsbOnBattery = 1u << 4,         // always-on USB charging from the battery
    kNightCharge = 1u << 5,          // night charge
    kTemporaryMode = 1u << 6,        // temporary battery mode
    kAdapterModeDetection = 1u << 7, // adapter mode detection
};

// The modes the firmware switches on and off. Storage2 is storage mode of the second battery.
enum class Mode : uint32_t { Express, Storage, Storage2, UsbOnAc, UsbOnBattery, NightCharge };
inline constexpr uint32_t kModeCount = 6;
constexpr uint32_t ModeBit(Mode mode) {
    return 1u << static_cast<uint32_t>(mode);
}

// Why the driver refuses a request.
enum class Refusal : uint32_t { None, InvalidParameter, NotSupported, Busy, NotReady };

// A switch delay after which a mode never shows.
inline constexpr uint32_t kNever = 0xFFFFFFFF;
// Config::refusedCommand: every command of the refused code.
inline constexpr uint32_t kAnyCommand = 0xFFFFFFFF;

// Error codes the firmware reports in bits 1 to 3 of a 32-bit reply word whose bit 0 is clear.
inline constexpr uint32_t kReplyUnknownCommand = 1;
inline constexpr uint32_t kReplyNotSupported = 2;

// What a notebook's firmware is: set once for a machine; only 32-bit fields, in this order.
struct Config {
    uint32_t features = 0;    // Feature bits
    uint32_t specVersion = 0; // the driver interface version IOCTL_GET_SPEC_VERSION reports
    uint32_t batteries = 1;   // 1 or 2
    // How long a switched mode takes to show in the status words, in milliseconds; kNever.
    uint32_t switchDelayMs = 0;
    uint32_t lostAtHibernation = 0; // ModeBit()s of the modes a hibernation switches off
    uint32_t refusedCode = 0;       // a control code with a command the driver refuses; 0: none
    uint32_t refusedCommand = 0;    // its sub-command byte or command word, or kAnyCommand
    uint32_t refusal = 0;           // Refusal, the reason given
};
static_assert(sizeof(Config) == 32, "the configuration travels as 32 bytes");

enum class Outcome : uint32_t {
    Done,        // carried out; the reply is `length` bytes
    Refused,     // the driver fails the request for `refusal`; nothing written
    Overflow,    // the reply is `length` bytes, longer than the output buffer: what fits is written
    UnknownCode, // the driver does not know the control code
};

struct Reply {
    Outcome outcome = Outcome::Done;
    Refusal refusal = Refusal::None;
    uint32_t length = 0;
};

class Firmware {
public:
    // The configured firmware as it powers up: every mode off, adapter state 0, temporary
    // mode field 0.
    void configure(const Config& config);
    const Config& config() const { return m_config; }
    // Back to a firmware that offers nothing, as configure(Config{}) leaves it.
    void reset();

    // Answers one request at time `nowMs`. `in` may be null when `inSize` is 0, `out` when
    // `outSize` is 0.
    Reply request(uint64_t nowMs, uint32_t code, const uint8_t* in, uint32_t inSize, uint8_t* out,
                  uint32_t outSize);

    // The status words, as IOCTL_POWER_COMMAND 0xFF and IOCTL_USB_CHARGE_COMMAND 0x02 answer
    // them at time `nowMs`.
    uint32_t powerStatus(uint64_t nowMs) const;
    uint32_t usbStatus(uint64_t nowMs) const;

    // A mode as the status words show it at time `nowMs`, and as it settles once a switch in
    // progress has completed (a switch that never shows settles where it started).
    bool isOn(Mode mode, uint64_t nowMs) const;
    bool settled(Mode mode) const;
    // Sets a mode at once, as a machine is found (not switched through the driver).
    void set(Mode mode, bool on);

    // The adapter state as the driver's callers number it (0 to 3).
    uint32_t adapterState() const { return m_adapterState; }
    void setAdapterState(uint32_t state) { m_adapterState = state & 3; }
    // The temporary-mode status field (27 bits).
    uint32_t temporaryMode() const { return m_temporaryMode; }
    void setTemporaryMode(uint32_t field) { m_temporaryMode = field & 0x7FFFFFF; }

    // The machine went through a hibernation: the modes the configuration names are off.
    void hibernate();

    // The battery packs in the firmware's numbering, and whether each is in its bay. A reset
    // empties both bays; configure() leaves them as they are.
    Pack& pack(uint32_t index) { return m_packs[index < kMostPacks ? index : 0]; }
    const Pack& pack(uint32_t index) const { return m_packs[index < kMostPacks ? index : 0]; }
    // The smart-battery selector of the first pack: 0, or 1 on firmware that counts from 1
    // (selector 0 then reads an empty block).
    uint32_t selectorBase() const { return m_selectorBase; }
    void setSelectorBase(uint32_t base) { m_selectorBase = base ? 1 : 0; }
    // The charge a pack holds at on AC, in mWh: full, or the storage-mode limit (60% of full,
    // 80% on firmware with storage-80) while its storage mode shows at `nowMs`.
    uint32_t chargeLimit(uint32_t index, uint64_t nowMs) const;
    // Brings the packs to time `nowMs` on AC or battery. The first call after packsChanged()
    // only takes the time: a pack starts to move from when it is first looked at.
    void advancePacks(uint64_t nowMs, bool onAc);
    void packsChanged() { m_packsTimed = false; }
    bool onAc() const { return m_onAc; }

private:
    // One switchable mode: `before` until time `at`, `after` from then on.
    struct Switch {
        bool before = false;
        bool after = false;
        uint64_t at = 0;
    };

    bool supports(uint32_t feature) const { return (m_config.features & feature) != 0; }
    void switchMode(Mode mode, bool on, uint64_t nowMs);
    bool refuses(uint32_t code, uint32_t command) const;

    // One handler per control code.
    Reply power(uint64_t nowMs, uint8_t command, uint8_t* out, uint32_t outSize);
    Reply usb(uint64_t nowMs, uint8_t command, uint8_t* out, uint32_t outSize);
    Reply specVersion(uint32_t command, uint8_t* out, uint32_t outSize) const;
    Reply btmc(uint32_t command, uint8_t* out, uint32_t outSize) const;
    Reply bnmc(uint64_t nowMs, uint32_t command, uint8_t* out, uint32_t outSize);
    Reply smartBattery(uint32_t selector, uint8_t* out, uint32_t outSize) const;
    Reply batteryFirmware(uint8_t* out, uint32_t outSize) const;
    Reply chargeCompletion(uint64_t nowMs, uint8_t* out, uint32_t outSize) const;

    Config m_config{};
    Switch m_modes[kModeCount]{};
    uint32_t m_adapterState = 0;
    uint32_t m_temporaryMode = 0;
    Pack m_packs[kMostPacks]{};
    uint32_t m_selectorBase = 0;
    bool m_onAc = true;
    bool m_packsTimed = false;
    uint64_t m_packsAt = 0;
};

} // namespace celdor::models::firmware
