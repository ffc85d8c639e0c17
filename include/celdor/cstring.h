// Celdor::CString: the wide (UTF-16) string of the exported interface.
#pragma once

#include "export.h"

#include <compare>
#include <cstddef>
#include <string>
#include <string_view>

namespace Celdor {

class CELDOR_API CString {
public:
    using string_type = std::basic_string<WCHAR>;

    CString() = default;
    // A null pointer gives the empty string.
    CString(const WCHAR* text);
    CString(const WCHAR* text, std::size_t length);
    explicit CString(string_type text);

    // Conversion to and from UTF-8, for tools and logs. Invalid input is replaced by U+FFFD.
    static CString FromUtf8(std::string_view text);
    std::string ToUtf8() const;

    std::size_t GetLength() const { return m_text.size(); }
    bool IsEmpty() const { return m_text.empty(); }
    // Terminated text; valid until the string is changed.
    const WCHAR* GetString() const { return m_text.c_str(); }
    const string_type& Str() const { return m_text; }

    CString& operator+=(const CString& other);
    CString& operator+=(const WCHAR* other);
    friend CString operator+(CString left, const CString& right) { return left += right; }

    // Equality and order by UTF-16 code units.
    friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
    friend std::strong_ordering operator<=>(const CString& a, const CString& b) {
        return a.m_text.compare(b.m_text) <=> 0;
    }

private:
    string_type m_text;
};

} // namespace Celdor
