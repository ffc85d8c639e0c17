// Charging modes and always-on USB on a machine without the maker's driver: what the host gets,
// what the library records under the user's key and what it logs.
#include <gtest/gtest.h>

#include "diagnostic_log.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Celdor::CChargingMode;
using portable::WString;

const WCHAR* const kAddinKey = WTEXT("SOFTWARE\\Harlune\\PelmarkService\\AddinData\\"
                                     "OstraNotebookAddin");
const WCHAR* const kModeValue = WTEXT("BatteryChargeMode");

bool DriverPresent() {
    HANDLE device = CreateFileW(WTEXT("\\\\.\\FervoDrv"), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(device);
    return true;
}

// The add-in's key as the test found it, put back afterwards: the levels it had to make are
// removed, and a mode recorded before is restored.
class AddinKey {
public:
    AddinKey() {
        const WString path = kAddinKey;
        for (std::size_t cut = path.find(WTEXT('\\')); cut != WString::npos;
             cut = path.find(WTEXT('\\'), cut + 1)) {
            Note(path.substr(0, cut));
        }
        Note(path);
        m_hadMode = Query(m_oldMode);
        Delete();
    }
    ~AddinKey() {
        if (m_hadMode) {
            Set(m_oldMode);
        } else {
            Delete();
        }
        for (auto it = m_created.rbegin(); it != m_created.rend(); ++it) {
            RegDeleteKeyW(HKEY_CURRENT_USER, it->c_str());
        }
    }
    // The recorded mode and its type; empty when there is none.
    static bool Query(WString& mode, DWORD* type = nullptr) {
        WCHAR text[64] = {};
        DWORD size = sizeof text - sizeof(WCHAR);
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kAddinKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        const bool found = RegQueryValueExW(key, kModeValue, nullptr, type,
                                            reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS;
        RegCloseKey(key);
        mode = text;
        return found;
    }
    static WString Mode() {
        WString mode;
        return Query(mode) ? mode : WString(WTEXT("(none)"));
    }
    static void Set(const WString& mode) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, kAddinKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr);
        RegSetValueExW(key, kModeValue, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(mode.c_str()),
                       static_cast<DWORD>((mode.size() + 1) * sizeof(WCHAR)));
        RegCloseKey(key);
    }

private:
    static void Delete() {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kAddinKey, 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, kModeValue);
            RegCloseKey(key);
        }
    }
    void Note(const WString& path) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
            RegCloseKey(key);
        } else {
            m_created.push_back(path);
        }
    }
    std::vector<WString> m_created;
    bool m_hadMode = false;
    WString m_oldMode;
};

class WithoutTheDriver : public ::testing::Test {
protected:
    void SetUp() override {
        if (DriverPresent()) {
            GTEST_SKIP() << "the maker's driver is present on this machine";
        }
        m_logging = m_log.Arrange();
        if (m_logging) {
            m_log.SetLevel(0x400);
        }
    }
    void TearDown() override { m_log.Restore(); }

    // The messages of these features logged since the last call, without their headers (the
    // registry helpers' own lines left out); empty when the log level could not be set here.
    std::vector<std::string> Messages() {
        std::vector<std::string> messages;
        for (const std::string& line : m_log.Lines()) {
            const std::string message = line.substr(line.find_first_not_of('-', line.find("--")));
            if (message.rfind("libreg ", 0) != 0) {
                messages.push_back(message);
            }
        }
        m_log.RemoveFile();
        return messages;
    }
    std::size_t Logged(const std::string& message) {
        const auto messages = Messages();
        return static_cast<std::size_t>(std::count(messages.begin(), messages.end(), message));
    }
    bool Logging() const { return m_logging; }
    // What the log holds when it can be written here: these lines, else none.
    std::vector<std::string> IfLogging(std::vector<std::string> lines) const {
        return m_logging ? lines : std::vector<std::string>{};
    }

private:
    portable::DiagnosticLog m_log;
    bool m_logging = false;
};

