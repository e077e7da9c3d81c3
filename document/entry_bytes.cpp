#include "document/entry_bytes.h"

#include <new>

#include "decode/filter_chain.h"
#include "decode/results.h"
#include "document/stream_decryption.h"

namespace {

// Releases every entry decoded ahead: the host went elsewhere, or memory is short.
void DropDecodedAhead(PdfArchive& archive) {
    for (DecodedAhead& ahead : archive.decodedAhead) ahead.bytes.Release();
    archive.decodedAhead.clear();
}

// Whether the first entry decoded ahead lies a little after this one: the
// host went back, to this entry or a nearby one, and will likely go on.
bool DecodedAheadIsNear(const PdfArchive& archive, const StreamEntry& entry, size_t steps) {
    const ListLink* node = entry.link.next;
    for (size_t i = 0; i < steps && node != &archive.entries; ++i, node = node->next) {
        if (node == &archive.decodedAhead.front().entry->link) return true;
    }
    return false;
}

// Takes the entry's bytes from those decoded ahead, letting go of the
// entries before it, which the host passed over. False when they are not
// there, or their decoding failed and must be tried again.
bool TakeDecodedAhead(PdfArchive& archive, const StreamEntry& entry, ByteBuffer& bytes) {
    std::deque<DecodedAhead>& queue = archive.decodedAhead;
    size_t found = 0;
    while (found < queue.size() && queue[found].entry != &entry) ++found;
    if (found == queue.size()) {
        if (!queue.empty() && !DecodedAheadIsNear(archive, entry, queue.size() * 4)) DropDecodedAhead(archive);
        return false;
    }
    for (size_t i = 0; i < found; ++i) queue[i].bytes.Release();
    ByteBuffer taken = TakeBuffer(queue[found].bytes);
    const uint32_t result = queue[found].result;
    queue.erase(queue.begin(), queue.begin() + static_cast<ptrdiff_t>(found) + 1);
    if (result != ResultOk) return false;
    bytes = taken;
    return true;
}

uint64_t BytesDecodedAhead(const PdfArchive& archive) {
    uint64_t total = 0;
    for (const DecodedAhead& ahead : archive.decodedAhead) total += ahead.entry->decodedSize;
    return total;
}

}  // namespace

uint32_t DecodeEntryAgain(const StreamEntry& entry, ByteBuffer& bytes) {
    DecodedStream decoded{};
    uint32_t result = ResultOk;
    try {
        result = DecodeStoredStream(entry.archive->security, entry.objectNumber, entry.generation, entry.rawBegin,
                                    entry.rawEnd, entry.dictionary, decoded);
    } catch (const std::bad_alloc&) {
        return ResultOutOfMemory;
    }
    if (result == ResultFlateStartFailed) return ResultOutOfMemory;
    if (result != ResultOk) return result;
    if (decoded.data.Size() != entry.decodedSize) {
        decoded.data.Release();
        return ResultInvalidData;
    }
    bytes = TakeBuffer(decoded.data);
    return ResultOk;
}

EntryBytes::EntryBytes(PdfArchive& archive, StreamEntry& entry) : archive_(archive) {
    if (entry.bytesKept) {
        bytes_.Attach(entry.data.begin, entry.data.end, false);
        StartReadAhead(entry);
        return;
    }
    const bool taken = TakeDecodedAhead(archive_, entry, bytes_);
    StartReadAhead(entry);
    if (taken) return;
    result_ = DecodeEntryAgain(entry, bytes_);
    if (result_ == ResultOutOfMemory && !archive_.decodedAhead.empty()) {
        // What was decoded ahead may be what is missing: give it up and try once more.
        DropDecodedAhead(archive_);
        result_ = DecodeEntryAgain(entry, bytes_);
    }
    if (result_ != ResultOk) result_ = ResultOutOfMemory;
}

EntryBytes::~EntryBytes() {
    FinishReadAhead();
    bytes_.Release();
}

void EntryBytes::StartReadAhead(StreamEntry& entry) {
    const uint32_t threads = archive_.settings.threads;
    if (threads <= 1 || archive_.entriesNotKept == 0) return;
    const size_t entriesLimit = ReadAheadEntriesPerThread * threads;
    std::deque<DecodedAhead>& queue = archive_.decodedAhead;
    // Half the entries still queued is enough to go on with.
    if (queue.size() >= entriesLimit / 2) return;
    uint64_t bytesAhead = BytesDecodedAhead(archive_);

    // On from the last entry decoded ahead, or from this one, over a bounded
    // stretch of the list: entries that keep their bytes need nothing.
    ListLink* node = queue.empty() ? entry.link.next : queue.back().entry->link.next;
    try {
        for (size_t walked = 0; node != &archive_.entries && walked < 4 * entriesLimit; node = node->next, ++walked) {
            StreamEntry* next = EntryFromLink(node);
            if (next->bytesKept) continue;
            if (queue.size() + ahead_.size() >= entriesLimit || bytesAhead + next->decodedSize > ReadAheadBytes) break;
            ahead_.push_back(DecodedAhead{next, ByteBuffer{}, ResultOk});
            bytesAhead += next->decodedSize;
        }
        if (ahead_.empty()) return;
        helpers_.reserve(threads - 1);
        for (uint32_t i = 1; i < threads && i < ahead_.size(); ++i) helpers_.emplace_back(&EntryBytes::Help, this);
    } catch (...) {
        // Fewer helpers, or none: the caller decodes what is left when it finishes.
    }
}

void EntryBytes::Help() noexcept {
    for (;;) {
        const size_t slot = nextAhead_.fetch_add(1);
        if (slot >= ahead_.size()) return;
        DecodedAhead& ahead = ahead_[slot];
        ahead.result = DecodeEntryAgain(*ahead.entry, ahead.bytes);
    }
}

void EntryBytes::FinishReadAhead() {
    Help();
    for (std::thread& helper : helpers_) helper.join();
    helpers_.clear();
    for (DecodedAhead& ahead : ahead_) {
        try {
            archive_.decodedAhead.push_back(ahead);
        } catch (const std::bad_alloc&) {
            ahead.bytes.Release();
        }
    }
    ahead_.clear();
}
