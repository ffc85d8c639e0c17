// CBatteryInformation: the host's questions about the batteries. How many there are, whether
// one is present, a coarse status, and one full record per battery merged from the Windows
// battery class driver and the maker's smart-battery data; plus the health values of the second
// smart-battery generation.
#pragma once

#include "batterydriver.h"
#include "cstring.h"
#include "export.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace Celdor {

// One battery's information. Capacities in units of 10 mWh, voltage in mV, temperature in tenths
// of a kelvin, times in minutes, percentages 0 to 100, dates packed as
// (year - 1980) * 512 + month * 32 + day. 0xFFFF in a 16-bit field (65535 in SmbSignedWord12)
// and the empty text mean "no value".
struct CELDOR_API _BATTERY_INFORMATION_EX {
    _BATTERY_INFORMATION_EX();
    _BATTERY_INFORMATION_EX(const _BATTERY_INFORMATION_EX& other);
    _BATTERY_INFORMATION_EX& operator=(const _BATTERY_INFORMATION_EX& other);
    ~_BATTERY_INFORMATION_EX();

    static const std::uint16_t NO_VALUE = 0xFFFF;

    std::uint16_t DesignCapacity;
    std::uint16_t FullChargeCapacity;
    std::uint16_t RemainingCapacity;
    std::uint16_t SmbWord06; // words of the smart-battery block, carried as delivered
    std::uint16_t SmbWord08;
    std::uint16_t Voltage;
    std::int32_t SmbSignedWord12; // sign-extended; 65535 when there is none
    std::uint16_t Temperature;
    std::uint16_t ManufactureDate;
    std::uint16_t SmbWord18;
    std::uint16_t SmbWord20;
    std::uint16_t ChargePercent; // of the full-charge capacity
    std::uint16_t HealthPercent; // full-charge capacity in percent of the design capacity
    // 0 idle (on AC, or no state), 1 charging, 2 discharging, 3 discharging on AC.
    std::uint16_t ChargeStatus;
    std::uint16_t RemainingTime;
    std::uint16_t TimeToFull;
    std::uint16_t Reserved; // never written by the library
    std::uint16_t CycleCount;
    CString SmbText32;
    CString ManufacturerName;
    CString Firmware; // "XXXX-XXXX-XXXX-XXXX"
    CString SerialNumber;
    CString SmbText52;
    CString Chemistry;
};

// The layout hosts give the record.
static_assert(sizeof(_BATTERY_INFORMATION_EX) == 88);
static_assert(offsetof(_BATTERY_INFORMATION_EX, DesignCapacity) == 0);
static_assert(offsetof(_BATTERY_INFORMATION_EX, FullChargeCapacity) == 2);
static_assert(offsetof(_BATTERY_INFORMATION_EX, RemainingCapacity) == 4);
static_assert(offsetof(_BATTERY_INFORMATION_EX, SmbWord06) == 6);
static_assert(offsetof(_BATTERY_INFORMATION_EX, SmbWord08) == 8);
static_assert(offsetof(_BATTERY_INFORMATION_EX, Voltage) == 10);
static_assert(offsetof(_BATTERY_INFORMATION_EX, SmbSignedWord12) == 12);
static_assert(offsetof(_BATTERY_INFORMATION_EX, Temperature) == 16);
static_assert(offsetof(_BATTERY_INFORMATION_EX, ManufactureDate) == 18);
static_assert(offsetof(_BATTERY_INFORMATION_EX, SmbWord18) == 20);
static_assert(offsetof(_BATTERY_INFORMATION_EX, SmbWord20) == 22);
static_assert(offsetof(_BATTERY_INFORMATION_EX, ChargePercent) == 24);
static_assert(offsetof(_BATTERY_INFORMATION_EX, HealthPercent) == 26);
static_assert(offsetof(_BATTERY_INFORMATION_EX, ChargeStatus) == 28);
static_assert(offsetof(_BATTERY_INFORMATION_EX, RemainingTime) == 30);
static_assert(offsetof(_BATTERY_INFORMATION_EX, TimeToFull) == 32);
static_assert(offsetof(_BATTERY_INFORMATION_EX, Reserved) == 34);
static_assert(offsetof(_BATTERY_INFORMATION_EX, CycleCount) == 36);
static_assert(offsetof(_BATTERY_INFORMATION_EX, SmbText32) == 40);
static_assert(offsetof(_BATTERY_INFORMATION_EX, ManufacturerName) == 48);
static_assert(offsetof(_BATTERY_INFORMATION_EX, Firmware) == 56);
static_assert(offsetof(_BATTERY_INFORMATION_EX, SerialNumber) == 64);
static_assert(offsetof(_BATTERY_INFORMATION_EX, SmbText52) == 72);
static_assert(offsetof(_BATTERY_INFORMATION_EX, Chemistry) == 80);

