// The library's own wide-string helpers. WCHAR is UTF-16 on every system, so the C library's
// wchar_t functions cannot be used (they are UTF-32 outside Windows); these helpers behave the
// same everywhere and follow the Windows wide-character rules.
#pragma once

#include "win32.h"

#include <celdor/cstring.h>

#include <cstdarg>
#include <cstddef>
#include <string_view>

namespace Celdor::Text {

// Number of code units before the terminator; 0 for a null pointer.
std::size_t Length(const WCHAR* text);

// Code-unit order: negative, 0 or positive. A null pointer orders before every string, the
// empty one included, and equals another null pointer.
int Compare(const WCHAR* a, const WCHAR* b);

// printf-style formatting of the library's messages, with the Windows rule for wide functions
// that %s takes a wide string. It knows exactly the directives the library's formats use:
//   %s   a wide string; a null pointer prints "(null)"
//   %d   an int in decimal
//   %x   an unsigned int in lower-case hexadecimal, %X in upper case
//   %%   a percent sign
// %d, %x and %X also take a zero-padded width of one digit ("%02X": at least two characters,
// zeros after any minus sign).
// Anything else (another conversion, flag, width, precision or length modifier, a lone '%' at
// the end) refuses the whole format: no further argument is read, the buffer is left empty
// and the result is -1. A message with a directive added later that this helper does not know
// thus comes out empty, which its test sees, rather than subtly wrong.
//
// Writes at most count - 1 characters and always terminates the buffer (when count > 0). A
// surrogate pair is never split at the cut. Returns the number of characters written, or -1
// when the output did not fit and was cut, or when the format was refused. Never allocates.
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

// The same text, for the constant form of a function.
inline const WCHAR* Const(WCHAR* text) {
    return text;
}

// Texts the library keeps, made as CString makes them, but whole or not at all: where memory
// runs out and CString would give a shorter string, these throw std::bad_alloc for the
// operation to catch.
CString Whole(const WCHAR* text, std::size_t length);
CString WholeUtf8(std::string_view text);

} // namespace Celdor::Text
