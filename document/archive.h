// Archive: an opened document and its entries. It owns the document's body
// (read once at the open), one table of entries in listing order, the blocks
// that small decoded entries are kept in, the entries decoded ahead of their
// extraction, and the pool that makes the entries. Locks, references and host
// callbacks belong to the handle that plugin/ wraps around it; the host's
// calls on an Archive come one at a time, while the pool's threads add rows
// to its table beside them (see decode_pool.h).
#pragma once

#include <utility>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "decode/content_kind.h"
#include "decode/status.h"
#include "document/budget.h"
#include "document/object_index.h"
#include "document/security.h"
#include "document/viewable_state.h"
#include "platform/heap_block.h"
#include "platform/win32.h"
#include "syntax/dictionary.h"

// How an open decodes, and what it may keep: set from the environment.
struct DecodeSettings {
    uint32_t threads = 1;             // threads that decode, the calling one included
    uint64_t keptBytesBudget = 0;     // decoded bytes the archive may keep in memory
    bool viewable = false;            // the viewable mode: images as PNG or TIFF, content named by kind
    bool holdAhead = true;            // entries not kept are held ahead of their extraction
};

// What the scan remembers between its requests so that listing stays one
// pass: each is a fact about the body, true whatever position a later search
// starts from inside the range it covers.
struct ScanMemo {
    const uint8_t* searchedFrom = nullptr;   // no "endstream" in [searchedFrom, endstreamAt)
    const uint8_t* endstreamAt = nullptr;    // first "endstream" at or after searchedFrom; null: none
    const uint8_t* lineEndsFrom = nullptr;   // [lineEndsFrom, lineEndsTo) holds only CR and LF,
    const uint8_t* lineEndsTo = nullptr;     // and lineEndsTo is neither
};

struct ScanReport;

// Where the scan stands in the body (StartScan in document/scanner.h sets it up).
struct ScanState {
    const uint8_t* begin = nullptr;     // the body's first byte
    const uint8_t* position = nullptr;  // next byte to read
    const uint8_t* end = nullptr;       // one past the body's last byte
    ScanMemo memo;
    ObjectIndex objects;                // the body's objects by number, for indirect lengths
    ScanReport* report = nullptr;       // where to tell what the scan could not take
                                        // whole; null: nowhere
};

// Entry flags.
constexpr uint8_t EntryFaxRowsRewritten = 1u << 1;  // a fax entry whose rows got end-of-line codes
constexpr uint8_t EntryImage = 1u << 2;             // the viewable mode writes it as an image; its plan is
                                                    // in the viewable state's table
constexpr uint8_t EntryFaxHeaderless = 1u << 3;     // a fax entry too long for a TIFF: its data as stored

// One listed entry: a row of the archive's table. Every field but the two
// that say whether its bytes are kept is fixed once the row is filed; those
// two change only under the archive's tableLock.
struct EntryRow {
    const uint8_t* storedBegin;    // the stream's stored bytes, inside the body
    uint64_t storedLength;
    const char* dictionary;        // the object's dictionary text, inside the body
    uint64_t dictionaryLength;
    uint64_t decodedSize;          // bytes an extraction gives
    const uint8_t* keptBytes;      // when kept: the decoded bytes (the stored ones when
                                   // decoding leaves them alone); else null
    uint32_t objectNumber;         // from the object's header line
    uint32_t generation;           // likewise; part of the key of an encrypted stream
    ContentKind kind;              // names the entry's extension
    uint8_t flags;                 // EntryFaxRowsRewritten, EntryImage, EntryFaxHeaderless
    bool kept;                     // keptBytes holds the decoded bytes
    uint32_t keptBlock;            // when kept in one: the block of keptBytes
};

// A block kept entries' bytes live in. Once every entry kept in it has been
// passed by the host and no thread fills it any more, it is reused.
struct KeptBlock {
    HeapBlock bytes;
    uint32_t entries = 0;          // entries kept (or being filed) in it, not yet passed
    bool filling = true;           // a thread's slab writes into it
};

// What one entry costs the archive beside the body: its row, the table's
// bookkeeping of it, and its place in the index by number. The memory bound
// hosts are told names it, so a row that grows must say so there.
constexpr uint64_t EntryCostBytes = 72;
static_assert(sizeof(EntryRow) + sizeof(uint32_t) + sizeof(void*) / 2 <= EntryCostBytes,
              "an entry costs more than the stated bound allows");

