// The simulated notebook's own machinery: fault injection, accounting, clock. (The code page
// shows in the profile files' text.)
#include "sim_test.h"

#include <celdor_platform/win32.h>

using namespace celdor::sim;

namespace {

using NotebookTest = SimTest;

// A target narrows a fault to the calls on a path that contains it, in any case, and only those
// count towards the n-th. (Once and Always are met throughout the contract tests.)
TEST_F(NotebookTest, FaultStrikesTheNthCallOnItsTarget) {
    nb().faults().inject("RegOpenKeyExW", Fault::Nth(2, ERROR_ACCESS_DENIED, "\\locked"));
    nb().registry().createKey(Hive::CurrentUser, u"Software\\Locked");
    nb().registry().createKey(Hive::CurrentUser, u"Software\\Open");
    for (const auto& [path, status] : {std::pair{u"Software\\Locked", ERROR_SUCCESS},
                                       std::pair{u"Software\\Open", ERROR_SUCCESS},
                                       std::pair{u"Software\\Locked", ERROR_ACCESS_DENIED}}) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key), status);
        if (key != nullptr) {
            RegCloseKey(key);
        }
    }
}

TEST_F(NotebookTest, LeaksAreReportedUntilClosed) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Leak", 0, nullptr, 0, KEY_READ,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(nb().leaks().size(), 1u);
    EXPECT_NE(nb().leaks()[0].find("Software\\Leak"), std::string::npos);
    nb().reset(); // a reset does not hide an open handle
    EXPECT_EQ(nb().openCount(HandleKind::RegistryKey), 1);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(nb().openCount(), 0);
}

TEST_F(NotebookTest, SleepAdvancesVirtualTimeAtOnce) {
    const ULONGLONG before = GetTickCount64();
    const __time64_t wallBefore = _time64(nullptr);
    for (int i = 0; i < 10; ++i) {
        Sleep(500);
    }
    EXPECT_EQ(GetTickCount64() - before, 5000u);
    EXPECT_EQ(_time64(nullptr) - wallBefore, 5);
    EXPECT_EQ(nb().clock().sleeps, 10u);
    EXPECT_EQ(nb().journal().count("Sleep"), 10u);
}

} // namespace
