// The registry: keys and typed values under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, names
// case-insensitive, and the advapi32 functions over them. Like Windows, the registry functions
// return their status and leave the thread's last error alone.
#include "internal.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace celdor::sim {

struct Registry::Key {
    std::u16string name; // as created
    Key* parent = nullptr;
    bool readOnly = false;
    bool deleted = false;
    std::vector<std::shared_ptr<Key>> subkeys;               // in creation order
    std::vector<std::pair<std::u16string, RegValue>> values; // in creation order

    Key* findSubkey(std::u16string_view child) const {
        for (const auto& key : subkeys) {
            if (EqualsIgnoreCase(key->name, child)) {
                return key.get();
            }
        }
        return nullptr;
    }
    std::shared_ptr<Key> sharedSubkey(const Key* child) const {
        for (const auto& key : subkeys) {
            if (key.get() == child) {
                return key;
            }
        }
        return nullptr;
    }
    Key* addSubkey(std::u16string_view child) {
        auto key = std::make_shared<Key>();
        key->name = std::u16string(child);
        key->parent = this;
        subkeys.push_back(key);
        return key.get();
    }
    RegValue* findValue(std::u16string_view valueName) {
        for (auto& [n, v] : values) {
            if (EqualsIgnoreCase(n, valueName)) {
                return &v;
            }
        }
        return nullptr;
    }
    // A deleted key stays alive while handles refer to it, detached from the tree.
    void markDeleted() {
        deleted = true;
        parent = nullptr;
        for (auto& key : subkeys) {
            key->markDeleted();
        }
    }
    void detachFromParent() {
        Key* above = parent;
        markDeleted();
        if (above) {
            auto& siblings = above->subkeys;
            siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                          [&](const auto& k) { return k.get() == this; }),
                           siblings.end());
        }
    }
    std::u16string path() const {
        if (!parent) {
            return {};
        }
        std::u16string above = parent->path();
        return above.empty() ? name : above + u"\\" + name;
    }
};

namespace {

// The names of a key path, viewing the text given.
std::vector<std::u16string_view> SplitPath(std::u16string_view path) {
    std::vector<std::u16string_view> parts;
    parts.reserve(8);
    while (!path.empty()) {
        auto cut = path.find(u'\\');
        auto part = path.substr(0, cut);
        if (!part.empty()) {
            parts.emplace_back(part);
        }
        path = cut == std::u16string_view::npos ? std::u16string_view{} : path.substr(cut + 1);
    }
    return parts;
}

Registry::Key* Walk(Registry::Key* from, std::u16string_view path, bool create) {
    for (const auto& part : SplitPath(path)) {
        Registry::Key* next = from->findSubkey(part);
        if (!next) {
            if (!create) {
                return nullptr;
            }
            next = from->addSubkey(part);
        }
        from = next;
    }
    return from;
}

} // namespace

namespace {

// The keys every Windows installation has, before any program writes a value.
struct BaseKey {
    Hive hive;
    const char16_t* path;
};
constexpr BaseKey kBaseKeys[] = {
    {Hive::LocalMachine, u"HARDWARE"},
    {Hive::LocalMachine, u"SOFTWARE"},
    {Hive::LocalMachine, u"SOFTWARE\\WOW6432Node"},
    {Hive::LocalMachine, u"SYSTEM"},
    {Hive::CurrentUser, u"Environment"},
    {Hive::CurrentUser, u"Software"},
};

} // namespace

bool Registry::isBaseKey(Hive hive, std::u16string_view path) {
    return std::any_of(std::begin(kBaseKeys), std::end(kBaseKeys), [&](const BaseKey& key) {
        return key.hive == hive && EqualsIgnoreCase(key.path, path);
    });
}

// Called with the notebook locked, or while it is being built.
void Registry::makeRoots() {
    for (auto& root : m_roots) {
        if (root) {
            root->markDeleted();
        }
        root = std::make_shared<Key>();
    }
    m_roots[0]->name = u"HKEY_LOCAL_MACHINE";
    m_roots[1]->name = u"HKEY_CURRENT_USER";
    for (const auto& key : kBaseKeys) {
        Walk(&root(key.hive), key.path, true);
    }
}

