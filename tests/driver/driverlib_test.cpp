// The driver channel against the simulated control device: when the device is opened, with
// which arguments, and that each object closes exactly the handle it opened.
#include "sim_test.h"

#include "driver/controlcodes.h"
#include "driver/driverlib.h"

#include <gmock/gmock.h>

#include <optional>

using Celdor::CDriverLib;
using Celdor::IsFervoDriverPresent;
using celdor::sim::Call;
using celdor::sim::Fault;
using celdor::sim::FervoReply;
using ::testing::ElementsAre;

namespace {

class DriverTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        nb().fervo().present = true;
        nb().fervo().firmware().setAdapterState(3); // status word 0x00018000
    }

    static std::vector<std::string> Calls() { return nb().journal().functions(); }

    // Opened for reading and writing, shared both ways, as an existing device.
    static void ExpectDeviceOpen(const Call& open) {
        EXPECT_EQ(open.target, "\\\\.\\FervoDrv");
        EXPECT_EQ(open.access, 0xC0000000u);
        EXPECT_EQ(open.share, 3u);
        EXPECT_EQ(open.disposition, DWORD(OPEN_EXISTING));
        EXPECT_EQ(open.flags, DWORD(FILE_ATTRIBUTE_NORMAL));
    }

    static int PowerStatus(CDriverLib& driver, DWORD& status) {
        BYTE command = Celdor::POWER_GET_STATUS;
        return driver.IoControl(Celdor::IOCTL_POWER_COMMAND, &command, 1, &status, 4);
    }
};

// Two requests, one open; destruction closes exactly the handle that was opened.
TEST_F(DriverTest, OneOpenServesEveryRequestOfAnObject) {
    {
        CDriverLib driver;
        DWORD status = 0;
        EXPECT_EQ(PowerStatus(driver, status), 1);
        EXPECT_EQ(status, 0x00018000u);
        EXPECT_EQ(PowerStatus(driver, status), 1);
    }
    ASSERT_THAT(Calls(),
                ElementsAre("CreateFileW", "DeviceIoControl", "DeviceIoControl", "CloseHandle"));
    const auto calls = nb().journal().calls();
    ExpectDeviceOpen(calls[0]);
    for (const Call& call : calls) {
        EXPECT_EQ(call.handle, calls[0].handle) << call.function;
    }
    for (const Call& request : {calls[1], calls[2]}) {
        EXPECT_EQ(request.code, 0x831020F8u);
        EXPECT_EQ(request.input, std::vector<std::uint8_t>{0xFF});
        EXPECT_EQ(request.outSize, 4u);
    }
}

// Every request of an object tries the open again until it succeeds; a device that cannot be
// opened is neither asked nor closed, and the open's error is left for the caller.
TEST_F(DriverTest, FailedOpenIsRetriedByTheNextRequest) {
    nb().fervo().present = false;
    {
        CDriverLib driver;
        DWORD status = 0;
        EXPECT_EQ(PowerStatus(driver, status), 0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
        nb().fervo().present = true;
        nb().fervo().openError = ERROR_ACCESS_DENIED;
        EXPECT_EQ(PowerStatus(driver, status), 0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
        nb().fervo().openError = 0;
        EXPECT_EQ(PowerStatus(driver, status), 1);
        EXPECT_EQ(status, 0x00018000u);
    }
    EXPECT_THAT(Calls(), ElementsAre("CreateFileW", "CreateFileW", "CreateFileW", "DeviceIoControl",
                                     "CloseHandle"));
}

// A refused request keeps the handle for the next one; a short answer leaves the rest of the
// caller's buffer as it was. A device that goes away fails the requests on its open handle,
// which is not opened again.
TEST_F(DriverTest, FailedRequestKeepsTheHandle) {
    nb().fervo().script(Celdor::IOCTL_POWER_COMMAND, std::nullopt,
                        FervoReply::Fail(ERROR_GEN_FAILURE));
    nb().fervo().script(Celdor::IOCTL_POWER_COMMAND, std::nullopt, FervoReply::Bytes({0x01}));
    {
        CDriverLib driver;
        DWORD status = 0;
        EXPECT_EQ(PowerStatus(driver, status), 0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_GEN_FAILURE));
        status = 0xAAAAAAAA;
        EXPECT_EQ(PowerStatus(driver, status), 1);
        EXPECT_EQ(status, 0xAAAAAA01u);
        nb().fervo().present = false;
        EXPECT_EQ(PowerStatus(driver, status), 0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVICE_NOT_CONNECTED));
    }
    EXPECT_THAT(Calls(), ElementsAre("CreateFileW", "DeviceIoControl", "DeviceIoControl",
                                     "DeviceIoControl", "CloseHandle"));
}

TEST_F(DriverTest, PresenceProbeOpensAndClosesWithoutAsking) {
    EXPECT_EQ(IsFervoDriverPresent(), 1);
    ASSERT_THAT(Calls(), ElementsAre("CreateFileW", "CloseHandle"));
    ExpectDeviceOpen(nb().journal().calls("CreateFileW").at(0));

    nb().faults().inject("CreateFileW", Fault::Once(ERROR_ACCESS_DENIED, "FervoDrv"));
    EXPECT_EQ(IsFervoDriverPresent(), 0);
    nb().fervo().present = false;
    EXPECT_EQ(IsFervoDriverPresent(), 0);
}

} // namespace
