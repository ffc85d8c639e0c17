// Files and known folders on the simulated notebook: dispositions, share modes, last errors,
// and the mapping of "C:\..." onto the notebook's root folder.
#include "sim_test.h"

#include <celdor_platform/win32.h>

#include <filesystem>
#include <fstream>

using namespace celdor::sim;
namespace fs = std::filesystem;

namespace {

class FilesTest : public SimTest {
protected:
    static constexpr const WCHAR* kPath = u"C:\\Data\\file.bin";
    void SetUp() override {
        SimTest::SetUp();
        ASSERT_TRUE(CreateDirectoryW(u"C:\\Data", nullptr));
    }
    static HANDLE Open(DWORD access, DWORD share, DWORD disposition, const WCHAR* path = kPath) {
        return CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }
};

TEST_F(FilesTest, DispositionsAndTheirLastErrors) {
    EXPECT_EQ(Open(GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

    HANDLE h = Open(GENERIC_WRITE, 0, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS)); // created
    CloseHandle(h);

    h = Open(GENERIC_WRITE, 0, OPEN_ALWAYS);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS)); // opened
    CloseHandle(h);

    EXPECT_EQ(Open(GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));

    EXPECT_EQ(Open(GENERIC_WRITE, 0, OPEN_ALWAYS, u"C:\\Missing\\file.bin"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(fs::exists(nb().hostPath(u"C:\\Missing")));
}

TEST_F(FilesTest, WritesAppendAtTheEndAndCreateAlwaysTruncates) {
    HANDLE h = Open(GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_ALWAYS);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(h, "abc", 3, &written, nullptr));
    CloseHandle(h);

    h = Open(GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_ALWAYS);
    EXPECT_EQ(GetFileSize(h, nullptr), 3u);
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_END), 3u);
    ASSERT_TRUE(WriteFile(h, "de", 2, &written, nullptr));
    CloseHandle(h);

    std::ifstream in(nb().hostPath(kPath), std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content, "abcde");

    h = Open(GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(GetFileSize(h, nullptr), 0u);
    CloseHandle(h);
}

TEST_F(FilesTest, ShareModesDecideWhetherASecondOpenSucceeds) {
    HANDLE writer = Open(GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_ALWAYS);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    HANDLE second = Open(GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_ALWAYS);
    EXPECT_NE(second, INVALID_HANDLE_VALUE) << "two writers that share writing";
    CloseHandle(second);

    EXPECT_EQ(Open(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING),
              INVALID_HANDLE_VALUE)
        << "the writer does not share reading";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(Open(GENERIC_WRITE, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE)
        << "an exclusive open while a writer is open";

    HANDLE probe = Open(0, 0, OPEN_EXISTING);
    EXPECT_NE(probe, INVALID_HANDLE_VALUE) << "an open without data access is never refused";
    CloseHandle(probe);
    CloseHandle(writer);
}

TEST_F(FilesTest, AccessOfTheHandleIsEnforced) {
    HANDLE h = Open(GENERIC_READ, 0, OPEN_ALWAYS);
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(h, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    CloseHandle(h);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(FilesTest, PathsAreCaseInsensitiveAndAcceptEitherSlash) {
    HANDLE h = Open(GENERIC_WRITE, 0, CREATE_NEW);
    CloseHandle(h);
    h = Open(GENERIC_READ, 0, OPEN_EXISTING, u"c:/DATA/File.BIN");
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
}

TEST_F(FilesTest, CreateDirectoryNeedsItsParentAndRefusesAnExistingOne) {
    EXPECT_FALSE(CreateDirectoryW(u"C:\\Data", nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryW(u"C:\\No\\Such", nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(CreateDirectoryW(u"C:\\Data\\Sub", nullptr));
    EXPECT_TRUE(fs::is_directory(nb().hostPath(u"C:\\Data\\Sub")));
}

TEST_F(FilesTest, LocalAppDataIsInTheUsersProfile) {
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
}

} // namespace
