#include "document/decoded_ahead.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// How far behind the first queued entry an extraction may go and still
// leave the queue alone, in queued entries.
constexpr size_t NearStepsPerQueued = 4;

// Makes the chunks, all free. Chunks' lock held.
bool MakeChunks(AheadChunks& chunks) {
    if (chunks.unavailable) return false;
    try {
        chunks.links.resize(AheadChunkCount);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!chunks.block.Allocate(DecodeAheadBytes)) {
        chunks.links.clear();
        return false;
    }
    for (uint32_t i = 0; i < AheadChunkCount; ++i) chunks.links[i] = i + 1 < AheadChunkCount ? i + 1 : NoChunk;
    chunks.freeHead = 0;
    chunks.freeCount = AheadChunkCount;
    return true;
}

}  // namespace

DecodedAhead& DecodedAhead::operator=(DecodedAhead&& other) noexcept {
    if (this != &other) {
        Release();
        row = other.row;
        chunks = std::exchange(other.chunks, nullptr);
        first = std::exchange(other.first, NoChunk);
        last = std::exchange(other.last, NoChunk);
        count = std::exchange(other.count, 0);
    }
    return *this;
}

void DecodedAhead::Release() {
    if (count != 0) {
        std::lock_guard<std::mutex> held(chunks->lock);
        chunks->links[last] = chunks->freeHead;
        chunks->freeHead = first;
        chunks->freeCount += count;
    }
    first = last = NoChunk;
    count = 0;
}

bool AddAheadChunk(Archive& archive, DecodedAhead& ahead) {
    AheadChunks& chunks = archive.aheadChunks;
    std::lock_guard<std::mutex> held(chunks.lock);
    if (chunks.block.Data() == nullptr && !MakeChunks(chunks)) {
        // Tried once: an archive short of memory holds nothing ahead.
        chunks.unavailable = true;
        return false;
    }
    const uint32_t chunk = chunks.freeHead;
    if (chunk == NoChunk) return false;
    chunks.freeHead = chunks.links[chunk];
    chunks.links[chunk] = NoChunk;
    --chunks.freeCount;
    if (ahead.count == 0) {
        ahead.chunks = &chunks;
        ahead.first = chunk;
    } else {
        chunks.links[ahead.last] = chunk;
    }
    ahead.last = chunk;
    ++ahead.count;
    return true;
}

uint8_t* AheadChunk(Archive& archive, uint32_t chunk) {
    return archive.aheadChunks.block.Data() + uint64_t{chunk} * AheadChunkBytes;
}

uint32_t NextAheadChunk(const Archive& archive, uint32_t chunk) {
    // A chain's links change only while its owner grows it, so its reader needs no lock.
    return archive.aheadChunks.links[chunk];
}

uint64_t FreeAheadBytes(Archive& archive) {
    AheadChunks& chunks = archive.aheadChunks;
    std::lock_guard<std::mutex> held(chunks.lock);
    if (chunks.unavailable) return 0;
    if (chunks.block.Data() == nullptr) return DecodeAheadBytes;
    return uint64_t{chunks.freeCount} * AheadChunkBytes;
}

void QueueDecodedAhead(Archive& archive, DecodedAhead&& entry) {
    std::deque<DecodedAhead>& queue = archive.decodedAhead;
    // The pool queues in row order; an extraction's helpers may queue rows
    // before entries the pool queued meanwhile.
    const auto place = std::upper_bound(queue.begin(), queue.end(), entry.row,
                                        [](uint32_t row, const DecodedAhead& queued) { return row < queued.row; });
    const uint32_t count = entry.count;
    try {
        queue.insert(place, std::move(entry));
    } catch (const std::bad_alloc&) {
        // The entry goes with its bytes; its extraction decodes it again.
        return;
    }
    archive.queuedAheadChunks += count;
}

bool TakeDecodedAhead(Archive& archive, uint32_t row, DecodedAhead& taken) {
    std::deque<DecodedAhead>& queue = archive.decodedAhead;
    size_t found = 0;
    while (found < queue.size() && queue[found].row < row) ++found;
    if (found == queue.size() || queue[found].row != row) {
        const bool nearby = !queue.empty() && queue.front().row > row &&
                          queue.front().row - row <= queue.size() * NearStepsPerQueued;
        if (!nearby) DropDecodedAhead(archive);
        return false;
    }
    for (size_t i = 0; i <= found; ++i) archive.queuedAheadChunks -= queue[i].count;
    taken = std::move(queue[found]);
    queue.erase(queue.begin(), queue.begin() + static_cast<ptrdiff_t>(found) + 1);
    return true;
}

void PassOverDecodedAhead(Archive& archive, uint32_t row) {
    std::deque<DecodedAhead>& queue = archive.decodedAhead;
    while (!queue.empty() && queue.front().row < row) {
        archive.queuedAheadChunks -= queue.front().count;
        queue.pop_front();
    }
}

void DropDecodedAhead(Archive& archive) {
    archive.decodedAhead.clear();
    archive.queuedAheadChunks = 0;
}

Status WriteAhead(Archive& archive, FileSink& output, const DecodedAhead& ahead, uint64_t size) {
    for (uint32_t chunk = ahead.first; size != 0 && chunk != NoChunk; chunk = NextAheadChunk(archive, chunk)) {
        const uint64_t count = std::min<uint64_t>(size, AheadChunkBytes);
        const Status status = WriteToFile(output, AheadChunk(archive, chunk), count);
        if (status != Status::Ok) return status;
        size -= count;
    }
    return Status::Ok;
}

void CopyAhead(Archive& archive, const DecodedAhead& ahead, uint64_t size, uint8_t* block) {
    for (uint32_t chunk = ahead.first; size != 0 && chunk != NoChunk; chunk = NextAheadChunk(archive, chunk)) {
        const uint64_t count = std::min<uint64_t>(size, AheadChunkBytes);
        std::memcpy(block, AheadChunk(archive, chunk), static_cast<size_t>(count));
        block += count;
        size -= count;
    }
}
