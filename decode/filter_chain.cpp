// The filter chain. Each step reads the unread bytes of the buffer before it
// and writes into the free room of the buffer after it (the first step reads
// the stored bytes, the last writes into the sink's room), and the chain
// calls the steps in turn until the last one's data ends.
#include "decode/filter_chain.h"

#include <cstring>
#include <memory>
#include <new>
#include <variant>

#include "decode/ascii85.h"
#include "decode/ascii_hex.h"
#include "decode/flate.h"
#include "decode/lzw.h"
#include "decode/png_writer.h"
#include "decode/run_length.h"
#include "decode/tiff_writer.h"
#include "platform/heap_block.h"

namespace {

// Decryption before the filters, the filters after it, then an image's
// predictor and its writer.
constexpr uint32_t MaxSteps = MaxFilterCodes + 3;

using StepState = std::variant<std::monostate, std::unique_ptr<DecryptStage>, std::unique_ptr<Ascii85Stage>,
                               std::unique_ptr<AsciiHexStage>, std::unique_ptr<FlateStage>,
                               std::unique_ptr<LzwStage>, std::unique_ptr<RunLengthStage>,
                               std::unique_ptr<FaxStage>, std::unique_ptr<PredictorStage>,
                               std::unique_ptr<PngWriterStage>, std::unique_ptr<TiffWriterStage>>;

// The bytes between two steps: [start, end) written and not yet read.
struct StepBuffer {
    HeapBlock block;
    size_t start = 0;
    size_t end = 0;
};

struct Chain {
    StepState steps[MaxSteps];
    bool ended[MaxSteps] = {};           // the step's data has ended
    StepBuffer buffers[MaxSteps - 1];    // buffers[i] lies between steps i and i + 1
    uint32_t count = 0;
    bool decrypts = false;               // step 0 is the decryption
};

bool UndoesPredictor(const ChainPlan& plan) { return plan.predictor.predictor != PredictorNone; }

// Steps of the plan that undo a filter.
uint32_t FilterSteps(const ChainPlan& plan) {
    return plan.steps - (plan.decrypts ? 1 : 0) - (UndoesPredictor(plan) ? 1 : 0) - (plan.image ? 1 : 0);
}

// Whether a code's step changes the bytes; JPEG data stays as stored.
bool Transforms(FilterCode code) { return code != FilterCode::Dct; }

// Makes the state of every step and starts it. May throw std::bad_alloc.
Status StartSteps(const StreamInput& input, const ChainPlan& plan, const FaxRun& fax, Chain& chain) {
    uint32_t at = 0;
    chain.decrypts = plan.decrypts;
    if (plan.decrypts) {
        auto& stage = chain.steps[at++].emplace<std::unique_ptr<DecryptStage>>(new DecryptStage);
        const Status started = StartDecrypt(*stage, input.key);
        if (started != Status::Ok) return started;
    }
    const uint32_t filters = FilterSteps(plan);
    for (uint32_t i = 0; i < filters; ++i) {
        switch (plan.filters[i]) {
        case FilterCode::Ascii85:
            StartAscii85(*chain.steps[at++].emplace<std::unique_ptr<Ascii85Stage>>(new Ascii85Stage));
            break;
        case FilterCode::AsciiHex:
            StartAsciiHex(*chain.steps[at++].emplace<std::unique_ptr<AsciiHexStage>>(new AsciiHexStage));
            break;
        case FilterCode::Flate: {
            auto& stage = chain.steps[at++].emplace<std::unique_ptr<FlateStage>>(new FlateStage);
            const Status started = StartFlate(*stage);
            if (started != Status::Ok) return started;
            break;
        }
        case FilterCode::Lzw: {
            int32_t earlyChange = 1;
            GetIntValue(input.dictionary, "/EarlyChange", 1, false, earlyChange);
            // The table is filled before it is read: no need to clear it.
            StartLzw(*chain.steps[at++].emplace<std::unique_ptr<LzwStage>>(new LzwStage), earlyChange);
            break;
        }
        case FilterCode::RunLength:
            StartRunLength(*chain.steps[at++].emplace<std::unique_ptr<RunLengthStage>>(new RunLengthStage));
            break;
        case FilterCode::CcittFax:
            StartFax(*chain.steps[at++].emplace<std::unique_ptr<FaxStage>>(new FaxStage), plan.faxParameters, fax.pass,
                     fax.figures);
            break;
        case FilterCode::Dct:
            break;
        }
    }
    if (UndoesPredictor(plan)) {
        auto& stage = chain.steps[at++].emplace<std::unique_ptr<PredictorStage>>(new PredictorStage);
        const Status started = StartPredictor(*stage, plan.predictor);
        if (started != Status::Ok) return started;
    }
    if (plan.image && plan.imageLayout.format == ImageFileFormat::Png) {
        auto& stage = chain.steps[at++].emplace<std::unique_ptr<PngWriterStage>>(new PngWriterStage);
        const Status started = StartPngWriter(*stage, plan.imageLayout);
        if (started != Status::Ok) return started;
    } else if (plan.image) {
        auto& stage = chain.steps[at++].emplace<std::unique_ptr<TiffWriterStage>>(new TiffWriterStage);
        const Status started = StartTiffWriter(*stage, plan.imageLayout);
        if (started != Status::Ok) return started;
    }
    chain.count = at;
    for (uint32_t i = 0; i + 1 < chain.count; ++i) {
        if (!chain.buffers[i].block.Allocate(ChainBufferBytes)) return Status::OutOfMemory;
    }
    return Status::Ok;
}

Status RunStep(StepState& state, Window& window, bool inputEnds) {
    struct Runner {
        Window& window;
        bool inputEnds;
        Status operator()(std::monostate&) const { return Status::InvalidData; }
        Status operator()(std::unique_ptr<DecryptStage>& s) const { return RunDecrypt(*s, window, inputEnds); }
        Status operator()(std::unique_ptr<Ascii85Stage>& s) const { return RunAscii85(*s, window, inputEnds); }
        Status operator()(std::unique_ptr<AsciiHexStage>& s) const { return RunAsciiHex(*s, window, inputEnds); }
        Status operator()(std::unique_ptr<FlateStage>& s) const { return RunFlate(*s, window, inputEnds); }
        Status operator()(std::unique_ptr<LzwStage>& s) const { return RunLzw(*s, window, inputEnds); }
        Status operator()(std::unique_ptr<RunLengthStage>& s) const { return RunRunLength(*s, window, inputEnds); }
        Status operator()(std::unique_ptr<FaxStage>& s) const { return RunFax(*s, window, inputEnds); }
        Status operator()(std::unique_ptr<PredictorStage>& s) const { return RunPredictor(*s, window, inputEnds); }
        Status operator()(std::unique_ptr<PngWriterStage>& s) const { return RunPngWriter(*s, window, inputEnds); }
        Status operator()(std::unique_ptr<TiffWriterStage>& s) const { return RunTiffWriter(*s, window, inputEnds); }
    };
    return std::visit(Runner{window, inputEnds}, state);
}

// Hands the bytes written since the last call to the sink, noting the size
// and the first bytes on the way.
Status Hand(Sink& sink, uint8_t*& regionStart, bool ending, ChainOutcome& outcome) {
    const size_t count = static_cast<size_t>(sink.room - regionStart);
    for (size_t i = 0; i < count && outcome.size + i < ContentHeadBytes; ++i) outcome.head[outcome.size + i] = regionStart[i];
    outcome.size += count;
    const Status taken = sink.take(sink, regionStart, count, ending);
    regionStart = sink.room;
    if (taken == Status::Ok && !ending && sink.roomLeft == 0) return Status::InvalidData;
    return taken;
}

// Moves a buffer's unread bytes to its front once half of it has been read,
// so that the step before it has room again. Never sooner: a step after it
// that reads a few bytes at a time would have the rest moved at every call.
void MakeRoom(StepBuffer& buffer) {
    if (buffer.start == buffer.end) {
        buffer.start = buffer.end = 0;
        return;
    }
    if (buffer.start >= ChainBufferBytes / 2) {
        std::memmove(buffer.block.Data(), buffer.block.Data() + buffer.start, buffer.end - buffer.start);
        buffer.end -= buffer.start;
        buffer.start = 0;
    }
}

// A chain of no steps: the stored bytes are the decoded ones.
Status HandOverStored(const StreamInput& input, Sink& sink, ChainOutcome& outcome) {
    const uint8_t* next = input.begin;
    uint8_t* regionStart = sink.room;
    for (;;) {
        const size_t left = static_cast<size_t>(input.end - next);
        const size_t chunk = left < sink.roomLeft ? left : sink.roomLeft;
        if (chunk != 0) std::memcpy(sink.room, next, chunk);
        next += chunk;
        sink.room += chunk;
        sink.roomLeft -= chunk;
        const bool ending = next == input.end;
        const Status taken = Hand(sink, regionStart, ending, outcome);
        if (taken != Status::Ok || ending) return taken;
    }
}

Status Drive(const StreamInput& input, Chain& chain, Sink& sink, ChainOutcome& outcome) {
    const uint32_t last = chain.count - 1;
    const uint8_t* storedNext = input.begin;
    uint8_t* regionStart = sink.room;
    for (;;) {
        bool moved = false;
        for (uint32_t i = 0; i <= last; ++i) {
            if (chain.ended[i]) continue;
            Window window;
            bool inputEnds = true;
            if (i == 0) {
                window.nextIn = storedNext;
                window.availIn = static_cast<size_t>(input.end - storedNext);
            } else {
                StepBuffer& before = chain.buffers[i - 1];
                window.nextIn = before.block.Data() + before.start;
                window.availIn = before.end - before.start;
                inputEnds = chain.ended[i - 1];
            }
            if (i == last) {
                window.nextOut = sink.room;
                window.availOut = sink.roomLeft;
            } else {
                StepBuffer& after = chain.buffers[i];
                MakeRoom(after);
                window.nextOut = after.block.Data() + after.end;
                window.availOut = ChainBufferBytes - after.end;
            }
            if (window.availOut == 0 || (window.availIn == 0 && !inputEnds)) continue;

            const size_t inBefore = window.availIn;
            const size_t outBefore = window.availOut;
            const Status status = RunStep(chain.steps[i], window, inputEnds);
            const size_t consumed = inBefore - window.availIn;
            const size_t produced = outBefore - window.availOut;
            if (i == 0) {
                storedNext += consumed;
            } else {
                chain.buffers[i - 1].start += consumed;
            }
            if (i == last) {
                sink.room += produced;
                sink.roomLeft -= produced;
            } else {
                chain.buffers[i].end += produced;
            }
            if (i == 0 && chain.decrypts) outcome.decryptedSize += produced;
            moved = moved || consumed != 0 || produced != 0;
            if (status == Status::End) {
                chain.ended[i] = true;
                moved = true;
            } else if (status != Status::Ok) {
                outcome.failedStep = i;
                return status;
            }
        }
        if (chain.ended[last]) return Hand(sink, regionStart, true, outcome);
        if (sink.roomLeft == 0) {
            const Status taken = Hand(sink, regionStart, false, outcome);
            if (taken != Status::Ok) return taken;
            continue;
        }
        // Every step had what it needed and none moved: a step broke its contract.
        if (!moved) return Status::InvalidData;
    }
}

}  // namespace

