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
// The rows are written from `output`'s cursor on (the output empty or an
// owned block), and the block grows as they need: each row gains at most 19
// bits, an end-of-line code and 7 fill bits.
//
// Returns 0 with the cursor and the end after the rows; 13 when the data does
// not read as such rows (an invalid code, runs that do not add up to the
// width, no row at all) or when every row already starts with an end-of-line
// code: in both cases the data is best used as stored, and the cursor is back
// where it was (the block may have grown); 8 out of memory, the output then
// empty.
#pragma once

#include <cstdint>

#include "decode/byte_buffer.h"

uint32_t AddFaxEndOfLines(ByteBuffer& output, const ByteBuffer& input, int32_t columns, int32_t rows,
                          bool byteAligned);
