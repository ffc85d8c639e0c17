// celdorctl battery: how many batteries there are, whether each is present and its coarse
// status; one battery's merged record; and the health values of the second smart-battery
// generation (CBatteryInformation).
#include "../command.h"
#include "../output.h"
#include "common.h"

#include <celdor/batteryinformation.h>

#include <cstdio>
#include <memory>
#include <string>

namespace celdorctl {

namespace {

using Record = Celdor::_BATTERY_INFORMATION_EX;
constexpr std::uint16_t kNone = Record::NO_VALUE;

std::string StatusText(unsigned short status) {
    switch (status) {
    case 1:
        return "normal";
    case 2:
    case 3:
    case 4:
        return "attention (driver status " + std::to_string(status) + ")";
    case 5:
        return "not present";
    default:
        return "unknown: the maker's driver could not be asked";
    }
}

std::string Fixed(double value, int decimals, const char* unit) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f %s", decimals, value, unit);
    return text;
}

// A readable value, or "no value" for the field's sentinel.
std::string Or(std::uint16_t value, const std::string& text) {
    return value == kNone ? "no value" : text;
}

std::string Minutes(std::uint16_t minutes) {
    const std::string rest = std::to_string(minutes % 60) + " min";
    return Or(minutes, minutes < 60 ? rest : std::to_string(minutes / 60) + " h " + rest);
}

std::string Date(std::uint16_t packed) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", 1980 + (packed >> 9), (packed >> 5) & 15,
                  packed & 31);
    return Or(packed, text);
}

std::string ChargeStatusText(std::uint16_t status) {
    static const char* const kNames[] = {"idle", "charging", "discharging",
                                         "discharging on AC power"};
    return status < 4 ? kNames[status] : "no value";
}

std::string Text(const Celdor::CString& text) {
    return text.IsEmpty() ? "no value" : text.ToUtf8();
}

// One line per battery for `status`: charge, state, and the time left or to full.
std::string Summary(const Record& info) {
    std::string line = Or(info.ChargePercent, std::to_string(info.ChargePercent) + "%");
    line += ", " + ChargeStatusText(info.ChargeStatus);
    if (info.ChargeStatus == 1 && info.TimeToFull != kNone) {
        line += ", full in " + Minutes(info.TimeToFull);
    } else if (info.RemainingTime != kNone) {
        line += ", " + Minutes(info.RemainingTime) + " left";
    }
    return line;
}

int Overview(Context& context) {
    Celdor::CBatteryInformation batteries;
    const int count = batteries.GetBatteryCount();
    const int precise = batteries.GetPreciseBatteryCount();
    Report report;
    report.row("count", "Batteries", precise, std::to_string(precise) + " present")
        .detail("battery_count", count);
    for (int i = 0; i < 2; ++i) {
        const bool present = batteries.IsBatteryExist(i) == 1;
        const unsigned short status = batteries.GetBatteryStatus(i);
        report.row("battery" + std::to_string(i), "Battery " + std::to_string(i),
                   Json{{"present", present}, {"status", status}},
                   present ? StatusText(status) : "not present");
    }
    report.print(context.out, context.json);
    return 0;
}

