// Last error, the kernel handle table and the memory the system hands to its callers.
#include "internal.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace celdor::sim::detail {

namespace {
thread_local DWORD t_lastError = 0;
thread_local int t_systemCalls = 0; // Win32 functions running on this thread

struct HandleTable {
    std::map<std::uint64_t, std::unique_ptr<KernelObject>> objects;
    // Like Windows, handle values are multiples of four and never 0 or -1.
    std::uint64_t next = 0x104;
};
HandleTable& Table() {
    static HandleTable table;
    return table;
}
} // namespace

SystemCallScope::SystemCallScope() {
    ++t_systemCalls;
}
SystemCallScope::~SystemCallScope() {
    --t_systemCalls;
}

HANDLE AddHandle(std::unique_ptr<KernelObject> object, std::string what) {
    auto lock = LockNotebook();
    auto& table = Table();
    const std::uint64_t id = table.next;
    table.next += 4;
    const HandleKind kind = object->kind();
    table.objects.emplace(id, std::move(object));
    NB().trackOpen(kind, id, std::move(what));
    return reinterpret_cast<HANDLE>(id);
}

KernelObject* FindHandle(HANDLE handle) {
    auto lock = LockNotebook();
    auto& objects = Table().objects;
    auto it = objects.find(HandleId(handle));
    return it == objects.end() ? nullptr : it->second.get();
}

std::unique_ptr<KernelObject> TakeHandle(HANDLE handle) {
    auto lock = LockNotebook();
    auto& objects = Table().objects;
    auto it = objects.find(HandleId(handle));
    if (it == objects.end()) {
        return nullptr;
    }
    auto object = std::move(it->second);
    objects.erase(it);
    NB().trackClose(object->kind(), HandleId(handle));
    return object;
}

std::string Narrow(const WCHAR* text) {
    return text ? Utf16ToUtf8(text) : std::string("(null)");
}

void Record(Call call) {
    call.lastError = t_lastError;
    NB().journal().record(std::move(call));
}

void* LocalBlock(SIZE_T bytes, const char* what) {
    void* block = std::calloc(1, bytes ? bytes : 1);
    if (block) {
        NB().trackOpen(HandleKind::Allocation, HandleId(block), what);
    }
    return block;
}

} // namespace celdor::sim::detail

bool celdor::sim::InSystemCall() {
    return celdor::sim::detail::t_systemCalls > 0;
}

using namespace celdor::sim;
using namespace celdor::sim::detail;

namespace {

// The blocks of the COM task allocator. They go back through CoTaskMemFree, the local heap's
// through LocalFree; neither function takes the other's.
std::set<std::uint64_t>& TaskBlocks() {
    static std::set<std::uint64_t> blocks;
    return blocks;
}

bool Release(void* block, bool task) {
    auto lock = LockNotebook();
    if (TaskBlocks().count(HandleId(block)) != (task ? 1u : 0u) ||
        !NB().trackClose(HandleKind::Allocation, HandleId(block))) {
        return false;
    }
    TaskBlocks().erase(HandleId(block));
    std::free(block);
    return true;
}

} // namespace

DWORD WINAPI GetLastError(void) {
    const SystemCallScope systemCall;
    return t_lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    const SystemCallScope systemCall;
    t_lastError = dwErrCode;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    Call call{.function = "CloseHandle", .handle = HandleId(hObject)};
    BOOL ok = FALSE;
    if (auto error = Injected("CloseHandle")) {
        SetLastError(*error);
    } else if (auto object = TakeHandle(hObject)) {
        if (object->kind() == HandleKind::Device) {
            static_cast<DeviceObject&>(*object).close();
            ok = TRUE;
        } else {
            ok = CloseFile(*object);
        }
    } else {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return Finish(call, ok);
}

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    const SystemCallScope systemCall;
    // Blocks are always fixed here; one not asked to be zeroed holds something else, as it may on
    // Windows, so that a caller counting on zeros shows.
    Call call{.function = "LocalAlloc", .outSize = static_cast<DWORD>(uBytes)};
    HLOCAL block = nullptr;
    if (auto error = Injected("LocalAlloc")) {
        SetLastError(*error);
    } else if (!(block = LocalBlock(uBytes, "LocalAlloc"))) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } else if (!(uFlags & LMEM_ZEROINIT)) {
        std::memset(block, 0xA5, uBytes);
    }
    call.handle = HandleId(block);
    return Finish(call, block);
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    const SystemCallScope systemCall;
    Record(Call{.function = "LocalFree", .handle = HandleId(hMem)});
    if (hMem && !Release(hMem, false)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return hMem;
    }
    return nullptr;
}

LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    void* block = LocalBlock(cb, "CoTaskMemAlloc");
    if (block) {
        TaskBlocks().insert(HandleId(block));
    }
    return block;
}

void WINAPI CoTaskMemFree(LPVOID pv) {
    const SystemCallScope systemCall;
    Record(Call{.function = "CoTaskMemFree", .handle = HandleId(pv)});
    if (pv) {
        Release(pv, true);
    }
}
