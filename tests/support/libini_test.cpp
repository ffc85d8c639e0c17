// The exported INI helpers against the simulated notebook: the calls they make, the files and
// folders they leave, and the log lines of their failures.
#include "log_file.h"
#include "sim_test.h"

#include <celdor/libini.h>

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

using celdor::sim::Call;
using celdor::sim::Fault;
using ::testing::ElementsAre;

namespace fs = std::filesystem;

namespace {

constexpr char16_t kFolder[] = u"C:\\ProgramData\\PowerIni";
constexpr char16_t kFile[] = u"C:\\ProgramData\\PowerIni\\power.ini";
const std::string kError = "ERROR --------------------";

class IniTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        logfile::CreateFolder();
        logfile::SetWriteLevel(0x100);
    }

    static fs::path Host(const char16_t* path) { return nb().hostPath(path); }

    static void MakeFolder() { fs::create_directories(Host(kFolder)); }

    static void WriteFile(const std::string& bytes) {
        MakeFolder();
        std::ofstream(Host(kFile), std::ios::binary) << bytes;
    }

    static std::string ReadFile() {
        std::ifstream in(Host(kFile), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }

    // The journal without the log's own file calls: everything up to the first log write.
    static std::vector<std::string> IniCalls() {
        static const std::set<std::string> kept = {
            "CreateFileW",
            "CloseHandle",
            "PathIsDirectoryW",
            "ConvertStringSecurityDescriptorToSecurityDescriptorW",
            "CreateDirectoryW",
            "LocalFree",
            "GetPrivateProfileStringW",
            "WritePrivateProfileStringW"};
        std::vector<std::string> names;
        for (const Call& call : nb().journal().calls()) {
            if (kept.count(call.function)) {
                names.push_back(call.function);
            }
        }
        return names;
    }

    // Header and message of every log line.
    static std::vector<std::string> LogRests() {
        std::vector<std::string> rests;
        for (const auto& line : logfile::Lines()) {
            rests.push_back(logfile::Parse(line).value().rest);
        }
        return rests;
    }

    static std::string Site(int site, const char* error) {
        return kError + "libini :line " + std::to_string(site) + ", Error " + error;
    }
};

// --- SetDWForIni ------------------------------------------------------------------------------