Registry::Registry() {
    makeRoots();
}
Registry::~Registry() = default;

Registry::Key& Registry::root(Hive hive) {
    return *m_roots[static_cast<int>(hive)];
}
const Registry::Key& Registry::root(Hive hive) const {
    return *m_roots[static_cast<int>(hive)];
}

void Registry::clear() {
    auto lock = detail::LockNotebook();
    makeRoots();
}

namespace {
std::shared_ptr<Registry::Key> CopyTree(const Registry::Key& key, Registry::Key* parent) {
    auto copy = std::make_shared<Registry::Key>();
    copy->name = key.name;
    copy->parent = parent;
    copy->readOnly = key.readOnly;
    copy->values = key.values;
    copy->subkeys.reserve(key.subkeys.size());
    for (const auto& child : key.subkeys) {
        copy->subkeys.push_back(CopyTree(*child, copy.get()));
    }
    return copy;
}
} // namespace

void Registry::assign(const Registry& other) {
    auto lock = detail::LockNotebook();
    for (int hive = 0; hive < 2; ++hive) {
        m_roots[hive]->markDeleted();
        m_roots[hive] = CopyTree(*other.m_roots[hive], nullptr);
    }
}

void Registry::createKey(Hive hive, std::u16string_view path) {
    auto lock = detail::LockNotebook();
    Walk(&root(hive), path, true);
}

bool Registry::keyExists(Hive hive, std::u16string_view path) const {
    auto lock = detail::LockNotebook();
    return Walk(const_cast<Key*>(&root(hive)), path, false) != nullptr;
}

void Registry::deleteKeyTree(Hive hive, std::u16string_view path) {
    auto lock = detail::LockNotebook();
    Key* key = Walk(&root(hive), path, false);
    if (key && key->parent) {
        key->detachFromParent();
    }
}

void Registry::setReadOnly(Hive hive, std::u16string_view path, bool readOnly) {
    auto lock = detail::LockNotebook();
    Walk(&root(hive), path, true)->readOnly = readOnly;
}

bool Registry::isReadOnly(Hive hive, std::u16string_view path) const {
    auto lock = detail::LockNotebook();
    const Key* key = Walk(const_cast<Key*>(&root(hive)), path, false);
    return key && key->readOnly;
}

void Registry::setValue(Hive hive, std::u16string_view path, std::u16string_view name,
                        RegValue value) {
    auto lock = detail::LockNotebook();
    Key* key = Walk(&root(hive), path, true);
    if (RegValue* existing = key->findValue(name)) {
        *existing = std::move(value);
    } else {
        key->values.emplace_back(std::u16string(name), std::move(value));
    }
}

std::optional<RegValue> Registry::value(Hive hive, std::u16string_view path,
                                        std::u16string_view name) const {
    auto lock = detail::LockNotebook();
    Key* key = Walk(const_cast<Key*>(&root(hive)), path, false);
    if (!key) {
        return std::nullopt;
    }
    if (RegValue* found = key->findValue(name)) {
        return *found;
    }
    return std::nullopt;
}

void Registry::deleteValue(Hive hive, std::u16string_view path, std::u16string_view name) {
    auto lock = detail::LockNotebook();
    if (Key* key = Walk(&root(hive), path, false)) {
        auto& values = key->values;
        values.erase(std::remove_if(values.begin(), values.end(),
                                    [&](const auto& v) { return EqualsIgnoreCase(v.first, name); }),
                     values.end());
    }
}

std::vector<std::u16string> Registry::keyPaths(Hive hive) const {
    auto lock = detail::LockNotebook();
    std::vector<std::u16string> out;
    auto visit = [&](const Key& key, auto&& self) -> void {
        for (const auto& child : key.subkeys) {
            out.push_back(child->path());
            self(*child, self);
        }
    };
    visit(root(hive), visit);
    return out;
}

