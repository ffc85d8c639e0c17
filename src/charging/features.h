// The express and storage charging features that CChargingMode combines, and the battery count
// the storage feature learns once. Internal to the library.
#pragma once

#include "driver/controlcodes.h"
#include "driver/driverlib.h"
#include "win32.h"

#include <celdor/powerfeature.h>

namespace Celdor {

// IOCTL_POWER_COMMAND sub-commands of the charging features. The second battery's storage
// sub-command is the first battery's plus 0x0A.
inline constexpr BYTE POWER_RAPID_CHARGE_ON = 0x07;
inline constexpr BYTE POWER_RAPID_CHARGE_OFF = 0x08;
inline constexpr BYTE POWER_STORAGE_ON = 0x03;
inline constexpr BYTE POWER_STORAGE_OFF = 0x05;
inline constexpr BYTE POWER_STORAGE_ON_BATTERY2 = 0x0D;
inline constexpr BYTE POWER_STORAGE_OFF_BATTERY2 = 0x0F;

// Bits of the power status word.
inline constexpr DWORD POWER_STATUS_RAPID_CHARGE_ON = 0x00000004;
inline constexpr DWORD POWER_STATUS_STORAGE_ON = 0x00000020;
inline constexpr DWORD POWER_STATUS_TWO_BATTERIES = 0x00004000;
inline constexpr DWORD POWER_STATUS_RAPID_CHARGE_SUPPORTED = 0x00020000;
inline constexpr DWORD POWER_STATUS_STORAGE_80_SUPPORTED = 0x00800000;

// Sends one sub-command of a 1-byte code (IOCTL_POWER_COMMAND, IOCTL_USB_CHARGE_COMMAND) on a
// channel. `word` receives the 32-bit reply (preset to 0). Returns the channel's result.
int ByteCommand(CDriverLib& driver, DWORD code, BYTE command, DWORD& word);
inline int PowerCommand(CDriverLib& driver, BYTE command, DWORD& word) {
    return ByteCommand(driver, IOCTL_POWER_COMMAND, command, word);
}

// Logs one of the charging features' fixed messages as debug information.
void LogDebug(const WCHAR* message);

// Express (rapid) charging. Each operation asks through a channel of its own.
class CExpressMode : public CPowerFeatureBase {
public:
    int OpenFeature() override;
    int CloseFeature() override;
    int IsSupport() override;
    int OpenOrClose() override;
};

// Whether a second battery is present, asked once through the object's own channel when it is
// built.
class CBatteryCount : protected virtual CDriverLib {
public:
    CBatteryCount();
    int GetBatteryCount() const { return m_nBatteryCount; }

private:
    int m_nBatteryCount; // 1 or 2
};

// Storage (conservation) mode, of both batteries when there are two. Every request, the battery
// count's included, goes through the one channel of this object, which stays open until the
// object is destroyed.
class CStorageMode : private virtual CDriverLib, public CBatteryCount, public CPowerFeatureBase {
public:
    int OpenFeature() override;
    int CloseFeature() override;
    // Storage mode counts as supported whenever the driver can be opened.
    int IsSupport() override;
    int OpenOrClose() override;

private:
    int Switch(BYTE command, const WCHAR* failure);
};

} // namespace Celdor
