// The three readings cached in CBatteryInformation: the Windows battery class driver with the
// system power status, the maker's smart-battery block, and its firmware and cycle-count block.
// All three are brought into the same units (10 mWh, mV, tenths of a kelvin, minutes) so that
// the queries can compare and merge them.
#include <celdor/batteryinformation.h>

#include "driver/controlcodes.h"
#include "driver/driverlib.h"
#include "support/logger.h"
#include "support/wstr.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace Celdor {

namespace {

using Record = _BATTERY_INFORMATION_EX;
constexpr std::uint16_t NO_VALUE = Record::NO_VALUE;
constexpr ULONG UNKNOWN = 0xFFFFFFFF;
// The longest time kept in a 16-bit minute field; the field's maximum means "no value".
constexpr std::uint16_t LONGEST_MINUTES = 0xFFFE;

// Offsets and sizes in the smart-battery block.
constexpr std::size_t SMB_CHEMISTRY = 22;
constexpr std::size_t SMB_CHEMISTRY_SIZE = 10;
constexpr std::size_t SMB_TEXT32 = 32;
constexpr std::size_t SMB_TEXT32_SIZE = 8;
constexpr std::size_t SMB_MANUFACTURER = 40;
constexpr std::size_t SMB_MANUFACTURER_SIZE = 12;
constexpr std::size_t SMB_TEXT52 = 52;
constexpr std::size_t SMB_TEXT52_SIZE = 23;
constexpr std::size_t SMB_FIRMWARE = 75;
// Offsets in the firmware block.
constexpr std::size_t FW_FIRMWARE = 4;
constexpr std::size_t FW_FIRMWARE_SIZE = 8;

// Characters of the text information levels.
constexpr std::size_t MANUFACTURER_CHARS = 10;
constexpr std::size_t SERIAL_CHARS = 20;

std::uint16_t Word(const BYTE* block, std::size_t offset) {
    return static_cast<std::uint16_t>(block[offset] | block[offset + 1] << 8);
}

// A percentage of two raw quantities, halves away from zero, at most 100.
std::uint16_t Percent(double part, double whole) {
    const double percent = std::round(part * 100.0 / whole);
    return static_cast<std::uint16_t>(percent > 100.0 ? 100.0 : percent);
}

std::uint16_t Minutes(double minutes) {
    return minutes >= LONGEST_MINUTES ? LONGEST_MINUTES : static_cast<std::uint16_t>(minutes);
}

// A NUL-padded UTF-8 text field: at most its own size, up to its first NUL.
CString Utf8Field(const BYTE* block, std::size_t offset, std::size_t size) {
    const char* text = reinterpret_cast<const char*>(block + offset);
    const void* nul = std::memchr(text, 0, size);
    const std::size_t length = nul ? static_cast<const char*>(nul) - text : size;
    return Text::WholeUtf8(std::string_view(text, length));
}

// Four little-endian words as "XXXX-XXXX-XXXX-XXXX", high byte first.
CString FirmwareText(const BYTE* words) {
    WCHAR text[20] = {};
    Text::Format(text, 20, W("%02X%02X-%02X%02X-%02X%02X-%02X%02X"), words[1], words[0], words[3],
                 words[2], words[5], words[4], words[7], words[6]);
    return Text::Whole(text, Text::Length(text));
}

// A wide text of a battery class level: up to its first NUL, at most `chars` characters.
CString WideField(const WCHAR* text, std::size_t chars) {
    std::size_t length = 0;
    while (length < chars && text[length] != 0) {
        ++length;
    }
    return Text::Whole(text, length);
}

void LogDebug(const WCHAR* message) {
    CFileLogger::GetInstance()->LogDebugInfo(message);
}

// One smart-battery read; true when the driver answered. A short answer leaves the rest of the
// block as it was.
bool ReadSmartBattery(CDriverLib& driver, DWORD selector, BYTE (&block)[0x53]) {
    return driver.IoControl(IOCTL_SMART_BATTERY_READ, &selector, IOCTL_SMART_BATTERY_READ_IN_SIZE,
                            block, IOCTL_SMART_BATTERY_READ_OUT_SIZE) == 1;
}

// Percentages from the capacities already in a smart-battery record; one that cannot be
// computed keeps its earlier value.
void SmartPercentages(Record& info) {
    if (info.FullChargeCapacity != NO_VALUE && info.FullChargeCapacity != 0 &&
        info.RemainingCapacity != NO_VALUE) {
        info.ChargePercent = Percent(info.RemainingCapacity, info.FullChargeCapacity);
    }
    if (info.FullChargeCapacity != NO_VALUE && info.DesignCapacity != NO_VALUE &&
        info.DesignCapacity != 0) {
        info.HealthPercent = Percent(info.FullChargeCapacity, info.DesignCapacity);
    }
}

void StoreSmartBlock(const BYTE* block, Record& info) {
    info.DesignCapacity = Word(block, 0);
    info.FullChargeCapacity = Word(block, 2);
    info.RemainingCapacity = Word(block, 4);
    info.SmbWord06 = Word(block, 6);
    info.SmbWord08 = Word(block, 8);
    info.Voltage = Word(block, 10);
    info.SmbSignedWord12 = static_cast<std::int16_t>(Word(block, 12));
    info.Temperature = Word(block, 14);
    info.ManufactureDate = Word(block, 16);
    info.SmbWord18 = Word(block, 18);
    info.SmbWord20 = Word(block, 20);
    info.Chemistry = Utf8Field(block, SMB_CHEMISTRY, SMB_CHEMISTRY_SIZE);
    info.SmbText32 = Utf8Field(block, SMB_TEXT32, SMB_TEXT32_SIZE);
    info.ManufacturerName = Utf8Field(block, SMB_MANUFACTURER, SMB_MANUFACTURER_SIZE);
    info.SmbText52 = Utf8Field(block, SMB_TEXT52, SMB_TEXT52_SIZE);
    info.Firmware = FirmwareText(block + SMB_FIRMWARE);
    SmartPercentages(info);
}

// A battery without the word at offset 6 gets it in proportion to the remaining capacities.
void CompleteWord06(Record& lacking, const Record& having) {
    if (having.SmbWord06 != NO_VALUE && lacking.SmbWord06 == NO_VALUE &&
        having.RemainingCapacity != NO_VALUE && lacking.RemainingCapacity != NO_VALUE &&
        having.RemainingCapacity != 0) {
        lacking.SmbWord06 = static_cast<std::uint16_t>(
            std::uint32_t{having.SmbWord06} * lacking.RemainingCapacity / having.RemainingCapacity);
    }
}

} // namespace

