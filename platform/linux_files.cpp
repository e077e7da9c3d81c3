// Files and read-only file mappings for Linux. A file handle and a mapping
// handle are small heap objects around a descriptor; a view is a plain mmap
// whose length is kept in a registry, because UnmapViewOfFile only gets the
// address back.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/utf8.h"
#include "platform/win32.h"

namespace {

enum class HandleKind { file, mapping };

struct HandleObject {
    HandleKind kind;
    int descriptor;    // owned; a mapping holds its own duplicate of the file's
    uint64_t size;     // mapping only: the bytes the mapping covers
};

struct ViewRecord {
    void* address;
    size_t length;
    ViewRecord* next;
};

pthread_mutex_t viewRegistryLock = PTHREAD_MUTEX_INITIALIZER;
ViewRecord* viewRegistry = nullptr;

// Windows only maps views at multiples of its allocation granularity.
constexpr uint64_t allocationGranularity = 65536;

HandleObject* AsObject(HANDLE handle, HandleKind kind) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    auto* object = static_cast<HandleObject*>(handle);
    return object->kind == kind ? object : nullptr;
}

HandleObject* NewHandleObject(HandleKind kind, int descriptor, uint64_t size) {
    auto* object = static_cast<HandleObject*>(std::malloc(sizeof(HandleObject)));
    if (object == nullptr) return nullptr;
    object->kind = kind;
    object->descriptor = descriptor;
    object->size = size;
    return object;
}

// The path as the file system's bytes, in a malloc'd block: UTF-8, with the
// bytes of a name in another encoding given back as they came (see
// platform/utf8.h). A backslash stays what it is on Linux, an ordinary
// character of a name.
char* NativePath(LPCWSTR path) {
    int64_t units = 0;
    while (path[units] != 0) ++units;
    int64_t bytes = 1;  // the terminator
    ConvertUtf16ToBytes(path, units, [&](char) { ++bytes; });
    auto* native = static_cast<char*>(std::malloc(static_cast<size_t>(bytes)));
    if (native == nullptr) return nullptr;
    int64_t at = 0;
    ConvertUtf16ToBytes(path, units, [&](char byte) { native[at++] = byte; });
    native[at] = 0;
    return native;
}

FILETIME ToFileTime(const struct timespec& time) {
    FILETIME result{0, 0};
    if (time.tv_sec < -FileTimeSecondsBefore1970) return result;
    const uint64_t units = static_cast<uint64_t>(time.tv_sec + FileTimeSecondsBefore1970) *
                               static_cast<uint64_t>(FileTimeTicksPerSecond) +
                           static_cast<uint64_t>(time.tv_nsec / 100);
    result.dwLowDateTime = static_cast<DWORD>(units);
    result.dwHighDateTime = static_cast<DWORD>(units >> 32);
    return result;
}

}  // namespace

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD disposition, DWORD, HANDLE) {
    if (path == nullptr) return INVALID_HANDLE_VALUE;
    const bool reads = (access & (GENERIC_READ | FILE_READ_DATA)) != 0;
    const bool writes = (access & GENERIC_WRITE) != 0;
    int flags = O_CLOEXEC | O_NONBLOCK;  // non-blocking so that a FIFO cannot hang the open
    flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    if (disposition == CREATE_ALWAYS) {
        flags |= O_CREAT | O_TRUNC;
    } else if (disposition != OPEN_EXISTING) {
        return INVALID_HANDLE_VALUE;
    }
    char* native = NativePath(path);
    if (native == nullptr) return INVALID_HANDLE_VALUE;
    const int descriptor = open(native, flags, 0644);
    std::free(native);
    if (descriptor < 0) return INVALID_HANDLE_VALUE;
    // Like Windows without FILE_FLAG_BACKUP_SEMANTICS, a directory is not a file to open.
    struct stat status {};
    HandleObject* object = nullptr;
    if (fstat(descriptor, &status) == 0 && !S_ISDIR(status.st_mode) &&
        fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) == 0) {
        object = NewHandleObject(HandleKind::file, descriptor, 0);
    }
    if (object == nullptr) {
        const int cause = S_ISDIR(status.st_mode) ? EISDIR : errno;
        close(descriptor);
        errno = cause;
        return INVALID_HANDLE_VALUE;
    }
    return object;
}

BOOL DeleteFileW(LPCWSTR path) {
    if (path == nullptr) return FALSE;
    char* native = NativePath(path);
    if (native == nullptr) return FALSE;
    const int result = unlink(native);
    std::free(native);
    return result == 0 ? TRUE : FALSE;
}

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite) {
    const HandleObject* object = AsObject(file, HandleKind::file);
    struct stat status;
    if (object == nullptr || fstat(object->descriptor, &status) != 0) return FALSE;
    // Linux keeps no creation time in stat; the status-change time stands in.
    if (creation != nullptr) *creation = ToFileTime(status.st_ctim);
    if (lastAccess != nullptr) *lastAccess = ToFileTime(status.st_atim);
    if (lastWrite != nullptr) *lastWrite = ToFileTime(status.st_mtim);
    return TRUE;
}

BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size) {
    const HandleObject* object = AsObject(file, HandleKind::file);
    struct stat status;
    if (object == nullptr || size == nullptr || fstat(object->descriptor, &status) != 0) return FALSE;
    size->QuadPart = static_cast<int64_t>(status.st_size);
    return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, DWORD* bytesRead, OVERLAPPED* overlapped) {
    if (bytesRead != nullptr) *bytesRead = 0;
    const HandleObject* object = AsObject(file, HandleKind::file);
    if (object == nullptr || overlapped == nullptr || (buffer == nullptr && bytesToRead != 0)) return FALSE;
    auto* bytes = static_cast<char*>(buffer);
    const off_t offset = static_cast<off_t>((uint64_t{overlapped->OffsetHigh} << 32) | overlapped->Offset);
    DWORD done = 0;
    // pread() may give less than asked before the end; a synchronous ReadFile does not.
    while (done < bytesToRead) {
        const ssize_t got = pread(object->descriptor, bytes + done, bytesToRead - done, offset + done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            if (bytesRead != nullptr) *bytesRead = done;
            return FALSE;
        }
        if (got == 0) break;
        done += static_cast<DWORD>(got);
    }
    if (bytesRead != nullptr) *bytesRead = done;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, DWORD* bytesWritten, OVERLAPPED* overlapped) {
    if (bytesWritten != nullptr) *bytesWritten = 0;
    const HandleObject* object = AsObject(file, HandleKind::file);
    if (object == nullptr || overlapped != nullptr || (buffer == nullptr && bytesToWrite != 0)) return FALSE;
    const auto* bytes = static_cast<const char*>(buffer);
    DWORD done = 0;
    // write() may take less than asked; Windows writes all of a synchronous request or fails.
    while (done < bytesToWrite) {
        const ssize_t written = write(object->descriptor, bytes + done, bytesToWrite - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (bytesWritten != nullptr) *bytesWritten = done;
            return FALSE;
        }
        done += static_cast<DWORD>(written);
    }
    if (bytesWritten != nullptr) *bytesWritten = done;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return FALSE;
    auto* object = static_cast<HandleObject*>(handle);
    // The descriptor is gone after close() even when it reports an error, so the handle is too.
    close(object->descriptor);
    std::free(object);
    return TRUE;
}

HANDLE CreateFileMappingW(HANDLE file, SECURITY_ATTRIBUTES*, DWORD protect, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, LPCWSTR name) {
    const HandleObject* fileObject = AsObject(file, HandleKind::file);
    if (fileObject == nullptr || protect != PAGE_READONLY || name != nullptr) return nullptr;
    struct stat status;
    if (fstat(fileObject->descriptor, &status) != 0 || status.st_size <= 0) return nullptr;
    const uint64_t fileSize = static_cast<uint64_t>(status.st_size);
    const uint64_t maximumSize = (static_cast<uint64_t>(maximumSizeHigh) << 32) | maximumSizeLow;
    // A read-only mapping cannot grow the file; 0 means the whole file.
    if (maximumSize > fileSize) return nullptr;
    // The mapping keeps its own descriptor, so that the file handle may be closed first.
    const int descriptor = fcntl(fileObject->descriptor, F_DUPFD_CLOEXEC, 0);
    if (descriptor < 0) return nullptr;
    HandleObject* mapping = NewHandleObject(HandleKind::mapping, descriptor, maximumSize == 0 ? fileSize : maximumSize);
    if (mapping == nullptr) close(descriptor);
    return mapping;
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes) {
    const HandleObject* object = AsObject(mapping, HandleKind::mapping);
    if (object == nullptr || access != FILE_MAP_READ) return nullptr;
    const uint64_t offset = (static_cast<uint64_t>(offsetHigh) << 32) | offsetLow;
    if (offset % allocationGranularity != 0 || offset >= object->size) return nullptr;
    const uint64_t available = object->size - offset;
    if (bytes > available) return nullptr;
    const size_t length = bytes == 0 ? static_cast<size_t>(available) : bytes;
    auto* record = static_cast<ViewRecord*>(std::malloc(sizeof(ViewRecord)));
    if (record == nullptr) return nullptr;
    void* address = mmap(nullptr, length, PROT_READ, MAP_SHARED, object->descriptor, static_cast<off_t>(offset));
    if (address == MAP_FAILED) {
        std::free(record);
        return nullptr;
    }
    record->address = address;
    record->length = length;
    pthread_mutex_lock(&viewRegistryLock);
    record->next = viewRegistry;
    viewRegistry = record;
    pthread_mutex_unlock(&viewRegistryLock);
    return address;
}

BOOL UnmapViewOfFile(LPCVOID view) {
    ViewRecord* found = nullptr;
    pthread_mutex_lock(&viewRegistryLock);
    for (ViewRecord** link = &viewRegistry; *link != nullptr; link = &(*link)->next) {
        if ((*link)->address == view) {
            found = *link;
            *link = found->next;
            break;
        }
    }
    pthread_mutex_unlock(&viewRegistryLock);
    if (found == nullptr) return FALSE;
    munmap(found->address, found->length);
    std::free(found);
    return TRUE;
}
