// The "user" section: who is logged on, and so where the known folders are.
#include "section.h"

#include <algorithm>
#include <string>

namespace celdor::sim::scenario {

namespace {

Change LoadUser(const Json& value, const std::string& where) {
    std::string name = ReadString(value, where);
    // The name becomes a folder, C:\Users\<name>: it must be one valid path component.
    bool bad = name.empty() || name == "." || name == ".." ||
               name.find_first_of("\\/:*?\"<>|") != std::string::npos ||
               std::any_of(name.begin(), name.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    if (bad) {
        Fail(where, "expected a user name usable as a folder name, got " + Shown(value));
    }
    return [text = Utf8ToUtf16(name)](Notebook& nb) { nb.setUserName(text); };
}

std::optional<Json> SaveUser(Notebook& nb) {
    return Json(Utf16ToUtf8(nb.userName()));
}

} // namespace

extern const Section kUser{"user", LoadUser, SaveUser};

} // namespace celdor::sim::scenario
