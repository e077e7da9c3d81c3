// Group 3 one-dimensional fax rows (modified Huffman, "/K" 0) with an
// end-of-line code put before every row, the form TIFF's T.4 compression
// requires. PDF producers may leave those codes out; a TIFF reader then finds
// no row at all.
//
// The input is read as rows of `columns` pixels, each a series of white and
// black run codes (terminating codes after any make-up codes) starting with
// white. End-of-line codes already present are skipped; with `byteAligned`
// every row starts on a byte boundary. Reading stops after `rows` rows when
// `rows` is positive, at two end-of-line codes in a row (the end of the page),
// or where only zero bits remain.
//
// The output holds each row's codes bit for bit, each preceded by an
// end-of-line code (with `byteAligned`, after zero fill bits that make the
// end-of-line code end on a byte boundary), then the input's bits after the
// last row, unchanged, and zero bits up to the next byte.
//
// When the data does not read as such rows (an invalid code, runs that do
// not add up to the width, no row at all, a row longer than FaxCarryLimit
// bytes), or every row already starts with an end-of-line code, the data is
// best used as stored. That needs the whole data to know, so the rows are
// read twice: a survey, which writes nothing and finds out whether the rows
// are rewritten and how long the data then is, and the writing itself.
//
// A resumable stage (see stage.h for the contract): the survey answers End
// once its input has ended; the writing answers End after the last byte, or
// InvalidData should the data not read as rows after all.
#pragma once

#include <cstdint>

#include "decode/stage.h"
#include "platform/heap_block.h"

// Bytes the input is gathered in, and the most that one row and the
// end-of-line codes before it may take: far beyond any real row.
constexpr uint64_t FaxCarryChunk = 64 * 1024;
constexpr uint64_t FaxCarryLimit = uint64_t{16} << 20;

// Bits written most significant first, a word at a time: each Put stores the
// bits at the first byte not yet complete, so the block needs 8 bytes of room
// from there.
struct FaxBitWriter {
    uint8_t* block = nullptr;   // where the bits are written
    uint64_t byte = 0;          // bytes complete
    uint64_t pending = 0;       // the bits of the incomplete byte, at the top
    uint32_t pendingBits = 0;   // their number, below 8 between calls

    // The `count` low bits of `value`, 1 to 56 of them.
    void Put(uint64_t value, uint32_t count);
};

enum class FaxRowsPhase : uint8_t {
    Rows,     // reading rows
    Tail,     // the rows ended: the rest of the input follows as it stands
    NotRows,  // the data is used as stored
    Done,     // the rows and the tail are written
};

struct FaxRows {
    int64_t columns = 0;                 // pixels in a row
    int64_t rowLimit = 0;                // rows to read; 0 for as many as there are
    bool byteAligned = false;            // each row starts on a byte boundary
    bool emit = false;                   // writes the rows; else only counts them
    FaxRowsPhase phase = FaxRowsPhase::Rows;
    HeapBlock carry;                     // input bytes from the tail's byte on
    uint64_t carryBytes = 0;             // bytes of carry in use
    uint64_t inputBytes = 0;             // input bytes taken so far
    bool inputEnded = false;             // the carry's end is the data's end
    uint64_t tail = 0;                   // first bit after the last row, in the carry
    uint64_t tailCopied = 0;             // bits of the tail written or counted, in the carry
    uint64_t rows = 0;                   // rows read so far
    bool everyRowHadEndOfLine = true;    // no row so far came without its end-of-line code
    uint64_t wanted = 0;                 // input bytes a decision that waits takes next
    uint64_t bitsOut = 0;                // bits of output so far, in both passes
    HeapBlock output;                    // with emit: output bytes not yet delivered
    FaxBitWriter writer;                 // where the output bits go, in output
    uint64_t delivered = 0;              // complete bytes already handed to the window
};

void StartFaxRows(FaxRows& rows, int32_t columns, int32_t rowCount, bool byteAligned, bool emit);
Status RunFaxRows(FaxRows& rows, Window& window, bool inputEnds);
// After a survey: whether the rows are rewritten, and the bytes of the data
// that follow the header either way.
bool FaxRowsRewritten(const FaxRows& rows);
uint64_t FaxRowsBytes(const FaxRows& rows);
