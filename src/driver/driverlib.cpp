#include "driver/driverlib.h"

namespace Celdor {

namespace {

HANDLE OpenDevice() {
    return CreateFileW(DRIVER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

CDriverLib::CDriverLib() : m_hDevice(INVALID_HANDLE_VALUE) {}

// A handle value of 0 is a valid open handle and is closed like any other.
CDriverLib::~CDriverLib() {
    if (m_hDevice != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hDevice);
    }
}

int CDriverLib::IoControl(DWORD code, const void* inBuffer, DWORD inSize, void* outBuffer,
                          DWORD outSize) {
    if (m_hDevice == INVALID_HANDLE_VALUE) {
        m_hDevice = OpenDevice();
    }
    if (m_hDevice == INVALID_HANDLE_VALUE) {
        // Not sent; the last error is the one the open left.
        return 0;
    }
    DWORD bytesReturned = 0;
    return DeviceIoControl(m_hDevice, code, const_cast<void*>(inBuffer), inSize, outBuffer, outSize,
                           &bytesReturned, nullptr);
}

int IsFervoDriverPresent() {
    HANDLE device = OpenDevice();
    if (device == INVALID_HANDLE_VALUE) {
        return 0;
    }
    CloseHandle(device);
    return 1;
}

} // namespace Celdor
