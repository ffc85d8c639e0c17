// What a command reports, described once and shown either as a readable table or as JSON.
#pragma once

#include <nlohmann/json.hpp>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace celdorctl {

using Json = nlohmann::ordered_json;

class Report {
public:
    // One fact: in JSON the member `key` with `value`; in the table a row `label` and `text`,
    // the readable form of the value with its unit or meaning.
    Report& row(std::string key, std::string label, Json value, std::string text);
    // A fact for scripts only, that the table already tells in another row's text.
    Report& detail(std::string key, Json value);

    // A group of facts: a nested object under `key` in JSON, a titled block in the table.
    Report& section(std::string key, std::string title);

    Json toJson() const;
    void printTable(std::ostream& out, int indent = 0) const;
    void print(std::ostream& out, bool json) const;

private:
    struct Entry {
        std::string key;
        std::string label;
        Json value;
        std::string text;
        std::unique_ptr<Report> section; // set for a section, with label as its title
    };
    std::vector<Entry> m_entries;
};

} // namespace celdorctl
