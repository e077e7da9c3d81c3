// Process heap and local memory for Linux. Each heap block carries its size
// in a header, so that HeapReAlloc can zero-fill the bytes a block grows by,
// as HEAP_ZERO_MEMORY does on Windows.
#include <cstdlib>
#include <cstring>

#include "platform/linux_memory_hook.h"
#include "platform/linux_win32.h"

namespace {

struct alignas(16) BlockHeader {
    size_t size;
};

int processHeapMarker;

BlockHeader* HeaderOf(void* memory) { return static_cast<BlockHeader*>(memory) - 1; }

}  // namespace

AllocationHook allocationHook = nullptr;

HANDLE GetProcessHeap() { return &processHeapMarker; }

LPVOID HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes) {
    if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    if (allocationHook != nullptr && !allocationHook(bytes)) return nullptr;
    auto* header = static_cast<BlockHeader*>((flags & HEAP_ZERO_MEMORY) != 0
                                                 ? std::calloc(1, sizeof(BlockHeader) + bytes)
                                                 : std::malloc(sizeof(BlockHeader) + bytes));
    if (header == nullptr) return nullptr;
    header->size = bytes;
    return header + 1;
}

LPVOID HeapReAlloc(HANDLE, DWORD flags, LPVOID memory, SIZE_T bytes) {
    if (memory == nullptr || bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    if (allocationHook != nullptr && !allocationHook(bytes)) return nullptr;
    const size_t oldSize = HeaderOf(memory)->size;
    // On failure the original block stays valid, as on Windows.
    auto* header = static_cast<BlockHeader*>(std::realloc(HeaderOf(memory), sizeof(BlockHeader) + bytes));
    if (header == nullptr) return nullptr;
    if ((flags & HEAP_ZERO_MEMORY) != 0 && bytes > oldSize) {
        std::memset(reinterpret_cast<char*>(header + 1) + oldSize, 0, bytes - oldSize);
    }
    header->size = bytes;
    return header + 1;
}

BOOL HeapFree(HANDLE, DWORD, LPVOID memory) {
    if (memory != nullptr) std::free(HeaderOf(memory));
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
