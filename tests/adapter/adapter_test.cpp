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

// Each query asks once through a channel of its own and closes it.
TEST_F(AdapterTest, EachQueryOpensAsksOnceAndCloses) {
    nb().fervo().firmware().setAdapterState(2); // status bit 0x8000
    EXPECT_EQ(CAdapter::GetAdapterStatus(), 2);
    EXPECT_EQ(CAdapter::IsSupportAdapterModeDetect(), 0);
    EXPECT_EQ(nb().journal().count("CreateFileW"), 2u);
    EXPECT_EQ(nb().journal().count("CloseHandle"), 2u);
    auto requests = nb().fervo().requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& request : requests) {
        EXPECT_EQ(request.code, kPowerCommand);
        EXPECT_EQ(request.input, std::vector<std::uint8_t>{0xFF});
        EXPECT_EQ(request.outSize, 4u);
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

TEST_F(AdapterTest, FixedAnswersAskNothing) {
    for (bool present : {true, false}) {
        nb().fervo().present = present;
        EXPECT_EQ(CAdapter::GetACAdapterType(), -1);
        EXPECT_EQ(CAdapter::GetAdapterWattage(), -1);
        EXPECT_EQ(CAdapter::IsHarluneAdapter(), -1);
    }
    EXPECT_TRUE(nb().journal().calls().empty());
}

} // namespace
