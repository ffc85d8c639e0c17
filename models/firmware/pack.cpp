// The pack's arithmetic and its two views.
#include <celdor_models/pack.h>

namespace celdor::models::firmware {

namespace {

constexpr uint64_t kMwMsPerMwh = 3'600'000;

void PutWord(uint8_t* at, uint16_t word) {
    at[0] = static_cast<uint8_t>(word);
    at[1] = static_cast<uint8_t>(word >> 8);
}

void PutText(uint8_t* at, const char* text, uint32_t size) {
    for (uint32_t i = 0; i < size && text[i] != 0; ++i) {
        at[i] = static_cast<uint8_t>(text[i]);
    }
}

uint16_t Tens(uint32_t mwh) {
    return static_cast<uint16_t>(mwh / 10);
}

} // namespace

bool IsCharging(const Pack& pack, bool onAc, uint32_t limit) {
    return pack.present && onAc && pack.chargeRate > 0 && pack.remainingCapacity < limit;
}

void Advance(Pack& pack, uint64_t elapsedMs, bool onAc, uint32_t limit) {
    if (!pack.present) {
        return;
    }
    if (onAc && !IsCharging(pack, onAc, limit)) {
        pack.residue = 0; // holding: neither charging nor running down
        return;
    }
    const uint64_t rate = onAc ? pack.chargeRate : pack.dischargeRate;
    const uint64_t energy = rate * elapsedMs + pack.residue;
    const uint64_t whole = energy / kMwMsPerMwh;
    pack.residue = static_cast<uint32_t>(energy % kMwMsPerMwh);
    if (onAc) {
        const uint64_t charged = pack.remainingCapacity + whole;
        pack.remainingCapacity = charged >= limit ? limit : static_cast<uint32_t>(charged);
    } else {
        pack.remainingCapacity = whole >= pack.remainingCapacity
                                     ? 0
                                     : pack.remainingCapacity - static_cast<uint32_t>(whole);
    }
    if (pack.remainingCapacity == 0 || pack.remainingCapacity == limit) {
        pack.residue = 0;
    }
}

uint32_t MinutesToLimit(const Pack& pack, bool onAc, uint32_t limit) {
    if (!IsCharging(pack, onAc, limit)) {
        return 0;
    }
    const uint64_t missing = limit - pack.remainingCapacity;
    return static_cast<uint32_t>((missing * 60 + pack.chargeRate - 1) / pack.chargeRate);
}

// Relative units: percent of the design capacity, for capacities and for the rate per hour.
ClassStatus WindowsStatus(const Pack& pack, bool onAc, uint32_t limit) {
    ClassStatus status;
    const uint32_t design = pack.designedCapacity;
    auto units = [&](uint64_t mwh) {
        return pack.relativeCapacity ? (design ? static_cast<uint32_t>(mwh * 100 / design) : 0)
                                     : static_cast<uint32_t>(mwh);
    };
    status.capacity = units(pack.remainingCapacity);
    if (pack.voltage != 0 && !(pack.windowsLacks & kLacksVoltage)) {
        status.voltage = pack.voltage;
    }
    if (!onAc) {
        status.powerState = kDischarging;
        status.rate = -static_cast<int32_t>(units(pack.dischargeRate));
        if (pack.remainingCapacity <= pack.defaultAlert2) {
            status.powerState |= kCritical;
        }
    } else if (IsCharging(pack, onAc, limit)) {
        status.powerState = kPowerOnLine | kCharging;
        status.rate = static_cast<int32_t>(units(pack.chargeRate));
    } else {
        status.powerState = kPowerOnLine;
    }
    return status;
}

ClassCapacities WindowsCapacities(const Pack& pack) {
    if (!pack.relativeCapacity) {
        return ClassCapacities{pack.designedCapacity, pack.fullChargedCapacity, 0};
    }
    const uint32_t design = pack.designedCapacity;
    return ClassCapacities{
        100, design ? static_cast<uint32_t>(uint64_t{pack.fullChargedCapacity} * 100 / design) : 0,
        1};
}

// Multi-byte values little-endian; texts NUL-padded UTF-8; the manufacture date packed as
// (year - 1980) * 512 + month * 32 + day.
void SmartBlock(const Pack& pack, uint8_t (&block)[kSmartBlockSize]) {
    for (uint8_t& byte : block) {
        byte = 0;
    }
    if (!pack.present) {
        return;
    }
    PutWord(block + 0, Tens(pack.designedCapacity));
    PutWord(block + 2, Tens(pack.fullChargedCapacity));
    PutWord(block + 4, Tens(pack.remainingCapacity));
    PutWord(block + 6, pack.smbWord06);
    PutWord(block + 8, pack.smbWord08);
    PutWord(block + 10, static_cast<uint16_t>(pack.voltage));
    PutWord(block + 12, static_cast<uint16_t>(pack.smbWord12));
    PutWord(block + 14, static_cast<uint16_t>(pack.temperature));
    if (pack.manufactureYear >= 1980) {
        PutWord(block + 16,
                static_cast<uint16_t>((pack.manufactureYear - 1980) * 512 +
                                      pack.manufactureMonth * 32 + pack.manufactureDay));
    }
    PutWord(block + 18, pack.smbWord18);
    PutWord(block + 20, pack.smbWord20);
    PutText(block + 22, pack.chemistry, 10);
    PutText(block + 32, pack.smbText32, 8);
    PutText(block + 40, pack.manufacturer, 12);
    PutText(block + 52, pack.smbText52, 23);
    for (uint32_t i = 0; i < 4; ++i) {
        PutWord(block + 75 + 2 * i, pack.firmwareWords[i]);
    }
}

} // namespace celdor::models::firmware
