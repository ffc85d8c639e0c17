#include "common.h"

#include <algorithm>

namespace celdorctl {

namespace {

// The same open the library makes before each request to the driver.
HANDLE OpenDriver() {
    return CreateFileW(CELDOR_W("\\\\.\\FervoDrv"), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

DriverProbe ProbeDriver() {
    HANDLE device = OpenDriver();
    if (device == INVALID_HANDLE_VALUE) {
        return DriverProbe{false, GetLastError()};
    }
    CloseHandle(device);
    return DriverProbe{true, 0};
}

std::optional<DWORD> PowerStatusWord() {
    HANDLE device = OpenDriver();
    if (device == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BYTE command = 0xFF; // the status sub-command of IOCTL_POWER_COMMAND
    DWORD word = 0;
    DWORD returned = 0;
    const BOOL ok =
        DeviceIoControl(device, 0x831020F8, &command, 1, &word, sizeof word, &returned, nullptr);
    CloseHandle(device);
    return ok ? std::optional(word) : std::nullopt;
}

std::string DriverUnavailable() {
    const DriverProbe driver = ProbeDriver();
    return driver.present ? std::string()
                          : "the maker's driver is not available (\\\\.\\FervoDrv gives " +
                                ErrorText(driver.error) + ")";
}

CLI::Validator OneOf(std::vector<std::string> names, std::string what) {
    std::string list;
    for (const std::string& name : names) {
        list += (list.empty() ? "" : ", ") + name;
    }
    return CLI::Validator(
        [names, what, list](std::string& value) -> std::string {
            if (std::find(names.begin(), names.end(), value) != names.end()) {
                return {};
            }
            return "unknown " + what + " '" + value + "'; the " + what + "s are: " + list;
        },
        list);
}

std::string ErrorText(DWORD error) {
    const char* meaning = nullptr;
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        meaning = "no such device";
        break;
    case ERROR_ACCESS_DENIED:
        meaning = "access denied";
        break;
    case ERROR_NOT_READY:
        meaning = "device not ready";
        break;
    case ERROR_GEN_FAILURE:
        meaning = "device not functioning";
        break;
    case ERROR_SHARING_VIOLATION:
        meaning = "device in use";
        break;
    case ERROR_DEVICE_NOT_CONNECTED:
        meaning = "device not connected";
        break;
    default:
        break;
    }
    std::string text = "error " + std::to_string(error);
    return meaning ? text + " (" + meaning + ")" : text;
}

std::string AdapterStateText(int state, bool driverPresent) {
    switch (state) {
    case 0:
        return "raw driver state: neither adapter state bit set";
    case 1:
        return "raw driver state: adapter state bit 0x10000 set";
    case 2:
        return "raw driver state: adapter state bit 0x8000 set";
    case 3:
        return "raw driver state: both adapter state bits set";
    default:
        return driverPresent ? "no valid state: the driver did not answer, or set both adapter "
                               "state bits and the detection bit"
                             : "no state: the driver is not available";
    }
}

} // namespace celdorctl
