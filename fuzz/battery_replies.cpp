// The battery class answering anything: up to two bays, in or out, with packs of any texts,
// capacities, counts and readings, in any units, under any interface paths.
#include "fuzz_notebook.h"

#include <celdor/batterydriver.h>
#include <celdor/batteryinformation.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {
// A text field of the pack: any bytes, as long as the field holds with its terminator.
template <std::size_t N> void Text(FuzzedDataProvider& input, char (&field)[N]) {
    const std::string text = input.ConsumeRandomLengthString(N - 1);
    std::memcpy(field, text.c_str(), text.size() + 1);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    fuzz::Start(0);
    auto& bays = fuzz::Nb().batteries();
    bays.clear();
    for (int bay = input.ConsumeIntegralInRange(0, 2); bay > 0; --bay) {
        celdor::sim::BatteryPack pack;
        Text(input, pack.chemistry);
        Text(input, pack.manufacturer);
        Text(input, pack.serialNumber);
        pack.rechargeable = input.ConsumeBool();
        for (std::uint32_t* value :
             {&pack.designedCapacity, &pack.fullChargedCapacity, &pack.defaultAlert1,
              &pack.defaultAlert2, &pack.criticalBias, &pack.cycleCount, &pack.remainingCapacity,
              &pack.chargeRate, &pack.dischargeRate, &pack.voltage, &pack.temperature}) {
            *value = input.ConsumeIntegral<std::uint32_t>();
        }
        pack.manufactureYear = input.ConsumeIntegral<std::uint16_t>();
        pack.manufactureMonth = input.ConsumeIntegral<std::uint8_t>();
        pack.manufactureDay = input.ConsumeIntegral<std::uint8_t>();
        pack.relativeCapacity = input.ConsumeBool();
        pack.windowsLacks = input.ConsumeIntegral<std::uint32_t>();
        const std::string name = input.ConsumeRandomLengthString(80);
        std::u16string path = u"\\\\?\\acpi#pnp0c0a#";
        path += celdor::sim::Utf8ToUtf16(name);
        path += u"#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";
        bays.add(path, pack, input.ConsumeBool());
    }
    {
        Celdor::CBatteryDriver driver;
        driver.InitBatteryDriverHandle();
        BATTERY_INFORMATION info{};
        driver.GetBatteryInformationFromOS(info, 0);
        driver.GetBatteryInformationFromOS(info, 1);
        Celdor::CBatteryDriver copy(driver);
        copy.GetBatteryInformationFromOS(info, input.ConsumeIntegralInRange(-1, 2));
        driver.ReleaseBatteryDriverHandle();
        Celdor::CBatteryInformation batteries;
        Celdor::_BATTERY_INFORMATION_EX record;
        batteries.GetBatteryInformation(record, batteries.GetBatteryCount() - 1);
        batteries.GetBatteryStatus(input.ConsumeIntegralInRange(0, 1));
    }
    fuzz::CheckNothingOpen();
    return 0;
}
