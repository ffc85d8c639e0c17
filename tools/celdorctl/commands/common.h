// Readings and wordings that several command families share.
#pragma once

#include <celdor/batterydriver.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

namespace celdorctl {

class Report;

// Whether the maker's driver can be opened now, and the error when it cannot.
struct DriverProbe {
    bool present = false;
    DWORD error = 0;
};
DriverProbe ProbeDriver();

// The power status word as the maker's driver answers it, or nothing when it cannot be asked.
std::optional<DWORD> PowerStatusWord();

// "the maker's driver is not available (\\.\FervoDrv gives error 2 (no such device))", or empty
// when it is.
std::string DriverUnavailable();

// Whether the system reports AC power on line: nothing when it does not know.
std::optional<bool> OnAcPower();

std::string Lower(std::string text);

// A positional argument's validator: one of `names` in any case (the value becomes the name as
// listed), or a message listing them.
CLI::Validator OneOf(std::vector<std::string> names, std::string what);

// "error 2 (no such device)": a Windows error code with what it means for a device.
std::string ErrorText(DWORD error);

// What an adapter state from CAdapter::GetAdapterStatus() says, in words.
std::string AdapterStateText(int state, bool driverPresent);

// The thermal mode in force (nothing when the service has published none), the service that
// runs it and its state, and a line telling them (commands/thermal.cpp).
struct ThermalSummary {
    std::optional<std::string> mode;
    std::string service;
    std::string serviceState;
    std::string text;
};
ThermalSummary SummariseThermal();

// The storage-mode charge limit in percent while storage mode holds the first battery, or
// nothing (commands/charging.cpp).
std::optional<int> StorageLimitPercent();

// When the mode recorded for the host differs from the firmware's: what happened and the
// command that restores it (commands/charging.cpp).
std::optional<std::string> ChargingDisagreement();

// The batteries present, as items of a list (Report::rows): charge with a gauge, what each is
// doing, its rate and for how long, whether it is low; with the driver's status of each when
// asked (commands/battery.cpp).
void AddBatteryItems(Report& items, bool withStatus);

// What Windows' battery class reports of each battery it finds: its state and its information.
struct OsBattery {
    BATTERY_STATUS status;
    BATTERY_INFORMATION information;
};
class OsBatteries : public Celdor::CBatteryDriver {
public:
    std::vector<OsBattery> Read();
};

// "45 min", "2 h 05 min".
std::string MinutesText(unsigned minutes);

// "30m", "2h", "1h30m", "45s", "500ms", "1d" in milliseconds; nothing for anything else.
std::optional<std::uint64_t> ParseDuration(const std::string& text);
CLI::Validator DurationValidator();

// The clock's reading: the local time (seconds since 1970 in UTC, and the zone's offset) and
// the time since the machine started.
Report ClockReport(std::int64_t epochSeconds, int utcOffsetMinutes, std::uint64_t uptimeMs);

// A number of a 16-bit field whose 0xFFFF means no value, as JSON.
nlohmann::ordered_json Known(std::uint16_t value);

} // namespace celdorctl
