#include "support/wstr.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>

namespace Celdor::Text {

namespace {

using WString = std::basic_string<WCHAR>;

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
    void Repeat(WCHAR c, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            Put(c);
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

private:
    WCHAR* m_buffer;
    std::size_t m_count;
    std::size_t m_written = 0;
    bool m_truncated = false;
};

struct FieldFormat {
    bool left = false;
    bool plus = false;
    bool blank = false;
    bool zero = false;
    bool alternate = false;
    std::size_t width = 0;
    int precision = -1; // -1: none given
};

enum class Size { None, Char, Short, Long, LongLong, Int32, Int64, Pointer, Max, LongDouble, Wide };

bool IsDigit(WCHAR c) {
    return c >= W('0') && c <= W('9');
}

// Pads and writes one converted field. `prefix` (sign, "0x") goes before zero padding.
void EmitField(Sink& out, const FieldFormat& field, const WString& prefix, const WString& body,
               bool zeroPadAllowed) {
    std::size_t length = prefix.size() + body.size();
    std::size_t pad = field.width > length ? field.width - length : 0;
    bool zeroPad = zeroPadAllowed && field.zero && !field.left;
    if (!field.left && !zeroPad) {
        out.Repeat(W(' '), pad);
    }
    for (WCHAR c : prefix) {
        out.Put(c);
    }
    if (zeroPad) {
        out.Repeat(W('0'), pad);
    }
    for (WCHAR c : body) {
        out.Put(c);
    }
    if (field.left) {
        out.Repeat(W(' '), pad);
    }
}

void EmitInteger(Sink& out, const FieldFormat& field, bool negative, std::uint64_t magnitude,
                 unsigned base, bool upper, bool isSigned) {
    const char* digitsOf = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    WString digits;
    for (std::uint64_t v = magnitude; v != 0; v /= base) {
        digits.insert(digits.begin(), static_cast<WCHAR>(digitsOf[v % base]));
    }
    if (magnitude == 0 && field.precision != 0) {
        digits = W("0");
    }
    if (field.precision > 0 && digits.size() < static_cast<std::size_t>(field.precision)) {
        digits.insert(0, static_cast<std::size_t>(field.precision) - digits.size(), W('0'));
    }
    WString prefix;
    if (isSigned) {
        if (negative) {
            prefix = W("-");
        } else if (field.plus) {
            prefix = W("+");
        } else if (field.blank) {
            prefix = W(" ");
        }
    }
    if (field.alternate) {
        if (base == 16 && magnitude != 0) {
            prefix += upper ? W("0X") : W("0x");
        } else if (base == 8 && (digits.empty() || digits[0] != W('0'))) {
            digits.insert(digits.begin(), W('0'));
        }
    }
    // With a precision, the '0' flag is ignored for integers.
    EmitField(out, field, prefix, digits, field.precision < 0);
}

void EmitWideString(Sink& out, const FieldFormat& field, const WCHAR* text) {
    WString body;
    const WCHAR* s = text ? text : W("(null)");
    for (std::size_t i = 0; s[i] != 0; ++i) {
        if (field.precision >= 0 && i >= static_cast<std::size_t>(field.precision)) {
            break;
        }
        body.push_back(s[i]);
    }
    EmitField(out, field, {}, body, true);
}

void EmitNarrowString(Sink& out, const FieldFormat& field, const char* text) {
    WString body;
    const char* s = text ? text : "(null)";
    for (std::size_t i = 0; s[i] != 0; ++i) {
        if (field.precision >= 0 && i >= static_cast<std::size_t>(field.precision)) {
            break;
        }
        body.push_back(static_cast<WCHAR>(static_cast<unsigned char>(s[i])));
    }
    EmitField(out, field, {}, body, true);
}

void EmitFloat(Sink& out, const FieldFormat& field, char conversion, bool longDouble,
               va_list& args) {
    std::string narrow = "%";
    if (field.left) {
        narrow += '-';
    }
    if (field.plus) {
        narrow += '+';
    }
    if (field.blank) {
        narrow += ' ';
    }
    if (field.zero) {
        narrow += '0';
    }
    if (field.alternate) {
        narrow += '#';
    }
    if (field.width > 0) {
        narrow += std::to_string(field.width);
    }
    if (field.precision >= 0) {
        narrow += '.' + std::to_string(field.precision);
    }
    std::string text;
    if (longDouble) {
        narrow += 'L';
        narrow += conversion;
        long double value = va_arg(args, long double);
        int n = std::snprintf(nullptr, 0, narrow.c_str(), value);
        text.resize(n > 0 ? static_cast<std::size_t>(n) + 1 : 1);
        std::snprintf(text.data(), text.size(), narrow.c_str(), value);
    } else {
        narrow += conversion;
        double value = va_arg(args, double);
        int n = std::snprintf(nullptr, 0, narrow.c_str(), value);
        text.resize(n > 0 ? static_cast<std::size_t>(n) + 1 : 1);
        std::snprintf(text.data(), text.size(), narrow.c_str(), value);
    }
    for (char c : text) {
        if (c == 0) {
            break;
        }
        out.Put(static_cast<WCHAR>(static_cast<unsigned char>(c)));
    }
}

std::int64_t TakeSigned(Size length, va_list& args) {
    switch (length) {
    case Size::Char:
        return static_cast<signed char>(va_arg(args, int));
    case Size::Short:
        return static_cast<short>(va_arg(args, int));
    case Size::Long:
        // long is 32 bits on Windows: only those take part.
        return static_cast<std::int32_t>(va_arg(args, long));
    case Size::LongLong:
    case Size::Int64:
        return va_arg(args, long long);
    case Size::Pointer:
        return static_cast<std::int64_t>(va_arg(args, std::ptrdiff_t));
    case Size::Max:
        return static_cast<std::int64_t>(va_arg(args, std::intmax_t));
    default:
        return va_arg(args, int);
    }
}

std::uint64_t TakeUnsigned(Size length, va_list& args) {
    switch (length) {
    case Size::Char:
        return static_cast<unsigned char>(va_arg(args, unsigned int));
    case Size::Short:
        return static_cast<unsigned short>(va_arg(args, unsigned int));
    case Size::Long:
        return static_cast<std::uint32_t>(va_arg(args, unsigned long));
    case Size::LongLong:
    case Size::Int64:
        return va_arg(args, unsigned long long);
    case Size::Pointer:
        return static_cast<std::uint64_t>(va_arg(args, std::size_t));
    case Size::Max:
        return static_cast<std::uint64_t>(va_arg(args, std::uintmax_t));
    default:
        return va_arg(args, unsigned int);
    }
}

bool StartsWith(const WCHAR* text, const WCHAR* prefix) {
    for (; *prefix != 0; ++prefix, ++text) {
        if (*text != *prefix) {
            return false;
        }
    }
    return true;
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
    // A copy, so that the helpers can take arguments through a reference on every ABI.
    va_list ap;
    va_copy(ap, args);
    const WCHAR* p = format;
    while (*p != 0) {
        if (*p != W('%')) {
            out.Put(*p++);
            continue;
        }
        const WCHAR* start = p++;
        if (*p == W('%')) {
            out.Put(W('%'));
            ++p;
            continue;
        }
        FieldFormat field;
        for (bool more = true; more;) {
            switch (*p) {
            case W('-'):
                field.left = true;
                ++p;
                break;
            case W('+'):
                field.plus = true;
                ++p;
                break;
            case W(' '):
                field.blank = true;
                ++p;
                break;
            case W('0'):
                field.zero = true;
                ++p;
                break;
            case W('#'):
                field.alternate = true;
                ++p;
                break;
            default:
                more = false;
            }
        }
        if (*p == W('*')) {
            int width = va_arg(ap, int);
            if (width < 0) {
                field.left = true;
                width = width == INT_MIN ? INT_MAX : -width;
            }
            field.width = static_cast<std::size_t>(width);
            ++p;
        } else {
            while (IsDigit(*p)) {
                field.width = field.width * 10 + static_cast<std::size_t>(*p++ - W('0'));
            }
        }
        if (*p == W('.')) {
            ++p;
            if (*p == W('*')) {
                int precision = va_arg(ap, int);
                field.precision = precision < 0 ? -1 : precision;
                ++p;
            } else {
                field.precision = 0;
                while (IsDigit(*p)) {
                    field.precision = field.precision * 10 + static_cast<int>(*p++ - W('0'));
                }
            }
        }
        Size length = Size::None;
        if (*p == W('h')) {
            ++p;
            length = Size::Short;
            if (*p == W('h')) {
                ++p;
                length = Size::Char;
            }
        } else if (*p == W('l')) {
            ++p;
            length = Size::Long;
            if (*p == W('l')) {
                ++p;
                length = Size::LongLong;
            }
        } else if (*p == W('w')) {
            ++p;
            length = Size::Wide;
        } else if (*p == W('L')) {
            ++p;
            length = Size::LongDouble;
        } else if (*p == W('I')) {
            ++p;
            if (StartsWith(p, W("64"))) {
                p += 2;
                length = Size::Int64;
            } else if (StartsWith(p, W("32"))) {
                p += 2;
                length = Size::Int32;
            } else {
                length = Size::Pointer;
            }
        } else if (*p == W('z') || *p == W('t')) {
            ++p;
            length = Size::Pointer;
        } else if (*p == W('j')) {
            ++p;
            length = Size::Max;
        }

        WCHAR conversion = *p;
        if (conversion == 0) {
            // A lone "%" conversion at the end: copy it as it stands.
            for (const WCHAR* q = start; q < p; ++q) {
                out.Put(*q);
            }
            break;
        }
        ++p;
        switch (conversion) {
        case W('d'):
        case W('i'): {
            std::int64_t value = TakeSigned(length, ap);
            std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value)
                                                : static_cast<std::uint64_t>(value);
            EmitInteger(out, field, value < 0, magnitude, 10, false, true);
            break;
        }
        case W('u'):
            EmitInteger(out, field, false, TakeUnsigned(length, ap), 10, false, false);
            break;
        case W('o'):
            EmitInteger(out, field, false, TakeUnsigned(length, ap), 8, false, false);
            break;
        case W('x'):
        case W('X'):
            EmitInteger(out, field, false, TakeUnsigned(length, ap), 16, conversion == W('X'),
                        false);
            break;
        case W('p'): {
            FieldFormat pointer = field;
            pointer.precision = static_cast<int>(2 * sizeof(void*));
            pointer.alternate = false;
            auto value = reinterpret_cast<std::uintptr_t>(va_arg(ap, void*));
            EmitInteger(out, pointer, false, value, 16, true, false);
            break;
        }
        case W('c'):
        case W('C'): {
            int value = va_arg(ap, int);
            bool narrow = length == Size::Short ||
                          (conversion == W('C') && length != Size::Long && length != Size::Wide);
            WCHAR c = narrow ? static_cast<WCHAR>(static_cast<unsigned char>(value))
                             : static_cast<WCHAR>(value);
            EmitField(out, field, {}, WString(1, static_cast<WCHAR>(c)), true);
            break;
        }
        case W('s'):
        case W('S'): {
            bool narrow = length == Size::Short ||
                          (conversion == W('S') && length != Size::Long && length != Size::Wide);
            if (narrow) {
                EmitNarrowString(out, field, va_arg(ap, const char*));
            } else {
                EmitWideString(out, field, va_arg(ap, const WCHAR*));
            }
            break;
        }
        case W('e'):
        case W('E'):
        case W('f'):
        case W('F'):
        case W('g'):
        case W('G'):
        case W('a'):
        case W('A'):
            EmitFloat(out, field, static_cast<char>(conversion), length == Size::LongDouble, ap);
            break;
        default:
            // Unknown (and %n, which is never honoured): copy the conversion as it stands.
            for (const WCHAR* q = start; q < p; ++q) {
                out.Put(*q);
            }
            break;
        }
    }
    va_end(ap);
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

} // namespace Celdor::Text
