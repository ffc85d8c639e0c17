// The maker's control device as the platform presents it: dispatch of control codes,
// scripted replies and the record of requests.
#include "sim_test.h"

#include <celdor_platform/win32.h>

using namespace celdor::sim;

namespace {

constexpr DWORD kPowerCommand = 0x831020F8;

class DevicesTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        nb().fervo().present = true;
        nb().fervo().firmware().setAdapterState(3); // status word 0x00018000
    }
    static HANDLE Open() {
        return CreateFileW(u"\\\\.\\FervoDrv", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    static BOOL Request(HANDLE h, BYTE sub, DWORD& out) {
        DWORD returned = 0;
        out = 0;
        return DeviceIoControl(h, kPowerCommand, &sub, 1, &out, 4, &returned, nullptr);
    }
};

TEST_F(DevicesTest, ScriptedRepliesAreUsedOnceInOrder) {
    nb().fervo().script(kPowerCommand, 0xFF, FervoReply::Fail(ERROR_GEN_FAILURE));
    nb().fervo().script(kPowerCommand, 0xFF, FervoReply::Word(0x80000));
    HANDLE h = Open();
    DWORD word = 0;
    EXPECT_FALSE(Request(h, 0xFF, word));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_GEN_FAILURE));
    EXPECT_EQ(word, 0u);
    EXPECT_TRUE(Request(h, 0xFF, word));
    EXPECT_EQ(word, 0x80000u);
    EXPECT_TRUE(Request(h, 0xFF, word));
    EXPECT_EQ(word, 0x18000u) << "back to the model once the script is used up";
    CloseHandle(h);
}

// A reply longer than the caller's buffer is not cut silently: what fits is copied and counted,
// and the request fails with ERROR_MORE_DATA, as a buffered driver reports an overflow.
TEST_F(DevicesTest, LongerReplyFillsTheBufferAndFailsWithMoreData) {
    nb().fervo().script(kPowerCommand, 0xFF, FervoReply::Bytes({1, 2, 3, 4, 5}));
    HANDLE h = Open();
    BYTE sub = 0xFF;
    DWORD word = 0, returned = 0;
    EXPECT_FALSE(DeviceIoControl(h, kPowerCommand, &sub, 1, &word, 4, &returned, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(returned, 4u);
    EXPECT_EQ(word, 0x04030201u);
    EXPECT_EQ(nb().fervo().requests().at(0).error, DWORD(ERROR_MORE_DATA));
    CloseHandle(h);
}

TEST_F(DevicesTest, UnknownCodesAnswerInvalidFunction) {
    HANDLE h = Open();
    DWORD out = 0, returned = 0;
    EXPECT_FALSE(DeviceIoControl(h, 0x83100000, nullptr, 0, &out, 4, &returned, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FUNCTION));
    CloseHandle(h);
}

// The firmware's refusals reach the caller as the I/O manager reports a driver's; a status word
// longer than the buffer fills it and fails with ERROR_MORE_DATA.
TEST_F(DevicesTest, FirmwareOutcomesBecomeWin32Results) {
    namespace fw = celdor::models::firmware;
    nb().fervo().configure({.features = fw::kStorage,
                            .refusedCode = fw::kPowerCommand,
                            .refusedCommand = 0x05,
                            .refusal = std::uint32_t(fw::Refusal::Busy)});
    HANDLE h = Open();
    const std::pair<BYTE, DWORD> cases[] = {
        {0x05, ERROR_BUSY}, {0x07, ERROR_NOT_SUPPORTED}, {0x03, ERROR_SUCCESS}};
    for (const auto& [sub, error] : cases) {
        DWORD word = 0;
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(Request(h, sub, word), error == ERROR_SUCCESS) << int(sub);
        EXPECT_EQ(GetLastError(), error) << int(sub);
    }
    BYTE sub = 0xFF;
    WORD half = 0;
    DWORD returned = 0;
    EXPECT_FALSE(DeviceIoControl(h, kPowerCommand, &sub, 1, &half, 2, &returned, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(returned, 2u);
    EXPECT_EQ(half, 0x0020); // storage on
    EXPECT_FALSE(DeviceIoControl(h, kPowerCommand, nullptr, 0, &half, 2, &returned, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    CloseHandle(h);
}

TEST_F(DevicesTest, RequestsFailOnceTheDeviceIsGone) {
    HANDLE h = Open();
    nb().fervo().present = false;
    DWORD word = 0;
    EXPECT_FALSE(Request(h, 0xFF, word));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVICE_NOT_CONNECTED));
    CloseHandle(h);
}

} // namespace
