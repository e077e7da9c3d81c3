// The library's entry function: on process attach it stores the process heap,
// which every ByteBuffer uses. Nothing else happens, and it always succeeds.
#include "plugin/module_state.h"

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) moduleState.processHeap = GetProcessHeap();
    return TRUE;
}
#else
__attribute__((constructor)) static void AttachLibrary() { moduleState.processHeap = GetProcessHeap(); }
#endif
