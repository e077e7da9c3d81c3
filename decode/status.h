// Status: the one way the code below plugin/ says how a step went. A cause
// travels unchanged up to plugin/, which alone turns it into a host code, so
// the command line can still tell "not a PDF" from "out of memory".
#pragma once

#include <cstdint>

enum class Status : uint8_t {
    Ok,             // done; from a stage: stopped for more input or more room
    End,            // a stage's data has ended and all of its output is written
    InvalidData,    // the bytes cannot be decoded or are not what they must be
    OutOfMemory,    // a block or an object could not be had
    Unsupported,    // a form vellum does not read (an unknown security handler or revision)
    NotPdf,         // the file is not a PDF vellum opens
    NeedsPassword,  // encrypted, and no password given opens it
    IoError,        // the system refused a read or a write; its own code travels beside
    Aborted,        // the host's progress callback asked to stop
};
