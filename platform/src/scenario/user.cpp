// The "user" and "elevated" sections: who is logged on, and so where the known folders are, and
// whether that user runs as an administrator.
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

Change LoadElevated(const Json& value, const std::string& where) {
    return [elevated = ReadBool(value, where)](Notebook& nb) { nb.setElevated(elevated); };
}

// A standard user's notebook, the usual one, says nothing.
std::optional<Json> SaveElevated(Notebook& nb) {
    return nb.elevated() ? std::optional<Json>(true) : std::nullopt;
}

} // namespace

extern const Section kUser{"user", LoadUser, SaveUser};
extern const Section kElevated{"elevated", LoadElevated, SaveElevated};

} // namespace celdor::sim::scenario
