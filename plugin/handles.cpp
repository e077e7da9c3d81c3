#include "plugin/handles.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "plugin/listing.h"

namespace {

// The live handles, and the lock under which they are found and their
// references change.
std::mutex liveLock;
std::vector<ArchiveHandle*> live;

// The live handle at this address, or null. List lock held.
ArchiveHandle* FindLive(uintptr_t handle) {
    const auto found = std::find(live.begin(), live.end(), reinterpret_cast<ArchiveHandle*>(handle));
    return found == live.end() ? nullptr : *found;
}

void Destroy(ArchiveHandle* handle) {
    DeleteCriticalSection(&handle->lock);
    delete handle;
}

}  // namespace

uintptr_t AddHandle(std::unique_ptr<Archive> archive) {
    auto* handle = new ArchiveHandle;
    handle->headerTimeStamp = HeaderTimeStamp(archive->lastWriteTime);
    handle->archive = std::move(archive);
    InitializeCriticalSection(&handle->lock);
    try {
        std::lock_guard<std::mutex> held(liveLock);
        live.push_back(handle);
    } catch (...) {
        Destroy(handle);
        throw;
    }
    return reinterpret_cast<uintptr_t>(handle);
}

bool SetHandleCallback(uintptr_t handle, ProcessDataProc narrow, bool setNarrow, ProcessDataProcW wide, bool setWide) {
    std::lock_guard<std::mutex> held(liveLock);
    ArchiveHandle* found = FindLive(handle);
    if (found == nullptr) return false;
    if (setNarrow) found->callbacks.narrow = narrow;
    if (setWide) found->callbacks.wide = wide;
    found->callbacks.own = true;
    return true;
}

HandleCall::HandleCall(uintptr_t handle) : handle_(nullptr) {
    ArchiveHandle* found = nullptr;
    {
        std::lock_guard<std::mutex> held(liveLock);
        found = FindLive(handle);
        if (found == nullptr) return;
        ++found->references;
    }
    EnterCriticalSection(&found->lock);
    handle_ = found;
    // Closed while this call waited for the lock: the handle is no longer the host's.
    if (found->closed) Release();
}

HandleCall::~HandleCall() { Release(); }

void HandleCall::Release() {
    if (handle_ == nullptr) return;
    bool last = false;
    {
        std::lock_guard<std::mutex> held(liveLock);
        last = --handle_->references == 0;
    }
    // With no reference left no other call holds or waits for the lock.
    LeaveCriticalSection(&handle_->lock);
    if (last) Destroy(handle_);
    handle_ = nullptr;
}

void HandleCall::Close() {
    std::lock_guard<std::mutex> held(liveLock);
    handle_->closed = true;
    live.erase(std::find(live.begin(), live.end(), handle_));
    --handle_->references;
}
