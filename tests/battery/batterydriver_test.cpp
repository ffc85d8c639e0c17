// Battery device access: which batteries are found and in what order, the process-wide
// reference count that keeps their handles open, the Windows battery information, and the
// driver's interface version.
#include "log_file.h"
#include "sim_test.h"

#include <celdor/batterydriver.h>

#include <gmock/gmock.h>

#include <list>
#include <vector>

using celdor::sim::Fault;
using celdor::sim::FervoReply;
using celdor::sim::HandleKind;

namespace {

const char16_t kFirst[] = u"\\\\?\\acpi#pnp0c0a#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";
const char16_t kSecond[] = u"\\\\?\\acpi#pnp0c0a#2#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";

// The protected state, for the tests to see.
class Driver : public Celdor::CBatteryDriver {
public:
    int Count() const { return m_nBatteryCount; }
    HANDLE Handle(int slot) const { return m_hBattery[slot]; }
    static int References() {
        std::lock_guard lock(s_mutexHandle);
        return s_nHandleRefCount;
    }
};

class BatteryDriverTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        ASSERT_EQ(Driver::References(), 0);
    }
    void TearDown() override {
        EXPECT_EQ(Driver::References(), 0);
        SimTest::TearDown();
    }
    // Bays in enumeration order, each with a pack whose design capacity tells them apart.
    static void Bays(const std::vector<const char16_t*>& paths) {
        DWORD capacity = 40000;
        for (const char16_t* path : paths) {
            nb().batteries().add(path, {.designedCapacity = capacity += 1000});
        }
    }
    // The handle the library opened for a path.
    static std::uint64_t OpenedFor(const char16_t* path) {
        for (const auto& call : nb().journal().calls("CreateFileW")) {
            if (call.target == celdor::sim::Utf16ToUtf8(path)) {
                return call.handle;
            }
        }
        return 0;
    }
    static std::uint64_t Id(HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }
};

// Slot 0 holds the battery with the smaller interface path, whatever the enumeration order;
// batteries are opened with CREATE_ALWAYS and no sharing. A slot without a battery is not
// asked.
TEST_F(BatteryDriverTest, BatteriesAreFoundAndOrderedByPath) {
    struct Case {
        std::vector<const char16_t*> bays;
        const char16_t* slot1;
        DWORD capacity0;
    };
    const Case cases[] = {{{kFirst}, nullptr, 41000}, {{kSecond, kFirst}, kSecond, 42000}};
    for (const Case& c : cases) {
        nb().reset();
        Bays(c.bays);
        Driver driver;
        driver.InitBatteryDriverHandle();
        EXPECT_EQ(driver.Count(), int(c.bays.size()));
        EXPECT_EQ(Id(driver.Handle(0)), OpenedFor(kFirst));
        EXPECT_EQ(Id(driver.Handle(1)), c.slot1 ? OpenedFor(c.slot1) : Id(INVALID_HANDLE_VALUE));
        const auto open = nb().journal().calls("CreateFileW").at(0);
        EXPECT_EQ(open.access, 0xC0000000u);
        EXPECT_EQ(open.share, 0u);
        EXPECT_EQ(open.disposition, DWORD(CREATE_ALWAYS));
        BATTERY_INFORMATION info{};
        EXPECT_EQ(driver.GetBatteryInformationFromOS(info, 0), 1);
        EXPECT_EQ(info.DesignedCapacity, c.capacity0);
        nb().journal().clear();
        for (int index : {2, -1}) {
            EXPECT_EQ(driver.GetBatteryInformationFromOS(info, index), 0) << index;
        }
        EXPECT_EQ(driver.GetBatteryInformationFromOS(info, 1), c.slot1 ? 1 : 0);
        EXPECT_EQ(nb().journal().count("DeviceIoControl"), c.slot1 ? 2u : 0u);
        driver.ReleaseBatteryDriverHandle();
    }
}

