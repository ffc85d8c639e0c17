// Security descriptors: the text form (security descriptor definition language) turned into the
// self-relative binary form Windows hands out, and what such a descriptor means for a folder
// created on the host.
//
// The text form understood here: owner "O:", group "G:" and DACL "D:" parts in any order; DACL
// flags P, AI, AR and NO_ACCESS_CONTROL (a null DACL); access-allowed "A" and access-denied "D"
// entries with the inheritance flags, the generic, standard, file, key and directory-service
// rights or a hexadecimal mask, and the usual two-letter account aliases or "S-1-..." SIDs.
// SACLs, object entries and conditional entries are not part of the notebook's subset.
#include "internal.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <string>

using namespace celdor::sim;
using namespace celdor::sim::detail;

namespace {

// Text that Windows accepts but this subset does not understand fails with this code, so that
// a caller sees the gap instead of a descriptor that means something else.
constexpr DWORD kErrorUnsupported = ERROR_NOT_SUPPORTED;

// A SID in its binary form.
using SidBytes = std::vector<std::uint8_t>;

SidBytes MakeSid(std::uint64_t authority, const DWORD* parts, std::size_t count) {
    SidBytes sid;
    sid.push_back(SID_REVISION);
    sid.push_back(static_cast<std::uint8_t>(count));
    for (int shift = 40; shift >= 0; shift -= 8) {
        sid.push_back(static_cast<std::uint8_t>(authority >> shift)); // big-endian
    }
    for (std::size_t i = 0; i < count; ++i) {
        for (int shift = 0; shift < 32; shift += 8) {
            sid.push_back(static_cast<std::uint8_t>(parts[i] >> shift));
        }
    }
    return sid;
}

struct Alias {
    char16_t name[3];
    std::uint64_t authority;
    std::size_t count;
    DWORD parts[2];

