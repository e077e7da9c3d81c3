#include "document/kept_bytes.h"

#include <new>

#include "document/sinks.h"

namespace {

Status TakeKept(Sink& sink, const uint8_t*, size_t, bool ending) {
    auto& keep = *static_cast<KeepSink*>(sink.owner);
    if (!keep.outgrown && static_cast<uint64_t>(sink.room - keep.start) > KeptEntryLimit) {
        // Past the limit the entry is decoded again at extraction: its place goes back.
        keep.outgrown = true;
    }
    if (ending) return Status::Ok;
    if (keep.outgrown) {
        sink.room = keep.scratch;
        sink.roomLeft = SinkWindowBytes;
        return Status::Ok;
    }
    // One byte of room past the limit tells an entry of exactly the limit
    // from a bigger one.
    const uint64_t left = KeptEntryLimit + 1 - static_cast<uint64_t>(sink.room - keep.start);
    const uint64_t inBlock = static_cast<uint64_t>(keep.slab->end - sink.room);
    sink.roomLeft = static_cast<size_t>(left < inBlock ? left : inBlock);
    return Status::Ok;
}

}  // namespace

bool ReadySlab(Archive& archive, KeptSlab& slab, uint64_t bytes) {
    if (slab.next != nullptr && static_cast<uint64_t>(slab.end - slab.next) >= bytes) return true;
    if (slab.next != nullptr) RetireSlab(archive, slab);
    try {
        archive.keptBlocks.emplace_back();
    } catch (const std::bad_alloc&) {
        return false;
    }
    HeapBlock& block = archive.keptBlocks.back();
    if (!block.Allocate(KeptBlockBytes)) {
        archive.keptBlocks.pop_back();
        return false;
    }
    slab = KeptSlab{block.Data(), block.Data() + block.Size(), archive.keptBlocks.size() - 1};
    return true;
}

void RetireSlab(Archive& archive, KeptSlab& slab) {
    if (slab.next == nullptr) return;
    HeapBlock& block = archive.keptBlocks[slab.block];
    const uint64_t used = static_cast<uint64_t>(slab.next - block.Data());
    if (used == 0) {
        block.Free();
    } else {
        block.ShrinkInPlace(used);
    }
    slab = KeptSlab{};
}

void StartKeepSink(KeepSink& keep, KeptSlab& slab, uint8_t* scratch) {
    keep.slab = &slab;
    keep.start = slab.next;
    keep.scratch = scratch;
    keep.outgrown = false;
    keep.sink = Sink{slab.next, 0, TakeKept, &keep};
}

const uint8_t* FinishKeepSink(KeepSink& keep, bool succeeded) {
    if (!succeeded || keep.outgrown) return nullptr;
    keep.slab->next = keep.sink.room;
    return keep.start;
}
