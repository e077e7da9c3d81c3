#include "tools/file_placement.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#ifndef _WIN32
#  include <cerrno>
#  include <cstdlib>
#  include <fcntl.h>
#  include <sys/stat.h>
#  include <unistd.h>
#endif

namespace {

#ifdef _WIN32
constexpr WCHAR PathSeparator = L'\\';
#else
constexpr WCHAR PathSeparator = u'/';
#endif

// A temporary name: ".vellum-" and this many hex digits, then ".tmp"; short
// enough that a destination path within MaxDestinationUnits leaves room.
constexpr int TemporaryNameDigits = 12;
// Names tried before giving up, should each be taken already.
constexpr int TemporaryNameAttempts = 100;

bool EndsInSeparator(const HostText& path) {
    if (path.empty()) return false;
#ifdef _WIN32
    return path.back() == L'\\' || path.back() == L'/';
#else
    return path.back() == u'/';
#endif
}

HostText FreshName() {
    static std::mt19937_64 generator{[] {
        std::random_device device;
        return (uint64_t{device()} << 32) ^ device() ^
               static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }()};
    uint64_t value = generator();
    char digits[TemporaryNameDigits + 1];
    for (int i = 0; i < TemporaryNameDigits; ++i, value >>= 4) digits[i] = "0123456789abcdef"[value & 0xF];
    digits[TemporaryNameDigits] = 0;
    return FromAscii(".vellum-") + FromAscii(digits) + FromAscii(".tmp");
}

#ifndef _WIN32
// A rename that refuses an existing name. File systems without the flag
// (some network and user-space ones) get a hard link, which refuses one as
// well; those without links get a look first, which a file appearing in
// between can beat.
int RenameWithoutReplacing(const char* from, const char* to) {
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    if (link(from, to) == 0) {
        unlink(from);
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) return -1;
    struct stat status;
    if (lstat(to, &status) == 0) {
        errno = EEXIST;
        return -1;
    }
    return rename(from, to);
}
#endif

}  // namespace

HostText JoinPath(const HostText& directory, const HostText& name) {
    if (directory.empty()) return name;
    HostText path = directory;
    if (!EndsInSeparator(path)) path += PathSeparator;
    return path + name;
}

PathKind InspectPath(const HostText& path) {
#ifdef _WIN32
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? PathKind::none : PathKind::other;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return PathKind::other;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::directory : PathKind::other;
#else
    struct stat status;
    // ENOTDIR: a file stands where a directory above the name should be, so nothing stands under the name.
    if (lstat(ToUtf8(path).c_str(), &status) != 0)
        return errno == ENOENT || errno == ENOTDIR ? PathKind::none : PathKind::other;
    return S_ISDIR(status.st_mode) ? PathKind::directory : PathKind::other;
#endif
}

bool MakeDirectories(const HostText& directory, std::string& reason) {
    std::error_code error;
    std::filesystem::create_directories(ToPath(directory), error);
    if (!error) return true;
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted)
        reason = "permission denied";
    else if (error == std::errc::file_exists || error == std::errc::not_a_directory)
        reason = "a file of that name is in the way";
    else
        reason = error.message();
    return false;
}

std::optional<uint64_t> FileSize(const HostText& path) {
    std::error_code error;
    uint64_t size = std::filesystem::file_size(ToPath(path), error);
    if (error) return std::nullopt;
    return size;
}

HostText TemporaryDirectory() {
#ifdef _WIN32
    WCHAR buffer[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) return FromAscii(".");
    return HostText(buffer, length);
#else
    const char* directory = std::getenv("TMPDIR");
    return FromUtf8(directory != nullptr && *directory != 0 ? directory : "/tmp");
#endif
}

bool TemporaryFile::Create(const HostText& directory, SystemCode& code) {
    Remove();
    for (int attempt = 0; attempt < TemporaryNameAttempts; ++attempt) {
        HostText path = JoinPath(directory, FreshName());
#ifdef _WIN32
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            path_ = path;
            return true;
        }
        code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) return false;
