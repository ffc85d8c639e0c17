// The temporary, night-charge and storage-80 modes: static operations of CChargingMode, each
// through a channel of its own. A 32-bit reply carries bit 0 when the firmware carried the
// command out, and an error code in bits 1 to 3 when it did not.
#include <celdor/batterydriver.h>
#include <celdor/chargingmode.h>

#include "charging/features.h"
#include "driver/controlcodes.h"
#include "support/logger.h"

namespace Celdor {

namespace {

constexpr DWORD BTMC_GET_CAP = 0x00000013;
constexpr DWORD BTMC_GET_STATUS = 0x00000011;
constexpr DWORD BNMC_GET_CAP = 0x00000013;
constexpr DWORD BNMC_GET_STATUS = 0x00000011;
constexpr DWORD BNMC_SET_STATUS = 0x00000012;
constexpr DWORD BNMC_SET_STATUS_ON = 0x80000000;

constexpr DWORD REPLY_DONE = 0x1;
constexpr DWORD REPLY_ERROR_MASK = 0xE;
constexpr DWORD BTMC_CAP_TEMPORARY_MODE = 0x6;
constexpr DWORD BNMC_NIGHT_CHARGE = 0x10;

constexpr int NIGHT_CHARGE_ON = 1;
constexpr int NIGHT_CHARGE_OFF = 2;
constexpr int CONFIRM_READS = 10;
constexpr DWORD CONFIRM_DELAY_MS = 50;

CFileLogger* Log() {
    return CFileLogger::GetInstance();
}

// One 32-bit command on IOCTL_BTMC or IOCTL_BNMC through the given channel.
int Command(CDriverLib& driver, DWORD code, DWORD command, DWORD& reply) {
    reply = 0;
    return driver.IoControl(code, &command, IOCTL_BTMC_IN_SIZE, &reply, IOCTL_BTMC_OUT_SIZE);
}

// A query on a channel of its own: true with the reply when the firmware carried it out;
// otherwise false after logging the failed transport, or the refusal (with its error code
// when `refusal` has a %d).
bool Query(DWORD code, DWORD command, DWORD& reply, const WCHAR* transportFailure,
           const WCHAR* refusal) {
    CDriverLib driver;
    const int result = Command(driver, code, command, reply);
    if (result == 1 && (reply & REPLY_DONE) != 0) {
        return true;
    }
    if (result == 0) {
        Log()->LogDebugInfo(transportFailure);
    } else {
        Log()->LogDebugInfo(refusal, static_cast<int>(reply & REPLY_ERROR_MASK));
    }
    return false;
}

} // namespace

static_assert(IOCTL_BTMC_IN_SIZE == IOCTL_BNMC_IN_SIZE &&
              IOCTL_BTMC_OUT_SIZE == IOCTL_BNMC_OUT_SIZE);

int CChargingMode::DoesSupportTemporaryMode() {
    DWORD reply = 0;
    if (!Query(IOCTL_BTMC, BTMC_GET_CAP, reply, W("call BTMC_GET_CAP DeviceIoControl failed"),
               W("BTMC_GET_CAP returns failed"))) {
        return 0;
    }
    return (reply & BTMC_CAP_TEMPORARY_MODE) != 0 ? 1 : 0;
}

// Status field 0, 1 and 2 give 1, 2 and 4; any other field gives 0.
int CChargingMode::GetTemporaryMode() {
    DWORD reply = 0;
    if (DoesSupportTemporaryMode() == 0 ||
        !Query(IOCTL_BTMC, BTMC_GET_STATUS, reply, W("call BTMC_GET_STATUS DeviceIoControl failed"),
               W("BTMC_GET_STATUS returns failed, error code: %d"))) {
        return 0;
    }
    const DWORD field = (reply >> 4) & 0x7FFFFFF;
    return field <= 2 ? 1 << field : 0;
}

int CChargingMode::DoesSupportNightChargeMode() {
    DWORD reply = 0;
    if (!Query(IOCTL_BNMC, BNMC_GET_CAP, reply, W("call BNMC_GET_CAP DeviceIoControl failed"),
               W("BNMC_GET_CAP returns failed, error code: %d"))) {
        return 0;
    }
    return (reply & BNMC_NIGHT_CHARGE) != 0 ? 1 : 0;
}

int CChargingMode::GetNightChargeMode() {
    DWORD reply = 0;
    if (DoesSupportNightChargeMode() == 0 ||
        !Query(IOCTL_BNMC, BNMC_GET_STATUS, reply, W("call BNMC_GET_STATUS DeviceIoControl failed"),
               W("BNMC_GET_STATUS returns failed, error code: %d"))) {
        return 0;
    }
    return (reply & BNMC_NIGHT_CHARGE) != 0 ? NIGHT_CHARGE_ON : NIGHT_CHARGE_OFF;
}

// The command's channel stays open until the read-back ends. A refused command is seen only in
// the state read back.
int CChargingMode::SetNightChargeMode(int mode) {
    const DWORD command = mode == NIGHT_CHARGE_ON    ? BNMC_SET_STATUS | BNMC_SET_STATUS_ON
                          : mode == NIGHT_CHARGE_OFF ? BNMC_SET_STATUS
                                                     : 0;
    CDriverLib driver;
    DWORD reply = 0;
    if (Command(driver, IOCTL_BNMC, command, reply) == 0) {
        Log()->LogDebugInfo(W("call BNMC_SET_STATUS DeviceIoControl failed"));
    }
    int current = 0;
    for (int read = 0; read < CONFIRM_READS; ++read) {
        current = GetNightChargeMode();
        if (current == mode) {
            break;
        }
        Sleep(CONFIRM_DELAY_MS);
    }
    return current;
}

// Drivers older than FV_SPEC_VERSION_STORAGE_80 are not asked.
int CChargingMode::DoesSupportStorage80() {
    if (CBatteryDriver::GetFvSpecVersion() < FV_SPEC_VERSION_STORAGE_80) {
        return 0;
    }
    CDriverLib driver;
    DWORD word = 0;
    if (PowerCommand(driver, POWER_GET_STATUS, word) != 1) {
        Log()->LogDebugInfo(W("CChargingMode::DoesSupportStorage80() DeviceIoControl failed, "
                              "error: %d"),
                            static_cast<int>(GetLastError()));
        return 0;
    }
    return (word & POWER_STATUS_STORAGE_80_SUPPORTED) != 0 ? 1 : 0;
}

} // namespace Celdor