    SidBytes Sid() const { return MakeSid(authority, parts, count); }
};

// The well-known accounts a descriptor may name by alias.
constexpr Alias kAliases[] = {
    {u"WD", 1, 1, {0}},       // Everyone
    {u"CO", 3, 1, {0}},       // creator owner
    {u"CG", 3, 1, {1}},       // creator group
    {u"OW", 3, 1, {4}},       // owner rights
    {u"NU", 5, 1, {2}},       // network logon users
    {u"IU", 5, 1, {4}},       // interactive users
    {u"SU", 5, 1, {6}},       // service logon users
    {u"AN", 5, 1, {7}},       // anonymous logon
    {u"AU", 5, 1, {11}},      // authenticated users
    {u"SY", 5, 1, {18}},      // local system
    {u"LS", 5, 1, {19}},      // local service
    {u"NS", 5, 1, {20}},      // network service
    {u"BA", 5, 2, {32, 544}}, // administrators
    {u"BU", 5, 2, {32, 545}}, // users
    {u"BG", 5, 2, {32, 546}}, // guests
    {u"PU", 5, 2, {32, 547}}, // power users
    {u"AC", 15, 2, {2, 1}},   // all application packages
};

const Alias& AliasOf(std::u16string_view name) {
    for (const Alias& alias : kAliases) {
        if (name == alias.name) {
            return alias;
        }
    }
    return kAliases[0];
}

struct Right {
    char16_t name[3];
    DWORD mask;
};

const Right kRights[] = {
    {u"GA", GENERIC_ALL},
    {u"GR", GENERIC_READ},
    {u"GW", GENERIC_WRITE},
    {u"GX", GENERIC_EXECUTE},
    {u"RC", READ_CONTROL},
    {u"SD", DELETE},
    {u"WD", WRITE_DAC},
    {u"WO", WRITE_OWNER},
    {u"RP", 0x0010},
    {u"WP", 0x0020},
    {u"CC", 0x0001},
    {u"DC", 0x0002},
    {u"LC", 0x0004},
    {u"SW", 0x0008},
    {u"LO", 0x0080},
    {u"DT", 0x0040},
    {u"CR", 0x0100},
    {u"FA", FILE_ALL_ACCESS},
    {u"FR", FILE_GENERIC_READ},
    {u"FW", FILE_GENERIC_WRITE},
    {u"FX", FILE_GENERIC_EXECUTE},
    {u"KA", KEY_ALL_ACCESS},
    {u"KR", KEY_READ},
    {u"KW", KEY_WRITE},
    {u"KX", KEY_EXECUTE},
};

struct Flag {
    char16_t name[3];
    BYTE bit;
};

// In the order the text form writes them.
const Flag kAceFlags[] = {
    {u"OI", OBJECT_INHERIT_ACE},
    {u"CI", CONTAINER_INHERIT_ACE},
    {u"NP", NO_PROPAGATE_INHERIT_ACE},
    {u"IO", INHERIT_ONLY_ACE},
    {u"ID", INHERITED_ACE},
    {u"SA", 0x40},
    {u"FA", 0x80},
};

bool IsHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

unsigned HexValue(char16_t c) {
    return c <= u'9'   ? unsigned(c - u'0')
           : c <= u'F' ? unsigned(c - u'A' + 10)
                       : unsigned(c - u'a' + 10);
}

bool ParseNumber(std::u16string_view text, std::uint64_t limit, std::uint64_t& value) {
    value = 0;
    if (text.empty()) {
        return false;
    }
    const bool hex = text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X');
    if (hex) {
        text.remove_prefix(2);
    }
    for (char16_t c : text) {
        const unsigned digit = hex ? (IsHexDigit(c) ? HexValue(c) : 99u)
                                   : (c >= u'0' && c <= u'9' ? unsigned(c - u'0') : 99u);
        if (digit >= (hex ? 16u : 10u)) {
            return false;
        }
        value = value * (hex ? 16 : 10) + digit;
        if (value > limit) {
            return false;
        }
    }
    return true;
}

// "S-1-<authority>-<sub>-<sub>...": at most 15 sub-authorities.
bool ParseSidString(std::u16string_view text, SidBytes& sid) {
    if (!text.starts_with(u"S-1-")) {
        return false;
    }
    text.remove_prefix(4);
    std::vector<std::uint64_t> numbers;
    while (true) {
        const auto cut = text.find(u'-');
        std::uint64_t number = 0;
        const std::uint64_t limit = numbers.empty() ? 0xFFFFFFFFFFFFull : 0xFFFFFFFFull;
        if (!ParseNumber(text.substr(0, cut), limit, number)) {
            return false;
        }
        numbers.push_back(number);
        if (cut == std::u16string_view::npos) {
            break;
        }
        text.remove_prefix(cut + 1);
    }
    if (numbers.size() > 16) {
        return false;
    }
    DWORD parts[15] = {};
    for (std::size_t i = 1; i < numbers.size(); ++i) {
        parts[i - 1] = static_cast<DWORD>(numbers[i]);
    }
    sid = MakeSid(numbers[0], parts, numbers.size() - 1);
    return true;
}

bool ParseSid(std::u16string_view text, SidBytes& sid) {
    if (text.size() == 2) {
        for (const Alias& alias : kAliases) {
            if (text == alias.name) {
                sid = alias.Sid();
                return true;
            }
        }
        return false;
    }
    return ParseSidString(text, sid);
}

bool ParseRights(std::u16string_view text, DWORD& mask) {
    mask = 0;
    if (text.starts_with(u"0x") || text.starts_with(u"0X")) {
        std::uint64_t value = 0;
        if (!ParseNumber(text, 0xFFFFFFFFull, value)) {
            return false;
        }
        mask = static_cast<DWORD>(value);
        return true;
    }
    if (text.size() % 2 != 0) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const std::u16string_view code = text.substr(i, 2);
        bool known = false;
        for (const Right& right : kRights) {
            if (code == right.name) {
                mask |= right.mask;
                known = true;
                break;
            }
        }
        if (!known) {
            return false;
        }
    }
    return true;
}

