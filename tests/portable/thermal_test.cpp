// CIntelligentCooling on a machine without the maker's services: no handle, and no service as
// the result of every change.
#include "portable.h"

#include <gtest/gtest.h>

namespace {

using Celdor::CIntelligentCooling;
using portable::WString;

// Skips the test where one of the maker's services is installed.
void RequireNoServices() {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(manager, nullptr);
    for (const WCHAR* name : {WTEXT("Thermivo"), WTEXT("HarluneProcessManagement")}) {
        if (SC_HANDLE service = OpenServiceW(manager, name, SERVICE_QUERY_STATUS)) {
            CloseServiceHandle(service);
            CloseServiceHandle(manager);
            GTEST_SKIP() << "one of the maker's services is installed on this machine";
        }
    }
    CloseServiceHandle(manager);
}

TEST(Thermal, WithoutTheServicesNothingCanBeChanged) {
    ASSERT_NO_FATAL_FAILURE(RequireNoServices());
    if (IsSkipped()) {
        return;
    }
    CIntelligentCooling cooling;
    EXPECT_EQ(cooling.GetServiceStatus(), CIntelligentCooling::ITS_RESULT_NO_SERVICE);
    EXPECT_EQ(cooling.CheckHandle(), 0);
    EXPECT_EQ(cooling.IsiEPMModeEnabled(), 0);
    CIntelligentCooling::ITSMode mode = CIntelligentCooling::ITS_MODE_COOL;
    EXPECT_EQ(cooling.SetITSMode(mode), CIntelligentCooling::ITS_RESULT_NO_SERVICE);
    EXPECT_EQ(mode, CIntelligentCooling::ITS_MODE_COOL) << "nothing read back";
    EXPECT_EQ(cooling.SetDispatcherMode(mode, 1, 1), CIntelligentCooling::ITS_RESULT_NO_SERVICE);
    EXPECT_EQ(cooling.SetITSAutoTransition(1), CIntelligentCooling::ITS_RESULT_NO_SERVICE);
    EXPECT_EQ(cooling.SetDispatcheriEPMAutoTransition(0, 1),
              CIntelligentCooling::ITS_RESULT_NO_SERVICE);
    CIntelligentCooling copy(cooling);
    copy = cooling;
    EXPECT_EQ(copy.CheckHandle(), 0);
}

} // namespace