std::vector<std::pair<std::u16string, RegValue>> Registry::values(Hive hive,
                                                                  std::u16string_view path) const {
    auto lock = detail::LockNotebook();
    const Key* key = Walk(const_cast<Key*>(&root(hive)), path, false);
    return key ? key->values : std::vector<std::pair<std::u16string, RegValue>>{};
}

RegValue RegValue::Dword(DWORD value) {
    RegValue v{REG_DWORD, std::vector<std::uint8_t>(4)};
    std::memcpy(v.data.data(), &value, 4);
    return v;
}

RegValue RegValue::Qword(std::uint64_t value) {
    RegValue v{REG_QWORD, std::vector<std::uint8_t>(8)};
    std::memcpy(v.data.data(), &value, 8);
    return v;
}

RegValue RegValue::String(std::u16string_view text, DWORD type) {
    RegValue v{type, std::vector<std::uint8_t>((text.size() + 1) * 2)};
    std::memcpy(v.data.data(), text.data(), text.size() * 2);
    return v;
}

RegValue RegValue::Binary(std::vector<std::uint8_t> bytes) {
    return RegValue{REG_BINARY, std::move(bytes)};
}

std::optional<DWORD> RegValue::asDword() const {
    if (data.size() != 4) {
        return std::nullopt;
    }
    DWORD value;
    std::memcpy(&value, data.data(), 4);
    return value;
}

std::u16string RegValue::asString() const {
    std::u16string text(data.size() / 2, u'\0');
    std::memcpy(text.data(), data.data(), text.size() * 2);
    auto end = text.find(u'\0');
    if (end != std::u16string::npos) {
        text.resize(end);
    }
    return text;
}

} // namespace celdor::sim

// --- advapi32 -------------------------------------------------------------------------------

using namespace celdor::sim;
using namespace celdor::sim::detail;

namespace {

struct OpenKey {
    std::shared_ptr<Registry::Key> key;
    Hive hive = Hive::LocalMachine;
    REGSAM access = 0;

