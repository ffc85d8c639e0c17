// The file behaviour the diagnostic log and the INI helpers rely on, beyond what their own tests
// show, checked through the Win32 calls alone so that the simulated notebook and a real Windows
// answer the same: which second opens share modes allow, path forms and limits, and a thread's
// own last error.
#include "portable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

using portable::LocalAppData;
using portable::Outcome;
using portable::WString;

class Win32Files : public ::testing::Test {
protected:
    void SetUp() override {
        const WString appData = LocalAppData();
        ASSERT_FALSE(appData.empty());
        m_base = appData + WTEXT("\\CeldorPortableTests");
        m_dir = m_base + WTEXT("\\Files");
        m_file = m_dir + WTEXT("\\file.bin");
        CreateDirectoryW(m_base.c_str(), nullptr);
        Clean();
        ASSERT_TRUE(CreateDirectoryW(m_dir.c_str(), nullptr)) << GetLastError();
    }
    void TearDown() override {
        Clean();
        RemoveDirectoryW(m_base.c_str());
    }
    void Clean() {
        DeleteFileW(m_file.c_str());
        DeleteFileW((m_dir + WTEXT("\\Sub\\file.bin")).c_str());
        RemoveDirectoryW((m_dir + WTEXT("\\Sub")).c_str());
        RemoveDirectoryW(m_dir.c_str());
    }

    HANDLE Open(DWORD access, DWORD share, DWORD disposition) const {
        return Open(m_file, access, share, disposition);
    }
    static HANDLE Open(const WString& path, DWORD access, DWORD share, DWORD disposition) {
        return CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }

    WString m_base, m_dir, m_file;
};

TEST_F(Win32Files, ShareModesDecideWhetherASecondOpenSucceeds) {
    // The log opens for writing and shares writing only.
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
        << "a second writer that does not share writing with the first";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));

    HANDLE probe = Open(0, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    EXPECT_NE(probe, INVALID_HANDLE_VALUE) << "an open without data access";
    CloseHandle(probe);
    CloseHandle(writer);

    HANDLE reader = Open(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE) << "the writer is gone";
    CloseHandle(reader);
}

TEST_F(Win32Files, PathsIgnoreCaseAcceptForwardSlashesAndRefuseBadNames) {
    ASSERT_EQ(Outcome(Open(GENERIC_WRITE, 0, CREATE_NEW)), 0u);
    WString other = m_dir + WTEXT("/FILE.Bin");
    for (WCHAR& c : other) {
        if (c >= 'a' && c <= 'z') {
            c = WCHAR(c - 'a' + 'A');
        }
    }
    EXPECT_EQ(Outcome(Open(other, GENERIC_READ, 0, OPEN_EXISTING)), 0u);
    EXPECT_EQ(Outcome(Open(m_dir + WTEXT("\\bad|name"), GENERIC_READ, 0, OPEN_EXISTING)),
              DWORD(ERROR_INVALID_NAME));
}

// The last name of a path loses its trailing dots and spaces, a folder name before a separator
// one trailing dot: the names without them are the same files.
TEST_F(Win32Files, TrailingDotsAndSpacesAreDropped) {
    ASSERT_EQ(Outcome(Open(m_file + WTEXT(". ."), GENERIC_WRITE, 0, CREATE_NEW)), 0u);
    EXPECT_EQ(Outcome(Open(m_file + WTEXT("."), GENERIC_WRITE, 0, CREATE_NEW)),
              DWORD(ERROR_FILE_EXISTS));

    const WString sub = m_dir + WTEXT("\\Sub");
    ASSERT_TRUE(CreateDirectoryW((sub + WTEXT(" ")).c_str(), nullptr));
    EXPECT_EQ(Outcome(Open(sub + WTEXT(".\\file.bin"), GENERIC_WRITE, 0, CREATE_NEW)), 0u);
    EXPECT_TRUE(portable::PathExists(sub + WTEXT("\\file.bin")));
}

// Without long-path support a folder's full path must leave room for an 8.3 name below it
// (fewer than MAX_PATH - 12 characters) and a file's must be shorter than MAX_PATH; "\\?\"
// lifts the limit. Wine has no such limit for files and folders, and its private-profile
// functions copy such a name into a MAX_PATH buffer, so what they do with it is not defined.
TEST_F(Win32Files, LongPathsNeedTheExtendedPrefix) {
    const auto path = [&](std::size_t length) {
        const WString folder = m_dir + WTEXT("\\");
        return folder + WString(length - folder.size(), WCHAR('a'));
    };
    const WString extended = WTEXT("\\\\?\\") + path(MAX_PATH);
    const bool wine = portable::RunningOnWine();

    EXPECT_EQ(Outcome(CreateDirectoryW(path(MAX_PATH - 13).c_str(), nullptr)), 0u);
    EXPECT_EQ(Outcome(CreateDirectoryW(path(MAX_PATH - 12).c_str(), nullptr)),
              wine ? 0u : DWORD(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(Outcome(Open(path(MAX_PATH - 1), GENERIC_WRITE, 0, CREATE_NEW)), 0u);
    EXPECT_EQ(Outcome(Open(path(MAX_PATH), GENERIC_WRITE, 0, CREATE_NEW)),
              wine ? 0u : DWORD(ERROR_PATH_NOT_FOUND));
    if (!wine) {
        EXPECT_NE(Outcome(WritePrivateProfileStringW(WTEXT("S"), WTEXT("K"), WTEXT("V"),
                                                     path(MAX_PATH + 1).c_str())),
                  0u);
    }
    EXPECT_EQ(Outcome(Open(extended, GENERIC_WRITE, 0, OPEN_ALWAYS)), 0u);

    for (const WString& file :
         {extended, WTEXT("\\\\?\\") + path(MAX_PATH + 1), WTEXT("\\\\?\\") + path(MAX_PATH - 1)}) {
        DeleteFileW(file.c_str());
    }
    RemoveDirectoryW(path(MAX_PATH - 13).c_str());
    RemoveDirectoryW((WTEXT("\\\\?\\") + path(MAX_PATH - 12)).c_str());
}

// A thread's last error is its own: another thread's calls neither read nor change it.
TEST(Win32Threads, LastErrorIsPerThread) {
    std::atomic<int> step{0};
    std::thread other([&] {
        while (step != 1) {
        }
        SetLastError(22);
        step = 2;
    });
    SetLastError(11);
    step = 1;
    while (step != 2) {
    }
    EXPECT_EQ(GetLastError(), 11u);
    other.join();
}

} // namespace
