// Private-profile (INI) files: "[section]" headers and "key=value" lines in a real file under
// the notebook's root.
//
// Reading: section and key names match without regard to case, and only the first block of a
// section counts; names and values lose the white space around them; a value enclosed in a
// pair of double or single quotes loses them.
// The file may be ANSI (the notebook's code page), UTF-16 with a byte-order mark, or UTF-8 with
// a byte-order mark. Writing keeps a UTF-16 or UTF-8 file in its encoding and writes everything
// else, a new file included, as ANSI text; lines end in CR LF. A file name without a folder
// names a file in the Windows folder.
#include "internal.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace celdor::sim;
using namespace celdor::sim::detail;

namespace {

constexpr char16_t kSpace[] = u" \t\r\n\v\f";

std::u16string_view Trim(std::u16string_view text) {
    const auto first = text.find_first_not_of(kSpace);
    if (first == std::u16string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kSpace);
    return text.substr(first, last - first + 1);
}

enum class Encoding { Ansi, Utf16Le, Utf16Be, Utf8 };

struct Document {
    Encoding encoding = Encoding::Ansi;
    std::vector<std::u16string> lines;
};

// What one line of the file is. Only "name=value" lines are entries; a line without '=' is
// kept but never found, and an entry whose name starts with ';' (a comment) is found when asked
// for by that name but left out of key lists.
struct Entry {
    enum class Kind { Blank, Section, Entry, Other };
    Kind kind = Kind::Blank;
    std::u16string_view name;  // section or key name, trimmed
    std::u16string_view value; // trimmed
    bool comment() const { return name.starts_with(u';'); }
};

Entry Classify(std::u16string_view line) {
    const std::u16string_view text = Trim(line);
    if (text.empty()) {
        return {};
    }
    if (text[0] == u'[') {
        const auto close = text.find(u']');
        return {Entry::Kind::Section,
                Trim(text.substr(1, close == text.npos ? text.npos : close - 1)),
                {}};
    }
    const auto equals = text.find(u'=');
    if (equals == std::u16string_view::npos) {
        return {Entry::Kind::Other, text, {}};
    }
    return {Entry::Kind::Entry, Trim(text.substr(0, equals)), Trim(text.substr(equals + 1))};
}

// The lines of a section: those after its first header up to the next header. Only the first
// block of a section name counts. The section "" is the one headed "[]"; the lines before any
// header belong to no section.
struct Block {
    std::size_t header; // index of the header line
    std::size_t begin;
    std::size_t end;
};

std::optional<Block> FindBlock(const std::vector<std::u16string>& lines,
                               std::u16string_view section) {
    std::optional<Block> block;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (Classify(lines[i]).kind != Entry::Kind::Section) {
            continue;
        }
        if (block) {
            block->end = i;
            return block;
        }
        if (EqualsIgnoreCase(Classify(lines[i]).name, section)) {
            block = Block{i, i + 1, i + 1};
        }
    }
    if (block) {
        block->end = lines.size();
    }
    return block;
}

// The entry of `key` in the block, if any.
std::optional<std::size_t> FindEntry(const std::vector<std::u16string>& lines, const Block& block,
                                     std::u16string_view key) {
    for (std::size_t i = block.begin; i < block.end; ++i) {
        const Entry entry = Classify(lines[i]);
        if (entry.kind == Entry::Kind::Entry && EqualsIgnoreCase(entry.name, key)) {
            return i;
        }
    }
    return std::nullopt;
}

// The Windows path of a profile file.
std::u16string ProfilePath(const WCHAR* fileName) {
    const std::u16string_view name(fileName);
    if (name.find_first_of(u"\\/") == std::u16string_view::npos) {
        return u"C:\\Windows\\" + std::u16string(name);
    }
    return std::u16string(name);
}

std::u16string Decode(const std::string& bytes, Encoding& encoding) {
    auto unit = [&](std::size_t i, bool little) {
        const auto lo = static_cast<std::uint8_t>(bytes[little ? i : i + 1]);
        const auto hi = static_cast<std::uint8_t>(bytes[little ? i + 1 : i]);
        return static_cast<char16_t>(lo | (hi << 8));
    };
    const auto starts = [&](std::string_view bom) { return bytes.starts_with(bom); };
    if (starts("\xFF\xFE") || starts("\xFE\xFF")) {
        const bool little = starts("\xFF\xFE");
        encoding = little ? Encoding::Utf16Le : Encoding::Utf16Be;
        std::u16string text;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            text.push_back(unit(i, little));
        }
        return text;
    }
    if (starts("\xEF\xBB\xBF")) {
        encoding = Encoding::Utf8;
        return Utf8ToUtf16(std::string_view(bytes).substr(3));
    }
    encoding = Encoding::Ansi;
    return AnsiToWide(bytes);
}

