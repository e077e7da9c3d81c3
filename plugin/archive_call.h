// One exported call's hold on an archive: the handle is checked, the lock
// entered and a reference taken on construction; the reference is dropped and
// the lock left on every way out of the call.
#pragma once

#include <cstdint>

#include "document/archive.h"

class ArchiveCall {
public:
    explicit ArchiveCall(uintptr_t handle) : archive_(AcquireArchive(handle)) {}
    ~ArchiveCall() {
        if (archive_ == nullptr) return;
        // The creation reference is still held, so this release never destroys
        // the archive and the lock may be left afterwards.
        ReleaseArchive(archive_);
        LeaveCriticalSection(&archive_->lock);
    }
    ArchiveCall(const ArchiveCall&) = delete;
    ArchiveCall& operator=(const ArchiveCall&) = delete;

    // The archive, or null when the handle was not one.
    PdfArchive* Archive() const { return archive_; }

private:
    PdfArchive* archive_;
};
