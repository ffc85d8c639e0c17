// The private-profile, shell-path and security-descriptor behaviour the INI helpers rely on,
// checked through the Win32 calls alone so that the simulated notebook and a real Win32
// implementation answer the same.
#include <celdor/celdor.h>

#if defined(_WIN32)
#include <knownfolders.h>
#include <sddl.h>
#include <shlobj.h>
#include <shlwapi.h>
#endif

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>

#define T(text) CELDOR_W(text)

namespace {

using WString = std::basic_string<WCHAR>;

class Win32Profile : public ::testing::Test {
protected:
    void SetUp() override {
        PWSTR folder = nullptr;
        ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder)));
        m_base = WString(folder) + T("\\CeldorPortableTests");
        CoTaskMemFree(folder);
        m_dir = m_base + T("\\Profile");
        CreateDirectoryW(m_base.c_str(), nullptr);
        Clean();
        ASSERT_TRUE(CreateDirectoryW(m_dir.c_str(), nullptr));
    }
    void TearDown() override {
        Clean();
        RemoveDirectoryW(m_base.c_str()); // stays while other suites use it
    }
    void Clean() {
        for (const WCHAR* name : {T("a.ini"), T("u.ini"), T("new.ini")}) {
            DeleteFileW(Path(name).c_str());
        }
        RemoveDirectoryW(m_dir.c_str());
    }

    WString Path(const WCHAR* name) const { return m_dir + T("\\") + name; }

    void Put(const WCHAR* name, const std::string& bytes) {
        HANDLE file = CreateFileW(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr));
        CloseHandle(file);
    }

    std::string Bytes(const WCHAR* name) {
        HANDLE file = CreateFileW(Path(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        std::string bytes;
        if (file == INVALID_HANDLE_VALUE) {
            return bytes;
        }
        char chunk[512];
        DWORD got = 0;
        while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
            bytes.append(chunk, got);
        }
        CloseHandle(file);
        return bytes;
    }

    // One value read through a buffer of `size` characters, pre-filled so that a missing
    // terminator shows.
    DWORD Read(const WCHAR* section, const WCHAR* key, const WCHAR* fallback, DWORD size,
               const WCHAR* name = T("a.ini")) {
        for (WCHAR& c : m_buffer) {
            c = T('x');
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
    Put(T("a.ini"), "[Power]\r\nMode=12345\r\n");
    EXPECT_EQ(Read(T("Power"), T("Mode"), nullptr, 64), 5u);
    EXPECT_EQ(Text(), T("12345"));
    EXPECT_EQ(Read(T("POWER"), T("mode"), nullptr, 64), 5u);

    EXPECT_EQ(Read(T("Power"), T("Mode"), nullptr, 3), 2u);
    EXPECT_EQ(Text(), T("12"));
    EXPECT_EQ(Read(T("Power"), T("Mode"), nullptr, 1), 0u);
    EXPECT_EQ(Text(), T(""));
}

TEST_F(Win32Profile, MissingKeySectionOrFileGivesTheDefault) {
    Put(T("a.ini"), "[Power]\r\nMode=1\r\n");
    EXPECT_EQ(Read(T("Power"), T("Missing"), nullptr, 64), 0u);
    EXPECT_EQ(Text(), T(""));
    EXPECT_EQ(Read(T("Other"), T("Mode"), T("7"), 64), 1u);
    EXPECT_EQ(Text(), T("7"));
    // A default loses its trailing blanks.
    EXPECT_EQ(Read(T("Power"), T("Missing"), T("ab  "), 64), 2u);
    EXPECT_EQ(Text(), T("ab"));

    EXPECT_EQ(Read(T("Power"), T("Mode"), nullptr, 64, T("new.ini")), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Text(), T(""));
}

TEST_F(Win32Profile, NamesAndValuesLoseSurroundingBlanksAndQuotes) {
    Put(T("a.ini"), "[Power]\r\n  Mode  =  42  \r\nName=\"two words\"\r\nEmpty=\r\n");
    EXPECT_EQ(Read(T("Power"), T("Mode"), nullptr, 64), 2u);
    EXPECT_EQ(Text(), T("42"));
    EXPECT_EQ(Read(T("Power"), T("Name"), nullptr, 64), 9u);
    EXPECT_EQ(Text(), T("two words"));
    EXPECT_EQ(Read(T("Power"), T("Empty"), T("d"), 64), 0u);
    EXPECT_EQ(Text(), T(""));
}

TEST_F(Win32Profile, NullNamesListSectionsAndKeys) {
    Put(T("a.ini"), "[Power]\r\nMode=1\r\nLevel=2\r\n[Other]\r\nX=3\r\n");
    ASSERT_EQ(Read(nullptr, nullptr, nullptr, 64), 12u);
    EXPECT_EQ(List(13), WString(T("Power\0Other\0"), 12) + WCHAR(0));
    ASSERT_EQ(Read(T("Power"), nullptr, nullptr, 64), 11u);
    EXPECT_EQ(List(12), WString(T("Mode\0Level\0"), 11) + WCHAR(0));
    // A list that does not fit is cut and doubly terminated: the size less two.
    EXPECT_EQ(Read(T("Power"), nullptr, nullptr, 8), 6u);
    EXPECT_EQ(m_buffer[6], WCHAR(0));
    EXPECT_EQ(m_buffer[7], WCHAR(0));
}

// A repeated header starts a block nobody consults; lines without '=' are never found; a
// comment is found by its own name but left out of key lists; lines before any header form the
// section "".
TEST_F(Win32Profile, OnlyTheFirstBlockOfASectionCounts) {
    Put(T("a.ini"), "top=0\r\n[S]\r\na=1\r\nBare\r\n;c=2\r\n[S]\r\nd=4\r\na=9\r\n");
    EXPECT_EQ(Read(T("S"), T("a"), nullptr, 64), 1u);
    EXPECT_EQ(Text(), T("1"));
    EXPECT_EQ(Read(T("S"), T("d"), T("none"), 64), 4u);
    EXPECT_EQ(Read(T("S"), T("Bare"), T("none"), 64), 4u);
    EXPECT_EQ(Read(T("S"), T(";c"), nullptr, 64), 1u);
    EXPECT_EQ(Read(T(""), T("top"), nullptr, 64), 1u);
    ASSERT_EQ(Read(T("S"), nullptr, nullptr, 64), 2u);
    EXPECT_EQ(List(3), WString(T("a\0\0"), 3));
    ASSERT_EQ(Read(nullptr, nullptr, nullptr, 64), 4u);
    EXPECT_EQ(List(5), WString(T("S\0S\0\0"), 5));

    ASSERT_TRUE(WritePrivateProfileStringW(T("S"), T("d"), T("5"), Path(T("a.ini")).c_str()));
    EXPECT_EQ(Bytes(T("a.ini")),
              "top=0\r\n[S]\r\na=1\r\nBare\r\n;c=2\r\nd=5\r\n[S]\r\nd=4\r\na=9\r\n");
}

TEST_F(Win32Profile, WriteCreatesAnAnsiFileAndEditsItInPlace) {
    ASSERT_TRUE(
        WritePrivateProfileStringW(T("Power"), T("Mode"), T("1"), Path(T("new.ini")).c_str()));
    EXPECT_EQ(Bytes(T("new.ini")), "[Power]\r\nMode=1\r\n");

    const WString file = Path(T("new.ini"));
    ASSERT_TRUE(WritePrivateProfileStringW(T("Power"), T("Level"), T("80"), file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(T("Power"), T("Mode"), T("2"), file.c_str()));
    EXPECT_EQ(Bytes(T("new.ini")), "[Power]\r\nMode=2\r\nLevel=80\r\n");
    // Names match without regard to case: the same key changes.
    ASSERT_TRUE(WritePrivateProfileStringW(T("POWER"), T("MODE"), T("3"), file.c_str()));
    EXPECT_EQ(Read(T("Power"), nullptr, nullptr, 64, T("new.ini")), 11u);
    EXPECT_EQ(Read(T("power"), T("mode"), nullptr, 64, T("new.ini")), 1u);
    EXPECT_EQ(Text(), T("3"));

    ASSERT_TRUE(WritePrivateProfileStringW(T("Other"), T("X"), T("y"), file.c_str()));
    EXPECT_EQ(Read(T("Other"), T("X"), nullptr, 64, T("new.ini")), 1u);
    // A null value removes the key, a null key the whole section.
    ASSERT_TRUE(WritePrivateProfileStringW(T("Power"), T("Mode"), nullptr, file.c_str()));
    EXPECT_EQ(Read(T("Power"), T("Mode"), T("gone"), 64, T("new.ini")), 4u);
    EXPECT_EQ(Read(T("Power"), T("Level"), nullptr, 64, T("new.ini")), 2u);
    ASSERT_TRUE(WritePrivateProfileStringW(T("Power"), nullptr, nullptr, file.c_str()));
    ASSERT_EQ(Read(nullptr, nullptr, nullptr, 64, T("new.ini")), 6u);
    EXPECT_EQ(List(6), WString(T("Other\0"), 6));
}

TEST_F(Win32Profile, UnicodeFileStaysUnicode) {
    Put(T("u.ini"), std::string("\xFF\xFE") + Utf16Le(T("[Power]\r\nMode=1\r\n")));
    const WString file = Path(T("u.ini"));
    ASSERT_TRUE(
        WritePrivateProfileStringW(T("Power"), T("Name"), T("\u03A9 \u00E9"), file.c_str()));

    const std::string bytes = Bytes(T("u.ini"));
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_NE(bytes.find(Utf16Le(T("Name=\u03A9 \u00E9"))), std::string::npos);
    EXPECT_EQ(Read(T("Power"), T("Name"), nullptr, 64, T("u.ini")), 3u);
    EXPECT_EQ(Text(), T("\u03A9 \u00E9"));
    EXPECT_EQ(Read(T("Power"), T("Mode"), nullptr, 64, T("u.ini")), 1u);
}

TEST_F(Win32Profile, WriteNeedsAnExistingFolder) {
    const WString missing = m_dir + T("\\Missing");
    EXPECT_FALSE(WritePrivateProfileStringW(T("Power"), T("Mode"), T("1"),
                                            (missing + T("\\a.ini")).c_str()));
    EXPECT_FALSE(PathIsDirectoryW(missing.c_str()));
}

TEST_F(Win32Profile, PathIsDirectoryAnswersTheDirectoryAttribute) {
    Put(T("a.ini"), "");
    EXPECT_EQ(PathIsDirectoryW(m_dir.c_str()), BOOL(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(PathIsDirectoryW((m_dir + T("\\")).c_str()), BOOL(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(PathIsDirectoryW(Path(T("a.ini")).c_str()));
    EXPECT_FALSE(PathIsDirectoryW(Path(T("none")).c_str()));
    EXPECT_FALSE(PathIsDirectoryW(T("")));
}

// The descriptor the INI helpers give a new folder, byte for byte: a self-relative header, a
// DACL right behind it, one access-allowed entry for Everyone (S-1-1-0).
TEST_F(Win32Profile, EveryoneFullAccessDescriptorLayout) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ULONG size = 0;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        T("D:(A;OICI;GA;;;WD)"), SDDL_REVISION_1, &descriptor, &size));
    ASSERT_NE(descriptor, nullptr);
    EXPECT_GE(size, 48u);

    SECURITY_DESCRIPTOR_RELATIVE header;
    std::memcpy(&header, descriptor, sizeof(header));
    EXPECT_EQ(header.Revision, 1);
    EXPECT_EQ(header.Control & (SE_SELF_RELATIVE | SE_DACL_PRESENT),
              SE_SELF_RELATIVE | SE_DACL_PRESENT);
    EXPECT_EQ(header.Owner, 0u);
    EXPECT_EQ(header.Group, 0u);
    EXPECT_EQ(header.Sacl, 0u);
    ASSERT_EQ(header.Dacl, 20u);

    const auto* bytes = static_cast<const BYTE*>(descriptor);
    ACL acl;
    std::memcpy(&acl, bytes + header.Dacl, sizeof(acl));
    EXPECT_EQ(acl.AclRevision, ACL_REVISION);
    EXPECT_EQ(acl.AceCount, 1);
    EXPECT_EQ(acl.AclSize, 28);
    ACCESS_ALLOWED_ACE ace;
    std::memcpy(&ace, bytes + header.Dacl + sizeof(ACL), sizeof(ace));
    EXPECT_EQ(ace.Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace.Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(ace.Header.AceSize, 20);
    EXPECT_EQ(ace.Mask, DWORD(GENERIC_ALL));
    const BYTE everyone[12] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bytes + header.Dacl + sizeof(ACL) + 8, everyone, 12), 0);

    EXPECT_EQ(LocalFree(descriptor), nullptr);
}

TEST_F(Win32Profile, BadDescriptorTextFails) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_FALSE(ConvertStringSecurityDescriptorToSecurityDescriptorW(T("D:(A;OICI;GA;;;WD)"), 2,
                                                                      &descriptor, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_REVISION));
    const WCHAR* const bad[] = {T("D:(A;OICI;GA;;;WD"), T("D:(Z;;GA;;;WD)"), T("D:(A;;QQ;;;WD)"),
                                T("X:(A;;GA;;;WD)")};
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
