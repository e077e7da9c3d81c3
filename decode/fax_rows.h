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
// not add up to the width, no row at all), or every row already starts with
// an end-of-line code, the data is best used as stored. That needs the whole
// data to know, so the rows are read twice: a survey, which writes nothing
// and finds out whether the rows are rewritten and how long the data then
// is, and the writing itself.
//
// Both read the input once, as it comes, through a block of FaxStagingBytes:
// a row is decoded code by code and may run across any number of input
// windows, and fill bits between rows are counted, never held. So a stage
// holds the same few blocks whatever its rows and its data.
//
// A resumable stage (see stage.h for the contract): the survey answers End
// once its input has ended; the writing answers End after the last byte, or
// InvalidData should the data not read as rows after all.
#pragma once

#include <cstdint>

#include "decode/stage.h"
#include "platform/heap_block.h"

// Bytes of input decoded from one block, and of output gathered before it is
// handed on.
constexpr uint64_t FaxStagingBytes = 64 * 1024;
constexpr uint64_t FaxOutputChunk = 64 * 1024;

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
    Gap,      // before a row: fill bits and end-of-line codes
    Row,      // inside a row
    Tail,     // the rows ended: the gap after the last row and the rest of the input follow as they stand
    NotRows,  // the data is used as stored
    Done,     // the rows and the tail are written
};

// One end-of-line code of a gap as it stood in the input: the bits skipped to
// reach a byte boundary (byte-aligned rows only), then zero bits, then a one
// bit. The zeros are a count, so that fill of any length costs nothing.
struct FaxGapCode {
    uint8_t skipped = 0;        // the skipped bits, at the low end
    uint8_t skippedBits = 0;    // their number, below 8
    uint64_t zeros = 0;         // zero bits after them, once 11 or more
};

// What stands between the last row (or the data's start) and the next row.
// Two end-of-line codes end the page, so the gap holds at most two, or one
// and the start of another.
struct FaxGap {
    FaxGapCode codes[2];        // the codes read; codes[endOfLines] is being read
    uint32_t endOfLines = 0;    // complete codes
    bool aligned = false;       // the code being read has skipped to its byte boundary
    uint32_t written = 0;       // with Tail: codes written back
};

struct FaxRows {
    int64_t columns = 0;                 // pixels in a row
    int64_t rowLimit = 0;                // rows to read; 0 for as many as there are
    bool byteAligned = false;            // each row starts on a byte boundary
    bool emit = false;                   // writes the rows; else only counts them
    FaxRowsPhase phase = FaxRowsPhase::Gap;
    HeapBlock staging;                   // input bytes from the byte of `at` on
    uint64_t stagedBytes = 0;            // bytes of staging in use
    uint64_t at = 0;                     // next bit to read, in staging
    uint64_t inputBytes = 0;             // input bytes taken so far
    bool inputEnded = false;             // staging's end is the data's end
    FaxGap gap;                          // with Gap and Tail: the gap read so far
    int64_t x = 0;                       // with Row: pixels of the row read so far
    uint32_t colour = 0;                 // with Row: the colour of the next run, white 0
    uint64_t rows = 0;                   // rows read so far
    bool everyRowHadEndOfLine = true;    // no row so far came without its end-of-line code
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
