// A Win32-shaped stand-in for Linux: only the types, constants and calls that
// vellum uses, each behaving as its Windows namesake does for those uses.
// Wide text is UTF-16 in char16_t units, and the "ANSI" code page is UTF-8.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstddef>
#include <pthread.h>

typedef int BOOL;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef int INT;
typedef size_t SIZE_T;
typedef uintptr_t ULONG_PTR;
typedef char16_t WCHAR;
typedef void* HANDLE;
typedef void* BCRYPT_HANDLE;
typedef void* BCRYPT_ALG_HANDLE;
typedef void* BCRYPT_KEY_HANDLE;
typedef void* BCRYPT_HASH_HANDLE;
typedef void* HLOCAL;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef uint32_t ULONG;
typedef unsigned char UCHAR;
typedef UCHAR* PUCHAR;
typedef LONG NTSTATUS;

#define TRUE 1
#define FALSE 0

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

// Heap and local memory.
#define HEAP_ZERO_MEMORY 0x00000008u
#define HEAP_REALLOC_IN_PLACE_ONLY 0x00000010u
#define LMEM_ZEROINIT 0x0040u

// Files and mappings.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_READ_DATA 0x0001u
#define FILE_SHARE_READ 0x00000001u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define PAGE_READONLY 0x02u
#define FILE_MAP_READ 0x0004u
#define MAX_PATH 260
// The system's own code for memory refused: errno's, as every code here is.
#define ERROR_NOT_ENOUGH_MEMORY static_cast<DWORD>(ENOMEM)

// Text conversion.
#define CP_ACP 0u
#define CP_UTF8 65001u
#define WC_COMPOSITECHECK 0x00000200u

// Cryptography (CNG).
#define BCRYPT_SUCCESS(status) ((status) >= 0)
#define BCRYPT_MD5_ALGORITHM u"MD5"
#define BCRYPT_SHA256_ALGORITHM u"SHA256"
#define BCRYPT_SHA384_ALGORITHM u"SHA384"
#define BCRYPT_SHA512_ALGORITHM u"SHA512"
#define BCRYPT_AES_ALGORITHM u"AES"
#define BCRYPT_CHAINING_MODE u"ChainingMode"
#define BCRYPT_CHAIN_MODE_CBC u"ChainingModeCBC"

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    int64_t QuadPart;
};

struct MEMORYSTATUSEX {
    DWORD dwLength;
    DWORD dwMemoryLoad;
    uint64_t ullTotalPhys;
    uint64_t ullAvailPhys;
    uint64_t ullTotalPageFile;
    uint64_t ullAvailPageFile;
    uint64_t ullTotalVirtual;
    uint64_t ullAvailVirtual;
    uint64_t ullAvailExtendedVirtual;
};

struct SECURITY_ATTRIBUTES;
struct TIME_ZONE_INFORMATION;
// Only the offset is used: a synchronous handle reads at it.
struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};

// A critical section may be entered again by the thread that holds it.
struct CRITICAL_SECTION {
    pthread_mutex_t mutex;  // recursive
    LONG recursionCount;    // times the holder has entered; changed only by the holder
};

HANDLE GetProcessHeap();
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
// With HEAP_REALLOC_IN_PLACE_ONLY a block may shrink but never moves.
LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID memory, SIZE_T bytes);
// The size the block was last given; (SIZE_T)-1 for null.
SIZE_T HeapSize(HANDLE heap, DWORD flags, LPCVOID memory);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID memory);

// Blocks from LocalAlloc come from the C runtime's malloc on Linux, so a host
// releases them with free() (or LocalFree, which is the same).
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL LocalFree(HLOCAL memory);

// Paths are UTF-16 and may separate with '\' as on Windows. Only
// OPEN_EXISTING and CREATE_ALWAYS (mode 0644 less the umask) are offered; a
// directory is refused. Share modes are not enforced.
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* security,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL DeleteFileW(LPCWSTR path);
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);
BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);
// Reads at the offset an OVERLAPPED record gives (reading at the handle's
// position is not offered); fewer bytes than asked only at the end of the file.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, DWORD* bytesRead, OVERLAPPED* overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, DWORD* bytesWritten, OVERLAPPED* overlapped);
BOOL CloseHandle(HANDLE handle);
// Read-only mappings of whole files: an empty file cannot be mapped. A view
// stays valid after its mapping and file handles are closed.
HANDLE CreateFileMappingW(HANDLE file, SECURITY_ATTRIBUTES* security, DWORD protect, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, LPCWSTR name);
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes);
BOOL UnmapViewOfFile(LPCVOID view);

