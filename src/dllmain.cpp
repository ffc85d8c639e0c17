// The DLL entry point. The library keeps no per-process or per-thread state that needs setting
// up or tearing down here: its static objects are built by the C++ runtime, and every resource
// belongs to an object the host owns. So loading and unloading only report success.
//
// powrprof.dll is delay-loaded (see src/CMakeLists.txt). A function of it that the system lacks
// is answered the way the power-management functions report a failure: with the status
// ERROR_CALL_NOT_IMPLEMENTED, so that the caller sees a failed call instead of an exception.
#include "win32.h"

#include <delayimp.h>

namespace {

// Stands in for any missing powrprof function: they all return a DWORD status, and in the x64
// calling convention the caller owns the argument area, so one function without arguments can
// take the place of each of them.
INT_PTR WINAPI PowerFunctionMissing() {
    return ERROR_CALL_NOT_IMPLEMENTED;
}

FARPROC WINAPI OnDelayLoadFailure(unsigned notify, PDelayLoadInfo info) {
    if (notify == dliFailGetProc && info != nullptr && info->szDll != nullptr &&
        lstrcmpiA(info->szDll, "powrprof.dll") == 0) {
        return &PowerFunctionMissing;
    }
    return nullptr;
}

} // namespace

extern "C" {
PfnDliHook __pfnDliFailureHook2 = OnDelayLoadFailure;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
