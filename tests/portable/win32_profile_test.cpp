// The private-profile and shell-path behaviour the INI helpers rely on, checked through the
// Win32 calls alone so that the simulated notebook and a real Win32 implementation answer the
// same.
#include "portable.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

namespace {

using portable::WString;

class Win32Profile : public ::testing::Test {
protected:
    void SetUp() override {
        const WString appData = portable::LocalAppData();
        ASSERT_FALSE(appData.empty());
        m_base = appData + WTEXT("\\CeldorPortableTests");
        m_dir = m_base + WTEXT("\\Profile");
        CreateDirectoryW(m_base.c_str(), nullptr);
        Clean();
        ASSERT_TRUE(CreateDirectoryW(m_dir.c_str(), nullptr));
    }
    void TearDown() override {
        Clean();
        RemoveDirectoryW(m_base.c_str()); // stays while other suites use it
    }
    void Clean() {
        for (const WCHAR* name :
             {WTEXT("a.ini"), WTEXT("b.ini"), WTEXT("u.ini"), WTEXT("new.ini")}) {
            DeleteFileW(Path(name).c_str());
        }
        RemoveDirectoryW(m_dir.c_str());
    }

    WString Path(const WCHAR* name) const { return m_dir + WTEXT("\\") + name; }

    void Put(const WCHAR* name, const std::string& bytes) {
        ASSERT_TRUE(portable::WriteFileBytes(Path(name), bytes));
    }

    std::string Bytes(const WCHAR* name) const { return portable::ReadFileBytes(Path(name)); }

    // One value read through a buffer of `size` characters, pre-filled so that a missing
    // terminator shows.
    DWORD Read(const WCHAR* section, const WCHAR* key, const WCHAR* fallback, DWORD size,
               const WCHAR* name = WTEXT("a.ini")) {
        for (WCHAR& c : m_buffer) {
            c = WTEXT('x');
        }
        return GetPrivateProfileStringW(section, key, fallback, m_buffer, size, Path(name).c_str());
    }
    WString Text() const { return WString(m_buffer); }
    WString List(DWORD count) const { return WString(m_buffer, count); }

    WString m_base, m_dir;
    WCHAR m_buffer[64] = {};
};

std::string Utf16Le(const WCHAR* text) {
    std::string bytes;
    for (; *text; ++text) {
        bytes.push_back(char(*text & 0xFF));
        bytes.push_back(char(*text >> 8));
    }
    return bytes;
}

// A repeated header starts a block nobody consults; lines without '=' are never found; a
// comment is found by its own name but left out of key lists. The section "" is the one headed
// "[]"; Wine reads the lines before any header instead.
TEST_F(Win32Profile, OnlyTheFirstBlockOfASectionCounts) {
    Put(WTEXT("a.ini"), "top=0\r\n[S]\r\na=1\r\nBare\r\n;c=2\r\n[S]\r\nd=4\r\na=9\r\n");
    EXPECT_EQ(Read(WTEXT("S"), WTEXT("a"), nullptr, 64), 1u);
    EXPECT_EQ(Text(), WTEXT("1"));
    EXPECT_EQ(Read(WTEXT("S"), WTEXT("d"), WTEXT("none"), 64), 4u);
    EXPECT_EQ(Read(WTEXT("S"), WTEXT("Bare"), WTEXT("none"), 64), 4u);
    EXPECT_EQ(Read(WTEXT("S"), WTEXT(";c"), nullptr, 64), 1u);
    ASSERT_EQ(Read(WTEXT("S"), nullptr, nullptr, 64), 2u);
    EXPECT_EQ(List(3), WString(WTEXT("a\0\0"), 3));
    ASSERT_EQ(Read(nullptr, nullptr, nullptr, 64), 4u);
    EXPECT_EQ(List(5), WString(WTEXT("S\0S\0\0"), 5));

    Put(WTEXT("b.ini"), "top=0\r\n[]\r\ntop=5\r\n");
    EXPECT_EQ(Read(WTEXT(""), WTEXT("top"), nullptr, 64, WTEXT("b.ini")), 1u);
    EXPECT_EQ(Text(), portable::RunningOnWine() ? WTEXT("0") : WTEXT("5"));

    ASSERT_TRUE(WritePrivateProfileStringW(WTEXT("S"), WTEXT("d"), WTEXT("5"),
                                           Path(WTEXT("a.ini")).c_str()));
    EXPECT_EQ(Bytes(WTEXT("a.ini")),
              "top=0\r\n[S]\r\na=1\r\nBare\r\n;c=2\r\nd=5\r\n[S]\r\nd=4\r\na=9\r\n");
}

TEST_F(Win32Profile, UnicodeFileStaysUnicode) {
    Put(WTEXT("u.ini"), std::string("\xFF\xFE") + Utf16Le(WTEXT("[Power]\r\nMode=1\r\n")));
    const WString file = Path(WTEXT("u.ini"));
    ASSERT_TRUE(WritePrivateProfileStringW(WTEXT("Power"), WTEXT("Name"), WTEXT("\u03A9 \u00E9"),
                                           file.c_str()));

    const std::string bytes = Bytes(WTEXT("u.ini"));
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_NE(bytes.find(Utf16Le(WTEXT("Name=\u03A9 \u00E9"))), std::string::npos);
    EXPECT_EQ(Read(WTEXT("Power"), WTEXT("Name"), nullptr, 64, WTEXT("u.ini")), 3u);
    EXPECT_EQ(Text(), WTEXT("\u03A9 \u00E9"));
    EXPECT_EQ(Read(WTEXT("Power"), WTEXT("Mode"), nullptr, 64, WTEXT("u.ini")), 1u);
}

// What missing arguments mean. Reading without a file name reads the system's own profile,
// win.ini, which has no such key. A write needs a section and a file name. Removing a key or a
// section from a file that is not there makes the file, empty (Wine makes none).
TEST_F(Win32Profile, MissingArguments) {
    EXPECT_EQ(GetPrivateProfileStringW(WTEXT("CeldorPortableTests"), WTEXT("Missing"),
                                       WTEXT("none"), m_buffer, 64, nullptr),
              4u);
    EXPECT_EQ(Text(), WTEXT("none"));
    const WString file = Path(WTEXT("new.ini"));
    const struct {
        const WCHAR* section;
        const WCHAR* key;
        const WCHAR* file;
        DWORD error;
    } refused[] = {{nullptr, WTEXT("k"), file.c_str(), ERROR_FILE_NOT_FOUND},
                   {WTEXT("S"), WTEXT("k"), WTEXT(""), ERROR_ACCESS_DENIED}};
    for (const auto& c : refused) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(WritePrivateProfileStringW(c.section, c.key, WTEXT("v"), c.file));
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_FALSE(portable::PathExists(file));
    for (const WCHAR* key : {WTEXT("k"), static_cast<const WCHAR*>(nullptr)}) {
        EXPECT_TRUE(WritePrivateProfileStringW(WTEXT("S"), key, nullptr, file.c_str()));
        EXPECT_EQ(Bytes(WTEXT("new.ini")), "");
        EXPECT_EQ(portable::PathExists(file), !portable::RunningOnWine());
        DeleteFileW(file.c_str());
    }
}

TEST_F(Win32Profile, WriteNeedsAnExistingFolder) {
    const WString missing = m_dir + WTEXT("\\Missing");
    EXPECT_FALSE(WritePrivateProfileStringW(WTEXT("Power"), WTEXT("Mode"), WTEXT("1"),
                                            (missing + WTEXT("\\a.ini")).c_str()));
    EXPECT_FALSE(PathIsDirectoryW(missing.c_str()));
}

} // namespace
