// PdfArchive, the object the host holds as its archive handle, and
// StreamEntry, one listed stream object. Both are reference counted under
// the archive's lock; the archive's list holds the only reference to a listed
// entry, and each listed entry holds one reference to its archive.
#pragma once

#include <cstdint>
#include <deque>
#include <string_view>
#include <vector>

#include "decode/byte_buffer.h"
#include "decode/status.h"
#include "syntax/dictionary.h"
#include "document/security.h"
#include "platform/win32.h"

// Two links of a circular, doubly linked list. prevLink addresses the previous
// node's next field. An empty head has next == &head and prevLink == &head.next.
struct ListLink {
    ListLink* next;
    ListLink** prevLink;
};

// "PDFMAGIC" read as a little-endian 64-bit number.
constexpr uint64_t PdfMagic = 0x434947414D464450ull;

struct StreamEntry;

// What the object scanner remembers between its requests so that listing stays
// one pass: each is a fact about the bytes of data, true whatever position a
// later search starts from inside the range it covers.
struct ScanMemo {
    const uint8_t* searchedFrom = nullptr;   // no "endstream" in [searchedFrom, endstreamAt)
    const uint8_t* endstreamAt = nullptr;    // first "endstream" at or after searchedFrom; null: none
    const uint8_t* lineEndsFrom = nullptr;   // [lineEndsFrom, lineEndsTo) holds only CR and LF,
    const uint8_t* lineEndsTo = nullptr;     // and lineEndsTo is neither
};

// How an open decodes, and what it keeps: set from the environment.
struct DecodeSettings {
    uint32_t threads;             // threads that decode, the calling one included
    uint64_t keptBytesBudget;     // decoded bytes kept in memory, charged in scan order
};

// An entry decoded ahead of its extraction, while an earlier one was written.
struct DecodedAhead {
    StreamEntry* entry;           // a listed entry whose bytes are not kept
    ByteBuffer bytes;             // its decoded bytes; empty when decoding failed
    uint32_t result;              // the decode's result number
};

// One entry of the archive's index by object number.
struct NumberedEntry {
    uint32_t objectNumber;
    StreamEntry* entry;           // null once the entry is destroyed
};

struct PdfArchive {
    ByteBuffer data;              // owned copy of the document body; cursor = scan position
    CRITICAL_SECTION lock;        // serialises every call on this archive
    ListLink entries;             // every StreamEntry made while opening, in the order found
    ListLink* lastHandedOut;      // link of the entry the last header call gave; &entries before the first
    uint64_t magic;               // PdfMagic while the object lives
    uint32_t dosDateTime;         // file's last-write time, local, packed DOS date and time
    int32_t refCount;             // 1 for the host's handle + 1 per listed entry + 1 per call in progress
    StreamEntry* currentEntry;    // set and cleared by the plug-in; cleared here if that entry is destroyed
    int64_t lastWriteUnixTime;    // file's last-write time, whole seconds since 1970 UTC
    std::vector<NumberedEntry> entriesByNumber;  // every entry made, by number, then in list order;
                                                 // empty when memory ran out for it
    uint32_t entryCount;          // entries made, each numbered in list order
    uint32_t handedOutCount;      // entries the header calls gave so far
    ScanMemo scanMemo;            // the scanner's memory of the bytes already searched
    DecodeSettings settings;      // as the open found them
    uint64_t keptBytes;           // decoded bytes the entries keep, at most settings.keptBytesBudget
    uint64_t entriesNotKept;      // entries decoded again at each extraction
    std::vector<ByteBuffer> keptBlocks;  // owned blocks that small kept entries are packed into;
                                         // cursor = the first free byte of each
    std::deque<DecodedAhead> decodedAhead;  // entries decoded by the last extraction's helpers, in list order
    Security security;            // the document's encryption and file key, found at the open
};

struct StreamEntry {
    ByteBuffer data;                          // decoded bytes, or a view into the archive's data
    PdfArchive* archive;                      // owning archive once linked; null before
    ListLink link;                            // node in the archive's entries
    const WCHAR* extension;                   // ".jpg" etc.; null until decoded
    const WCHAR* typeWord;                    // "stream" once decoded
    uint32_t objectNumber;                    // from the object's header line
    uint32_t filterCount;                     // steps of its filter chain
    uint32_t packedSize;                      // always 0
    int32_t refCount;                         // 1 at creation
    uint64_t decodedSize;                     // length of the decoded bytes
    const uint8_t* rawBegin;                  // the stream's stored bytes, inside the archive's data
    const uint8_t* rawEnd;
    DictionaryText dictionary;                // the object's dictionary, inside the archive's data
    bool bytesKept;                           // data holds the decoded bytes; else each extraction decodes them
    uint16_t generation;                      // the header line's generation, as far as a stream's key reads it
    uint32_t listIndex;                       // its place in the archive's list, from 0
};

// The entry whose link is `link`.
StreamEntry* EntryFromLink(ListLink* link);

// Small kept entries are packed into blocks of these sizes, each twice the
// last: many small blocks would each cost their heap slack, and their pages
// one fault at a time, where a large block takes few.
constexpr uint64_t FirstKeptBlockBytes = uint64_t{4} << 20;
constexpr uint64_t LargestKeptBlockBytes = uint64_t{64} << 20;
// Kept entries from this size up keep the block they were decoded into.
constexpr uint64_t PackedEntryLimit = uint64_t{1} << 20;

