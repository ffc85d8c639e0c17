// Always-on USB charging: CUSBCharger charges USB devices while the notebook sleeps or is off,
// CUSBBatteryCharger does so from the battery as well. Each operation asks the maker's driver
// afresh; the objects keep no state.
#pragma once

#include "powerfeature.h"

namespace Celdor {

class CELDOR_API CUSBCharger : public CPowerFeatureBase {
public:
    CUSBCharger();
    CUSBCharger(const CUSBCharger& other);
    CUSBCharger& operator=(const CUSBCharger& other);
    ~CUSBCharger() override;

    // Switches on (off), then checks the state and, while it does not read on (off), sends the
    // switch again, up to 10 times. Returns whether the last switch command reached the driver.
    int OpenFeature() override;
    int CloseFeature() override;
    int IsSupport() override;
    int OpenOrClose() override;
};

class CELDOR_API CUSBBatteryCharger : public CPowerFeatureBase {
public:
    CUSBBatteryCharger();
    CUSBBatteryCharger(const CUSBBatteryCharger& other);
    CUSBBatteryCharger& operator=(const CUSBBatteryCharger& other);
    ~CUSBBatteryCharger() override;

    // One switch command each, not checked afterwards.
    int OpenFeature() override;
    int CloseFeature() override;
    int IsSupport() override;
    int OpenOrClose() override;
};

// Hosts lay both features out as their table of virtual operations alone.
static_assert(sizeof(CUSBCharger) == 8 && sizeof(CUSBBatteryCharger) == 8);

} // namespace Celdor