// What one slot's requests gave, in the battery class driver's own units.
struct CBatteryInformation::OsReading {
    ULONG remaining = UNKNOWN;
    ULONG full = UNKNOWN;
    ULONG design = UNKNOWN;
    LONG rate = static_cast<LONG>(BATTERY_UNKNOWN_RATE);
};

namespace {

// One information level of a battery; true when the driver answered it.
bool QueryLevel(HANDLE battery, ULONG tag, BATTERY_QUERY_INFORMATION_LEVEL level, void* out,
                DWORD size) {
    BATTERY_QUERY_INFORMATION query = {};
    query.BatteryTag = tag;
    query.InformationLevel = level;
    query.AtRate = 0;
    DWORD returned = 0;
    return DeviceIoControl(battery, IOCTL_BATTERY_QUERY_INFORMATION, &query, sizeof query, out,
                           size, &returned, nullptr) == TRUE;
}

std::uint16_t ChargeStatusOf(ULONG powerState) {
    if (powerState & BATTERY_DISCHARGING) {
        return (powerState & BATTERY_POWER_ON_LINE) ? 3 : 2;
    }
    if (powerState & BATTERY_CHARGING) {
        return 1;
    }
    if ((powerState & BATTERY_POWER_ON_LINE) || powerState == 0) {
        return 0;
    }
    return NO_VALUE; // a critical battery with no other state
}

} // namespace

