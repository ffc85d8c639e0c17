#include "common.h"

#include "../output.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <iterator>

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

std::optional<bool> OnAcPower() {
    SYSTEM_POWER_STATUS status{};
    if (!GetSystemPowerStatus(&status) || status.ACLineStatus > 1) {
        return std::nullopt;
    }
    return status.ACLineStatus == 1;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

CLI::Validator OneOf(std::vector<std::string> names, std::string what) {
    std::string list;
    for (const std::string& name : names) {
        list += (list.empty() ? "" : ", ") + name;
    }
    return CLI::Validator(
        [names, what, list](std::string& value) -> std::string {
            const auto found = std::find(names.begin(), names.end(), Lower(value));
            if (found != names.end()) {
                value = *found;
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
        return "no adapter reported";
    case 1:
        return "adapter below the notebook's rating (bit 0x10000): charging may pause under load";
    case 2:
        return "adapter connected (bit 0x8000)";
    case 3:
        return "adapter connected, rating not reported (bits 0x8000 and 0x10000)";
    default:
        return driverPresent ? "unknown: the driver did not answer, or set both adapter bits "
                               "together with the detection bit"
                             : "unknown: the maker's driver is not available";
    }
}

std::string MinutesText(unsigned minutes) {
    if (minutes < 60) {
        return std::to_string(minutes) + " min";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%u h %02u min", minutes / 60, minutes % 60);
    return text;
}

std::optional<std::uint64_t> ParseDuration(const std::string& text) {
    static const std::pair<const char*, std::uint64_t> kUnits[] = {
        {"ms", 1}, {"s", 1000}, {"m", 60'000}, {"h", 3'600'000}, {"d", 86'400'000}};
    std::uint64_t total = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t digits = at;
        while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) {
            ++digits;
        }
        std::size_t letters = digits;
        while (letters < text.size() && std::isalpha(static_cast<unsigned char>(text[letters]))) {
            ++letters;
        }
        const std::string unit = text.substr(digits, letters - digits);
        auto known = std::find_if(std::begin(kUnits), std::end(kUnits),
                                  [&](const auto& u) { return unit == u.first; });
        if (digits == at || digits - at > 9 || known == std::end(kUnits)) {
            return std::nullopt;
        }
        total += std::stoull(text.substr(at, digits - at)) * known->second;
        at = letters;
    }
    return text.empty() ? std::nullopt : std::optional(total);
}

CLI::Validator DurationValidator() {
    return CLI::Validator(
        [](std::string& value) -> std::string {
            return ParseDuration(value) ? ""
                                        : "'" + value +
                                              "' is not a duration: give a number with a unit "
                                              "(ms, s, m, h, d), such as 30m, 2h or 1h30m";
        },
        "DURATION");
}

Report ClockReport(std::int64_t epochSeconds, int utcOffsetMinutes, std::uint64_t uptimeMs) {
    using namespace std::chrono;
    const sys_seconds local{seconds{epochSeconds + std::int64_t{utcOffsetMinutes} * 60}};
    const sys_days day = floor<days>(local);
    const year_month_day date{day};
    const hh_mm_ss clock{local - day};
    char time[40];
    std::snprintf(time, sizeof time, "%04d-%02u-%02uT%02d:%02d:%02d", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    std::string text = time;
    if (utcOffsetMinutes == 0) {
        text += "Z";
    } else {
        const int offset = utcOffsetMinutes < 0 ? -utcOffsetMinutes : utcOffsetMinutes;
        char zone[16];
        std::snprintf(zone, sizeof zone, "%c%02d:%02d", utcOffsetMinutes < 0 ? '-' : '+',
                      offset / 60, offset % 60);
        text += zone;
    }
    const std::uint64_t seconds = uptimeMs / 1000;
    const std::string uptime = (seconds >= 86'400 ? std::to_string(seconds / 86'400) + " d " : "") +
                               MinutesText(static_cast<unsigned>(seconds / 60 % 1440)) + " " +
                               std::to_string(seconds % 60) + " s";
    Report report;
    report.row("time", "Time", text, text).row("uptime_ms", "Running for", uptimeMs, uptime);
    return report;
}

nlohmann::ordered_json Known(std::uint16_t value) {
    return value == 0xFFFF ? nlohmann::ordered_json() : nlohmann::ordered_json(value);
}

} // namespace celdorctl
