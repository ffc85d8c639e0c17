// The registry behaviours that only the simulation can arrange: protected keys and enumeration
// for saving. (What Win32 calls write, the control side reads in every contract test.)
#include "sim_test.h"

#include <celdor_platform/win32.h>

using namespace celdor::sim;

namespace {

using RegistryTest = SimTest;

TEST_F(RegistryTest, ReadOnlyKeyRefusesWriteAccessButAllowsReading) {
    nb().setElevated(true); // even to an administrator
    nb().registry().setValue(Hive::LocalMachine, u"Software\\Guarded", u"V", RegValue::Dword(3));
    nb().registry().setReadOnly(Hive::LocalMachine, u"Software\\Guarded", true);
    HKEY key = nullptr;
    EXPECT_EQ(
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Guarded", 0, KEY_READ | KEY_WRITE, &key),
        ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Guarded\\Child", 0, nullptr, 0,
                              KEY_READ, nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Guarded", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD value = 0, size = 4;
    EXPECT_EQ(RegQueryValueExW(key, u"v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 3u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, EnumerationListsParentsBeforeChildrenInCreationOrder) {
    auto& registry = nb().registry();
    registry.createKey(Hive::CurrentUser, u"B\\Inner");
    registry.createKey(Hive::CurrentUser, u"A");
    registry.setValue(Hive::CurrentUser, u"A", u"second", RegValue::Dword(2));
    registry.setValue(Hive::CurrentUser, u"A", u"first", RegValue::Dword(1));
    // A fresh installation already has the user's Environment and Software keys.
    EXPECT_EQ(registry.keyPaths(Hive::CurrentUser),
              (std::vector<std::u16string>{u"Environment", u"Software", u"B", u"B\\Inner", u"A"}));
    const auto values = registry.values(Hive::CurrentUser, u"A");
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].first, u"second");
    EXPECT_TRUE(registry.values(Hive::LocalMachine, u"SOFTWARE\\WOW6432Node").empty());
}

} // namespace
