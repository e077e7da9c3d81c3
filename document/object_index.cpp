// The object index: one pass over the body's header lines, then a sorted
// table searched by halves.
#include "document/object_index.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "syntax/byte_search.h"
#include "syntax/char_class.h"
#include "syntax/value_reader.h"

namespace {

constexpr char EndobjKeyword[] = "endobj";
constexpr size_t EndobjKeywordLength = sizeof(EndobjKeyword) - 1;

bool EndsToken(const uint8_t* p, const uint8_t* end) { return p == end || IsWhiteSpace(*p) || IsDelimiter(*p); }

// Reads "N G obj" from a line's start, reading no further than `end`; the
// position after "obj", or null when the line is no header line.
const uint8_t* ReadHeaderLine(const uint8_t* line, const uint8_t* end, uint32_t& number, uint32_t& generation) {
    const char* const after = ReadObjectHeaderTokens(reinterpret_cast<const char*>(line),
                                                     reinterpret_cast<const char*>(end), number, generation);
    return reinterpret_cast<const uint8_t*>(after);
}

// Appends every header line of the body in body order. May throw std::bad_alloc.
void CollectDefinitions(ObjectIndex& index) {
    const uint8_t* const begin = index.begin;
    const uint8_t* const end = index.end;
    // A header line holds "obj"; each line that does is read once, from its start.
    for (const uint8_t* position = begin; position < end;) {
        const uint8_t* const keyword = FindByteTriple(position, end, 'o', 'b', 'j');
        if (keyword == end) break;
        const uint8_t* const lastLineEnd = FindLastLineEnd(position, keyword);
        const uint8_t* const lineStart = lastLineEnd == nullptr ? position : lastLineEnd + 1;
        const uint8_t* const lineEnd = FindLineEnd(keyword, end);
        uint32_t number = 0;
        uint32_t generation = 0;
        if (ReadHeaderLine(lineStart, lineEnd, number, generation) != nullptr) {
            index.definitions.push_back(ObjectDefinition{static_cast<uint64_t>(lineStart - begin), number, generation});
        }
        position = lineEnd;
    }
}

// Keeps the last definition of each number, sorted by number.
void KeepLastDefinitions(std::vector<ObjectDefinition>& definitions) {
    std::sort(definitions.begin(), definitions.end(), [](const ObjectDefinition& a, const ObjectDefinition& b) {
        return a.number != b.number ? a.number < b.number : a.offset < b.offset;
    });
    size_t kept = 0;
    for (size_t i = 0; i < definitions.size(); ++i) {
        const bool lastOfItsNumber = i + 1 == definitions.size() || definitions[i + 1].number != definitions[i].number;
        if (lastOfItsNumber) definitions[kept++] = definitions[i];
    }
    definitions.resize(kept);
}

}  // namespace

void StartObjectIndex(ObjectIndex& index, const uint8_t* begin, const uint8_t* end) {
    index.begin = begin;
    index.end = end;
    index.built = false;
    index.unavailable = false;
    index.definitions.clear();
}

void BuildObjectIndex(ObjectIndex& index) {
    if (index.built) return;
    index.built = true;
    try {
        CollectDefinitions(index);
        KeepLastDefinitions(index.definitions);
    } catch (const std::bad_alloc&) {
        index.definitions = std::vector<ObjectDefinition>();
        index.unavailable = true;
    }
}

bool FindObject(ObjectIndex& index, uint32_t number, ObjectLocation& found) {
    BuildObjectIndex(index);
    const auto at = std::lower_bound(index.definitions.begin(), index.definitions.end(), number,
                                     [](const ObjectDefinition& d, uint32_t n) { return d.number < n; });
    if (at == index.definitions.end() || at->number != number) return false;
    const uint8_t* const header = index.begin + at->offset;
    uint32_t readNumber = 0;
    uint32_t readGeneration = 0;
    // The header's tokens never run over a line end: no need to find it.
    const uint8_t* const value = ReadHeaderLine(header, index.end, readNumber, readGeneration);
    if (value == nullptr) return false;
    found = ObjectLocation{header, value, at->generation};
    return true;
}

bool ReadIntegerObject(ObjectIndex& index, uint32_t number, uint32_t generation, int64_t& value) {
    ObjectLocation object;
    if (!FindObject(index, number, object) || object.generation != generation) return false;
    const uint8_t* const limit =
        static_cast<uint64_t>(index.end - object.header) > MaxIntegerObjectBytes ? object.header + MaxIntegerObjectBytes
                                                                                 : index.end;
    const char* const end = reinterpret_cast<const char*>(limit);
    const char* const start = SkipWhiteSpace(reinterpret_cast<const char*>(object.value), end);
    const char* const valueEnd = SkipValue(start, end);
    int64_t read = 0;
    if (valueEnd == nullptr || !ReadIntegerValue(ValueText(start, static_cast<size_t>(valueEnd - start)), read)) {
        return false;
    }
    const char* const keyword = SkipWhiteSpace(valueEnd, end);
    if (static_cast<size_t>(end - keyword) < EndobjKeywordLength ||
        std::memcmp(keyword, EndobjKeyword, EndobjKeywordLength) != 0 ||
        !EndsToken(reinterpret_cast<const uint8_t*>(keyword) + EndobjKeywordLength, limit)) {
        return false;
    }
    value = read;
    return true;
}
