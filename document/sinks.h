// The sinks a chain's bytes go to, besides the archive's kept blocks
// (kept_bytes.h): a counter, a block of known size, and a file. Each record
// holds its Sink first and is neither copied nor moved once started, since
// the Sink points back at it.
#pragma once

#include <cstdint>

#include "decode/sink.h"
#include "platform/heap_block.h"
#include "platform/win32.h"

// Bytes of a counter's scratch room and of each write to a file.
constexpr size_t SinkWindowBytes = 64 * 1024;

// Counts the bytes and keeps none: the room it offers is one scratch window,
// written over again and again. The scratch belongs to the caller, so that a
// thread reuses one for all its streams.
struct CountSink {
    Sink sink;
    uint8_t* scratch = nullptr;   // SinkWindowBytes of the caller's
};
void StartCountSink(CountSink& counter, uint8_t* scratch);

// Fills a block whose exact size the listing knows: the host's block, or a
// block decoded ahead. More bytes or fewer than that size are InvalidData.
struct MemorySink {
    Sink sink;
    uint8_t* begin = nullptr;     // the block
    uint64_t size = 0;            // bytes it must receive
    uint64_t filled = 0;          // bytes it has received
    uint8_t probe[1] = {};        // room offered once the block is full
};
void StartMemorySink(MemorySink& memory, uint8_t* begin, uint64_t size);

// Tells the host about the bytes written; false asks to stop.
struct Progress {
    bool (*report)(void* context, uint64_t bytes) = nullptr;
    void* context = nullptr;
};

// Writes to an open file in writes of SinkWindowBytes, each followed by a
// progress report. A refused write is IoError, with the system's code kept
// in systemError; a report answering false is Aborted.
struct FileSink {
    Sink sink;
    HANDLE file = nullptr;
    Progress progress;
    HeapBlock window;             // the room the chain writes into
    uint64_t written = 0;         // bytes in the file
    uint32_t systemError = 0;     // the system's code for a refused write
};
// OutOfMemory when the window cannot be had.
Status StartFileSink(FileSink& output, HANDLE file, Progress progress);
// Writes bytes held in memory straight out, in writes of SinkWindowBytes.
Status WriteToFile(FileSink& output, const uint8_t* bytes, uint64_t size);
