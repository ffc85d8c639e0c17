// Always-on USB charging, on AC and from the battery, through IOCTL_USB_CHARGE_COMMAND.
#include <celdor/usbcharger.h>

#include "charging/features.h"
#include "support/logger.h"

namespace Celdor {

namespace {

constexpr BYTE USB_GET_STATUS = 0x02;
constexpr BYTE USB_AOU_ON = 0x0A;
constexpr BYTE USB_AOU_OFF = 0x0B;
constexpr BYTE USB_AOU_BATTERY_ON = 0x13;
constexpr BYTE USB_AOU_BATTERY_OFF = 0x12;

constexpr DWORD USB_STATUS_AOU_SUPPORTED = 0x00000040;
constexpr DWORD USB_STATUS_AOU_ON = 0x00000080;
constexpr DWORD USB_STATUS_AOU_BATTERY_SUPPORTED = 0x00004000;
constexpr DWORD USB_STATUS_AOU_BATTERY_ON = 0x00008000;

constexpr int USB_ON = 1;
constexpr int USB_OFF = 2;
constexpr int USB_RETRIES = 10;

int UsbCommand(CDriverLib& driver, BYTE command) {
    DWORD word = 0;
    return ByteCommand(driver, IOCTL_USB_CHARGE_COMMAND, command, word);
}

// The USB charge status word through a channel of its own; the channel's result.
int UsbStatus(DWORD& word) {
    CDriverLib driver;
    return ByteCommand(driver, IOCTL_USB_CHARGE_COMMAND, USB_GET_STATUS, word);
}

int Support(DWORD bit, const WCHAR* failure) {
    DWORD word = 0;
    if (UsbStatus(word) == 0) {
        LogDebug(failure);
        return 0;
    }
    return (word & bit) != 0 ? 1 : 0;
}

int State(DWORD bit, const WCHAR* failure) {
    DWORD word = 0;
    if (UsbStatus(word) != 1) {
        LogDebug(failure);
        return -1;
    }
    return (word & bit) != 0 ? USB_ON : USB_OFF;
}

// One command, not checked afterwards.
int SwitchOnce(BYTE command, const WCHAR* failure) {
    CDriverLib driver;
    const int result = UsbCommand(driver, command);
    if (result == 0) {
        LogDebug(failure);
    }
    return result;
}

// Sends the command, then, while the feature does not read `target`, sends it again on the
// same channel, up to USB_RETRIES times, without a pause. A failed state query counts as not
// there yet. Returns the result of the last command.
int SwitchAndRetry(CPowerFeatureBase& feature, BYTE command, int target, const WCHAR* failure,
                   const WCHAR* retry) {
    CDriverLib driver;
    int result = UsbCommand(driver, command);
    if (result == 0) {
        LogDebug(failure);
        return 0;
    }
    for (int attempt = 1; attempt <= USB_RETRIES && feature.OpenOrClose() != target; ++attempt) {
        CFileLogger::GetInstance()->LogDebugInfo(retry, attempt);
        result = UsbCommand(driver, command);
    }
    return result;
}

} // namespace

CUSBCharger::CUSBCharger() = default;
CUSBCharger::CUSBCharger(const CUSBCharger&) = default;
CUSBCharger& CUSBCharger::operator=(const CUSBCharger&) = default;
CUSBCharger::~CUSBCharger() = default;

int CUSBCharger::OpenFeature() {
    return SwitchAndRetry(*this, USB_AOU_ON, USB_ON, W("Open always on USB DeviceIo failed"),
                          W("Open always on USB failed, automatically try again%d"));
}

int CUSBCharger::CloseFeature() {
    return SwitchAndRetry(*this, USB_AOU_OFF, USB_OFF, W("Close always on USB DeviceIo failed"),
                          W("Close always on USB failed, automatically try again%d"));
}

int CUSBCharger::IsSupport() {
    return Support(USB_STATUS_AOU_SUPPORTED, W("Query always on USB capability DeviceIo failed"));
}

int CUSBCharger::OpenOrClose() {
    return State(USB_STATUS_AOU_ON, W("Query always on USB DeviceIo failed"));
}

CUSBBatteryCharger::CUSBBatteryCharger() = default;
CUSBBatteryCharger::CUSBBatteryCharger(const CUSBBatteryCharger&) = default;
CUSBBatteryCharger& CUSBBatteryCharger::operator=(const CUSBBatteryCharger&) = default;
CUSBBatteryCharger::~CUSBBatteryCharger() = default;

int CUSBBatteryCharger::OpenFeature() {
    return SwitchOnce(USB_AOU_BATTERY_ON, W("Open AOU charge in battery DeviceIo failed"));
}

int CUSBBatteryCharger::CloseFeature() {
    return SwitchOnce(USB_AOU_BATTERY_OFF, W("Close AOU charge in battery DeviceIo failed"));
}

int CUSBBatteryCharger::IsSupport() {
    return Support(USB_STATUS_AOU_BATTERY_SUPPORTED,
                   W("Query AOU charge in battery capability DeviceIo failed"));
}

int CUSBBatteryCharger::OpenOrClose() {
    return State(USB_STATUS_AOU_BATTERY_ON, W("Query AOU charge in battery DeviceIo failed"));
}

} // namespace Celdor
