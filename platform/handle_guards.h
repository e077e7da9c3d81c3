// Scoped guards for the Windows handles the plug-in opens: each closes its
// handle on every way out of a scope, exceptions included. Files and mappings
// have different "no handle" values, so each kind has its own guard.
#pragma once

#include <cstdint>

#include "platform/win32.h"

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    // Closes now, for a file that must be closed before it can be deleted.
    void Close() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

// A mapping fails with NULL, not with INVALID_HANDLE_VALUE.
class MappingHandle {
public:
    explicit MappingHandle(HANDLE handle) : handle_(handle) {}
    ~MappingHandle() {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    MappingHandle(const MappingHandle&) = delete;
    MappingHandle& operator=(const MappingHandle&) = delete;
    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != nullptr; }

private:
    HANDLE handle_;
};

class MappedView {
public:
    explicit MappedView(LPVOID view) : view_(view) {}
    ~MappedView() {
        if (view_ != nullptr) UnmapViewOfFile(view_);
    }
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;
    const uint8_t* Bytes() const { return static_cast<const uint8_t*>(view_); }

private:
    LPVOID view_;
};

// Frees a LocalAlloc block unless it was handed over.
class LocalBlockGuard {
public:
    explicit LocalBlockGuard(HLOCAL block) : block_(block) {}
    ~LocalBlockGuard() {
        if (block_ != nullptr) LocalFree(block_);
    }
    LocalBlockGuard(const LocalBlockGuard&) = delete;
    LocalBlockGuard& operator=(const LocalBlockGuard&) = delete;
    void Dismiss() { block_ = nullptr; }

private:
    HLOCAL block_;
};
