// The request channel to the maker's driver: one handle to \\.\FervoDrv per object, opened by
// the first request and closed by the destructor. Internal to the library.
#pragma once

#include "win32.h"

namespace Celdor {

inline constexpr WCHAR DRIVER_DEVICE_PATH[] = W("\\\\.\\FervoDrv");

class CDriverLib {
public:
    CDriverLib();
    virtual ~CDriverLib();

    // The handle belongs to this object alone.
    CDriverLib(const CDriverLib&) = delete;
    CDriverLib& operator=(const CDriverLib&) = delete;

    // Sends one buffered request, opening the device first if this object has not opened it
    // yet. Returns non-zero (1) on success, 0 when the device cannot be opened (the request is
    // then not sent) or the driver fails the request; GetLastError() tells why. The handle
    // stays open after a failed request and serves the next one. The number of bytes returned
    // is not reported: callers preset their output buffers.
    int IoControl(DWORD code, const void* inBuffer, DWORD inSize, void* outBuffer, DWORD outSize);

protected:
    // INVALID_HANDLE_VALUE while the device is not open.
    HANDLE m_hDevice;
};

// 1 when the device can be opened now, else 0. Sends no request and keeps no handle.
int IsFervoDriverPresent();

} // namespace Celdor
