// Process heap and local memory for Linux. Each heap block carries its size
// in a header, so that HeapReAlloc can zero-fill the bytes a block grows by,
// as HEAP_ZERO_MEMORY does on Windows, and HeapSize can answer.
//
// Large blocks are mappings of their own: they come zero-filled, grow and
// shrink with mremap without copying or touching pages, go back to the system
// the moment they are freed, and ask for huge pages, which fault in 512 times
// fewer steps (page faults cost dearly on virtual machines). Smaller blocks
// come from malloc, which reuses freed memory without faulting it in again.
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/linux_memory_hook.h"
#include "platform/linux_win32.h"

namespace {

struct alignas(16) BlockHeader {
    size_t size;         // bytes the caller asked for
    size_t mappedBytes;  // length of the block's own mapping; 0 for a malloc block
};

// Blocks from this size up get a mapping of their own: the size of a huge page.
constexpr size_t HugePageBytes = size_t{2} << 20;
constexpr size_t MappedBlockThreshold = HugePageBytes;

int processHeapMarker;
std::atomic<uint64_t> liveHeapBytes{0};
std::atomic<uint64_t> peakHeapBytes{0};

BlockHeader* HeaderOf(void* memory) { return static_cast<BlockHeader*>(memory) - 1; }

size_t PageSize() {
    static const size_t pageSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return pageSize;
}

// The mapping length for a block of `bytes` in whole units of `granularity`,
// or 0 when it would overflow.
size_t MappingLength(size_t bytes, size_t granularity) {
    const size_t total = sizeof(BlockHeader) + bytes;
    if (total > SIZE_MAX - granularity) return 0;
    return (total + granularity - 1) / granularity * granularity;
}

// A new or growing block is mapped in whole huge pages, which the system
// places on a huge-page boundary; the room past the bytes is never touched,
// and a shrink gives it back down to the small page.
BlockHeader* MapBlock(size_t bytes) {
    const size_t length = MappingLength(bytes, HugePageBytes);
    if (length == 0) return nullptr;
    void* mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    // Only a hint: without transparent huge pages the block is simply made of small ones.
    madvise(mapped, length, MADV_HUGEPAGE);
    auto* header = static_cast<BlockHeader*>(mapped);
    header->mappedBytes = length;
    return header;
}

void CountLive(size_t added, size_t removed) {
    if (added < removed) {
        liveHeapBytes.fetch_sub(removed - added, std::memory_order_relaxed);
        return;
    }
    const uint64_t live = liveHeapBytes.fetch_add(added - removed, std::memory_order_relaxed) + (added - removed);
    uint64_t peak = peakHeapBytes.load(std::memory_order_relaxed);
    while (live > peak && !peakHeapBytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
    }
}

// Resizes a mapped block; new bytes of fresh pages are zero already, so only
// the tail of the old last page, which may hold bytes of a larger past size,
// needs clearing.
BlockHeader* RemapBlock(BlockHeader* header, size_t bytes, bool inPlaceOnly, bool zeroFill) {
    const size_t oldSize = header->size;
    const size_t oldLength = header->mappedBytes;
    size_t length = MappingLength(bytes, bytes > oldSize ? HugePageBytes : PageSize());
    if (length == 0) return nullptr;
    // Growing within the mapping needs no new one.
    if (bytes > oldSize && sizeof(BlockHeader) + bytes <= oldLength) length = oldLength;
    if (length != oldLength) {
        void* moved = mremap(header, oldLength, length, inPlaceOnly ? 0 : MREMAP_MAYMOVE);
        if (moved == MAP_FAILED) return nullptr;
        header = static_cast<BlockHeader*>(moved);
        header->mappedBytes = length;
        if (length > oldLength) madvise(header, length, MADV_HUGEPAGE);
    }
    if (zeroFill && bytes > oldSize) {
        const size_t oldEnd = sizeof(BlockHeader) + oldSize;
        const size_t dirtyEnd = oldLength < sizeof(BlockHeader) + bytes ? oldLength : sizeof(BlockHeader) + bytes;
        if (dirtyEnd > oldEnd) std::memset(reinterpret_cast<char*>(header) + oldEnd, 0, dirtyEnd - oldEnd);
    }
    return header;
}

// Resizes a malloc block, moving it to a mapping of its own once it is large.
BlockHeader* ResizeMallocBlock(BlockHeader* header, size_t bytes, bool inPlaceOnly, bool zeroFill) {
    const size_t oldSize = header->size;
    if (inPlaceOnly) {
        // realloc shrinks in place; growing in place is not something it promises.
        if (bytes > oldSize) return nullptr;
        return static_cast<BlockHeader*>(std::realloc(header, sizeof(BlockHeader) + bytes));
    }
    if (bytes >= MappedBlockThreshold) {
        BlockHeader* mapped = MapBlock(bytes);
        if (mapped == nullptr) return nullptr;
        std::memcpy(mapped + 1, header + 1, oldSize < bytes ? oldSize : bytes);
        std::free(header);
        return mapped;
    }
    auto* resized = static_cast<BlockHeader*>(std::realloc(header, sizeof(BlockHeader) + bytes));
    if (resized == nullptr) return nullptr;
    resized->mappedBytes = 0;
    if (zeroFill && bytes > oldSize) std::memset(reinterpret_cast<char*>(resized + 1) + oldSize, 0, bytes - oldSize);
    return resized;
}

}  // namespace

