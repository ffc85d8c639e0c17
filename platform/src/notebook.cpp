// The notebook itself: its lifetime, the folder behind its drives, accounting, the journal and
// fault injection.
#include "internal.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <system_error>

namespace celdor::sim {

namespace fs = std::filesystem;

// --- Text helpers ---------------------------------------------------------------------------

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        auto byte = static_cast<unsigned char>(text[i]);
        char32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (byte < 0x80) {
            cp = byte;
        } else if ((byte >> 5) == 0x6) {
            len = 2;
        } else if ((byte >> 4) == 0xE) {
            len = 3;
        } else if ((byte >> 3) == 0x1E) {
            len = 4;
        }
        if (len > 1) {
            if (i + len > text.size()) {
                len = 1;
            } else {
                char32_t value = byte & (0xFF >> (len + 1));
                bool valid = true;
                for (std::size_t k = 1; k < len; ++k) {
                    auto next = static_cast<unsigned char>(text[i + k]);
                    if ((next >> 6) != 0x2) {
                        valid = false;
                        break;
                    }
                    value = (value << 6) | (next & 0x3F);
                }
                static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
                if (valid && value >= kMin[len] && value <= 0x10FFFF &&
                    !(value >= 0xD800 && value <= 0xDFFF)) {
                    cp = value;
                } else {
                    len = 1;
                }
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    // Names are converted on every call, most of them plain ASCII: those are copied in one pass.
    if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; })) {
        std::string ascii(text.size(), '\0');
        std::transform(text.begin(), text.end(), ascii.begin(),
                       [](char16_t c) { return static_cast<char>(c); });
        return ascii;
    }
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

static char16_t UpperUnit(char16_t c) {
    if (c >= u'a' && c <= u'z') {
        return static_cast<char16_t>(c - 32);
    }
    // Latin-1 supplement and Latin Extended-A cover the names a notebook is likely to carry.
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
        return static_cast<char16_t>(c - 32);
    }
    if (c >= 0x100 && c <= 0x17F && (c & 1) && c != 0x131 && c != 0x138 && c != 0x149) {
        return static_cast<char16_t>(c - 1);
    }
    return c;
}

std::u16string ToUpper(std::u16string_view text) {
    std::u16string out(text);
    std::transform(out.begin(), out.end(), out.begin(), UpperUnit);
    return out;
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (UpperUnit(a[i]) != UpperUnit(b[i])) {
            return false;
        }
    }
    return true;
}

const char* HiveName(Hive hive) {
    return hive == Hive::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

const char* HandleKindName(HandleKind kind) {
    switch (kind) {
    case HandleKind::File:
        return "file";
    case HandleKind::Device:
        return "device";
    case HandleKind::RegistryKey:
        return "registry key";
    case HandleKind::Allocation:
        return "allocation";
    case HandleKind::Service:
        return "service handle";
    case HandleKind::DeviceInfoList:
        return "device information list";
    }
    return "handle";
}

// --- Journal --------------------------------------------------------------------------------

std::vector<Call> Journal::calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<Call> Journal::calls(std::string_view function) const {
    std::lock_guard lock(m_mutex);
    std::vector<Call> out;
    for (const auto& call : m_calls) {
        if (call.function == function) {
            out.push_back(call);
        }
    }
    return out;
}

std::size_t Journal::count(std::string_view function) const {
    std::lock_guard lock(m_mutex);
    return static_cast<std::size_t>(std::count_if(
        m_calls.begin(), m_calls.end(), [&](const Call& c) { return c.function == function; }));
}

std::vector<std::string> Journal::functions() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    out.reserve(m_calls.size());
    for (const auto& call : m_calls) {
        out.push_back(call.function);
    }
    return out;
}

void Journal::clear() {
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}

void Journal::setEnabled(bool enabled) {
    std::lock_guard lock(m_mutex);
    m_enabled = enabled;
}

bool Journal::enabled() const {
    return m_enabled;
}

void Journal::record(Call call) {
    if (!m_enabled) {
        return;
    }
    std::lock_guard lock(m_mutex);
    if (m_enabled) {
        m_calls.push_back(std::move(call));
    }
}

// --- Faults ---------------------------------------------------------------------------------

