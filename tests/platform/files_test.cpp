// What only the simulated notebook can show about files and folders: the known folder as an
// allocation, what a folder's descriptor means for the folder on the host, and what a profile
// file's text becomes in the notebook's code page. The Win32 behaviour itself is checked by the
// portable tests, here and on Wine alike.
#include "sim_test.h"

#include <celdor_platform/win32.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace celdor::sim;
namespace fs = std::filesystem;

namespace {

using FilesTest = SimTest;

// The known folder's text is the COM task allocator's, which LocalFree does not take (nor
// CoTaskMemFree a LocalAlloc block): the documentation leaves a mix undefined, and Windows and
// Wine happen to free from one heap, so only the simulated notebook can show a caller mixing them.
TEST_F(FilesTest, KnownFolderIsACountedAllocationAndFailsWhenTheFolderIsGone) {
    PWSTR path = nullptr;
    ASSERT_EQ(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path), S_OK);
    EXPECT_EQ(std::u16string(path), u"C:\\Users\\User\\AppData\\Local");
    EXPECT_EQ(nb().openCount(HandleKind::Allocation), 1);
    // Each allocator takes back only its own blocks.
    EXPECT_EQ(LocalFree(path), path);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    CoTaskMemFree(path);
    HLOCAL local = LocalAlloc(LMEM_FIXED, 8);
    CoTaskMemFree(local);
    EXPECT_EQ(nb().openCount(HandleKind::Allocation), 1);
    EXPECT_EQ(LocalFree(local), nullptr);

    fs::remove_all(nb().hostPath(u"C:\\Users\\User\\AppData\\Local"));
    path = reinterpret_cast<PWSTR>(1);
    EXPECT_EQ(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(path, nullptr);
    ASSERT_EQ(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &path), S_OK);
    CoTaskMemFree(path);
    EXPECT_TRUE(fs::is_directory(nb().hostPath(u"C:\\Users\\User\\AppData\\Local")));
}

class SecurityTest : public SimTest {
protected:
    // The host permissions of a folder created with the descriptor `sddl`.
    static fs::perms FolderPerms(const WCHAR* sddl, const WCHAR* folder) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                                         &descriptor, nullptr));
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
        EXPECT_TRUE(CreateDirectoryW(folder, &attributes));
        LocalFree(descriptor);
        return fs::status(nb().hostPath(folder)).permissions();
    }
};

TEST_F(SecurityTest, FolderDescriptorDecidesWhatOtherUsersMayDo) {
    using P = fs::perms;
    const P owner = P::owner_all;
    EXPECT_EQ(FolderPerms(u"D:(A;OICI;GA;;;WD)", u"C:\\All"), P::all);
    EXPECT_EQ(FolderPerms(u"D:NO_ACCESS_CONTROL", u"C:\\Open"), P::all);
    EXPECT_EQ(FolderPerms(u"D:(A;;GR;;;BU)(A;;GX;;;AU)", u"C:\\Read"),
              owner | P::group_read | P::others_read | P::group_exec | P::others_exec);
    // Inherit-only entries are for what the folder will hold, not for the folder.
    EXPECT_EQ(FolderPerms(u"D:P(A;OICIIO;GA;;;WD)(A;;FA;;;SY)", u"C:\\Private"), owner);
    EXPECT_EQ(FolderPerms(u"D:(A;;GA;;;WD)(D;;GW;;;WD)", u"C:\\NoWrite"),
              P::all & ~(P::group_write | P::others_write));

    // A descriptor that is not self-relative is refused.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        u"O:BAG:SYD:(A;;GA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
    static_cast<SECURITY_DESCRIPTOR_RELATIVE*>(descriptor)->Control &= ~SE_SELF_RELATIVE;
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    EXPECT_FALSE(CreateDirectoryW(u"C:\\Absolute", &attributes));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_SECURITY_DESCR));
    LocalFree(descriptor);
}

TEST_F(SecurityTest, ProfileTextUsesTheNotebooksCodePage) {
    const WCHAR* const file = u"C:\\ProgramData\\a.ini";
    ASSERT_TRUE(WritePrivateProfileStringW(u"Caf\u00e9", u"Name", u"\u20ac \u03a9", file));
    std::ifstream in(nb().hostPath(file), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "[Caf\xE9]\r\nName=\x80 ?\r\n");

    WCHAR text[16] = {};
    EXPECT_EQ(GetPrivateProfileStringW(u"CAF\u00c9", u"name", nullptr, text, 16, file), 3u);
    EXPECT_EQ(std::u16string(text), u"\u20ac ?");
    // A name without a folder is a file of the Windows folder.
    std::ofstream(nb().hostPath(u"C:\\Windows\\win.ini")) << "[S]\r\nK=V\r\n";
    EXPECT_EQ(GetPrivateProfileStringW(u"S", u"K", nullptr, text, 16, u"win.ini"), 1u);
}

} // namespace
