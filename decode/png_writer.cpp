// The PNG writer. Everything before the first IDAT chunk is built at the
// start; the IDAT chunks are staged piece by piece as the samples come, each
// piece ending before the next chunk, block or row begins, so that what
// begins one (a chunk header, a block header, a filter byte) is staged
// between pieces.
#include "decode/png_writer.h"

#include <zlib.h>

#include <cstring>

namespace {

constexpr uint8_t PngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint64_t ChunkFrameBytes = 12;          // length, type and CRC
constexpr uint64_t HeaderDataBytes = 13;          // IHDR's data
constexpr uint64_t ZlibFrameBytes = 6;            // the zlib header and the Adler-32
constexpr uint64_t StoredBlockHeaderBytes = 5;    // BFINAL and BTYPE, LEN, NLEN
constexpr uint8_t ZlibHeader[] = {0x78, 0x01};    // deflate, 32 KiB window, no dictionary
constexpr uint8_t StoredBlock = 0x00;             // BTYPE 00, BFINAL 0
constexpr uint8_t FinalStoredBlock = 0x01;        // BTYPE 00, BFINAL 1
constexpr uint8_t FilterNone = 0;
// Room kept free in the staging block for what begins a piece (a chunk's
// end and the next one's header, a block header, a filter byte).
constexpr uint64_t StagingReserve = 64;
// PNG's own limit on a width, a height and a chunk's length.
constexpr uint64_t PngLimit = 0x7FFFFFFF;

uint64_t CeilDivide(uint64_t value, uint64_t divisor) { return value / divisor + (value % divisor != 0 ? 1 : 0); }

uint64_t ChunkCount(uint64_t dataLength) { return dataLength == 0 ? 1 : CeilDivide(dataLength, PngChunkDataBytes); }

// zlib's crc32 or adler32 over any count of bytes: each call takes 32 bits of count.
uint32_t Checksum(uLong (*sum)(uLong, const Bytef*, uInt), uint32_t value, const uint8_t* bytes, uint64_t count) {
    while (count != 0) {
        const uInt piece = count > UINT32_MAX ? UINT32_MAX : static_cast<uInt>(count);
        value = static_cast<uint32_t>(sum(value, bytes, piece));
        bytes += piece;
        count -= piece;
    }
    return value;
}

uint32_t Crc(uint32_t crc, const uint8_t* bytes, uint64_t count) { return Checksum(crc32, crc, bytes, count); }

uint32_t Adler(uint32_t adler, const uint8_t* bytes, uint64_t count) { return Checksum(adler32, adler, bytes, count); }

uint64_t ProfileChunkDataBytes(const ImageLayout& layout) {
    return sizeof PngProfileName + 1 + StoredZlibSize(layout.profileLength);
}

// Bytes before the first IDAT chunk.
uint64_t HeadSize(const ImageLayout& layout) {
    uint64_t size = sizeof PngSignature + ChunkFrameBytes + HeaderDataBytes;
    if (layout.paletteEntries != 0) size += ChunkFrameBytes + 3 * uint64_t{layout.paletteEntries};
    if (layout.profile != nullptr) size += ChunkFrameBytes + ProfileChunkDataBytes(layout);
    return size;
}

uint64_t IdatDataLength(const ImageLayout& layout) {
    if (layout.source == SampleSource::Stored) return layout.dataLength;
    return StoredZlibSize(layout.dataLength + layout.height);
}

// Writes one chunk whose data `fill` writes (`length` bytes of it), and its CRC.
template <typename Fill>
void PutChunk(BigEndianWriter& out, const char (&type)[5], uint64_t length, Fill fill) {
    out.Put32(static_cast<uint32_t>(length));
    uint8_t* const typeStart = out.at;
    out.PutBytes(type, 4);
    fill(out);
    out.Put32(Crc(static_cast<uint32_t>(crc32(0, nullptr, 0)), typeStart, static_cast<uint64_t>(out.at - typeStart)));
}

// A whole zlib stream of the bytes in stored blocks.
void PutStoredZlib(BigEndianWriter& out, const uint8_t* bytes, uint64_t length) {
    out.PutBytes(ZlibHeader, sizeof ZlibHeader);
    uint64_t done = 0;
    do {
        const uint64_t block = length - done < StoredBlockBytes ? length - done : StoredBlockBytes;
        out.Put8(done + block == length ? FinalStoredBlock : StoredBlock);
        out.Put8(static_cast<uint32_t>(block & 0xFF));
        out.Put8(static_cast<uint32_t>(block >> 8));
        out.Put8(static_cast<uint32_t>(~block & 0xFF));
        out.Put8(static_cast<uint32_t>((~block >> 8) & 0xFF));
        out.PutBytes(bytes + done, block);
        done += block;
    } while (done < length);
    out.Put32(Adler(static_cast<uint32_t>(adler32(0, nullptr, 0)), bytes, length));
}

void BuildHead(const ImageLayout& layout, uint8_t* head) {
    BigEndianWriter out{head};
    out.PutBytes(PngSignature, sizeof PngSignature);
    PutChunk(out, "IHDR", HeaderDataBytes, [&](BigEndianWriter& data) {
        data.Put32(layout.width);
        data.Put32(layout.height);
        data.Put8(layout.bitsPerComponent);
        data.Put8(layout.pngColourType);
        data.Put8(0);  // deflate
        data.Put8(0);  // adaptive filtering
        data.Put8(0);  // no interlace
    });
    if (layout.paletteEntries != 0) {
        PutChunk(out, "PLTE", 3 * uint64_t{layout.paletteEntries},
                 [&](BigEndianWriter& data) { data.PutBytes(layout.palette, 3 * uint64_t{layout.paletteEntries}); });
    }
    if (layout.profile != nullptr) {
        PutChunk(out, "iCCP", ProfileChunkDataBytes(layout), [&](BigEndianWriter& data) {
            data.PutBytes(PngProfileName, sizeof PngProfileName);  // its NUL ends the name
            data.Put8(0);                                         // deflate
            PutStoredZlib(data, layout.profile, layout.profileLength);
        });
    }
}

uint64_t StagingFree(const PngWriterStage& stage) { return ImageStagingBytes - stage.stagedEnd; }
uint8_t* StagingEnd(PngWriterStage& stage) { return stage.staging.Data() + stage.stagedEnd; }

// Counts `count` bytes just staged as IDAT data, and closes the chunk they end.
void StagedIdat(PngWriterStage& stage, uint64_t count) {
    uint8_t* const start = StagingEnd(stage);
    stage.chunkCrc = Crc(stage.chunkCrc, start, count);
    stage.stagedEnd += count;
    stage.idatDone += count;
    stage.chunkLeft -= count;
    if (stage.chunkLeft == 0) {
        BigEndianWriter out{StagingEnd(stage)};
        out.Put32(stage.chunkCrc);
        stage.stagedEnd += 4;
    }
}

// Opens the next IDAT chunk when none is open and data remains.
void OpenChunk(PngWriterStage& stage) {
    if (stage.chunkLeft != 0 || stage.idatDone == stage.idatLength) return;
    const uint64_t left = stage.idatLength - stage.idatDone;
    stage.chunkLeft = left < PngChunkDataBytes ? left : PngChunkDataBytes;
    BigEndianWriter out{StagingEnd(stage)};
    out.Put32(static_cast<uint32_t>(stage.chunkLeft));
    out.PutBytes("IDAT", 4);
    stage.chunkCrc = Crc(static_cast<uint32_t>(crc32(0, nullptr, 0)), StagingEnd(stage) + 4, 4);
    stage.stagedEnd += 8;
}

// Stages a few bytes of IDAT data, across a chunk's end if need be.
void PutIdat(PngWriterStage& stage, const uint8_t* bytes, uint64_t count) {
    for (uint64_t i = 0; i < count; ++i) {
        OpenChunk(stage);
        *StagingEnd(stage) = bytes[i];
        StagedIdat(stage, 1);
    }
}

// Stages the filter byte that begins a row, one raw byte of the deflate stream.
void PutFilterByte(PngWriterStage& stage) {
    stage.adler = Adler(stage.adler, &FilterNone, 1);
    PutIdat(stage, &FilterNone, 1);
    stage.rawDone += 1;
    stage.blockLeft -= 1;
    stage.rowLeft = RowBytes(stage.layout);
}

// Stages what begins the next piece of Rows: the zlib header, a block's
// header, a row's filter byte; and after the last row the Adler-32.
void BeginRowsPiece(PngWriterStage& stage) {
    if (!stage.zlibHeaderDone) {
        PutIdat(stage, ZlibHeader, sizeof ZlibHeader);
        stage.zlibHeaderDone = true;
    }
    if (stage.rawDone == stage.rawLength) {
        uint8_t adler[4];
        BigEndianWriter out{adler};
        out.Put32(stage.adler);
        PutIdat(stage, adler, sizeof adler);
        return;
    }
    if (stage.blockLeft == 0) {
        const uint64_t left = stage.rawLength - stage.rawDone;
        const uint64_t block = left < StoredBlockBytes ? left : StoredBlockBytes;
        const uint8_t header[StoredBlockHeaderBytes] = {
            block == left ? FinalStoredBlock : StoredBlock, static_cast<uint8_t>(block & 0xFF),
            static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(~block & 0xFF), static_cast<uint8_t>((~block >> 8) & 0xFF)};
        PutIdat(stage, header, sizeof header);
        stage.blockLeft = block;
    }
    if (stage.rowLeft == 0) PutFilterByte(stage);
}

// Stages samples from the input up to the next chunk, block or row, within
// the staging room; answers the bytes staged.
uint64_t StageSamples(PngWriterStage& stage, Window& window) {
    OpenChunk(stage);
    uint64_t room = StagingFree(stage) - StagingReserve;
    if (room > stage.chunkLeft) room = stage.chunkLeft;
    if (stage.layout.source == SampleSource::Rows) {
        if (room > stage.blockLeft) room = stage.blockLeft;
        if (room > stage.rowLeft) room = stage.rowLeft;
    }
    uint64_t availIn = window.availIn;
    const uint8_t* in = window.nextIn;
    uint8_t* const start = StagingEnd(stage);
    const uint64_t taken = TakeSamples(stage.reader, in, availIn, start, room);
    window.nextIn = in;
    window.availIn = static_cast<size_t>(availIn);
    if (stage.layout.source == SampleSource::Rows) {
        stage.adler = Adler(stage.adler, start, taken);
        stage.rawDone += taken;
        stage.blockLeft -= taken;
        stage.rowLeft -= taken;
    }
    StagedIdat(stage, taken);
    return taken;
}

void StageEnd(PngWriterStage& stage) {
    BigEndianWriter out{StagingEnd(stage)};
    out.Put32(0);
    const uint8_t* const type = out.at;
    out.PutBytes("IEND", 4);
    out.Put32(Crc(static_cast<uint32_t>(crc32(0, nullptr, 0)), type, 4));
    stage.stagedEnd = static_cast<uint64_t>(out.at - stage.staging.Data());
    stage.ended = true;
}

enum class Staged : uint8_t {
    Some,       // bytes were staged, or the file ended
    NeedInput,  // nothing could be staged without more input
    Short,      // the input ended before the samples did
};

// Stages as much as the room and the input allow.
Staged Stage(PngWriterStage& stage, Window& window, bool inputEnds) {
    const uint64_t before = stage.stagedEnd;
    const bool rows = stage.layout.source == SampleSource::Rows;
    while (!stage.ended && StagingFree(stage) > 2 * StagingReserve) {
        if (stage.idatDone == stage.idatLength) {
            StageEnd(stage);
            break;
        }
        if (rows) {
            BeginRowsPiece(stage);
            // The Adler-32, or a filter byte that ended its block, was all this piece could begin.
            if (stage.rawDone == stage.rawLength || stage.blockLeft == 0) continue;
        }
        if (window.availIn == 0) {
            if (stage.stagedEnd != before) return Staged::Some;
            return inputEnds ? Staged::Short : Staged::NeedInput;
        }
        StageSamples(stage, window);
    }
    return Staged::Some;
}

}  // namespace

