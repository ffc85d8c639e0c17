// The library's wide-string helpers and CString: the message formatter, the C runtime's
// decimal conversions, and UTF-8 at the edges.
#include "out_of_memory.h"
#include "support/wstr.h"

#include <celdor/batteryinformation.h>
#include <celdor/cstring.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

using Celdor::CString;
namespace Text = Celdor::Text;

namespace {

std::u16string Fmt(const WCHAR* format, ...) {
    WCHAR buffer[256];
    va_list args;
    va_start(args, format);
    int n = Text::FormatV(buffer, 256, format, args);
    va_end(args);
    EXPECT_GE(n, 0);
    return std::u16string(buffer);
}

// What the library's messages use beyond the log's own lines (which the log's tests read): the
// battery firmware text, extreme values, padding, a null or non-ASCII string.
TEST(WideFormat, TheLibrarysDirectives) {
    EXPECT_EQ(Fmt(W("%02X%02X-%02X%02X-%02X%02X-%02X%02X"), 0x12u, 0x34u, 0x56u, 0x78u, 0x9Au,
                  0xBCu, 0xDEu, 0xF0u),
              u"1234-5678-9ABC-DEF0");
    EXPECT_EQ(Fmt(W("%d %d %d"), 0, -7, INT_MIN), u"0 -7 -2147483648");
    EXPECT_EQ(Fmt(W("%x %X %x"), 0u, 0xBEEFu, 0xFFFFFFFFu), u"0 BEEF ffffffff");
    EXPECT_EQ(Fmt(W("[%02X][%02X][%05d][%03x]"), 0x5u, 0x123u, -42, 0xAu),
              u"[05][123][-0042][00a]");
    EXPECT_EQ(Fmt(W("%s|%s"), static_cast<const WCHAR*>(nullptr), W("\u20AC \U0001D11E")),
              u"(null)|\u20AC \U0001D11E");
    EXPECT_EQ(Fmt(W("100%%")), u"100%");
}

// Anything the messages do not use is refused outright: nothing is printed, -1 is returned.
TEST(WideFormat, RefusesWhatItDoesNotKnow) {
    const WCHAR* const formats[] = {
        W("%i"),   W("%u"),  W("%o"),  W("%c"),   W("%p"),   W("%f"),    W("%n"),
        W("%ls"),  W("%hs"), W("%S"),  W("%ld"),  W("%lld"), W("%I64x"), W("%5s"),
        W("%-d"),  W("%+d"), W("%2X"), W("%.3d"), W("%*d"),  W("%010d"), W("%02s"),
        W("%00d"), W("%0d"), W("%#x"), W("%q"),   W("%"),
    };
    for (const WCHAR* directive : formats) {
        const std::u16string format = u"before " + std::u16string(directive) + u" after %s";
        SCOPED_TRACE(CString(format.c_str()).ToUtf8());
        WCHAR buffer[32] = {W('x')};
        EXPECT_EQ(Text::Format(buffer, 32, format.c_str(), 1, W("text")), -1);
        EXPECT_EQ(buffer[0], 0);
    }
}

TEST(WideFormat, AlwaysTerminatesAndReportsTruncation) {
    WCHAR buffer[6];
    EXPECT_EQ(Text::Format(buffer, 6, W("%s"), W("abcde")), 5);
    EXPECT_EQ(std::u16string(buffer), u"abcde");
    EXPECT_EQ(Text::Format(buffer, 6, W("%s"), W("abcdef")), -1);
    EXPECT_EQ(std::u16string(buffer), u"abcde");
    EXPECT_EQ(Text::Format(buffer, 1, W("x")), -1);
    EXPECT_EQ(buffer[0], 0);
    // A surrogate pair is never cut in half.
    EXPECT_EQ(Text::Format(buffer, 6, W("abcd\U0001D11E")), -1);
    EXPECT_EQ(std::u16string(buffer), u"abcd");
}

// The rules an INI value cannot show (its reader strips blanks and never gives an empty or null
// text); the others are read through GetDWForIni.
TEST(WideText, ToIntSkipsWhiteSpaceAndTakesNothingAsZero) {
    EXPECT_EQ(Text::ToInt(W(" \t\r\n-45xyz")), -45);
    EXPECT_EQ(Text::ToInt(W("")), 0);
    EXPECT_EQ(Text::ToInt(nullptr), 0);
}

// The errors of the safe runtime function; the values are written through SetDWForIni.
TEST(WideText, FromIntReportsABufferTooSmallOrMissing) {
    WCHAR buffer[12];
    EXPECT_EQ(Text::FromInt(0, buffer, 2), 0);
    EXPECT_EQ(std::u16string(buffer), u"0");
    EXPECT_EQ(Text::FromInt(-12, buffer, 3), 34);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(Text::FromInt(1, nullptr, 4), 22);
    EXPECT_EQ(Text::FromInt(1, buffer, 0), 22);
}

TEST(CStringText, Utf8RoundTripAndReplacement) {
    const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E";
    CString wide = CString::FromUtf8(text);
    EXPECT_EQ(wide.View(), u"A\u00E9\u20AC\U0001D11E");
    EXPECT_EQ(wide.ToUtf8(), text);

    // Bad lead, overlong, encoded surrogate, above U+10FFFF, truncated sequence.
    EXPECT_EQ(CString::FromUtf8("\x80x").View(), u"\uFFFDx");
    EXPECT_EQ(CString::FromUtf8("\xC0\xAF").View(), u"\uFFFD\uFFFD");
    EXPECT_EQ(CString::FromUtf8("\xED\xA0\x80").View(), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(CString::FromUtf8("\xF4\x90\x80\x80").View(), u"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(CString::FromUtf8("\xE2\x82").View(), u"\uFFFD");
    EXPECT_EQ(CString::FromUtf8("\xE2\x82x").View(), u"\uFFFDx");

    const WCHAR lone[] = {W('a'), 0xD800, W('b'), 0xDC00, 0};
    EXPECT_EQ(CString(lone).ToUtf8(), "a\xEF\xBF\xBD"
                                      "b\xEF\xBF\xBD");
}

// Copies share their characters; a change to a shared string copies it first, even when what
// it appends is itself.
TEST(CStringText, CopiesShareUntilOneChanges) {
    const CString original(W("Quick"));
    CString copy = original;
    EXPECT_EQ(copy.GetString(), original.GetString());
    copy += copy;
    EXPECT_EQ(original.View(), u"Quick");
    EXPECT_EQ(copy.View(), u"QuickQuick");
    CString moved = std::move(copy);
    const CString& same = moved;
    moved = same; // assigning a string to itself keeps it
    EXPECT_EQ(moved.View(), u"QuickQuick");
    EXPECT_TRUE(copy.IsEmpty());
}

// With no memory at all: empty strings need none, a record copy shares its texts, a new string
// comes out empty and an append leaves its string as it was. A null text is the empty string.
TEST(CStringText, WithoutMemory) {
    Celdor::_BATTERY_INFORMATION_EX record;
    record.ManufacturerName = CString(W("Quillcell"));
    record.Firmware = CString::FromUtf8("1234-5678-9ABC-DEF0");
    CString kept(W("Normal"));
    t_allocationsBeforeFailure = 0;
    const CString none(static_cast<const WCHAR*>(nullptr));
    const CString empty(W(""));
    const Celdor::_BATTERY_INFORMATION_EX copy(record);
    const long allocationsLeft = t_allocationsBeforeFailure;
    const CString made(W("Quick"));
    t_allocationsBeforeFailure = 0;
    const CString decoded = CString::FromUtf8("Quick");
    t_allocationsBeforeFailure = 0;
    kept += W(" mode");
    t_allocationsBeforeFailure = -1;

    EXPECT_EQ(allocationsLeft, 0);
    EXPECT_TRUE(none.IsEmpty());
    EXPECT_EQ(empty.GetString()[0], 0);
    EXPECT_EQ(copy.ManufacturerName.View(), u"Quillcell");
    EXPECT_EQ(copy.Firmware.GetString(), record.Firmware.GetString());
    EXPECT_TRUE(made.IsEmpty());
    EXPECT_TRUE(decoded.IsEmpty());
    EXPECT_EQ(kept.View(), u"Normal");
}

} // namespace
