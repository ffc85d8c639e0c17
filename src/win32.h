// The one place in the library that knows which system is below: the Windows SDK on Windows,
// the platform layer's Win32 subset elsewhere. Everything else in src/ includes this header
// and is written against the Win32 API alone.
#pragma once

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
// windows.h first: the other SDK headers build on it.
#include <windows.h>

#include <batclass.h>
#include <knownfolders.h>
#include <powrprof.h>
#include <sddl.h>
#include <setupapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <time.h>
#include <winioctl.h>
#else
#include <celdor_platform/win32.h>
#endif

#include <celdor/export.h>

// A wide string literal of the library (UTF-16 everywhere).
#define W(text) CELDOR_W(text)
