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

// The state bits are crossed (0x8000 alone is 2, 0x10000 alone is 1); both with the detection
// bit is invalid. Bits outside 0x98000 never matter.
TEST_F(AdapterTest, StatusWordDecoding) {
    struct Case {
        std::uint32_t word;
        int status;
        int detect;
    };
    const Case cases[] = {
        {0x00000000, 0, 0},  {0x00008000, 2, 0}, {0x00010000, 1, 0}, {0x00018000, 3, 0},
        {0x00098000, -1, 1}, {0x00080000, 0, 1}, {0x00088000, 2, 1}, {0x00090000, 1, 1},
    };
    for (const Case& c : cases) {
        for (std::uint32_t noise : {0u, ~0x98000u}) {
            const std::uint32_t word = c.word | noise;
            SCOPED_TRACE(::testing::Message() << std::hex << "status word 0x" << word);
            nb().fervo().statusWord = word;
            EXPECT_EQ(CAdapter::GetAdapterStatus(), c.status);
            EXPECT_EQ(CAdapter::IsSupportAdapterModeDetect(), c.detect);
        }
    }
}

// Each query asks once through a channel of its own and closes it.
TEST_F(AdapterTest, EachQueryOpensAsksOnceAndCloses) {
    nb().fervo().statusWord = 0x8000;
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

TEST_F(AdapterTest, RefusedRequestGivesNoStateAndNoDetection) {
    nb().fervo().statusWord = 0x80000;
    nb().fervo().script(kPowerCommand, 0xFF, FervoReply::Fail(ERROR_GEN_FAILURE));
    nb().fervo().script(kPowerCommand, 0xFF, FervoReply::Fail(ERROR_GEN_FAILURE));
    EXPECT_EQ(CAdapter::GetAdapterStatus(), -1);
    EXPECT_EQ(CAdapter::IsSupportAdapterModeDetect(), 0);
}

// A reply shorter than the status word fills only its own bytes: the rest keeps the zeros the
// query preset, so neither the high state bit nor the detection bit shows. A longer reply
// overflows the word and fails the query.
TEST_F(AdapterTest, ShortReplyKeepsThePresetZerosAndALongOneFails) {
    nb().fervo().script(kPowerCommand, 0xFF, FervoReply::Bytes({0x00, 0x80}));
    nb().fervo().script(kPowerCommand, 0xFF, FervoReply::Bytes({0x00, 0x80}));
    EXPECT_EQ(CAdapter::GetAdapterStatus(), 2);
    EXPECT_EQ(CAdapter::IsSupportAdapterModeDetect(), 0);

    nb().fervo().script(kPowerCommand, 0xFF, FervoReply::Bytes({0x00, 0x80, 0x00, 0x00, 0x00}));
    EXPECT_EQ(CAdapter::GetAdapterStatus(), -1);
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