int Info(Context& context, int index) {
    Celdor::CBatteryInformation batteries;
    const int count = batteries.GetBatteryCount();
    Record info;
    if (index < 0 || batteries.GetBatteryInformation(info, index) != 1) {
        context.err << "celdorctl: no battery " << index << ": this machine has " << count
                    << (count == 1 ? " battery (index 0)" : " batteries (index 0 or 1)") << "\n";
        return 2;
    }
    if (context.json) {
        Json out = {{"index", index},
                    {"DesignCapacity", info.DesignCapacity},
                    {"FullChargeCapacity", info.FullChargeCapacity},
                    {"RemainingCapacity", info.RemainingCapacity},
                    {"SmbWord06", info.SmbWord06},
                    {"SmbWord08", info.SmbWord08},
                    {"Voltage", info.Voltage},
                    {"SmbSignedWord12", info.SmbSignedWord12},
                    {"Temperature", info.Temperature},
                    {"ManufactureDate", info.ManufactureDate},
                    {"SmbWord18", info.SmbWord18},
                    {"SmbWord20", info.SmbWord20},
                    {"ChargePercent", info.ChargePercent},
                    {"HealthPercent", info.HealthPercent},
                    {"ChargeStatus", info.ChargeStatus},
                    {"RemainingTime", info.RemainingTime},
                    {"TimeToFull", info.TimeToFull},
                    {"Reserved", info.Reserved},
                    {"CycleCount", info.CycleCount},
                    {"SmbText32", info.SmbText32.ToUtf8()},
                    {"ManufacturerName", info.ManufacturerName.ToUtf8()},
                    {"Firmware", info.Firmware.ToUtf8()},
                    {"SerialNumber", info.SerialNumber.ToUtf8()},
                    {"SmbText52", info.SmbText52.ToUtf8()},
                    {"Chemistry", info.Chemistry.ToUtf8()}};
        context.out << out.dump(2) << "\n";
        return 0;
    }
    Report report;
    auto row = [&](const char* key, const char* label, const std::string& text) {
        report.row(key, label, nullptr, text);
    };
    row("battery", "Battery", std::to_string(index));
    row("design", "Design capacity",
        Or(info.DesignCapacity, std::to_string(info.DesignCapacity * 10) + " mWh"));
    row("full", "Full-charge capacity",
        Or(info.FullChargeCapacity, std::to_string(info.FullChargeCapacity * 10) + " mWh"));
    row("remaining", "Remaining capacity",
        Or(info.RemainingCapacity, std::to_string(info.RemainingCapacity * 10) + " mWh"));
    row("charge", "Charge", Or(info.ChargePercent, std::to_string(info.ChargePercent) + " %"));
    row("health", "Health", Or(info.HealthPercent, std::to_string(info.HealthPercent) + " %"));
    row("status", "Charge status", ChargeStatusText(info.ChargeStatus));
    row("time_left", "Run time left", Minutes(info.RemainingTime));
    row("time_to_full", "Time to full", Minutes(info.TimeToFull));
    row("voltage", "Voltage", Or(info.Voltage, Fixed(info.Voltage / 1000.0, 3, "V")));
    row("temperature", "Temperature",
        Or(info.Temperature, Fixed(info.Temperature / 10.0 - 273.15, 1, "°C")));
    row("cycles", "Cycle count", Or(info.CycleCount, std::to_string(info.CycleCount)));
    row("date", "Manufactured", Date(info.ManufactureDate));
    row("manufacturer", "Manufacturer", Text(info.ManufacturerName));
    row("serial", "Serial number", Text(info.SerialNumber));
    row("chemistry", "Chemistry", Text(info.Chemistry));
    row("firmware", "Firmware", Text(info.Firmware));
    report.printTable(context.out);
    return 0;
}

int Health(Context& context) {
    using Celdor::CBatteryInformation;
    const bool driver = CBatteryInformation::GetFVDriverCapability() == 1;
    const Celdor::SmartBatteryInfo health = CBatteryInformation::GetSmartBatteryV2Info();
    auto value = [](int v) { return v == -1 ? std::string("no value") : std::to_string(v); };
    Report report;
    report.row("driver", "Maker's driver", driver, driver ? "present" : "not available")
        .row("smart_battery_v2", "Smart battery V2", health.IsSupported == 1,
             health.IsSupported == 1 ? "supported" : "not supported")
        .row("health_level", "Health level", health.HealthLevel, value(health.HealthLevel))
        .row("health_tip", "Health tip", health.HealthTip, value(health.HealthTip))
        .row("predicted_life_span", "Predicted life span", health.PredictedLifeSpan,
             value(health.PredictedLifeSpan));
    report.print(context.out, context.json);
    return 0;
}

} // namespace

void AddBatteryRows(Report& report) {
    Celdor::CBatteryInformation batteries;
    const int count = batteries.GetBatteryCount();
    if (batteries.GetPreciseBatteryCount() == 0) {
        report.row("batteries", "Batteries", Json::array(), "none");
        return;
    }
    for (int i = 0; i < count; ++i) {
        Record info;
        batteries.GetBatteryInformation(info, i);
        report.row("battery" + std::to_string(i), "Battery " + std::to_string(i),
                   Json{{"charge_percent", info.ChargePercent},
                        {"charge_status", info.ChargeStatus},
                        {"remaining_time", info.RemainingTime},
                        {"time_to_full", info.TimeToFull}},
                   Summary(info));
    }
}

void AddBatteryCommands(Commands& commands) {
    CLI::App* battery =
        commands.add("battery", "Battery count, presence and coarse status of each battery",
                     Effect::Reads, Overview);
    auto index = std::make_shared<int>(0);
    CLI::App* info = commands.add(
        "info", "One battery's merged record (default battery 0)", Effect::Reads,
        [index](Context& context) { return Info(context, *index); }, battery);
    info->add_option("index", *index, "Battery index (0 or 1)");
    commands.add("health", "Maker's driver, smart battery V2 support and the health values",
                 Effect::Reads, Health, battery);
}

} // namespace celdorctl
