#include "output.h"

#include <algorithm>

namespace celdorctl {

namespace {

// The code points of a UTF-8 text; a byte that starts no valid sequence counts as one.
template <typename F> void ForEachCodePoint(std::string_view text, F f) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >> 5 == 6 ? 2 : lead >> 4 == 14 ? 3 : 4;
        char32_t code = length == 1 ? lead : lead & (0x3F >> (length - 1));
        std::size_t n = 1;
        for (; n < length && i + n < text.size(); ++n) {
            code = (code << 6) | (static_cast<unsigned char>(text[i + n]) & 0x3F);
        }
        f(code);
        i += n;
    }
}

bool IsCombining(char32_t c) {
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
           (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
           (c >= 0xFE20 && c <= 0xFE2F) || c == 0x200B || c == 0x200D || c == 0xFE0F;
}

bool IsWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
           (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
}

} // namespace

std::size_t DisplayWidth(std::string_view text) {
    std::size_t width = 0;
    ForEachCodePoint(text, [&](char32_t c) { width += IsCombining(c) ? 0 : IsWide(c) ? 2 : 1; });
    return width;
}

Report& Report::add(Kind kind, std::string key, std::string label, std::string text) {
    m_entries.push_back(Entry{kind, std::move(key), std::move(label), Json(), std::move(text),
                              kind == Kind::Row ? nullptr : std::make_unique<Report>()});
    return m_entries.back().child ? *m_entries.back().child : *this;
}

Report& Report::row(std::string key, std::string label, Json value, std::string text) {
    add(Kind::Row, std::move(key), std::move(label), std::move(text));
    m_entries.back().value = std::move(value);
    return *this;
}

Report& Report::detail(std::string key, Json value) {
    return row(std::move(key), {}, std::move(value), {});
}

Report& Report::section(std::string key, std::string title) {
    return add(Kind::Section, std::move(key), std::move(title), {});
}

Report& Report::list(std::string key, std::string title, std::string none) {
    return add(Kind::List, std::move(key), std::move(title), std::move(none));
}

Report& Report::rows(std::string key, std::string label, std::string none) {
    Report& items = add(Kind::List, std::move(key), std::move(label), std::move(none));
    m_entries.back().inlined = true;
    return items;
}

Report& Report::item(std::string label, std::string text) {
    return add(Kind::Item, {}, std::move(label), std::move(text));
}

Json Report::toJson() const {
    Json out = Json::object();
    for (const Entry& entry : m_entries) {
        switch (entry.kind) {
        case Kind::Row:
            out[entry.key] = entry.value;
            break;
        case Kind::Section:
            out[entry.key] = entry.child->toJson();
            break;
        case Kind::List: {
            Json items = Json::array();
            for (const Entry& element : entry.child->m_entries) {
                items.push_back(element.child->toJson());
            }
            out[entry.key] = std::move(items);
            break;
        }
        case Kind::Item:
            break; // only inside a list
        }
    }
    return out;
}

// The widest label among the rows this report prints at its own level.
std::size_t Report::labelWidth() const {
    std::size_t width = 0;
    for (const Entry& entry : m_entries) {
        if (entry.kind == Kind::Row || entry.kind == Kind::Item) {
            width = std::max(width, DisplayWidth(entry.label));
        } else if (entry.inlined) {
            width = std::max({width, entry.child->labelWidth(), DisplayWidth(entry.label)});
        }
    }
    return width;
}

void Report::printRows(std::ostream& out, const std::string& margin, std::size_t width) const {
    auto line = [&](const std::string& label, const std::string& text) {
        out << margin << label << std::string(width - DisplayWidth(label) + 3, ' ') << text << '\n';
    };
    for (const Entry& entry : m_entries) {
        if ((entry.kind == Kind::Row || entry.kind == Kind::Item) && !entry.label.empty()) {
            line(entry.label, entry.text);
        } else if (entry.inlined) {
            if (entry.child->m_entries.empty() && !entry.label.empty()) {
                line(entry.label, entry.text);
            }
            entry.child->printRows(out, margin, width);
        }
    }
}

void Report::printTable(std::ostream& out, int indent) const {
    const std::string margin(static_cast<std::size_t>(indent), ' ');
    // Rows first, aligned together; then each titled block.
    printRows(out, margin, labelWidth());
    bool first = std::none_of(m_entries.begin(), m_entries.end(), [](const Entry& e) {
        return e.kind == Kind::Row ? !e.label.empty() : e.inlined;
    });
    for (const Entry& entry : m_entries) {
        const bool block = entry.kind == Kind::Section || entry.kind == Kind::List;
        if (!block || entry.inlined) {
            continue;
        }
        if (!first) {
            out << '\n';
        }
        first = false;
        const bool empty = entry.kind == Kind::List && entry.child->m_entries.empty();
        out << margin << entry.label << (empty ? ": " + entry.text : "") << '\n';
        entry.child->printTable(out, indent + 2);
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
