// The archive's lifetime: creation over a copy of the document body, the
// handle check, and the reference counts that tie entries to their archive.
#include "document/archive.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "decode/results.h"

namespace {

// FILETIME counts 100-nanosecond ticks since 1 January 1601 UTC.
constexpr uint64_t FileTimeTicksPerSecond = 10000000;
constexpr int64_t SecondsFrom1601To1970 = 11644473600;

int64_t UnixTimeOf(FILETIME fileTime) {
    const uint64_t ticks = (static_cast<uint64_t>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
    return static_cast<int64_t>(ticks / FileTimeTicksPerSecond) - SecondsFrom1601To1970;
}

// The local time of a file time. When a conversion fails (the zero file time
// in a zone west of UTC has no local time), the UTC time stands in, and when
// even that fails the zero file time, 1 January 1601 00:00:00, does.
SYSTEMTIME LocalTimeOf(FILETIME fileTime) {
    SYSTEMTIME universal{};
    if (!FileTimeToSystemTime(&fileTime, &universal)) {
        universal = SYSTEMTIME{};
        universal.wYear = 1601;
        universal.wMonth = 1;
        universal.wDay = 1;
        return universal;
    }
    SYSTEMTIME local{};
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) return universal;
    return local;
}

std::vector<NumberedEntry>::iterator FirstWithNumber(PdfArchive& archive, uint32_t objectNumber) {
    return std::lower_bound(archive.entriesByNumber.begin(), archive.entriesByNumber.end(), objectNumber,
                            [](const NumberedEntry& indexed, uint32_t number) { return indexed.objectNumber < number; });
}

void LinkAtTail(ListLink& head, ListLink& node) {
    node.next = &head;
    node.prevLink = head.prevLink;
    *head.prevLink = &node;
    head.prevLink = &node.next;
}

void Unlink(ListLink& node) {
    *node.prevLink = node.next;
    node.next->prevLink = node.prevLink;
    node.next = nullptr;
    node.prevLink = nullptr;
}

}  // namespace

void ReleaseKeptBlocks(PdfArchive& archive) {
    for (ByteBuffer& block : archive.keptBlocks) block.Release();
    archive.keptBlocks.clear();
}

void CloseKeptBlocks(PdfArchive& archive) {
    if (archive.keptBlocks.empty()) return;
    ByteBuffer& block = archive.keptBlocks.back();
    block.end = block.cursor;
    block.GiveBackSlack();
}

bool PackKeptBytes(PdfArchive& archive, const ByteBuffer& bytes, ByteBuffer& view) {
    const uint64_t size = bytes.Size();
    if (archive.keptBlocks.empty() || static_cast<uint64_t>(archive.keptBlocks.back().end - archive.keptBlocks.back().cursor) < size) {
        CloseKeptBlocks(archive);
        // Each block twice the last, from the first size up to the largest.
        uint64_t capacity = FirstKeptBlockBytes << (archive.keptBlocks.size() < 5 ? archive.keptBlocks.size() : 5);
        if (capacity > LargestKeptBlockBytes) capacity = LargestKeptBlockBytes;
        if (capacity < size) return false;
        try {
            archive.keptBlocks.emplace_back();
        } catch (const std::bad_alloc&) {
            return false;
        }
        ByteBuffer& block = archive.keptBlocks.back();
        if (block.Reserve(capacity) != ResultOk) {
            archive.keptBlocks.pop_back();
            return false;
        }
    }
    ByteBuffer& block = archive.keptBlocks.back();
    if (size != 0) std::memcpy(block.cursor, bytes.begin, static_cast<size_t>(size));
    view.Attach(block.cursor, block.cursor + size, false);
    block.cursor += size;
    return true;
}

StreamEntry* EntryFromLink(ListLink* link) {
    return reinterpret_cast<StreamEntry*>(reinterpret_cast<char*>(link) - offsetof(StreamEntry, link));
}

uint32_t PackDosDateTime(const SYSTEMTIME& localTime) {
    const uint32_t year = static_cast<uint32_t>(localTime.wYear - 1980) & 0x7Fu;
    return year << 25 | (localTime.wMonth & 0xFu) << 21 | (localTime.wDay & 0x1Fu) << 16 |
           (localTime.wHour & 0x1Fu) << 11 | (localTime.wMinute & 0x3Fu) << 5 | ((localTime.wSecond / 2u) & 0x1Fu);
}

PdfArchive* CreateArchive(const uint8_t* start, const uint8_t* end, FILETIME lastWriteTime) {
    ByteBuffer body;
    if (body.Attach(start, end, true) != ResultOk) return nullptr;
    return AdoptArchiveBody(body, lastWriteTime);
}