// Each request feeds its own fields: a request that fails leaves them at their sentinels and the
// slot's other requests are still made.
void CBatteryInformation::ReadOsSlot(int slot, OsReading& raw) {
    Record& info = m_osInfo[slot];
    info = Record();
    const HANDLE battery = m_hBattery[slot];
    if (battery == INVALID_HANDLE_VALUE) {
        return;
    }
    ULONG wait = 0;
    ULONG tag = 0;
    DWORD returned = 0;
    if (DeviceIoControl(battery, IOCTL_BATTERY_QUERY_TAG, &wait, sizeof wait, &tag, sizeof tag,
                        &returned, nullptr) != TRUE ||
        tag == BATTERY_TAG_INVALID) {
        return;
    }
    BATTERY_INFORMATION bi = {};
    bool relative = false;
    if (QueryLevel(battery, tag, BatteryInformation, &bi, sizeof bi)) {
        relative = (bi.Capabilities & BATTERY_CAPACITY_RELATIVE) != 0;
        if (!relative && bi.DesignedCapacity != UNKNOWN) {
            info.DesignCapacity = static_cast<std::uint16_t>(bi.DesignedCapacity / 10);
        }
        if (!relative && bi.FullChargedCapacity != UNKNOWN) {
            info.FullChargeCapacity = static_cast<std::uint16_t>(bi.FullChargedCapacity / 10);
        }
        WCHAR chemistry[4];
        for (int i = 0; i < 4; ++i) {
            chemistry[i] = bi.Chemistry[i];
        }
        info.Chemistry = Text::Whole(chemistry, 4);
        if (bi.CycleCount != 0) {
            info.CycleCount = static_cast<std::uint16_t>(bi.CycleCount);
        }
        raw.full = bi.FullChargedCapacity;
        raw.design = bi.DesignedCapacity;
    }
    BATTERY_WAIT_STATUS wanted = {};
    wanted.BatteryTag = tag;
    BATTERY_STATUS status = {};
    if (DeviceIoControl(battery, IOCTL_BATTERY_QUERY_STATUS, &wanted, sizeof wanted, &status,
                        sizeof status, &returned, nullptr) == TRUE) {
        raw.rate = status.Rate;
        raw.remaining = status.Capacity;
        if (status.Capacity != UNKNOWN) {
            info.RemainingCapacity = static_cast<std::uint16_t>(status.Capacity / 10);
        }
        if (status.Voltage != UNKNOWN) {
            info.Voltage = static_cast<std::uint16_t>(status.Voltage);
        }
        info.ChargeStatus = ChargeStatusOf(status.PowerState);
    }
    ULONG temperature = 0;
    if (QueryLevel(battery, tag, BatteryTemperature, &temperature, sizeof temperature)) {
        info.Temperature = static_cast<std::uint16_t>(temperature);
    }
    WCHAR name[MANUFACTURER_CHARS] = {};
    if (QueryLevel(battery, tag, BatteryManufactureName, name, sizeof name)) {
        info.ManufacturerName = WideField(name, MANUFACTURER_CHARS);
    }
    WCHAR serial[SERIAL_CHARS] = {};
    if (QueryLevel(battery, tag, BatterySerialNumber, serial, sizeof serial)) {
        info.SerialNumber = WideField(serial, SERIAL_CHARS);
    }
    BATTERY_MANUFACTURE_DATE date = {};
    if (QueryLevel(battery, tag, BatteryManufactureDate, &date, sizeof date)) {
        info.ManufactureDate =
            static_cast<std::uint16_t>(((date.Year - 1980) * 16 + date.Month) * 32 + date.Day);
    }
    if (raw.full != UNKNOWN) {
        if (raw.remaining != UNKNOWN && raw.full != 0) {
            info.ChargePercent = Percent(raw.remaining, raw.full);
        }
        if (raw.design != 0 && raw.design != UNKNOWN) {
            info.HealthPercent = Percent(raw.full, raw.design);
        }
    }
    if (!relative && raw.full != UNKNOWN && raw.remaining != UNKNOWN && raw.rate >= 1) {
        const double missing = std::abs(static_cast<double>(raw.full) - raw.remaining);
        info.TimeToFull = Minutes(std::round(missing / raw.rate * 60.0));
    }
}

