// Device I/O: the dispatch from "\\.\NAME" opens and DeviceIoControl to the notebook's
// device models.
#include "internal.h"

using namespace celdor::sim;
using namespace celdor::sim::detail;

namespace celdor::sim::detail {

// Implemented by each device model.
DeviceOpenResult OpenFervo(DWORD access, DWORD share);
DeviceOpenResult OpenBattery(std::u16string_view name, DWORD access);

bool IsDevice(std::u16string_view name) {
    return EqualsIgnoreCase(name, u"FervoDrv") || NB().batteries().find(name) != nullptr;
}

DeviceOpenResult OpenDevice(std::u16string_view name, DWORD access, DWORD share) {
    if (EqualsIgnoreCase(name, u"FervoDrv")) {
        return OpenFervo(access, share);
    }
    if (NB().batteries().find(name)) {
        return OpenBattery(name, access);
    }
    return {nullptr, ERROR_FILE_NOT_FOUND};
}

} // namespace celdor::sim::detail

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                            DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                            LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
    const SystemCallScope systemCall;
    (void)lpOverlapped;
    auto lock = LockNotebook();
    Call call{.function = "DeviceIoControl",
              .handle = HandleId(hDevice),
              .code = dwIoControlCode,
              .inSize = nInBufferSize,
              .outSize = nOutBufferSize};
    if (lpInBuffer && Observed()) {
        auto bytes = static_cast<const std::uint8_t*>(lpInBuffer);
        call.input.assign(bytes, bytes + nInBufferSize);
    }
    BOOL ok = FALSE;
    KernelObject* object = FindHandle(hDevice);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
    } else if (auto error = Injected("DeviceIoControl")) {
        SetLastError(*error);
    } else if (!lpBytesReturned) {
        SetLastError(ERROR_INVALID_PARAMETER);
    } else if ((!lpInBuffer && nInBufferSize) || (!lpOutBuffer && nOutBufferSize)) {
        SetLastError(ERROR_NOACCESS);
    } else if (object->kind() != HandleKind::Device) {
        SetLastError(ERROR_INVALID_FUNCTION); // a plain file answers no control codes
    } else {
        *lpBytesReturned = 0;
        ok = static_cast<DeviceObject&>(*object).control(dwIoControlCode, lpInBuffer, nInBufferSize,
                                                         lpOutBuffer, nOutBufferSize,
                                                         lpBytesReturned);
    }
    return Finish(call, ok);
}
