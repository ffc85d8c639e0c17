// The charging mode controller: storage and express switched so that they are never on
// together, each change confirmed by reading the mode back and recorded for the host.
#include <celdor/batterydriver.h>
#include <celdor/chargingmode.h>
#include <celdor/libreg.h>

#include "charging/features.h"

#include <atomic>
#include <new>

namespace Celdor {

namespace {

WCHAR g_addinKey[] = W("SOFTWARE\\Harlune\\PelmarkService\\AddinData\\OstraNotebookAddin");
WCHAR g_chargeModeValue[] = W("BatteryChargeMode");
WCHAR g_normal[] = W("Normal");
WCHAR g_express[] = W("Quick");
WCHAR g_storage[] = W("Storage");

constexpr int MODE_NORMAL = 0;
constexpr int MODE_STORAGE = 1;
constexpr int MODE_EXPRESS = 2;
constexpr int CONFIRM_READS = 10;
constexpr DWORD CONFIRM_DELAY_MS = 50;

// A feature that could not be built answers like one whose driver cannot be asked.
int Support(CPowerFeatureBase* feature) {
    return feature ? feature->IsSupport() : 0;
}
int State(CPowerFeatureBase* feature) {
    return feature ? feature->OpenOrClose() : -1;
}
int Open(CPowerFeatureBase* feature) {
    return feature ? feature->OpenFeature() : 0;
}
int Close(CPowerFeatureBase* feature) {
    return feature ? feature->CloseFeature() : 0;
}

bool SupportedAndOn(CPowerFeatureBase* feature) {
    return Support(feature) == 1 && State(feature) == 1;
}

// Switches a feature off when it is supported and on, logging a refused switch.
void CloseIfOn(CPowerFeatureBase* feature, const WCHAR* failure) {
    if (SupportedAndOn(feature) && Close(feature) == 0) {
        LogDebug(failure);
    }
}

} // namespace

WCHAR* CChargingMode::ADDIN_KEY = g_addinKey;
WCHAR* CChargingMode::BATTERY_CHARGE_MODE_VALUE = g_chargeModeValue;
WCHAR* CChargingMode::BATTERY_CHARGE_MODE_NORMAL = g_normal;
WCHAR* CChargingMode::BATTERY_CHARGE_MODE_EXPRESS = g_express;
WCHAR* CChargingMode::BATTERY_CHARGE_MODE_STORAGE = g_storage;
int CChargingMode::FV_SPEC_VERSION_STORAGE_80 = 184;

// The two features and the count of the objects that share them, made in one allocation so
// that the object itself holds nothing but its two feature pointers, as hosts lay it out. The
// storage part is built first (it learns the battery count) and the express part last, which
// is also destroyed first.
struct CChargingMode::Features final : CStorageMode {
    std::atomic<int> owners{1};
    CExpressMode express;
};

CChargingMode::Features* CChargingMode::Shared() const {
    return static_cast<Features*>(static_cast<CStorageMode*>(m_pStorage));
}

CChargingMode::CChargingMode() : m_pStorage(nullptr), m_pExpress(nullptr) {
    if (Features* features = new (std::nothrow) Features) {
        m_pStorage = features;
        m_pExpress = &features->express;
    }
    InitChargingModeStatus();
}

CChargingMode::CChargingMode(const CChargingMode& other)
    : m_pStorage(other.m_pStorage), m_pExpress(other.m_pExpress) {
    if (m_pStorage) {
        Shared()->owners.fetch_add(1);
    }
}

CChargingMode& CChargingMode::operator=(const CChargingMode& other) {
    if (m_pStorage != other.m_pStorage) {
        CChargingMode copy(other);
        Release();
        m_pStorage = copy.m_pStorage;
        m_pExpress = copy.m_pExpress;
        copy.m_pStorage = copy.m_pExpress = nullptr;
    }
    return *this;
}

CChargingMode::~CChargingMode() {
    Release();
}

// The last owner destroys the features, express before storage.
void CChargingMode::Release() {
    if (m_pStorage && Shared()->owners.fetch_sub(1) == 1) {
        delete Shared();
    }
    m_pStorage = m_pExpress = nullptr;
}

// Storage wins when the firmware reports both modes; every failed query reads as normal.
int CChargingMode::GetChargingMode() const {
    if (SupportedAndOn(m_pStorage)) {
        return MODE_STORAGE;
    }
    if (SupportedAndOn(m_pExpress)) {
        return MODE_EXPRESS;
    }
    return MODE_NORMAL;
}

int CChargingMode::SetChargingMode(int mode) const {
    switch (mode) {
    case MODE_STORAGE:
        if (Open(m_pStorage) != 1) {
            LogDebug(W("Open storage mode failed"));
        } else {
            CloseIfOn(m_pExpress, W("Close express mode failed"));
        }
        break;
    case MODE_EXPRESS:
        if (Open(m_pExpress) != 1) {
            LogDebug(W("Open express mode failed"));
        } else {
            CloseIfOn(m_pStorage, W("Close storage mode failed"));
        }
        break;
    case MODE_NORMAL:
        CloseIfOn(m_pStorage, W("Close storage mode failed"));
        CloseIfOn(m_pExpress, W("Close express mode failed"));
        break;
    default:
        break;
    }

    int current = MODE_NORMAL;
    for (int read = 0; read < CONFIRM_READS; ++read) {
        current = GetChargingMode();
        if (current == mode) {
            RegSetStr(ADDIN_KEY, BATTERY_CHARGE_MODE_VALUE, ChargeMode2Str(current));
            return current;
        }
        Sleep(CONFIRM_DELAY_MS);
    }
    return current;
}

int CChargingMode::DoesSupportRapidChargeMode() const {
    return Support(m_pExpress);
}

int CChargingMode::DoesSupportConservationMode() const {
    return Support(m_pStorage);
}

WCHAR* CChargingMode::ChargeMode2Str(int mode) {
    switch (mode) {
    case MODE_STORAGE:
        return BATTERY_CHARGE_MODE_STORAGE;
    case MODE_EXPRESS:
        return BATTERY_CHARGE_MODE_EXPRESS;
    default:
        return BATTERY_CHARGE_MODE_NORMAL;
    }
}

void CChargingMode::SetChargeModeRegistry(int mode) {
    RegSetStr(ADDIN_KEY, BATTERY_CHARGE_MODE_VALUE, ChargeMode2Str(mode));
}

int CChargingMode::GetFvSpecVersion() {
    return CBatteryDriver::GetFvSpecVersion();
}

// Express is switched off after storage is found on whatever its own state: the two are never
// left on together.
int CChargingMode::InitChargingModeStatus() const {
    if (RegDoesExistStrValue(ADDIN_KEY, BATTERY_CHARGE_MODE_VALUE) != 0) {
        return -1;
    }
    if (RegDoesExistKey(ADDIN_KEY) == 0) {
        RegCreateKeyW(ADDIN_KEY);
    }
    if (State(m_pStorage) == 1) {
        RegSetStr(ADDIN_KEY, BATTERY_CHARGE_MODE_VALUE, BATTERY_CHARGE_MODE_STORAGE);
        if (Close(m_pExpress) == 0) {
            LogDebug(W("Close express mode failed"));
        }
        return MODE_STORAGE;
    }
    if (State(m_pExpress) == 1) {
        RegSetStr(ADDIN_KEY, BATTERY_CHARGE_MODE_VALUE, BATTERY_CHARGE_MODE_EXPRESS);
        return MODE_EXPRESS;
    }
    RegSetStr(ADDIN_KEY, BATTERY_CHARGE_MODE_VALUE, BATTERY_CHARGE_MODE_NORMAL);
    return MODE_NORMAL;
}

} // namespace Celdor
