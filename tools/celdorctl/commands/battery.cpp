// celdorctl battery: the batteries present, with a charge gauge, what each is doing and for how
// long; one battery's merged record; and the health values of the second smart-battery
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

// GetBatteryStatus() in words: what the maker's driver reports of the battery.
std::string StatusText(unsigned short status) {
    switch (status) {
    case 1:
        return "normal";
    case 2:
        return "fault: the pack reports a failure and is neither charged nor used";
    case 3:
        return "too hot or too cold: charging is paused";
    case 4:
        return "worn out: the pack asks to be replaced";
    case 5:
        return "not present";
    default:
        return "unknown: the maker's driver could not be asked";
    }
}

const char* const kChargeStatus[] = {"idle", "charging", "discharging", "discharging on AC"};

std::string Fixed(double value, int decimals, const char* unit) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f %s", decimals, value, unit);
    return text;
}

Json Rounded(double value, int decimals) {
    double scale = 1;
    for (int i = 0; i < decimals; ++i) {
        scale *= 10;
    }
    return static_cast<double>(static_cast<long long>(value * scale + (value < 0 ? -0.5 : 0.5))) /
           scale;
}

// "[######----]": the charge at a glance, one mark per tenth.
std::string Gauge(unsigned percent) {
    const unsigned marks = (percent > 100 ? 100 : percent + 5) / 10;
    return "[" + std::string(marks, '#') + std::string(10 - marks, '-') + "]";
}

// A fact of the record that may be missing: null and "unknown" then. Zero is no reading either
// for the gauge readings a present pack always has (voltage, temperature).
struct Fact {
    Json value;
    std::string text;
};
Fact Unknown() {
    return Fact{Json(), "unknown"};
}
Fact Capacity(std::uint16_t tens) {
    return tens == kNone ? Unknown() : Fact{tens * 10, std::to_string(tens * 10) + " mWh"};
}
Fact Percent(std::uint16_t value) {
    return value == kNone ? Unknown() : Fact{value, std::to_string(value) + " %"};
}
Fact Minutes(std::uint16_t minutes) {
    return minutes == kNone ? Unknown() : Fact{minutes, MinutesText(minutes)};
}
Fact Date(std::uint16_t packed) {
    const int month = (packed >> 5) & 15;
    const int day = packed & 31;
    if (packed == kNone || month < 1 || month > 12 || day < 1) {
        return Unknown();
    }
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", 1980 + (packed >> 9), month, day);
    return Fact{text, text};
}
Fact Text(const Celdor::CString& text, const char* nothing = "") {
    const std::string utf8 = text.ToUtf8();
    return text.IsEmpty() || utf8 == nothing ? Unknown() : Fact{utf8, utf8};
}

void Add(Report& report, const char* key, const char* label, const Fact& fact) {
    report.row(key, label, fact.value, fact.text);
}

int Overview(Context& context) {
    Celdor::CBatteryInformation batteries;
    const int present = batteries.GetPreciseBatteryCount();
    Report report;
    report.row("count", "Batteries", present,
               present == 0   ? "none present"
               : present == 1 ? "1 present"
                              : std::to_string(present) + " present");
    AddBatteryItems(report.rows("batteries", "", ""), true);
    report.print(context.out, context.json);
    return 0;
}

