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
