// The object scanner: one forward pass over the archive's copy, one stream
// object per request. Objects are recognised by their header lines, never
// through the cross-reference table.
#include "document/scanner.h"

#include <cstring>
#include <new>

#include "document/object_index.h"
#include "syntax/byte_search.h"
#include "syntax/char_class.h"
#include "syntax/dictionary.h"
#include "syntax/value_reader.h"

namespace {

// A header line holds at most 255 characters.
constexpr uint64_t HeaderLineCapacity = 256;
// Bytes that must remain before the stream and endobj keywords are compared,
// and before a stream's end is verified or searched for.
constexpr uint64_t KeywordLookahead = 9;
// Bytes that must remain before "endstream" and its line end are passed over.
constexpr uint64_t EndstreamLookahead = 12;

constexpr char EndstreamKeyword[] = "endstream";
constexpr uint64_t EndstreamLength = sizeof(EndstreamKeyword) - 1;

uint64_t Remaining(const uint8_t* position, const uint8_t* end) { return static_cast<uint64_t>(end - position); }

// Whether the literal's bytes (without its NUL) start at position.
template <size_t N>
bool StartsWith(const uint8_t* position, const uint8_t* end, const char (&literal)[N]) {
    return Remaining(position, end) >= N - 1 && std::memcmp(position, literal, N - 1) == 0;
}

// Passes over the first matching form, if any, of forms tested in order.
template <size_t A, size_t B, size_t C>
bool PassOverKeyword(const uint8_t*& position, const uint8_t* end, const char (&first)[A], const char (&second)[B],
                     const char (&third)[C]) {
    if (StartsWith(position, end, first)) {
        position += A - 1;
    } else if (StartsWith(position, end, second)) {
        position += B - 1;
    } else if (StartsWith(position, end, third)) {
        position += C - 1;
    } else {
        return false;
    }
    return true;
}

// Whether a header line can start here: its number comes first, after any
// spaces and tabs. Most lines of stream data fail this at their first byte,
// and the scan passes them without reading them as lines.
bool CanStartHeaderLine(const uint8_t* position, const uint8_t* end) {
    while (position < end && IsSpaceOrTab(*position)) ++position;
    return position < end && (IsDigit(*position) || *position == '-');
}

// The end of a run of CR and LF bytes starting at position. A run once walked
// is remembered, so that many /Length candidates landing in one long run cost
// one walk between them.
const uint8_t* SkipLineEnds(ScanMemo& memo, const uint8_t* position, const uint8_t* end) {
    if (memo.lineEndsFrom != nullptr && position >= memo.lineEndsFrom && position < memo.lineEndsTo) {
        return memo.lineEndsTo;
    }
    const uint8_t* runEnd = position;
    while (runEnd < end && IsLineEnd(*runEnd)) ++runEnd;
    if (runEnd != position) {
        memo.lineEndsFrom = position;
        memo.lineEndsTo = runEnd;
    }
    return runEnd;
}

// The first "endstream" at p >= from with more than 9 bytes from p to the
// end, or null. A search that found nothing from one position finds nothing
// from any later one, and one that found p finds p again from anywhere up to
// p; remembering both keeps a document of many unterminated streams linear.
const uint8_t* FindEndstream(ScanMemo& memo, const uint8_t* from, const uint8_t* end) {
    if (memo.searchedFrom != nullptr && from >= memo.searchedFrom &&
        (memo.endstreamAt == nullptr || from <= memo.endstreamAt)) {
        return memo.endstreamAt;
    }
    const uint8_t* found = nullptr;
    // The keyword starts where "en" does, with more than the lookahead left after it.
    const uint8_t* const lastStart = Remaining(from, end) > KeywordLookahead ? end - KeywordLookahead : from;
    for (const uint8_t* p = from; p < lastStart; ++p) {
        p = FindBytePair(p, lastStart + 1, 'e', 'n');
        if (p >= lastStart) break;
        if (std::memcmp(p, EndstreamKeyword, EndstreamLength) == 0) {
            found = p;
            break;
        }
    }
    memo.searchedFrom = from;
    memo.endstreamAt = found;
    return found;
}

// Reads a header line "N G obj" (spaces or tabs may follow "obj") at the scan
// position, the line ending at `lineEnd` (its first CR or LF, or the end),
// before "<<" or before a comment; on success the position is where the line's
// text ends, and on failure it is left alone.
bool ReadObjectHeader(ScanState& scan, const uint8_t* lineEnd, int32_t& objectNumber, int32_t& objectGeneration) {
    const uint8_t* const lineStart = scan.position;
    const uint8_t* const end = scan.end;
    if (lineStart == nullptr || lineStart >= end) return false;

    // Read in place, up to the line end. Most lines that start with a number
    // are data and fail within a few bytes; a NUL byte stops every step.
    const char* const text = reinterpret_cast<const char*>(lineStart);
    const char* const textEnd = reinterpret_cast<const char*>(lineEnd);
    int32_t number = 0;
    const char* p = ParseInteger(text, textEnd, number);
    if (p == nullptr || p == textEnd) return false;
    int32_t generation = 0;
    p = ParseInteger(p, textEnd, generation);
    if (p == nullptr) return false;
    while (p < textEnd && IsSpaceOrTab(static_cast<unsigned char>(*p))) ++p;
    if (textEnd - p < 3 || std::memcmp(p, "obj", 3) != 0) return false;
    p += 3;
    // Producers commonly leave spaces or tabs after "obj", as in "3 0 obj <<".
    while (p < textEnd && IsSpaceOrTab(static_cast<unsigned char>(*p))) ++p;
    // The line ends here: at its line end, before "<<" or before a comment;
    // any other text after "obj" makes it no header line.
    const uint8_t* const stop = reinterpret_cast<const uint8_t*>(p);
    const bool dictionaryFollows = Remaining(stop, end) >= 2 && stop[0] == '<' && stop[1] == '<';
    const bool commentFollows = stop < end && stop[0] == '%';
    if (stop != lineEnd && !dictionaryFollows && !commentFollows) return false;
    if (stop == end) return false;
    if (static_cast<size_t>(stop - lineStart) >= HeaderLineCapacity) return false;
    objectNumber = number;
    objectGeneration = generation;
    scan.position = stop;
    return true;
}

// The length a stream's dictionary gives: its /Length, or where that is a
// reference "N G R" to an integer object the body defines, that integer.
// Without such an object the reference's first number stands, as before
// references were followed, and the search decides when it does not fit.
int64_t StreamLength(ScanState& scan, DictionaryText dictionary) {
    const IntOrReference length = GetIntOrReference(dictionary, "/Length", 0);
    int64_t resolved = 0;
    if (length.isReference && ReadIntegerObject(scan.objects, length.number, length.generation, resolved)) {
        return resolved;
    }
    return length.value;
}

// With the scan position at a stream's first data byte: one past its last data
// byte, or null. A length followed by "endstream" decides (`verified`), and
// the position then moves past "endstream"; otherwise the first "endstream"
// found from the data start does, less the line end before it, and the
// position stays.
const uint8_t* FindStreamEnd(ScanState& scan, DictionaryText dictionary, bool& verified) {
    const uint8_t* const dataStart = scan.position;
    const uint8_t* const end = scan.end;
    const int64_t length = StreamLength(scan, dictionary);
    verified = false;

    // A negative length is unusable and leaves the decision to the search.
    if (length >= 0 && static_cast<uint64_t>(length) < Remaining(dataStart, end) &&
        Remaining(dataStart + length, end) > KeywordLookahead) {
        const uint8_t* const candidate = dataStart + length;
        const uint8_t* const keyword = SkipLineEnds(scan.memo, candidate, end);
        if (StartsWith(keyword, end, EndstreamKeyword)) {
            scan.position = keyword + EndstreamLength;
            verified = true;
            return candidate;
        }
    }

    if (Remaining(dataStart, end) <= KeywordLookahead) return nullptr;
    const uint8_t* const keyword = FindEndstream(scan.memo, dataStart, end);
    if (keyword == nullptr) return nullptr;
    // The line end before "endstream" belongs to neither, where it lies inside the data.
    if (keyword - dataStart >= 2 && keyword[-2] == '\r' && keyword[-1] == '\n') return keyword - 2;
    if (keyword - dataStart >= 1 && IsLineEnd(keyword[-1])) return keyword - 1;
    return keyword;
}

// Passes over "endstream" and its line end at the scan position.
bool SkipEndstream(ScanState& scan) {
    if (Remaining(scan.position, scan.end) < EndstreamLookahead) return false;
    return PassOverKeyword(scan.position, scan.end, "endstream\r\n", "endstream\r", "endstream\n");
}

// An object's header line as the scan read it.
struct Header {
    const uint8_t* lineStart;   // the line's first byte
    int32_t number;
    int32_t generation;
};

// Records what the scan could not take whole, when it is asked to. A
// problem that finds no memory goes untold: the report is for a person, and
// the scan goes on.
void Report(ScanState& scan, ScanTrouble trouble, const ScanProblem& about, const Header* other = nullptr) {
    ScanProblem problem = about;
    problem.trouble = trouble;
    if (other != nullptr) {
        problem.otherNumber = static_cast<uint32_t>(other->number);
        problem.otherGeneration = static_cast<uint32_t>(other->generation);
    }
    try {
        scan.report->problems.push_back(problem);
    } catch (const std::bad_alloc&) {
    }
}

ScanProblem ProblemOf(const ScanState& scan, const Header& header) {
    ScanProblem problem{};
    problem.objectNumber = static_cast<uint32_t>(header.number);
    problem.generation = static_cast<uint32_t>(header.generation);
    problem.offset = static_cast<uint64_t>(header.lineStart - scan.begin);
    return problem;
}

// A header line read while the scan is inside the data of a stream whose
// end the search found, or did not find: that stream runs over it.
void NoteHeader(ScanState& scan, const Header& header) {
    ScanReport* const report = scan.report;
    if (report == nullptr || !report->streamOpen) return;
    report->streamOpen = false;
    if (header.lineStart < report->openDataEnd) {
        Report(scan, ScanTrouble::DataRunsOverHeader, report->openStream, &header);
    }
}

// A stream whose length did not lead to "endstream": the scan goes on
// inside its data, which ends at `dataEnd`, or nowhere when it is null.
void NoteSearchedStream(ScanState& scan, const Header& header, const uint8_t* dataEnd) {
    ScanReport* const report = scan.report;
    if (report == nullptr) return;
    report->streamOpen = true;
    report->openStream = ProblemOf(scan, header);
    report->openHasNoEnd = dataEnd == nullptr;
    report->openDataEnd = dataEnd == nullptr ? scan.end : dataEnd;
}

// The scan has reached the body's end.
void NoteBodyEnd(ScanState& scan) {
    ScanReport* const report = scan.report;
    if (report == nullptr || !report->streamOpen) return;
    report->streamOpen = false;
    if (report->openHasNoEnd) Report(scan, ScanTrouble::FileEndsInside, report->openStream);
}

// What follows a header line: the dictionary, the stream keyword and the
// stream's bytes. True when the object is a stream whose end was found; the
// scan position is left where the object's handling ended either way.
bool ScanObject(ScanState& scan, const Header& header, FoundStream& found) {
    const uint8_t*& position = scan.position;
    const uint8_t* const end = scan.end;
    // White space and comments may stand between the header line and "<<":
    // pdftk writes an empty line there.
    const char* const textEnd = reinterpret_cast<const char*>(end);
    const auto* const open =
        reinterpret_cast<const uint8_t*>(SkipWhiteSpace(reinterpret_cast<const char*>(position), textEnd));
    if (!StartsWith(open, end, "<<")) return false;
    bool textEnded = false;
    const DictionaryText dictionary = DictionaryAt(reinterpret_cast<const char*>(open), textEnd, textEnded);
    if (dictionary.empty()) {
        // A dictionary that never closes gives no entry; the scan goes on at
        // the line after the header, where the next object may well start.
        if (scan.report != nullptr) {
            Report(scan, textEnded ? ScanTrouble::FileEndsInside : ScanTrouble::DictionaryNeverCloses,
                   ProblemOf(scan, header));
        }
        return false;
    }
    position = open + dictionary.size();

    while (position < end && *position == ' ') ++position;
    while (position < end && IsLineEnd(*position)) ++position;
    if (Remaining(position, end) < KeywordLookahead ||
        !PassOverKeyword(position, end, "stream\r\n", "stream\r", "stream\n")) {
        return false;
    }
    const uint8_t* const dataStart = position;
    bool verified = false;
    const uint8_t* const dataEnd = FindStreamEnd(scan, dictionary, verified);
    SkipEndstream(scan);
    if (!verified) NoteSearchedStream(scan, header, dataEnd);
    if (dataEnd == nullptr) return false;
    found.dictionary = dictionary;
    found.dataBegin = dataStart;
    found.dataEnd = dataEnd;
    return true;
}

}  // namespace