    Registry::Key* get() const { return key.get(); }
};

struct KeyTable {
    std::map<std::uint64_t, OpenKey> keys;
    std::uint64_t next = 0x2000;
};
KeyTable& Keys() {
    static KeyTable table;
    return table;
}

constexpr REGSAM kWriteAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE |
                                WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// The one access check of the registry: a standard user may read the machine's keys but not
// change them, and nobody changes a key made read-only.
bool MayWrite(const Registry::Key& key, Hive hive) {
    return !key.readOnly && (hive != Hive::LocalMachine || NB().elevated());
}

// The open key behind a handle, predefined roots included. A root is open with the most access
// the program is granted.
std::optional<OpenKey> Resolve(HKEY hKey) {
    if (hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CURRENT_USER) {
        const Hive hive = hKey == HKEY_LOCAL_MACHINE ? Hive::LocalMachine : Hive::CurrentUser;
        auto root = NB().registry().rootPtr(hive);
        const REGSAM access = MayWrite(*root, hive) ? KEY_ALL_ACCESS : KEY_READ;
        return OpenKey{std::move(root), hive, access};
    }
    auto it = Keys().keys.find(HandleId(hKey));
    if (it == Keys().keys.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::string Describe(const OpenKey& open, const WCHAR* subKey) {
    std::string text = HiveName(open.hive);
    std::u16string path = open.get()->path();
    if (!path.empty()) {
        text += "\\" + Utf16ToUtf8(path);
    }
    if (subKey && *subKey) {
        text += "\\" + Utf16ToUtf8(subKey);
    }
    return text;
}

HKEY NewHandle(std::shared_ptr<Registry::Key> key, Hive hive, REGSAM access,
               const std::string& what) {
    auto& table = Keys();
    const std::uint64_t id = table.next;
    table.next += 4;
    table.keys.emplace(id, OpenKey{std::move(key), hive, access});
    NB().trackOpen(HandleKind::RegistryKey, id, what);
    return reinterpret_cast<HKEY>(id);
}

// Opens or creates a key below an open one. Only the first missing level needs the right to
// create subkeys of its parent, as on Windows.
LSTATUS OpenOrCreate(const char* function, HKEY hKey, LPCWSTR subKey, REGSAM access, bool create,
                     PHKEY result, LPDWORD disposition, Call& call) {
    if (!result) {
        return ERROR_INVALID_PARAMETER;
    }
    auto parent = Resolve(hKey);
    if (!parent) {
        return ERROR_INVALID_HANDLE; // the caller's handle variable is left as it was
    }
    *result = nullptr;
    if (Observed()) {
        call.target = Describe(*parent, subKey);
    }
    if (auto error = Injected(function, call.target)) {
        return static_cast<LSTATUS>(*error);
    }
    // One view at a time: asking for both registry views is a contradiction.
    if ((access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY)) == (KEY_WOW64_32KEY | KEY_WOW64_64KEY)) {
        return ERROR_INVALID_PARAMETER;
    }
    // A subkey is relative to its parent: a leading backslash makes it malformed.
    if (subKey && subKey[0] == u'\\') {
        return ERROR_BAD_PATHNAME;
    }
    std::shared_ptr<Registry::Key> key = parent->key;
    if (key->deleted) {
        return ERROR_KEY_DELETED;
    }
    // A predefined root opened with no subkey is handed back itself, not a new handle.
    const bool predefined = hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CURRENT_USER;
    if (!create && predefined && (!subKey || !*subKey)) {
        *result = hKey;
        call.handle = HandleId(hKey);
        return ERROR_SUCCESS;
    }
    std::vector<std::u16string_view> parts = SplitPath(subKey ? std::u16string_view(subKey) : u"");
    std::u16string redirected; // the path of the 32-bit view, which `parts` then views
    if ((access & KEY_WOW64_32KEY) && parent->hive == Hive::LocalMachine) {
        // The 32-bit view: a 32-bit program's HKLM\SOFTWARE is SOFTWARE\WOW6432Node, so the
        // key is looked for there, from the root down.
        redirected = key->path();
        for (const auto part : parts) {
            redirected.append(u"\\").append(part);
        }
        std::vector<std::u16string_view> full = SplitPath(redirected);
        if (!full.empty() && EqualsIgnoreCase(full[0], u"SOFTWARE") &&
            (full.size() == 1 || !EqualsIgnoreCase(full[1], u"WOW6432Node"))) {
            full.insert(full.begin() + 1, u"WOW6432Node");
            parts = std::move(full);
            key = NB().registry().rootPtr(Hive::LocalMachine);
        }
    }
    bool created = false;
    for (const auto& part : parts) {
        Registry::Key* next = key->findSubkey(part);
        if (!next) {
            if (!create) {
                return ERROR_FILE_NOT_FOUND;
            }
            if (!MayWrite(*key, parent->hive)) {
                return ERROR_ACCESS_DENIED;
            }
            next = key->addSubkey(part);
            created = true;
        }
        key = key->sharedSubkey(next);
    }
    if ((access & kWriteAccess) && !MayWrite(*key, parent->hive)) {
        return ERROR_ACCESS_DENIED;
    }
    if (disposition) {
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    call.disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    // A leak report names the key; without a journal, by the subkey it was opened with.
    *result = NewHandle(std::move(key), parent->hive, access,
                        call.target.empty() ? Narrow(subKey) : call.target);
    call.handle = HandleId(*result);
    return ERROR_SUCCESS;
}

// A string whose size leaves out its terminator is stored with it when the character after the
// given data is that terminator, as Windows does for callers that forget to count it.
DWORD StoredSize(DWORD type, const BYTE* data, DWORD size) {
    if ((type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) || size < 2 ||
        size % 2 != 0) {
        return size;
    }
    // The character after the data is looked at only when the data does not end the string.
    char16_t last = 0, next = 0;
    std::memcpy(&last, data + size - 2, 2);
    if (last == 0) {
        return size;
    }
    std::memcpy(&next, data + size, 2);
    return next == 0 ? size + 2 : size;
}

} // namespace

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    AdvanceServices(); // the values the services publish change with time
    Call call{.function = "RegOpenKeyExW", .access = samDesired, .flags = ulOptions};
    return Finish(call, OpenOrCreate("RegOpenKeyExW", hKey, lpSubKey, samDesired, false, phkResult,
                                     nullptr, call));
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                               DWORD dwOptions, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
    const SystemCallScope systemCall;
    (void)Reserved;
    (void)lpClass;
    (void)lpSecurityAttributes;
    auto lock = LockNotebook();
    Call call{.function = "RegCreateKeyExW", .access = samDesired, .flags = dwOptions};
    if (!lpSubKey) {
        return Finish(call, ERROR_INVALID_PARAMETER);
    }
    return Finish(call, OpenOrCreate("RegCreateKeyExW", hKey, lpSubKey, samDesired, true, phkResult,
                                     lpdwDisposition, call));
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
    const SystemCallScope systemCall;
    (void)lpReserved;
    auto lock = LockNotebook();
    AdvanceServices();
    Call call{.function = "RegQueryValueExW",
              .handle = HandleId(hKey),
              .outSize = lpcbData ? *lpcbData : 0};
    auto open = Resolve(hKey);
    if (!open) {
        return Finish(call, ERROR_INVALID_HANDLE);
    }
    if (Observed()) {
        call.target = Describe(*open, nullptr) + " : " + Narrow(lpValueName ? lpValueName : u"");
    }
    if (auto error = Injected("RegQueryValueExW", call.target)) {
        return Finish(call, static_cast<LSTATUS>(*error));
    }
    if (lpData && !lpcbData) {
        return Finish(call, ERROR_INVALID_PARAMETER);
    }
    if (!(open->access & (KEY_QUERY_VALUE | GENERIC_READ | GENERIC_ALL))) {
        return Finish(call, ERROR_ACCESS_DENIED);
    }
    if (open->get()->deleted) {
        return Finish(call, ERROR_KEY_DELETED);
    }
    const RegValue* value = open->get()->findValue(lpValueName ? lpValueName : u"");
    if (!value) {
        if (lpcbData && !lpData) {
            *lpcbData = 0; // a size query learns there is nothing
        }
        return Finish(call, ERROR_FILE_NOT_FOUND);
    }
    call.code = value->type;
    if (lpType) {
        *lpType = value->type;
    }
    const DWORD size = static_cast<DWORD>(value->data.size());
    if (!lpcbData) {
        return Finish(call, ERROR_SUCCESS);
    }
    if (lpData && *lpcbData < size) {
        *lpcbData = size;
        return Finish(call, ERROR_MORE_DATA);
    }
    if (lpData && size) {
        std::memcpy(lpData, value->data.data(), size);
    }
    *lpcbData = size;
    return Finish(call, ERROR_SUCCESS);
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
    const SystemCallScope systemCall;
    (void)Reserved;
    auto lock = LockNotebook();
    Call call{
        .function = "RegSetValueExW", .handle = HandleId(hKey), .code = dwType, .inSize = cbData};
    if (lpData) {
        call.input.assign(lpData, lpData + cbData);
    }
    auto open = Resolve(hKey);
    if (!open) {
        return Finish(call, ERROR_INVALID_HANDLE);
    }
    call.target = Describe(*open, nullptr) + " : " + Narrow(lpValueName ? lpValueName : u"");
    if (auto error = Injected("RegSetValueExW", call.target)) {
        return Finish(call, static_cast<LSTATUS>(*error));
    }
    if (!lpData && cbData) {
        return Finish(call, ERROR_NOACCESS);
    }
    if (!(open->access & (KEY_SET_VALUE | GENERIC_WRITE | GENERIC_ALL))) {
        return Finish(call, ERROR_ACCESS_DENIED);
    }
    Registry::Key* key = open->get();
    if (key->deleted) {
        return Finish(call, ERROR_KEY_DELETED);
    }
    RegValue value{dwType, {}};
    if (lpData) {
        value.data.assign(lpData, lpData + StoredSize(dwType, lpData, cbData));
    }
    const std::u16string name = lpValueName ? lpValueName : u"";
    if (RegValue* existing = key->findValue(name)) {
        *existing = std::move(value);
    } else {
        key->values.emplace_back(name, std::move(value));
    }
    return Finish(call, ERROR_SUCCESS);
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    Call call{.function = "RegDeleteValueW", .handle = HandleId(hKey)};
    auto open = Resolve(hKey);
    if (!open) {
        return Finish(call, ERROR_INVALID_HANDLE);
    }
    call.target = Describe(*open, nullptr) + " : " + Narrow(lpValueName ? lpValueName : u"");
    if (auto error = Injected("RegDeleteValueW", call.target)) {
        return Finish(call, static_cast<LSTATUS>(*error));
    }
    if (!(open->access & (KEY_SET_VALUE | GENERIC_WRITE | GENERIC_ALL))) {
        return Finish(call, ERROR_ACCESS_DENIED);
    }
    auto& values = open->get()->values;
    const std::u16string name = lpValueName ? lpValueName : u"";
    auto it = std::find_if(values.begin(), values.end(),
                           [&](const auto& v) { return EqualsIgnoreCase(v.first, name); });
    if (it == values.end()) {
        return Finish(call, ERROR_FILE_NOT_FOUND);
    }
    values.erase(it);
    return Finish(call, ERROR_SUCCESS);
}

LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    Call call{.function = "RegDeleteKeyW", .handle = HandleId(hKey)};
    auto open = Resolve(hKey);
    if (!open) {
        return Finish(call, ERROR_INVALID_HANDLE);
    }
    call.target = Describe(*open, lpSubKey);
    if (auto error = Injected("RegDeleteKeyW", call.target)) {
        return Finish(call, static_cast<LSTATUS>(*error));
    }
    if (!lpSubKey) {
        return Finish(call, ERROR_INVALID_PARAMETER);
    }
    Registry::Key* key = Walk(open->get(), lpSubKey, false);
    if (!key) {
        return Finish(call, ERROR_FILE_NOT_FOUND);
    }
    // A key with subkeys cannot be deleted, nor can a hive root or a protected key.
    if (!key->parent || !key->subkeys.empty() || !MayWrite(*key, open->hive) ||
        !MayWrite(*key->parent, open->hive)) {
        return Finish(call, ERROR_ACCESS_DENIED);
    }
    key->detachFromParent();
    return Finish(call, ERROR_SUCCESS);
}

LSTATUS WINAPI RegFlushKey(HKEY hKey) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    Call call{.function = "RegFlushKey", .handle = HandleId(hKey)};
    auto open = Resolve(hKey);
    if (!open) {
        return Finish(call, ERROR_INVALID_HANDLE);
    }
    call.target = Describe(*open, nullptr);
    if (auto error = Injected("RegFlushKey", call.target)) {
        return Finish(call, static_cast<LSTATUS>(*error));
    }
    return Finish(call, open->get()->deleted ? ERROR_KEY_DELETED : ERROR_SUCCESS);
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    Call call{.function = "RegCloseKey", .handle = HandleId(hKey)};
    if (hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CURRENT_USER) {
        return Finish(call, ERROR_SUCCESS);
    }
    auto& keys = Keys().keys;
    auto it = keys.find(HandleId(hKey));
    if (it == keys.end()) {
        return Finish(call, ERROR_INVALID_HANDLE);
    }
    if (Observed()) {
        call.target = Describe(it->second, nullptr);
    }
    keys.erase(it);
    NB().trackClose(HandleKind::RegistryKey, HandleId(hKey));
    return Finish(call, ERROR_SUCCESS);
}
