// A big-endian TIFF file around an image's samples (see image_layout.h): the
// header and one image file directory (width, length, bits per sample,
// compression, photometric interpretation, one strip of all rows, samples
// per pixel, planar configuration; the predictor, colour map, ink set and
// ICC profile where the layout has them), then the strip. Big-endian,
// because PDF's samples of 16 bits are: the strip is the samples as they
// stand. With Stored samples the strip is the input (Deflate or LZW data);
// with Rows the rows uncompressed. Nothing is compressed, so the size
// follows from the layout.
//
// A resumable stage (see stage.h): it answers End after the strip's last
// byte, and InvalidData when its input ends before the samples the layout
// promises (Stored: exactly dataLength bytes; Rows: at least that many).
#pragma once

#include <cstdint>

#include "decode/image_layout.h"
#include "decode/stage.h"
#include "platform/heap_block.h"

// Bytes of the TIFF file of this layout; 0 when a TIFF's 32-bit offsets
// cannot hold it.
uint64_t TiffFileSize(const ImageLayout& layout);

struct TiffWriterStage {
    ImageLayout layout;
    SampleReader reader;             // takes the samples from the input
    HeapBlock head;                  // everything before the strip, built at the start
    uint64_t headWritten = 0;        // of head
};

// OutOfMemory when the head's block cannot be had.
Status StartTiffWriter(TiffWriterStage& stage, const ImageLayout& layout);
Status RunTiffWriter(TiffWriterStage& stage, Window& window, bool inputEnds);