// A slot that cannot be read is skipped, not the end of the list; one whose open fails still
// counts. Either way the last error is cleared.
TEST_F(BatteryDriverTest, SlotsThatFailAreSkippedOrLeftEmpty) {
    Bays({kFirst, kSecond});
    nb().faults().inject("SetupDiEnumDeviceInterfaces", Fault::Once(ERROR_GEN_FAILURE));
    Driver skipped;
    skipped.GetBatteryDriverHandle();
    EXPECT_EQ(skipped.Count(), 2);
    EXPECT_EQ(skipped.Handle(0), INVALID_HANDLE_VALUE);
    EXPECT_NE(skipped.Handle(1), INVALID_HANDLE_VALUE);

    nb().faults().inject("CreateFileW", Fault::Once(ERROR_ACCESS_DENIED, "#2#"));
    Driver unopened;
    unopened.GetBatteryDriverHandle();
    EXPECT_EQ(unopened.Count(), 2);
    EXPECT_NE(unopened.Handle(0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(unopened.Handle(1), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u);
    BATTERY_INFORMATION info{};
    EXPECT_EQ(unopened.GetBatteryInformationFromOS(info, 1), 0);
}

// The handles stay open while a reference is outstanding; the last release, or the destruction
// of the object that took the references, closes them.
TEST_F(BatteryDriverTest, ReferencesKeepTheHandlesOpen) {
    Bays({kFirst});
    {
        Driver driver;
        driver.InitBatteryDriverHandle();
        driver.InitBatteryDriverHandle();
        driver.ReleaseBatteryDriverHandle();
        EXPECT_NE(driver.Handle(0), INVALID_HANDLE_VALUE);
        EXPECT_EQ(nb().openCount(HandleKind::Device), 1);
        driver.ReleaseBatteryDriverHandle();
        EXPECT_EQ(driver.Handle(0), INVALID_HANDLE_VALUE);
        EXPECT_EQ(nb().openCount(HandleKind::Device), 0);

        driver.InitBatteryDriverHandle();
        EXPECT_EQ(Driver::References(), 1);
    }
    EXPECT_EQ(nb().openCount(HandleKind::Device), 0);

    // Only the first reference of the process opens handles: a query of another object then
    // finds none. A query of its own opens and closes them for its duration.
    Driver holder;
    holder.InitBatteryDriverHandle();
    Driver other;
    BATTERY_INFORMATION info{};
    EXPECT_EQ(other.GetBatteryInformationFromOS(info, 0), 0);
    holder.ReleaseBatteryDriverHandle();
    nb().journal().clear();
    EXPECT_EQ(other.GetBatteryInformationFromOS(info, 0), 1);
    EXPECT_EQ(nb().journal().count("CloseHandle"), 1u);
}

// However many objects keep handles of their own at once, the next object to take the first
// reference still opens its own and finds the battery; each closes its own when destroyed.
TEST_F(BatteryDriverTest, AnyNumberOfObjectsKeepTheirHandles) {
    Bays({kFirst});
    std::list<Driver> keepers(100);
    for (Driver& keeper : keepers) {
        Driver other;
        keeper.InitBatteryDriverHandle(); // the first reference: opens the keeper's handles
        other.InitBatteryDriverHandle();
        keeper.ReleaseBatteryDriverHandle();
        other.ReleaseBatteryDriverHandle(); // the last: closes what the other opened, nothing
    }
    EXPECT_EQ(nb().openCount(HandleKind::Device), 100);
    Driver late;
    BATTERY_INFORMATION info{};
    EXPECT_EQ(late.GetBatteryInformationFromOS(info, 0), 1);
    keepers.clear();
    EXPECT_EQ(nb().openCount(HandleKind::Device), 0);
}

// A copy uses its source's handles but neither keeps nor closes them.
TEST_F(BatteryDriverTest, ACopyBorrowsTheHandles) {
    Bays({kFirst});
    Driver source;
    source.InitBatteryDriverHandle();
    {
        Driver copy(source);
        EXPECT_EQ(copy.Handle(0), source.Handle(0));
        BATTERY_INFORMATION info{};
        EXPECT_EQ(copy.GetBatteryInformationFromOS(info, 0), 1);
    }
    EXPECT_EQ(nb().openCount(HandleKind::Device), 1);
    Driver assigned;
    assigned = source;
    EXPECT_EQ(assigned.Handle(0), source.Handle(0));
    source.ReleaseBatteryDriverHandle();
}

TEST_F(BatteryDriverTest, InterfaceVersion) {
    constexpr DWORD kSpecVersion = 0x8310214C;
    std::filesystem::create_directories(logfile::HostPath().parent_path());
    logfile::SetWriteLevel(0x400);
    nb().fervo().present = true;
    nb().fervo().configure({.specVersion = 184});
    EXPECT_EQ(Celdor::CBatteryDriver::GetFvSpecVersion(), 184);
    const auto request = nb().fervo().requests().at(0);
    EXPECT_EQ(request.code, kSpecVersion);
    EXPECT_EQ(request.input, (std::vector<std::uint8_t>{0x11, 0, 0, 0}));
    nb().fervo().script(kSpecVersion, std::nullopt, FervoReply::Word(0x0000000C));
    EXPECT_EQ(Celdor::CBatteryDriver::GetFvSpecVersion(), -1);
    nb().fervo().script(kSpecVersion, std::nullopt, FervoReply::Fail(ERROR_BUSY));
    EXPECT_EQ(Celdor::CBatteryDriver::GetFvSpecVersion(), -1);
    const auto lines = logfile::Messages();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_THAT(lines[0],
                ::testing::EndsWith("GetFvSpecVersion output returned failed, error code: 6"));
    EXPECT_THAT(lines[1],
                ::testing::EndsWith("GetFvSpecVersion DeviceIoControl failed, last error: 170"));
}

} // namespace
