// Files and known folders. "C:\..." paths live in real files under the notebook's root folder;
// "\\.\NAME" opens one of the notebook's devices. Share modes, creation dispositions and the
// last-error codes follow Windows.
#include "internal.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace celdor::sim;
using namespace celdor::sim::detail;

namespace {

// Read, write and delete access as the share check sees them.
constexpr DWORD kRead = 1, kWrite = 2, kDelete = 4;

DWORD DataAccess(DWORD access) {
    DWORD bits = 0;
    if (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) {
        bits |= kRead;
    }
    if (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) {
        bits |= kWrite;
    }
    if (access & (DELETE | GENERIC_ALL)) {
        bits |= kDelete;
    }
    return bits;
}

DWORD ShareBits(DWORD share) {
    return (share & FILE_SHARE_READ ? kRead : 0) | (share & FILE_SHARE_WRITE ? kWrite : 0) |
           (share & FILE_SHARE_DELETE ? kDelete : 0);
}

struct FileObject : KernelObject {
    int fd = -1;
    std::string key;  // the real path, for the share records
    DWORD access = 0; // data access bits
    DWORD share = 0;  // share bits
    std::uint64_t pointer = 0;
    HandleKind kind() const override { return HandleKind::File; }
};

// The name share records go by: the real path as resolved, which every file function builds the
// same way from the notebook's root and the matched names, so one file has one name.
const std::string& ShareKey(const fs::path& path) {
    return path.native();
}

// The opens of each file that take part in share checks (those with data access).
std::multimap<std::string, FileObject*>& SharedOpens() {
    static std::multimap<std::string, FileObject*> opens;
    return opens;
}

bool ShareConflict(const std::string& key, DWORD access, DWORD share) {
    if (!access) {
        return false; // an open for attributes only is never checked
    }
    auto [begin, end] = SharedOpens().equal_range(key);
    for (auto it = begin; it != end; ++it) {
        const FileObject& other = *it->second;
        if ((access & ~other.share) || (other.access & ~share)) {
            return true;
        }
    }
    return false;
}

} // namespace

namespace celdor::sim::detail {

DWORD ErrnoToError(int error) {
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
        return 112; // ERROR_DISK_FULL
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    default:
        return ERROR_GEN_FAILURE;
    }
}

FileName ResolveFile(const WCHAR* name, std::size_t limit, DWORD tooLong) {
    FileName file;
    const auto path = ParsePath(name ? name : u"");
    if (!name || !*name) {
        file.error = ERROR_PATH_NOT_FOUND;
    } else if (!path) {
        file.error = ERROR_INVALID_NAME;
    } else if (!path->literal && path->length() >= limit) {
        file.error = tooLong;
    } else {
        file.windows = *path;
        file.host = HostPath(*path);
    }
    return file;
}

// A standard user may read the system's folders but not change them. In the root of C: users
// may make folders (and then own them) but not files.
bool ProtectedFromUser(const WindowsPath& path, bool folder) {
    static constexpr std::u16string_view kSystemFolders[] = {u"Windows", u"Program Files",
                                                             u"Program Files (x86)"};
    if (NB().elevated() || path.drive != u'C' || path.parts.empty()) {
        return false;
    }
    const bool system =
        std::any_of(std::begin(kSystemFolders), std::end(kSystemFolders),
                    [&](auto name) { return EqualsIgnoreCase(path.parts[0], name); });
    return system || (path.parts.size() == 1 && !folder);
}

} // namespace celdor::sim::detail

