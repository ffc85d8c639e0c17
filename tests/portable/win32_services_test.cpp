// The service control manager's answers that the library relies on, through the Win32 calls
// alone: opening the manager and a service that is not installed, starting and stopping one of
// the maker's services, and the argument checks of the status query and the control call.
#include "services.h"

#include <gtest/gtest.h>

namespace {

class Win32Services : public ::testing::Test {
protected:
    void SetUp() override {
        m_manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        ASSERT_NE(m_manager, nullptr) << GetLastError();
    }
    void TearDown() override { CloseServiceHandle(m_manager); }
    SC_HANDLE m_manager = nullptr;
};

TEST_F(Win32Services, TheManagerOpensOnlyTheActiveDatabaseOfThisComputer) {
    SC_HANDLE local = OpenSCManagerW(WTEXT(""), SERVICES_ACTIVE_DATABASEW, SC_MANAGER_CONNECT);
    EXPECT_NE(local, nullptr);
    CloseServiceHandle(local);
    struct Case {
        const WCHAR* database;
        DWORD error;
    };
    for (const Case& c : {Case{WTEXT("DoesNotExist"), ERROR_INVALID_NAME},
                          Case{SERVICES_FAILED_DATABASEW, ERROR_DATABASE_DOES_NOT_EXIST}}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(OpenSCManagerW(nullptr, c.database, SC_MANAGER_CONNECT), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

TEST_F(Win32Services, AServiceThatIsNotInstalledCannotBeOpened) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenServiceW(m_manager, WTEXT("CeldorNoSuchService"),
                           SERVICE_QUERY_STATUS | SERVICE_USER_DEFINED_CONTROL),
              nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenServiceW(nullptr, WTEXT("Thermivo"), SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(OpenServiceW(m_manager, nullptr, SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ADDRESS));
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

// The level is checked first, then the buffer's size (which is told even without a handle),
// then the handle.
TEST_F(Win32Services, StatusQueryChecksItsArgumentsInOrder) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(
        QueryServiceStatusEx(nullptr, static_cast<SC_STATUS_TYPE>(1), nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
    EXPECT_FALSE(QueryServiceStatusEx(nullptr, SC_STATUS_PROCESS_INFO,
                                      reinterpret_cast<LPBYTE>(&status), sizeof status - 1,
                                      &needed));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, sizeof(SERVICE_STATUS_PROCESS));
    EXPECT_EQ(needed, 36u);
    EXPECT_FALSE(QueryServiceStatusEx(nullptr, SC_STATUS_PROCESS_INFO,
                                      reinterpret_cast<LPBYTE>(&status), sizeof status, &needed));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(Win32Services, NoHandleNoControlNoClose) {
    SERVICE_STATUS status{};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ControlService(nullptr, 146, &status));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseServiceHandle(nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

} // namespace
