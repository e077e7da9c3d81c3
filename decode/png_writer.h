// A PNG file around an image's samples (see image_layout.h): the signature,
// IHDR, PLTE with the palette, iCCP with the ICC profile (in stored deflate
// blocks), the samples in IDAT chunks of at most PngChunkDataBytes, and IEND.
// With Stored samples the IDAT data is the input as it stands (zlib data of
// rows behind PNG filter bytes, as a Flate stream with a matching PNG
// predictor holds them); with Rows each row is put behind filter byte 0 and
// the whole stored in deflate blocks of at most StoredBlockBytes. Nothing is
// compressed, so the size follows from the layout.
//
// A resumable stage (see stage.h): it answers End after IEND, and
// InvalidData when its input ends before the samples the layout promises
// (Stored: exactly dataLength bytes; Rows: at least that many).
#pragma once

#include <cstdint>

#include "decode/image_layout.h"
#include "decode/stage.h"
#include "platform/heap_block.h"

// Most data bytes of one IDAT chunk, and of one stored deflate block.
constexpr uint64_t PngChunkDataBytes = uint64_t{1} << 20;
constexpr uint64_t StoredBlockBytes = 65535;
// Bytes the output waits in for room.
constexpr uint64_t ImageStagingBytes = 64 * 1024;
// The name of the embedded profile.
constexpr char PngProfileName[] = "ICC Profile";

// Bytes of a zlib stream of `length` bytes in stored deflate blocks.
uint64_t StoredZlibSize(uint64_t length);
// Bytes of the PNG file of this layout; 0 when PNG cannot hold it.
uint64_t PngFileSize(const ImageLayout& layout);

struct PngWriterStage {
    ImageLayout layout;
    SampleReader reader;             // takes the samples from the input
    HeapBlock head;                  // signature to iCCP, built at the start
    uint64_t headWritten = 0;        // of head
    HeapBlock staging;               // ImageStagingBytes of output waiting for room
    uint64_t stagedStart = 0;        // [stagedStart, stagedEnd) waits
    uint64_t stagedEnd = 0;
    uint64_t idatLength = 0;         // bytes of IDAT data in all
    uint64_t idatDone = 0;           // of them staged
    uint64_t chunkLeft = 0;          // data bytes of the open IDAT chunk still to come; 0 none open
    uint32_t chunkCrc = 0;           // CRC-32 of the open chunk so far
    uint64_t rawLength = 0;          // Rows: bytes the deflate blocks hold, filter bytes included
    uint64_t rawDone = 0;            // of them staged
    uint64_t blockLeft = 0;          // Rows: of the open deflate block still to come
    uint64_t rowLeft = 0;            // Rows: of the current row's samples still to come
    uint32_t adler = 1;              // Rows: Adler-32 of the raw bytes so far
    bool zlibHeaderDone = false;     // Rows: the zlib header is staged
    bool ended = false;              // IEND is staged
};

// OutOfMemory when its blocks cannot be had.
Status StartPngWriter(PngWriterStage& stage, const ImageLayout& layout);
Status RunPngWriter(PngWriterStage& stage, Window& window, bool inputEnds);