int Info(Context& context, int index) {
    Celdor::CBatteryInformation batteries;
    const int present = batteries.GetPreciseBatteryCount();
    batteries.GetBatteryCount();
    Record info;
    if (index < 0 || index >= present || batteries.GetBatteryInformation(info, index) != 1) {
        context.err << "celdorctl: no battery " << index << ": this machine has "
                    << (present == 0   ? "no battery"
                        : present == 1 ? "1 battery (index 0)"
                                       : "2 batteries (index 0 or 1)")
                    << "\n";
        return 2;
    }
    Report report;
    report.row("index", "Battery", index, std::to_string(index));
    Add(report, "design_capacity_mwh", "Design capacity", Capacity(info.DesignCapacity));
    Add(report, "full_charge_capacity_mwh", "Full-charge capacity",
        Capacity(info.FullChargeCapacity));
    Add(report, "remaining_capacity_mwh", "Remaining capacity", Capacity(info.RemainingCapacity));
    Add(report, "charge_percent", "Charge", Percent(info.ChargePercent));
    Add(report, "health_percent", "Health", Percent(info.HealthPercent));
    Add(report, "charge_status", "Charge status",
        info.ChargeStatus < 4
            ? Fact{kChargeStatus[info.ChargeStatus], kChargeStatus[info.ChargeStatus]}
            : Unknown());
    Add(report, "time_to_empty_min", "Run time left", Minutes(info.RemainingTime));
    Add(report, "time_to_full_min", "Time to full", Minutes(info.TimeToFull));
    Add(report, "voltage_v", "Voltage",
        info.Voltage == kNone || info.Voltage == 0
            ? Unknown()
            : Fact{Rounded(info.Voltage / 1000.0, 3), Fixed(info.Voltage / 1000.0, 3, "V")});
    const double celsius = info.Temperature / 10.0 - 273.15;
    Add(report, "temperature_c", "Temperature",
        info.Temperature == kNone || info.Temperature == 0
            ? Unknown()
            : Fact{Rounded(celsius, 1), Fixed(celsius, 1, "°C")});
    Add(report, "cycle_count", "Cycle count",
        info.CycleCount == kNone ? Unknown()
                                 : Fact{info.CycleCount, std::to_string(info.CycleCount)});
    Add(report, "manufacture_date", "Manufactured", Date(info.ManufactureDate));
    Add(report, "manufacturer", "Manufacturer", Text(info.ManufacturerName));
    Add(report, "serial_number", "Serial number", Text(info.SerialNumber));
    Add(report, "chemistry", "Chemistry", Text(info.Chemistry));
    Add(report, "firmware", "Firmware", Text(info.Firmware, "0000-0000-0000-0000"));
    // The words and texts the maker's driver hands on without saying what they are.
    Report& words = report.section("smart_battery", "Smart-battery block, as the driver gives it");
    auto word = [&](const char* key, const char* label, std::uint16_t value) {
        words.row(key, label, Known(value), value == kNone ? "none" : std::to_string(value));
    };
    word("word06", "Word 6", info.SmbWord06);
    word("word08", "Word 8", info.SmbWord08);
    words.row("word12", "Word 12",
              info.SmbSignedWord12 == 65535 ? Json() : Json(info.SmbSignedWord12),
              info.SmbSignedWord12 == 65535 ? "none" : std::to_string(info.SmbSignedWord12));
    word("word18", "Word 18", info.SmbWord18);
    word("word20", "Word 20", info.SmbWord20);
    const Fact text32 = Text(info.SmbText32);
    const Fact text52 = Text(info.SmbText52);
    words.row("text32", "Text 32", text32.value, text32.value.is_null() ? "none" : text32.text)
        .row("text52", "Text 52", text52.value, text52.value.is_null() ? "none" : text52.text);
    report.print(context.out, context.json);
    return 0;
}

// The health tip the firmware gives, in words.
std::string TipText(int tip) {
    switch (tip) {
    case 0:
        return "none: the battery is in good health";
    case 1:
        return "mostly on AC: storage mode would slow the wear";
    case 2:
        return "worn: plan to replace the battery";
    case 3:
        return "worn out: replace the battery";
    default:
        return "tip " + std::to_string(tip) + ", which this tool does not know";
    }
}

