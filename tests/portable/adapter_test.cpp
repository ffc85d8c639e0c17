// The adapter queries on a machine without the maker's driver, where the driver-backed answers
// fall back without a word in the log.
#include "diagnostic_log.h"

namespace {

using Celdor::CAdapter;
using Adapter = portable::LogReadingTest;

TEST_F(Adapter, WithoutTheDriverThereIsNoStateAndNoDetection) {
    HANDLE device = CreateFileW(WTEXT("\\\\.\\FervoDrv"), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device != INVALID_HANDLE_VALUE) {
        CloseHandle(device);
        GTEST_SKIP() << "the maker's driver is present on this machine";
    }
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    m_log.SetLevel(0x700);

    // Asked twice: a failed open is retried and still fails cleanly.
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(CAdapter::GetAdapterStatus(), -1);
        EXPECT_EQ(CAdapter::IsSupportAdapterModeDetect(), 0);
    }
    EXPECT_FALSE(m_log.FileExists()) << "the adapter queries log nothing";
}

} // namespace
