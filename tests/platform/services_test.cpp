// The service control manager with the maker's services installed, which only the simulation
// has: what a standard user may do with them, their states and answers, and how a scenario keeps
// them. (How a change arrives after the control delay shows in the thermal tests' polls.)
#include "sim_test.h"

#include <nlohmann/json.hpp>

#include <string>

using celdor::models::ServiceConfig;
using celdor::models::ServiceKind;
using celdor::models::ServiceState;
using celdor::sim::HandleKind;

namespace {

class Services : public SimTest {
protected:
    // Opens the thermal service through a manager handle that is closed again at once.
    static SC_HANDLE open(DWORD access) {
        SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE service = OpenServiceW(manager, u"thermivo", access);
        const DWORD error = GetLastError();
        CloseServiceHandle(manager);
        SetLastError(error);
        return service;
    }
    static SERVICE_STATUS control(SC_HANDLE service, DWORD code, BOOL expected, DWORD error) {
        SERVICE_STATUS status{};
        EXPECT_EQ(ControlService(service, code, &status), expected) << code;
        EXPECT_EQ(GetLastError(), error) << code;
        return status;
    }
};

TEST_F(Services, AStandardUserGetsWhatTheServicesSecurityGrants) {
    nb().services().install(ServiceKind::Thermal);
    EXPECT_EQ(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    for (DWORD refused : {DWORD(SERVICE_STOP), DWORD(GENERIC_ALL), DWORD(GENERIC_EXECUTE)}) {
        EXPECT_EQ(open(refused), nullptr) << refused;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    }
    SC_HANDLE service = open(GENERIC_READ | SERVICE_USER_DEFINED_CONTROL);
    ASSERT_NE(service, nullptr);
    control(service, SERVICE_CONTROL_INTERROGATE, TRUE, ERROR_SUCCESS);
    control(service, SERVICE_CONTROL_PAUSE, FALSE, ERROR_ACCESS_DENIED);
    CloseServiceHandle(service);

    // A service locked down to status queries refuses the custom controls.
    nb().services().install(ServiceKind::Thermal, {}, SERVICE_QUERY_STATUS);
    EXPECT_EQ(open(SERVICE_QUERY_STATUS | SERVICE_USER_DEFINED_CONTROL), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    service = open(SERVICE_QUERY_STATUS);
    control(service, 146, FALSE, ERROR_ACCESS_DENIED);
    CloseServiceHandle(service);
}

TEST_F(Services, StatusAndControlsFollowTheServicesState) {
    ServiceConfig starting;
    starting.state = ServiceState::StartPending;
    starting.waitHintMs = 8000;
    starting.checkPoint = 2;
    starting.runningAfterMs = 500;
    nb().services().install(ServiceKind::Thermal, starting);
    SC_HANDLE service = open(SERVICE_QUERY_STATUS | SERVICE_USER_DEFINED_CONTROL);
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    ASSERT_TRUE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                     reinterpret_cast<LPBYTE>(&status), sizeof status, &needed));
    EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_START_PENDING));
    EXPECT_EQ(status.dwWaitHint, 8000u);
    EXPECT_EQ(status.dwCheckPoint, 2u);
    EXPECT_NE(status.dwProcessId, 0u);
    EXPECT_EQ(control(service, 146, FALSE, ERROR_SERVICE_CANNOT_ACCEPT_CTRL).dwCurrentState,
              DWORD(SERVICE_START_PENDING));

    Sleep(500);
    for (DWORD code : {0u, 5u, 11u, 127u, 256u, 0x10000u}) {
        control(service, code, FALSE, ERROR_INVALID_PARAMETER);
    }
    // Codes of the other service's family, and codes no service knows, are not valid here.
    EXPECT_EQ(control(service, 163, FALSE, ERROR_INVALID_SERVICE_CONTROL).dwCurrentState,
              DWORD(SERVICE_RUNNING));
    control(service, 200, FALSE, ERROR_INVALID_SERVICE_CONTROL);
    control(service, 146, TRUE, ERROR_SUCCESS);
    EXPECT_EQ(CloseHandle(reinterpret_cast<HANDLE>(service)), FALSE) << "not a kernel handle";
    EXPECT_EQ(nb().openCount(HandleKind::Service), 1);
    CloseServiceHandle(service);
}

// A service that has not run since the machine started says so in its exit code; one that
// runs, or has been started, reports its own (0).
TEST_F(Services, TheExitCodeTellsANeverStartedService) {
    nb().setElevated(true);
    for (ServiceState installed : {ServiceState::Stopped, ServiceState::Running}) {
        ServiceConfig config;
        config.state = installed;
        nb().services().install(ServiceKind::Thermal, config);
        SC_HANDLE service = open(SERVICE_QUERY_STATUS | SERVICE_START);
        const auto exitCode = [&] {
            SERVICE_STATUS_PROCESS status{};
            DWORD needed = 0;
            QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                                 sizeof status, &needed);
            return status.dwWin32ExitCode;
        };
        if (installed == ServiceState::Stopped) {
            EXPECT_EQ(exitCode(), DWORD(ERROR_SERVICE_NEVER_STARTED));
            ASSERT_TRUE(StartServiceW(service, 0, nullptr));
        }
        EXPECT_EQ(exitCode(), 0u);
        CloseServiceHandle(service);
    }
}

TEST_F(Services, AScenarioKeepsServicesAsTheyAreNow) {
    nb().loadScenario(R"({"clock": {"tick_ms": 1000}, "services": {
        "Thermivo": {"state": "start_pending", "wait_hint_ms": 9000, "checkpoint": 1,
                     "checkpoint_every_ms": 1000, "running_after_ms": 5000},
        "HarluneProcessManagement": {"user_access": "0x4", "control_delay_ms": 900,
                     "stops_after_ms": "never", "pending_controls": [{"code": 164, "in_ms": 50}]}}})");
    Sleep(2500);
    const std::string saved = nb().saveScenario();
    const auto services = nlohmann::json::parse(saved)["services"];
    EXPECT_EQ(services["Thermivo"]["checkpoint"], 3);
    EXPECT_EQ(services["Thermivo"]["running_after_ms"], 2500);
    EXPECT_EQ(services["HarluneProcessManagement"]["user_access"], "0x00000004");
    EXPECT_TRUE(services["HarluneProcessManagement"]["pending_controls"].empty()) << "applied";
    nb().loadScenario(saved);
    EXPECT_EQ(nb().saveScenario(), saved);
}

} // namespace
