// What only the simulated notebook can show about files: where "C:\..." lives on the host and
// what happens when a profile folder is missing. The Win32 behaviour itself (dispositions,
// share modes, access, path forms) is checked by the portable tests, here and on Wine alike.
#include "sim_test.h"

#include <celdor_platform/win32.h>

#include <filesystem>
#include <fstream>

using namespace celdor::sim;
namespace fs = std::filesystem;

namespace {

using FilesTest = SimTest;

TEST_F(FilesTest, WindowsPathsAreRealFilesUnderTheRoot) {
    ASSERT_TRUE(CreateDirectoryW(u"C:\\Data", nullptr));
    HANDLE h = CreateFileW(u"c:/data/File.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(h, "abc", 3, &written, nullptr));
    CloseHandle(h);

    const fs::path real = nb().hostPath(u"C:\\DATA\\file.TXT");
    EXPECT_EQ(real, nb().root() / "C" / "Data" / "File.txt") << "the case it was created with";
    std::ifstream in(real, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "abc");

    EXPECT_TRUE(nb().hostPath(u"\\\\.\\FervoDrv").empty()) << "devices have no folder";
    EXPECT_TRUE(nb().hostPath(u"C:\\bad|name").empty());
}

TEST_F(FilesTest, KnownFolderIsACountedAllocationAndFailsWhenTheFolderIsGone) {
    PWSTR path = nullptr;
    ASSERT_EQ(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path), S_OK);
    EXPECT_EQ(std::u16string(path), u"C:\\Users\\User\\AppData\\Local");
    EXPECT_EQ(nb().openCount(HandleKind::Allocation), 1);
    CoTaskMemFree(path);

    fs::remove_all(nb().hostPath(u"C:\\Users\\User\\AppData\\Local"));
    path = reinterpret_cast<PWSTR>(1);
    EXPECT_EQ(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(path, nullptr);
    ASSERT_EQ(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &path), S_OK);
    CoTaskMemFree(path);
    EXPECT_TRUE(fs::is_directory(nb().hostPath(u"C:\\Users\\User\\AppData\\Local")));
}

} // namespace
