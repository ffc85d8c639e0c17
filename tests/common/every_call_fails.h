// Fault injection across a whole operation: each platform call the operation makes is made to
// fail in turn, and the operation is run again from the same state for each.
#pragma once

#include <celdor_platform/notebook.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

// Runs `arrange` then `operation` once to learn the calls it makes; then, for every call (the
// n-th call of its function), runs `arrange` and `operation` again with that call failing with
// `error`, and hands the result to `check`. Each run must leave nothing open. Calls that
// release something are left alone: when they fail, what they release stays open by definition.
template <typename Result>
void EveryCallFailing(const std::function<void()>& arrange,
                      const std::function<Result()>& operation,
                      const std::function<void(const std::string& call, Result)>& check,
                      DWORD error = ERROR_GEN_FAILURE) {
    auto& nb = celdor::sim::Notebook::instance();
    arrange();
    nb.journal().clear();
    operation();
    const std::vector<std::string> calls = nb.journal().functions();
    std::map<std::string, unsigned> seen;
    const std::set<std::string> releases = {"CloseHandle", "RegCloseKey", "LocalFree",
                                            "CoTaskMemFree", "SetupDiDestroyDeviceInfoList"};
    for (const std::string& function : calls) {
        if (releases.count(function)) {
            continue;
        }
        const unsigned n = ++seen[function];
        const std::string call = function + " #" + std::to_string(n);
        SCOPED_TRACE(call);
        arrange();
        nb.faults().inject(function, celdor::sim::Fault::Nth(n, error));
        check(call, operation());
        EXPECT_EQ(nb.leaks(), std::vector<std::string>{});
    }
    EXPECT_FALSE(calls.empty());
}
