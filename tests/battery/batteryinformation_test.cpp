// Battery information on the simulated notebook: the record merged from the battery class and the
// maker's smart-battery data of the same packs, the two numberings matched, the packs moving on
// the virtual clock, and the health values.
#include "battery/handles.h"
#include "log_file.h"

#include <celdor/batteryinformation.h>

#include <gmock/gmock.h>

#include <cstring>
#include <string>

using namespace celdor::sim;
using Celdor::CBatteryInformation;
using Record = Celdor::_BATTERY_INFORMATION_EX;
using ::testing::ElementsAre;
using ::testing::EndsWith;
namespace fw = celdor::models::firmware;

namespace {

const char16_t kBay1[] = u"\\\\?\\acpi#pnp0c0a#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";
const char16_t kBay2[] = u"\\\\?\\acpi#pnp0c0a#2#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";
constexpr std::uint16_t kNone = 0xFFFF;

// A pack half charged on AC, at 90% health.
BatteryPack Pack(const char* serial, std::uint32_t design = 57000) {
    BatteryPack pack{.designedCapacity = design,
                     .fullChargedCapacity = design / 10 * 9,
                     .cycleCount = 143,
                     .remainingCapacity = design / 20 * 9,
                     .chargeRate = 20000,
                     .dischargeRate = 10000,
                     .voltage = 12400,
                     .temperature = 3031,
                     .manufactureYear = 2021,
                     .manufactureMonth = 3,
                     .manufactureDay = 15,
                     .manufacturer = "Quillcell",
                     .firmwareWords = {0x1234, 0x5678, 0x9ABC, 0xDEF0},
                     .smbWord06 = 120,
                     .smbWord12 = -200,
                     .smbText32 = "QC57W"};
    std::strncpy(pack.serialNumber, serial, 20);
    return pack;
}

} // namespace

// Exposes the caches and refreshes.
namespace Celdor {
class BatteryInformationInspector : public CBatteryInformation {
public:
    using CBatteryInformation::m_osInfo;
    using CBatteryInformation::m_smbInfo;
    using CBatteryInformation::RetrieveAndCacheBatteryInformationFromOS;
    using CBatteryInformation::RetrieveAndCacheBatteryInformationFromSMB;
    using CBatteryInformation::s_uGSBIMeetSpec;
};
} // namespace Celdor

