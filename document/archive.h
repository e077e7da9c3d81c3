// PdfArchive, the object the host holds as its archive handle, and
// StreamEntry, one listed stream object. Both are reference counted under
// the archive's lock; the archive's list holds the only reference to a listed
// entry, and each listed entry holds one reference to its archive.
#pragma once

#include <cstdint>

#include "decode/byte_buffer.h"
#include "decode/filter_codes.h"
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

struct PdfArchive {
    ByteBuffer data;              // owned copy of the document body; cursor = scan position
    CRITICAL_SECTION lock;        // serialises every call on this archive
    ListLink entries;             // listed StreamEntry objects, in the order found
    uint64_t magic;               // PdfMagic while the object lives
    uint32_t dosDateTime;         // file's last-write time, local, packed DOS date and time
    int32_t refCount;             // 1 for the host's handle + 1 per listed entry + 1 per call in progress
    StreamEntry* currentEntry;    // the entry whose header was read last; null when none
    int64_t lastWriteUnixTime;    // file's last-write time, seconds since 1970 (UTC)
};

struct StreamEntry {
    ByteBuffer data;                          // decoded bytes, or a view into the archive's data
    PdfArchive* archive;                      // owning archive once listed; null before
    ListLink link;                            // node in the archive's entries
    const WCHAR* extension;                   // ".jpg" etc.; null until decoded
    const WCHAR* typeWord;                    // "stream" once decoded
    uint32_t objectNumber;                    // from the object's header line
    uint32_t filterCodes[MaxFilterCodes];     // the chain; unused slots hold 0
    uint32_t filterCount;                     // used slots of filterCodes
    uint32_t packedSize;                      // always 0
    int32_t refCount;                         // 1 at creation
};

// The first listed entry with that object number, or null.
StreamEntry* FindListedEntry(PdfArchive& archive, uint32_t objectNumber);
// The entry whose link is `link`.
StreamEntry* EntryFromLink(ListLink* link);


// The outcome of opening a file: with checkOnly only `acceptable` is set;
// otherwise `archive` is the new archive (refCount 1), or null.
struct OpenOutcome {
    bool acceptable;
    PdfArchive* archive;
};

// Opens, maps and validates the file at `path`; the file and its mapping are
// closed again before returning, whatever the outcome.
OpenOutcome OpenPdfFile(const WCHAR* path, bool checkOnly);
// Checks the mapped bytes ("%PDF-1.", a first line, a non-empty body before a
// trailing "%%EOF") and, without checkOnly, creates the archive over a copy.
OpenOutcome ValidatePdf(const uint8_t* bytes, uint64_t size, FILETIME lastWriteTime, bool checkOnly);
// A new archive holding a copy of [start, end), or null when out of memory.
PdfArchive* CreateArchive(const uint8_t* start, const uint8_t* end, FILETIME lastWriteTime);
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
