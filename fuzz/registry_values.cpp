// Registry values of any type and size where the library reads them: every value the
// scenarios set (the thermal services' state, the recorded charge mode, the log's level) made
// to hold anything, then every operation that reads them.
#include "fuzz_notebook.h"

#include <celdor/celdor.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <tuple>

namespace {

using celdor::sim::Hive;

struct Place {
    Hive hive;
    std::u16string key;
    std::u16string name;
};

// Every value the scenarios hold.
const std::vector<Place>& Places() {
    static const std::vector<Place> places = [] {
        std::vector<Place> found;
        for (std::size_t s = 0; s < fuzz::Scenarios().size(); ++s) {
            fuzz::Start(s);
            for (Hive hive : {Hive::LocalMachine, Hive::CurrentUser}) {
                for (const auto& key : fuzz::Nb().registry().keyPaths(hive)) {
                    for (const auto& [name, value] : fuzz::Nb().registry().values(hive, key)) {
                        found.push_back({hive, key, name});
                    }
                }
            }
        }
        return found;
    }();
    return places;
}

void ReadEverything() {
    using Celdor::CIntelligentCooling;
    CIntelligentCooling cooling;
    int capability = 0;
    CIntelligentCooling::ITSMode mode{};
    cooling.GetServiceStatus();
    cooling.GetITSVersion();
    cooling.GetDispatcherVersion();
    cooling.IsAutoTransitionEnabled();
    cooling.GetITSMode(capability, mode);
    cooling.GetDispatcherMode(capability, mode, 1, 1);
    cooling.GetDispatcherMode(capability, mode, 1, 0);
    cooling.IsDispatcheriEPMAutoTransitionEnabled();
    cooling.IsiEPMModeEnabled();
    cooling.ShouldGeekOptionGrey();
    mode = CIntelligentCooling::ITS_MODE_COOL;
    cooling.SetITSMode(mode);
    Celdor::CChargingMode charging;
    charging.GetChargingMode();
    WCHAR text[130] = {};
    RegGetStr(Celdor::CChargingMode::ADDIN_KEY, Celdor::CChargingMode::BATTERY_CHARGE_MODE_VALUE,
              text);
    DWORD word = 0;
    RegGetDWORD(Celdor::CChargingMode::ADDIN_KEY, Celdor::CChargingMode::BATTERY_CHARGE_MODE_VALUE,
                word);
    RegDoesExistSzValue(Celdor::CChargingMode::ADDIN_KEY,
                        Celdor::CChargingMode::BATTERY_CHARGE_MODE_VALUE);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<Place>& places = Places();
    FuzzedDataProvider input(data, size);
    fuzz::Start(input.ConsumeIntegral<std::uint8_t>());
    while (input.remaining_bytes() > 0) {
        const Place& place =
            places[input.ConsumeIntegralInRange<std::size_t>(0, places.size() - 1)];
        celdor::sim::RegValue value;
        value.type = input.ConsumeBool() ? input.ConsumeIntegralInRange<DWORD>(0, 11)
                                         : input.ConsumeIntegral<DWORD>();
        value.data = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(0, 2048));
        fuzz::Nb().registry().setValue(place.hive, place.key, place.name, std::move(value));
    }
    ReadEverything();
    fuzz::CheckNothingOpen();
    return 0;
}
