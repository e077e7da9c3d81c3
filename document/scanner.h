// The object scanner: finds the document's stream objects one per request by
// reading the archive's copy as text from its scan position onward.
#pragma once

#include <cstdint>

#include "document/archive.h"

// The next stream object that decodes, linked at the tail of the archive's
// entries and held by the list (the caller borrows it), or null at the end of
// the document or when memory runs out while it is made. Lock held.
StreamEntry* NextEntry(PdfArchive& archive);
// A new, decoded, unlinked entry with refCount 1, or null when none is left.
StreamEntry* ScanNextStream(PdfArchive& archive);
// Reads a header line "N G obj" (spaces or tabs may follow "obj") at the scan
// position; on success the position is after the line, on failure it is
// unusable and the caller puts it back.
bool ReadObjectHeader(PdfArchive& archive, int32_t& objectNumber);
// With the scan position at a stream's first data byte: one past its last data
// byte, or null. A /Length followed by "endstream" decides, and the position
// then moves past "endstream"; otherwise the first "endstream" found from the
// data start does, less the line end before it, and the position stays.
const uint8_t* FindStreamEnd(PdfArchive& archive, const char* dictionaryText);
// Passes over "endstream" and its line end at the scan position.
bool SkipEndstream(PdfArchive& archive);