bool ParseAceFlags(std::u16string_view text, BYTE& flags) {
    flags = 0;
    if (text.size() % 2 != 0) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const std::u16string_view code = text.substr(i, 2);
        bool known = false;
        for (const Flag& flag : kAceFlags) {
            if (code == flag.name) {
                flags |= flag.bit;
                known = true;
                break;
            }
        }
        if (!known) {
            return false;
        }
    }
    return true;
}

void AppendWord(std::vector<std::uint8_t>& out, WORD value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void AppendDword(std::vector<std::uint8_t>& out, DWORD value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

struct ParsedDescriptor {
    std::optional<SidBytes> owner;
    std::optional<SidBytes> group;
    bool hasDacl = false;
    bool nullDacl = false;
    WORD daclControl = 0;
    std::vector<std::uint8_t> daclAces;
    WORD aceCount = 0;
};

// One "(type;flags;rights;object;inherit-object;account)" entry, without its parentheses.
DWORD ParseAce(std::u16string_view text, ParsedDescriptor& out) {
    std::u16string_view fields[6];
    std::size_t count = 0;
    while (true) {
        const auto cut = text.find(u';');
        if (count == 6) {
            return kErrorUnsupported; // conditional or resource-attribute entries
        }
        fields[count++] = text.substr(0, cut);
        if (cut == std::u16string_view::npos) {
            break;
        }
        text.remove_prefix(cut + 1);
    }
    if (count != 6) {
        return ERROR_INVALID_ACL;
    }
    BYTE type = 0;
    if (fields[0] == u"A") {
        type = ACCESS_ALLOWED_ACE_TYPE;
    } else if (fields[0] == u"D") {
        type = ACCESS_DENIED_ACE_TYPE;
    } else if (fields[0] == u"OA" || fields[0] == u"OD" || fields[0] == u"AU" ||
               fields[0] == u"AL" || fields[0] == u"ML" || fields[0] == u"XA" ||
               fields[0] == u"XD") {
        return kErrorUnsupported;
    } else {
        return ERROR_INVALID_ACL;
    }
    BYTE flags = 0;
    DWORD mask = 0;
    SidBytes sid;
    if (!ParseAceFlags(fields[1], flags) || !ParseRights(fields[2], mask) || !fields[3].empty() ||
        !fields[4].empty()) {
        return ERROR_INVALID_ACL;
    }
    if (!ParseSid(fields[5], sid)) {
        return ERROR_INVALID_ACL;
    }
    out.daclAces.push_back(type);
    out.daclAces.push_back(flags);
    AppendWord(out.daclAces, static_cast<WORD>(8 + sid.size()));
    AppendDword(out.daclAces, mask);
    out.daclAces.insert(out.daclAces.end(), sid.begin(), sid.end());
    ++out.aceCount;
    return ERROR_SUCCESS;
}

DWORD ParseDacl(std::u16string_view text, ParsedDescriptor& out) {
    out.hasDacl = true;
    // Flags up to the first entry.
    const auto open = text.find(u'(');
    std::u16string_view flags = text.substr(0, open);
    while (!flags.empty()) {
        if (flags.starts_with(u"NO_ACCESS_CONTROL")) {
            out.nullDacl = true;
            flags.remove_prefix(17);
        } else if (flags.starts_with(u"AI")) {
            out.daclControl |= SE_DACL_AUTO_INHERITED;
            flags.remove_prefix(2);
        } else if (flags.starts_with(u"AR")) {
            out.daclControl |= SE_DACL_AUTO_INHERIT_REQ;
            flags.remove_prefix(2);
        } else if (flags.starts_with(u"P")) {
            out.daclControl |= SE_DACL_PROTECTED;
            flags.remove_prefix(1);
        } else {
            return ERROR_INVALID_ACL;
        }
    }
    if (open == std::u16string_view::npos) {
        return ERROR_SUCCESS;
    }
    if (out.nullDacl) {
        return ERROR_INVALID_ACL; // a null DACL has no entries
    }
    text.remove_prefix(open);
    while (!text.empty()) {
        if (text[0] != u'(') {
            return ERROR_INVALID_ACL;
        }
        const auto close = text.find(u')');
        if (close == std::u16string_view::npos) {
            return ERROR_INVALID_ACL;
        }
        if (DWORD error = ParseAce(text.substr(1, close - 1), out)) {
            return error;
        }
        text.remove_prefix(close + 1);
    }
    return ERROR_SUCCESS;
}

// Splits "O:..G:..D:.." into its parts: a part runs to the next "X:" that starts another part.
DWORD ParseDescriptor(std::u16string_view text, ParsedDescriptor& out) {
    bool seen[4] = {};
    while (!text.empty()) {
        if (text.size() < 2 || text[1] != u':') {
            return ERROR_INVALID_PARAMETER;
        }
        const char16_t part = text[0];
        text.remove_prefix(2);
        // The next part starts at a letter followed by ':' outside an entry.
        std::size_t end = 0;
        int depth = 0;
        for (; end < text.size(); ++end) {
            const char16_t c = text[end];
            depth += c == u'(' ? 1 : c == u')' ? -1 : 0;
            if (depth == 0 && end + 1 < text.size() && text[end + 1] == u':' &&
                (c == u'O' || c == u'G' || c == u'D' || c == u'S')) {
                break;
            }
        }
        const std::u16string_view body = text.substr(0, end);
        text.remove_prefix(end);
        const int index = part == u'O'   ? 0
                          : part == u'G' ? 1
                          : part == u'D' ? 2
                          : part == u'S' ? 3
                                         : -1;
        if (index < 0 || seen[index]) {
            return ERROR_INVALID_PARAMETER;
        }
        seen[index] = true;
        SidBytes sid;
        switch (index) {
        case 0:
        case 1:
            if (!ParseSid(body, sid)) {
                return body.size() == 2 || body.starts_with(u"S-") ? ERROR_INVALID_SID
                                                                   : ERROR_NONE_MAPPED;
            }
            (index == 0 ? out.owner : out.group) = std::move(sid);
            break;
        case 2:
            if (DWORD error = ParseDacl(body, out)) {
                return error;
            }
            break;
        default:
            return kErrorUnsupported;
        }
    }
    return ERROR_SUCCESS;
}

// The header, then the owner, the group and the DACL.
std::vector<std::uint8_t> Serialize(const ParsedDescriptor& in) {
    const bool daclBody = in.hasDacl && !in.nullDacl;
    const DWORD ownerSize = in.owner ? DWORD(in.owner->size()) : 0;
    const DWORD groupSize = in.group ? DWORD(in.group->size()) : 0;
    const DWORD headerSize = sizeof(SECURITY_DESCRIPTOR_RELATIVE);
    const DWORD ownerAt = in.owner ? headerSize : 0;
    const DWORD groupAt = in.group ? headerSize + ownerSize : 0;
    const DWORD daclAt = daclBody ? headerSize + ownerSize + groupSize : 0;
    WORD control = SE_SELF_RELATIVE;
    if (in.hasDacl) {
        control |= SE_DACL_PRESENT | in.daclControl;
    }
    std::vector<std::uint8_t> out;
    out.push_back(SECURITY_DESCRIPTOR_REVISION);
    out.push_back(0);
    AppendWord(out, control);
    AppendDword(out, ownerAt);
    AppendDword(out, groupAt);
    AppendDword(out, 0); // no SACL
    AppendDword(out, daclAt);
    for (const auto* sid : {&in.owner, &in.group}) {
        if (*sid) {
            out.insert(out.end(), (*sid)->begin(), (*sid)->end());
        }
    }
    if (daclBody) {
        out.push_back(ACL_REVISION);
        out.push_back(0);
        AppendWord(out, static_cast<WORD>(sizeof(ACL) + in.daclAces.size()));
        AppendWord(out, in.aceCount);
        AppendWord(out, 0);
        out.insert(out.end(), in.daclAces.begin(), in.daclAces.end());
    }
    return out;
}

// --- Reading a descriptor back --------------------------------------------------------------

WORD GetWord(const std::uint8_t* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

DWORD GetDword(const std::uint8_t* p) {
    return DWORD(p[0]) | (DWORD(p[1]) << 8) | (DWORD(p[2]) << 16) | (DWORD(p[3]) << 24);
}

std::size_t SidLength(const std::uint8_t* sid) {
    return 8 + 4 * std::size_t(sid[1]);
}

bool SidIs(const std::uint8_t* sid, const Alias& alias) {
    const SidBytes expected = alias.Sid();
    return SidLength(sid) == expected.size() &&
           std::memcmp(sid, expected.data(), expected.size()) == 0;
}

// Accounts that stand for every user of the machine.
bool IsEveryUser(const std::uint8_t* sid) {
    return SidIs(sid, AliasOf(u"WD")) || SidIs(sid, AliasOf(u"AU")) || SidIs(sid, AliasOf(u"BU")) ||
           SidIs(sid, AliasOf(u"IU"));
}

std::string Code(const char16_t (&name)[3]) {
    return {static_cast<char>(name[0]), static_cast<char>(name[1])};
}

std::string SidText(const std::uint8_t* sid) {
    for (const Alias& alias : kAliases) {
        if (SidIs(sid, alias)) {
            return Code(alias.name);
        }
    }
    std::uint64_t authority = 0;
    for (int i = 2; i < 8; ++i) {
        authority = authority << 8 | sid[i];
    }
    std::string text = "S-1-" + std::to_string(authority);
    for (std::size_t i = 0; i < sid[1]; ++i) {
        text += "-" + std::to_string(GetDword(sid + 8 + 4 * i));
    }
    return text;
}

// A mask as one code, as the codes of its single rights, or in hexadecimal.
std::string RightsText(DWORD mask) {
    std::string text;
    DWORD covered = 0;
    for (const Right& right : kRights) {
        if (right.mask == mask) {
            return Code(right.name);
        }
        if (std::has_single_bit(right.mask) && (mask & right.mask)) {
            text += Code(right.name);
            covered |= right.mask;
        }
    }
    if (covered != mask) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(mask));
        text = hex;
    }
    return text;
}

std::string AceText(const std::uint8_t* ace) {
    const BYTE type = ace[0];
    std::string text = type == ACCESS_ALLOWED_ACE_TYPE  ? "(A;"
                       : type == ACCESS_DENIED_ACE_TYPE ? "(D;"
                                                        : "(" + std::to_string(type) + ";";
    for (const Flag& flag : kAceFlags) {
        if (ace[1] & flag.bit) {
            text += Code(flag.name);
        }
    }
    return text + ";" + RightsText(GetDword(ace + 4)) + ";;;" + SidText(ace + 8) + ")";
}

// Permission bits for "group and others" that a folder access mask carries.
unsigned FolderBits(DWORD mask) {
    unsigned bits = 0;
    if (mask & (GENERIC_ALL | GENERIC_READ | FILE_LIST_DIRECTORY)) {
        bits |= 044;
    }
    if (mask & (GENERIC_ALL | GENERIC_WRITE | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY)) {
        bits |= 022;
    }
    if (mask & (GENERIC_ALL | GENERIC_EXECUTE | FILE_TRAVERSE)) {
        bits |= 011;
    }
    return bits;
}

} // namespace

