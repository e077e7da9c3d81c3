// Placeholders until the rest of the Linux stand-in lands; every call fails.
#include "platform/linux_win32.h"

HANDLE CreateFileW(LPCWSTR, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE) { return INVALID_HANDLE_VALUE; }
BOOL GetFileTime(HANDLE, FILETIME*, FILETIME*, FILETIME*) { return FALSE; }
BOOL GetFileSizeEx(HANDLE, LARGE_INTEGER*) { return FALSE; }
BOOL WriteFile(HANDLE, LPCVOID, DWORD, DWORD*, OVERLAPPED*) { return FALSE; }
BOOL CloseHandle(HANDLE) { return FALSE; }
HANDLE CreateFileMappingW(HANDLE, SECURITY_ATTRIBUTES*, DWORD, DWORD, DWORD, LPCWSTR) { return nullptr; }
LPVOID MapViewOfFile(HANDLE, DWORD, DWORD, DWORD, SIZE_T) { return nullptr; }
BOOL UnmapViewOfFile(LPCVOID) { return FALSE; }
void InitializeCriticalSection(CRITICAL_SECTION*) {}
void EnterCriticalSection(CRITICAL_SECTION*) {}
void LeaveCriticalSection(CRITICAL_SECTION*) {}
void DeleteCriticalSection(CRITICAL_SECTION*) {}
BOOL FileTimeToSystemTime(const FILETIME*, SYSTEMTIME*) { return FALSE; }
BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION*, const SYSTEMTIME*, SYSTEMTIME*) { return FALSE; }
int MultiByteToWideChar(UINT, DWORD, LPCSTR, int, LPWSTR, int) { return 0; }
int WideCharToMultiByte(UINT, DWORD, LPCWSTR, int, LPSTR, int, LPCSTR, BOOL*) { return 0; }
const WCHAR* wcsrchr(const WCHAR*, WCHAR) { return nullptr; }
WCHAR* wcsrchr(WCHAR*, WCHAR) { return nullptr; }
long wcstol(const WCHAR*, WCHAR** end, int) { if (end) *end = nullptr; return 0; }
int _wcsnicmp(const WCHAR*, const WCHAR*, size_t) { return 1; }
int _vsnwprintf(WCHAR*, size_t, const WCHAR*, va_list) { return -1; }
