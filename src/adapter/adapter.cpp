#include <celdor/adapter.h>

#include "driver/controlcodes.h"
#include "driver/driverlib.h"

#include <cstring>

namespace Celdor {

namespace {

// Bits of the power status word that describe the adapter.
constexpr DWORD POWER_STATUS_ADAPTER_STATE_LOW = 0x00008000;
constexpr DWORD POWER_STATUS_ADAPTER_STATE_HIGH = 0x00010000;
constexpr DWORD POWER_STATUS_ADAPTER_MODE_DETECT = 0x00080000;
constexpr DWORD POWER_STATUS_ADAPTER_STATE =
    POWER_STATUS_ADAPTER_STATE_LOW | POWER_STATUS_ADAPTER_STATE_HIGH;

// Asks the driver for the power status word through a channel of its own, closed on return.
bool ReadPowerStatus(DWORD& status) {
    CDriverLib driver;
    BYTE command = POWER_GET_STATUS;
    status = 0;
    return driver.IoControl(IOCTL_POWER_COMMAND, &command, IOCTL_POWER_COMMAND_IN_SIZE, &status,
                            IOCTL_POWER_COMMAND_OUT_SIZE) != 0;
}

} // namespace

CAdapter::CAdapter() = default;
CAdapter::~CAdapter() = default;
CAdapter& CAdapter::operator=(const CAdapter&) {
    return *this;
}

int CAdapter::IsACIn() {
    SYSTEM_POWER_STATUS status;
    std::memset(&status, 0, sizeof(status));
    return GetSystemPowerStatus(&status) == 1 && status.ACLineStatus == 1 ? 1 : 0;
}

// The state field's bits are crossed: the low bit alone is state 2, the high bit alone state 1.
// Both bits together are state 3, unless the detection bit is set as well, which the driver
// never reports for a valid state.
int CAdapter::GetAdapterStatus() {
    DWORD status = 0;
    if (!ReadPowerStatus(status)) {
        return -1;
    }
    switch (status & POWER_STATUS_ADAPTER_STATE) {
    case 0:
        return 0;
    case POWER_STATUS_ADAPTER_STATE_LOW:
        return 2;
    case POWER_STATUS_ADAPTER_STATE_HIGH:
        return 1;
    default:
        return (status & POWER_STATUS_ADAPTER_MODE_DETECT) != 0 ? -1 : 3;
    }
}

int CAdapter::IsSupportAdapterModeDetect() {
    DWORD status = 0;
    return ReadPowerStatus(status) && (status & POWER_STATUS_ADAPTER_MODE_DETECT) != 0 ? 1 : 0;
}

int CAdapter::GetACAdapterType() {
    return -1;
}

int CAdapter::GetAdapterWattage() {
    return -1;
}

int CAdapter::IsHarluneAdapter() {
    return -1;
}

} // namespace Celdor