int Health(Context& context) {
    using Celdor::CBatteryInformation;
    const bool driver = CBatteryInformation::GetFVDriverCapability() == 1;
    const Celdor::SmartBatteryInfo health = CBatteryInformation::GetSmartBatteryV2Info();
    const int present = CBatteryInformation().GetPreciseBatteryCount();
    auto known = [](int v) { return v < 0 ? Json() : Json(v); };
    Report report;
    report.row("driver_present", "Maker's driver", driver, driver ? "present" : "not available")
        .row("smart_battery_v2", "Smart battery V2", health.IsSupported == 1,
             health.IsSupported == 1 ? "supported" : "not supported")
        .row("battery_index", "Battery", present > 0 ? Json(0) : Json(),
             present == 0   ? "none present"
             : present == 1 ? "0"
                            : "0, the first of two: the firmware reports health for it alone")
        .row("health_level_percent", "Health level", known(health.HealthLevel),
             health.HealthLevel < 0 ? "unknown" : std::to_string(health.HealthLevel) + " %")
        .row("health_tip", "Health tip", known(health.HealthTip),
             health.HealthTip < 0
                 ? "unknown"
                 : std::to_string(health.HealthTip) + "  " + TipText(health.HealthTip))
        .detail("health_tip_text", health.HealthTip < 0 ? Json() : Json(TipText(health.HealthTip)))
        .row("predicted_life_span_months", "Predicted life span", known(health.PredictedLifeSpan),
             health.PredictedLifeSpan < 0 ? "unknown"
                                          : std::to_string(health.PredictedLifeSpan) + " months");
    report.print(context.out, context.json);
    return 0;
}

// One battery as `status` and `battery` list it.
void AddBatteryItem(Report& items, int index, const Record& info,
                    const std::vector<OsBattery>& windows, std::optional<int> limit,
                    std::optional<unsigned short> status);

} // namespace

std::vector<OsBattery> OsBatteries::Read() {
    std::vector<OsBattery> found;
    InitBatteryDriverHandle();
    for (int slot = 0; slot < BATTERY_MAX_NUMBER; ++slot) {
        const HANDLE handle = m_hBattery[slot];
        ULONG wait = 0;
        BATTERY_WAIT_STATUS query{};
        BATTERY_STATUS status{};
        BATTERY_INFORMATION information{};
        DWORD bytes = 0;
        if (handle == INVALID_HANDLE_VALUE ||
            !DeviceIoControl(handle, IOCTL_BATTERY_QUERY_TAG, &wait, sizeof wait, &query.BatteryTag,
                             sizeof query.BatteryTag, &bytes, nullptr) ||
            query.BatteryTag == BATTERY_TAG_INVALID) {
            continue;
        }
        const bool read = DeviceIoControl(handle, IOCTL_BATTERY_QUERY_STATUS, &query, sizeof query,
                                          &status, sizeof status, &bytes, nullptr) &&
                          GetBatteryInformationFromOS(information, slot) == 1;
        if (read) {
            found.push_back(OsBattery{status, information});
        }
    }
    ReleaseBatteryDriverHandle();
    return found;
}

