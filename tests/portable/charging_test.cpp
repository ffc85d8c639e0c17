// Charging modes and always-on USB with the maker's driver: what the host gets and what the
// library records under the user's key.
#include <gtest/gtest.h>

#include "firmware.h"

#include <string>
#include <vector>

namespace {

using Celdor::CChargingMode;
using portable::WString;
namespace fw = portable::fw;

const WCHAR* const kAddinKey = WTEXT("SOFTWARE\\Harlune\\PelmarkService\\AddinData\\"
                                     "OstraNotebookAddin");
const WCHAR* const kModeValue = WTEXT("BatteryChargeMode");

// The mode the library recorded for the host, or "(none)".
WString Recorded() {
    WCHAR text[64] = {};
    DWORD size = sizeof text - sizeof(WCHAR);
    HKEY key = nullptr;
    const bool found =
        RegOpenKeyExW(HKEY_CURRENT_USER, kAddinKey, 0, KEY_READ, &key) == ERROR_SUCCESS &&
        RegQueryValueExW(key, kModeValue, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) ==
            ERROR_SUCCESS;
    if (key) {
        RegCloseKey(key);
    }
    return found ? WString(text) : WString(WTEXT("(none)"));
}

// Records a mode, or removes the record for null.
void Record(const WString* mode) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kAddinKey, 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
        if (mode) {
            portable::SetText(key, kModeValue, *mode, REG_EXPAND_SZ);
        } else {
            RegDeleteValueW(key, kModeValue);
        }
        RegCloseKey(key);
    }
}

// The record as the test found it, put back afterwards; when the add-in's key was not there,
// the levels the library made are removed, innermost first, as far as they are empty.
class AddinKey {
public:
    AddinKey() { Record(nullptr); }
    ~AddinKey() {
        Record(m_old == WTEXT("(none)") ? nullptr : &m_old);
        for (WString path = kAddinKey; !m_existed && path.find(WTEXT('\\')) != WString::npos;
             path.resize(path.rfind(WTEXT('\\')))) {
            if (RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str()) != ERROR_SUCCESS) {
                break;
            }
        }
    }

private:
    const bool m_existed = portable::KeyExists(HKEY_CURRENT_USER, kAddinKey);
    const WString m_old = Recorded();
};

// With the driver: each change is made by the firmware, read back and recorded. Storage wins
// when the firmware reports both modes on.
using WithTheDriver = portable::FirmwareTest;

TEST_F(WithTheDriver, ChargingModeChangesAreMadeReadBackAndRecorded) {
    const struct {
        std::uint32_t on;
        int found;
    } starts[] = {{0, 0},
                  {fw::ModeBit(fw::Mode::Storage), 1},
                  {fw::ModeBit(fw::Mode::Express), 2},
                  {fw::ModeBit(fw::Mode::Storage) | fw::ModeBit(fw::Mode::Express), 1}};
    const WCHAR* const recorded[] = {WTEXT("Normal"), WTEXT("Storage"), WTEXT("Quick")};
    AddinKey key;
    for (const auto& start : starts) {
        for (int to : {0, 1, 2}) {
            SCOPED_TRACE(::testing::Message() << "from " << start.on << " to " << to);
            Configure(fw::kExpress | fw::kStorage, start.on);
            CChargingMode charging;
            EXPECT_EQ(charging.GetChargingMode(), start.found);
            EXPECT_EQ(charging.DoesSupportConservationMode(), 1);
            EXPECT_EQ(charging.DoesSupportRapidChargeMode(), 1);
            EXPECT_EQ(charging.SetChargingMode(to), to);
            EXPECT_EQ(charging.GetChargingMode(), to);
            EXPECT_TRUE(Recorded() == recorded[to]);
        }
    }
}

// Each always-on USB feature reads and switches its own mode, and only where the firmware
// offers it.
TEST_F(WithTheDriver, AlwaysOnUsbFeaturesSwitchTheirOwnMode) {
    Celdor::CUSBCharger ac;
    Celdor::CUSBBatteryCharger battery;
    const struct {
        Celdor::CPowerFeatureBase* feature;
        std::uint32_t offered;
        fw::Mode mode;
    } features[] = {{&ac, fw::kUsbOnAc, fw::Mode::UsbOnAc},
                    {&battery, fw::kUsbOnBattery, fw::Mode::UsbOnBattery}};
    for (const auto& f : features) {
        SCOPED_TRACE(f.offered);
        Configure(f.offered, fw::ModeBit(f.mode));
        EXPECT_EQ(f.feature->IsSupport(), 1);
        EXPECT_EQ(f.feature->OpenOrClose(), 1);
        EXPECT_NE(f.feature->CloseFeature(), 0);
        EXPECT_EQ(f.feature->OpenOrClose(), 2);
        EXPECT_NE(f.feature->OpenFeature(), 0);
        EXPECT_EQ(f.feature->OpenOrClose(), 1);

        Configure((fw::kUsbOnAc | fw::kUsbOnBattery) & ~f.offered);
        EXPECT_EQ(f.feature->IsSupport(), 0);
        EXPECT_EQ(f.feature->OpenFeature(), 0);
    }
}

} // namespace
