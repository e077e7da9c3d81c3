// The filter chain: runs a stream's steps (its decryption first, then the
// filters its "/Filter" names, in order) with a fixed buffer between
// neighbours, and hands the last step's output to a sink. A pure step: it
// reads the stream's bytes and its dictionary and touches nothing else, so
// any thread may run it, and what it holds is its steps' states and buffers,
// whatever the stream's size.
#pragma once

#include <cstdint>

#include "decode/ccitt_fax.h"
#include "decode/content_kind.h"
#include "decode/decrypt.h"
#include "decode/filter_list.h"
#include "decode/image_layout.h"
#include "decode/predictor.h"
#include "decode/sink.h"
#include "decode/status.h"
#include "syntax/dictionary.h"

// Bytes of each buffer between two steps.
constexpr size_t ChainBufferBytes = 64 * 1024;

// One stream as the chain reads it.
struct StreamInput {
    const uint8_t* begin = nullptr;   // the stored bytes
    const uint8_t* end = nullptr;
    DictionaryText dictionary;        // the object's dictionary
    FilterList filters;               // ParseFilterList of the dictionary
    StreamKey key;                    // the stream's key; its cipher None when it is not encrypted
};

// The steps that undo a stream, as the chain will run them.
struct ChainPlan {
    uint32_t steps = 0;               // steps that change the bytes, decryption included
    bool decrypts = false;            // the first step is the decryption
    FilterCode filters[MaxFilterCodes] = {};  // the filters of the other steps, in order
    bool xml = false;                 // XML metadata: its filters undone, named .xml
    bool fax = false;                 // the last step wraps CCITT fax data as TIFF
    FaxParameters faxParameters;      // its parameters, when fax
    PredictorParameters predictor;    // a step after the filters undoes it, unless its predictor is None
    bool image = false;               // the last step writes the image file of imageLayout
    ImageLayout imageLayout;          // when image
};

ChainPlan PlanChain(const StreamInput& input);

// How the viewable mode writes an image as a PNG or TIFF file.
struct ImageRun {
    ImageLayout layout;               // what the writer writes
    bool decodes = false;             // the filters run first; else the writer takes the stored data, decrypted
    PredictorParameters predictor;    // with decodes: undone after the filters, unless None
};

// The steps that write the stream's image as `run` says.
ChainPlan PlanImageChain(const StreamInput& input, const ImageRun& run);

// The steps of a CCITT image mask written, as the viewable mode does, like
// any fax image behind its TIFF header; `paintedIsOne` when its "/Decode"
// makes the 1 samples the painted ones, which the header then shows black,
// as it shows the 0 samples of any other mask. Any other stream's plan is
// PlanChain's.
ChainPlan PlanFaxMaskChain(const StreamInput& input, bool paintedIsOne);

// How a fax step runs: surveying its data, or writing it with the figures a
// survey found.
struct FaxRun {
    FaxPass pass = FaxPass::Emit;
    FaxFigures figures;               // with Emit: the survey's figures
};

// What a run of the chain gives besides the bytes the sink took.
struct ChainOutcome {
    uint64_t size = 0;                          // bytes the sink took
    uint8_t head[ContentHeadBytes] = {};        // the first of them
    uint32_t failedStep = 0;                    // with a failure: the step that failed
    uint64_t decryptedSize = 0;                 // with a decryption: the bytes it gave
    FaxFigures fax;                             // after a survey: what it found
};

// Runs the plan's steps over the stream into the sink, until the last step's
// data ends; the sink is told `ending` once after the last byte. A chain of
// no steps hands over the stored bytes. Answers Ok; InvalidData when a step
// finds the data invalid; OutOfMemory when a step's state or a buffer cannot
// be had; or the sink's own failure. Never throws.
Status RunChain(const StreamInput& input, const ChainPlan& plan, const FaxRun& fax, Sink& sink,
                ChainOutcome& outcome);

// The kind of a stream whose chain gave `outcome`.
ContentKind KindOf(const ChainPlan& plan, const ChainOutcome& outcome);
