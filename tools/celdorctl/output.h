// What a command reports, described once and shown either as a readable table or as JSON, so
// that the two always tell the same facts.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace celdorctl {

using Json = nlohmann::ordered_json;

class Report {
public:
    // One fact: in JSON the member `key` with `value`; in the table a row `label` and `text`,
    // the readable form of the value with its unit or meaning. A value nobody knows is null in
    // JSON and "unknown" (or why) in the table.
    Report& row(std::string key, std::string label, Json value, std::string text);
    // A fact for scripts only, that the table already tells in another row's text.
    Report& detail(std::string key, Json value);

    // A group of facts: a nested object under `key` in JSON, a titled block in the table.
    Report& section(std::string key, std::string title);
    // A collection: an array under `key` in JSON (empty when it has no items), and in the table
    // a block titled `title` with one row per item, or "title: none" when there are none.
    Report& list(std::string key, std::string title, std::string none);
    // The same, its rows among this report's own; without items, one row `label` and `none`.
    Report& rows(std::string key, std::string label, std::string none);
    // One element of a list: a row `label` and `text` in the table, and in JSON the object of
    // the facts added to the returned report (usually details).
    Report& item(std::string label, std::string text);

    Json toJson() const;
    void printTable(std::ostream& out, int indent = 0) const;
    void print(std::ostream& out, bool json) const;

private:
    enum class Kind { Row, Section, List, Item };
    struct Entry {
        Kind kind;
        std::string key;
        std::string label;
        Json value;
        std::string text;
        std::unique_ptr<Report> child;
        bool inlined = false; // a list whose items are rows of this report
    };
    Report& add(Kind kind, std::string key, std::string label, std::string text);
    std::size_t labelWidth() const;
    void printRows(std::ostream& out, const std::string& margin, std::size_t width) const;
    std::vector<Entry> m_entries;
};

// The number of terminal columns a UTF-8 text takes: East Asian wide characters take two,
// combining marks none.
std::size_t DisplayWidth(std::string_view text);

} // namespace celdorctl