namespace {

using Probe = Celdor::BatteryInformationInspector;

class BatteryInformationTest : public LoggingTest {
protected:
    // The bays in enumeration order; the n-th holds the firmware's pack n.
    void Machine(std::vector<std::pair<const char16_t*, BatteryPack>> bays) {
        nb().fervo().present = true;
        nb().fervo().configure({.batteries = static_cast<std::uint32_t>(bays.size())});
        for (auto& [path, pack] : bays) {
            nb().batteries().add(path, pack);
        }
    }
    static Record Info(int index = 0, Record info = {}) {
        CBatteryInformation batteries;
        batteries.GetBatteryCount();
        EXPECT_EQ(batteries.GetBatteryInformation(info, index), 1);
        return info;
    }
    static std::string Utf8(const Celdor::CString& text) { return text.ToUtf8(); }
};

// The values the portable suite does not see: those of a charging pack, the smart-battery
// words and texts, a name too long for Windows; a value the caller set and no source has (the
// run time on AC) stays the caller's.
TEST_F(BatteryInformationTest, OneBatteryAgreesWithItsPack) {
    BatteryPack pack = Pack("QC-0001");
    std::strcpy(pack.manufacturer, "QuillcellPwr"); // 12 bytes: too long for Windows' 10
    Machine({{kBay1, pack}});
    Record preset;
    preset.RemainingTime = 77;
    const Record info = Info(0, preset);
    EXPECT_EQ(info.Temperature, 3031);
    EXPECT_EQ(info.ChargeStatus, 1);
    EXPECT_EQ(info.TimeToFull, 77); // 25650 mWh missing at 20000 mW
    EXPECT_EQ(info.RemainingTime, 77);
    EXPECT_EQ(info.SmbWord06, 120);
    EXPECT_EQ(info.SmbSignedWord12, -200);
    EXPECT_EQ(Utf8(info.ManufacturerName), "QuillcellPwr");
    EXPECT_EQ(Utf8(info.Firmware), "1234-5678-9ABC-DEF0");
    EXPECT_EQ(Utf8(info.SmbText32), "QC57W");
    EXPECT_TRUE(info.SmbText52.IsEmpty());
}

// What the system reports replaces the computed percentage of one battery and gives the run
// time, shared by two in proportion to their remaining energy.
TEST_F(BatteryInformationTest, SystemPowerStatusGivesChargeAndRunTime) {
    BatteryPack a = Pack("A", 66000);
    a.fullChargedCapacity = 60000;
    a.remainingCapacity = 30000;
    BatteryPack b = Pack("B", 20000);
    b.remainingCapacity = 10000;
    BatteryPack low = Pack("L");
    low.remainingCapacity = 1000;
    BatteryPack high = Pack("H");
    high.remainingCapacity = 48000;
    struct Case {
        std::vector<std::pair<const char16_t*, BatteryPack>> bays;
        DWORD seconds;
        std::uint16_t charge0;
        std::uint16_t minutes[2];
    };
    const Case cases[] = {{{{kBay1, a}}, 7200, 51, {120, 0}},
                          {{{kBay1, a}, {kBay2, b}}, 7200, 50, {90, 30}},
                          // 4410 s × 1/49 is 90 s exactly: 2 minutes once rounded, not 1.
                          {{{kBay1, low}, {kBay2, high}}, 4410, 2, {2, 71}}};
    for (const Case& c : cases) {
        nb().reset();
        Machine(c.bays);
        nb().batteries().systemStatusFromPacks = false;
        nb().powerStatus() = SYSTEM_POWER_STATUS{0, 0, 51, 0, c.seconds, 0xFFFFFFFF};
        EXPECT_EQ(Info(0).ChargePercent, c.charge0);
        EXPECT_EQ(Info(0).RemainingTime, c.minutes[0]);
        if (c.bays.size() == 2) {
            EXPECT_EQ(Info(1).RemainingTime, c.minutes[1]);
        }
    }
}

// A battery that counts in percent of its design capacity gives no capacities or time to full
// of its own: the smart-battery block's capacities stand, the percentage is still computed.
TEST_F(BatteryInformationTest, RelativeCapacitiesLeaveTheSmartBatteryValues) {
    BatteryPack pack = Pack("R");
    pack.relativeCapacity = true;
    Machine({{kBay1, pack}});
    nb().batteries().systemStatusFromPacks = false;
    Probe probe;
    probe.GetBatteryCount();
    ASSERT_EQ(probe.RetrieveAndCacheBatteryInformationFromOS(), 1);
    EXPECT_EQ(probe.m_osInfo[0].DesignCapacity, kNone);
    EXPECT_EQ(probe.m_osInfo[0].TimeToFull, kNone);
    EXPECT_EQ(probe.m_osInfo[0].ChargePercent, 50);
    EXPECT_EQ(Info().DesignCapacity, 5700);
}

// The pack lives on the clock: it charges on AC up to full (or the storage limit), runs down on
// battery, and the record follows.
TEST_F(BatteryInformationTest, PacksChargeAndRunDownOverTime) {
    Machine({{kBay1, Pack("T")}});
    const Record before = Info();
    nb().advanceClock(30 * 60'000);
    const Record charged = Info();
    EXPECT_EQ(charged.RemainingCapacity, 2565 + 1000); // 20000 mW for half an hour
    EXPECT_LT(charged.TimeToFull, before.TimeToFull);
    nb().fervo().firmware().set(fw::Mode::Storage, true); // holds at 60%, above it already
    nb().advanceClock(4 * 3'600'000);
    const Record held = Info();
    EXPECT_EQ(held.RemainingCapacity, 3565);
    EXPECT_EQ(held.ChargeStatus, 0);
    EXPECT_EQ(held.TimeToFull, kNone);
    nb().powerStatus().ACLineStatus = 0;
    nb().advanceClock(60 * 60'000);
    const Record running = Info();
    EXPECT_EQ(running.ChargeStatus, 2);
    EXPECT_EQ(running.RemainingCapacity, 2565);
    EXPECT_EQ(running.RemainingTime, 153); // 25650 mWh at 10000 mW
}

// A reading younger than a second is used again without a request.
TEST_F(BatteryInformationTest, ReadingsAreReusedForOneSecond) {
    Machine({{kBay1, Pack("W")}});
    Probe probe;
    probe.GetBatteryCount();
    const std::uint64_t steps[] = {0, 1000, 1};
    const bool asks[] = {true, false, true};
    for (int i = 0; i < 3; ++i) {
        nb().clock().tickMs += steps[i];
        nb().journal().clear();
        EXPECT_EQ(probe.RetrieveAndCacheBatteryInformationFromOS(), 1);
        EXPECT_EQ(nb().journal().count("DeviceIoControl") > 0, asks[i]) << i;
    }
}

// The first battery tells how the driver numbers its selector.
TEST_F(BatteryInformationTest, SmartBatterySelectorNumberingIsDetected) {
    struct Case {
        std::uint32_t firstSelector;
        int bays;
        bool inserted;
        int result;
        std::uint32_t numbering;
        std::vector<std::uint8_t> selectors;
    };
    const Case cases[] = {
        {0, 1, true, 1, 1, {0}}, {1, 2, true, 1, 2, {0, 1, 2}}, {0, 1, false, 0, 0, {0, 1}}};
    for (const Case& c : cases) {
        nb().reset();
        std::vector<std::pair<const char16_t*, BatteryPack>> bays = {{kBay1, Pack("S1")},
                                                                     {kBay2, Pack("S2")}};
        bays.resize(c.bays);
        Machine(bays);
        nb().fervo().firmware().setSelectorBase(c.firstSelector);
        if (!c.inserted) {
            nb().batteries().eject(0);
        }
        Probe probe;
        probe.GetBatteryCount();
        nb().fervo().clearRequests();
        EXPECT_EQ(probe.RetrieveAndCacheBatteryInformationFromSMB(), c.result);
        EXPECT_EQ(Probe::s_uGSBIMeetSpec, c.numbering);
        std::vector<std::uint8_t> sent;
        for (const FervoRequest& request : nb().fervo().requests()) {
            sent.push_back(request.input.at(0));
        }
        EXPECT_EQ(sent, c.selectors);
    }
}

// Selector 1 is read over what selector 0 left: a short answer keeps the rest of the first.
TEST_F(BatteryInformationTest, TheSecondSelectorReadsOverTheFirst) {
    Machine({{kBay1, Pack("S")}});
    std::vector<std::uint8_t> first(0x53, 0), second(24, 0);
    std::memcpy(&first[40], "Kept", 4); // the manufacturer's name
    second[22] = 'L';                   // the chemistry: battery data at last
    nb().fervo().script(fw::kSmartBatteryRead, 0, FervoReply::Bytes(first));
    nb().fervo().script(fw::kSmartBatteryRead, 1, FervoReply::Bytes(second));
    Probe probe;
    probe.GetBatteryCount();
    ASSERT_EQ(probe.RetrieveAndCacheBatteryInformationFromSMB(), 1);
    EXPECT_EQ(Probe::s_uGSBIMeetSpec, 2u);
    EXPECT_EQ(Utf8(probe.m_smbInfo[0].ManufacturerName), "Kept");
}

// On two batteries the OS slot that belongs to each driver battery is found by the first field
// that tells them apart, or, without smart-battery data, by the firmware's cycle counts. The
// serial number, which only Windows reports, shows which slot was taken.
TEST_F(BatteryInformationTest, TwoNumberingsAreMatched) {
    BatteryPack a = Pack("A-small", 24000);
    a.cycleCount = 35;
    BatteryPack b = Pack("B-large", 57000);
    b.cycleCount = 120;
    BatteryPack twin = Pack("B-twin", 24000);
    twin.cycleCount = 35;
    struct Case {
        const char* name;
        const char16_t* first; // the bay of the firmware's pack 0
        BatteryPack second;
        bool smartReadFails;
        const char* serial0;
    };
    const Case cases[] = {{"straight", kBay1, b, false, "A-small"},
                          {"crossed", kBay2, b, false, "A-small"},
                          {"crossed, cycle counts", kBay2, b, true, "A-small"},
                          {"indistinguishable", kBay2, twin, false, "B-twin"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        nb().reset();
        Machine({{c.first, a}, {c.first == kBay1 ? kBay2 : kBay1, c.second}});
        if (c.smartReadFails) {
            nb().fervo().firmware().configure({.batteries = 2,
                                               .refusedCode = fw::kSmartBatteryRead,
                                               .refusedCommand = fw::kAnyCommand});
        }
        const Record info = Info(0);
        EXPECT_EQ(Utf8(info.SerialNumber), c.serial0);
        EXPECT_EQ(info.CycleCount, 35);
    }
}

// Cycle counts come from the firmware block where Windows has none; 0 there means none.
TEST_F(BatteryInformationTest, FirmwareBlockFillsTheCycleCount) {
    BatteryPack none = Pack("N");
    none.cycleCount = 0;
    BatteryPack some = Pack("S", 24000);
    some.cycleCount = 42;
    some.windowsLacks = fw::kLacksCycleCount;
    Machine({{kBay1, none}, {kBay2, some}});
    EXPECT_EQ(Info(0).CycleCount, kNone);
    EXPECT_EQ(Info(1).CycleCount, 42);
}

TEST_F(BatteryInformationTest, CountsPresenceAndCoarseStatus) {
    Machine({{kBay1, Pack("C")}});
    CBatteryInformation one;
    EXPECT_EQ(one.GetBatteryCount(), 1);
    const std::pair<std::uint32_t, unsigned short> words[] = {
        {0x188, 2}, {0x108, 3}, {0x100, 4}, {0, 1}};
    for (auto [word, status] : words) {
        nb().fervo().script(fw::kPowerCommand, 0xFF, FervoReply::Word(word));
        EXPECT_EQ(one.GetBatteryStatus(0), status) << word;
    }
    nb().fervo().script(fw::kPowerCommand, 0xFF, FervoReply::Fail(ERROR_GEN_FAILURE));
    EXPECT_EQ(one.GetBatteryStatus(0), 0xFFFF);
    EXPECT_EQ(one.GetBatteryStatus(2), 5);
}

// A lock of the battery handles that cannot be taken (the system short of resources) is logged,
// never thrown: presence reads as absent, the OS refresh fails, a host's direct query gives 0.
TEST_F(BatteryInformationTest, AFailedHandleLockIsLogged) {
    logfile::SetWriteLevel(0x400);
    Machine({{kBay1, Pack("L")}});
    Probe probe;
    Celdor::CBatteryDriver driver;
    BATTERY_INFORMATION read{};
    Celdor::BatteryHandles::failingLocks = 3;
    EXPECT_EQ(probe.IsBatteryExist(0), 0);
    EXPECT_EQ(probe.RetrieveAndCacheBatteryInformationFromOS(), 0);
    EXPECT_EQ(driver.GetBatteryInformationFromOS(read, 0), 0);
    EXPECT_THAT(
        logfile::Messages(),
        ElementsAre(EndsWith("CBatteryInformation::IsBatteryExist throws an exception"),
                    EndsWith("CBatteryInformation::RetrieveAndCacheBatteryInformationFromOS "
                             "throws an exception")));
    EXPECT_EQ(probe.IsBatteryExist(0), 1);
}

// Replies of the driver decoded, and failures logged word for word.
TEST_F(BatteryInformationTest, HealthRepliesAndMessages) {
    logfile::SetWriteLevel(0x400);
    nb().fervo().present = true;
    struct Case {
        std::uint32_t command;
        std::optional<std::uint32_t> reply; // none: the request fails
        int result;
        const char* logged;
    };
    const Case cases[] = {
        {0x23, 3, 1, nullptr},
        {0x23, 0x83, 0, nullptr},
        {0x23, 2, 0, "BTMC_GET_CAP2 returns failed"},
        {0x23, std::nullopt, 0, "call BTMC_GET_CAP2 DeviceIoControl failed"},
        {0x21, 0x151, 0x15, nullptr},
        {0x41, 0xFFFFFFF1, 0x7FFFFFF, nullptr},
        {0x31, 0x0C, -1, "BTMC_GET_STATUS3 returns failed, error code: 12"},
        {0x21, std::nullopt, -1, "call BTMC_GET_STATUS2 DeviceIoControl failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        std::filesystem::remove(logfile::HostPath());
        nb().fervo().script(fw::kBtmc, static_cast<std::uint8_t>(c.command),
                            c.reply ? FervoReply::Word(*c.reply)
                                    : FervoReply::Fail(ERROR_GEN_FAILURE));
        const int result = c.command == 0x23   ? CBatteryInformation::IsSupportSmartBatteryV2()
                           : c.command == 0x21 ? CBatteryInformation::GetBatteryHealthLevel()
                           : c.command == 0x31 ? CBatteryInformation::GetBatteryHealthTip()
                                               : CBatteryInformation::GetBatteryPredictedLifeSpan();
        EXPECT_EQ(result, c.result);
        const auto messages = logfile::Messages();
        if (c.logged) {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_THAT(messages[0], ::testing::EndsWith(c.logged));
        } else {
            EXPECT_TRUE(messages.empty());
        }
    }
}

// The pack's health values come through, each on its own request.
TEST_F(BatteryInformationTest, HealthValuesOfThePack) {
    BatteryPack worn = Pack("H");
    worn.healthV2 = true;
    worn.healthLevel = 70;
    worn.healthTip = 2;
    worn.predictedLifeSpan = 14;
    Machine({{kBay1, worn}});
    const Celdor::SmartBatteryInfo health = CBatteryInformation::GetSmartBatteryV2Info();
    EXPECT_EQ(health.IsSupported, 1);
    EXPECT_EQ(health.HealthLevel, 70);
    EXPECT_EQ(health.HealthTip, 2);
    EXPECT_EQ(health.PredictedLifeSpan, 14);
    EXPECT_EQ(CBatteryInformation::GetFVDriverCapability(), 1);
    EXPECT_EQ(nb().fervo().openHandles(), 0);
}

} // namespace
