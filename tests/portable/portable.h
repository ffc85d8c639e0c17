// What the portable tests share: the Win32 declarations of both systems, wide literals, and
// small helpers built on Win32 calls alone (files, keys, the local application-data folder,
// whether the system below is Wine).
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

// The error a call met, 0 when it succeeded; an opened file is closed again.
inline DWORD Outcome(BOOL ok) {
    return ok ? ERROR_SUCCESS : GetLastError();
}
inline DWORD Outcome(HANDLE file) {
    return Outcome(file != INVALID_HANDLE_VALUE && CloseHandle(file));
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

// Makes `bytes` the whole content of the file; false when it cannot be written.
inline bool WriteFileBytes(const WString& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

inline bool KeyExists(HKEY root, const WCHAR* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

inline LSTATUS SetValue(HKEY key, const WCHAR* name, DWORD type, const void* data, DWORD size) {
    return RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
}

// A string value of REG_SZ or REG_EXPAND_SZ, terminator included.
inline LSTATUS SetText(HKEY key, const WCHAR* name, const WString& text, DWORD type = REG_SZ) {
    return SetValue(key, name, type, text.c_str(), DWORD((text.size() + 1) * sizeof(WCHAR)));
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
