// Placeholder until the archive lifetime lands.
#include "document/archive.h"

StreamEntry* EntryFromLink(ListLink*) { return nullptr; }
OpenOutcome OpenPdfFile(const WCHAR*, bool) { return {false, nullptr}; }
OpenOutcome ValidatePdf(const uint8_t*, uint64_t, FILETIME, bool) { return {false, nullptr}; }
PdfArchive* CreateArchive(const uint8_t*, const uint8_t*, FILETIME) { return nullptr; }
uint32_t PackDosDateTime(const SYSTEMTIME&) { return 0; }
PdfArchive* AcquireArchive(uintptr_t) { return nullptr; }
int32_t ReleaseArchive(PdfArchive*) { return 0; }
int32_t ReleaseEntry(StreamEntry*) { return 0; }
StreamEntry* FindListedEntry(PdfArchive&, uint32_t) { return nullptr; }
