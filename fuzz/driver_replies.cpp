// The maker's driver answering anything: for each request, bytes of any length (short, long,
// none) or a failure, in any order of control codes. Every driver-backed operation must cope.
#include "fuzz_notebook.h"

#include "driver/controlcodes.h"

#include <celdor/celdor.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

namespace {

// The maker's control codes: the power and USB commands, the interface version, the smart
// battery and firmware blocks, and the 4-byte words of the battery requests.
const DWORD kCodes[] = {Celdor::IOCTL_POWER_COMMAND,
                        Celdor::IOCTL_USB_CHARGE_COMMAND,
                        Celdor::IOCTL_GET_SPEC_VERSION,
                        Celdor::IOCTL_SMART_BATTERY_READ,
                        Celdor::IOCTL_BATTERY_FIRMWARE_INFO,
                        Celdor::IOCTL_CHARGE_COMPLETION_TIME,
                        Celdor::IOCTL_BTMC,
                        Celdor::IOCTL_BNMC};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    fuzz::Start(0);
    // Which lines the log admits comes from the input too: every line is formatted either way,
    // and the fuzzer spends its time on the replies rather than on appending debug lines.
    fuzz::AdmitLogLines(input.ConsumeIntegralInRange(0, 2));
    auto& fervo = fuzz::Nb().fervo();
    while (input.remaining_bytes() > 0) {
        const DWORD code = kCodes[input.ConsumeIntegralInRange<std::size_t>(0, 7)];
        if (input.ConsumeIntegralInRange(0, 15) == 0) {
            fervo.script(code, std::nullopt,
                         celdor::sim::FervoReply::Fail(input.ConsumeIntegral<std::uint16_t>()));
        } else {
            const auto length = input.ConsumeIntegralInRange<std::size_t>(0, 0x60);
            fervo.script(code, std::nullopt,
                         celdor::sim::FervoReply::Bytes(input.ConsumeBytes<std::uint8_t>(length)));
        }
    }
    {
        Celdor::CChargingMode charging;
        charging.GetChargingMode();
        charging.SetChargingMode(1);
        charging.DoesSupportRapidChargeMode();
        Celdor::CChargingMode::GetTemporaryMode();
        Celdor::CChargingMode::SetNightChargeMode(1);
        Celdor::CChargingMode::DoesSupportStorage80();
        Celdor::CUSBCharger usb;
        usb.OpenFeature();
        usb.OpenOrClose();
        Celdor::CUSBBatteryCharger battery;
        battery.IsSupport();
        battery.CloseFeature();
        Celdor::CAdapter::GetAdapterStatus();
        Celdor::CAdapter::IsSupportAdapterModeDetect();
        Celdor::CBatteryDriver::GetFvSpecVersion();
        Celdor::CBatteryInformation batteries;
        Celdor::_BATTERY_INFORMATION_EX info;
        batteries.GetBatteryInformation(info, batteries.GetBatteryCount() - 1);
        batteries.GetBatteryStatus(0);
        Celdor::CBatteryInformation::GetSmartBatteryV2Info();
    }
    fuzz::CheckNothingOpen();
    return 0;
}
