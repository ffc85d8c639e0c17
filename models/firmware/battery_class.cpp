// The battery class's answers for one bay.
#include <celdor_models/battery_class.h>

namespace celdor::models::firmware {

namespace {

// A fixed-size answer: the whole of it fits or the request fails.
ClassReply Fixed(const void* value, uint32_t size, void* out, uint32_t outSize) {
    if (outSize < size) {
        return {ClassError::BufferTooSmall, 0, 0};
    }
    __builtin_memcpy(out, value, size);
    return {ClassError::None, size, 0};
}

// One UTF-8 sequence at `text` as a code point, U+FFFD for a malformed one; `length` gets the
// bytes it takes.
uint32_t Decode(const char* text, uint32_t& length) {
    const auto byte = static_cast<uint8_t>(text[0]);
    length = 1;
    if (byte < 0x80) {
        return byte;
    }
    uint32_t size = (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 0;
    if (size == 0) {
        return 0xFFFD;
    }
    uint32_t value = byte & (0xFFu >> (size + 1));
    for (uint32_t k = 1; k < size; ++k) {
        const auto next = static_cast<uint8_t>(text[k]);
        if ((next >> 6) != 0x2) { // also stops at the terminator
            return 0xFFFD;
        }
        value = (value << 6) | (next & 0x3F);
    }
    static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kLeast[size] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0xFFFD;
    }
    length = size;
    return value;
}

// A text level: UTF-16 with its terminator. A battery without the text fails the level as a
// battery that does not report it.
template <uint32_t N> ClassReply Text(const char (&text)[N], void* out, uint32_t outSize) {
    if (text[0] == 0) {
        return {ClassError::InvalidFunction, 0, 0};
    }
    uint16_t wide[2 * N + 1] = {};
    uint32_t count = 0;
    for (uint32_t i = 0; i < N && text[i] != 0;) {
        uint32_t length = 1;
        uint32_t cp = Decode(text + i, length);
        i += length;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            wide[count++] = static_cast<uint16_t>(0xD800 + (cp >> 10));
            cp = 0xDC00 + (cp & 0x3FF);
        }
        wide[count++] = static_cast<uint16_t>(cp);
    }
    wide[count++] = 0;
    return Fixed(wide, count * 2, out, outSize);
}

// The levels a battery reports; one whose value the pack lacks (no temperature sensor, no
// date) fails as the battery class fails a level the battery does not support.
ClassReply AnswerLevel(const Pack& pack, uint32_t level, void* out, uint32_t outSize) {
    const uint32_t lacks = pack.windowsLacks;
    switch (static_cast<firmware::Level>(level)) {
    case Level::Information: {
        const ClassInformation info = InformationOf(pack);
        return Fixed(&info, sizeof info, out, outSize);
    }
    case Level::Temperature:
        if (pack.temperature == 0 || (lacks & kLacksTemperature)) {
            break;
        }
        return Fixed(&pack.temperature, sizeof pack.temperature, out, outSize);
    case Level::ManufactureDate: {
        if (pack.manufactureYear == 0 || (lacks & kLacksManufactureDate)) {
            break;
        }
        const ClassDate date{pack.manufactureDay, pack.manufactureMonth, pack.manufactureYear};
        return Fixed(&date, sizeof date, out, outSize);
    }
    case Level::ManufactureName:
        if (lacks & kLacksManufacturer) {
            break;
        }
        return Text(pack.manufacturer, out, outSize);
    case Level::SerialNumber:
        if (lacks & kLacksSerialNumber) {
            break;
        }
        return Text(pack.serialNumber, out, outSize);
    }
    return {ClassError::InvalidFunction, 0, 0};
}

// A request names the pack by its tag: a pack taken out since (or a tag never given) is not
// found.
bool TagMatches(const Bay& bay, uint32_t tag) {
    return bay.inserted && tag != kTagInvalid && tag == bay.tag;
}

// The wait time-out is the longest the request waits for a pack to be put in. Nobody puts one
// in while the caller waits, so a wait ends in failure after its time; a wait without end fails
// at once, as a zero wait does.
ClassReply Tag(const Bay& bay, const void* in, uint32_t inSize, void* out, uint32_t outSize) {
    if (inSize != sizeof(uint32_t)) {
        return {ClassError::InvalidParameter, 0, 0};
    }
    if (outSize < sizeof(uint32_t)) {
        return {ClassError::BufferTooSmall, 0, 0};
    }
    if (!bay.inserted) {
        uint32_t timeout = 0;
        __builtin_memcpy(&timeout, in, sizeof timeout);
        const uint32_t invalid = kTagInvalid;
        __builtin_memcpy(out, &invalid, sizeof invalid);
        return {ClassError::NoSuchBattery, 0, timeout == kWaitForever ? 0 : timeout};
    }
    return Fixed(&bay.tag, sizeof bay.tag, out, outSize);
}

} // namespace

ClassInformation InformationOf(const Pack& pack) {
    const ClassCapacities capacities = WindowsCapacities(pack);
    ClassInformation info{};
    info.capabilities = kSystemBattery | (capacities.relative ? kCapacityRelative : 0);
    info.technology = pack.rechargeable ? 1 : 0;
    for (uint32_t i = 0; i < 4 && pack.chemistry[i] != 0; ++i) {
        info.chemistry[i] = static_cast<uint8_t>(pack.chemistry[i]);
    }
    info.designedCapacity = capacities.designed;
    info.fullChargedCapacity = capacities.fullCharged;
    info.defaultAlert1 = pack.defaultAlert1;
    info.defaultAlert2 = pack.defaultAlert2;
    info.criticalBias = pack.criticalBias;
    info.cycleCount = (pack.windowsLacks & kLacksCycleCount) ? 0 : pack.cycleCount;
    return info;
}

bool EndsWait(const ClassWait& wait, const ClassStatus& status) {
    const bool known = status.capacity != kUnknownValue;
    return status.powerState != wait.powerState ||
           (known && (status.capacity < wait.lowCapacity || status.capacity > wait.highCapacity));
}

// A status request answers with the status now; waiting for a change (EndsWait) is up to the
// machine, which knows its clock.
ClassReply Answer(const Pack& pack, const Bay& bay, bool onAc, uint32_t limit, uint32_t code,
                  const void* in, uint32_t inSize, void* out, uint32_t outSize) {
    if (code == kQueryTag) {
        return Tag(bay, in, inSize, out, outSize);
    }
    if (code == kQueryInformation) {
        ClassQuery query{};
        if (inSize != sizeof query) {
            return {ClassError::InvalidParameter, 0, 0};
        }
        __builtin_memcpy(&query, in, sizeof query);
        if (!TagMatches(bay, query.tag)) {
            return {ClassError::NoSuchBattery, 0, 0};
        }
        return AnswerLevel(pack, query.level, out, outSize);
    }
    if (code == kQueryStatus) {
        ClassWait wait{};
        if (inSize != sizeof wait) {
            return {ClassError::InvalidParameter, 0, 0};
        }
        __builtin_memcpy(&wait, in, sizeof wait);
        if (!TagMatches(bay, wait.tag)) {
            return {ClassError::NoSuchBattery, 0, 0};
        }
        const ClassStatus status = WindowsStatus(pack, onAc, limit);
        return Fixed(&status, sizeof status, out, outSize);
    }
    return {ClassError::InvalidFunction, 0, 0};
}

} // namespace celdor::models::firmware