// The system's run time split between two batteries in proportion to their remaining energy.
void CBatteryInformation::SplitRunTime(const SYSTEM_POWER_STATUS& power, const OsReading raw[]) {
    const ULONG seconds = power.BatteryLifeTime;
    const std::uint16_t total = Minutes(seconds / 60);
    const bool known0 = raw[0].remaining != UNKNOWN;
    const bool known1 = raw[1].remaining != UNKNOWN;
    if (!known0 && !known1) {
        m_osInfo[0].RemainingTime = total / 2;
        m_osInfo[1].RemainingTime = total - total / 2;
    } else if (!known0) {
        m_osInfo[0].RemainingTime = NO_VALUE;
        m_osInfo[1].RemainingTime = total;
    } else if (!known1) {
        m_osInfo[0].RemainingTime = total;
        m_osInfo[1].RemainingTime = NO_VALUE;
    } else {
        const double sum = static_cast<double>(raw[0].remaining) + raw[1].remaining;
        const std::uint16_t first =
            sum == 0 ? 0
                     : Minutes(std::trunc(
                           (static_cast<double>(seconds) * raw[0].remaining / sum + 30) / 60));
        m_osInfo[0].RemainingTime = first;
        m_osInfo[1].RemainingTime = static_cast<std::uint16_t>(total - first);
    }
}

int CBatteryInformation::RetrieveAndCacheBatteryInformationFromOS() {
    if (GetTickCount64() - m_ullOsTick <= BATTERY_INFORMATION_TIMEOUT_IN_TICK) {
        return 1;
    }
    bool referenced = false;
    try {
        ReferenceStep();
        referenced = true;
        OsReading raw[BATTERY_MAX_NUMBER];
        for (int i = 0; i < m_nBatteryCount && i < BATTERY_MAX_NUMBER; ++i) {
            ReadOsSlot(i, raw[i]);
        }
        SYSTEM_POWER_STATUS power = {};
        if (GetSystemPowerStatus(&power) == TRUE) {
            if (m_nBatteryCount == 1) {
                if (power.BatteryLifePercent != BATTERY_PERCENTAGE_UNKNOWN) {
                    m_osInfo[0].ChargePercent = power.BatteryLifePercent;
                }
                if (power.BatteryLifeTime != BATTERY_LIFE_UNKNOWN) {
                    m_osInfo[0].RemainingTime = Minutes(power.BatteryLifeTime / 60);
                }
            } else if (m_nBatteryCount == 2 && power.BatteryLifeTime != BATTERY_LIFE_UNKNOWN) {
                SplitRunTime(power, raw);
            }
        }
        m_ullOsTick = GetTickCount64();
        referenced = false;
        ReleaseStep();
        return 1;
    } catch (...) {
        LogDebug(W("CBatteryInformation::RetrieveAndCacheBatteryInformationFromOS throws an "
                   "exception"));
        if (referenced) {
            try {
                ReleaseStep();
            } catch (...) {
            }
        }
        return 0;
    }
}

