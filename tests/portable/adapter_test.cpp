// The adapter queries on a machine without the maker's driver, where the driver-backed answers
// fall back and AC presence still comes from the operating system.
#include <gtest/gtest.h>

#include "diagnostic_log.h"

namespace {

using Celdor::CAdapter;

// Opens the maker's control device the way any client does. Skips the test when it is there.
void RequireNoDriver() {
    HANDLE device = CreateFileW(WTEXT("\\\\.\\FervoDrv"), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device != INVALID_HANDLE_VALUE) {
        CloseHandle(device);
        GTEST_SKIP() << "the maker's driver is present on this machine";
    }
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST(Adapter, WithoutTheDriverThereIsNoStateAndNoDetection) {
    ASSERT_NO_FATAL_FAILURE(RequireNoDriver());
    if (IsSkipped()) {
        return;
    }
    portable::DiagnosticLog log;
    const bool logging = log.Arrange();
    if (logging) {
        log.SetLevel(0x700);
    }

    // Asked twice: a failed open is retried and still fails cleanly.
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(CAdapter::GetAdapterStatus(), -1);
        EXPECT_EQ(CAdapter::IsSupportAdapterModeDetect(), 0);
    }
    EXPECT_EQ(CAdapter::GetACAdapterType(), -1);
    EXPECT_EQ(CAdapter::GetAdapterWattage(), -1);
    EXPECT_EQ(CAdapter::IsHarluneAdapter(), -1);

    if (logging) {
        EXPECT_FALSE(log.FileExists()) << "the adapter queries log nothing";
    }
    log.Restore();
}

TEST(Adapter, AcPresenceIsTheSystemsLineStatus) {
    SYSTEM_POWER_STATUS status = {};
    ASSERT_TRUE(GetSystemPowerStatus(&status));
    EXPECT_EQ(CAdapter::IsACIn(), status.ACLineStatus == 1 ? 1 : 0)
        << "ACLineStatus " << int(status.ACLineStatus);
}

} // namespace
