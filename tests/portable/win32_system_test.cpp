// The code page conversion that builds the log's path and time stamp.
#include "portable.h"

#include <gtest/gtest.h>

namespace {

// A negative length reads up to the terminator and counts it, whatever its value; a length of
// 0 is refused.
TEST(Win32Text, ANegativeLengthReadsUpToTheTerminator) {
    const struct {
        int length;
        int converted;
    } cases[] = {{-1, 4}, {-2, 4}, {-2002, 4}, {3, 3}, {0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        WCHAR wide[8] = {};
        SetLastError(0xdeadbeef);
        EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", c.length, wide, 8), c.converted);
        EXPECT_EQ(GetLastError(), c.converted ? 0xdeadbeef : DWORD(ERROR_INVALID_PARAMETER));
    }
}

} // namespace
