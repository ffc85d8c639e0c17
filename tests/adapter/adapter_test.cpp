// CAdapter against the simulated notebook: AC presence from the system power status, the
// adapter state and detection bit from the driver's power status word.
#include "sim_test.h"

#include <celdor/adapter.h>

#include <cstdint>

using Celdor::CAdapter;
using celdor::sim::Fault;
using celdor::sim::FervoReply;

namespace {

constexpr DWORD kPowerCommand = 0x831020F8;

class AdapterTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        nb().fervo().present = true;
    }
};

// Words no firmware sends: bits outside 0x98000 never matter. A refused request, or a reply
// longer than the status word, gives no state and no detection; a shorter reply fills only its
// own bytes and the rest keeps the zeros the query preset. (The states a firmware reports are
// checked end to end by the portable tests.)
TEST_F(AdapterTest, StatusWordDecoding) {
    const struct {
        FervoReply reply;
        int status;
        int detect;
    } cases[] = {
        {FervoReply::Word(0xFFF67FFF), 0, 0},
        {FervoReply::Word(0xFFFEFFFF), 2, 1},
        {FervoReply::Word(0xFFFFFFFF), -1, 1},
        {FervoReply::Fail(ERROR_GEN_FAILURE), -1, 0},
        {FervoReply::Bytes({0x00, 0x80}), 2, 0},
        {FervoReply::Bytes({0x00, 0x80, 0x08, 0x00, 0x00}), -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "reply " << ::testing::PrintToString(c.reply.bytes)
                                          << ", error " << c.reply.error);
        nb().fervo().script(kPowerCommand, 0xFF, c.reply);
        nb().fervo().script(kPowerCommand, 0xFF, c.reply);
        EXPECT_EQ(CAdapter::GetAdapterStatus(), c.status);
        EXPECT_EQ(CAdapter::IsSupportAdapterModeDetect(), c.detect);
    }
}

// On line only when the system says so; unknown, or no answer at all, is not on line.
TEST_F(AdapterTest, AcPresenceIsTheSystemsLineStatus) {
    for (BYTE line : {1, 0, 255}) {
        nb().powerStatus().ACLineStatus = line;
        EXPECT_EQ(CAdapter::IsACIn(), line == 1 ? 1 : 0) << int(line);
    }
    nb().faults().inject("GetSystemPowerStatus", Fault::Once(ERROR_GEN_FAILURE));
    EXPECT_EQ(CAdapter::IsACIn(), 0);
}

} // namespace
