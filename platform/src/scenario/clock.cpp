// The "clock" section: the virtual clock behind GetTickCount64, Sleep and the wall-clock time.
#include "section.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <limits>
#include <string>

namespace celdor::sim::scenario {

namespace {

// "YYYY-MM-DDThh:mm:ssZ", the one form scenario files use for a UTC time.
std::optional<std::int64_t> ParseUtc(std::string_view text) {
    using namespace std::chrono;
    static constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != kShape.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool digit = std::isdigit(static_cast<unsigned char>(text[i]));
        if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) {
            return std::nullopt;
        }
    }
    auto number = [&](std::size_t at, std::size_t len) {
        return std::stoi(std::string(text.substr(at, len)));
    };
    year_month_day date{year{number(0, 4)}, month{static_cast<unsigned>(number(5, 2))},
                        day{static_cast<unsigned>(number(8, 2))}};
    int h = number(11, 2), m = number(14, 2), s = number(17, 2);
    if (!date.ok() || h > 23 || m > 59 || s > 59) {
        return std::nullopt;
    }
    return sys_days{date}.time_since_epoch() / seconds{1} + h * 3600 + m * 60 + s;
}

std::string FormatUtc(std::int64_t epochSeconds) {
    using namespace std::chrono;
    sys_seconds time{seconds{epochSeconds}};
    auto dayStart = floor<days>(time);
    year_month_day date{dayStart};
    hh_mm_ss clock{time - dayStart};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

Change LoadClock(const Json& section, const std::string& where) {
    ExpectObject(section, where);
    CheckMembers(section, where, {"tick_ms", "boot_time", "utc_offset_minutes"});
    std::optional<std::uint64_t> tick;
    std::optional<std::int64_t> boot;
    std::optional<int> offset;
    if (auto* v = Find(section, "tick_ms")) {
        tick = ReadUnsigned(*v, Member(where, "tick_ms"), std::numeric_limits<std::int64_t>::max());
    }
    if (auto* v = Find(section, "boot_time")) {
        boot = ParseUtc(ReadString(*v, Member(where, "boot_time")));
        if (!boot) {
            Fail(Member(where, "boot_time"),
                 "expected a UTC time as \"YYYY-MM-DDThh:mm:ssZ\", got " + Shown(*v));
        }
    }
    if (auto* v = Find(section, "utc_offset_minutes")) {
        // Windows' time zones run from UTC-12:00 to UTC+14:00.
        offset = static_cast<int>(ReadSigned(*v, Member(where, "utc_offset_minutes"), -720, 840));
    }
    return [=](Notebook& nb) {
        Clock& clock = nb.clock();
        clock.tickMs = tick.value_or(clock.tickMs);
        clock.bootEpochSeconds = boot.value_or(clock.bootEpochSeconds);
        clock.utcOffsetMinutes = offset.value_or(clock.utcOffsetMinutes);
    };
}

std::optional<Json> SaveClock(Notebook& nb) {
    const Clock& clock = nb.clock();
    Json out = Json::object();
    out["tick_ms"] = clock.tickMs;
    out["boot_time"] = FormatUtc(clock.bootEpochSeconds);
    out["utc_offset_minutes"] = clock.utcOffsetMinutes;
    return out;
}

} // namespace

extern const Section kClock{"clock", LoadClock, SaveClock};

} // namespace celdor::sim::scenario