namespace celdor::sim::detail {

DescriptorInfo InspectDescriptor(const void* descriptor) {
    DescriptorInfo info;
    const auto* base = static_cast<const std::uint8_t*>(descriptor);
    const WORD control = GetWord(base + 2);
    if (base[0] != SECURITY_DESCRIPTOR_REVISION || !(control & SE_SELF_RELATIVE)) {
        return info;
    }
    std::size_t size = sizeof(SECURITY_DESCRIPTOR_RELATIVE);
    std::string text;
    for (std::size_t field : {4, 8}) {
        if (const DWORD at = GetDword(base + field)) {
            size = std::max(size, at + SidLength(base + at));
            text += (field == 4 ? "O:" : "G:") + SidText(base + at);
        }
    }
    if (control & SE_DACL_PRESENT) {
        text += "D:";
        text += control & SE_DACL_PROTECTED ? "P" : "";
        text += control & SE_DACL_AUTO_INHERIT_REQ ? "AR" : "";
        text += control & SE_DACL_AUTO_INHERITED ? "AI" : "";
    }
    const DWORD sacl = GetDword(base + 12);
    if ((control & SE_SACL_PRESENT) && sacl) {
        size = std::max<std::size_t>(size, sacl + GetWord(base + sacl + 2));
    }
    const DWORD dacl = (control & SE_DACL_PRESENT) ? GetDword(base + 16) : 0;
    if (dacl) {
        const std::uint8_t* acl = base + dacl;
        if (acl[0] != ACL_REVISION && acl[0] != 4) {
            return info;
        }
        size = std::max<std::size_t>(size, dacl + GetWord(acl + 2));
        unsigned granted = 0, denied = 0;
        const std::uint8_t* ace = acl + sizeof(ACL);
        for (WORD i = 0; i < GetWord(acl + 4); ++i) {
            const BYTE type = ace[0];
            const BYTE flags = ace[1];
            const WORD aceSize = GetWord(ace + 2);
            if (aceSize < 8 || ace + aceSize > acl + GetWord(acl + 2)) {
                return info;
            }
            text += AceText(ace);
            // Entries only for what the folder passes on do not apply to the folder itself.
            if (!(flags & INHERIT_ONLY_ACE) &&
                (type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_DENIED_ACE_TYPE)) {
                const std::uint8_t* sid = ace + 8;
                if (IsEveryUser(sid)) {
                    (type == ACCESS_ALLOWED_ACE_TYPE ? granted : denied) |=
                        FolderBits(GetDword(ace + 4));
                }
            }
            ace += aceSize;
        }
        // The creator keeps full use of its folder; everyone else gets what the entries say.
        info.mode = 0700u | (granted & ~denied);
    } else if (control & SE_DACL_PRESENT) {
        info.mode = 0777u; // a null DACL: no protection at all
        text += "NO_ACCESS_CONTROL";
    }
    info.valid = true;
    info.text = std::move(text);
    info.bytes.assign(base, base + size);
    return info;
}

} // namespace celdor::sim::detail