// The second smart-battery generation's health values; -1 where there is none.
struct SmartBatteryInfo {
    int IsSupported;
    int HealthLevel;
    int HealthTip;
    int PredictedLifeSpan;
};

static_assert(sizeof(SmartBatteryInfo) == 16);
static_assert(offsetof(SmartBatteryInfo, IsSupported) == 0);
static_assert(offsetof(SmartBatteryInfo, HealthLevel) == 4);
static_assert(offsetof(SmartBatteryInfo, HealthTip) == 8);
static_assert(offsetof(SmartBatteryInfo, PredictedLifeSpan) == 12);

class CELDOR_API CBatteryInformation : protected CBatteryDriver {
public:
    CBatteryInformation();
    CBatteryInformation(const CBatteryInformation& other);
    CBatteryInformation& operator=(const CBatteryInformation& other);
    virtual ~CBatteryInformation();

    // The merged record of battery `index` (the maker's driver's numbering), written field by
    // field where a source has a value. 0 for an index not below the battery count, else 1.
    int GetBatteryInformation(_BATTERY_INFORMATION_EX& info, int index);
    // Present batteries, at least 1; kept as this object's battery count.
    int GetBatteryCount();
    // Present batteries, 0 to 2.
    int GetPreciseBatteryCount();
    // 1 to 4 from the maker's driver's status word, 5 for a missing battery, 0xFFFF when the
    // driver cannot be asked.
    unsigned short GetBatteryStatus(int index);
    int IsBatteryExist(int index);

    // Whether the maker's driver can be opened, and the second smart-battery generation's
    // health values. Each asks the driver afresh.
    static int GetFVDriverCapability();
    static int IsSupportSmartBatteryV2();
    static int GetBatteryHealthLevel();
    static int GetBatteryHealthTip();
    static int GetBatteryPredictedLifeSpan();
    static SmartBatteryInfo GetSmartBatteryV2Info();

private:
    // Reaches the caches and refreshes for the library's own tests; adds nothing to the object.
    friend class BatteryInformationInspector;
    struct Layout;

    // Age in milliseconds up to which a cached reading is reused.
    static const std::uint64_t BATTERY_INFORMATION_TIMEOUT_IN_TICK = 1000;
    // How the maker's driver numbers its smart-battery selector: 0xFFFFFFFF not known yet, 0 no
    // data for the first battery, 1 counting from 0, 2 counting from 1.
    static std::atomic<std::uint32_t> s_uGSBIMeetSpec;

    // Each returns 1 when its cache holds a current reading, 0 when the reading failed.
    int RetrieveAndCacheBatteryInformationFromOS();
    int RetrieveAndCacheBatteryInformationFromSMB();
    int RetrieveAndCacheBatteryFirmwareAndCycleCountFromSMB();
    // The driver's charge completion time, or 65535.
    unsigned short GetChargeCompletionTime();
    bool CheckIsSupportGSBI(unsigned long selector);
    void GetGSBIMeetSpecFlag();

    struct OsReading; // one slot's raw values during an OS refresh
    void ReadOsSlot(int slot, OsReading& raw);
    void SplitRunTime(const SYSTEM_POWER_STATUS& power, const OsReading raw[]);
    bool AreOsBatteriesCrossed(int os, int smb, int fw) const;

    std::uint16_t m_wCycleCount[BATTERY_MAX_NUMBER];
    _BATTERY_INFORMATION_EX m_osInfo[BATTERY_MAX_NUMBER];
    _BATTERY_INFORMATION_EX m_smbInfo[BATTERY_MAX_NUMBER];
    CString m_strFirmware[BATTERY_MAX_NUMBER];
    std::uint64_t m_ullOsTick;
    std::uint64_t m_ullSmbTick;
    std::uint64_t m_ullFirmwareTick;
};

// The layout hosts give the object: the base's table pointer, battery count and two handles,
// then the members in order.
CELDOR_LAYOUT_CHECKS_BEGIN
struct CBatteryInformation::Layout {
    static_assert(sizeof(CBatteryInformation) == 432);
    static_assert(offsetof(CBatteryInformation, m_wCycleCount) == 32);
    static_assert(offsetof(CBatteryInformation, m_osInfo) == 40);
    static_assert(offsetof(CBatteryInformation, m_smbInfo) == 216);
    static_assert(offsetof(CBatteryInformation, m_strFirmware) == 392);
    static_assert(offsetof(CBatteryInformation, m_ullOsTick) == 408);
    static_assert(offsetof(CBatteryInformation, m_ullSmbTick) == 416);
    static_assert(offsetof(CBatteryInformation, m_ullFirmwareTick) == 424);
};
CELDOR_LAYOUT_CHECKS_END

} // namespace Celdor
