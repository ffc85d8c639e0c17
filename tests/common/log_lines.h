// The diagnostic log's file read back as lines: UTF-16LE text, one line per CR LF, each
// "[yyyy-mm-dd,hh:mm:ss number] header+message", or "[number] header+message" when the time was
// not to be had. Plain C++, shared by the contract and the portable tests.
#pragma once

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

namespace logtext {

struct Line {
    std::string stamp; // empty when the line carries no time
    long number = -1;  // -1: the line is not of the log's form
    std::string text;  // header and message; the whole line when not of the log's form
};

// The lines of the file's bytes without their CR LF, as ASCII (any other character shows as
// '?'). Text after the last CR LF comes back as a last line, so that a line left open shows.
inline std::vector<Line> Lines(const std::string& bytes) {
    std::string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned unit = static_cast<unsigned char>(bytes[i]) |
                              static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    static const std::regex form(R"(^\[(?:(\d{4}-\d{2}-\d{2},\d{2}:\d{2}:\d{2}) )?(\d+)\] (.*)$)");
    std::vector<Line> lines;
    for (std::size_t start = 0, cut = 0; start < text.size(); start = cut + 2) {
        cut = std::min(text.find("\r\n", start), text.size());
        const std::string line = text.substr(start, cut - start);
        std::smatch match;
        lines.push_back(std::regex_match(line, match, form)
                            ? Line{match[1].str(), std::stol(match[2].str()), match[3].str()}
                            : Line{"", -1, line});
    }
    return lines;
}

inline std::vector<std::string> Texts(const std::vector<Line>& lines) {
    std::vector<std::string> texts;
    for (const Line& line : lines) {
        texts.push_back(line.text);
    }
    return texts;
}

} // namespace logtext
