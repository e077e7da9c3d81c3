// Placeholder until the object scanner lands.
#include "document/scanner.h"

StreamEntry* NextEntry(PdfArchive&) { return nullptr; }
StreamEntry* ScanNextStream(PdfArchive&) { return nullptr; }
bool ReadObjectHeader(PdfArchive&, int32_t& objectNumber) { objectNumber = 0; return false; }
const uint8_t* FindStreamEnd(PdfArchive&, const char*) { return nullptr; }
bool SkipEndstream(PdfArchive&) { return false; }
