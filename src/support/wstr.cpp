#include "support/wstr.h"

#include <climits>
#include <cstdint>
#include <new>

namespace Celdor::Text {

namespace {

// Collects the output of one FormatV call: stores what fits (leaving room for the terminator)
// and remembers whether anything was cut.
class Sink {
public:
    Sink(WCHAR* buffer, std::size_t count) : m_buffer(buffer), m_count(count) {}

    void Put(WCHAR c) {
        if (m_count > 0 && m_written + 1 < m_count) {
            m_buffer[m_written++] = c;
        } else {
            m_truncated = true;
        }
    }
    void Put(const WCHAR* text) {
        for (; *text != 0; ++text) {
            Put(*text);
        }
    }

    int Finish() {
        if (m_count == 0) {
            return -1;
        }
        // A high surrogate at the cut has lost its partner: drop it too.
        if (m_truncated && m_written > 0 && m_buffer[m_written - 1] >= 0xD800 &&
            m_buffer[m_written - 1] <= 0xDBFF) {
            --m_written;
        }
        m_buffer[m_written] = 0;
        return m_truncated ? -1 : static_cast<int>(m_written);
    }

    // A format this helper does not know: nothing of it is kept.
    int Refuse() {
        if (m_count > 0) {
            m_buffer[0] = 0;
        }
        return -1;
    }

private:
    WCHAR* m_buffer;
    std::size_t m_count;
    std::size_t m_written = 0;
    bool m_truncated = false;
};

bool IsDigit(WCHAR c) {
    return c >= W('0') && c <= W('9');
}

// A minus sign when negative, then zeros up to `width` characters, then the digits.
void PutNumber(Sink& out, bool negative, std::uint32_t magnitude, unsigned base, bool upper,
               unsigned width) {
    const char* digitsOf = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    WCHAR digits[10]; // 4294967295 is the longest
    unsigned n = 0;
    do {
        digits[n++] = static_cast<WCHAR>(digitsOf[magnitude % base]);
        magnitude /= base;
    } while (magnitude != 0);
    if (negative) {
        out.Put(W('-'));
    }
    for (unsigned used = n + (negative ? 1 : 0); used < width; ++used) {
        out.Put(W('0'));
    }
    while (n > 0) {
        out.Put(digits[--n]);
    }
}

} // namespace

std::size_t Length(const WCHAR* text) {
    if (text == nullptr) {
        return 0;
    }
    std::size_t n = 0;
    while (text[n] != 0) {
        ++n;
    }
    return n;
}

int Compare(const WCHAR* a, const WCHAR* b) {
    if (a == nullptr || b == nullptr) {
        return (a == nullptr ? 0 : 1) - (b == nullptr ? 0 : 1);
    }
    for (;; ++a, ++b) {
        if (*a != *b) {
            return static_cast<std::uint16_t>(*a) < static_cast<std::uint16_t>(*b) ? -1 : 1;
        }
        if (*a == 0) {
            return 0;
        }
    }
}

int FormatV(WCHAR* buffer, std::size_t count, const WCHAR* format, va_list args) {
    Sink out(buffer, count);
    if (format == nullptr) {
        return out.Finish();
    }
    for (const WCHAR* p = format; *p != 0; ++p) {
        if (*p != W('%')) {
            out.Put(*p);
            continue;
        }
        ++p;
        unsigned width = 0;
        if (p[0] == W('0') && p[1] >= W('1') && p[1] <= W('9')) {
            width = static_cast<unsigned>(p[1] - W('0'));
            p += 2;
        }
        const WCHAR conversion = *p;
        const bool numeric = conversion == W('d') || conversion == W('x') || conversion == W('X');
        if (width != 0 && !numeric) {
            return out.Refuse();
        }
        switch (conversion) {
        case W('%'):
            out.Put(W('%'));
            break;
        case W('s'): {
            const WCHAR* text = va_arg(args, const WCHAR*);
            out.Put(text != nullptr ? text : W("(null)"));
            break;
        }
        case W('d'): {
            const int value = va_arg(args, int);
            const auto bits = static_cast<std::uint32_t>(value);
            PutNumber(out, value < 0, value < 0 ? 0u - bits : bits, 10, false, width);
            break;
        }
        case W('x'):
        case W('X'):
            PutNumber(out, false, va_arg(args, unsigned int), 16, conversion == W('X'), width);
            break;
        default: // including the terminator after a lone '%'
            return out.Refuse();
        }
    }
    return out.Finish();
}

int Format(WCHAR* buffer, std::size_t count, const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    int result = FormatV(buffer, count, format, args);
    va_end(args);
    return result;
}

int ToInt(const WCHAR* text) {
    if (text == nullptr) {
        return 0;
    }
    const WCHAR* p = text;
    while (*p == W(' ') || (*p >= W('\t') && *p <= W('\r'))) {
        ++p;
    }
    bool negative = false;
    if (*p == W('+') || *p == W('-')) {
        negative = *p == W('-');
        ++p;
    }
    // Accumulate the magnitude; past 2^31 the result is clamped either way.
    constexpr std::int64_t limit = std::int64_t{INT_MAX} + 1;
    std::int64_t magnitude = 0;
    for (; IsDigit(*p); ++p) {
        if (magnitude <= limit) {
            magnitude = magnitude * 10 + (*p - W('0'));
        }
    }
    if (negative) {
        return magnitude >= limit ? INT_MIN : static_cast<int>(-magnitude);
    }
    return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

int FromInt(int value, WCHAR* buffer, std::size_t count) {
    constexpr int kInvalid = 22; // EINVAL
    constexpr int kRange = 34;   // ERANGE
    if (buffer == nullptr || count == 0) {
        return kInvalid;
    }
    WCHAR digits[12];
    std::size_t n = 0;
    std::uint32_t magnitude =
        value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    do {
        digits[n++] = static_cast<WCHAR>(W('0') + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    std::size_t needed = n + (value < 0 ? 1 : 0) + 1;
    if (needed > count) {
        buffer[0] = 0;
        return kRange;
    }
    std::size_t i = 0;
    if (value < 0) {
        buffer[i++] = W('-');
    }
    while (n > 0) {
        buffer[i++] = digits[--n];
    }
    buffer[i] = 0;
    return 0;
}

CString Whole(const WCHAR* text, std::size_t length) {
    CString made(text, length);
    if (text != nullptr && made.GetLength() != length) {
        throw std::bad_alloc();
    }
    return made;
}

// Every byte gives at least one code unit, so only an empty result from text can mean that
// memory ran out.
CString WholeUtf8(std::string_view text) {
    CString made = CString::FromUtf8(text);
    if (made.IsEmpty() && !text.empty()) {
        throw std::bad_alloc();
    }
    return made;
}

} // namespace Celdor::Text