// Every read gives normal; a change to normal is confirmed at once and recorded, the others
// fail after ten reads without touching the record.
TEST_F(WithoutTheDriver, ChargingModeIsNormalAndCannotBeChanged) {
    AddinKey key;
    CChargingMode charging;
    DWORD type = 0;
    WString mode;
    ASSERT_TRUE(AddinKey::Query(mode, &type));
    EXPECT_TRUE(mode == WTEXT("Normal"));
    EXPECT_EQ(type, DWORD(REG_EXPAND_SZ));
    EXPECT_EQ(Messages(), IfLogging({"Query storage mode failed",
                                                               "Query rapid charge failed"}));

    EXPECT_EQ(charging.GetChargingMode(), 0);
    EXPECT_EQ(charging.DoesSupportConservationMode(), 0);
    EXPECT_EQ(charging.DoesSupportRapidChargeMode(), 0);
    EXPECT_EQ(Messages(), IfLogging({"Query support rapid charge failed",
                                                               "Query support rapid charge failed"}));

    AddinKey::Set(WTEXT("Quick"));
    EXPECT_EQ(charging.SetChargingMode(1), 0);
    EXPECT_EQ(Logged("Open storage mode failed"), Logging() ? 2u : 0u);
    EXPECT_EQ(charging.SetChargingMode(2), 0);
    const auto messages = Messages();
    EXPECT_EQ(messages.size() >= 2 && messages[0] == "Open rapid charge failed" &&
                  messages[1] == "Open express mode failed",
              Logging());
    EXPECT_TRUE(AddinKey::Mode() == WTEXT("Quick"));
    EXPECT_EQ(charging.SetChargingMode(0), 0);
    EXPECT_TRUE(AddinKey::Mode() == WTEXT("Normal"));
}

TEST_F(WithoutTheDriver, FurtherModesAreUnsupported) {
    EXPECT_EQ(CChargingMode::DoesSupportTemporaryMode(), 0);
    EXPECT_EQ(CChargingMode::GetTemporaryMode(), 0);
    EXPECT_EQ(CChargingMode::DoesSupportNightChargeMode(), 0);
    EXPECT_EQ(CChargingMode::GetNightChargeMode(), 0);
    EXPECT_EQ(Messages(), IfLogging({
                                          "call BTMC_GET_CAP DeviceIoControl failed",
                                          "call BTMC_GET_CAP DeviceIoControl failed",
                                          "call BNMC_GET_CAP DeviceIoControl failed",
                                          "call BNMC_GET_CAP DeviceIoControl failed"}));
    EXPECT_EQ(CChargingMode::SetNightChargeMode(1), 0);
    EXPECT_EQ(Logged("call BNMC_SET_STATUS DeviceIoControl failed"), Logging() ? 1u : 0u);
    EXPECT_EQ(CChargingMode::GetFvSpecVersion(), -1);
    EXPECT_EQ(CChargingMode::DoesSupportStorage80(), 0);
    EXPECT_EQ(Messages(), IfLogging({
                                          "GetFvSpecVersion DeviceIoControl failed, last error: 2",
                                          "GetFvSpecVersion DeviceIoControl failed, last error: 2"}));
}

TEST_F(WithoutTheDriver, AlwaysOnUsbIsUnsupported) {
    Celdor::CUSBCharger ac;
    Celdor::CUSBBatteryCharger battery;
    for (Celdor::CPowerFeatureBase* feature :
         {static_cast<Celdor::CPowerFeatureBase*>(&ac), static_cast<Celdor::CPowerFeatureBase*>(&battery)}) {
        EXPECT_EQ(feature->IsSupport(), 0);
        EXPECT_EQ(feature->OpenOrClose(), -1);
        EXPECT_EQ(feature->OpenFeature(), 0);
        EXPECT_EQ(feature->CloseFeature(), 0);
    }
    EXPECT_EQ(Messages(), IfLogging({
                                          "Query always on USB capability DeviceIo failed",
                                          "Query always on USB DeviceIo failed",
                                          "Open always on USB DeviceIo failed",
                                          "Close always on USB DeviceIo failed",
                                          "Query AOU charge in battery capability DeviceIo failed",
                                          "Query AOU charge in battery DeviceIo failed",
                                          "Open AOU charge in battery DeviceIo failed",
                                          "Close AOU charge in battery DeviceIo failed"}));
}

} // namespace
