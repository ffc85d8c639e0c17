// The maker's firmware as a test sets it up: through the configuration code that the stand-in
// driver under Wine and the simulated device both accept, sent to "\\.\FervoDrv" like any other
// request. A test that needs the driver skips where it is not installed.
#pragma once

#include "portable.h"

#include <celdor_models/firmware_setup.h>

#include <gtest/gtest.h>

#include <initializer_list>

namespace portable {

namespace fw = celdor::models::firmware;

// One buffered request to the maker's device: the error it met (0 on success) and the bytes
// it returned.
struct FervoAnswer {
    DWORD error = ERROR_SUCCESS;
    DWORD returned = 0;
};

inline FervoAnswer AskFervo(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize) {
    HANDLE device = CreateFileW(CELDOR_W("\\\\.\\FervoDrv"), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        return {GetLastError(), 0};
    }
    FervoAnswer answer;
    if (!DeviceIoControl(device, code, const_cast<void*>(in), inSize, out, outSize,
                         &answer.returned, nullptr)) {
        answer.error = GetLastError();
    }
    CloseHandle(device);
    return answer;
}

// Sets the firmware up for one test and leaves it offering nothing afterwards, as the test
// bench has it.
class FirmwareTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (AskFervo(fw::kConfigure, &kNothing, sizeof kNothing, nullptr, 0).error ==
            ERROR_FILE_NOT_FOUND) {
            GTEST_SKIP() << "the maker's driver is not installed on this machine";
        }
    }
    void TearDown() override { Configure(kNothing); }

    static void Configure(const fw::Setup& setup) {
        ASSERT_EQ(AskFervo(fw::kConfigure, &setup, sizeof setup, nullptr, 0).error,
                  DWORD(ERROR_SUCCESS));
    }
    // A firmware that offers `features` with the modes of `modesOn` on.
    static void Configure(std::uint32_t features, std::uint32_t modesOn = 0,
                          std::uint32_t adapterState = 0) {
        fw::Setup setup;
        setup.config.features = features;
        setup.config.specVersion = 184;
        setup.modesOn = modesOn;
        setup.adapterState = adapterState;
        Configure(setup);
    }

    static constexpr fw::Setup kNothing{};
};

// The battery packs in the bays, set up through the same device: the machine then has one
// battery device per pack. The bays are left empty afterwards, as the test bench has them.
class PackTest : public FirmwareTest {
protected:
    void TearDown() override {
        SetPacks({});
        FirmwareTest::TearDown();
    }

    static void SetPacks(std::initializer_list<fw::Pack> packs) {
        fw::PackSetup setup;
        for (const fw::Pack& pack : packs) {
            setup.packs[setup.count++] = pack;
        }
        ASSERT_EQ(AskFervo(fw::kConfigurePacks, &setup, sizeof setup, nullptr, 0).error,
                  DWORD(ERROR_SUCCESS));
    }
};

} // namespace portable
