// Drives one decoding stage the way the filter chain does, but with output
// windows and input pieces of any size, so that tests and fuzz targets can
// check that a stage gives the same bytes and the same status however its
// windows are cut. Each input piece and each output window is its own
// exact-size block, so a read or write past either is caught by the sanitizers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "decode/stage.h"

struct StageRun {
    Status status = Status::Ok;  // End on success, else the failure; Ok only for a broken contract
    std::string bytes;           // everything written, also before a failure
    std::string fault;           // what broke the window contract, if anything
    bool cutShort = false;       // the output passed `outputLimit` and the run stopped there
};

// The output windows and where the input is cut.
struct StageWindows {
    size_t outputWindow = 65536;   // room offered at each call
    std::vector<size_t> inputCuts; // positions the input is cut at, ascending; none: one piece
    size_t outputLimit = SIZE_MAX; // bytes kept at most; a run that gives more stops there
};

// Runs `run(stage, window, inputEnds)` over `input` until the stage answers
// End or a failure. The stage must be started by the caller.
template <typename Stage, typename Run>
StageRun RunStage(Stage& stage, Run run, const std::string& input, const StageWindows& windows) {
    StageRun result;
    std::vector<size_t> bounds = windows.inputCuts;
    bounds.push_back(input.size());
    size_t pieceStart = 0;
    size_t nextBound = 0;
    std::vector<uint8_t> piece;
    std::vector<uint8_t> room(std::max<size_t>(windows.outputWindow, 1));
    Window window;
    auto takePiece = [&] {
        const size_t pieceEnd = std::min(std::max(bounds[nextBound], pieceStart), input.size());
        // Copied as one block: an element loop costs more than a stage on
        // megabytes under the sanitizers' instrumentation.
        piece.resize(pieceEnd - pieceStart);
        if (!piece.empty()) std::memcpy(piece.data(), input.data() + pieceStart, piece.size());
        pieceStart = pieceEnd;
        ++nextBound;
        window.nextIn = piece.data();
        window.availIn = piece.size();
    };
    takePiece();
    // A stage that neither reads nor writes when it could is stuck; allow a few such calls.
    int idleCalls = 0;
    for (;;) {
        window.nextOut = room.data();
        window.availOut = windows.outputWindow;
        const bool inputEnds = nextBound == bounds.size();
        const size_t inBefore = window.availIn;
        const Status status = run(stage, window, inputEnds);
        const size_t written = windows.outputWindow - window.availOut;
        result.bytes.append(reinterpret_cast<const char*>(room.data()), written);
        if (result.bytes.size() > windows.outputLimit) {
            result.cutShort = true;
            return result;
        }
        if (status != Status::Ok) {
            result.status = status;
            return result;
        }
        if (window.availIn == inBefore && written == 0) {
            if (window.availIn == 0 && !inputEnds) {
                takePiece();
                continue;
            }
            if (++idleCalls > 2) {
                result.fault = inputEnds && window.availIn == 0 ? "Ok with all input given and room left"
                                                                : "no progress with input and room";
                return result;
            }
        } else {
            idleCalls = 0;
        }
        if (window.availIn == 0 && !inputEnds) takePiece();
    }
}

// The cuts that feed `size` bytes one at a time.
inline std::vector<size_t> EveryByte(size_t size) {
    std::vector<size_t> cuts;
    for (size_t i = 1; i < size; ++i) cuts.push_back(i);
    return cuts;
}

