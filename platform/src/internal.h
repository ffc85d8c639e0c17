// Shared plumbing of the platform layer: the lock, the handle table, journal and fault helpers.
#pragma once

#include <celdor_platform/notebook.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace celdor::sim::detail {

inline Notebook& NB() {
    return Notebook::instance();
}

// Every Win32 function holds the notebook's lock for its whole run.
using Lock = std::unique_lock<std::recursive_mutex>;
inline Lock LockNotebook() {
    return Lock(NB().mutex());
}

// Held by every Win32 function for its whole run: the calling thread is inside the system
// (see InSystemCall()).
struct SystemCallScope {
    SystemCallScope();
    ~SystemCallScope();
    SystemCallScope(const SystemCallScope&) = delete;
    SystemCallScope& operator=(const SystemCallScope&) = delete;
};

// The object behind a HANDLE: a file or a device.
struct KernelObject {
    virtual ~KernelObject() = default;
    virtual HandleKind kind() const = 0;
};

HANDLE AddHandle(std::unique_ptr<KernelObject> object, std::string what);
KernelObject* FindHandle(HANDLE handle);
// Removes the handle from the table; the object is returned so that its owner can finish it.
std::unique_ptr<KernelObject> TakeHandle(HANDLE handle);

inline std::uint64_t HandleId(const void* handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

std::string Narrow(const WCHAR* text); // UTF-8 of a wide argument; "(null)" for null

// A zeroed block the way the system's own functions allocate one for their caller to free with
// LocalFree: accounted like a handle, so a missing free shows in a leak check, but not
// journaled or faultable as the caller's own LocalAlloc is.
void* LocalBlock(SIZE_T bytes, const char* what = "LocalAlloc");

// Records a call in the journal, stamping the thread's last error.
void Record(Call call);

// Ends a simulated call: its result goes into the journal record, which is written, and is
// returned to the caller.
template <typename Result> Result Finish(Call& call, Result result) {
    if constexpr (std::is_pointer_v<Result>) {
        call.result = static_cast<std::int64_t>(HandleId(result));
    } else {
        call.result = static_cast<std::int64_t>(result);
    }
    Record(std::move(call));
    return result;
}

// Whether anything looks at a call's details: the journal records them, or a fault may match
// its target. The hottest calls skip building their target text when nothing does.
inline bool Observed() {
    return NB().journal().enabled() || NB().faults().armed();
}

// Fault injection for a function about to run. Returns the error the call must fail with.
inline std::optional<DWORD> Injected(std::string_view function, std::string_view target = {}) {
    return NB().faults().check(function, target);
}

// A device of the notebook, opened through "\\.\NAME". Each model answers its own control
// codes; the dispatch has already checked the handle and the buffers.
struct DeviceObject : KernelObject {
    HandleKind kind() const override { return HandleKind::Device; }
    virtual BOOL control(DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                         LPDWORD returned) = 0;
    virtual void close() {}
};

struct DeviceOpenResult {
    std::unique_ptr<DeviceObject> object;
    DWORD error = 0;
};
// name is what follows "\\.\" (or "\\?\").
DeviceOpenResult OpenDevice(std::u16string_view name, DWORD access, DWORD share);
// Whether a name after "\\?\" is a device of the notebook (a device interface path, or a
// device name) rather than a file name.
bool IsDevice(std::u16string_view name);

// Brings the installed services up to the clock's tick (services.cpp).
void AdvanceServices();
// Brings the battery packs up to the clock's tick, charging on AC (batteries.cpp).
void AdvanceBatteries();

// File objects (files.cpp).
BOOL CloseFile(KernelObject& file);

// Clears file-layer state that lives beside the handle table (open-file share records).
void ResetFiles();

// A file name as Win32 resolves it: a drive and the components below its root (notebook.cpp).
struct WindowsPath {
    char16_t drive = u'C';
    std::vector<std::u16string> parts;
    bool literal = false; // given as "\\?\...": no normalisation and no length limit
    // Characters of the full path, "C:\a\b".
    std::size_t length() const;
};
// Empty for devices, network paths and names with characters a file name cannot hold.
std::optional<WindowsPath> ParsePath(std::u16string_view name);
// Where the file lives under the notebook's root; names match without regard to case.
std::filesystem::path HostPath(const WindowsPath& path);

// The host path of a file function's name argument, or the error the function fails with: an
// empty or malformed name, or (without long-path support) a full path of `limit` characters
// or more, which fails with `tooLong` (files.cpp).
struct FileName {
    WindowsPath windows;
    std::filesystem::path host;
    DWORD error = 0;
};
FileName ResolveFile(const WCHAR* name, std::size_t limit = MAX_PATH,
                     DWORD tooLong = ERROR_PATH_NOT_FOUND);
// Whether a standard user is refused creating, changing or deleting this file or folder: the
// Windows and program folders and what they hold, and the files in the root of C: (files.cpp).
bool ProtectedFromUser(const WindowsPath& path, bool folder);

// The last-error code for an errno value of the host (files.cpp).
DWORD ErrnoToError(int error);
// Whether an open of `path` with this access and share mode would meet a sharing violation
// with the handles open now (files.cpp).
bool SharingConflict(const std::filesystem::path& path, DWORD desiredAccess, DWORD shareMode);

// The notebook's ANSI code page, Windows-1252, both ways; unmappable characters become '?'
// (sysinfo.cpp).
std::u16string AnsiToWide(std::string_view text);
std::string WideToAnsi(std::u16string_view text);

// What a self-relative security descriptor passed to a Win32 function says (security.cpp).
struct DescriptorInfo {
    bool valid = false;              // a well-formed self-relative descriptor
    std::vector<std::uint8_t> bytes; // its bytes, for the journal
    // Host permission bits of an object created with it; empty when it carries no DACL and
    // the object gets the default permissions.
    std::optional<unsigned> mode;
    std::string text; // in SDDL, as ConvertSecurityDescriptorToStringSecurityDescriptor writes it
};
DescriptorInfo InspectDescriptor(const void* descriptor);

} // namespace celdor::sim::detail
