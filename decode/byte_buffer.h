// ByteBuffer: the one container for bytes. Empty (all null), a view of memory
// that belongs to someone else, or the owner of one zero-filled block of the
// process heap. Moved by copying its four fields and clearing the source.
//
// Results: 0 success, 8 out of memory, 87 the buffer is a view (see results.h).
#pragma once

#include <cstdint>

struct ByteBuffer {
    uint8_t* begin = nullptr;    // first byte covered; null when empty
    uint8_t* cursor = nullptr;   // next byte to read, or where the next byte is written
    uint8_t* end = nullptr;      // one past the last byte covered (capacity while filling)
    bool ownsMemory = false;     // true when begin is our own heap block

    // Frees an owned block and returns to the empty state. Cannot fail.
    void Release();
    // Covers [first, last). Without copy a view (cannot fail); with copy an
    // owned block of exactly that length (at least 1 byte), or 8.
    uint32_t Attach(const uint8_t* first, const uint8_t* last, bool copy);
    // Sets the capacity to exactly n bytes (at least 1), keeping the cursor's
    // offset and zero-filling new bytes. 87 on a view; 8 when the heap refuses,
    // which leaves the buffer empty.
    uint32_t Reserve(uint64_t n);
    // Shrinks an owned block in place to end at `end`, when the heap block
    // behind it is enough larger to be worth it. Cannot fail: a refused
    // shrink leaves the block as it was.
    void GiveBackSlack();
    // Copies n bytes to the cursor and advances it, growing to the larger of
    // twice the capacity and the capacity plus n when they do not fit.
    uint32_t Append(const void* source, uint64_t n);
    // Reads one line from the cursor. A line ends at CR LF, CR, LF, or before
    // "<<" (which is left unread). Returns the position after the line, or null:
    // nothing left (cursor unchanged), no line end (cursor at end), or a line
    // too long for the destination (cursor cleared to null).
    uint8_t* ReadLine(char* destination, uint64_t capacity);

    uint64_t Size() const { return static_cast<uint64_t>(end - begin); }
};

// Hands a buffer's contents to a new owner and leaves the source empty.
inline ByteBuffer TakeBuffer(ByteBuffer& source) {
    ByteBuffer taken = source;
    source = ByteBuffer{};
    return taken;
}

// Releases a buffer on every way out of a scope, exceptions included.
class ByteBufferGuard {
public:
    explicit ByteBufferGuard(ByteBuffer& buffer) : buffer_(buffer) {}
    ~ByteBufferGuard() { buffer_.Release(); }
    ByteBufferGuard(const ByteBufferGuard&) = delete;
    ByteBufferGuard& operator=(const ByteBufferGuard&) = delete;

private:
    ByteBuffer& buffer_;
};