ChainPlan PlanChain(const StreamInput& input) {
    ChainPlan plan;
    plan.decrypts = input.key.cipher != StreamCipher::None;
    plan.xml = input.filters.xml;
    uint32_t filters = 0;
    for (uint32_t i = 0; i < input.filters.count; ++i) {
        const FilterCode code = input.filters.codes[i];
        if (code == FilterCode::CcittFax) {
            plan.faxParameters = ReadFaxParameters(input.dictionary);
            // An image mask's fax data is delivered as stored; and the fax step
            // is final, so later filters never run.
            plan.fax = !plan.faxParameters.imageMask;
            if (plan.fax) plan.filters[filters++] = code;
            break;
        }
        if (Transforms(code)) plan.filters[filters++] = code;
    }
    plan.steps = filters + (plan.decrypts ? 1 : 0);
    return plan;
}

ChainPlan PlanImageChain(const StreamInput& input, const ImageRun& run) {
    ChainPlan plan;
    if (run.decodes) {
        plan = PlanChain(input);
        if (run.predictor.predictor != PredictorNone) {
            plan.predictor = run.predictor;
            ++plan.steps;
        }
    } else {
        plan.decrypts = input.key.cipher != StreamCipher::None;
        plan.steps = plan.decrypts ? 1 : 0;
    }
    plan.image = true;
    plan.imageLayout = run.layout;
    ++plan.steps;
    return plan;
}