Fault Fault::Always(DWORD error, std::string target) {
    return Fault{Mode::Always, 1, error, std::move(target)};
}
Fault Fault::Once(DWORD error, std::string target) {
    return Fault{Mode::Once, 1, error, std::move(target)};
}
Fault Fault::Nth(unsigned n, DWORD error, std::string target) {
    return Fault{Mode::Nth, n, error, std::move(target)};
}

void Faults::inject(std::string function, Fault fault) {
    std::lock_guard lock(m_mutex);
    m_armed.push_back(Armed{std::move(function), std::move(fault)});
    m_count = m_armed.size();
}

void Faults::clear() {
    std::lock_guard lock(m_mutex);
    m_armed.clear();
    m_count = 0;
}

bool Faults::armed() const {
    if (m_count == 0) {
        return false;
    }
    std::lock_guard lock(m_mutex);
    return std::any_of(m_armed.begin(), m_armed.end(), [](const Armed& a) { return !a.spent; });
}

static bool ContainsIgnoreCase(std::string_view haystack, std::string_view needle) {
    auto it = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(),
                          [](char a, char b) {
                              return std::toupper(static_cast<unsigned char>(a)) ==
                                     std::toupper(static_cast<unsigned char>(b));
                          });
    return it != haystack.end();
}

std::optional<DWORD> Faults::check(std::string_view function, std::string_view target) {
    if (m_count == 0) {
        return std::nullopt;
    }
    std::lock_guard lock(m_mutex);
    for (auto& armed : m_armed) {
        if (armed.function != function || armed.spent) {
            continue;
        }
        if (!armed.fault.target.empty() && !ContainsIgnoreCase(target, armed.fault.target)) {
            continue;
        }
        ++armed.seen;
        switch (armed.fault.mode) {
        case Fault::Mode::Always:
            return armed.fault.error;
        case Fault::Mode::Once:
            armed.spent = true;
            return armed.fault.error;
        case Fault::Mode::Nth:
            if (armed.seen == armed.fault.n) {
                armed.spent = true;
                return armed.fault.error;
            }
            break;
        }
    }
    return std::nullopt;
}

// --- Notebook -------------------------------------------------------------------------------

Notebook& Notebook::instance() {
    static Notebook notebook;
    return notebook;
}

