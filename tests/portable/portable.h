// What the portable tests share: the Win32 declarations of both systems, wide literals, and
// small helpers built on Win32 calls alone (files, the local application-data folder, whether
// the system below is Wine).
#pragma once

#include <celdor/celdor.h>

#if defined(_WIN32)
#include <knownfolders.h>
#include <powrprof.h>
#include <sddl.h>
#include <shlobj.h>
#include <shlwapi.h>
#endif

#include <string>

#define WTEXT(text) CELDOR_W(text)

namespace portable {

using WString = std::basic_string<WCHAR>;

inline WString LocalAppData() {
    PWSTR folder = nullptr;
    WString path;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder))) {
        path = folder;
    }
    CoTaskMemFree(folder);
    return path;
}

inline bool PathExists(const WString& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A whole file's bytes; empty when it cannot be opened.
inline std::string ReadFileBytes(const WString& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string bytes;
    if (file == INVALID_HANDLE_VALUE) {
        return bytes;
    }
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
        bytes.append(chunk, got);
    }
    CloseHandle(file);
    return bytes;
}

// UTF-16LE bytes read back as ASCII text for matching and for readable failures; any other
// character shows as '?'.
inline std::string Utf16LeToAscii(const std::string& bytes) {
    std::string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned unit = static_cast<unsigned char>(bytes[i]) |
                              static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return text;
}

// Whether the tests run under Wine rather than Windows, for the few answers in which Wine
// departs from Windows (docs/wine.md lists them). A test that uses it states both answers.
inline bool RunningOnWine() {
#if defined(_WIN32)
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

} // namespace portable