BOOL WINAPI ConvertStringSecurityDescriptorToSecurityDescriptorW(
    LPCWSTR StringSecurityDescriptor, DWORD StringSDRevision,
    PSECURITY_DESCRIPTOR* SecurityDescriptor, PULONG SecurityDescriptorSize) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    Call call{.function = "ConvertStringSecurityDescriptorToSecurityDescriptorW",
              .target = Narrow(StringSecurityDescriptor),
              .code = StringSDRevision};
    BOOL ok = FALSE;
    ParsedDescriptor parsed;
    if (SecurityDescriptor) {
        *SecurityDescriptor = nullptr;
    }
    if (!StringSecurityDescriptor || !SecurityDescriptor) {
        SetLastError(ERROR_INVALID_PARAMETER);
    } else if (StringSDRevision != SDDL_REVISION_1) {
        SetLastError(ERROR_UNKNOWN_REVISION);
    } else if (auto error =
                   Injected("ConvertStringSecurityDescriptorToSecurityDescriptorW", call.target)) {
        SetLastError(*error);
    } else if (DWORD error = ParseDescriptor(StringSecurityDescriptor, parsed)) {
        SetLastError(error);
    } else {
        const std::vector<std::uint8_t> bytes = Serialize(parsed);
        void* block = LocalBlock(bytes.size());
        if (!block) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        } else {
            std::memcpy(block, bytes.data(), bytes.size());
            *SecurityDescriptor = block;
            if (SecurityDescriptorSize) {
                *SecurityDescriptorSize = static_cast<ULONG>(bytes.size());
            }
            call.handle = HandleId(block);
            call.input = bytes;
            call.outSize = static_cast<DWORD>(bytes.size());
            ok = TRUE;
        }
    }
    return Finish(call, ok);
}
