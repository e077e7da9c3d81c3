// The filter chain over arbitrary stream bytes, with the dictionary text taken
// from the input too (split at its first NUL), as the decode pool runs it:
// a fax stream surveyed first, then written. The sink's room is small (its
// size taken from the input) and large in turn: both must give the same
// status and the same bytes, and the bytes as many as the chain counted.
#include <string>

#include "decode/filter_chain.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// Keeps what it is given, offering `room` bytes at a time in a block of its
// own, up to `limit` bytes; past them it stops the chain.
struct CollectingSink {
    Sink sink;
    size_t room = 0;
    size_t limit = 0;
    bool cutShort = false;
    std::string window;
    std::string bytes;
};

Status TakeCollected(Sink& sink, const uint8_t* written, size_t count, bool) {
    auto& target = *static_cast<CollectingSink*>(sink.owner);
    if (target.bytes.size() + count > target.limit) {
        target.cutShort = true;
        return Status::Aborted;
    }
    target.bytes.append(reinterpret_cast<const char*>(written), count);
    target.window.assign(target.room, '\0');
    sink.room = reinterpret_cast<uint8_t*>(target.window.data());
    sink.roomLeft = target.room;
    return Status::Ok;
}

struct Run {
    Status status;
    std::string bytes;
    bool cutShort;
};

Run RunWithRoom(const StreamInput& input, const ChainPlan& plan, size_t room, size_t limit) {
    CollectingSink target;
    target.sink = Sink{nullptr, 0, TakeCollected, &target};
    target.room = room;
    target.limit = limit;
    ChainOutcome outcome;
    FaxRun fax;
    if (plan.fax) {
        fax.pass = FaxPass::Survey;
        const Status surveyed = RunChain(input, plan, fax, target.sink, outcome);
        FuzzCheck(target.bytes.empty(), "a survey wrote bytes");
        if (surveyed != Status::Ok) return Run{surveyed, {}, false};
        fax = FaxRun{FaxPass::Emit, outcome.fax};
    }
    const Status status = RunChain(input, plan, fax, target.sink, outcome);
    if (status == Status::Ok) FuzzCheck(outcome.size == target.bytes.size(), "the chain miscounted its bytes");
    return Run{status, target.bytes, target.cutShort};
}

// Stacked expanding filters reach gigabytes from a hundred bytes, and past a
// few mebibytes more data only costs time. So the runs keep this much (in
// rooms of a few bytes, a quarter of a mebibyte already passes every buffer
// of the chain many times), and where a fax step would read more than this,
// the target runs the chain without it: a fax step reads its data twice
// (surveyed, then written), and its long data has tests of its own.
constexpr size_t SmallRoomOutput = size_t{256} << 10;
constexpr size_t LargeRoomOutput = size_t{4} << 20;
constexpr size_t LongestFaxInput = size_t{8} << 20;

// The plan without its fax step, when the data that step reads runs past
// LongestFaxInput; otherwise the plan as it is.
ChainPlan WithoutLongFax(const StreamInput& input, const ChainPlan& plan) {
    if (!plan.fax) return plan;
    ChainPlan before = plan;
    before.fax = false;
    before.steps -= 1;
    return RunWithRoom(input, before, 65536, LongestFaxInput).cutShort ? before : plan;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CapHeapRequests();
    const DictionaryAndData parts = SplitAtNul(data, size);
    const TextCopy dictionary(reinterpret_cast<const uint8_t*>(parts.dictionaryText.data()),
                              parts.dictionaryText.size());
    const ExactCopy copy(parts.data, parts.size);

    StreamInput input;
    input.begin = copy.begin();
    input.end = copy.end();
    input.dictionary = dictionary.view();
    input.filters = ParseFilterList(input.dictionary);
    const ChainPlan whole = PlanChain(input);
    FuzzCheck(whole.steps <= MaxFilterCodes, "more steps than filters");
    const ChainPlan plan = WithoutLongFax(input, whole);

    const size_t smallRoom = 1 + (size == 0 ? 0 : data[size - 1] % 61);
    const Run small = RunWithRoom(input, plan, smallRoom, SmallRoomOutput);
    const Run large = RunWithRoom(input, plan, 65536, LargeRoomOutput);
    for (const Run* run : {&small, &large}) {
        FuzzCheck(run->status == Status::Ok || run->status == Status::InvalidData || run->status == Status::OutOfMemory ||
                      run->cutShort,
                  "a status the chain does not answer");
    }
    // Memory is short differently for different rooms; anything else must agree.
    if (small.status != Status::OutOfMemory && large.status != Status::OutOfMemory && !large.cutShort) {
        if (small.cutShort) {
            FuzzCheck(large.bytes.compare(0, small.bytes.size(), small.bytes) == 0, "the room's size changed the bytes");
        } else {
            FuzzCheck(small.status == large.status, "the room's size changed the status");
            if (large.status == Status::Ok) FuzzCheck(small.bytes == large.bytes, "the room's size changed the bytes");
        }
    }
    FuzzCheck(copy.Unchanged(parts.data), "the stored bytes were changed");
    if (plan.steps == 0 && large.status == Status::Ok) {
        FuzzCheck(large.bytes == std::string(reinterpret_cast<const char*>(parts.data), parts.size),
                  "a chain of no steps changed the bytes");
    }
    return 0;
}
