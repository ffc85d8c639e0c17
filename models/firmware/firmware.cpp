// The firmware's answers, one handler per control code. Every status word is built from the
// state at the moment it is asked for.
#include <celdor_models/firmware.h>

namespace celdor::models::firmware {

namespace {

// IOCTL_POWER_COMMAND sub-commands.
constexpr uint8_t kPowerGetStatus = 0xFF;
constexpr uint8_t kRapidChargeOn = 0x07;
constexpr uint8_t kRapidChargeOff = 0x08;
constexpr uint8_t kStorageOn = 0x03;
constexpr uint8_t kStorageOff = 0x05;
constexpr uint8_t kStorageOnBattery2 = 0x0D;
constexpr uint8_t kStorageOffBattery2 = 0x0F;

// Power status word bits.
constexpr uint32_t kStatusRapidChargeOn = 1u << 2;
constexpr uint32_t kStatusStorageOn = 1u << 5;
constexpr uint32_t kStatusTwoBatteries = 1u << 14;
constexpr uint32_t kStatusAdapterLow = 1u << 15;
constexpr uint32_t kStatusAdapterHigh = 1u << 16;
constexpr uint32_t kStatusRapidChargeSupported = 1u << 17;
constexpr uint32_t kStatusAdapterModeDetection = 1u << 19;
constexpr uint32_t kStatusStorage80Supported = 1u << 23;

// IOCTL_USB_CHARGE_COMMAND sub-commands and status bits.
constexpr uint8_t kUsbGetStatus = 0x02;
constexpr uint8_t kUsbAouOn = 0x0A;
constexpr uint8_t kUsbAouOff = 0x0B;
constexpr uint8_t kUsbAouBatteryOn = 0x13;
constexpr uint8_t kUsbAouBatteryOff = 0x12;
constexpr uint32_t kUsbStatusAouSupported = 1u << 6;
constexpr uint32_t kUsbStatusAouOn = 1u << 7;
constexpr uint32_t kUsbStatusBatterySupported = 1u << 14;
constexpr uint32_t kUsbStatusBatteryOn = 1u << 15;

// Commands of the 32-bit codes.
constexpr uint32_t kSpecVersionQuery = 0x11;
constexpr uint32_t kGetStatus = 0x11;
constexpr uint32_t kSetStatus = 0x12;
constexpr uint32_t kGetCapability = 0x13;
constexpr uint32_t kSetStatusOn = 0x80000000;
constexpr uint32_t kGetCapability2 = 0x23;
constexpr uint32_t kGetHealthLevel = 0x21;
constexpr uint32_t kGetHealthTip = 0x31;
constexpr uint32_t kGetPredictedLifeSpan = 0x41;

// The firmware block: cycle counts at 0 and 2, firmware words of the two packs from 4.
constexpr uint32_t kFirmwareBlockSize = 20;

// Bit 0 of a 32-bit reply word: carried out.
constexpr uint32_t kReplyDone = 1;
constexpr uint32_t ReplyError(uint32_t code) {
    return (code & 7) << 1;
}

constexpr uint64_t kNeverAt = ~uint64_t{0};

// A 32-bit little-endian reply, cut to the output buffer when it is shorter.
Reply Word(uint32_t word, uint8_t* out, uint32_t outSize) {
    for (uint32_t i = 0; i < 4 && i < outSize; ++i) {
        out[i] = static_cast<uint8_t>(word >> (8 * i));
    }
    return Reply{outSize < 4 ? Outcome::Overflow : Outcome::Done, Refusal::None, 4};
}

// A block reply, cut to the output buffer when it is shorter.
Reply Block(const uint8_t* block, uint32_t length, uint8_t* out, uint32_t outSize) {
    for (uint32_t i = 0; i < length && i < outSize; ++i) {
        out[i] = block[i];
    }
    return Reply{outSize < length ? Outcome::Overflow : Outcome::Done, Refusal::None, length};
}

Reply Refuse(Refusal refusal) {
    return Reply{Outcome::Refused, refusal, 0};
}

// A switching command: carried out, nothing to report.
constexpr Reply kDone{Outcome::Done, Refusal::None, 0};

uint32_t Bit(bool set, uint32_t bit) {
    return set ? bit : 0;
}

} // namespace

void Firmware::configure(const Config& config) {
    m_config = config;
    for (Switch& mode : m_modes) {
        mode = Switch{};
    }
    m_adapterState = 0;
    m_temporaryMode = 0;
}

void Firmware::reset() {
    configure(Config{});
    for (Pack& pack : m_packs) {
        pack = Pack{};
    }
    m_selectorBase = 0;
    m_onAc = true;
    m_packsTimed = false;
}

uint32_t Firmware::chargeLimit(uint32_t index, uint64_t nowMs) const {
    const Pack& p = pack(index);
    const Mode storage = index == 0 ? Mode::Storage : Mode::Storage2;
    if (!isOn(storage, nowMs)) {
        return p.fullChargedCapacity;
    }
    const uint64_t percent = supports(kStorage80) ? 80 : 60;
    return static_cast<uint32_t>(p.fullChargedCapacity * percent / 100);
}

void Firmware::advancePacks(uint64_t nowMs, bool onAc) {
    if (m_packsTimed && nowMs > m_packsAt) {
        for (uint32_t i = 0; i < kMostPacks; ++i) {
            Advance(m_packs[i], nowMs - m_packsAt, m_onAc, chargeLimit(i, nowMs));
        }
    }
    m_packsTimed = true;
    m_packsAt = nowMs;
    m_onAc = onAc;
}

bool Firmware::isOn(Mode mode, uint64_t nowMs) const {
    const Switch& s = m_modes[static_cast<uint32_t>(mode)];
    return nowMs >= s.at ? s.after : s.before;
}

bool Firmware::settled(Mode mode) const {
    const Switch& s = m_modes[static_cast<uint32_t>(mode)];
    return s.at == kNeverAt ? s.before : s.after;
}

void Firmware::set(Mode mode, bool on) {
    m_modes[static_cast<uint32_t>(mode)] = Switch{on, on, 0};
}

void Firmware::hibernate() {
    for (uint32_t i = 0; i < kModeCount; ++i) {
        if (m_config.lostAtHibernation & (1u << i)) {
            m_modes[i] = Switch{};
        }
    }
}

// A mode that is in, or on its way to, the requested state keeps its time; a switch the other
// way starts the delay anew from what shows now.
void Firmware::switchMode(Mode mode, bool on, uint64_t nowMs) {
    Switch& s = m_modes[static_cast<uint32_t>(mode)];
    if (s.after == on) {
        return;
    }
    const uint32_t delay = m_config.switchDelayMs;
    s.before = isOn(mode, nowMs);
    s.after = on;
    s.at = delay == kNever ? kNeverAt : nowMs + delay;
}

bool Firmware::refuses(uint32_t code, uint32_t command) const {
    return m_config.refusedCode == code &&
           (m_config.refusedCommand == kAnyCommand || m_config.refusedCommand == command);
}

uint32_t Firmware::powerStatus(uint64_t nowMs) const {
    static constexpr uint32_t kAdapterBits[4] = {0, kStatusAdapterHigh, kStatusAdapterLow,
                                                 kStatusAdapterLow | kStatusAdapterHigh};
    return Bit(isOn(Mode::Express, nowMs), kStatusRapidChargeOn) |
           Bit(isOn(Mode::Storage, nowMs), kStatusStorageOn) |
           Bit(m_config.batteries == 2, kStatusTwoBatteries) | kAdapterBits[m_adapterState & 3] |
           Bit(supports(kExpress), kStatusRapidChargeSupported) |
           Bit(supports(kAdapterModeDetection), kStatusAdapterModeDetection) |
           Bit(supports(kStorage80), kStatusStorage80Supported);
}

uint32_t Firmware::usbStatus(uint64_t nowMs) const {
    return Bit(supports(kUsbOnAc), kUsbStatusAouSupported) |
           Bit(isOn(Mode::UsbOnAc, nowMs), kUsbStatusAouOn) |
           Bit(supports(kUsbOnBattery), kUsbStatusBatterySupported) |
           Bit(isOn(Mode::UsbOnBattery, nowMs), kUsbStatusBatteryOn);
}

Reply Firmware::request(uint64_t nowMs, uint32_t code, const uint8_t* in, uint32_t inSize,
                        uint8_t* out, uint32_t outSize) {
    const bool byteCommand = code == kPowerCommand || code == kUsbChargeCommand;
    const bool wordCommand = code == kGetSpecVersion || code == kBtmc || code == kBnmc ||
                             code == kSmartBatteryRead || code == kChargeCompletionTime;
    if (code == kBatteryFirmwareInfo) {
        return refuses(code, 0) ? Refuse(static_cast<Refusal>(m_config.refusal))
                                : batteryFirmware(out, outSize);
    }
    if (!byteCommand && !wordCommand) {
        return Reply{Outcome::UnknownCode, Refusal::None, 0};
    }
    const uint32_t needed = byteCommand ? 1 : 4;
    if (in == nullptr || inSize < needed) {
        return Refuse(Refusal::InvalidParameter);
    }
    uint32_t command = 0;
    for (uint32_t i = 0; i < needed; ++i) {
        command |= static_cast<uint32_t>(in[i]) << (8 * i);
    }
    if (refuses(code, command)) {
        return Refuse(static_cast<Refusal>(m_config.refusal));
    }
    switch (code) {
    case kPowerCommand:
        return power(nowMs, static_cast<uint8_t>(command), out, outSize);
    case kUsbChargeCommand:
        return usb(nowMs, static_cast<uint8_t>(command), out, outSize);
    case kGetSpecVersion:
        return specVersion(command, out, outSize);
    case kBtmc:
        return btmc(command, out, outSize);
    case kSmartBatteryRead:
        return smartBattery(command, out, outSize);
    case kChargeCompletionTime:
        return chargeCompletion(nowMs, out, outSize);
    default:
        return bnmc(nowMs, command, out, outSize);
    }
}

// Switches of a feature the machine lacks are refused as not supported, like sub-commands the
// firmware does not know. The second battery's storage needs a second battery.
Reply Firmware::power(uint64_t nowMs, uint8_t command, uint8_t* out, uint32_t outSize) {
    const bool storage2 = supports(kStorage) && m_config.batteries == 2;
    switch (command) {
    case kPowerGetStatus:
        return Word(powerStatus(nowMs), out, outSize);
    case kRapidChargeOn:
    case kRapidChargeOff:
        if (!supports(kExpress)) {
            break;
        }
        switchMode(Mode::Express, command == kRapidChargeOn, nowMs);
        return kDone;
    case kStorageOn:
    case kStorageOff:
        if (!supports(kStorage)) {
            break;
        }
        switchMode(Mode::Storage, command == kStorageOn, nowMs);
        return kDone;
    case kStorageOnBattery2:
    case kStorageOffBattery2:
        if (!storage2) {
            break;
        }
        switchMode(Mode::Storage2, command == kStorageOnBattery2, nowMs);
        return kDone;
    default:
        break;
    }
    return Refuse(Refusal::NotSupported);
}

Reply Firmware::usb(uint64_t nowMs, uint8_t command, uint8_t* out, uint32_t outSize) {
    switch (command) {
    case kUsbGetStatus:
        return Word(usbStatus(nowMs), out, outSize);
    case kUsbAouOn:
    case kUsbAouOff:
        if (!supports(kUsbOnAc)) {
            break;
        }
        switchMode(Mode::UsbOnAc, command == kUsbAouOn, nowMs);
        return kDone;
    case kUsbAouBatteryOn:
    case kUsbAouBatteryOff:
        if (!supports(kUsbOnBattery)) {
            break;
        }
        switchMode(Mode::UsbOnBattery, command == kUsbAouBatteryOn, nowMs);
        return kDone;
    default:
        break;
    }
    return Refuse(Refusal::NotSupported);
}

Reply Firmware::specVersion(uint32_t command, uint8_t* out, uint32_t outSize) const {
    if (command != kSpecVersionQuery) {
        return Word(ReplyError(kReplyUnknownCommand), out, outSize);
    }
    return Word(m_config.specVersion << 4 | kReplyDone, out, outSize);
}

// Temporary battery mode: capability in bits 1 and 2, status field from bit 4. Battery health
// of the second smart-battery generation: capability number 1 in bits 1 to 31, the first
// pack's health values from bit 4.
Reply Firmware::btmc(uint32_t command, uint8_t* out, uint32_t outSize) const {
    const bool supported = supports(kTemporaryMode);
    const Pack& first = m_packs[0];
    const bool health = first.present && first.healthV2;
    auto healthValue = [&](uint32_t value) {
        return Word(health ? (value & 0x7FFFFFF) << 4 | kReplyDone : ReplyError(kReplyNotSupported),
                    out, outSize);
    };
    switch (command) {
    case kGetCapability2:
        return Word(Bit(health, 1u << 1) | kReplyDone, out, outSize);
    case kGetHealthLevel:
        return healthValue(first.healthLevel);
    case kGetHealthTip:
        return healthValue(first.healthTip);
    case kGetPredictedLifeSpan:
        return healthValue(first.predictedLifeSpan);
    case kGetCapability:
        return Word(Bit(supported, 1u << 1) | kReplyDone, out, outSize);
    case kGetStatus:
        return Word(supported ? m_temporaryMode << 4 | kReplyDone : ReplyError(kReplyNotSupported),
                    out, outSize);
    default:
        return Word(ReplyError(kReplyUnknownCommand), out, outSize);
    }
}

// Night charge: capability and state in bit 4; the switch carries the state in bit 31.
Reply Firmware::bnmc(uint64_t nowMs, uint32_t command, uint8_t* out, uint32_t outSize) {
    const bool supported = supports(kNightCharge);
    switch (command) {
    case kGetCapability:
        return Word(Bit(supported, 1u << 4) | kReplyDone, out, outSize);
    case kGetStatus:
        return Word(supported ? Bit(isOn(Mode::NightCharge, nowMs), 1u << 4) | kReplyDone
                              : ReplyError(kReplyNotSupported),
                    out, outSize);
    case kSetStatus:
    case kSetStatus | kSetStatusOn:
        if (!supported) {
            return Word(ReplyError(kReplyNotSupported), out, outSize);
        }
        switchMode(Mode::NightCharge, (command & kSetStatusOn) != 0, nowMs);
        return Word(kReplyDone, out, outSize);
    default:
        return Word(ReplyError(kReplyUnknownCommand), out, outSize);
    }
}

// A selector past the packs is refused; one below the first (selector 0 on firmware that counts
// from 1) and an empty bay read as an empty block.
Reply Firmware::smartBattery(uint32_t selector, uint8_t* out, uint32_t outSize) const {
    uint8_t block[kSmartBlockSize];
    const uint32_t count = m_config.batteries == 2 ? 2 : 1;
    if (selector >= m_selectorBase + count) {
        return Refuse(Refusal::InvalidParameter);
    }
    const Pack empty;
    SmartBlock(selector < m_selectorBase ? empty : m_packs[selector - m_selectorBase], block);
    return Block(block, kSmartBlockSize, out, outSize);
}

Reply Firmware::batteryFirmware(uint8_t* out, uint32_t outSize) const {
    uint8_t block[kFirmwareBlockSize] = {};
    for (uint32_t i = 0; i < kMostPacks; ++i) {
        const Pack& p = m_packs[i];
        if (!p.present) {
            continue;
        }
        block[2 * i] = static_cast<uint8_t>(p.cycleCount);
        block[2 * i + 1] = static_cast<uint8_t>(p.cycleCount >> 8);
        for (uint32_t w = 0; w < 4; ++w) {
            block[4 + 8 * i + 2 * w] = static_cast<uint8_t>(p.firmwareWords[w]);
            block[4 + 8 * i + 2 * w + 1] = static_cast<uint8_t>(p.firmwareWords[w] >> 8);
        }
    }
    return Block(block, kFirmwareBlockSize, out, outSize);
}

// Minutes until the first pack reaches its charge limit; 0 while it is not charging.
Reply Firmware::chargeCompletion(uint64_t nowMs, uint8_t* out, uint32_t outSize) const {
    return Word(MinutesToLimit(m_packs[0], m_onAc, chargeLimit(0, nowMs)), out, outSize);
}

} // namespace celdor::models::firmware
