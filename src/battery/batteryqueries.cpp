// The host's battery queries: presence, counts, the coarse status, the merged record, and the
// health values of the second smart-battery generation. Nothing is thrown to the host.
#include <celdor/batteryinformation.h>

#include "driver/controlcodes.h"
#include "driver/driverlib.h"
#include "support/logger.h"

namespace Celdor {

namespace {

using Record = _BATTERY_INFORMATION_EX;
constexpr std::uint16_t NO_VALUE = Record::NO_VALUE;

// Bits of the power status word per battery, in the order they decide the coarse status.
struct StatusBits {
    DWORD bit;
    unsigned short status;
};
constexpr StatusBits BATTERY_STATUS_BITS[2][3] = {
    {{0x80, 2}, {0x8, 3}, {0x100, 4}},
    {{0x400, 2}, {0x10, 3}, {0x2000, 4}},
};

// IOCTL_BTMC sub-commands of the second smart-battery generation.
constexpr DWORD BTMC_GET_CAP2 = 0x23;
constexpr DWORD BTMC_GET_STATUS2 = 0x21;
constexpr DWORD BTMC_GET_STATUS3 = 0x31;
constexpr DWORD BTMC_GET_STATUS4 = 0x41;

void LogDebug(const WCHAR* message) {
    CFileLogger::GetInstance()->LogDebugInfo(message);
}

void Take(std::uint16_t& to, std::uint16_t from) {
    if (from != NO_VALUE) {
        to = from;
    }
}
void Take(std::int32_t& to, std::int32_t from) {
    if (from != NO_VALUE) {
        to = from;
    }
}
void Take(CString& to, const CString& from) {
    if (!from.IsEmpty()) {
        to = from;
    }
}

// The fields by which two batteries are told apart, in the order they are tried.
template <typename Compare> int FirstDeciding(Compare decide) {
    int decided = decide(&Record::DesignCapacity);
    decided = decided ? decided : decide(&Record::FullChargeCapacity);
    decided = decided ? decided : decide(&Record::Chemistry);
    decided = decided ? decided : decide(&Record::CycleCount);
    decided = decided ? decided : decide(&Record::RemainingCapacity);
    decided = decided ? decided : decide(&Record::Voltage);
    decided = decided ? decided : decide(&Record::Temperature);
    decided = decided ? decided : decide(&Record::ManufacturerName);
    return decided ? decided : decide(&Record::ManufactureDate);
}

// One value of the driver's status queries: the value field, or -1 with the failure logged.
int BtmcValue(DWORD command, const WCHAR* callFailed, const WCHAR* returnsFailed) {
    CDriverLib driver;
    DWORD reply = 0;
    const int sent =
        driver.IoControl(IOCTL_BTMC, &command, IOCTL_BTMC_IN_SIZE, &reply, IOCTL_BTMC_OUT_SIZE);
    if (sent == 1 && (reply & 1)) {
        return static_cast<int>((reply >> 4) & 0x7FFFFFF);
    }
    if (sent == 0) {
        CFileLogger::GetInstance()->LogDebugInfo(callFailed);
    } else {
        CFileLogger::GetInstance()->LogDebugInfo(returnsFailed, static_cast<int>(reply & 0x0E));
    }
    return -1;
}

} // namespace

int CBatteryInformation::IsBatteryExist(int index) {
    try {
        SYSTEM_POWER_STATUS power = {};
        BATTERY_INFORMATION information = {};
        if (GetSystemPowerStatus(&power) != TRUE) {
            return 0;
        }
        if (ReadBatteryInformationFromOS(information, index) != 1) {
            return 0;
        }
        return power.BatteryLifePercent <= 100 ||
                       (information.Capabilities & BATTERY_SYSTEM_BATTERY) != 0 ||
                       (power.BatteryFlag & BATTERY_FLAG_NO_BATTERY) == 0
                   ? 1
                   : 0;
    } catch (...) {
        LogDebug(W("CBatteryInformation::IsBatteryExist throws an exception"));
        return 0;
    }
}

int CBatteryInformation::GetPreciseBatteryCount() {
    return IsBatteryExist(0) + IsBatteryExist(1);
}

int CBatteryInformation::GetBatteryCount() {
    const int present = GetPreciseBatteryCount();
    m_nBatteryCount = present == 0 ? 1 : present;
    return m_nBatteryCount;
}

unsigned short CBatteryInformation::GetBatteryStatus(int index) {
    if (IsBatteryExist(index) == 0) {
        return 5;
    }
    CDriverLib driver;
    BYTE command = POWER_GET_STATUS;
    DWORD status = 0;
    if (driver.IoControl(IOCTL_POWER_COMMAND, &command, IOCTL_POWER_COMMAND_IN_SIZE, &status,
                         IOCTL_POWER_COMMAND_OUT_SIZE) != 1) {
        return 0xFFFF;
    }
    for (const StatusBits& bits : BATTERY_STATUS_BITS[index]) {
        if (status & bits.bit) {
            return bits.status;
        }
    }
    return 1;
}

// Walks the criteria until one field tells the two batteries apart and matches the OS slots one
// way round; without smart-battery data, the firmware's cycle counts decide.
bool CBatteryInformation::AreOsBatteriesCrossed(int os, int smb, int fw) const {
    if (os == 1 && smb == 1) {
        const Record* s = m_smbInfo;
        const Record* o = m_osInfo;
        const int decided = FirstDeciding([&](auto field) {
            if (s[0].*field == s[1].*field) {
                return 0;
            }
            if (s[0].*field == o[1].*field && s[1].*field == o[0].*field) {
                return 1; // crossed
            }
            if (s[0].*field == o[0].*field && s[1].*field == o[1].*field) {
                return 2; // straight
            }
            return 0;
        });
        return decided == 1;
    }
    return fw == 1 && os == 1 && m_osInfo[0].CycleCount != m_osInfo[1].CycleCount &&
           m_wCycleCount[0] == m_osInfo[1].CycleCount && m_wCycleCount[1] == m_osInfo[0].CycleCount;
}

// Smart-battery values first, OS values over them, the firmware block only where neither had a
// value.
int CBatteryInformation::GetBatteryInformation(_BATTERY_INFORMATION_EX& info, int index) {
    if (index < 0 || index >= m_nBatteryCount) {
        return 0;
    }
    try {
        m_ullOsTick = 0;
        m_ullSmbTick = 0;
        m_ullFirmwareTick = 0;
        const int os = RetrieveAndCacheBatteryInformationFromOS();
        const int smb = RetrieveAndCacheBatteryInformationFromSMB();
        const int fw = RetrieveAndCacheBatteryFirmwareAndCycleCountFromSMB();
        const bool crossed = m_nBatteryCount == 2 && AreOsBatteriesCrossed(os, smb, fw);
        const int s = m_nBatteryCount == 2 ? index : 0;
        const int o = crossed ? 1 - s : s;
        if (smb == 1) {
            const Record& from = m_smbInfo[s];
            Take(info.DesignCapacity, from.DesignCapacity);
            Take(info.FullChargeCapacity, from.FullChargeCapacity);
            Take(info.RemainingCapacity, from.RemainingCapacity);
            Take(info.SmbWord06, from.SmbWord06);
            Take(info.SmbWord08, from.SmbWord08);
            Take(info.Voltage, from.Voltage);
            Take(info.SmbSignedWord12, from.SmbSignedWord12);
            Take(info.Temperature, from.Temperature);
            Take(info.ManufactureDate, from.ManufactureDate);
            Take(info.SmbWord18, from.SmbWord18);
            Take(info.SmbWord20, from.SmbWord20);
            Take(info.Chemistry, from.Chemistry);
            Take(info.ManufacturerName, from.ManufacturerName);
            Take(info.SmbText32, from.SmbText32);
            Take(info.SmbText52, from.SmbText52);
            Take(info.Firmware, from.Firmware);
            Take(info.ChargePercent, from.ChargePercent);
            Take(info.HealthPercent, from.HealthPercent);
        }
        if (os == 1) {
            const Record& from = m_osInfo[o];
            Take(info.DesignCapacity, from.DesignCapacity);
            Take(info.FullChargeCapacity, from.FullChargeCapacity);
            Take(info.Chemistry, from.Chemistry);
            Take(info.CycleCount, from.CycleCount);
            Take(info.RemainingCapacity, from.RemainingCapacity);
            Take(info.Voltage, from.Voltage);
            Take(info.Temperature, from.Temperature);
            Take(info.ManufacturerName, from.ManufacturerName);
            Take(info.ChargePercent, from.ChargePercent);
            Take(info.HealthPercent, from.HealthPercent);
            Take(info.ChargeStatus, from.ChargeStatus);
            Take(info.RemainingTime, from.RemainingTime);
            Take(info.TimeToFull, from.TimeToFull);
            Take(info.SerialNumber, from.SerialNumber);
            Take(info.ManufactureDate, from.ManufactureDate);
        }
        if (fw == 1) {
            if (smb == 0) {
                Take(info.Firmware, m_strFirmware[s]);
            }
            if (info.CycleCount == NO_VALUE) {
                Take(info.CycleCount, m_wCycleCount[s]);
            }
        }
    } catch (...) {
        LogDebug(W("CBatteryInformation::GetBatteryInformation throws an exception"));
    }
    return 1;
}

int CBatteryInformation::GetFVDriverCapability() {
    return IsFervoDriverPresent();
}

// Supported when the capability number (the reply without its done flag) is exactly 1.
int CBatteryInformation::IsSupportSmartBatteryV2() {
    CDriverLib driver;
    DWORD command = BTMC_GET_CAP2;
    DWORD reply = 0;
    const int sent =
        driver.IoControl(IOCTL_BTMC, &command, IOCTL_BTMC_IN_SIZE, &reply, IOCTL_BTMC_OUT_SIZE);
    if (sent == 1 && (reply & 1)) {
        return (reply & 0xFFFFFFFE) == 2 ? 1 : 0;
    }
    LogDebug(sent == 0 ? W("call BTMC_GET_CAP2 DeviceIoControl failed")
                       : W("BTMC_GET_CAP2 returns failed"));
    return 0;
}

int CBatteryInformation::GetBatteryHealthLevel() {
    return BtmcValue(BTMC_GET_STATUS2, W("call BTMC_GET_STATUS2 DeviceIoControl failed"),
                     W("BTMC_GET_STATUS2 returns failed, error code: %d"));
}

int CBatteryInformation::GetBatteryHealthTip() {
    return BtmcValue(BTMC_GET_STATUS3, W("call BTMC_GET_STATUS3 DeviceIoControl failed"),
                     W("BTMC_GET_STATUS3 returns failed, error code: %d"));
}

int CBatteryInformation::GetBatteryPredictedLifeSpan() {
    return BtmcValue(BTMC_GET_STATUS4, W("call BTMC_GET_STATUS4 DeviceIoControl failed"),
                     W("BTMC_GET_STATUS4 returns failed, error code: %d"));
}

SmartBatteryInfo CBatteryInformation::GetSmartBatteryV2Info() {
    SmartBatteryInfo info = {0, -1, -1, -1};
    if (IsSupportSmartBatteryV2() == 0) {
        return info;
    }
    info.IsSupported = 1;
    info.HealthLevel = GetBatteryHealthLevel();
    info.HealthTip = GetBatteryHealthTip();
    info.PredictedLifeSpan = GetBatteryPredictedLifeSpan();
    return info;
}

} // namespace Celdor