namespace {

void AddBatteryItem(Report& items, int index, const Record& info,
                    const std::vector<OsBattery>& windows, std::optional<int> limit,
                    std::optional<unsigned short> status) {
    // Windows' view of the same pack, found by its charge.
    const OsBattery* os = nullptr;
    for (const OsBattery& candidate : windows) {
        const bool relative = candidate.information.Capabilities & BATTERY_CAPACITY_RELATIVE;
        if (!relative && info.RemainingCapacity != kNone &&
            candidate.status.Capacity / 10 == info.RemainingCapacity) {
            os = &candidate;
        }
    }
    const bool charging = info.ChargeStatus == 1;
    const bool discharging = info.ChargeStatus == 2 || info.ChargeStatus == 3;
    std::optional<double> watts;
    if (os && os->status.Rate != static_cast<LONG>(BATTERY_UNKNOWN_RATE) &&
        (charging || discharging)) {
        watts = (os->status.Rate < 0 ? -os->status.Rate : os->status.Rate) / 1000.0;
    }
    std::string level = "normal";
    if (os && (os->status.PowerState & BATTERY_CRITICAL)) {
        level = "critical";
    } else if (os && os->status.Capacity <= os->information.DefaultAlert1) {
        level = "low";
    }

    // Storage mode holds the pack at its limit: the time to full counts to the limit. -1 where
    // a time does not apply.
    long toFull = -1;
    long toEmpty = -1;
    int heldAt = -1;
    bool toLimit = false;
    bool aboveLimit = false;
    if (charging && limit && os && watts && *watts > 0 && info.FullChargeCapacity != kNone) {
        const double target = info.FullChargeCapacity * 10.0 * *limit / 100;
        const double missing = target - os->status.Capacity;
        toFull = missing > 0 ? static_cast<long>(missing * 60 / (*watts * 1000) + 0.999) : 0;
        toLimit = true;
    } else if (charging && !limit && info.TimeToFull != kNone) {
        toFull = info.TimeToFull;
    } else if (limit && info.ChargeStatus == 0 && info.ChargePercent != kNone) {
        // Storage mode charges up to its limit and never discharges on AC: a pack above the
        // limit stays where it is until it is used.
        aboveLimit = info.ChargePercent > *limit + 1;
        heldAt = aboveLimit ? -1 : *limit;
    }
    if (discharging && info.RemainingTime != kNone) {
        toEmpty = info.RemainingTime;
    }

    const bool knownCharge = info.ChargePercent != kNone;
    std::string text =
        knownCharge ? Gauge(info.ChargePercent) + " " + std::to_string(info.ChargePercent) + " %"
                    : "charge unknown";
    const bool knownStatus = info.ChargeStatus < 4;
    text += ", " + std::string(knownStatus ? kChargeStatus[info.ChargeStatus] : "state unknown");
    if (watts) {
        text += " at " + Fixed(*watts, 1, "W");
    }
    if (toFull >= 0) {
        text += (toLimit ? ", at " + std::to_string(*limit) + " % in " : ", full in ") +
                MinutesText(static_cast<unsigned>(toFull));
    }
    if (heldAt >= 0) {
        text += ", held at " + std::to_string(heldAt) + " % (storage mode)";
    }
    if (aboveLimit) {
        text += ", above the storage-mode limit of " + std::to_string(*limit) +
                " %: not charged until it is used below it";
    }
    if (toEmpty >= 0) {
        text += ", empty in " + MinutesText(static_cast<unsigned>(toEmpty));
    }
    if (level != "normal") {
        text += ", " + level;
    }
    if (status && *status != 1) {
        text += "; " + StatusText(*status);
    }
    auto optional = [](long value) { return value < 0 ? Json() : Json(value); };
    Report& item = items.item("Battery " + std::to_string(index), text);
    item.detail("index", index)
        .detail("charge_percent", Known(info.ChargePercent))
        .detail("charge_level", os ? Json(level) : Json())
        .detail("charge_status", knownStatus ? Json(kChargeStatus[info.ChargeStatus]) : Json())
        .detail("rate_w", watts ? Rounded(*watts, 1) : Json())
        .detail("time_to_full_min", optional(toFull))
        .detail("time_to_empty_min", optional(toEmpty))
        .detail("held_at_percent", optional(heldAt));
    if (status) {
        item.detail("status", *status == 0xFFFF ? Json() : Json(*status))
            .detail("status_text", StatusText(*status));
    }
}

} // namespace

void AddBatteryItems(Report& items, bool withStatus) {
    Celdor::CBatteryInformation batteries;
    const int present = batteries.GetPreciseBatteryCount();
    const int count = batteries.GetBatteryCount();
    const std::vector<OsBattery> windows = OsBatteries().Read();
    const std::optional<int> limit = StorageLimitPercent();
    for (int i = 0; present > 0 && i < count; ++i) {
        Record info;
        batteries.GetBatteryInformation(info, i);
        AddBatteryItem(items, i, info, windows, limit,
                       withStatus ? std::optional(batteries.GetBatteryStatus(i)) : std::nullopt);
    }
}

void AddBatteryCommands(Commands& commands) {
    CLI::App* battery =
        commands.add("battery", "The batteries present: charge, rate, time left or to full, status",
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
