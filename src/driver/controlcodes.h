// Device-control codes of the maker's driver behind \\.\FervoDrv, with the buffer sizes every
// request of that code uses. All are buffered requests of device type 0x8310 (vendor range)
// with vendor function numbers and any access. What a request's bytes mean is up to the
// feature that sends it.
#pragma once

#include "win32.h"

namespace Celdor {

inline constexpr DWORD FERVO_DEVICE_TYPE = 0x8310;

// Sub-command byte -> 32-bit reply: power commands and the power status word.
inline constexpr DWORD IOCTL_POWER_COMMAND =
    CTL_CODE(FERVO_DEVICE_TYPE, 0x83E, METHOD_BUFFERED, FILE_ANY_ACCESS);
// Sub-command byte -> 32-bit reply: always-on USB charging.
inline constexpr DWORD IOCTL_USB_CHARGE_COMMAND =
    CTL_CODE(FERVO_DEVICE_TYPE, 0x83A, METHOD_BUFFERED, FILE_ANY_ACCESS);
// 32-bit request -> 32-bit reply: the driver's interface version.
inline constexpr DWORD IOCTL_GET_SPEC_VERSION =
    CTL_CODE(FERVO_DEVICE_TYPE, 0x853, METHOD_BUFFERED, FILE_ANY_ACCESS);
// 32-bit selector -> 83-byte smart-battery record.
inline constexpr DWORD IOCTL_SMART_BATTERY_READ =
    CTL_CODE(FERVO_DEVICE_TYPE, 0x84E, METHOD_BUFFERED, FILE_ANY_ACCESS);
// No input -> 20-byte battery firmware record.
inline constexpr DWORD IOCTL_BATTERY_FIRMWARE_INFO =
    CTL_CODE(FERVO_DEVICE_TYPE, 0x848, METHOD_BUFFERED, FILE_ANY_ACCESS);
// 32-bit request -> 32-bit reply: time until charging completes.
inline constexpr DWORD IOCTL_CHARGE_COMPLETION_TIME =
    CTL_CODE(FERVO_DEVICE_TYPE, 0x84B, METHOD_BUFFERED, FILE_ANY_ACCESS);
// 32-bit request -> 32-bit reply: battery mode control.
inline constexpr DWORD IOCTL_BTMC =
    CTL_CODE(FERVO_DEVICE_TYPE, 0x852, METHOD_BUFFERED, FILE_ANY_ACCESS);
// 32-bit request -> 32-bit reply: night-charge mode control.
inline constexpr DWORD IOCTL_BNMC =
    CTL_CODE(FERVO_DEVICE_TYPE, 0x854, METHOD_BUFFERED, FILE_ANY_ACCESS);

static_assert(IOCTL_POWER_COMMAND == 0x831020F8);
static_assert(IOCTL_USB_CHARGE_COMMAND == 0x831020E8);
static_assert(IOCTL_GET_SPEC_VERSION == 0x8310214C);
static_assert(IOCTL_SMART_BATTERY_READ == 0x83102138);
static_assert(IOCTL_BATTERY_FIRMWARE_INFO == 0x83102120);
static_assert(IOCTL_CHARGE_COMPLETION_TIME == 0x8310212C);
static_assert(IOCTL_BTMC == 0x83102148);
static_assert(IOCTL_BNMC == 0x83102150);

// Buffer sizes in bytes, the same wherever a code is sent.
inline constexpr DWORD IOCTL_POWER_COMMAND_IN_SIZE = 1;
inline constexpr DWORD IOCTL_POWER_COMMAND_OUT_SIZE = 4;
inline constexpr DWORD IOCTL_USB_CHARGE_COMMAND_IN_SIZE = 1;
inline constexpr DWORD IOCTL_USB_CHARGE_COMMAND_OUT_SIZE = 4;
inline constexpr DWORD IOCTL_GET_SPEC_VERSION_IN_SIZE = 4;
inline constexpr DWORD IOCTL_GET_SPEC_VERSION_OUT_SIZE = 4;
inline constexpr DWORD IOCTL_SMART_BATTERY_READ_IN_SIZE = 4;
inline constexpr DWORD IOCTL_SMART_BATTERY_READ_OUT_SIZE = 0x53;
inline constexpr DWORD IOCTL_BATTERY_FIRMWARE_INFO_IN_SIZE = 0;
inline constexpr DWORD IOCTL_BATTERY_FIRMWARE_INFO_OUT_SIZE = 0x14;
inline constexpr DWORD IOCTL_CHARGE_COMPLETION_TIME_IN_SIZE = 4;
inline constexpr DWORD IOCTL_CHARGE_COMPLETION_TIME_OUT_SIZE = 4;
inline constexpr DWORD IOCTL_BTMC_IN_SIZE = 4;
inline constexpr DWORD IOCTL_BTMC_OUT_SIZE = 4;
inline constexpr DWORD IOCTL_BNMC_IN_SIZE = 4;
inline constexpr DWORD IOCTL_BNMC_OUT_SIZE = 4;

// IOCTL_POWER_COMMAND sub-command that answers the 32-bit power status word.
inline constexpr BYTE POWER_GET_STATUS = 0xFF;

} // namespace Celdor
