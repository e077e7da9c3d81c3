// Where each object of a document's body is defined, by its number: the
// start of its last definition "N G obj" (the one in force after incremental
// updates), to follow a reference such as "/Length 12 0 R". The index is
// built in one forward pass over the whole body the first time a lookup
// needs it, so an object defined after the one that refers to it is found
// too. Definitions are found by their header lines, as the scan finds
// objects: a header line inside a stream's data counts like any other.
//
// Memory: 16 bytes for each header line while the index is built, then 16
// bytes for each object number; a document of 60,000 objects holds under
// 1 MB. Nothing else is allocated, and a lookup allocates nothing.
//
// The first lookup builds the index, so lookups share one lock until it is
// built (the scan makes them under the decode pool's). Once
// BuildObjectIndex has returned, lookups only read it, from any thread.
#pragma once

#include <cstdint>
#include <vector>

// One object's last definition.
struct ObjectDefinition {
    uint64_t offset;       // of its header line's first byte, from the body's start
    uint32_t number;       // the object number
    uint32_t generation;   // the generation number its header line gives
};

struct ObjectIndex {
    const uint8_t* begin = nullptr;               // the body
    const uint8_t* end = nullptr;
    bool built = false;                           // the pass over the body is done
    bool unavailable = false;                     // it found no memory: lookups find nothing
    std::vector<ObjectDefinition> definitions;    // sorted by number, one for each
};

// An object's definition as it stands in the body.
struct ObjectLocation {
    const uint8_t* header = nullptr;   // the header line's first byte
    const uint8_t* value = nullptr;    // the first byte after its "obj" keyword
    uint32_t generation = 0;           // from the header line
};

// An index over the body [begin, end), not built yet.
void StartObjectIndex(ObjectIndex& index, const uint8_t* begin, const uint8_t* end);
// Builds the index unless it is built. A header line is one that starts
// with "N G obj" as ReadObjectHeaderTokens (syntax/value_reader.h) reads
// it, whatever follows on the line. Without memory for it the index stays
// empty and `unavailable`: every lookup then finds nothing, and a caller
// whose answer would depend on it says memory ran out. Never throws.
void BuildObjectIndex(ObjectIndex& index);
// The last definition of object `number`; false when the body has none.
bool FindObject(ObjectIndex& index, uint32_t number, ObjectLocation& found);
// The integer object `number` `generation` is, when its last definition is
// "N G obj <integer> endobj" (white space and comments between), all within
// MaxIntegerObjectBytes from its header line; false otherwise.
bool ReadIntegerObject(ObjectIndex& index, uint32_t number, uint32_t generation, int64_t& value);

// Most bytes an integer object's definition spans: a lookup then costs the
// same however the body pads the object.
constexpr uint64_t MaxIntegerObjectBytes = 1024;
