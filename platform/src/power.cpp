// Power management: the system power status.
#include "internal.h"

using namespace celdor::sim;
using namespace celdor::sim::detail;

BOOL WINAPI GetSystemPowerStatus(LPSYSTEM_POWER_STATUS lpSystemPowerStatus) {
    auto lock = LockNotebook();
    Call call{.function = "GetSystemPowerStatus"};
    BOOL ok = FALSE;
    if (!lpSystemPowerStatus) {
        SetLastError(ERROR_NOACCESS);
    } else if (auto error = Injected("GetSystemPowerStatus")) {
        SetLastError(*error);
    } else {
        *lpSystemPowerStatus = NB().powerStatus();
        ok = TRUE;
    }
    return Finish(call, ok);
}
