// Whether the portable tests run under Wine rather than Windows, for the few answers in which
// Wine departs from Windows (docs/wine.md lists them). A test that uses it states both answers.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#endif

inline bool RunningOnWine() {
#if defined(_WIN32)
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}