std::string Encode(const Document& document) {
    std::u16string text;
    for (const auto& line : document.lines) {
        text += line;
        text += u"\r\n";
    }
    switch (document.encoding) {
    case Encoding::Utf16Le:
    case Encoding::Utf16Be: {
        const bool little = document.encoding == Encoding::Utf16Le;
        std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
        for (char16_t c : text) {
            const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
            bytes.push_back(little ? lo : hi);
            bytes.push_back(little ? hi : lo);
        }
        return bytes;
    }
    case Encoding::Utf8:
        return "\xEF\xBB\xBF" + Utf16ToUtf8(text);
    case Encoding::Ansi:
        break;
    }
    return WideToAnsi(text);
}

std::vector<std::u16string> SplitLines(std::u16string_view text) {
    std::vector<std::u16string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < text.size()) {
        lines.emplace_back(text.substr(start));
    }
    return lines;
}

bool IsDirectory(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

// Reads the file into `document`. Returns the last error of a failed read, 0 on success;
// ERROR_FILE_NOT_FOUND alone means a file that a write may create.
DWORD Load(const FileName& file, DWORD access, Document& document) {
    std::error_code ec;
    const fs::path& path = file.host;
    if (file.error) {
        return file.error;
    }
    if (!IsDirectory(path.parent_path())) {
        return ERROR_PATH_NOT_FOUND;
    }
    if (!fs::exists(path, ec)) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (IsDirectory(path)) {
        return ERROR_ACCESS_DENIED;
    }
    if (SharingConflict(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE)) {
        return ERROR_SHARING_VIOLATION;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return ERROR_ACCESS_DENIED;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    document.lines = SplitLines(Decode(bytes, document.encoding));
    return ERROR_SUCCESS;
}

DWORD Save(const fs::path& path, const Document& document) {
    const std::string bytes = Encode(document);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return ErrnoToError(errno);
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0) {
            const DWORD error = ErrnoToError(errno);
            ::close(fd);
            return error;
        }
        done += std::size_t(put);
    }
    ::close(fd);
    return ERROR_SUCCESS;
}

// Copies one string, cut to fit; returns the characters copied.
DWORD CopyString(std::u16string_view text, WCHAR* buffer, DWORD size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t count = std::min<std::size_t>(text.size(), size - 1);
    std::copy_n(text.begin(), count, buffer);
    buffer[count] = u'\0';
    return static_cast<DWORD>(count);
}

// Copies names, each with its terminator, and a final terminator. A list that does not fit is
// cut and ends in two terminators; the result is then size - 2.
DWORD CopyList(const std::vector<std::u16string_view>& names, WCHAR* buffer, DWORD size) {
    if (size < 2) {
        if (size == 1) {
            buffer[0] = u'\0';
        }
        return 0;
    }
    std::u16string all;
    for (auto name : names) {
        all += name;
        all += u'\0';
    }
    if (all.size() + 1 <= size) {
        std::copy(all.begin(), all.end(), buffer);
        buffer[all.size()] = u'\0';
        return static_cast<DWORD>(all.empty() ? 0 : all.size());
    }
    std::copy_n(all.begin(), size - 2, buffer);
    buffer[size - 2] = u'\0';
    buffer[size - 1] = u'\0';
    return size - 2;
}

std::u16string_view Unquote(std::u16string_view value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

std::string Describe(const WCHAR* fileName, const WCHAR* section, const WCHAR* key) {
    return Narrow(fileName) + " : [" + Narrow(section) + "] " + Narrow(key);
}

} // namespace

