// The battery class answering anything: up to three bays, in or out, with packs of any
// chemistry text, capacities and counts, under any interface paths.
#include "fuzz_notebook.h"

#include <celdor/batterydriver.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    fuzz::Start(0);
    auto& bays = fuzz::Nb().batteries();
    bays.clear();
    for (int bay = input.ConsumeIntegralInRange(0, 3); bay > 0; --bay) {
        celdor::sim::BatteryPack pack;
        pack.chemistry = input.ConsumeRandomLengthString(6);
        pack.rechargeable = input.ConsumeBool();
        pack.designedCapacity = input.ConsumeIntegral<DWORD>();
        pack.fullChargedCapacity = input.ConsumeIntegral<DWORD>();
        pack.defaultAlert1 = input.ConsumeIntegral<DWORD>();
        pack.defaultAlert2 = input.ConsumeIntegral<DWORD>();
        pack.criticalBias = input.ConsumeIntegral<DWORD>();
        pack.cycleCount = input.ConsumeIntegral<DWORD>();
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
    }
    fuzz::CheckNothingOpen();
    return 0;
}
