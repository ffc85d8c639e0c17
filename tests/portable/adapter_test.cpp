// The adapter queries against the system: AC presence comes from the operating system's power
// status.
#include "portable.h"

#include <gtest/gtest.h>

namespace {

using Celdor::CAdapter;

TEST(Adapter, AcPresenceIsTheSystemsLineStatus) {
    SYSTEM_POWER_STATUS status = {};
    ASSERT_TRUE(GetSystemPowerStatus(&status));
    EXPECT_EQ(CAdapter::IsACIn(), status.ACLineStatus == 1 ? 1 : 0)
        << "ACLineStatus " << int(status.ACLineStatus);
}

} // namespace
