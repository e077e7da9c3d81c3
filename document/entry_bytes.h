// The decoded bytes of one entry for one extraction. An entry that keeps its
// bytes lends them; any other is decoded again, or taken from the entries the
// previous extraction decoded ahead. Hosts extract in listing order, so while
// the caller writes this entry out, helper threads decode the next entries
// whose bytes are not kept; they are joined before the extraction returns.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "decode/byte_buffer.h"
#include "document/archive.h"

// Entries one extraction's helpers decode ahead, per decode thread, and the
// bytes they may hold in all: the margin of memory over the budget.
constexpr size_t ReadAheadEntriesPerThread = 16;
constexpr uint64_t ReadAheadBytes = uint64_t{32} << 20;

// Lock held for the whole life of the object.
class EntryBytes {
public:
    EntryBytes(PdfArchive& archive, StreamEntry& entry);
    // Joins the helpers (helping them finish), queues what they decoded and
    // releases this entry's bytes if they were decoded for it.
    ~EntryBytes();
    EntryBytes(const EntryBytes&) = delete;
    EntryBytes& operator=(const EntryBytes&) = delete;

    // 0, or 8 when memory ran out for the bytes.
    uint32_t Result() const { return result_; }
    // The entry's decoded bytes (begin to end) when Result() is 0.
    const ByteBuffer& Bytes() const { return bytes_; }

private:
    void StartReadAhead(StreamEntry& entry);
    // Decodes slots of ahead_ until none is left; run by every helper and by the caller.
    void Help() noexcept;
    void FinishReadAhead();

    PdfArchive& archive_;
    ByteBuffer bytes_;                    // a view of kept bytes, or a block decoded for this extraction
    uint32_t result_ = 0;
    std::vector<DecodedAhead> ahead_;     // entries being decoded ahead, in list order
    std::vector<std::thread> helpers_;
    std::atomic<size_t> nextAhead_{0};    // next slot of ahead_ to decode
};

// Decodes the entry's bytes again into `bytes` (empty when called). Returns 0,
// 8 when memory ran out, or the decoder's number should the stream not give
// the listed bytes again.
uint32_t DecodeEntryAgain(const StreamEntry& entry, ByteBuffer& bytes);
