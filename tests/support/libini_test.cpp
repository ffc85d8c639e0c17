// The exported INI helpers against the simulated notebook: the calls they make, the folder they
// create, and the refusals and faults only the notebook can arrange.
#include "log_file.h"

#include <celdor/libini.h>

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using celdor::sim::Call;
using celdor::sim::Fault;
using ::testing::ElementsAre;

namespace fs = std::filesystem;

namespace {

constexpr char16_t kFolder[] = u"C:\\ProgramData\\PowerIni";
constexpr char16_t kFile[] = u"C:\\ProgramData\\PowerIni\\power.ini";

class IniTest : public LoggingTest {
protected:
    void SetUp() override {
        LoggingTest::SetUp();
        logfile::SetWriteLevel(0x100);
        nb().journal().clear();
    }

    static std::vector<std::string> Calls() { return nb().journal().functions(); }

    static fs::path Host(const char16_t* path) { return nb().hostPath(path); }

    static void WriteFile(const std::string& bytes) {
        fs::create_directories(Host(kFolder));
        std::ofstream(Host(kFile), std::ios::binary) << bytes;
    }

    static std::string Site(int site, const char* error) {
        return "ERROR --------------------libini :line " + std::to_string(site) + ", Error " +
               error;
    }
};

TEST_F(IniTest, NewFileInNewFolderGetsAFolderForEveryUserAndTwoWrites) {
    ASSERT_EQ(SetDWForIni(kFile, u"Power", u"Mode", 3), 1);

    EXPECT_THAT(Calls(), ElementsAre("CreateFileW", "PathIsDirectoryW",
                                     "ConvertStringSecurityDescriptorToSecurityDescriptorW",
                                     "CreateDirectoryW", "LocalFree", "WritePrivateProfileStringW",
                                     "WritePrivateProfileStringW"));
    const Call probe = nb().journal().calls("CreateFileW").at(0);
    EXPECT_EQ(probe.access, 0u);
    EXPECT_EQ(probe.share, 0u);
    EXPECT_EQ(probe.disposition, DWORD(OPEN_EXISTING));
    EXPECT_EQ(probe.flags, 0u);
    EXPECT_EQ(nb().journal().calls("PathIsDirectoryW").at(0).target, "C:\\ProgramData\\PowerIni");

    // The descriptor made from the text is the one the folder was created with, then freed.
    const Call convert =
        nb().journal().calls("ConvertStringSecurityDescriptorToSecurityDescriptorW").at(0);
    const Call create = nb().journal().calls("CreateDirectoryW").at(0);
    EXPECT_EQ(convert.target, "D:(A;OICI;GA;;;WD)");
    EXPECT_EQ(convert.code, DWORD(SDDL_REVISION_1));
    EXPECT_EQ(create.handle, convert.handle);
    EXPECT_EQ(create.input, convert.input);
    EXPECT_EQ(nb().journal().calls("LocalFree").at(0).handle, convert.handle);
    // In attributes of their own size, not to be inherited by child processes.
    EXPECT_EQ(create.inSize, DWORD(sizeof(SECURITY_ATTRIBUTES)));
    EXPECT_EQ(create.flags, DWORD(FALSE));
    EXPECT_EQ(create.text, "D:(A;OICI;GA;;;WD)");
}

// An existing folder is not made again; an existing file takes one write.
TEST_F(IniTest, WhatExistsIsNotMadeAgain) {
    fs::create_directories(Host(kFolder));
    ASSERT_EQ(SetDWForIni(kFile, u"Power", u"Mode", 5), 1);
    EXPECT_THAT(Calls(), ElementsAre("CreateFileW", "PathIsDirectoryW",
                                     "WritePrivateProfileStringW", "WritePrivateProfileStringW"));
    nb().journal().clear();
    ASSERT_EQ(SetDWForIni(kFile, u"Power", u"Mode", 6), 1);
    EXPECT_THAT(Calls(), ElementsAre("CreateFileW", "CloseHandle", "WritePrivateProfileStringW"));
}

// A missing file is not read; a value is read through a buffer of 512 characters.
TEST_F(IniTest, ReadAsksForOneValueOfAFileThatExists) {
    DWORD value = 0;
    EXPECT_EQ(GetDWForIni(kFile, u"Power", u"Mode", &value), 0);
    EXPECT_EQ(nb().journal().count("GetPrivateProfileStringW"), 0u);
    WriteFile("[Power]\r\nMode=4\r\n");
    EXPECT_EQ(GetDWForIni(kFile, u"Power", u"Mode", &value), 1);
    const Call read = nb().journal().calls("GetPrivateProfileStringW").at(0);
    EXPECT_EQ(read.target, "C:\\ProgramData\\PowerIni\\power.ini : [Power] Mode");
    EXPECT_EQ(read.outSize, 512u);
}

// A name without a folder has the empty folder, which cannot be made; a descriptor that cannot
// be made leaves the folder unmade. Both fail at site 100.
TEST_F(IniTest, FolderThatCannotBeMadeFailsAtSite100) {
    EXPECT_EQ(SetDWForIni(u"power.ini", u"Power", u"Mode", 1), 0);
    EXPECT_EQ(nb().journal().calls("PathIsDirectoryW").back().target, "");
    nb().faults().inject("ConvertStringSecurityDescriptorToSecurityDescriptorW",
                         Fault::Once(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(SetDWForIni(kFile, u"Power", u"Mode", 1), 0);
    EXPECT_FALSE(fs::exists(Host(kFolder)));
    EXPECT_EQ(nb().journal().count("WritePrivateProfileStringW"), 0u);
    EXPECT_THAT(logfile::Messages(), ElementsAre(Site(100, "3"), Site(100, "8")));
}

// A name without a folder is looked for in the current directory, the root of C:, but written
// in the Windows folder, which only an administrator may change.
TEST_F(IniTest, NameWithoutAFolderIsWrittenToTheWindowsFolder) {
    std::ofstream(Host(u"C:\\power.ini")).flush();
    EXPECT_EQ(SetDWForIni(u"power.ini", u"Power", u"Mode", 1), 0);
    EXPECT_FALSE(fs::exists(Host(u"C:\\Windows\\power.ini")));
    EXPECT_THAT(logfile::Messages(), ElementsAre(Site(114, "5")));

    nb().setElevated(true);
    EXPECT_EQ(SetDWForIni(u"power.ini", u"Power", u"Mode", 1), 1);
    EXPECT_TRUE(fs::exists(Host(u"C:\\Windows\\power.ini")));
}

TEST_F(IniTest, FailedWritesNameTheirSiteAndLeaveTheFolder) {
    nb().faults().inject("WritePrivateProfileStringW", Fault::Once(ERROR_ACCESS_DENIED));
    EXPECT_EQ(SetDWForIni(kFile, u"Power", u"Mode", 1), 0);
    EXPECT_TRUE(fs::is_directory(Host(kFolder)));
    EXPECT_FALSE(fs::exists(Host(kFile)));

    // The second write of a new file, and the only write of an existing one.
    nb().faults().inject("WritePrivateProfileStringW", Fault::Nth(2, 112));
    EXPECT_EQ(SetDWForIni(kFile, u"Power", u"Mode", 1), 0);
    nb().faults().inject("WritePrivateProfileStringW", Fault::Once(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(SetDWForIni(kFile, u"Power", u"Mode", 1), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));

    EXPECT_THAT(logfile::Messages(), ElementsAre(Site(107, "5"), Site(114, "70"), Site(114, "20")));
}

// A null name would make the system list names or delete a section: refused before any call.
TEST_F(IniTest, NullNamesAreRefusedBeforeAnyFileCall) {
    WriteFile("[Power]\r\nMode=1\r\n");
    nb().journal().clear();
    DWORD value = 7;
    EXPECT_EQ(SetDWForIni(kFile, u"Power", nullptr, 2), 0);
    EXPECT_EQ(GetDWForIni(kFile, u"Power", nullptr, &value), 0);
    EXPECT_EQ(GetDWForIni(kFile, nullptr, u"Mode", &value), 0);
    EXPECT_EQ(GetDWForIni(kFile, u"Power", u"Mode", nullptr), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(value, 7u);
    EXPECT_TRUE(nb().journal().calls().empty());
}

} // namespace