namespace {
// Removes a temporary root at exit, after the notebook itself is gone.
struct TemporaryRoot {
    fs::path path;
    ~TemporaryRoot() {
        if (!path.empty()) {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    }
};
TemporaryRoot& TemporaryRootHolder() {
    static TemporaryRoot holder;
    return holder;
}
} // namespace

Notebook::Notebook() {
    if (const char* env = std::getenv("CELDOR_SIM_ROOT"); env && *env) {
        m_root = env;
    } else {
        std::error_code ec;
        fs::path base = fs::temp_directory_path(ec);
        if (ec) {
            base = "/tmp";
        }
        std::string pattern = (base / "celdor-sim-XXXXXX").string();
        if (char* made = ::mkdtemp(pattern.data())) {
            m_root = made;
            TemporaryRootHolder().path = m_root;
        } else {
            m_root = base / "celdor-sim";
        }
    }
    // The members start empty; only the defaults need setting. (resetStateLocked would reach
    // instance() through the registry's lock while the notebook is still being built.)
    std::lock_guard lock(m_mutex);
    setDefaultsLocked();
    clearFiles();
}

void Notebook::reset() {
    std::lock_guard lock(m_mutex);
    resetStateLocked();
    clearFiles();
}

void Notebook::resetState() {
    std::lock_guard lock(m_mutex);
    resetStateLocked();
}

void Notebook::resetStateLocked() {
    m_registry.clear();
    m_fervo.reset();
    m_services.clear();
    m_batteries.clear();
    m_journal.clear();
    m_journal.setEnabled(true);
    m_faults.clear();
    setDefaultsLocked();
}

struct Notebook::Snapshot::State {
    std::u16string userName;
    bool elevated = false;
    Registry registry;
    FervoDevice fervo;
    BatteryDevices batteries;
    SYSTEM_POWER_STATUS powerStatus{};
    Clock clock;
    Services services;
    PowerSchemes powerSchemes;
};

Notebook::Snapshot Notebook::snapshot() const {
    std::lock_guard lock(m_mutex);
    auto state = std::make_shared<Snapshot::State>();
    state->userName = m_userName;
    state->elevated = m_elevated;
    state->registry.assign(m_registry);
    state->fervo = m_fervo;
    state->batteries = m_batteries;
    state->powerStatus = m_powerStatus;
    state->clock = m_clock;
    state->services = m_services;
    state->powerSchemes = m_powerSchemes;
    return Snapshot{std::move(state)};
}

void Notebook::restore(const Snapshot& snapshot) {
    std::lock_guard lock(m_mutex);
    const Snapshot::State& state = *snapshot.state;
    m_userName = state.userName;
    m_elevated = state.elevated;
    m_registry.assign(state.registry);
    const int fervoHandles = m_fervo.m_openHandles; // handles stay open across a restore
    m_fervo = state.fervo;
    m_fervo.m_openHandles = fervoHandles;
    m_batteries = state.batteries;
    m_powerStatus = state.powerStatus;
    m_clock = state.clock;
    m_services = state.services;
    m_powerSchemes = state.powerSchemes;
    m_journal.clear();
    m_journal.setEnabled(true);
    m_faults.clear();
    makeProfileFolders();
}

void Notebook::setDefaultsLocked() {
    m_userName = u"User";
    m_elevated = false;
    m_fervo.present = false;
    // A desktop-like default: on line, no battery reported.
    m_powerStatus = SYSTEM_POWER_STATUS{1, 128, 255, 0, 0xFFFFFFFF, 0xFFFFFFFF};
    m_clock = Clock{};
    m_clock.tickMs = 3'600'000;
    m_clock.bootEpochSeconds = 1'780'000'000; // 2026-05-28, a fixed and recognisable boot time
    m_powerSchemes.reset();
}

void Notebook::advanceClock(std::uint64_t ms) {
    std::lock_guard lock(m_mutex);
    detail::AdvanceBatteries();
    m_clock.tickMs += ms;
    detail::AdvanceBatteries();
    m_services.advance();
}

void Notebook::setRoot(const fs::path& root) {
    std::lock_guard lock(m_mutex);
    m_root = root;
    std::error_code ec;
    fs::create_directories(m_root / "C", ec);
}

fs::path Notebook::root() const {
    std::lock_guard lock(m_mutex);
    return m_root;
}

void Notebook::clearFiles() {
    std::lock_guard lock(m_mutex);
    std::error_code ec;
    fs::remove_all(m_root, ec);
    fs::create_directories(m_root / "C", ec);
    // What every Windows installation has: the user's profile folders and ProgramData.
    makeProfileFolders();
    fs::create_directories(m_root / "C" / "ProgramData", ec);
    fs::create_directories(m_root / "C" / "Program Files", ec);
    fs::create_directories(m_root / "C" / "Windows" / "System32", ec);
}

std::u16string Notebook::userName() const {
    std::lock_guard lock(m_mutex);
    return m_userName;
}

void Notebook::setUserName(std::u16string name) {
    std::lock_guard lock(m_mutex);
    m_userName = std::move(name);
    makeProfileFolders();
}

void Notebook::makeProfileFolders() {
    std::error_code ec;
    const std::string user = Utf16ToUtf8(m_userName);
    fs::create_directories(m_root / "C" / "Users" / user / "AppData" / "Local", ec);
    fs::create_directories(m_root / "C" / "Users" / user / "AppData" / "Roaming", ec);
}

bool Notebook::elevated() const {
    std::lock_guard lock(m_mutex);
    return m_elevated;
}

void Notebook::setElevated(bool elevated) {
    std::lock_guard lock(m_mutex);
    m_elevated = elevated;
}

// Finds an entry of a folder whose name matches without regard to case, as Windows would.
static fs::path MatchComponent(const fs::path& folder, std::u16string_view name) {
    std::error_code ec;
    const std::string utf8 = Utf16ToUtf8(name);
    if (fs::exists(folder / utf8, ec)) {
        return folder / utf8;
    }
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (EqualsIgnoreCase(Utf8ToUtf16(entry.path().filename().string()), name)) {
            return entry.path();
        }
    }
    return folder / utf8;
}