ChainPlan PlanFaxMaskChain(const StreamInput& input, bool paintedIsOne) {
    ChainPlan plan = PlanChain(input);
    const bool faxMask = !plan.fax && plan.faxParameters.imageMask;
    if (!faxMask) return plan;
    plan.fax = true;
    plan.faxParameters.imageMask = false;
    // The header shows the samples as a grey image's, 0 black; a mask whose
    // painted samples are 1 is shown the other way round.
    if (paintedIsOne) plan.faxParameters.blackIs1 = plan.faxParameters.blackIs1 != 0 ? 0 : 1;
    plan.filters[plan.steps - (plan.decrypts ? 1 : 0)] = FilterCode::CcittFax;
    ++plan.steps;
    return plan;
}

Status RunChain(const StreamInput& input, const ChainPlan& plan, const FaxRun& fax, Sink& sink,
                ChainOutcome& outcome) {
    outcome = ChainOutcome{};
    try {
        Status status = sink.take(sink, sink.room, 0, false);
        if (status != Status::Ok) return status;
        if (plan.steps == 0) return HandOverStored(input, sink, outcome);
        Chain chain;
        status = StartSteps(input, plan, fax, chain);
        if (status == Status::Ok) status = Drive(input, chain, sink, outcome);
        if (status == Status::Ok && plan.fax && fax.pass == FaxPass::Survey) {
            outcome.fax = SurveyedFigures(*std::get<std::unique_ptr<FaxStage>>(chain.steps[chain.count - 1]));
        }
        return status;
    } catch (const std::bad_alloc&) {
        return Status::OutOfMemory;
    }
}

ContentKind KindOf(const ChainPlan& plan, const ChainOutcome& outcome) {
    const size_t headSize = outcome.size < ContentHeadBytes ? static_cast<size_t>(outcome.size) : ContentHeadBytes;
    return ChooseContentKind(plan.xml, outcome.head, headSize);
}
