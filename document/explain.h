// Why the stream objects the scan finds are left out of the listing: each is
// decoded once more, on one thread, only to see which step fails; and which
// objects the scan could not take whole. For a
// person asking about one document (`vellum check -v`); hosts never see it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "decode/filter_list.h"
#include "document/open.h"
#include "document/scanner.h"

// One stream object the listing leaves out.
struct LeftOutStream {
    uint32_t objectNumber;
    uint32_t generation;
    uint64_t offset;          // of its stored bytes in the file
    Status status;            // InvalidData or OutOfMemory
    bool inDecryption;        // the decryption failed, not a filter
    FilterCode filter;        // otherwise the filter whose step failed
};

struct DocumentReport {
    uint64_t streamsFound = 0;           // stream objects the scan found
    std::vector<LeftOutStream> leftOut;  // those the listing leaves out, in scan order
    std::vector<ScanProblem> notWhole;   // objects the scan could not take whole, in scan
                                         // order; their offsets are the file's
};

// Opens the file as OpenDocument would and reports on its streams. The
// outcome is the open's: when it is not Ok, nothing was examined.
OpenOutcome ExplainDocument(const WCHAR* path, std::string_view password, DocumentReport& report);
