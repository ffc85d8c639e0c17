// Readings and wordings that several command families share.
#pragma once

#include <celdor/export.h>

#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

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

// A positional argument's validator: one of `names`, or a message listing them.
CLI::Validator OneOf(std::vector<std::string> names, std::string what);

// "error 2 (no such device)": a Windows error code with what it means for a device.
std::string ErrorText(DWORD error);

// What an adapter state from CAdapter::GetAdapterStatus() means. The states are the driver's
// own; the tool explains them by the status word bits they come from.
std::string AdapterStateText(int state, bool driverPresent);

// The thermal mode in force (nothing when the service has published none), the service that
// runs it, and a line telling both (commands/thermal.cpp).
struct ThermalSummary {
    std::optional<std::string> mode;
    std::string service;
    std::string text;
};
ThermalSummary SummariseThermal();

// One row per battery: charge, charge status, and the time left or to full
// (commands/battery.cpp).
void AddBatteryRows(Report& report);

} // namespace celdorctl
