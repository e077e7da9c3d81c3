// Process heap and local memory for Linux. Each heap block carries its size
// in a header, so that HeapReAlloc can zero-fill the bytes a block grows by,
// as HEAP_ZERO_MEMORY does on Windows, and HeapSize can answer.
//
// Large blocks are mappings of their own: they come zero-filled, grow and
// shrink with mremap without copying or touching pages, and go back to the
// system the moment they are freed, so decoded streams cost no more memory
// than their bytes, whichever thread made them.
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

// Blocks from this size up get a mapping of their own.
constexpr size_t MappedBlockThreshold = size_t{128} << 10;

int processHeapMarker;
std::atomic<uint64_t> liveHeapBytes{0};

BlockHeader* HeaderOf(void* memory) { return static_cast<BlockHeader*>(memory) - 1; }

size_t PageSize() {
    static const size_t pageSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return pageSize;
}

// The mapping length for a block of `bytes`, or 0 when it would overflow.
size_t MappingLength(size_t bytes) {
    const size_t total = sizeof(BlockHeader) + bytes;
    const size_t page = PageSize();
    if (total > SIZE_MAX - page) return 0;
    return (total + page - 1) / page * page;
}

BlockHeader* MapBlock(size_t bytes) {
    const size_t length = MappingLength(bytes);
    if (length == 0) return nullptr;
    void* mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    auto* header = static_cast<BlockHeader*>(mapped);
    header->mappedBytes = length;
    return header;
}

void CountLive(size_t added, size_t removed) {
    if (added >= removed) liveHeapBytes.fetch_add(added - removed, std::memory_order_relaxed);
    else liveHeapBytes.fetch_sub(removed - added, std::memory_order_relaxed);
}

// Resizes a mapped block; new bytes of fresh pages are zero already, so only
// the tail of the old last page, which may hold bytes of a larger past size,
// needs clearing.
BlockHeader* RemapBlock(BlockHeader* header, size_t bytes, bool inPlaceOnly, bool zeroFill) {
    const size_t oldSize = header->size;
    const size_t oldLength = header->mappedBytes;
    const size_t length = MappingLength(bytes);
    if (length == 0) return nullptr;
    if (length != oldLength) {
        void* moved = mremap(header, oldLength, length, inPlaceOnly ? 0 : MREMAP_MAYMOVE);
        if (moved == MAP_FAILED) return nullptr;
        header = static_cast<BlockHeader*>(moved);
        header->mappedBytes = length;
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