namespace {

FileObject* AsFile(HANDLE handle) {
    KernelObject* object = FindHandle(handle);
    return object && object->kind() == HandleKind::File ? static_cast<FileObject*>(object)
                                                        : nullptr;
}

bool IsDirectory(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

bool Exists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

HANDLE OpenFile(const WCHAR* name, DWORD desiredAccess, DWORD shareMode, DWORD disposition,
                Call& call) {
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const FileName file = ResolveFile(name);
    const fs::path& path = file.host;
    if (file.error) {
        SetLastError(file.error);
        return INVALID_HANDLE_VALUE;
    }
    if (!IsDirectory(path.parent_path())) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (IsDirectory(path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const bool exists = Exists(path);
    if (!exists && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (exists && disposition == CREATE_NEW) {
        SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
    }
    const DWORD access = DataAccess(desiredAccess);
    if (disposition == TRUNCATE_EXISTING && !(access & kWrite)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const bool changes = !exists || (access & (kWrite | kDelete)) || disposition == CREATE_ALWAYS;
    if (changes && ProtectedFromUser(file.windows, false)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const std::string key = ShareKey(path);
    if (ShareConflict(key, access, ShareBits(shareMode))) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    int flags = (access & kWrite) ? O_RDWR : O_RDONLY;
    if (!exists) {
        flags |= O_CREAT;
    }
    if (exists && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING)) {
        flags |= O_TRUNC;
    }
    int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) {
        SetLastError(ErrnoToError(errno));
        return INVALID_HANDLE_VALUE;
    }
    auto object = std::make_unique<FileObject>();
    object->fd = fd;
    object->key = key;
    object->access = access;
    object->share = ShareBits(shareMode);
    if (access) {
        SharedOpens().emplace(key, object.get());
    }
    HANDLE handle = AddHandle(std::move(object), call.target); // the name, as narrowed for it
    // Opening an existing file with OPEN_ALWAYS or CREATE_ALWAYS succeeds with a note.
    SetLastError(exists && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS)
                     ? ERROR_ALREADY_EXISTS
                     : ERROR_SUCCESS);
    call.handle = HandleId(handle);
    return handle;
}

} // namespace

namespace celdor::sim::detail {

bool SharingConflict(const fs::path& path, DWORD desiredAccess, DWORD shareMode) {
    return ShareConflict(ShareKey(path), DataAccess(desiredAccess), ShareBits(shareMode));
}

BOOL CloseFile(KernelObject& object) {
    auto& file = static_cast<FileObject&>(object);
    auto [begin, end] = SharedOpens().equal_range(file.key);
    for (auto it = begin; it != end; ++it) {
        if (it->second == &file) {
            SharedOpens().erase(it);
            break;
        }
    }
    ::close(file.fd);
    return TRUE;
}

} // namespace celdor::sim::detail

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    const SystemCallScope systemCall;
    (void)lpSecurityAttributes;
    (void)hTemplateFile;
    auto lock = LockNotebook();
    Call call{.function = "CreateFileW",
              .target = Narrow(lpFileName),
              .access = dwDesiredAccess,
              .share = dwShareMode,
              .disposition = dwCreationDisposition,
              .flags = dwFlagsAndAttributes};
    HANDLE handle = INVALID_HANDLE_VALUE;
    const std::u16string_view name = lpFileName ? std::u16string_view(lpFileName) : u"";
    if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
    } else if (auto error = Injected("CreateFileW", call.target)) {
        SetLastError(*error);
    } else if (name.starts_with(u"\\\\.\\") ||
               (name.starts_with(u"\\\\?\\") && IsDevice(name.substr(4)))) {
        auto opened = OpenDevice(name.substr(4), dwDesiredAccess, dwShareMode);
        if (opened.object) {
            handle = AddHandle(std::move(opened.object), call.target);
            SetLastError(ERROR_SUCCESS);
        } else {
            SetLastError(opened.error);
        }
    } else {
        handle = OpenFile(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition, call);
    }
    call.handle = HandleId(handle);
    return Finish(call, handle);
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    const SystemCallScope systemCall;
    (void)lpOverlapped;
    auto lock = LockNotebook();
    Call call{.function = "ReadFile", .handle = HandleId(hFile), .outSize = nNumberOfBytesToRead};
    BOOL ok = FALSE;
    if (lpNumberOfBytesRead) {
        *lpNumberOfBytesRead = 0;
    }
    FileObject* file = AsFile(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
    } else if (auto error = Injected("ReadFile")) {
        SetLastError(*error);
    } else if (!(file->access & kRead)) {
        SetLastError(ERROR_ACCESS_DENIED);
    } else if (!lpBuffer && nNumberOfBytesToRead) {
        SetLastError(ERROR_NOACCESS);
    } else {
        ssize_t got = ::pread(file->fd, lpBuffer, nNumberOfBytesToRead, off_t(file->pointer));
        if (got < 0) {
            SetLastError(ErrnoToError(errno));
        } else {
            file->pointer += std::uint64_t(got);
            if (lpNumberOfBytesRead) {
                *lpNumberOfBytesRead = DWORD(got);
            }
            ok = TRUE;
        }
    }
    return Finish(call, ok);
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    const SystemCallScope systemCall;
    (void)lpOverlapped;
    auto lock = LockNotebook();
    Call call{.function = "WriteFile", .handle = HandleId(hFile), .inSize = nNumberOfBytesToWrite};
    if (lpBuffer) {
        auto bytes = static_cast<const std::uint8_t*>(lpBuffer);
        call.input.assign(bytes, bytes + nNumberOfBytesToWrite);
    }
    BOOL ok = FALSE;
    if (lpNumberOfBytesWritten) {
        *lpNumberOfBytesWritten = 0;
    }
    FileObject* file = AsFile(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
    } else if (auto error = Injected("WriteFile")) {
        SetLastError(*error);
    } else if (!(file->access & kWrite)) {
        SetLastError(ERROR_ACCESS_DENIED);
    } else if (!lpBuffer && nNumberOfBytesToWrite) {
        SetLastError(ERROR_NOACCESS);
    } else {
        ssize_t put = ::pwrite(file->fd, lpBuffer, nNumberOfBytesToWrite, off_t(file->pointer));
        if (put < 0) {
            SetLastError(ErrnoToError(errno));
        } else {
            file->pointer += std::uint64_t(put);
            if (lpNumberOfBytesWritten) {
                *lpNumberOfBytesWritten = DWORD(put);
            }
            ok = TRUE;
        }
    }
    return Finish(call, ok);
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    Call call{.function = "GetFileSize", .handle = HandleId(hFile)};
    DWORD low = INVALID_FILE_SIZE;
    struct stat info {};
    FileObject* file = AsFile(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
    } else if (auto error = Injected("GetFileSize")) {
        SetLastError(*error);
    } else if (::fstat(file->fd, &info) != 0) {
        SetLastError(ErrnoToError(errno));
    } else {
        const auto size = static_cast<std::uint64_t>(info.st_size);
        low = static_cast<DWORD>(size);
        if (lpFileSizeHigh) {
            *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
        }
        // A size whose low part looks like the error value is told apart by the last error.
        if (low == INVALID_FILE_SIZE) {
            SetLastError(NO_ERROR);
        }
    }
    return Finish(call, low);
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    Call call{.function = "SetFilePointer", .handle = HandleId(hFile), .code = dwMoveMethod};
    DWORD result = INVALID_SET_FILE_POINTER;
    FileObject* file = AsFile(hFile);
    struct stat info {};
    const std::int64_t distance =
        lpDistanceToMoveHigh ? static_cast<std::int64_t>(
                                   (std::uint64_t(std::uint32_t(*lpDistanceToMoveHigh)) << 32) |
                                   std::uint32_t(lDistanceToMove))
                             : std::int64_t(lDistanceToMove);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
    } else if (auto error = Injected("SetFilePointer")) {
        SetLastError(*error);
    } else if (dwMoveMethod > FILE_END) {
        SetLastError(ERROR_INVALID_PARAMETER);
    } else if (dwMoveMethod == FILE_END && ::fstat(file->fd, &info) != 0) {
        SetLastError(ErrnoToError(errno));
    } else {
        const std::int64_t base = dwMoveMethod == FILE_BEGIN     ? 0
                                  : dwMoveMethod == FILE_CURRENT ? std::int64_t(file->pointer)
                                                                 : std::int64_t(info.st_size);
        const std::int64_t target = base + distance;
        if (target < 0) {
            SetLastError(ERROR_NEGATIVE_SEEK);
        } else if (!lpDistanceToMoveHigh && target > std::int64_t(0xFFFFFFFF)) {
            SetLastError(ERROR_INVALID_PARAMETER); // a position the caller could not be told
        } else {
            file->pointer = std::uint64_t(target);
            result = static_cast<DWORD>(file->pointer);
            if (lpDistanceToMoveHigh) {
                *lpDistanceToMoveHigh = static_cast<LONG>(file->pointer >> 32);
            }
            if (result == INVALID_SET_FILE_POINTER) {
                SetLastError(NO_ERROR); // how the caller tells this position from a failure
            }
        }
    }
    return Finish(call, result);
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    FileObject* file = AsFile(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(file->access & kWrite)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (::ftruncate(file->fd, off_t(file->pointer)) != 0) {
        SetLastError(ErrnoToError(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    FileObject* file = AsFile(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ::fsync(file->fd);
    return TRUE;
}

// A security descriptor in the attributes decides who may use the new folder: its DACL becomes
// the folder's permission bits (a grant to Everyone reaches every user of the machine, whatever
// the process's umask). Without a descriptor, or one without a DACL, the folder gets the
// default permissions. A folder's full path must leave room for a file name of 8.3 characters
// below it: without long-path support it is refused from MAX_PATH - 12 characters on.
BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    Call call{.function = "CreateDirectoryW", .target = Narrow(lpPathName)};
    BOOL ok = FALSE;
    const FileName file = ResolveFile(lpPathName, MAX_PATH - 12, ERROR_FILENAME_EXCED_RANGE);
    const fs::path& path = file.host;
    const void* descriptor =
        lpSecurityAttributes ? lpSecurityAttributes->lpSecurityDescriptor : nullptr;
    if (lpSecurityAttributes) {
        call.inSize = lpSecurityAttributes->nLength;
        call.flags = static_cast<DWORD>(lpSecurityAttributes->bInheritHandle);
    }
    DescriptorInfo security;
    if (descriptor) {
        security = InspectDescriptor(descriptor);
        call.handle = HandleId(descriptor);
        call.input = security.bytes;
        call.text = security.text;
    }
    if (file.error) {
        SetLastError(file.error);
    } else if (auto error = Injected("CreateDirectoryW", call.target)) {
        SetLastError(*error);
    } else if (descriptor && !security.valid) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
    } else if (file.windows.parts.empty() && !NB().elevated()) {
        SetLastError(ERROR_ACCESS_DENIED); // the drive's root, before it is found to exist
    } else if (Exists(path)) {
        SetLastError(ERROR_ALREADY_EXISTS);
    } else if (!IsDirectory(path.parent_path())) {
        SetLastError(ERROR_PATH_NOT_FOUND);
    } else if (ProtectedFromUser(file.windows, true)) {
        SetLastError(ERROR_ACCESS_DENIED);
    } else if (::mkdir(path.c_str(), 0777) != 0) {
        SetLastError(ErrnoToError(errno));
    } else {
        // chmod, unlike mkdir, is not narrowed by the umask.
        if (security.mode) {
            ::chmod(path.c_str(), static_cast<mode_t>(*security.mode));
            call.code = *security.mode;
        }
        ok = TRUE;
    }
    return Finish(call, ok);
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    const FileName file = ResolveFile(lpPathName);
    if (file.error) {
        SetLastError(file.error);
        return FALSE;
    }
    if (!Exists(file.host)) {
        SetLastError(IsDirectory(file.host.parent_path()) ? ERROR_FILE_NOT_FOUND
                                                          : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (!IsDirectory(file.host)) {
        SetLastError(267); // ERROR_DIRECTORY
        return FALSE;
    }
    if (ProtectedFromUser(file.windows, true)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (::rmdir(file.host.c_str()) != 0) {
        SetLastError(ErrnoToError(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    const FileName file = ResolveFile(lpFileName);
    const fs::path& path = file.host;
    if (file.error) {
        SetLastError(file.error);
        return FALSE;
    }
    if (!IsDirectory(path.parent_path())) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (!Exists(path)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (IsDirectory(path) || ProtectedFromUser(file.windows, false)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (SharedOpens().count(ShareKey(path))) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (::unlink(path.c_str()) != 0) {
        SetLastError(ErrnoToError(errno));
        return FALSE;
    }
    return TRUE;
}

namespace {

// The attribute query behind GetFileAttributesW and the shell's directory test.
DWORD Attributes(const WCHAR* name) {
    const FileName file = ResolveFile(name);
    if (file.error) {
        SetLastError(file.error);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (!Exists(file.host)) {
        SetLastError(IsDirectory(file.host.parent_path()) ? ERROR_FILE_NOT_FOUND
                                                          : ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return IsDirectory(file.host) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

} // namespace

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    return Attributes(lpFileName);
}

// The shell's directory test: the attribute query, whose last error it leaves.
BOOL WINAPI PathIsDirectoryW(LPCWSTR pszPath) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    Call call{.function = "PathIsDirectoryW", .target = Narrow(pszPath)};
    BOOL result = FALSE;
    if (auto error = Injected("PathIsDirectoryW", call.target)) {
        SetLastError(*error);
    } else if (pszPath) {
        const DWORD attributes = Attributes(pszPath);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            result = static_cast<BOOL>(FILE_ATTRIBUTE_DIRECTORY);
        }
    }
    return Finish(call, result);
}

// --- Known folders --------------------------------------------------------------------------

const KNOWNFOLDERID FOLDERID_LocalAppData = {
    0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};
const KNOWNFOLDERID FOLDERID_RoamingAppData = {
    0x3EB685DB, 0x65F9, 0x4CF6, {0xA0, 0x3A, 0xE3, 0xEF, 0x65, 0x72, 0x9F, 0x3D}};
const KNOWNFOLDERID FOLDERID_ProgramData = {
    0x62AB5D82, 0xFDC1, 0x4DC3, {0xA9, 0xDD, 0x07, 0x0D, 0x1D, 0x49, 0x5D, 0x97}};

HRESULT WINAPI SHGetKnownFolderPath(REFKNOWNFOLDERID rfid, DWORD dwFlags, HANDLE hToken,
                                    PWSTR* ppszPath) {
    const SystemCallScope systemCall;
    (void)hToken;
    auto lock = LockNotebook();
    Call call{.function = "SHGetKnownFolderPath", .flags = dwFlags};
    HRESULT result = S_OK;
    std::u16string folder;
    const std::u16string profile = u"C:\\Users\\" + NB().userName();
    if (rfid == FOLDERID_LocalAppData) {
        folder = profile + u"\\AppData\\Local";
    } else if (rfid == FOLDERID_RoamingAppData) {
        folder = profile + u"\\AppData\\Roaming";
    } else if (rfid == FOLDERID_ProgramData) {
        folder = u"C:\\ProgramData";
    }
    call.target = Utf16ToUtf8(folder);
    if (ppszPath) {
        *ppszPath = nullptr;
    }
    if (!ppszPath) {
        result = E_INVALIDARG;
    } else if (folder.empty()) {
        result = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    } else if (auto error = Injected("SHGetKnownFolderPath", call.target)) {
        result = HRESULT_FROM_WIN32(*error);
    } else {
        const fs::path real = NB().hostPath(folder);
        std::error_code ec;
        if (!IsDirectory(real) && (dwFlags & KF_FLAG_CREATE)) {
            fs::create_directories(real, ec);
        }
        if (!IsDirectory(real)) {
            result = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        } else {
            auto* text = static_cast<WCHAR*>(CoTaskMemAlloc((folder.size() + 1) * sizeof(WCHAR)));
            std::copy(folder.begin(), folder.end(), text);
            text[folder.size()] = u'\0';
            *ppszPath = text;
        }
    }
    call.handle = ppszPath ? HandleId(*ppszPath) : 0;
    return Finish(call, result);
}
