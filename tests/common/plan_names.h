// What a plan catalogue lists, as one line: "first|second|...", after what the caller's list
// already held.
#pragma once

#include <celdor/powerplan.h>

#include <list>
#include <string>

inline std::string PlanNames(Celdor::CPowerScheme schemes, std::list<Celdor::CString> list = {}) {
    schemes.GetPowerSchemeList(list);
    std::string names;
    for (const Celdor::CString& name : list) {
        names += (names.empty() ? "" : "|") + name.ToUtf8();
    }
    return names;
}
