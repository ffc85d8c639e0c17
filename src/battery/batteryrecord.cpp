// The battery information record and the object that caches each source's last reading.
#include <celdor/batteryinformation.h>

namespace Celdor {

_BATTERY_INFORMATION_EX::_BATTERY_INFORMATION_EX()
    : DesignCapacity(NO_VALUE), FullChargeCapacity(NO_VALUE), RemainingCapacity(NO_VALUE),
      SmbWord06(NO_VALUE), SmbWord08(NO_VALUE), Voltage(NO_VALUE), SmbSignedWord12(NO_VALUE),
      Temperature(NO_VALUE), ManufactureDate(NO_VALUE), SmbWord18(NO_VALUE), SmbWord20(NO_VALUE),
      ChargePercent(NO_VALUE), HealthPercent(NO_VALUE), ChargeStatus(NO_VALUE),
      RemainingTime(NO_VALUE), TimeToFull(NO_VALUE), Reserved(NO_VALUE), CycleCount(NO_VALUE) {}

_BATTERY_INFORMATION_EX::_BATTERY_INFORMATION_EX(const _BATTERY_INFORMATION_EX& other) = default;
_BATTERY_INFORMATION_EX&
_BATTERY_INFORMATION_EX::operator=(const _BATTERY_INFORMATION_EX& other) = default;
_BATTERY_INFORMATION_EX::~_BATTERY_INFORMATION_EX() = default;

const std::uint16_t _BATTERY_INFORMATION_EX::NO_VALUE;
const std::uint64_t CBatteryInformation::BATTERY_INFORMATION_TIMEOUT_IN_TICK;
std::atomic<std::uint32_t> CBatteryInformation::s_uGSBIMeetSpec{0xFFFFFFFF};

// The cycle counts are written by the first firmware reading, before anything reads them; they
// start without a value all the same.
CBatteryInformation::CBatteryInformation()
    : m_wCycleCount{_BATTERY_INFORMATION_EX::NO_VALUE, _BATTERY_INFORMATION_EX::NO_VALUE},
      m_ullOsTick(0), m_ullSmbTick(0), m_ullFirmwareTick(0) {}

CBatteryInformation::CBatteryInformation(const CBatteryInformation& other) = default;
CBatteryInformation& CBatteryInformation::operator=(const CBatteryInformation& other) = default;
CBatteryInformation::~CBatteryInformation() = default;

} // namespace Celdor
