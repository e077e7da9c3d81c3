// The handles the host holds: each wraps one open Archive with the lock that
// serialises the calls on it, the count of references that keeps it alive
// while calls are in flight, and its own progress callbacks.
//
// A handle is checked by looking it up among the live ones, never by reading
// memory at the address the host passes. A close takes the handle out of
// that list at once, and the archive is torn down when the last call using
// it returns: a progress callback may close the archive it is called for.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "document/archive.h"
#include "plugin/module_state.h"
#include "platform/win32.h"

struct ArchiveHandle {
    std::unique_ptr<Archive> archive;
    CRITICAL_SECTION lock;                             // held by each call for its whole work
    int32_t references = 1;                            // the host's + one per call in flight;
                                                       // changed under the list's lock
    bool closed = false;                               // CloseArchive was called
    ProgressCallbacks callbacks;                       // the archive's own, once a setter named it
    uint32_t headerTimeStamp = 0;                      // what its header records carry as the time
};

// Makes a live handle of an opened archive, or throws std::bad_alloc (the
// archive is then released).
uintptr_t AddHandle(std::unique_ptr<Archive> archive);
// Sets the progress callbacks of the live handle `handle`; false when it is
// none, and nothing changed.
bool SetHandleCallback(uintptr_t handle, ProcessDataProc narrow, bool setNarrow, ProcessDataProcW wide, bool setWide);

// One exported call's hold on a handle: a reference and the lock, taken at
// construction and given back at scope exit. Empty for anything that is not
// a live handle.
class HandleCall {
public:
    explicit HandleCall(uintptr_t handle);
    ~HandleCall();
    HandleCall(const HandleCall&) = delete;
    HandleCall& operator=(const HandleCall&) = delete;

    explicit operator bool() const { return handle_ != nullptr; }
    ArchiveHandle& Handle() const { return *handle_; }
    // The archive the handle wraps.
    Archive& Opened() const { return *handle_->archive; }
    // Gives up the host's reference and takes the handle out of the live
    // ones; the archive goes when the last call using it returns.
    void Close();

private:
    // Drops this call's reference and leaves the lock; the last reference
    // destroys the handle.
    void Release();

    ArchiveHandle* handle_;  // null when the call holds nothing
};