AllocationHook allocationHook = nullptr;

uint64_t LiveHeapBytes() { return liveHeapBytes.load(std::memory_order_relaxed); }

uint64_t PeakHeapBytes() { return peakHeapBytes.load(std::memory_order_relaxed); }

void ResetPeakHeapBytes() { peakHeapBytes.store(LiveHeapBytes(), std::memory_order_relaxed); }

HANDLE GetProcessHeap() { return &processHeapMarker; }

LPVOID HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes) {
    if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    if (allocationHook != nullptr && !allocationHook(bytes)) return nullptr;
    BlockHeader* header = nullptr;
    if (bytes >= MappedBlockThreshold) {
        header = MapBlock(bytes);
    } else {
        header = static_cast<BlockHeader*>((flags & HEAP_ZERO_MEMORY) != 0 ? std::calloc(1, sizeof(BlockHeader) + bytes)
                                                                           : std::malloc(sizeof(BlockHeader) + bytes));
        if (header != nullptr) header->mappedBytes = 0;
    }
    if (header == nullptr) return nullptr;
    header->size = bytes;
    CountLive(bytes, 0);
    return header + 1;
}

LPVOID HeapReAlloc(HANDLE, DWORD flags, LPVOID memory, SIZE_T bytes) {
    if (memory == nullptr || bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    if (allocationHook != nullptr && !allocationHook(bytes)) return nullptr;
    BlockHeader* header = HeaderOf(memory);
    const size_t oldSize = header->size;
    const bool inPlaceOnly = (flags & HEAP_REALLOC_IN_PLACE_ONLY) != 0;
    const bool zeroFill = (flags & HEAP_ZERO_MEMORY) != 0;
    // On failure the original block stays valid, as on Windows.
    BlockHeader* resized = header->mappedBytes != 0 ? RemapBlock(header, bytes, inPlaceOnly, zeroFill)
                                                    : ResizeMallocBlock(header, bytes, inPlaceOnly, zeroFill);
    if (resized == nullptr) return nullptr;
    resized->size = bytes;
    CountLive(bytes, oldSize);
    return resized + 1;
}

SIZE_T HeapSize(HANDLE, DWORD, LPCVOID memory) {
    if (memory == nullptr) return static_cast<SIZE_T>(-1);
    return (static_cast<const BlockHeader*>(memory) - 1)->size;
}

BOOL HeapFree(HANDLE, DWORD, LPVOID memory) {
    if (memory == nullptr) return TRUE;
    BlockHeader* header = HeaderOf(memory);
    CountLive(0, header->size);
    if (header->mappedBytes != 0) munmap(header, header->mappedBytes);
    else std::free(header);
    return TRUE;
}

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    if (allocationHook != nullptr && !allocationHook(bytes)) return nullptr;
    return (flags & LMEM_ZEROINIT) != 0 ? std::calloc(1, bytes == 0 ? 1 : bytes) : std::malloc(bytes == 0 ? 1 : bytes);
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}