#else
        // The mode the plug-in gives the files it makes.
        int descriptor = open(ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (descriptor >= 0) {
            close(descriptor);
            path_ = path;
            return true;
        }
        code = static_cast<SystemCode>(errno);
        if (errno != EEXIST) return false;
#endif
    }
    return false;
}

Placement TemporaryFile::PlaceAs(const HostText& path, bool replace, SystemCode& code) {
#ifdef _WIN32
    if (MoveFileExW(path_.c_str(), path.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
        path_.clear();
        return Placement::placed;
    }
    code = GetLastError();
    return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS ? Placement::exists : Placement::failed;
#else
    std::string from = ToUtf8(path_), to = ToUtf8(path);
    if ((replace ? rename(from.c_str(), to.c_str()) : RenameWithoutReplacing(from.c_str(), to.c_str())) == 0) {
        path_.clear();
        return Placement::placed;
    }
    code = static_cast<SystemCode>(errno);
    return errno == EEXIST ? Placement::exists : Placement::failed;
#endif
}

void TemporaryFile::Remove() {
    if (path_.empty()) return;
#ifdef _WIN32
    DeleteFileW(path_.c_str());
#else
    unlink(ToUtf8(path_).c_str());
#endif
    path_.clear();
}

Placement FileInPlace::Create(const HostText& path, bool replace, SystemCode& code) {
    Remove();
#ifdef _WIN32
    // Wine's DeleteFileW removes what a link points to: replacing is left to a rename.
    if (replace) {
        code = ERROR_NOT_SUPPORTED;
        return Placement::failed;
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        code = GetLastError();
        return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS ? Placement::exists : Placement::failed;
    }
#else
    const std::string native = ToUtf8(path);
    if (replace && unlink(native.c_str()) != 0 && errno != ENOENT) {
        code = static_cast<SystemCode>(errno);
        return Placement::failed;
    }
    // The mode the plug-in gives the files it makes. O_EXCL, and O_NOFOLLOW
    // after a removal, keep the write off whatever a link points to.
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (replace ? O_TRUNC : O_EXCL);
    const int file = open(native.c_str(), flags, 0644);
    if (file < 0) {
        code = static_cast<SystemCode>(errno);
        return errno == EEXIST ? Placement::exists : Placement::failed;
    }
#endif
    path_ = path;
    file_ = file;
    open_ = true;
    return Placement::placed;
}

bool FileInPlace::Finish(const uint8_t* bytes, uint64_t size, uint32_t stamp, SystemCode& code) {
    if (!open_) return false;
    uint64_t done = 0;
    bool whole = true;
#ifdef _WIN32
    constexpr DWORD MaxWriteBytes = DWORD{1} << 30;
    while (whole && done < size) {
        DWORD written = 0;
        const DWORD asked = static_cast<DWORD>(std::min<uint64_t>(size - done, MaxWriteBytes));
        whole = WriteFile(file_, bytes + done, asked, &written, nullptr) && written != 0;
        done += written;
    }
    if (!whole) code = GetLastError();
    if (whole) SetLastWriteTime(file_, stamp);
    if (!CloseHandle(file_) && whole) {
        whole = false;
        code = GetLastError();
    }
#else
    while (whole && done < size) {
        const ssize_t written = write(file_, bytes + done, static_cast<size_t>(size - done));
        if (written < 0 && errno == EINTR) continue;
        // A write that takes nothing without an error would take nothing again.
        if (written == 0) errno = ENOSPC;
        whole = written > 0;
        if (whole) done += static_cast<uint64_t>(written);
    }
    if (!whole) code = static_cast<SystemCode>(errno);
    if (whole) SetLastWriteTime(file_, stamp);
    // A file system that writes on close (network, quota) reports there.
    if (close(file_) != 0 && whole) {
        whole = false;
        code = static_cast<SystemCode>(errno);
    }
#endif
    open_ = false;
    if (!whole) {
        Remove();
        return false;
    }
    path_.clear();
    return true;
}

void FileInPlace::Remove() {
    if (path_.empty()) return;
#ifdef _WIN32
    if (open_) CloseHandle(file_);
    DeleteFileW(path_.c_str());
#else
    if (open_) close(file_);
    unlink(ToUtf8(path_).c_str());
#endif
    open_ = false;
    path_.clear();
}
