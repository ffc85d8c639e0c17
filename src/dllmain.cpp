// The DLL entry point. The library keeps no per-process or per-thread state that needs setting
// up or tearing down here: its static objects are built by the C++ runtime, and every resource
// belongs to an object the host owns. So loading and unloading only report success.
#include "win32.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