PdfArchive* AdoptArchiveBody(ByteBuffer& body, FILETIME lastWriteTime) {
    ByteBufferGuard bodyGuard(body);
    PdfArchive* archive = nullptr;
    try {
        // The record's containers may allocate as they are made.
        archive = new PdfArchive{};
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    archive->data = TakeBuffer(body);
    archive->data.cursor = archive->data.begin;
    InitializeCriticalSection(&archive->lock);
    archive->entries.next = &archive->entries;
    archive->entries.prevLink = &archive->entries.next;
    archive->lastHandedOut = &archive->entries;
    archive->magic = PdfMagic;
    archive->refCount = 1;
    archive->currentEntry = nullptr;
    archive->settings = DecodeSettings{1, UINT64_MAX};
    archive->dosDateTime = PackDosDateTime(LocalTimeOf(lastWriteTime));
    archive->lastWriteUnixTime = UnixTimeOf(lastWriteTime);
    return archive;
}

PdfArchive* AcquireArchive(uintptr_t handle) {
    if (handle == 0 || handle == UINTPTR_MAX) return nullptr;
    auto* archive = reinterpret_cast<PdfArchive*>(handle);
    if (archive->magic != PdfMagic) return nullptr;
    EnterCriticalSection(&archive->lock);
    ++archive->refCount;
    return archive;
}

int32_t ReleaseArchive(PdfArchive* archive) {
    if (archive->refCount != 1) return --archive->refCount;
    archive->refCount = 0;
    // Reached with consistent counts only once the list is empty; destroying
    // whatever is left keeps the teardown complete in any case. Each entry is
    // detached first, so that it does not give back a reference to an archive
    // that is already going away.
    for (ListLink* node = archive->entries.next; node != &archive->entries;) {
        ListLink* next = node->next;
        StreamEntry* entry = EntryFromLink(node);
        entry->archive = nullptr;
        ReleaseEntry(entry);
        node = next;
    }
    for (DecodedAhead& ahead : archive->decodedAhead) ahead.bytes.Release();
    archive->decodedAhead.clear();
    ReleaseKeptBlocks(*archive);
    // A pthread mutex must not be destroyed while held, so the holder leaves it first.
    LeaveCriticalSection(&archive->lock);
    DeleteCriticalSection(&archive->lock);
    archive->data.Release();
    archive->magic = 0;
    delete archive;
    return 0;
}

int32_t ReleaseEntry(StreamEntry* entry) {
    if (entry->refCount != 1) return --entry->refCount;
    entry->refCount = 0;
    if (PdfArchive* archive = entry->archive) {
        Unlink(entry->link);
        if (archive->currentEntry == entry) archive->currentEntry = nullptr;
        // prevLink addresses the previous node's first field, so it is that node.
        if (archive->lastHandedOut == &entry->link) archive->lastHandedOut = reinterpret_cast<ListLink*>(entry->link.prevLink);
        for (auto indexed = FirstWithNumber(*archive, entry->objectNumber);
             indexed != archive->entriesByNumber.end() && indexed->objectNumber == entry->objectNumber; ++indexed) {
            if (indexed->entry == entry) indexed->entry = nullptr;
        }
        entry->archive = nullptr;
        ReleaseArchive(archive);
    }
    entry->data.Release();
    delete entry;
    return 0;
}

void TeardownArchive(PdfArchive* archive) {
    for (ListLink* node = archive->entries.next; node != &archive->entries;) {
        ListLink* next = node->next;
        ReleaseEntry(EntryFromLink(node));
        node = next;
    }
    ReleaseArchive(archive);  // the closing call's own reference
    ReleaseArchive(archive);  // the creation reference: destroys the archive
}

StreamEntry* FindListedEntry(PdfArchive& archive, uint32_t objectNumber) {
    if (archive.entriesByNumber.empty()) {
        // No index: the list itself, up to the last entry handed out.
        for (ListLink* node = archive.entries.next; node != archive.lastHandedOut->next; node = node->next) {
            if (EntryFromLink(node)->objectNumber == objectNumber) return EntryFromLink(node);
        }
        return nullptr;
    }
    // The first entry with the number is the first listed; later ones never answer.
    const auto found = FirstWithNumber(archive, objectNumber);
    if (found == archive.entriesByNumber.end() || found->objectNumber != objectNumber || found->entry == nullptr) {
        return nullptr;
    }
    return found->entry->listIndex < archive.handedOutCount ? found->entry : nullptr;
}

void LinkEntry(PdfArchive& archive, StreamEntry* entry) {
    LinkAtTail(archive.entries, entry->link);
    ++entry->refCount;
    ++archive.refCount;
    entry->archive = &archive;
    entry->listIndex = archive.entryCount++;
}

void IndexEntriesByNumber(PdfArchive& archive) {
    try {
        archive.entriesByNumber.reserve(archive.entryCount);
    } catch (const std::bad_alloc&) {
        return;
    }
    for (ListLink* node = archive.entries.next; node != &archive.entries; node = node->next) {
        StreamEntry* entry = EntryFromLink(node);
        archive.entriesByNumber.push_back(NumberedEntry{entry->objectNumber, entry});
    }
    // Entries sharing a number stay in list order; the sort needs no memory of its own.
    std::sort(archive.entriesByNumber.begin(), archive.entriesByNumber.end(),
              [](const NumberedEntry& left, const NumberedEntry& right) {
                  return left.objectNumber != right.objectNumber ? left.objectNumber < right.objectNumber
                                                                 : left.entry->listIndex < right.entry->listIndex;
              });
}

StreamEntry* HandOutNextEntry(PdfArchive& archive) {
    ListLink* const next = archive.lastHandedOut->next;
    if (next == &archive.entries) return nullptr;
    archive.lastHandedOut = next;
    ++archive.handedOutCount;
    return EntryFromLink(next);
}