void StartScan(ScanState& scan, const uint8_t* begin, const uint8_t* end) {
    scan.begin = begin;
    scan.position = begin;
    scan.end = end;
    scan.memo = ScanMemo{};
    StartObjectIndex(scan.objects, begin, end);
    scan.report = nullptr;
}

bool FindNextStream(ScanState& scan, FoundStream& found) {
    const uint8_t*& position = scan.position;
    const uint8_t* const end = scan.end;
    for (;;) {
        if (position == nullptr || position >= end) {
            NoteBodyEnd(scan);
            return false;
        }

        // A header line holds "obj" before its line end, so the lines before
        // the next "obj" are passed at once; the one holding it starts after
        // the last line end before it.
        const uint8_t* const keyword = FindByteTriple(position, end, 'o', 'b', 'j');
        if (keyword == end) {
            // At the end nothing more can be found, now or on a later request.
            position = end;
            NoteBodyEnd(scan);
            return false;
        }
        const uint8_t* const lastLineEnd = FindLastLineEnd(position, keyword);
        const uint8_t* const lineStart = lastLineEnd == nullptr ? position : lastLineEnd + 1;
        const uint8_t* const lineEnd = FindLineEnd(keyword, end);
        position = lineStart;
        Header header{lineStart, 0, 0};
        if (!CanStartHeaderLine(lineStart, end) || !ReadObjectHeader(scan, lineEnd, header.number, header.generation)) {
            // Not a header line: on to the next line; "<<" does not end one here.
            position = lineEnd;
            if (lineEnd >= end) {
                NoteBodyEnd(scan);
                return false;
            }
            continue;
        }
        NoteHeader(scan, header);

        const bool isStream = ScanObject(scan, header, found);
        // A length by reference found no index: the stream's end cannot be
        // told as it would be with memory, so the scan ends here.
        if (scan.objects.unavailable) {
            position = end;
            return false;
        }
        if (Remaining(position, end) >= KeywordLookahead) {
            PassOverKeyword(position, end, "endobj\r\n", "endobj\r", "endobj\n");
        }
        if (isStream) {
            found.objectNumber = static_cast<uint32_t>(header.number);
            found.generation = static_cast<uint32_t>(header.generation);
            return true;
        }
    }
}