TEST_F(IniTest, NewFileInNewFolderGetsAFolderForEveryUserAndTwoWrites) {
    ASSERT_EQ(SetDWForIni(kFile, u"Power", u"Mode", 3), 1);

    EXPECT_THAT(IniCalls(),
                ElementsAre("CreateFileW", "PathIsDirectoryW",
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

    // Every user may use the folder, whatever the umask of the process.
    EXPECT_EQ(fs::status(Host(kFolder)).permissions(), fs::perms::all);
    // A new file is ANSI text.
    EXPECT_EQ(ReadFile(), "[Power]\r\nMode=3\r\n");
}

TEST_F(IniTest, ExistingFileIsWrittenOnceAndKeepsItsOtherEntries) {
    WriteFile("[Power]\r\nMode=1\r\nLevel=80\r\n[Other]\r\nMode=9\r\n");
    ASSERT_EQ(SetDWForIni(kFile, u"power", u"MODE", 2), 1);

    EXPECT_THAT(IniCalls(),
                ElementsAre("CreateFileW", "CloseHandle", "WritePrivateProfileStringW"));
    EXPECT_EQ(ReadFile(), "[Power]\r\nMode=2\r\nLevel=80\r\n[Other]\r\nMode=9\r\n");
}

TEST_F(IniTest, ExistingFolderIsNotCreatedAgain) {
    MakeFolder();
    ASSERT_EQ(SetDWForIni(kFile, u"Power", u"Mode", 5), 1);
    EXPECT_THAT(IniCalls(),
                ElementsAre("CreateFileW", "PathIsDirectoryW", "WritePrivateProfileStringW",
                            "WritePrivateProfileStringW"));
}

TEST_F(IniTest, EveryValueSurvivesAWriteAndARead) {
    const struct {
        DWORD value;
        const char* text;
    } cases[] = {{0, "0"},
                 {1, "1"},
                 {2147483647, "2147483647"},
                 {2147483648u, "-2147483648"},
                 {4294967295u, "-1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_EQ(SetDWForIni(kFile, u"Power", u"Mode", c.value), 1);
        EXPECT_EQ(ReadFile(), std::string("[Power]\r\nMode=") + c.text + "\r\n");
        DWORD read = 0x5A5A5A5A;
        EXPECT_EQ(GetDWForIni(kFile, u"Power", u"Mode", &read), 1);
        EXPECT_EQ(read, c.value);
    }
    EXPECT_FALSE(logfile::Exists());
}

TEST_F(IniTest, FolderThatCannotBeCreatedFailsAtSite100) {
    // Only the last level is created: a missing parent fails, and so does a name without a
    // folder.
    SetLastError(0);
    EXPECT_EQ(SetDWForIni(u"C:\\ProgramData\\NoSuch\\Ini\\power.ini", u"Power", u"Mode", 1), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(fs::exists(nb().hostPath(u"C:\\ProgramData\\NoSuch")));
    EXPECT_EQ(nb().journal().count("LocalFree"), 1u);
    EXPECT_EQ(nb().journal().count("WritePrivateProfileStringW"), 0u);

    EXPECT_EQ(SetDWForIni(u"power.ini", u"Power", u"Mode", 1), 0);
    EXPECT_EQ(nb().journal().calls("PathIsDirectoryW").back().target, "");

    // A descriptor that cannot be made: nothing is created, the conversion's error is logged.
    nb().faults().inject("ConvertStringSecurityDescriptorToSecurityDescriptorW",
                         Fault::Once(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(SetDWForIni(kFile, u"Power", u"Mode", 1), 0);
    EXPECT_FALSE(fs::exists(Host(kFolder)));

    EXPECT_THAT(LogRests(), ElementsAre(Site(100, "3"), Site(100, "3"), Site(100, "8")));
}

// A name without a folder is looked for in the current directory, the root of C:, but written
// in the Windows folder, which only an administrator may change.
TEST_F(IniTest, NameWithoutAFolderIsWrittenToTheWindowsFolder) {
    std::ofstream(Host(u"C:\\power.ini")).flush();
    EXPECT_EQ(SetDWForIni(u"power.ini", u"Power", u"Mode", 1), 0);
    EXPECT_FALSE(fs::exists(Host(u"C:\\Windows\\power.ini")));
    EXPECT_THAT(LogRests(), ElementsAre(Site(114, "5")));

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

    EXPECT_THAT(LogRests(), ElementsAre(Site(107, "5"), Site(114, "70"), Site(114, "20")));
}

// --- GetDWForIni ------------------------------------------------------------------------------

TEST_F(IniTest, MissingFileOrValueFailsAndLeavesTheVariable) {
    DWORD value = 0xDEADBEEF;
    EXPECT_EQ(GetDWForIni(kFile, u"Power", u"Mode", &value), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(nb().journal().count("GetPrivateProfileStringW"), 0u);

    WriteFile("[Power]\r\nEmpty=\r\nQuoted=\"\"\r\n");
    EXPECT_EQ(GetDWForIni(kFile, u"Power", u"Missing", &value), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetDWForIni(kFile, u"Other", u"Empty", &value), 0);
    EXPECT_EQ(GetDWForIni(kFile, u"Power", u"Empty", &value), 0);
    EXPECT_EQ(GetDWForIni(kFile, u"Power", u"Quoted", &value), 0);
    EXPECT_EQ(value, 0xDEADBEEFu);

    const Call read = nb().journal().calls("GetPrivateProfileStringW").at(0);
    EXPECT_EQ(read.target, "C:\\ProgramData\\PowerIni\\power.ini : [Power] Missing");
    EXPECT_EQ(read.outSize, 512u);
    EXPECT_THAT(LogRests(), ElementsAre(Site(68, "3"), Site(74, "2"), Site(74, "2"), Site(74, "0"),
                                        Site(74, "0")));
}

TEST_F(IniTest, TextReadsAsTheNumberItStartsWith) {
    WriteFile("[Power]\r\nA=12abc\r\nB=abc\r\nC=  -7 \r\nD=+5\r\nE=\"42\"\r\nF=99999999999\r\n");
    const struct {
        const char16_t* key;
        DWORD value;
    } cases[] = {{u"A", 12}, {u"B", 0},  {u"C", DWORD(-7)},
                 {u"D", 5},  {u"E", 42}, {u"F", 2147483647}};
    for (const auto& c : cases) {
        SCOPED_TRACE(celdor::sim::Utf16ToUtf8(c.key));
        DWORD value = 0xDEADBEEF;
        EXPECT_EQ(GetDWForIni(kFile, u"Power", c.key, &value), 1);
        EXPECT_EQ(value, c.value);
    }
    EXPECT_FALSE(logfile::Exists());
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
    EXPECT_EQ(ReadFile(), "[Power]\r\nMode=1\r\n");
}

TEST_F(IniTest, WithMaskZeroFailuresLeaveNoLine) {
    logfile::SetWriteLevel(0);
    DWORD value = 1;
    EXPECT_EQ(GetDWForIni(kFile, u"Power", u"Mode", &value), 0);
    EXPECT_EQ(SetDWForIni(u"C:\\NoSuch\\Ini\\power.ini", u"Power", u"Mode", 1), 0);
    EXPECT_FALSE(logfile::Exists());
}

} // namespace
