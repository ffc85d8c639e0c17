// The notebook's user is a standard user unless the notebook says otherwise: what such a user
// may not change (the machine's registry keys, the Windows and program folders, files in the
// root of C:) and what an administrator may. Wine runs every program as an administrator, so
// only the simulated notebook can show the refusals.
#include "sim_test.h"

#include <celdor_platform/win32.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace celdor::sim;
namespace fs = std::filesystem;

namespace {

DWORD Outcome(BOOL ok) {
    return ok ? ERROR_SUCCESS : GetLastError();
}

DWORD OpenKey(const WCHAR* path, REGSAM access, bool create = false) {
    HKEY key = nullptr;
    const LSTATUS status = create ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, access,
                                                    nullptr, &key, nullptr)
                                  : RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access, &key);
    if (key) {
        RegCloseKey(key);
    }
    return DWORD(status);
}

DWORD OpenFile(const WCHAR* path, DWORD access, DWORD disposition) {
    HANDLE file = CreateFileW(path, access, 0, nullptr, disposition, 0, nullptr);
    return Outcome(file != INVALID_HANDLE_VALUE && CloseHandle(file));
}

struct Change {
    const char* what;
    DWORD (*make)();
    DWORD standardUser; // what a standard user meets; an administrator always succeeds
};

const Change kChanges[] = {
    {"open an existing machine key through create",
     [] { return OpenKey(u"SOFTWARE", KEY_READ, true); }, ERROR_SUCCESS},
    {"open a machine key for writing", [] { return OpenKey(u"SOFTWARE", KEY_SET_VALUE); },
     ERROR_ACCESS_DENIED},
    {"create a machine key", [] { return OpenKey(u"SOFTWARE\\Vendor\\New", KEY_READ, true); },
     ERROR_ACCESS_DENIED},
    {"write a value through the machine's root",
     [] {
         const DWORD one = 1;
         return DWORD(RegSetValueExW(HKEY_LOCAL_MACHINE, u"V", 0, REG_DWORD,
                                     reinterpret_cast<const BYTE*>(&one), 4));
     },
     ERROR_ACCESS_DENIED},
    {"delete a machine key",
     [] { return DWORD(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Vendor\\Old")); },
     ERROR_ACCESS_DENIED},
    {"read a file of the Windows folder",
     [] { return OpenFile(u"C:\\Windows\\win.ini", GENERIC_READ, OPEN_EXISTING); }, ERROR_SUCCESS},
    {"write a file of the Windows folder",
     [] { return OpenFile(u"C:\\Windows\\win.ini", GENERIC_WRITE, OPEN_EXISTING); },
     ERROR_ACCESS_DENIED},
    {"write a profile file of the Windows folder",
     [] { return Outcome(WritePrivateProfileStringW(u"S", u"K", u"W", u"win.ini")); },
     ERROR_ACCESS_DENIED},
    {"create a file in the Windows folder",
     [] { return OpenFile(u"\\\\?\\C:\\Windows\\new.ini", GENERIC_READ, CREATE_NEW); },
     ERROR_ACCESS_DENIED},
    {"delete a file of the Windows folder",
     [] { return Outcome(DeleteFileW(u"C:\\Windows\\win.ini")); }, ERROR_ACCESS_DENIED},
    {"create a folder in Program Files",
     [] { return Outcome(CreateDirectoryW(u"C:\\Program Files\\Vendor", nullptr)); },
     ERROR_ACCESS_DENIED},
    {"create a file in the root of C:",
     [] { return OpenFile(u"C:\\root.txt", GENERIC_WRITE, CREATE_ALWAYS); }, ERROR_ACCESS_DENIED},
    {"create a folder in the root of C:",
     [] { return Outcome(CreateDirectoryW(u"C:\\Data", nullptr)); }, ERROR_SUCCESS},
    {"create a file in that folder",
     [] { return OpenFile(u"C:\\Data\\file.txt", GENERIC_WRITE, CREATE_NEW); }, ERROR_SUCCESS},
};

class StandardUserTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        nb().registry().createKey(Hive::LocalMachine, u"SOFTWARE\\Vendor\\Old");
        std::ofstream(nb().hostPath(u"C:\\Windows\\win.ini")) << "[S]\r\nK=V\r\n";
    }

    static void MakeEveryChange(bool elevated) {
        for (const Change& change : kChanges) {
            SCOPED_TRACE(change.what);
            EXPECT_EQ(change.make(), elevated ? ERROR_SUCCESS : change.standardUser);
        }
    }
};

TEST_F(StandardUserTest, MachineKeysAndSystemFilesAreOnlyRead) {
    MakeEveryChange(false);

    auto& registry = nb().registry();
    EXPECT_FALSE(registry.keyExists(Hive::LocalMachine, u"SOFTWARE\\Vendor\\New"));
    EXPECT_TRUE(registry.keyExists(Hive::LocalMachine, u"SOFTWARE\\Vendor\\Old"));
    EXPECT_FALSE(registry.value(Hive::LocalMachine, u"", u"V"));
    std::ifstream in(nb().hostPath(u"C:\\Windows\\win.ini"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "[S]\r\nK=V\r\n");
    for (const char16_t* path :
         {u"C:\\Windows\\new.ini", u"C:\\Program Files\\Vendor", u"C:\\root.txt"}) {
        EXPECT_FALSE(fs::exists(nb().hostPath(path))) << Utf16ToUtf8(path);
    }
}

TEST_F(StandardUserTest, AnAdministratorMayChangeThemUntilTheNextReset) {
    nb().setElevated(true);
    MakeEveryChange(true);
    EXPECT_FALSE(fs::exists(nb().hostPath(u"C:\\Windows\\win.ini")));

    nb().reset();
    EXPECT_FALSE(nb().elevated());
}

} // namespace
