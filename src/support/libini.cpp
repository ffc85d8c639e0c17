// INI helpers exported to the host: one 32-bit value per key, stored as signed decimal text
// through the system's private-profile functions.
#include <celdor/libini.h>

#include "support/logger.h"
#include "support/wstr.h"

#include <string>

using Celdor::CFileLogger;
using Celdor::Text::Const;

namespace {

// Text of one value, terminator included.
constexpr std::size_t kTextChars = 512;

const WCHAR kSourceName[] = W("libini");
const WCHAR kErrorFormat[] = W("%s :line %d, Error %x");

// A folder created for a new file: generic all access for Everyone, passed on to the files and
// subfolders in it, so that every user of the machine can read and write the file.
const WCHAR kFolderSddl[] = W("D:(A;OICI;GA;;;WD)");

// Where a failure is detected; the log line names the site.
constexpr int kSiteFileMissing = 68;
constexpr int kSiteNoValue = 74;
constexpr int kSiteNoFolder = 100;
constexpr int kSiteFirstWrite = 107;
constexpr int kSiteWrite = 114;

// Logs a failure with the thread's last error, and leaves that error for the caller (writing
// the log goes through calls of its own).
void LogFailure(int site) {
    const DWORD error = GetLastError();
    CFileLogger::GetInstance()->LogError(kErrorFormat, kSourceName, site, error);
    SetLastError(error);
}

// An open without access rights: true when the file exists and may be opened.
bool FileExists(const WCHAR* fileName) {
    HANDLE file = CreateFileW(fileName, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

// The text before the last backslash; empty when there is none.
std::basic_string<WCHAR> FolderOf(const WCHAR* fileName) {
    const std::basic_string<WCHAR> name(fileName);
    const auto cut = name.rfind(W('\\'));
    return cut == std::basic_string<WCHAR>::npos ? std::basic_string<WCHAR>() : name.substr(0, cut);
}

// Creates the folder's last level, open to every user. On failure the last error is that of
// the step that failed.
bool CreateSharedFolder(const WCHAR* folder) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderSddl, SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        return false;
    }
    SECURITY_ATTRIBUTES attributes{static_cast<DWORD>(sizeof(attributes)), descriptor, FALSE};
    const BOOL created = CreateDirectoryW(folder, &attributes);
    const DWORD error = GetLastError();
    LocalFree(descriptor);
    SetLastError(error);
    return created != FALSE;
}

// The system reads a null section or key as "list the names" and writes it as "delete": never
// what a caller of these helpers means, so null arguments are refused before any file call.
bool ArgumentsMissing(const WCHAR* fileName, const WCHAR* section, const WCHAR* key) {
    if (fileName == nullptr || section == nullptr || key == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return true;
    }
    return false;
}

} // namespace

CELDOR_API int GetDWForIni(const WCHAR* fileName, const WCHAR* section, const WCHAR* key,
                           DWORD* value) {
    if (ArgumentsMissing(fileName, section, key) || value == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WCHAR text[kTextChars] = {};
    if (!FileExists(fileName)) {
        LogFailure(kSiteFileMissing);
        return 0;
    }
    if (GetPrivateProfileStringW(section, key, nullptr, text, kTextChars, fileName) == 0) {
        LogFailure(kSiteNoValue);
        return 0;
    }
    *value = static_cast<DWORD>(Celdor::Text::ToInt(text));
    return 1;
}

CELDOR_API int SetDWForIni(const WCHAR* fileName, const WCHAR* section, const WCHAR* key,
                           DWORD value) {
    if (ArgumentsMissing(fileName, section, key)) {
        return 0;
    }
    WCHAR text[kTextChars] = {};
    Celdor::Text::FromInt(static_cast<int>(value), text, kTextChars);

    if (!FileExists(fileName)) {
        std::basic_string<WCHAR> folder;
        try {
            folder = FolderOf(fileName);
        } catch (...) {
            // Out of memory for a copy of the name: fail like any other step, never throw.
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            LogFailure(kSiteNoFolder);
            return 0;
        }
        if (!PathIsDirectoryW(folder.c_str()) && !CreateSharedFolder(folder.c_str())) {
            LogFailure(kSiteNoFolder);
            return 0;
        }
        // The first write creates the file.
        if (!WritePrivateProfileStringW(section, key, text, fileName)) {
            LogFailure(kSiteFirstWrite);
            return 0;
        }
    }
    if (!WritePrivateProfileStringW(section, key, text, fileName)) {
        LogFailure(kSiteWrite);
        return 0;
    }
    return 1;
}

// The forms with modifiable strings, as hosts declare them.
CELDOR_API int GetDWForIni(WCHAR* fileName, WCHAR* section, WCHAR* key, DWORD* value) {
    return GetDWForIni(Const(fileName), Const(section), Const(key), value);
}
CELDOR_API int SetDWForIni(WCHAR* fileName, WCHAR* section, WCHAR* key, DWORD value) {
    return SetDWForIni(Const(fileName), Const(section), Const(key), value);
}
