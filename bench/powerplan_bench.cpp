// The plan catalogue beside the bare power-management calls it must make: building the snapshot
// (one enumeration and two name reads per plan) with the three Windows plans and with 50, and
// naming the active plan (one active-scheme query, two name reads, one free).
#include <celdor/powerplan.h>
#include <celdor_platform/notebook.h>

#include "calls.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

using celdor::sim::Notebook;
using celdor::sim::PowerPlan;

namespace {

void PreparePlans(std::int64_t count) {
    Notebook& nb = Notebook::instance();
    nb.reset();
    nb.journal().setEnabled(false); // millions of records would fill memory
    auto& plans = nb.powerSchemes().plans;
    for (auto i = static_cast<std::uint32_t>(plans.size()); i < count; ++i) {
        plans.push_back(PowerPlan{GUID{0xBE000000 + i, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}},
                                  u"Plan " + celdor::sim::Utf8ToUtf16(std::to_string(i))});
    }
}

// The name of one scheme as the catalogue reads it: size first, then the text.
bool ReadName(const GUID& scheme, std::vector<WCHAR>& name) {
    DWORD size = 0;
    if (PowerReadFriendlyName(nullptr, &scheme, &NO_SUBGROUP_GUID, nullptr, nullptr, &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    name.assign(size / sizeof(WCHAR) + 1, 0);
    return PowerReadFriendlyName(nullptr, &scheme, &NO_SUBGROUP_GUID, nullptr,
                                 reinterpret_cast<UCHAR*>(name.data()), &size) == ERROR_SUCCESS;
}

void BM_BareEnumeration(benchmark::State& state) {
    PreparePlans(state.range(0));
    std::vector<WCHAR> name;
    for (auto _ : state) {
        GUID scheme{};
        DWORD size = sizeof(scheme);
        for (ULONG index = 0;
             PowerEnumerate(nullptr, nullptr, nullptr, ACCESS_SCHEME, index,
                            reinterpret_cast<UCHAR*>(&scheme), &size) == ERROR_SUCCESS;
             ++index, size = sizeof(scheme)) {
            benchmark::DoNotOptimize(ReadName(scheme, name));
        }
    }
}
BENCHMARK(BM_BareEnumeration)->Arg(3)->Arg(50);

void BM_CPowerSchemeConstruct(benchmark::State& state) {
    PreparePlans(state.range(0));
    for (auto _ : state) {
        Celdor::CPowerScheme schemes;
        benchmark::DoNotOptimize(schemes);
    }
}
BENCHMARK(BM_CPowerSchemeConstruct)->Arg(3)->Arg(50);

void BM_BareActiveSchemeName(benchmark::State& state) {
    PreparePlans(3);
    std::vector<WCHAR> name;
    const auto read = [&name] {
        GUID* active = nullptr;
        if (PowerGetActiveScheme(nullptr, &active) == ERROR_SUCCESS) {
            benchmark::DoNotOptimize(ReadName(*active, name));
        }
        LocalFree(active);
    };
    for (auto _ : state) {
        read();
    }
    CountCalls(state, read);
}
BENCHMARK(BM_BareActiveSchemeName);

void BM_GetActivePowerScheme(benchmark::State& state) {
    PreparePlans(3);
    Celdor::CPowerScheme schemes;
    Celdor::CString name;
    for (auto _ : state) {
        benchmark::DoNotOptimize(schemes.GetActivePowerScheme(name));
    }
    CountCalls(state, [&] { schemes.GetActivePowerScheme(name); });
}
BENCHMARK(BM_GetActivePowerScheme);

} // namespace
