// The private-profile, shell-path and security-descriptor behaviour the INI helpers rely on,
// checked through the Win32 calls alone so that the simulated notebook and a real Win32
// implementation answer the same.
#include "portable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

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
        for (const WCHAR* name : {WTEXT("a.ini"), WTEXT("u.ini"), WTEXT("new.ini")}) {
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

TEST_F(Win32Profile, ReadCountsTheCharactersCopiedAndCutsToTheBuffer) {
    Put(WTEXT("a.ini"), "[Power]\r\nMode=12345\r\n");
    EXPECT_EQ(Read(WTEXT("Power"), WTEXT("Mode"), nullptr, 64), 5u);
    EXPECT_EQ(Text(), WTEXT("12345"));
    EXPECT_EQ(Read(WTEXT("POWER"), WTEXT("mode"), nullptr, 64), 5u);

    EXPECT_EQ(Read(WTEXT("Power"), WTEXT("Mode"), nullptr, 3), 2u);
    EXPECT_EQ(Text(), WTEXT("12"));
    EXPECT_EQ(Read(WTEXT("Power"), WTEXT("Mode"), nullptr, 1), 0u);
    EXPECT_EQ(Text(), WTEXT(""));
}

TEST_F(Win32Profile, MissingKeySectionOrFileGivesTheDefault) {
    Put(WTEXT("a.ini"), "[Power]\r\nMode=1\r\n");
    EXPECT_EQ(Read(WTEXT("Power"), WTEXT("Missing"), nullptr, 64), 0u);
    EXPECT_EQ(Text(), WTEXT(""));
    EXPECT_EQ(Read(WTEXT("Other"), WTEXT("Mode"), WTEXT("7"), 64), 1u);
    EXPECT_EQ(Text(), WTEXT("7"));
    // A default loses its trailing blanks.
    EXPECT_EQ(Read(WTEXT("Power"), WTEXT("Missing"), WTEXT("ab  "), 64), 2u);
    EXPECT_EQ(Text(), WTEXT("ab"));

    EXPECT_EQ(Read(WTEXT("Power"), WTEXT("Mode"), nullptr, 64, WTEXT("new.ini")), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Text(), WTEXT(""));
}

TEST_F(Win32Profile, NamesAndValuesLoseSurroundingBlanksAndQuotes) {
    Put(WTEXT("a.ini"), "[Power]\r\n  Mode  =  42  \r\nName=\"two words\"\r\nEmpty=\r\n");
    EXPECT_EQ(Read(WTEXT("Power"), WTEXT("Mode"), nullptr, 64), 2u);
    EXPECT_EQ(Text(), WTEXT("42"));
    EXPECT_EQ(Read(WTEXT("Power"), WTEXT("Name"), nullptr, 64), 9u);
    EXPECT_EQ(Text(), WTEXT("two words"));
    EXPECT_EQ(Read(WTEXT("Power"), WTEXT("Empty"), WTEXT("d"), 64), 0u);
    EXPECT_EQ(Text(), WTEXT(""));
}

TEST_F(Win32Profile, NullNamesListSectionsAndKeys) {
    Put(WTEXT("a.ini"), "[Power]\r\nMode=1\r\nLevel=2\r\n[Other]\r\nX=3\r\n");
    ASSERT_EQ(Read(nullptr, nullptr, nullptr, 64), 12u);
    EXPECT_EQ(List(13), WString(WTEXT("Power\0Other\0"), 12) + WCHAR(0));
    ASSERT_EQ(Read(WTEXT("Power"), nullptr, nullptr, 64), 11u);
    EXPECT_EQ(List(12), WString(WTEXT("Mode\0Level\0"), 11) + WCHAR(0));
    // A list that does not fit is cut and doubly terminated: the size less two.
    EXPECT_EQ(Read(WTEXT("Power"), nullptr, nullptr, 8), 6u);
    EXPECT_EQ(m_buffer[6], WCHAR(0));
    EXPECT_EQ(m_buffer[7], WCHAR(0));
}

// A repeated header starts a block nobody consults; lines without '=' are never found; a
// comment is found by its own name but left out of key lists; lines before any header form the
// section "".
TEST_F(Win32Profile, OnlyTheFirstBlockOfASectionCounts) {
    Put(WTEXT("a.ini"), "top=0\r\n[S]\r\na=1\r\nBare\r\n;c=2\r\n[S]\r\nd=4\r\na=9\r\n");
    EXPECT_EQ(Read(WTEXT("S"), WTEXT("a"), nullptr, 64), 1u);
    EXPECT_EQ(Text(), WTEXT("1"));
    EXPECT_EQ(Read(WTEXT("S"), WTEXT("d"), WTEXT("none"), 64), 4u);
    EXPECT_EQ(Read(WTEXT("S"), WTEXT("Bare"), WTEXT("none"), 64), 4u);
    EXPECT_EQ(Read(WTEXT("S"), WTEXT(";c"), nullptr, 64), 1u);
    EXPECT_EQ(Read(WTEXT(""), WTEXT("top"), nullptr, 64), 1u);
    ASSERT_EQ(Read(WTEXT("S"), nullptr, nullptr, 64), 2u);
    EXPECT_EQ(List(3), WString(WTEXT("a\0\0"), 3));
    ASSERT_EQ(Read(nullptr, nullptr, nullptr, 64), 4u);
    EXPECT_EQ(List(5), WString(WTEXT("S\0S\0\0"), 5));

    ASSERT_TRUE(WritePrivateProfileStringW(WTEXT("S"), WTEXT("d"), WTEXT("5"),
                                           Path(WTEXT("a.ini")).c_str()));
    EXPECT_EQ(Bytes(WTEXT("a.ini")),
              "top=0\r\n[S]\r\na=1\r\nBare\r\n;c=2\r\nd=5\r\n[S]\r\nd=4\r\na=9\r\n");
}

TEST_F(Win32Profile, WriteCreatesAnAnsiFileAndEditsItInPlace) {
    ASSERT_TRUE(WritePrivateProfileStringW(WTEXT("Power"), WTEXT("Mode"), WTEXT("1"),
                                           Path(WTEXT("new.ini")).c_str()));
    EXPECT_EQ(Bytes(WTEXT("new.ini")), "[Power]\r\nMode=1\r\n");

    const WString file = Path(WTEXT("new.ini"));
    ASSERT_TRUE(
        WritePrivateProfileStringW(WTEXT("Power"), WTEXT("Level"), WTEXT("80"), file.c_str()));
    ASSERT_TRUE(
        WritePrivateProfileStringW(WTEXT("Power"), WTEXT("Mode"), WTEXT("2"), file.c_str()));
    EXPECT_EQ(Bytes(WTEXT("new.ini")), "[Power]\r\nMode=2\r\nLevel=80\r\n");
    // Names match without regard to case: the same key changes.
    ASSERT_TRUE(
        WritePrivateProfileStringW(WTEXT("POWER"), WTEXT("MODE"), WTEXT("3"), file.c_str()));
    EXPECT_EQ(Read(WTEXT("Power"), nullptr, nullptr, 64, WTEXT("new.ini")), 11u);
    EXPECT_EQ(Read(WTEXT("power"), WTEXT("mode"), nullptr, 64, WTEXT("new.ini")), 1u);
    EXPECT_EQ(Text(), WTEXT("3"));

    ASSERT_TRUE(WritePrivateProfileStringW(WTEXT("Other"), WTEXT("X"), WTEXT("y"), file.c_str()));
    EXPECT_EQ(Read(WTEXT("Other"), WTEXT("X"), nullptr, 64, WTEXT("new.ini")), 1u);
    // A null value removes the key, a null key the whole section.
    ASSERT_TRUE(WritePrivateProfileStringW(WTEXT("Power"), WTEXT("Mode"), nullptr, file.c_str()));
    EXPECT_EQ(Read(WTEXT("Power"), WTEXT("Mode"), WTEXT("gone"), 64, WTEXT("new.ini")), 4u);
    EXPECT_EQ(Read(WTEXT("Power"), WTEXT("Level"), nullptr, 64, WTEXT("new.ini")), 2u);
    ASSERT_TRUE(WritePrivateProfileStringW(WTEXT("Power"), nullptr, nullptr, file.c_str()));
    ASSERT_EQ(Read(nullptr, nullptr, nullptr, 64, WTEXT("new.ini")), 6u);
    EXPECT_EQ(List(6), WString(WTEXT("Other\0"), 6));
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

TEST_F(Win32Profile, WriteNeedsAnExistingFolder) {
    const WString missing = m_dir + WTEXT("\\Missing");
    EXPECT_FALSE(WritePrivateProfileStringW(WTEXT("Power"), WTEXT("Mode"), WTEXT("1"),
                                            (missing + WTEXT("\\a.ini")).c_str()));
    EXPECT_FALSE(PathIsDirectoryW(missing.c_str()));
}

TEST_F(Win32Profile, PathIsDirectoryAnswersTheDirectoryAttribute) {
    Put(WTEXT("a.ini"), "");
    EXPECT_EQ(PathIsDirectoryW(m_dir.c_str()), BOOL(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(PathIsDirectoryW((m_dir + WTEXT("\\")).c_str()), BOOL(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(PathIsDirectoryW(Path(WTEXT("a.ini")).c_str()));
    EXPECT_FALSE(PathIsDirectoryW(WTEXT("")));
    // A missing path leaves the last error of the attribute query.
    EXPECT_FALSE(PathIsDirectoryW(Path(WTEXT("none")).c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(PathIsDirectoryW(Path(WTEXT("none\\deeper")).c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

// A descriptor made from text is self-relative: the header, the owner and group when given, then
// the DACL. The one the INI helpers give a new folder has a DACL of one entry, for Everyone.
TEST_F(Win32Profile, DescriptorFromTextIsSelfRelative) {
    const struct {
        const WCHAR* sddl;
        ULONG size;
        std::vector<DWORD> offsets; // owner, group, SACL, DACL
    } cases[] = {{WTEXT("D:(A;OICI;GA;;;WD)"), 48, {0, 0, 0, 20}},
                 {WTEXT("O:BAG:SYD:(A;OICI;GA;;;WD)"), 76, {20, 36, 0, 48}}};
    // ACL revision 2 of 28 bytes with one entry: allowed, inherited by files and folders, 20
    // bytes, GENERIC_ALL, S-1-1-0.
    const BYTE dacl[28] = {2, 0,    28, 0, 1, 0, 0, 0, 0, 3, 20, 0, 0, 0,
                           0, 0x10, 1,  1, 0, 0, 0, 0, 0, 1, 0,  0, 0, 0};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ULONG size = 0;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1,
                                                                         &descriptor, &size));
        EXPECT_EQ(size, c.size);
        SECURITY_DESCRIPTOR_RELATIVE header;
        std::memcpy(&header, descriptor, sizeof(header));
        EXPECT_EQ(header.Revision, 1);
        EXPECT_EQ(header.Control & (SE_SELF_RELATIVE | SE_DACL_PRESENT),
                  SE_SELF_RELATIVE | SE_DACL_PRESENT);
        EXPECT_EQ((std::vector<DWORD>{header.Owner, header.Group, header.Sacl, header.Dacl}),
                  c.offsets);
        EXPECT_EQ(std::memcmp(static_cast<const BYTE*>(descriptor) + c.offsets[3], dacl, 28), 0);
        EXPECT_EQ(LocalFree(descriptor), nullptr);
    }
}

TEST_F(Win32Profile, BadDescriptorTextFails) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_FALSE(ConvertStringSecurityDescriptorToSecurityDescriptorW(WTEXT("D:(A;OICI;GA;;;WD)"),
                                                                      2, &descriptor, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_REVISION));
    const WCHAR* const bad[] = {WTEXT("D:(A;OICI;GA;;;WD"), WTEXT("D:(Z;;GA;;;WD)"),
                                WTEXT("D:(A;;QQ;;;WD)"), WTEXT("X:(A;;GA;;;WD)")};
    for (std::size_t i = 0; i < std::size(bad); ++i) {
        SCOPED_TRACE(::testing::Message() << "case " << i);
        descriptor = nullptr;
        EXPECT_FALSE(ConvertStringSecurityDescriptorToSecurityDescriptorW(bad[i], SDDL_REVISION_1,
                                                                          &descriptor, nullptr));
        EXPECT_NE(GetLastError(), DWORD(ERROR_SUCCESS));
        if (descriptor) {
            LocalFree(descriptor);
        }
    }
}

} // namespace
