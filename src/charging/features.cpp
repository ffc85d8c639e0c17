#include "charging/features.h"

#include "support/logger.h"

namespace Celdor {

namespace {

// One request of the feature: a switch or the status word, through a channel built for it.
int ExpressCommand(BYTE command, DWORD& word) {
    CDriverLib driver;
    return PowerCommand(driver, command, word);
}

// On or off from the status word, -1 when the query failed.
int StateFrom(int result, DWORD word, DWORD bit) {
    if (result != 1) {
        return -1;
    }
    return (word & bit) != 0 ? 1 : 2;
}

} // namespace

void LogDebug(const WCHAR* message) {
    CFileLogger::GetInstance()->LogDebugInfo(message);
}

int ByteCommand(CDriverLib& driver, DWORD code, BYTE command, DWORD& word) {
    static_assert(IOCTL_POWER_COMMAND_IN_SIZE == 1 && IOCTL_USB_CHARGE_COMMAND_IN_SIZE == 1);
    static_assert(IOCTL_POWER_COMMAND_OUT_SIZE == 4 && IOCTL_USB_CHARGE_COMMAND_OUT_SIZE == 4);
    word = 0;
    return driver.IoControl(code, &command, 1, &word, sizeof word);
}

int CExpressMode::OpenFeature() {
    DWORD word = 0;
    const int result = ExpressCommand(POWER_RAPID_CHARGE_ON, word);
    if (result == 0) {
        LogDebug(W("Open rapid charge failed"));
    }
    return result;
}

int CExpressMode::CloseFeature() {
    DWORD word = 0;
    const int result = ExpressCommand(POWER_RAPID_CHARGE_OFF, word);
    if (result == 0) {
        LogDebug(W("Close rapid charge failed"));
    }
    return result;
}

int CExpressMode::IsSupport() {
    DWORD word = 0;
    if (ExpressCommand(POWER_GET_STATUS, word) != 1) {
        LogDebug(W("Query support rapid charge failed"));
        return 0;
    }
    return (word & POWER_STATUS_RAPID_CHARGE_SUPPORTED) != 0 ? 1 : 0;
}

int CExpressMode::OpenOrClose() {
    DWORD word = 0;
    const int result = ExpressCommand(POWER_GET_STATUS, word);
    const int state = StateFrom(result, word, POWER_STATUS_RAPID_CHARGE_ON);
    if (state == -1) {
        LogDebug(W("Query rapid charge failed"));
    }
    return state;
}

// A failed query leaves the count at 1 and logs nothing.
CBatteryCount::CBatteryCount() : m_nBatteryCount(1) {
    DWORD word = 0;
    if (PowerCommand(*this, POWER_GET_STATUS, word) == 1 &&
        (word & POWER_STATUS_TWO_BATTERIES) != 0) {
        m_nBatteryCount = 2;
    }
}

// The first battery's command, then the second battery's when there is one and the first was
// accepted. Nothing is undone when the second fails.
int CStorageMode::Switch(BYTE command, const WCHAR* failure) {
    DWORD word = 0;
    if (PowerCommand(*this, command, word) == 0 ||
        (GetBatteryCount() == 2 &&
         PowerCommand(*this, static_cast<BYTE>(command + 0x0A), word) == 0)) {
        LogDebug(failure);
        return 0;
    }
    return 1;
}

int CStorageMode::OpenFeature() {
    static_assert(POWER_STORAGE_ON_BATTERY2 == POWER_STORAGE_ON + 0x0A);
    return Switch(POWER_STORAGE_ON, W("Open storage mode failed"));
}

int CStorageMode::CloseFeature() {
    static_assert(POWER_STORAGE_OFF_BATTERY2 == POWER_STORAGE_OFF + 0x0A);
    return Switch(POWER_STORAGE_OFF, W("Close storage mode failed"));
}

int CStorageMode::IsSupport() {
    return IsFervoDriverPresent();
}

int CStorageMode::OpenOrClose() {
    DWORD word = 0;
    const int result = PowerCommand(*this, POWER_GET_STATUS, word);
    const int state = StateFrom(result, word, POWER_STATUS_STORAGE_ON);
    if (state == -1) {
        LogDebug(W("Query storage mode failed"));
    }
    return state;
}

} // namespace Celdor
