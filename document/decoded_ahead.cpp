#include "document/decoded_ahead.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// How far behind the first queued entry an extraction may go and still
// leave the queue alone, in queued entries.
constexpr size_t NearStepsPerQueued = 4;

}  // namespace

bool ReserveAhead(Archive& archive, uint64_t bytes, AheadReservation& reservation) {
    uint64_t held = archive.aheadBytes.load();
    do {
        if (bytes > DecodeAheadBytes || held > DecodeAheadBytes - bytes) return false;
    } while (!archive.aheadBytes.compare_exchange_weak(held, held + bytes));
    AheadReservation added(archive.aheadBytes, bytes);
    reservation.Absorb(added);
    return true;
}

bool AddAheadPiece(Archive& archive, std::vector<HeapBlock>& pieces, AheadReservation& reservation, uint64_t bytes) {
    AheadReservation piece;
    if (!ReserveAhead(archive, bytes, piece)) return false;
    try {
        pieces.emplace_back();
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!pieces.back().Allocate(bytes)) {
        pieces.pop_back();
        return false;
    }
    reservation.Absorb(piece);
    return true;
}

void QueueDecodedAhead(Archive& archive, DecodedAhead&& entry) {
    std::deque<DecodedAhead>& queue = archive.decodedAhead;
    // The pool queues in row order; an extraction's helpers may queue rows
    // before entries the pool queued meanwhile.
    const auto place = std::upper_bound(queue.begin(), queue.end(), entry.row,
                                        [](uint32_t row, const DecodedAhead& queued) { return row < queued.row; });
    try {
        queue.insert(place, std::move(entry));
    } catch (const std::bad_alloc&) {
        // The entry goes with its bytes; its extraction decodes it again.
    }
}

bool TakeDecodedAhead(Archive& archive, uint32_t row, DecodedAhead& taken) {
    std::deque<DecodedAhead>& queue = archive.decodedAhead;
    size_t found = 0;
    while (found < queue.size() && queue[found].row < row) ++found;
    if (found == queue.size() || queue[found].row != row) {
        const bool near = !queue.empty() && queue.front().row > row &&
                          queue.front().row - row <= queue.size() * NearStepsPerQueued;
        if (!near) DropDecodedAhead(archive);
        return false;
    }
    taken = std::move(queue[found]);
    queue.erase(queue.begin(), queue.begin() + static_cast<ptrdiff_t>(found) + 1);
    return true;
}

void PassOverDecodedAhead(Archive& archive, uint32_t row) {
    std::deque<DecodedAhead>& queue = archive.decodedAhead;
    while (!queue.empty() && queue.front().row < row) queue.pop_front();
}

void DropDecodedAhead(Archive& archive) { archive.decodedAhead.clear(); }

Status WritePieces(FileSink& output, const std::vector<HeapBlock>& pieces, uint64_t size) {
    for (const HeapBlock& piece : pieces) {
        if (size == 0) break;
        const uint64_t count = std::min(size, piece.Size());
        const Status status = WriteToFile(output, piece.Data(), count);
        if (status != Status::Ok) return status;
        size -= count;
    }
    return Status::Ok;
}

void CopyPieces(const std::vector<HeapBlock>& pieces, uint64_t size, uint8_t* block) {
    for (const HeapBlock& piece : pieces) {
        if (size == 0) break;
        const uint64_t count = std::min(size, piece.Size());
        std::memcpy(block, piece.Data(), static_cast<size_t>(count));
        block += count;
        size -= count;
    }
}