// Where entries' bytes wait, decoded ahead of their extraction: one block of
// chunks, made when first needed and reused for every entry after, and the
// links that chain each entry's chunks and the free ones. Its lock is only
// ever taken last.
constexpr size_t AheadChunkBytes = 64 * 1024;
constexpr uint32_t AheadChunkCount = 256;
constexpr uint32_t NoChunk = UINT32_MAX;
struct AheadChunks {
    std::mutex lock;              // guards freeHead, the free chunks' links and the making
    HeapBlock block;              // AheadChunkCount chunks; empty until first needed
    std::vector<uint32_t> links;  // per chunk: the next one of its chain, or NoChunk
    uint32_t freeHead = NoChunk;  // the first free chunk
    uint32_t freeCount = 0;       // free chunks
    bool unavailable = false;     // the block could not be had: nothing is held ahead
};

// An entry's decoded bytes, held ahead: a chain of chunks, each full but the
// last. Gives its chunks back when it goes (decoded_ahead.cpp).
class DecodedAhead {
public:
    DecodedAhead() = default;
    ~DecodedAhead() { Release(); }
    DecodedAhead(DecodedAhead&& other) noexcept { *this = std::move(other); }
    DecodedAhead& operator=(DecodedAhead&& other) noexcept;
    DecodedAhead(const DecodedAhead&) = delete;
    DecodedAhead& operator=(const DecodedAhead&) = delete;

    uint32_t row = 0;                 // the entry's row, once filed
    AheadChunks* chunks = nullptr;    // the chunks' owner, once one is taken
    uint32_t first = NoChunk;         // the chain's first chunk
    uint32_t last = NoChunk;          // and its last
    uint32_t count = 0;               // chunks in the chain

    // Gives every chunk back.
    void Release();
};

struct DecodePool;
// Stops the pool and joins its threads before it goes.
struct DecodePoolStopper {
    void operator()(DecodePool* pool) const;
};

struct Archive {
    HeapBlock body;                     // the document from its first line's end to "%%EOF"
    uint64_t bodyOffset = 0;            // where the body starts in the file
    ScanState scan;                     // the scan over body
    FILETIME lastWriteTime{};           // the file's, when it was opened
    DecodeSettings settings;            // as the open found them
    Security security;                  // how the document is encrypted, if it is
    std::vector<uint32_t> rowsByNumber; // rows sorted by object number, then listing order
    uint32_t handedOut = 0;             // entries the header calls gave so far
    int64_t currentRow = -1;            // the entry whose header was read last, until extracted; -1 none

    // Guards what the pool changes while the host's calls read it: the
    // table's growth, the kept bytes, the entries decoded ahead and the scan.
    std::mutex tableLock;
    std::deque<EntryRow> entries;       // every entry made so far, in listing order; rows never move
    bool tableEnded = false;            // no more rows come
    Status tableStatus = Status::End;   // once ended: End when complete, else why it could not go on
    std::vector<KeptBlock> keptBlocks;  // the blocks kept entries' bytes live in
    std::vector<uint32_t> spareKeptBlocks;  // blocks free for reuse, whole
    uint32_t rowsPassed = 0;            // rows before this one were passed by the host
    uint64_t keptBytes = 0;             // decoded bytes the entries keep there
    uint64_t keptAhead = 0;             // of those, the bytes of entries the host has not passed
    uint32_t keptReaders = 0;           // host calls reading kept bytes now; none given up meanwhile
    BudgetShare budget;                 // the share of the process's budget the archive holds
    uint64_t entriesNotKept = 0;        // entries decoded again at each extraction
    AheadChunks aheadChunks;                // where the entries decoded ahead are held
    std::deque<DecodedAhead> decodedAhead;  // entries decoded ahead, in listing order
    uint64_t queuedAheadChunks = 0;     // the chunks those entries hold
    std::unique_ptr<ViewableState> viewable;  // in the viewable mode only

    // Last, so that it stops first: its threads use everything above.
    std::unique_ptr<DecodePool, DecodePoolStopper> pool;
};

// The entry's dictionary and stored bytes as views.
inline DictionaryText EntryDictionary(const EntryRow& row) {
    return DictionaryText(row.dictionary, static_cast<size_t>(row.dictionaryLength));
}

// The row, filed already. Its fixed fields may be read without the lock.
const EntryRow& RowAt(Archive& archive, uint32_t row);
// The first handed-out row with this object number, or -1. Once the table
// has ended, the rows are indexed by number (without memory for the index,
// lookups walk the table instead).
int64_t FindListedEntry(Archive& archive, uint32_t objectNumber);

// A host call's hold on an entry's kept bytes: while any is held, the pool
// does not give kept bytes up to find memory.
class KeptBytesHold {
public:
    KeptBytesHold(Archive& archive, uint32_t row);
    ~KeptBytesHold();
    KeptBytesHold(const KeptBytesHold&) = delete;
    KeptBytesHold& operator=(const KeptBytesHold&) = delete;

    // Whether the entry keeps its bytes, and where they are.
    bool Kept() const { return kept_; }
    const uint8_t* Bytes() const { return bytes_; }

private:
    Archive& archive_;
    bool kept_ = false;
    const uint8_t* bytes_ = nullptr;
};
