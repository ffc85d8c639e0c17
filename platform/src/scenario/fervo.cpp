// The "fervo" section: the maker's control device and its firmware state.
#include "section.h"

#include <cstdio>
#include <string>

namespace celdor::sim::scenario {

namespace {

std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

Change LoadFervo(const Json& section, const std::string& where) {
    ExpectObject(section, where);
    CheckMembers(section, where, {"present", "open_error", "status_word"});
    std::optional<bool> present;
    std::optional<DWORD> openError, statusWord;
    if (auto* v = Find(section, "present")) {
        present = ReadBool(*v, Member(where, "present"));
    }
    if (auto* v = Find(section, "open_error")) {
        openError = static_cast<DWORD>(ReadUnsigned(*v, Member(where, "open_error"), 0xFFFFFFFF));
    }
    if (auto* v = Find(section, "status_word")) {
        statusWord =
            static_cast<DWORD>(ReadUnsigned(*v, Member(where, "status_word"), 0xFFFFFFFF, true));
    }
    return [=](Notebook& nb) {
        FervoDevice& fervo = nb.fervo();
        fervo.present = present.value_or(fervo.present);
        fervo.openError = openError.value_or(fervo.openError);
        fervo.statusWord = statusWord.value_or(fervo.statusWord);
    };
}

std::optional<Json> SaveFervo(Notebook& nb) {
    const FervoDevice& fervo = nb.fervo();
    Json out = Json::object();
    out["present"] = fervo.present;
    out["open_error"] = fervo.openError;
    out["status_word"] = Hex32(fervo.statusWord);
    return out;
}

} // namespace

extern const Section kFervo{"fervo", LoadFervo, SaveFervo};

} // namespace celdor::sim::scenario