// Copies the bytes to the end of the archive's kept blocks and makes `view`
// (empty when called) cover the copy; false when no block has room and none
// can be had (then nothing changes).
bool PackKeptBytes(PdfArchive& archive, const ByteBuffer& bytes, ByteBuffer& view);
// Gives the unused end of the last kept block back; nothing more is packed after it.
void CloseKeptBlocks(PdfArchive& archive);
// Frees the kept blocks; the entries must no longer view them.
void ReleaseKeptBlocks(PdfArchive& archive);


// The outcome of opening a file: with checkOnly only `acceptable` is set;
// otherwise `archive` is the new archive (refCount 1), or null.
struct OpenOutcome {
    bool acceptable;
    PdfArchive* archive;
};

// Opens, maps and validates the file at `path`; the file and its mapping are
// closed again before returning, whatever the outcome.
OpenOutcome OpenPdfFile(const WCHAR* path, bool checkOnly);
// Finds the document's encryption in the archive's body and, when there is
// one, checks `password` (UTF-8; empty when none was given) and keeps the
// file key in archive.security, for the keys of its streams. Ok for a
// document that is not encrypted or whose key was found; NeedsPassword,
// Unsupported (the handler's name kept in archive.security.handler),
// InvalidData or OutOfMemory when it cannot be decrypted, and then nothing
// of it may be listed. Runs once, before the entries are made.
Status ReadArchiveSecurity(PdfArchive& archive, std::string_view password);
// Reads [offset, offset + length) of the file into `destination` in requests
// of at most `chunkBytes` (under 4 GiB). False when a read fails or the file
// ends before the range does.
bool ReadFileRange(HANDLE file, uint64_t offset, uint64_t length, uint8_t* destination, uint64_t chunkBytes);
// Checks the bytes ("%PDF-1.", a first line, a non-empty body before a
// trailing "%%EOF") and finds the body: the offsets [bodyStart, bodyEnd).
bool FindDocumentBody(const uint8_t* bytes, uint64_t size, uint64_t& bodyStart, uint64_t& bodyEnd);
// Checks the bytes as FindDocumentBody does and, without checkOnly, creates
// the archive over a copy of the body.
OpenOutcome ValidatePdf(const uint8_t* bytes, uint64_t size, FILETIME lastWriteTime, bool checkOnly);
// A new archive holding a copy of [start, end), or null when out of memory.
PdfArchive* CreateArchive(const uint8_t* start, const uint8_t* end, FILETIME lastWriteTime);
// A new archive that takes over `body` (an owned block holding the document
// body), or null when out of memory; either way `body` is left empty.
PdfArchive* AdoptArchiveBody(ByteBuffer& body, FILETIME lastWriteTime);
// Packs a local time as a DOS date (high 16 bits) and time (low 16 bits).
uint32_t PackDosDateTime(const SYSTEMTIME& localTime);
// The archive behind a host handle, locked and with one more reference; null
// for 0, all ones, or memory without the magic (then nothing is touched).
PdfArchive* AcquireArchive(uintptr_t handle);
// Drops one reference (lock held); destroys the archive at zero. Returns the
// remaining count.
int32_t ReleaseArchive(PdfArchive* archive);
// Drops one reference (lock held); at zero unlinks the entry, gives back its
// archive reference and destroys it. Returns the remaining count.
int32_t ReleaseEntry(StreamEntry* entry);
// The close of an archive acquired by the caller: destroys every entry and the
// archive itself, leaving its lock just before the lock is destroyed.
void TeardownArchive(PdfArchive* archive);
// Links a new, unlinked entry at the tail of the list, numbers it, and gives
// it the list's reference and its reference on the archive (refCount 2 until
// the caller drops its own). Cannot fail.
void LinkEntry(PdfArchive& archive, StreamEntry* entry);
// Indexes every linked entry by its object number, once all are made. Without
// memory for the index, lookups walk the list instead.
void IndexEntriesByNumber(PdfArchive& archive);
// The entry after the last one handed out, now handed out itself and found
// by its number from then on; null at the end of the list. Lock held.
StreamEntry* HandOutNextEntry(PdfArchive& archive);
// The first handed-out entry with this object number, or null. Lock held.
StreamEntry* FindListedEntry(PdfArchive& archive, uint32_t objectNumber);

// One exported call's hold on an archive: acquires it (lock, reference) at
// construction; at scope exit drops the reference first and leaves the lock
// second. Close() tears the archive down instead, and nothing is left after it.
class ArchiveCall {
public:
    explicit ArchiveCall(uintptr_t handle) : archive_(AcquireArchive(handle)) {}
    ~ArchiveCall() {
        if (archive_ == nullptr) return;
        ReleaseArchive(archive_);  // never the last reference: the host's handle still holds one
        LeaveCriticalSection(&archive_->lock);
    }
    ArchiveCall(const ArchiveCall&) = delete;
    ArchiveCall& operator=(const ArchiveCall&) = delete;

    PdfArchive* Archive() const { return archive_; }
    void Close() {
        PdfArchive* archive = archive_;
        archive_ = nullptr;
        TeardownArchive(archive);
    }

private:
    PdfArchive* archive_;
};