// The first battery tells how the driver numbers its selector: from 0, or from 1 (then
// selector 0 gives an empty block).
int CBatteryInformation::RetrieveAndCacheBatteryInformationFromSMB() {
    if (GetTickCount64() - m_ullSmbTick <= BATTERY_INFORMATION_TIMEOUT_IN_TICK) {
        return 1;
    }
    try {
        s_uGSBIMeetSpec = 0xFFFFFFFF;
        BYTE block[IOCTL_SMART_BATTERY_READ_OUT_SIZE];
        for (int i = 0; i < m_nBatteryCount && i < BATTERY_MAX_NUMBER; ++i) {
            CDriverLib driver;
            std::memset(block, 0, sizeof block); // once: the second selector reads over the first
            if (i == 0) {
                if (ReadSmartBattery(driver, 0, block) && block[SMB_CHEMISTRY] != 0) {
                    s_uGSBIMeetSpec = 1;
                } else if (ReadSmartBattery(driver, 1, block) && block[SMB_CHEMISTRY] != 0) {
                    s_uGSBIMeetSpec = 2;
                } else {
                    s_uGSBIMeetSpec = 0;
                    return 0;
                }
            } else {
                const std::uint32_t numbering = s_uGSBIMeetSpec;
                if (numbering != 1 && numbering != 2) {
                    return 0;
                }
                if (!ReadSmartBattery(driver, numbering == 1 ? i : i + 1, block)) {
                    return 0;
                }
            }
            StoreSmartBlock(block, m_smbInfo[i]);
        }
        if (m_nBatteryCount == 2) {
            CompleteWord06(m_smbInfo[1], m_smbInfo[0]);
            CompleteWord06(m_smbInfo[0], m_smbInfo[1]);
        }
        m_ullSmbTick = GetTickCount64();
        return 1;
    } catch (...) {
        LogDebug(W("CBatteryInformation::RetrieveAndCacheBatteryInformationFromSMB throws an "
                   "exception"));
        return 0;
    }
}

int CBatteryInformation::RetrieveAndCacheBatteryFirmwareAndCycleCountFromSMB() {
    if (GetTickCount64() - m_ullFirmwareTick <= BATTERY_INFORMATION_TIMEOUT_IN_TICK) {
        return 1;
    }
    try {
        BYTE block[IOCTL_BATTERY_FIRMWARE_INFO_OUT_SIZE] = {};
        CDriverLib driver;
        if (driver.IoControl(IOCTL_BATTERY_FIRMWARE_INFO, nullptr,
                             IOCTL_BATTERY_FIRMWARE_INFO_IN_SIZE, block,
                             IOCTL_BATTERY_FIRMWARE_INFO_OUT_SIZE) != 1) {
            return 0;
        }
        m_strFirmware[0] = FirmwareText(block + FW_FIRMWARE);
        m_strFirmware[1] = FirmwareText(block + FW_FIRMWARE + FW_FIRMWARE_SIZE);
        for (int i = 0; i < BATTERY_MAX_NUMBER; ++i) {
            const std::uint16_t count = Word(block, 2 * i);
            m_wCycleCount[i] = count == 0 ? NO_VALUE : count;
        }
        m_ullFirmwareTick = GetTickCount64();
        return 1;
    } catch (...) {
        LogDebug(W("CBatteryInformation::RetrieveAndCacheBatteryFirmwareAndCycleCountFromSMB "
                   "throws an exception"));
        return 0;
    }
}

unsigned short CBatteryInformation::GetChargeCompletionTime() {
    CDriverLib driver;
    DWORD request = 0;
    DWORD minutes = 65535;
    if (driver.IoControl(IOCTL_CHARGE_COMPLETION_TIME, &request,
                         IOCTL_CHARGE_COMPLETION_TIME_IN_SIZE, &minutes,
                         IOCTL_CHARGE_COMPLETION_TIME_OUT_SIZE) == 0) {
        return 65535;
    }
    return static_cast<unsigned short>(minutes);
}

bool CBatteryInformation::CheckIsSupportGSBI(unsigned long selector) {
    CDriverLib driver;
    BYTE block[IOCTL_SMART_BATTERY_READ_OUT_SIZE] = {};
    return ReadSmartBattery(driver, static_cast<DWORD>(selector), block) &&
           block[SMB_CHEMISTRY] != 0;
}

void CBatteryInformation::GetGSBIMeetSpecFlag() {
    if (s_uGSBIMeetSpec == 0 && (m_nBatteryCount == 1 || m_nBatteryCount == 2)) {
        s_uGSBIMeetSpec = CheckIsSupportGSBI(static_cast<unsigned long>(m_nBatteryCount)) ? 2 : 1;
    }
}

} // namespace Celdor
