#include <celdor/cstring.h>

#include "support/wstr.h"

#include <cstdint>
#include <utility>

namespace Celdor {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(CString::string_type& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<WCHAR>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<WCHAR>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<WCHAR>(0xDC00 + (cp & 0x3FF)));
    }
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

} // namespace

CString::CString(const WCHAR* text) {
    if (text != nullptr) {
        m_text.assign(text, Text::Length(text));
    }
}

CString::CString(const WCHAR* text, std::size_t length) {
    if (text != nullptr) {
        m_text.assign(text, length);
    }
}

CString::CString(string_type text) : m_text(std::move(text)) {}

// Decodes UTF-8 one scalar value at a time. A malformed sequence (bad lead byte, overlong
// form, surrogate, value above U+10FFFF, missing continuation) becomes one U+FFFD for its
// longest valid-looking prefix, and decoding resumes at the first byte that does not belong
// to it.
CString CString::FromUtf8(std::string_view text) {
    string_type out;
    out.reserve(text.size());
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
        std::uint8_t lead = byte(i);
        if (lead < 0x80) {
            out.push_back(static_cast<WCHAR>(lead));
            ++i;
            continue;
        }
        std::size_t need;
        char32_t cp;
        std::uint8_t lo = 0x80;
        std::uint8_t hi = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            need = 1;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            need = 2;
            cp = lead & 0x0F;
            if (lead == 0xE0) {
                lo = 0xA0; // no overlong forms
            } else if (lead == 0xED) {
                hi = 0x9F; // no surrogates
            }
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            need = 3;
            cp = lead & 0x07;
            if (lead == 0xF0) {
                lo = 0x90; // no overlong forms
            } else if (lead == 0xF4) {
                hi = 0x8F; // nothing above U+10FFFF
            }
        } else {
            out.push_back(static_cast<WCHAR>(kReplacement));
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool ok = true;
        for (std::size_t k = 0; k < need; ++k, ++j) {
            std::uint8_t next = j < n ? byte(j) : 0;
            std::uint8_t min = k == 0 ? lo : 0x80;
            std::uint8_t max = k == 0 ? hi : 0xBF;
            if (j >= n || next < min || next > max) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (next & 0x3F);
        }
        if (ok) {
            AppendUtf16(out, cp);
        } else {
            out.push_back(static_cast<WCHAR>(kReplacement));
        }
        i = j;
    }
    return CString(std::move(out));
}

// Encodes UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string CString::ToUtf8() const {
    std::string out;
    out.reserve(m_text.size());
    const std::size_t n = m_text.size();
    for (std::size_t i = 0; i < n; ++i) {
        char32_t unit = static_cast<std::uint16_t>(m_text[i]);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < n) {
            char32_t low = static_cast<std::uint16_t>(m_text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
    }
    return out;
}

CString& CString::operator+=(const CString& other) {
    m_text += other.m_text;
    return *this;
}

CString& CString::operator+=(const WCHAR* other) {
    if (other != nullptr) {
        m_text.append(other, Text::Length(other));
    }
    return *this;
}

} // namespace Celdor
