// Sink: where a chain's decoded bytes go. The chain's last step writes
// straight into the room the sink offers, so keeping the bytes, writing them
// to a file, filling the host's block or only counting them are alike to the
// chain and unknown to every step.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/status.h"

struct Sink {
    uint8_t* room = nullptr;   // where the next byte goes
    size_t roomLeft = 0;       // bytes that may be written from room on
    // Takes the `count` bytes written since the previous call, which start at
    // `written`, and offers room again in room and roomLeft: at least one
    // byte unless `ending`, which says no byte follows. Answers Ok, or why
    // the bytes cannot go on (the chain then stops with that status).
    Status (*take)(Sink& sink, const uint8_t* written, size_t count, bool ending) = nullptr;
    void* owner = nullptr;     // the sink's own record
};
