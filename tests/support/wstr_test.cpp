// The library's wide-string helpers and CString: the Windows wide printf rules, the C runtime's
// decimal conversions, and UTF-8 at the edges.
#include "support/wstr.h"

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

TEST(WideFormat, StringsFollowTheWideRules) {
    EXPECT_EQ(Fmt(W("%s|%ls|%ws"), W("wide"), W("also"), W("too")), u"wide|also|too");
    EXPECT_EQ(Fmt(W("%hs|%S|%hS"), "narrow", "also", "too"), u"narrow|also|too");
    EXPECT_EQ(Fmt(W("%c%hc%C%lc"), W('w'), 'n', 'N', W('\u20AC')), u"wnN\u20AC");
    EXPECT_EQ(
        Fmt(W("[%s][%hs]"), static_cast<const WCHAR*>(nullptr), static_cast<const char*>(nullptr)),
        u"[(null)][(null)]");
    EXPECT_EQ(Fmt(W("[%5s][%-5s][%.2s][%05s]"), W("ab"), W("ab"), W("abc"), W("ab")),
              u"[   ab][ab   ][ab][000ab]");
    EXPECT_EQ(Fmt(W("[%*s][%-*.*s]"), 4, W("a"), 4, 1, W("bc")), u"[   a][b   ]");
    EXPECT_EQ(Fmt(W("%*s|"), -3, W("a")), u"a  |");
    EXPECT_EQ(Fmt(W("%hs"), "\xE9"), u"\u00E9"); // bytes are widened one to one
}

TEST(WideFormat, Integers) {
    EXPECT_EQ(Fmt(W("%d %i %d"), 42, -7, INT_MIN), u"42 -7 -2147483648");
    EXPECT_EQ(Fmt(W("%u %x %X %o"), 4294967295u, 0xB7u, 0xBEEFu, 8u), u"4294967295 b7 BEEF 10");
    EXPECT_EQ(Fmt(W("%x"), -1), u"ffffffff");
    EXPECT_EQ(Fmt(W("[%5d][%-5d][%05d][%+d][% d][%+05d]"), 42, 42, -42, 42, 42, 42),
              u"[   42][42   ][-0042][+42][ 42][+0042]");
    EXPECT_EQ(Fmt(W("[%.3d][%06.3d][%.0d][%#x][%#X][%#o][%#x]"), 7, 7, 0, 255u, 255u, 8u, 0u),
              u"[007][   007][][0xff][0XFF][010][0]");
    EXPECT_EQ(Fmt(W("%hd %hhd %hu"), 70000, 300, 70000), u"4464 44 4464");
    EXPECT_EQ(Fmt(W("%ld %lx"), -5L, 0xFFFFFFFFUL), u"-5 ffffffff");
    EXPECT_EQ(Fmt(W("%lld %I64d %I64x %llu"), -1LL << 40, INT64_MAX, 0x123456789ALL,
                  18446744073709551615ULL),
              u"-1099511627776 9223372036854775807 123456789a 18446744073709551615");
    EXPECT_EQ(Fmt(W("%I32d %Iu %zu"), -3, std::size_t(5), std::size_t(6)), u"-3 5 6");
    EXPECT_EQ(Fmt(W("%.*d|%.*d"), 4, 5, -1, 5), u"0005|5");
}

TEST(WideFormat, PointersPercentAndUnknownConversions) {
    EXPECT_EQ(Fmt(W("%p"), reinterpret_cast<void*>(0x12FF7C)), u"000000000012FF7C");
    EXPECT_EQ(Fmt(W("100%% %q %")), u"100% %q %");
    EXPECT_EQ(Fmt(W("%.2f %e"), 3.14159, 1.5), u"3.14 1.500000e+00");
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

TEST(WideText, LengthAndCompare) {
    EXPECT_EQ(Text::Length(W("abc")), 3u);
    EXPECT_EQ(Text::Length(nullptr), 0u);
    EXPECT_EQ(Text::Compare(W("abc"), W("abc")), 0);
    EXPECT_LT(Text::Compare(W("ab"), W("abc")), 0);
    EXPECT_GT(Text::Compare(W("b"), W("abc")), 0);
    EXPECT_LT(Text::Compare(nullptr, W("")), 0);
    EXPECT_EQ(Text::Compare(nullptr, nullptr), 0);
}

TEST(WideText, ToIntFollowsTheRuntimeRules) {
    EXPECT_EQ(Text::ToInt(W("123")), 123);
    EXPECT_EQ(Text::ToInt(W(" \t\r\n-45xyz")), -45);
    EXPECT_EQ(Text::ToInt(W("+7")), 7);
    EXPECT_EQ(Text::ToInt(W("abc")), 0);
    EXPECT_EQ(Text::ToInt(W("- 5")), 0);
    EXPECT_EQ(Text::ToInt(W("")), 0);
    EXPECT_EQ(Text::ToInt(nullptr), 0);
    EXPECT_EQ(Text::ToInt(W("0x10")), 0);
    EXPECT_EQ(Text::ToInt(W("2147483647")), INT_MAX);
    EXPECT_EQ(Text::ToInt(W("2147483648")), INT_MAX);
    EXPECT_EQ(Text::ToInt(W("-2147483648")), INT_MIN);
    EXPECT_EQ(Text::ToInt(W("-99999999999999999999")), INT_MIN);
    EXPECT_EQ(Text::ToInt(W("000000000000000000042")), 42);
}

TEST(WideText, FromIntLikeTheSafeRuntimeFunction) {
    WCHAR buffer[12];
    EXPECT_EQ(Text::FromInt(INT_MIN, buffer, 12), 0);
    EXPECT_EQ(std::u16string(buffer), u"-2147483648");
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
    EXPECT_EQ(wide.Str(), u"A\u00E9\u20AC\U0001D11E");
    EXPECT_EQ(wide.ToUtf8(), text);

    // Bad lead, overlong, encoded surrogate, above U+10FFFF, truncated sequence.
    EXPECT_EQ(CString::FromUtf8("\x80x").Str(), u"\uFFFDx");
    EXPECT_EQ(CString::FromUtf8("\xC0\xAF").Str(), u"\uFFFD\uFFFD");
    EXPECT_EQ(CString::FromUtf8("\xED\xA0\x80").Str(), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(CString::FromUtf8("\xF4\x90\x80\x80").Str(), u"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(CString::FromUtf8("\xE2\x82").Str(), u"\uFFFD");
    EXPECT_EQ(CString::FromUtf8("\xE2\x82x").Str(), u"\uFFFDx");

    const WCHAR lone[] = {W('a'), 0xD800, W('b'), 0xDC00, 0};
    EXPECT_EQ(CString(lone).ToUtf8(), "a\xEF\xBF\xBD"
                                      "b\xEF\xBF\xBD");
}

TEST(CStringText, ValueOperations) {
    CString empty(static_cast<const WCHAR*>(nullptr));
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(empty.GetString()[0], 0);
    CString text(W("Power"));
    text += W(" plan");
    text += CString(W("s"));
    EXPECT_EQ(text, CString(W("Power plans")));
    EXPECT_EQ(text.GetLength(), 11u);
    EXPECT_EQ(CString(W("abc"), 2), CString(W("ab")));
    EXPECT_LT(CString(W("a")), CString(W("b")));
    EXPECT_LT(CString(W("Z")), CString(W("a"))); // by code unit, not by letter
}

} // namespace