uint64_t StoredZlibSize(uint64_t length) {
    const uint64_t blocks = length == 0 ? 1 : CeilDivide(length, StoredBlockBytes);
    return ZlibFrameBytes + length + StoredBlockHeaderBytes * blocks;
}

uint64_t PngFileSize(const ImageLayout& layout) {
    if (layout.width == 0 || layout.height == 0 || layout.width > PngLimit || layout.height > PngLimit) return 0;
    if (layout.paletteEntries > MaxPaletteEntries) return 0;
    if (layout.source == SampleSource::Rows) {
        const uint64_t rows = AllRowsBytes(layout);
        if (rows == 0 || rows != layout.dataLength || rows > UINT64_MAX / 2) return 0;
    }
    if (layout.profile != nullptr && ProfileChunkDataBytes(layout) > PngLimit) return 0;
    const uint64_t idat = IdatDataLength(layout);
    if (idat > UINT64_MAX / 2) return 0;
    return HeadSize(layout) + idat + ChunkFrameBytes * ChunkCount(idat) + ChunkFrameBytes;
}

Status StartPngWriter(PngWriterStage& stage, const ImageLayout& layout) {
    stage = PngWriterStage{};
    stage.layout = layout;
    stage.reader.layout = &stage.layout;
    stage.idatLength = IdatDataLength(layout);
    stage.rawLength = layout.dataLength + layout.height;
    if (!stage.head.Allocate(HeadSize(layout)) || !stage.staging.Allocate(ImageStagingBytes)) return Status::OutOfMemory;
    BuildHead(stage.layout, stage.head.Data());
    return Status::Ok;
}

Status RunPngWriter(PngWriterStage& stage, Window& window, bool inputEnds) {
    for (;;) {
        if (!CopyOut(stage.head.Data(), stage.head.Size(), stage.headWritten, window)) return Status::Ok;
        if (!CopyOut(stage.staging.Data(), stage.stagedEnd, stage.stagedStart, window)) return Status::Ok;
        stage.stagedStart = stage.stagedEnd = 0;
        if (stage.ended) return SamplesComplete(stage.reader) ? Status::End : Status::InvalidData;
        const Staged staged = Stage(stage, window, inputEnds);
        if (staged == Staged::NeedInput) return Status::Ok;
        if (staged == Staged::Short) return Status::InvalidData;
    }
}
