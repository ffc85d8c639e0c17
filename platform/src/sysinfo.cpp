// System information and the clock: tick count, Sleep, the C runtime's wall-clock functions,
// and the code-page conversions.
#include "internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

using namespace celdor::sim;
using namespace celdor::sim::detail;

ULONGLONG WINAPI GetTickCount64(void) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    return NB().clock().tickMs;
}

DWORD WINAPI GetTickCount(void) {
    const SystemCallScope systemCall;
    return static_cast<DWORD>(GetTickCount64());
}

// Virtual time: the clock moves on at once and the caller continues.
void WINAPI Sleep(DWORD dwMilliseconds) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    auto& clock = NB().clock();
    clock.tickMs += dwMilliseconds;
    clock.sleptMs += dwMilliseconds;
    ++clock.sleeps;
    AdvanceServices();
    AdvanceBatteries();
    Record(Call{.function = "Sleep", .code = dwMilliseconds});
}

__time64_t _time64(__time64_t* timer) {
    auto lock = LockNotebook();
    const __time64_t now = NB().clock().nowEpochSeconds();
    if (timer) {
        *timer = now;
    }
    return now;
}

errno_t _localtime64_s(struct tm* result, const __time64_t* timer) {
    if (!result) {
        return EINVAL;
    }
    if (!timer || *timer < 0) {
        *result = tm{};
        result->tm_mday = -1; // as the C runtime marks a failed conversion
        return EINVAL;
    }
    int offsetMinutes = 0;
    {
        auto lock = LockNotebook();
        offsetMinutes = NB().clock().utcOffsetMinutes;
    }
    const std::time_t local = static_cast<std::time_t>(*timer + offsetMinutes * 60LL);
    if (!gmtime_r(&local, result)) {
        return EINVAL;
    }
    result->tm_isdst = 0;
    return 0;
}

// --- Code pages -----------------------------------------------------------------------------

// The notebook's ANSI code page is Windows-1252, as on a Western-European installation.
static constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

UINT WINAPI GetACP(void) {
    const SystemCallScope systemCall;
    return 1252;
}

static bool DecodeMultiByte(UINT codePage, std::string_view text, std::u16string& out) {
    if (codePage == CP_UTF8) {
        out = Utf8ToUtf16(text);
        return true;
    }
    if (codePage != CP_ACP && codePage != CP_THREAD_ACP && codePage != 1252) {
        return false;
    }
    out.clear();
    for (unsigned char c : text) {
        out.push_back(c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : static_cast<char16_t>(c));
    }
    return true;
}

static bool EncodeMultiByte(UINT codePage, std::u16string_view text, std::string& out,
                            bool& usedDefault) {
    usedDefault = false;
    if (codePage == CP_UTF8) {
        out = Utf16ToUtf8(text);
        return true;
    }
    if (codePage != CP_ACP && codePage != CP_THREAD_ACP && codePage != 1252) {
        return false;
    }
    out.clear();
    for (char16_t c : text) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        int found = -1;
        for (int i = 0; i < 32; ++i) {
            if (kCp1252High[i] == c) {
                found = i;
            }
        }
        if (found >= 0) {
            out.push_back(static_cast<char>(0x80 + found));
        } else {
            out.push_back('?');
            usedDefault = true;
        }
    }
    return true;
}

namespace celdor::sim::detail {

std::u16string AnsiToWide(std::string_view text) {
    std::u16string wide;
    DecodeMultiByte(CP_ACP, text, wide);
    return wide;
}

std::string WideToAnsi(std::u16string_view text) {
    std::string narrow;
    bool usedDefault = false;
    EncodeMultiByte(CP_ACP, text, narrow, usedDefault);
    return narrow;
}

} // namespace celdor::sim::detail

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
    const SystemCallScope systemCall;
    (void)dwFlags;
    Call call{.function = "MultiByteToWideChar",
              .code = CodePage,
              .inSize = DWORD(cbMultiByte),
              .outSize = DWORD(cchWideChar)};
    int result = 0;
    std::u16string wide;
    if (!lpMultiByteStr || cbMultiByte == 0 || cchWideChar < 0 ||
        (cchWideChar > 0 && !lpWideCharStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
    } else if (auto error = Injected("MultiByteToWideChar")) {
        SetLastError(*error);
    } else {
        std::string_view text =
            cbMultiByte < 0 ? std::string_view(lpMultiByteStr, std::strlen(lpMultiByteStr) + 1)
                            : std::string_view(lpMultiByteStr, std::size_t(cbMultiByte));
        if (!DecodeMultiByte(CodePage, text, wide)) {
            SetLastError(ERROR_INVALID_PARAMETER);
        } else if (cchWideChar == 0) {
            result = static_cast<int>(wide.size());
        } else if (wide.size() > std::size_t(cchWideChar)) {
            // What fits is written all the same.
            std::copy_n(wide.begin(), cchWideChar, lpWideCharStr);
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
        } else {
            std::copy(wide.begin(), wide.end(), lpWideCharStr);
            result = static_cast<int>(wide.size());
        }
    }
    return Finish(call, result);
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
    const SystemCallScope systemCall;
    (void)dwFlags;
    (void)lpDefaultChar;
    if (!lpWideCharStr || cchWideChar == 0 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && !lpMultiByteStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string_view text =
        cchWideChar < 0 ? std::u16string_view(lpWideCharStr,
                                              std::char_traits<char16_t>::length(lpWideCharStr) + 1)
                        : std::u16string_view(lpWideCharStr, std::size_t(cchWideChar));
    std::string narrow;
    bool usedDefault = false;
    if (!EncodeMultiByte(CodePage, text, narrow, usedDefault)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (lpUsedDefaultChar) {
        *lpUsedDefaultChar = usedDefault;
    }
    if (cbMultiByte == 0) {
        return static_cast<int>(narrow.size());
    }
    if (narrow.size() > std::size_t(cbMultiByte)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(narrow.begin(), narrow.end(), lpMultiByteStr);
    return static_cast<int>(narrow.size());
}
