// Registry helpers: read, write and test single values and keys. Each call opens its key, does
// one thing and closes the key again. Results: 1 for success (or "exists"), 0 otherwise; after a
// 0, GetLastError() may carry one of the codes below or a registry status.
#pragma once

#include "export.h"

// An existence check could not open its key, or an open or create gave no key handle.
inline constexpr DWORD LIBREG_ERROR_KEY_NOT_OPEN = 0x90000001;
// RegGetStr could neither open nor create its key.
inline constexpr DWORD LIBREG_ERROR_KEY_NOT_CREATED = 0x90000002;

// Every function comes in two forms: the one with modifiable strings, and one with constant
// strings beside it so that a caller can pass a literal. The two do the same.

// Readers. The HKEY_CURRENT_USER ones unless the name says otherwise.
CELDOR_API int RegGetDWORD(WCHAR* subKey, WCHAR* valueName, DWORD& data);
CELDOR_API int RegGetDWORD(const WCHAR* subKey, const WCHAR* valueName, DWORD& data);
CELDOR_API int RegGetDWORD_Local_Machine(WCHAR* subKey, WCHAR* valueName, DWORD& data);
CELDOR_API int RegGetDWORD_Local_Machine(const WCHAR* subKey, const WCHAR* valueName, DWORD& data);
// data must hold 260 bytes (130 characters with the terminator). Creates the key when missing.
CELDOR_API int RegGetStr(WCHAR* subKey, WCHAR* valueName, WCHAR* data);
CELDOR_API int RegGetStr(const WCHAR* subKey, const WCHAR* valueName, WCHAR* data);

// Writers under HKEY_CURRENT_USER; none of them creates the key. RegSetStr writes
// REG_EXPAND_SZ, RegSetSz REG_SZ.
CELDOR_API int RegSetStr(WCHAR* subKey, WCHAR* valueName, WCHAR* data);
CELDOR_API int RegSetStr(const WCHAR* subKey, const WCHAR* valueName, const WCHAR* data);
CELDOR_API int RegSetSz(WCHAR* subKey, WCHAR* valueName, WCHAR* data);
CELDOR_API int RegSetSz(const WCHAR* subKey, const WCHAR* valueName, const WCHAR* data);
CELDOR_API int RegSetDWORD(WCHAR* subKey, WCHAR* valueName, DWORD value);
CELDOR_API int RegSetDWORD(const WCHAR* subKey, const WCHAR* valueName, DWORD value);

// Existence checks. RegDoesExistValue looks under HKEY_LOCAL_MACHINE, the others under
// HKEY_CURRENT_USER. None of them looks at the value's type.
CELDOR_API int RegDoesExistValue(WCHAR* subKey, WCHAR* valueName);
CELDOR_API int RegDoesExistValue(const WCHAR* subKey, const WCHAR* valueName);
CELDOR_API int RegDoesExistSzValue(WCHAR* subKey, WCHAR* valueName);
CELDOR_API int RegDoesExistSzValue(const WCHAR* subKey, const WCHAR* valueName);
CELDOR_API int RegDoesExistStrValue(WCHAR* subKey, WCHAR* valueName);
CELDOR_API int RegDoesExistStrValue(const WCHAR* subKey, const WCHAR* valueName);
CELDOR_API int RegDoesExistDwordValue(WCHAR* subKey, WCHAR* valueName);
CELDOR_API int RegDoesExistDwordValue(const WCHAR* subKey, const WCHAR* valueName);
CELDOR_API int RegDoesExistKey(WCHAR* subKey);
CELDOR_API int RegDoesExistKey(const WCHAR* subKey);

// Makes sure a key exists under HKEY_CURRENT_USER. Not the system's three-argument function of
// the same name.
CELDOR_API int RegCreateKeyW(WCHAR* subKey);
CELDOR_API int RegCreateKeyW(const WCHAR* subKey);
