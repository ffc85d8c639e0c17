// CPowerFeatureBase: a feature of the notebook that is switched on and off in its firmware.
// Charging modes and always-on USB charging implement it.
#pragma once

#include "export.h"

namespace Celdor {

class CELDOR_API CPowerFeatureBase {
public:
    CPowerFeatureBase();
    CPowerFeatureBase(const CPowerFeatureBase& other);
    CPowerFeatureBase& operator=(const CPowerFeatureBase& other);
    virtual ~CPowerFeatureBase();

    // Switches the feature on or off: non-zero on success, 0 on failure.
    virtual int OpenFeature() = 0;
    virtual int CloseFeature() = 0;
    // 1 when the machine supports the feature, 0 when it does not or cannot say.
    virtual int IsSupport() = 0;
    // The feature's state: 1 on, 2 off, -1 when it cannot be read.
    virtual int OpenOrClose() = 0;
};

// Hosts lay a feature out as its table of virtual operations alone.
static_assert(sizeof(CPowerFeatureBase) == 8);

} // namespace Celdor