// The variable's value and its length without the terminator when it fits in
// `size` units; otherwise the size it needs, terminator included; 0 when the
// variable is not set. The environment's bytes are read as UTF-8.
DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);
// The variable's value and its length without the terminator when it fits in
// `size` bytes; otherwise the size it needs, terminator included; 0 when the
// variable is not set.
DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
// The number after `key` in `section` of the INI file at `path` (its leading
// decimal digits; 0 without any), or `defaultValue` when the file, the
// section or the key is missing.
UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR path);
// Only ullTotalPhys, ullAvailPhys and ullAvailPageFile are filled; dwLength
// must be the record's size. A memory limit of the process's control group
// counts as the machine's memory, as a job object's limit does on Windows;
// nothing here is committed ahead, so ullAvailPageFile is ullTotalPhys.
BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status);

// The calling thread's last error is errno here: the stand-ins fail with the
// system's own code, and a host reads it the way it reads any other.
DWORD GetLastError();
void SetLastError(DWORD code);

void InitializeCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
// Only a null zone, the zone in effect (TZ, else /etc/localtime), is offered.
// As on Windows, a local time before 1601 fails.
BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* universal,
                                     SYSTEMTIME* local);

// CP_ACP and CP_UTF8, both UTF-8 here. Flags are accepted and ignored;
// malformed input becomes U+FFFD, as without MB_ERR_INVALID_CHARS.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes, LPWSTR destination,
                        int destinationUnits);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceUnits, LPSTR destination,
                        int destinationBytes, LPCSTR defaultChar, BOOL* usedDefaultChar);

// The C runtime's wide-text functions, for 16-bit units. They overload the
// C library's wchar_t versions, which are 32-bit here and never used.
const WCHAR* wcsrchr(const WCHAR* text, WCHAR unit);
WCHAR* wcsrchr(WCHAR* text, WCHAR unit);
// Folds the ASCII letters only, as the "C" locale does.
int _wcsnicmp(const WCHAR* left, const WCHAR* right, size_t count);

// Cryptography through OpenSSL's libcrypto, in CNG's shape: the hashes MD5,
// SHA-256, SHA-384 and SHA-512, and AES with 128-, 192- or 256-bit keys in
// CBC mode (the only chaining offered, set or not) without padding (flags 0).
// A hash or key handle belongs to one thread at a time; an algorithm handle
// may be shared, and outlives the handles made from it. Failures answer
// negative NTSTATUS values, as on Windows; a null object buffer with a size
// of 0 lets the call allocate the object.
NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* algorithm, LPCWSTR algorithmId, LPCWSTR implementation,
                                     ULONG flags);
NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm, ULONG flags);
NTSTATUS BCryptSetProperty(BCRYPT_HANDLE object, LPCWSTR property, PUCHAR input, ULONG inputBytes, ULONG flags);
NTSTATUS BCryptCreateHash(BCRYPT_ALG_HANDLE algorithm, BCRYPT_HASH_HANDLE* hash, PUCHAR hashObject,
                          ULONG hashObjectBytes, PUCHAR secret, ULONG secretBytes, ULONG flags);
NTSTATUS BCryptHashData(BCRYPT_HASH_HANDLE hash, PUCHAR input, ULONG inputBytes, ULONG flags);
// `outputBytes` must be the digest's size; the hash cannot be used again.
NTSTATUS BCryptFinishHash(BCRYPT_HASH_HANDLE hash, PUCHAR output, ULONG outputBytes, ULONG flags);
NTSTATUS BCryptDestroyHash(BCRYPT_HASH_HANDLE hash);
NTSTATUS BCryptGenerateSymmetricKey(BCRYPT_ALG_HANDLE algorithm, BCRYPT_KEY_HANDLE* key, PUCHAR keyObject,
                                    ULONG keyObjectBytes, PUCHAR secret, ULONG secretBytes, ULONG flags);
NTSTATUS BCryptDestroyKey(BCRYPT_KEY_HANDLE key);
// Whole blocks only; the 16-byte IV is the chaining value, and is left as
// the last ciphertext block, ready for the next call.
NTSTATUS BCryptEncrypt(BCRYPT_KEY_HANDLE key, PUCHAR input, ULONG inputBytes, void* paddingInfo, PUCHAR iv,
                       ULONG ivBytes, PUCHAR output, ULONG outputBytes, ULONG* result, ULONG flags);
NTSTATUS BCryptDecrypt(BCRYPT_KEY_HANDLE key, PUCHAR input, ULONG inputBytes, void* paddingInfo, PUCHAR iv,
                       ULONG ivBytes, PUCHAR output, ULONG outputBytes, ULONG* result, ULONG flags);
