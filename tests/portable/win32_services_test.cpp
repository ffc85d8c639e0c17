// The service control manager's answers that the library relies on, through the Win32 calls
// alone: opening the manager and a service that is not installed, starting and stopping one of
// the maker's services, and the argument checks of the status query and the control call.
#include "services.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

class Win32Services : public ::testing::Test {
protected:
    void SetUp() override {
        m_manager = OpenSCManagerW(nullptr, nullptr, 0); // connecting is implied
        ASSERT_NE(m_manager, nullptr) << GetLastError();
    }
    void TearDown() override { CloseServiceHandle(m_manager); }
    SC_HANDLE m_manager = nullptr;
};

// What each call refuses, with the error it leaves: another database than the active one of this
// computer, a service that is not installed, a missing handle or name. The status query checks
// its level first, then the buffer's size (which it tells even without a handle), then the
// handle.
TEST_F(Win32Services, CallsRefuseWhatTheyCannotServe) {
    SC_HANDLE local = OpenSCManagerW(WTEXT(""), SERVICES_ACTIVE_DATABASEW, SC_MANAGER_CONNECT);
    EXPECT_NE(local, nullptr);
    CloseServiceHandle(local);
    SERVICE_STATUS_PROCESS status{};
    SERVICE_STATUS control{};
    DWORD needed = 0;
    const auto query = [&](int level, DWORD size) {
        return QueryServiceStatusEx(nullptr, static_cast<SC_STATUS_TYPE>(level),
                                    reinterpret_cast<LPBYTE>(&status), size, &needed);
    };
    const struct {
        const char* what;
        std::function<bool()> call;
        DWORD error;
    } cases[] = {
        {"database by name",
         [] { return OpenSCManagerW(nullptr, WTEXT("DoesNotExist"), SC_MANAGER_CONNECT); },
         ERROR_INVALID_NAME},
        {"failed database",
         [] { return OpenSCManagerW(nullptr, SERVICES_FAILED_DATABASEW, SC_MANAGER_CONNECT); },
         ERROR_DATABASE_DOES_NOT_EXIST},
        {"not installed",
         [&] {
             return OpenServiceW(m_manager, WTEXT("CeldorNoSuchService"), SERVICE_QUERY_STATUS);
         },
         ERROR_SERVICE_DOES_NOT_EXIST},
        {"no manager",
         [] { return OpenServiceW(nullptr, WTEXT("Thermivo"), SERVICE_QUERY_STATUS); },
         ERROR_INVALID_HANDLE},
        {"no name", [&] { return OpenServiceW(m_manager, nullptr, SERVICE_QUERY_STATUS); },
         ERROR_INVALID_ADDRESS},
        {"control", [&] { return ControlService(nullptr, 146, &control); }, ERROR_INVALID_HANDLE},
        {"close", [] { return CloseServiceHandle(nullptr); }, ERROR_INVALID_HANDLE},
        {"status level", [&] { return query(1, 0); }, ERROR_INVALID_LEVEL},
        {"status handle", [&] { return query(SC_STATUS_PROCESS_INFO, sizeof status); },
         ERROR_INVALID_HANDLE},
        {"status size", [&] { return query(SC_STATUS_PROCESS_INFO, sizeof status - 1); },
         ERROR_INSUFFICIENT_BUFFER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(c.call());
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(needed, 36u) << "the size of SERVICE_STATUS_PROCESS";
}

// A service is started once; a stopped one takes no controls.
TEST_F(Win32Services, StartingAndStoppingTheThermalService) {
    portable::Service service(portable::kThermalService);
    if (!service) {
        GTEST_SKIP() << "the thermal service is not installed here";
    }
    ASSERT_TRUE(service.Restart({}));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceW(service.Handle(), 0, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_ALREADY_RUNNING));
    ASSERT_TRUE(service.Stop());
    SERVICE_STATUS status{};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ControlService(service.Handle(), 146, &status));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_NOT_ACTIVE));
    EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOPPED));
    ASSERT_TRUE(service.Restart({}));
}

} // namespace
