// The object scanner: finds the document's stream objects one per request by
// reading the archive's copy as text from its scan position onward. It only
// finds; decoding is the filter chain's.
#pragma once

#include <cstdint>

#include "syntax/dictionary.h"
#include "document/archive.h"

// One stream object as the scan found it; both views point into the archive's data.
struct FoundStream {
    uint32_t objectNumber;        // from the header line, as an unsigned 32-bit value
    uint32_t generation;          // from the header line, likewise; an encrypted stream's key takes it in
    DictionaryText dictionary;    // from "<<" to the matching ">>"
    const uint8_t* dataBegin;     // the stream's stored bytes
    const uint8_t* dataEnd;
};

// The next object with a dictionary, a stream keyword and a stream end, from
// the scan position on; false at the end of the document. Lock held.
bool FindNextStream(PdfArchive& archive, FoundStream& found);
