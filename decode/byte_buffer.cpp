#include "decode/byte_buffer.h"

#include <cstring>

#include "decode/results.h"
#include "platform/win32.h"

namespace {

// Slack below this is not worth a call to the heap.
constexpr uint64_t SlackWorthGivingBack = 64;

}  // namespace

void ByteBuffer::Release() {
    if (begin != nullptr && ownsMemory) HeapFree(GetProcessHeap(), 0, begin);
    begin = cursor = end = nullptr;
    ownsMemory = false;
}

uint32_t ByteBuffer::Attach(const uint8_t* first, const uint8_t* last, bool copy) {
    Release();
    if (!copy) {
        begin = cursor = const_cast<uint8_t*>(first);
        end = const_cast<uint8_t*>(last);
        return ResultOk;
    }
    const uint64_t length = static_cast<uint64_t>(last - first);
    const uint32_t result = Reserve(length);
    if (result != ResultOk) return result;
    if (length != 0) std::memcpy(begin, first, length);
    return ResultOk;
}

uint32_t ByteBuffer::Reserve(uint64_t n) {
    if (begin != nullptr && !ownsMemory) return ResultInvalidParameter;
    const uint64_t cursorOffset = begin != nullptr ? static_cast<uint64_t>(cursor - begin) : 0;
    const uint64_t capacity = n < 1 ? 1 : n;
    if (capacity > SIZE_MAX) {
        Release();
        return ResultOutOfMemory;
    }
    void* block = begin == nullptr
                      ? HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(capacity))
                      : HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, begin, static_cast<SIZE_T>(capacity));
    if (block == nullptr) {
        Release();
        return ResultOutOfMemory;
    }
    begin = static_cast<uint8_t*>(block);
    ownsMemory = true;
    cursor = begin + cursorOffset;
    end = begin + capacity;
    return ResultOk;
}

void ByteBuffer::GiveBackSlack() {
    if (begin == nullptr || !ownsMemory) return;
    const SIZE_T capacity = HeapSize(GetProcessHeap(), 0, begin);
    const uint64_t size = Size() < 1 ? 1 : Size();
    if (capacity == static_cast<SIZE_T>(-1) || capacity < size || capacity - size < SlackWorthGivingBack) return;
    void* block = HeapReAlloc(GetProcessHeap(), HEAP_REALLOC_IN_PLACE_ONLY, begin, static_cast<SIZE_T>(size));
    // Refused, the block simply keeps its slack.
    if (block == nullptr) return;
    const uint64_t cursorOffset = static_cast<uint64_t>(cursor - begin);
    const uint64_t length = Size();
    begin = static_cast<uint8_t*>(block);
    cursor = begin + cursorOffset;
    end = begin + length;
}

uint32_t ByteBuffer::Append(const void* source, uint64_t n) {
    const uint64_t room = static_cast<uint64_t>(end - cursor);
    if (n > room) {
        const uint64_t capacity = static_cast<uint64_t>(end - begin);
        // Checked so that a huge request fails with 8 instead of wrapping around.
        if (n > UINT64_MAX - capacity) return ResultOutOfMemory;
        const uint64_t doubled = capacity > UINT64_MAX / 2 ? UINT64_MAX : capacity * 2;
        const uint64_t needed = capacity + n;
        const uint32_t result = Reserve(doubled > needed ? doubled : needed);
        if (result != ResultOk) return result;
    }
    if (n != 0) std::memcpy(cursor, source, static_cast<size_t>(n));
    cursor += n;
    return ResultOk;
}

uint8_t* ByteBuffer::ReadLine(char* destination, uint64_t capacity) {
    uint8_t* lineStart = cursor;
    if (cursor == nullptr || cursor >= end) return nullptr;
    uint8_t* p = cursor;
    uint8_t* after = nullptr;
    while (p < end) {
        const uint64_t remaining = static_cast<uint64_t>(end - p);
        if (remaining >= 2 && p[0] == '<' && p[1] == '<') {
            after = p;
            break;
        }
        if (remaining >= 2 && p[0] == '\r' && p[1] == '\n') {
            after = p + 2;
            break;
        }
        if (p[0] == '\n' || p[0] == '\r') {
            after = p + 1;
            break;
        }
        ++p;
        cursor = p;
    }
    if (after == nullptr) {
        cursor = end;
        return nullptr;
    }
    if (destination != nullptr && capacity != 0) {
        const uint64_t length = static_cast<uint64_t>(p - lineStart);
        if (length + 1 > capacity) {
            cursor = nullptr;
            return nullptr;
        }
        std::memcpy(destination, lineStart, static_cast<size_t>(length));
        destination[length] = '\0';
    }
    cursor = after;
    return after;
}
