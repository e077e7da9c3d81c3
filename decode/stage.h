// The one contract every decoding stage keeps, zlib's: a stage reads from an
// input window and writes into an output window, moving both on as it works,
// and keeps everything it needs to go on in its own state record.
//
//   Status RunX(XStage& stage, Window& window, bool inputEnds);
//
// - It consumes input and fills output until the input runs out, the room
//   runs out, or its data ends or turns out invalid.
// - Ok: it stopped because availIn is 0 (and more input will come) or
//   availOut is 0. Called again with more of either, it goes on.
// - End: its data has ended and every byte of its output has been written;
//   later calls answer End again and write nothing. Input after the end is
//   left unread.
// - InvalidData or OutOfMemory: the stream cannot be decoded; the state is
//   not used again.
// - inputEnds says that no input will follow what the window holds. With
//   inputEnds and all input consumed a stage answers End, InvalidData, or Ok
//   only while availOut is 0 (it still has bytes to write).
// - Called with one byte of room or a megabyte, and with its input cut
//   anywhere, it produces the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "decode/status.h"

struct Window {
    const uint8_t* nextIn = nullptr;  // next input byte
    size_t availIn = 0;               // input bytes from nextIn on
    uint8_t* nextOut = nullptr;       // where the next output byte goes
    size_t availOut = 0;              // room from nextOut on
};

// Moves the window on to `in` and `out`, where a stage's loop stopped reading
// and writing.
inline void MoveWindow(Window& window, const uint8_t* in, uint8_t* out) {
    window.availIn -= static_cast<size_t>(in - window.nextIn);
    window.nextIn = in;
    window.availOut -= static_cast<size_t>(out - window.nextOut);
    window.nextOut = out;
}

// Copies bytes [done, size) of `bytes` into the window's room, as much as
// fits, and counts them in `done`: true once every byte is out.
inline bool CopyOut(const uint8_t* bytes, uint64_t size, uint64_t& done, Window& window) {
    const uint64_t left = size - done;
    const uint64_t count = left < window.availOut ? left : window.availOut;
    if (count != 0) std::memcpy(window.nextOut, bytes + done, static_cast<size_t>(count));
    MoveWindow(window, window.nextIn, window.nextOut + count);
    done += count;
    return done == size;
}
