// The library's entry function. It runs under the loader lock, so it starts,
// joins and waits for nothing: worker threads belong to the calls that need
// them. It always succeeds.
#include "platform/win32.h"

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
