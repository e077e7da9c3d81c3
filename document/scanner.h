// The object scanner: finds the document's stream objects one per request by
// reading the archive's copy as text from its scan position onward. It only
// finds; decoding is the filter chain's.
#pragma once

#include <cstdint>
#include <vector>

#include "syntax/dictionary.h"
#include "document/archive.h"

// One stream object as the scan found it; both views point into the archive's data.
struct FoundStream {
    uint32_t objectNumber;        // from the header line, as an unsigned 32-bit value
    uint32_t generation;          // likewise
    DictionaryText dictionary;    // from "<<" to the matching ">>"
    const uint8_t* dataBegin;     // the stream's stored bytes
    const uint8_t* dataEnd;
};

// What the scan could not take whole.
enum class ScanTrouble : uint8_t {
    DictionaryNeverCloses,   // the object's dictionary breaks off before its ">>"
    FileEndsInside,          // the body ends inside the object: in its dictionary,
                             // or in a stream with no "endstream" after its data
    DataRunsOverHeader,      // a stream whose length does not lead to "endstream"
                             // holds the header line of another object (its own
                             // "endstream" is missing)
};

struct ScanProblem {
    ScanTrouble trouble;
    uint32_t objectNumber;        // the object not taken whole
    uint32_t generation;
    uint64_t offset;              // of its header line, from the body's start
    uint32_t otherNumber;         // with DataRunsOverHeader: the object whose header
    uint32_t otherGeneration;     // line its data holds
};

// What a scan tells when it is asked to (ScanState::report): for a person
// asking about one document, never for hosts.
struct ScanReport {
    std::vector<ScanProblem> problems;       // in scan order
    bool streamOpen = false;                 // the scan is inside the data of a stream
                                             // whose length did not lead to "endstream"
    ScanProblem openStream{};                // that stream
    const uint8_t* openDataEnd = nullptr;    // one past its data as the search found it,
                                             // or the body's end
    bool openHasNoEnd = false;               // the search found no end
};

// A scan of the body [begin, end) from its start, with an object index not
// built yet and no report.
void StartScan(ScanState& scan, const uint8_t* begin, const uint8_t* end);
// The next object with a dictionary, a stream keyword and a stream end, from
// the scan position on; false at the end of the document.
//
// Between "N G obj" and "<<" any white space and comments may stand. The
// dictionary ends where PDF's syntax ends it (syntax/value_reader.h): a
// ">>" inside a string or comment does not count. One that never closes
// gives no entry, and the scan goes on at the line after its header. A
// /Length that refers to an integer object is that integer. Never throws:
// when the object index finds no memory, the scan ends with
// scan.objects.unavailable set, and its caller tells memory ran out.
bool FindNextStream(ScanState& scan, FoundStream& found);
