// INI helpers: 32-bit values kept as decimal text in INI files named by the caller, through the
// system's private-profile functions. Results: 1 for success, 0 otherwise. A failed file step
// leaves one line in the diagnostic log (when its level mask admits errors) and its code in
// GetLastError(); null arguments fail with ERROR_INVALID_PARAMETER before any file is touched.
// Each comes in two forms, with modifiable and with constant strings (for literals); the two do
// the same.
#pragma once

#include "export.h"

// Reads `key` of `section` from the existing file `fileName` into *value. Text that does not
// start with a number reads as 0; a missing file or key, or an empty value, is a failure and
// leaves *value as it was.
CELDOR_API int GetDWForIni(WCHAR* fileName, WCHAR* section, WCHAR* key, DWORD* value);
CELDOR_API int GetDWForIni(const WCHAR* fileName, const WCHAR* section, const WCHAR* key,
                           DWORD* value);

// Writes `value` as signed decimal text (4294967295 becomes "-1"). A missing file is created,
// and its folder too when the folder's parent exists, open to every user of the machine.
CELDOR_API int SetDWForIni(WCHAR* fileName, WCHAR* section, WCHAR* key, DWORD value);
CELDOR_API int SetDWForIni(const WCHAR* fileName, const WCHAR* section, const WCHAR* key,
                           DWORD value);