DWORD WINAPI GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                      LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    Call call{.function = "GetPrivateProfileStringW",
              .target = Describe(lpFileName, lpAppName, lpKeyName),
              .outSize = nSize};
    DWORD result = 0;
    Document document;
    // The default loses its trailing blanks.
    std::u16string_view fallback = lpDefault ? std::u16string_view(lpDefault) : u"";
    fallback = fallback.substr(0, fallback.find_last_not_of(u" \t") + 1);

    if (!lpReturnedString) {
        SetLastError(ERROR_INVALID_PARAMETER);
    } else if (auto error = Injected("GetPrivateProfileStringW", call.target)) {
        SetLastError(*error);
        result = lpAppName && lpKeyName ? CopyString(fallback, lpReturnedString, nSize)
                                        : CopyList({}, lpReturnedString, nSize);
    } else {
        // Without a file name the system's own profile is read, as GetProfileString does.
        const DWORD loaded =
            Load(ResolveFile(ProfilePath(lpFileName ? lpFileName : u"win.ini").c_str()),
                 GENERIC_READ, document);
        const auto& lines = document.lines;
        std::vector<std::u16string_view> names;
        std::optional<std::u16string_view> found;
        const auto block = lpAppName ? FindBlock(lines, lpAppName) : std::nullopt;
        if (!lpAppName) {
            // Every header, in file order.
            for (const auto& line : lines) {
                if (const Entry entry = Classify(line); entry.kind == Entry::Kind::Section) {
                    names.push_back(entry.name);
                }
            }
        } else if (block && !lpKeyName) {
            for (std::size_t i = block->begin; i < block->end; ++i) {
                const Entry entry = Classify(lines[i]);
                if (entry.kind == Entry::Kind::Entry && !entry.comment()) {
                    names.push_back(entry.name);
                }
            }
        } else if (block) {
            if (const auto at = FindEntry(lines, *block, lpKeyName)) {
                found = Unquote(Classify(lines[*at]).value);
            }
        }
        // A file that is not there reads as "not found"; one that cannot be read keeps its error.
        const DWORD missing =
            loaded && loaded != ERROR_PATH_NOT_FOUND ? loaded : ERROR_FILE_NOT_FOUND;
        if (!lpAppName || !lpKeyName) {
            result = CopyList(names, lpReturnedString, nSize);
            SetLastError(loaded ? missing : ERROR_SUCCESS);
        } else if (found) {
            result = CopyString(*found, lpReturnedString, nSize);
            SetLastError(ERROR_SUCCESS);
        } else {
            // A missing file, section or key: the default.
            result = CopyString(fallback, lpReturnedString, nSize);
            SetLastError(missing);
        }
    }
    return Finish(call, result);
}

BOOL WINAPI WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                       LPCWSTR lpFileName) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    Call call{.function = "WritePrivateProfileStringW",
              .target = Describe(lpFileName, lpAppName, lpKeyName)};
    if (lpString) {
        const std::u16string_view text(lpString);
        for (char16_t c : text) {
            call.input.push_back(static_cast<std::uint8_t>(c & 0xFF));
            call.input.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        call.inSize = static_cast<DWORD>(call.input.size());
    }
    BOOL ok = FALSE;
    Document document;
    const FileName file = lpFileName ? ResolveFile(ProfilePath(lpFileName).c_str()) : FileName{};
    DWORD loaded = ERROR_SUCCESS;

    if (!lpAppName && !lpKeyName && !lpString) {
        // Flushing the system's cache of profile files: there is no cache here, and Windows
        // reports this case as a failure too.
    } else if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
    } else if (!lpAppName) {
        SetLastError(ERROR_FILE_NOT_FOUND); // there is no entry to write outside a section
    } else if (auto error = Injected("WritePrivateProfileStringW", call.target)) {
        SetLastError(*error);
    } else if (!file.error && ProtectedFromUser(file.windows, false)) {
        SetLastError(ERROR_ACCESS_DENIED);
    } else if ((loaded = Load(file, GENERIC_READ | GENERIC_WRITE, document)) &&
               loaded != ERROR_FILE_NOT_FOUND) {
        SetLastError(loaded);
    } else {
        // Only the first block of the section is looked at, as when reading.
        std::vector<std::u16string>& lines = document.lines;
        const auto block = FindBlock(lines, lpAppName);
        const auto at = block && lpKeyName ? FindEntry(lines, *block, lpKeyName) : std::nullopt;
        bool changed = true;
        if (!lpKeyName) {
            // The section goes, its header and its lines.
            if (block) {
                lines.erase(lines.begin() + std::ptrdiff_t(block->header),
                            lines.begin() + std::ptrdiff_t(block->end));
            }
            changed = block.has_value();
        } else if (!lpString) {
            if (at) {
                lines.erase(lines.begin() + std::ptrdiff_t(*at));
            }
            changed = at.has_value();
        } else if (at) {
            // The entry keeps its name as written and its place.
            lines[*at] = std::u16string(Classify(lines[*at]).name) + u"=" + lpString;
        } else if (block) {
            // A new entry goes after the last non-blank line of the block.
            std::size_t where = block->begin;
            for (std::size_t i = block->begin; i < block->end; ++i) {
                if (Classify(lines[i]).kind != Entry::Kind::Blank) {
                    where = i + 1;
                }
            }
            lines.insert(lines.begin() + std::ptrdiff_t(where),
                         std::u16string(lpKeyName) + u"=" + lpString);
        } else {
            lines.push_back(u"[" + std::u16string(lpAppName) + u"]");
            lines.push_back(std::u16string(lpKeyName) + u"=" + lpString);
        }
        // Deleting from a file that is not there still makes it, empty.
        const DWORD saved =
            changed || loaded == ERROR_FILE_NOT_FOUND ? Save(file.host, document) : ERROR_SUCCESS;
        if (saved) {
            SetLastError(saved);
        } else {
            SetLastError(ERROR_SUCCESS);
            ok = TRUE;
        }
    }
    return Finish(call, ok);
}
