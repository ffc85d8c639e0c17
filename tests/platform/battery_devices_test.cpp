// A battery device whose pack is taken out and put back, as the battery class reports it: the
// old tag goes stale, a tag query waits its time-out, and the pack comes back with a new tag.
#include "sim_test.h"

#include <celdor_platform/win32.h>

using namespace celdor::sim;

namespace {

const char16_t kFirst[] = u"\\\\?\\ACPI#PNP0C0A#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";
const char16_t kSecond[] = u"\\\\?\\acpi#pnp0c0a#2#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";

class BatteryDevicesTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        nb().batteries().add(kSecond, {.chemistry = "LiP", .designedCapacity = 45000});
        nb().batteries().add(kFirst, {.designedCapacity = 57000});
    }
    static HANDLE Open(const char16_t* path) {
        return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    static BOOL Tag(HANDLE battery, ULONG& tag, ULONG wait = 0) {
        DWORD returned = 0;
        tag = 0xAAAA;
        return DeviceIoControl(battery, IOCTL_BATTERY_QUERY_TAG, &wait, sizeof wait, &tag,
                               sizeof tag, &returned, nullptr);
    }
    static BOOL Information(HANDLE battery, ULONG tag, BATTERY_INFORMATION& info) {
        BATTERY_QUERY_INFORMATION query{tag, BatteryInformation, 0};
        DWORD returned = 0;
        return DeviceIoControl(battery, IOCTL_BATTERY_QUERY_INFORMATION, &query, sizeof query,
                               &info, sizeof info, &returned, nullptr);
    }
};

// Taking the pack out makes its tag stale; putting it back gives a new one. With no pack in, a
// tag query waits its time-out on the clock and fails.
TEST_F(BatteryDevicesTest, ARemovedBatterysTagChanges) {
    HANDLE battery = Open(kSecond);
    ULONG before = 0;
    ASSERT_TRUE(Tag(battery, before));
    nb().batteries().eject(0);
    BATTERY_INFORMATION info{};
    EXPECT_FALSE(Information(battery, before, info));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    ULONG tag = 0;
    const std::uint64_t start = nb().clock().tickMs;
    EXPECT_FALSE(Tag(battery, tag, 300));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(tag, ULONG(BATTERY_TAG_INVALID));
    EXPECT_EQ(nb().clock().tickMs, start + 300);

    nb().batteries().insert(0);
    ASSERT_TRUE(Tag(battery, tag));
    EXPECT_NE(tag, before);
    EXPECT_FALSE(Information(battery, before, info));
    EXPECT_TRUE(Information(battery, tag, info));
    CloseHandle(battery);
}

} // namespace
