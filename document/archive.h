// Archive: an opened document and its entries. It owns the document's body
// (read once at the open), one table of entries in listing order, the blocks
// that small decoded entries are kept in, and what the last extraction
// decoded ahead. Locks, references and host callbacks belong to the handle
// that plugin/ wraps around it; an Archive is used by one call at a time.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "decode/content_kind.h"
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
constexpr uint8_t EntryKept = 1u << 0;              // keptBytes holds the decoded bytes
constexpr uint8_t EntryFaxRowsRewritten = 1u << 1;  // a fax entry whose rows got end-of-line codes
constexpr uint8_t EntryImage = 1u << 2;             // the viewable mode writes it as an image; its plan is
                                                    // in the viewable state's table
constexpr uint8_t EntryFaxHeaderless = 1u << 3;     // a fax entry too long for a TIFF: its data as stored

// One listed entry: a row of the archive's table.
struct EntryRow {
    const uint8_t* storedBegin;    // the stream's stored bytes, inside the body
    uint64_t storedLength;
    const char* dictionary;        // the object's dictionary text, inside the body
    uint64_t dictionaryLength;
    uint64_t decodedSize;          // bytes an extraction gives
    const uint8_t* keptBytes;      // with EntryKept: the decoded bytes (the stored ones when
                                   // decoding leaves them alone); else null
    uint32_t objectNumber;         // from the object's header line
    uint32_t generation;           // likewise; part of the key of an encrypted stream
    ContentKind kind;              // names the entry's extension
    uint8_t flags;                 // EntryKept, EntryFaxRowsRewritten, EntryImage, EntryFaxHeaderless
};

// An entry decoded ahead of its extraction while an earlier one was written.
struct DecodedAhead {
    uint32_t row;                  // the entry's row
    HeapBlock bytes;               // its decoded bytes, exactly decodedSize of them
};

struct Archive {
    HeapBlock body;                     // the document from its first line's end to "%%EOF"
    uint64_t bodyOffset = 0;            // where the body starts in the file
    ScanState scan;                     // the scan over body
    FILETIME lastWriteTime{};           // the file's, when it was opened
    DecodeSettings settings;            // as the open found them
    Security security;                  // how the document is encrypted, if it is
    std::vector<EntryRow> entries;      // every entry, in listing order
    std::vector<uint32_t> rowsByNumber; // rows sorted by object number, then listing order
    uint32_t handedOut = 0;             // entries the header calls gave so far
    int64_t currentRow = -1;            // the entry whose header was read last, until extracted; -1 none
    std::vector<HeapBlock> keptBlocks;  // the blocks kept entries' bytes live in
    uint64_t keptBytes = 0;             // decoded bytes the entries keep there
    BudgetShare budget;                 // the share of the process's budget the archive holds
    uint64_t entriesNotKept = 0;        // entries decoded again at each extraction
    std::deque<DecodedAhead> decodedAhead;  // entries decoded ahead, in listing order
    std::unique_ptr<ViewableState> viewable;  // in the viewable mode only
};

// The entry's dictionary and stored bytes as views.
inline DictionaryText EntryDictionary(const EntryRow& row) {
    return DictionaryText(row.dictionary, static_cast<size_t>(row.dictionaryLength));
}

// Sorts the rows by number once every entry is made. Without memory for the
// index, lookups walk the table instead.
void IndexEntriesByNumber(Archive& archive);
// The row after the last one handed out, now handed out itself and found by
// its number from then on; -1 at the end of the table.
int64_t HandOutNextEntry(Archive& archive);
// The first handed-out row with this object number, or -1.
int64_t FindListedEntry(const Archive& archive, uint32_t objectNumber);
