// Export macro, the Win32 types of the interface, and the wide-literal macro.
#pragma once

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#if defined(CELDOR_BUILDING)
#define CELDOR_API __declspec(dllexport)
#else
#define CELDOR_API __declspec(dllimport)
#endif
// A wide string literal: UTF-16 on every system.
#define CELDOR_W(text) L##text
#else
#include <celdor_platform/win32.h>
#define CELDOR_API __attribute__((visibility("default")))
#define CELDOR_W(text) u##text
#endif

// Around the layout checks of classes with a virtual table: offsetof is only conditionally
// supported there, and GCC, which builds the library and its hosts, supports it.
#if defined(__GNUC__)
#define CELDOR_LAYOUT_CHECKS_BEGIN                                                                 \
    _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Winvalid-offsetof\"")
#define CELDOR_LAYOUT_CHECKS_END _Pragma("GCC diagnostic pop")
#else
#define CELDOR_LAYOUT_CHECKS_BEGIN
#define CELDOR_LAYOUT_CHECKS_END
#endif
