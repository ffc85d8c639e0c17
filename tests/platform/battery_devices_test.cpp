// The battery devices as Windows presents them: enumerated through SetupAPI on the battery
// interface class, opened by interface path, answering the tag and information requests.
#include "sim_test.h"

#include <celdor_platform/win32.h>

#include <cstddef>
#include <cstring>

using namespace celdor::sim;

namespace {

const char16_t kFirst[] = u"\\\\?\\ACPI#PNP0C0A#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";
const char16_t kSecond[] = u"\\\\?\\acpi#pnp0c0a#2#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";

class BatteryDevicesTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        nb().batteries().add(kSecond, {.chemistry = "LiP", .designedCapacity = 45000});
        nb().batteries().add(kFirst, {.designedCapacity = 57000,
                                      .fullChargedCapacity = 51870,
                                      .defaultAlert1 = 2850,
                                      .defaultAlert2 = 1710,
                                      .cycleCount = 143});
    }
    static HANDLE Open(const char16_t* path, DWORD access = GENERIC_READ | GENERIC_WRITE) {
        return CreateFileW(path, access, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    static BOOL Tag(HANDLE battery, ULONG& tag, ULONG wait = 0) {
        DWORD returned = 0;
        tag = 0xAAAA;
        return DeviceIoControl(battery, IOCTL_BATTERY_QUERY_TAG, &wait, sizeof wait, &tag,
                               sizeof tag, &returned, nullptr);
    }
    static BOOL Information(HANDLE battery, ULONG tag, BATTERY_INFORMATION& info,
                            DWORD size = sizeof(BATTERY_INFORMATION)) {
        BATTERY_QUERY_INFORMATION query{tag, BatteryInformation, 0};
        DWORD returned = 0;
        return DeviceIoControl(battery, IOCTL_BATTERY_QUERY_INFORMATION, &query, sizeof query,
                               &info, size, &returned, nullptr);
    }
};

// A list is accounted until destroyed, once. (Enumerating the interfaces in their order, each
// detail sized before it is read, is what CBatteryDriver does in BatteryDriverTest.)
TEST_F(BatteryDevicesTest, DetailRequestsAreChecked) {
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVICE_BATTERY, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_EQ(nb().leaks().size(), 1u);
    EXPECT_NE(nb().leaks()[0].find("device information list"), std::string::npos);
    SP_DEVICE_INTERFACE_DATA data{sizeof data, {}, 0, 0};
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVICE_BATTERY, 0, &data));
    alignas(8) std::byte buffer[256] = {};
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(buffer);
    struct Case {
        HDEVINFO set;
        PSP_DEVICE_INTERFACE_DATA data;
        PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail;
        DWORD cbSize, size, error;
    };
    const Case cases[] = {
        {nullptr, &data, detail, 8, sizeof buffer, ERROR_INVALID_HANDLE},
        {set, nullptr, detail, 8, sizeof buffer, ERROR_INVALID_PARAMETER},
        {set, &data, nullptr, 8, 100, ERROR_INVALID_USER_BUFFER},
        {set, &data, detail, 0, sizeof buffer, ERROR_INVALID_USER_BUFFER},
        {set, &data, detail, 8, 20, ERROR_INSUFFICIENT_BUFFER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        detail->cbSize = c.cbSize;
        EXPECT_FALSE(
            SetupDiGetDeviceInterfaceDetailW(c.set, c.data, c.detail, c.size, nullptr, nullptr));
        EXPECT_EQ(GetLastError(), c.error);
    }
    data.cbSize = 8;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVICE_BATTERY, 0, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));
    EXPECT_EQ(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_DEVICEINTERFACE),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

// Opened as the library opens it (CREATE_ALWAYS, no sharing) by any number of callers.
TEST_F(BatteryDevicesTest, TagAndInformationOfTheBatteryThatIsIn) {
    HANDLE first = Open(kFirst);
    HANDLE again = Open(kFirst);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    ULONG tag = 0;
    ASSERT_TRUE(Tag(first, tag));
    EXPECT_NE(tag, ULONG(BATTERY_TAG_INVALID));
    BATTERY_INFORMATION info{};
    ASSERT_TRUE(Information(again, tag, info));
    EXPECT_EQ(info.Capabilities, DWORD(BATTERY_SYSTEM_BATTERY));
    EXPECT_EQ(std::memcmp(info.Chemistry, "LION", 4), 0);
    EXPECT_EQ(info.FullChargedCapacity, 51870u);
    EXPECT_EQ(info.DefaultAlert2, 1710u);
    EXPECT_EQ(info.CycleCount, 143u);

    EXPECT_FALSE(Information(first, tag, info, 20));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    CloseHandle(first);
    CloseHandle(again);

    HANDLE unreadable = Open(kFirst, 0);
    EXPECT_FALSE(Tag(unreadable, tag));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    CloseHandle(unreadable);
}

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
