#include <celdor/cstring.h>

#include "support/wstr.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace Celdor {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Writes one scalar value as UTF-16; returns the number of code units written.
std::size_t PutUtf16(WCHAR* out, char32_t cp) {
    if (cp < 0x10000) {
        out[0] = static_cast<WCHAR>(cp);
        return 1;
    }
    cp -= 0x10000;
    out[0] = static_cast<WCHAR>(0xD800 + (cp >> 10));
    out[1] = static_cast<WCHAR>(0xDC00 + (cp & 0x3FF));
    return 2;
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

// The most characters a block can hold without its size overflowing.
constexpr std::size_t kMostCharacters = (SIZE_MAX / 2 - 64) / sizeof(WCHAR);

} // namespace

struct CString::EmptyText {
    Block block;
    WCHAR terminator;
};
constinit CString::EmptyText CString::s_empty = {{-1, 0, 0}, 0};

WCHAR* CString::Empty() noexcept {
    static_assert(offsetof(EmptyText, terminator) == sizeof(Block),
                  "characters follow their block");
    return &s_empty.terminator;
}

// A block for `capacity` characters and the terminator, with one owner and no characters yet;
// null when memory ran out.
WCHAR* CString::Allocate(std::size_t capacity) noexcept {
    if (capacity > kMostCharacters) {
        return nullptr;
    }
    void* memory = ::operator new(sizeof(Block) + (capacity + 1) * sizeof(WCHAR), std::nothrow);
    if (memory == nullptr) {
        return nullptr;
    }
    Block* block = new (memory) Block{1, 0, capacity};
    WCHAR* text = reinterpret_cast<WCHAR*>(block + 1);
    text[0] = 0;
    return text;
}

void CString::Free(Block* block) noexcept {
    block->~Block();
    ::operator delete(block);
}

CString::CString() noexcept : m_pszData(Empty()) {}

CString::CString(const WCHAR* text) noexcept : CString(text, Text::Length(text)) {}

CString::CString(const WCHAR* text, std::size_t length) noexcept : m_pszData(Empty()) {
    Append(text, length);
}

CString::CString(CString&& other) noexcept : m_pszData(other.m_pszData) {
    other.m_pszData = Empty();
}

CString& CString::operator=(const CString& other) noexcept {
    other.AddOwner(); // first, so that assigning a string to itself keeps it
    DropOwner();
    m_pszData = other.m_pszData;
    return *this;
}

CString& CString::operator=(CString&& other) noexcept {
    if (this != &other) {
        DropOwner();
        m_pszData = other.m_pszData;
        other.m_pszData = Empty();
    }
    return *this;
}

CString& CString::operator+=(const CString& other) noexcept {
    return Append(other.m_pszData, other.GetLength());
}

CString& CString::operator+=(const WCHAR* other) noexcept {
    return Append(other, Text::Length(other));
}

// In place when this string is the only owner of its block and the block has room; otherwise
// into a new block, with room to spare for the next append, and the old one given up. `text`
// may be this string's own characters; a null `text` appends nothing.
CString& CString::Append(const WCHAR* text, std::size_t count) noexcept {
    Block* block = GetBlock();
    const std::size_t length = block->length;
    if (text == nullptr || count == 0 || count > kMostCharacters - length) {
        return *this;
    }
    if (block->owners.load(std::memory_order_acquire) == 1 && block->capacity - length >= count) {
        std::memmove(m_pszData + length, text, count * sizeof(WCHAR));
    } else {
        const std::size_t wanted = length + count;
        const std::size_t spare = length == 0 ? 0 : std::min(wanted, kMostCharacters - wanted);
        WCHAR* grown = Allocate(wanted + spare);
        if (grown == nullptr) {
            return *this;
        }
        std::memcpy(grown, m_pszData, length * sizeof(WCHAR));
        std::memcpy(grown + length, text, count * sizeof(WCHAR));
        DropOwner();
        m_pszData = grown;
    }
    GetBlock()->length = length + count;
    m_pszData[length + count] = 0;
    return *this;
}

// Decodes UTF-8 one scalar value at a time, straight into a block of as many code units as
// there are bytes (never too few). A malformed sequence (bad lead byte, overlong
// form, surrogate, value above U+10FFFF, missing continuation) becomes one U+FFFD for its
// longest valid-looking prefix, and decoding resumes at the first byte that does not belong
// to it.
CString CString::FromUtf8(std::string_view text) noexcept {
    CString result;
    if (text.empty()) {
        return result;
    }
    WCHAR* out = Allocate(text.size()); // never more code units than bytes
    if (out == nullptr) {
        return result;
    }
    result.m_pszData = out;
    std::size_t written = 0;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
        std::uint8_t lead = byte(i);
        if (lead < 0x80) {
            out[written++] = static_cast<WCHAR>(lead);
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
            out[written++] = static_cast<WCHAR>(kReplacement);
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
        written += PutUtf16(out + written, ok ? cp : kReplacement);
        i = j;
    }
    out[written] = 0;
    result.GetBlock()->length = written;
    return result;
}

// Encodes UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string CString::ToUtf8() const noexcept try {
    std::string out;
    const std::size_t n = GetLength();
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        char32_t unit = static_cast<std::uint16_t>(m_pszData[i]);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < n) {
            char32_t low = static_cast<std::uint16_t>(m_pszData[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
    }
    return out;
} catch (...) {
    return {};
}

} // namespace Celdor