fs::path Notebook::hostPath(std::u16string_view windowsPath) const {
    const auto path = detail::ParsePath(windowsPath);
    return path ? detail::HostPath(*path) : fs::path();
}

int Notebook::openCount(HandleKind kind) const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_open.begin(), m_open.end(),
                                          [&](const auto& e) { return e.first.first == kind; }));
}

int Notebook::openCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_open.size());
}

std::vector<std::string> Notebook::leaks() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    for (const auto& [key, what] : m_open) {
        std::ostringstream text;
        text << HandleKindName(key.first) << " 0x" << std::hex << key.second << " " << what;
        out.push_back(text.str());
    }
    return out;
}

void Notebook::trackOpen(HandleKind kind, std::uint64_t id, std::string what) {
    std::lock_guard lock(m_mutex);
    m_open[{kind, id}] = std::move(what);
}

bool Notebook::trackClose(HandleKind kind, std::uint64_t id) {
    std::lock_guard lock(m_mutex);
    return m_open.erase({kind, id}) == 1;
}

bool Notebook::isOpen(HandleKind kind, std::uint64_t id) const {
    std::lock_guard lock(m_mutex);
    return m_open.count({kind, id}) == 1;
}

} // namespace celdor::sim

namespace celdor::sim::detail {

fs::path HostPath(const WindowsPath& path) {
    const fs::path drive = NB().root() / std::string(1, static_cast<char>(path.drive));
    // Most names are spelled as the folders were made: one look-up instead of one per level.
    std::string spelled = drive.native();
    for (const auto& part : path.parts) {
        spelled += '/';
        spelled += Utf16ToUtf8(part);
    }
    fs::path exact(std::move(spelled));
    std::error_code ec;
    if (fs::exists(exact, ec)) {
        return exact;
    }
    fs::path result = drive;
    for (const auto& part : path.parts) {
        result = MatchComponent(result, part);
    }
    return result;
}

std::size_t WindowsPath::length() const {
    std::size_t length = 3; // "C:\"
    for (const auto& part : parts) {
        length += part.size() + 1;
    }
    return parts.empty() ? length : length - 1;
}

// Win32's normalisation: '/' is a separator, "." and ".." resolve, a relative name starts at
// the root of C: (the current directory). A component before a separator loses one trailing
// dot, and the last one every trailing dot and space, so "C:\x.\name. " is "C:\x\name".
// "\\?\" names keep their components as written.
std::optional<WindowsPath> ParsePath(std::u16string_view name) {
    WindowsPath path;
    path.parts.reserve(12);
    std::u16string text(name);
    std::replace(text.begin(), text.end(), u'/', u'\\');
    std::u16string_view rest = text;
    if (rest.starts_with(u"\\\\?\\")) {
        path.literal = true;
        rest.remove_prefix(4);
    } else if (rest.starts_with(u"\\\\")) {
        return std::nullopt; // devices and network shares have no folder behind them
    }
    if (rest.size() >= 2 && rest[1] == u':') {
        path.drive = UpperUnit(rest[0]);
        if (path.drive < u'A' || path.drive > u'Z') {
            return std::nullopt;
        }
        rest.remove_prefix(2);
    }
    while (!rest.empty()) {
        const auto cut = rest.find(u'\\');
        std::u16string_view part = rest.substr(0, cut);
        const bool last = cut == std::u16string_view::npos;
        rest = last ? std::u16string_view{} : rest.substr(cut + 1);
        if (part.empty() || part == u".") {
            continue;
        }
        if (part == u"..") {
            if (!path.parts.empty()) {
                path.parts.pop_back();
            }
            continue;
        }
        if (!path.literal) {
            if (last) {
                part = part.substr(0, part.find_last_not_of(u". ") + 1);
            } else if (part.ends_with(u'.')) {
                part.remove_suffix(1);
            }
            if (part.empty()) {
                continue;
            }
        }
        if (part.find_first_of(u"<>:\"|?*") != std::u16string_view::npos) {
            return std::nullopt;
        }
        path.parts.emplace_back(part);
    }
    return path;
}

} // namespace celdor::sim::detail
