// CAdapter: external power. AC presence from the operating system; the adapter state and the
// adapter mode detection capability from the maker's driver.
#pragma once

#include "export.h"

namespace Celdor {

class CELDOR_API CAdapter {
public:
    CAdapter();
    ~CAdapter();
    CAdapter& operator=(const CAdapter& other);

    // 1 when the system reports AC power on line, else 0.
    static int IsACIn();
    // The driver's adapter state 0 to 3, or -1 when the driver cannot be asked or reports an
    // invalid state.
    static int GetAdapterStatus();
    // 1 when the driver reports adapter mode detection, else 0.
    static int IsSupportAdapterModeDetect();
    // Not reported by this notebook generation: always -1.
    static int GetACAdapterType();
    static int GetAdapterWattage();
    static int IsHarluneAdapter();
};

static_assert(sizeof(CAdapter) == 1, "no fields");

} // namespace Celdor
