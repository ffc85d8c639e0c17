// The library's own wide-string helpers. WCHAR is UTF-16 on every system, so the C library's
// wchar_t functions cannot be used (they are UTF-32 outside Windows); these helpers behave the
// same everywhere and follow the Windows wide-character rules.
#pragma once

#include "win32.h"

#include <cstdarg>
#include <cstddef>

namespace Celdor::Text {

// Number of code units before the terminator; 0 for a null pointer.
std::size_t Length(const WCHAR* text);

// Code-unit order: negative, 0 or positive. A null pointer orders before every string, the
// empty one included, and equals another null pointer.
int Compare(const WCHAR* a, const WCHAR* b);

// printf-style formatting with the Windows rules for wide functions:
//   %s and %ls (%ws) take a wide string, %hs and %S a narrow one (bytes widened one to one);
//   %c and %lc a wide character, %hc and %C a narrow one;
//   %d %i signed and %u %o %x %X unsigned, 32-bit unless a length modifier says otherwise
//   (h, hh, l (32-bit, as on Windows), ll, I64, I32, I (pointer-sized), z, j, t);
//   %p the pointer as 16 upper-case hexadecimal digits; %e %E %f %F %g %G %a %A doubles;
//   %% a percent sign; flags - + 0 blank #; width and precision, either of them as '*'.
// A null string argument prints "(null)". An unknown conversion is copied as it stands.
//
// Writes at most count - 1 characters and always terminates the buffer (when count > 0). A
// surrogate pair is never split at the cut. Returns the number of characters written, or -1
// when the output did not fit and was cut.
int FormatV(WCHAR* buffer, std::size_t count, const WCHAR* format, va_list args);
int Format(WCHAR* buffer, std::size_t count, const WCHAR* format, ...);

// Decimal text to int with the C runtime's _wtoi rules: leading white space, an optional sign,
// decimal digits up to the first other character. No digits gives 0; a value out of range is
// clamped to INT_MIN or INT_MAX.
int ToInt(const WCHAR* text);

// int to decimal text, like _itow_s with radix 10. Returns 0 on success; EINVAL (22) for a null
// buffer or a count of 0; ERANGE (34) when the text and its terminator do not fit, in which
// case the buffer holds the empty string.
int FromInt(int value, WCHAR* buffer, std::size_t count);

} // namespace Celdor::Text
