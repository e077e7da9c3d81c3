// Flate ("FlateDecode"): a zlib stream, inflated by zlib itself, one window at
// a time (see stage.h for the contract).
//
// A stream cut short after its first byte ends where its input does, with
// what it inflated to; bytes after the stream's end are left unread. Empty
// input, a bad header, bad data, an Adler-32 mismatch or a preset dictionary
// are InvalidData; zlib's own memory refused is OutOfMemory.
#pragma once

#include <zlib.h>

#include <cstdint>

#include "decode/stage.h"

struct FlateStage {
    FlateStage() = default;
    ~FlateStage();
    FlateStage(const FlateStage&) = delete;
    FlateStage& operator=(const FlateStage&) = delete;

    z_stream stream{};          // zlib's state; its windows are set at each call
    bool started = false;       // inflateInit succeeded: inflateEnd is owed
    bool ended = false;         // the data has ended
    bool called = false;        // inflate has run at least once
    bool filledOutput = false;  // the last inflate call filled its output window
};

// OutOfMemory when zlib cannot start.
Status StartFlate(FlateStage& stage);
Status RunFlate(FlateStage& stage, Window& window, bool inputEnds);
