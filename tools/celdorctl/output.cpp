#include "output.h"

#include <algorithm>

namespace celdorctl {

Report& Report::row(std::string key, std::string label, Json value, std::string text) {
    m_entries.push_back(
        Entry{std::move(key), std::move(label), std::move(value), std::move(text), nullptr});
    return *this;
}

Report& Report::detail(std::string key, Json value) {
    return row(std::move(key), {}, std::move(value), {});
}

Report& Report::section(std::string key, std::string title) {
    m_entries.push_back(
        Entry{std::move(key), std::move(title), Json(), {}, std::make_unique<Report>()});
    return *m_entries.back().section;
}

Json Report::toJson() const {
    Json out = Json::object();
    for (const auto& entry : m_entries) {
        out[entry.key] = entry.section ? entry.section->toJson() : entry.value;
    }
    return out;
}

void Report::printTable(std::ostream& out, int indent) const {
    std::size_t width = 0;
    for (const auto& entry : m_entries) {
        if (!entry.section && !entry.label.empty()) {
            width = std::max(width, entry.label.size());
        }
    }
    const std::string margin(static_cast<std::size_t>(indent), ' ');
    bool first = true;
    for (const auto& entry : m_entries) {
        if (entry.label.empty()) {
            continue; // a detail
        }
        if (entry.section) {
            if (!first) {
                out << '\n';
            }
            out << margin << entry.label << '\n';
            entry.section->printTable(out, indent + 2);
        } else {
            out << margin << entry.label << std::string(width - entry.label.size() + 3, ' ')
                << entry.text << '\n';
        }
        first = false;
    }
}

void Report::print(std::ostream& out, bool json) const {
    if (json) {
        out << toJson().dump(2) << '\n';
    } else {
        printTable(out);
    }
}

} // namespace celdorctl
