// The pool that makes an archive's entries. Every thread runs the same step:
// under the archive's tableLock it scans to the next stream and takes it as a
// job; without the lock it decodes; under the lock again it files every
// finished job at the front of the queue, in scan order. The workers repeat
// it until the scan ends; a header call repeats it until its entry is filed.
// The scan never waits for decoding, and filing never waits for the scan.
#include "document/decode_pool.h"

#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "decode/filter_chain.h"
#include "document/decoded_ahead.h"
#include "document/image_entries.h"
#include "document/image_plan.h"
#include "document/kept_bytes.h"
#include "document/scanner.h"
#include "document/sinks.h"
#include "document/stream_decoding.h"

namespace {

// Jobs that may be taken per thread beyond the oldest one not yet filed: enough
// to keep every thread busy behind one slow stream, few enough that finished
// jobs waiting for it hold little.
constexpr size_t JobsAheadPerThread = 2;

struct DecodeJob {
    FoundStream found{};
    bool keep = false;                   // captures its bytes in the thread's slab
    bool done = false;                   // decoded; read and written under the lock
    Status status = Status::Ok;          // how decoding went
    EntryRow row{};                      // the entry it makes, once done
    bool view = false;                   // its bytes are the stored ones
    const uint8_t* captured = nullptr;   // its bytes in a kept block, when it kept them
    uint32_t capturedBlock = 0;          // that block
    DecodedAhead ahead;                  // its bytes held ahead, when it held them
    bool image = false;                  // the viewable mode writes it as an image, as imageRun says
    ImageRun imageRun;
};

// The jobs taken and not yet filed, in scan order, in slots made once when
// the pool starts: taking a job allocates nothing.
class JobRing {
public:
    // False when the slots cannot be had.
    bool Make(size_t capacity) {
        try {
            slots_.resize(capacity);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    size_t Size() const { return count_; }
    bool Empty() const { return count_ == 0; }
    DecodeJob& Front() { return slots_[first_]; }
    DecodeJob& At(size_t index) { return slots_[(first_ + index) % slots_.size()]; }
    // A fresh job behind the others; the caller keeps Size() under the capacity.
    DecodeJob& Add() {
        DecodeJob& job = At(count_++);
        job = DecodeJob{};
        return job;
    }
    // Lets the oldest job go, with whatever it still holds.
    void DropFront() {
        slots_[first_] = DecodeJob{};
        first_ = (first_ + 1) % slots_.size();
        --count_;
    }

private:
    std::vector<DecodeJob> slots_;
    size_t first_ = 0;   // the oldest job's slot
    size_t count_ = 0;   // jobs in the ring
};

// What one thread decodes with, reused for all its jobs.
struct ThreadSpace {
    KeptSlab slab;                       // where its kept entries go
    HeapBlock scratch;                   // counting room for its sinks
};

}  // namespace

struct DecodePool {
    DecodePool(Archive& target, uint32_t threadCount)
        : archive(target), threads(threadCount), jobsAhead(JobsAheadPerThread * threadCount),
          holdAhead(target.settings.holdAhead), budgetLeft(target.budget.Bytes()) {}

    Archive& archive;
    const uint32_t threads;              // the workers and the host's calls
    const size_t jobsAhead;              // most jobs taken and not yet filed
    const bool holdAhead;                // entries not kept are held ahead
    // Everything below is guarded by the archive's tableLock.
    std::condition_variable changed;     // a job was filed, a decode ended, or the table ended
    JobRing jobs;                        // taken and not yet filed, in scan order
    std::vector<ThreadSpace> spaces;     // [0] the host's calls, then one per worker
    bool scanEnded = false;              // the scan reached the document's end, or ran out of memory
    uint64_t budgetLeft;                 // of the archive's share, in scan order
    bool keepingEnded = false;           // an entry did not fit: no later one keeps its bytes
    uint32_t decoding = 0;               // decodes running now
    bool aloneWanted = false;            // a rerun waits for the other decodes to end
    std::atomic<bool> stopping{false};   // the archive goes: decodes end at their next window
    std::vector<std::thread> workers;    // joined when the pool stops
};

namespace {

// The kind of an entry the default rules call `standard`, in the archive's mode.
ContentKind EntryKind(const Archive& archive, DictionaryText dictionary, ContentKind standard, const uint8_t* head,
                      uint64_t size) {
    if (!archive.settings.viewable) return standard;
    const size_t headSize = size < ContentHeadBytes ? static_cast<size_t>(size) : ContentHeadBytes;
    return ChooseViewableKind(standard, dictionary, head, headSize);
}

// The job's entry and its bytes: kept in the thread's slab when it is a
// keeping job and they stay within the limit, else held ahead or counted
// (JobSink). A CCITT fax stream is surveyed first, since its TIFF header
// needs the figures of the whole data, and written only when it is kept.
Status DecodeOnce(DecodePool& pool, ThreadSpace& space, DecodeJob& job) {
    Archive& archive = pool.archive;
    const FoundStream& found = job.found;
    const StreamInput input = StreamInputFor(archive, found.dataBegin, found.dataEnd, found.dictionary,
                                             found.objectNumber, found.generation);
    const ChainPlan plan = PlanEntryChain(archive, input);
    EntryRow& row = job.row;
    row = EntryRow{found.dataBegin, static_cast<uint64_t>(found.dataEnd - found.dataBegin), found.dictionary.data(),
                   found.dictionary.size(), 0, nullptr, found.objectNumber, found.generation, ContentKind::Data, 0,
                   false, 0};
    job.captured = nullptr;
    job.ahead.Release();
    job.image = false;
    if (archive.viewable != nullptr) {
        // A decoded image's file goes where any entry's bytes go: kept, held ahead or counted.
        JobSink output;
        job.capturedBlock = space.slab.block;
        StartJobSink(output, archive, &space.slab, job.keep, pool.holdAhead, space.scratch.Data(), &pool.stopping);
        ListedImage image;
        const Status listed = ListImage(archive, input, ImageListing{space.scratch.Data(), &output.sink}, row, image);
        job.captured = FinishJobSink(output, listed == Status::Ok && image.written, job.ahead);
        if (listed != Status::Ok || image.listed) {
            job.image = image.listed;
            job.imageRun = image.run;
            return listed;
        }
    }

    if (plan.steps == 0) {
        job.view = true;
        row.decodedSize = row.storedLength;
        const size_t head = row.storedLength < ContentHeadBytes ? static_cast<size_t>(row.storedLength) : ContentHeadBytes;
        row.kind = EntryKind(archive, found.dictionary, ChooseContentKind(plan.xml, found.dataBegin, head),
                             found.dataBegin, row.storedLength);
        return Status::Ok;
    }

    ChainOutcome outcome;
    FaxRun fax;
    if (plan.fax) {
        JobSink counter;
        StartJobSink(counter, archive, nullptr, false, false, space.scratch.Data(), &pool.stopping);
        fax.pass = FaxPass::Survey;
        const Status surveyed = RunChain(input, plan, fax, counter.sink, outcome);
        if (surveyed != Status::Ok) return surveyed;
        fax = FaxRun{FaxPass::Emit, outcome.fax};
        row.decodedSize = FaxOutputSize(plan.faxParameters, outcome.fax);
        row.kind = outcome.fax.headerless ? ContentKind::Data : ContentKind::Tiff;
        if (outcome.fax.rewriteRows) row.flags |= EntryFaxRowsRewritten;
        if (outcome.fax.headerless) row.flags |= EntryFaxHeaderless;
        if (!job.keep || row.decodedSize > KeptEntryLimit) return Status::Ok;
    }
    JobSink output;
    job.capturedBlock = space.slab.block;
    StartJobSink(output, archive, &space.slab, job.keep, pool.holdAhead && !plan.fax, space.scratch.Data(),
                 &pool.stopping);
    const Status status = RunChain(input, plan, fax, output.sink, outcome);
    job.captured = FinishJobSink(output, status == Status::Ok, job.ahead);
    row.decodedSize = outcome.size;
    row.kind = EntryKind(archive, found.dictionary, KindOf(plan, outcome), outcome.head, outcome.size);
    return status;
}

// Lets go of the bytes held ahead and, unless a host call reads kept bytes
// now, of every kept byte: the entries filed so far are then decoded again
// at extraction. No later entry keeps its bytes. Lock held, no decode running.
void GiveUpKeptBytes(DecodePool& pool) {
    Archive& archive = pool.archive;
    pool.budgetLeft = 0;
    pool.keepingEnded = true;
    DropDecodedAhead(archive);
    for (size_t i = 0; i < pool.jobs.Size(); ++i) {
        DecodeJob& job = pool.jobs.At(i);
        job.ahead.Release();
        if (!job.done) job.keep = false;
    }
    if (archive.keptReaders != 0) return;
    for (EntryRow& row : archive.entries) {
        if (row.kept && row.keptBytes != nullptr && row.keptBytes != row.storedBegin) {
            row.kept = false;
            row.keptBytes = nullptr;
            ++archive.entriesNotKept;
        }
    }
    for (size_t i = 0; i < pool.jobs.Size(); ++i) pool.jobs.At(i).captured = nullptr;
    for (ThreadSpace& space : pool.spaces) space.slab = KeptSlab{};
    archive.keptBlocks.clear();
    archive.spareKeptBlocks.clear();
    archive.keptBytes = 0;
    archive.keptAhead = 0;
}

// Decodes the job; called and left with the lock held. With other jobs
// running, memory that ran out may have been theirs, so the job is run once
// more while it runs alone; if memory is still short, the entries give up
// the bytes they keep and it runs a last time, only counting.
Status Decode(DecodePool& pool, ThreadSpace& space, DecodeJob& job, std::unique_lock<std::mutex>& held) {
    pool.changed.wait(held, [&] { return !pool.aloneWanted; });
    ++pool.decoding;
    held.unlock();
    Status status = DecodeOnce(pool, space, job);
    held.lock();
    --pool.decoding;
    if (status != Status::OutOfMemory || pool.stopping) return status;
    pool.changed.notify_all();
    pool.changed.wait(held, [&] { return !pool.aloneWanted; });
    pool.aloneWanted = true;
    pool.changed.wait(held, [&] { return pool.decoding == 0; });
    if (pool.threads > 1) {
        held.unlock();
        status = DecodeOnce(pool, space, job);
        held.lock();
    }
    if (status == Status::OutOfMemory && !pool.stopping) {
        GiveUpKeptBytes(pool);
        held.unlock();
        status = DecodeOnce(pool, space, job);
        held.lock();
    }
    pool.aloneWanted = false;
    return status;
}

// No more rows come: the table is complete (End), or could not go on. Lock held.
void EndTable(DecodePool& pool, Status status) {
    Archive& archive = pool.archive;
    if (archive.tableEnded) return;
    archive.tableEnded = true;
    archive.tableStatus = status;
    archive.budget.KeepOnly(archive.keptBytes);
    // A complete table has no job in flight, so no slab or scratch is in use.
    if (status == Status::End) {
        for (ThreadSpace& space : pool.spaces) {
            RetireSlab(archive, space.slab);
            space.scratch.Free();
        }
    }
    pool.changed.notify_all();
}

// Files a finished job as a row of the archive's table, or lets it go. Lock held.
void FileJob(DecodePool& pool, DecodeJob& job) {
    Archive& archive = pool.archive;
    // Bytes captured in a kept block that the entry does not keep leave it.
    const bool inBlock = job.captured != nullptr && !job.view;
    if (archive.tableEnded) {
        if (inBlock) LeaveKeptBlock(archive, job.capturedBlock);
        return;
    }
    if (job.status == Status::OutOfMemory) {
        EndTable(pool, Status::OutOfMemory);
        return;
    }
    // Invalid data leaves the stream out. (Aborted comes only once the pool
    // stops, when the table has ended.)
    if (job.status != Status::Ok) return;
    EntryRow row = job.row;
    const uint64_t size = row.decodedSize;
    bool kept = job.view || size == 0;
    if (!kept && size <= KeptEntryLimit && !pool.keepingEnded) {
        if (size > pool.budgetLeft) {
            pool.keepingEnded = true;
        } else if (job.captured != nullptr) {
            kept = true;
            pool.budgetLeft -= size;
            archive.keptBytes += size;
            archive.keptAhead += size;
        }
    }
    if (kept) {
        row.kept = true;
        row.keptBytes = job.view ? row.storedBegin : job.captured;
        row.keptBlock = job.capturedBlock;
    }
    const bool keptInBlock = kept && inBlock;
    if (inBlock && !keptInBlock) LeaveKeptBlock(archive, job.capturedBlock);
    const uint32_t index = static_cast<uint32_t>(archive.entries.size());
    try {
        if (job.image) {
            row.flags |= EntryImage;
            archive.viewable->plans.push_back(ImagePlanRow{index, job.imageRun});
        }
        try {
            archive.entries.push_back(row);
        } catch (const std::bad_alloc&) {
            if (job.image) archive.viewable->plans.pop_back();
            throw;
        }
    } catch (const std::bad_alloc&) {
        if (kept && !job.view) {
            archive.keptBytes -= size;
            archive.keptAhead -= size;
        }
        if (keptInBlock) LeaveKeptBlock(archive, job.capturedBlock);
        EndTable(pool, Status::OutOfMemory);
        return;
    }
    if (kept) return;
    ++archive.entriesNotKept;
    if (job.ahead.count != 0) {
        job.ahead.row = index;
        QueueDecodedAhead(archive, std::move(job.ahead));
    }
}

void FileFinishedJobs(DecodePool& pool) {
    while (!pool.jobs.Empty() && pool.jobs.Front().done) {
        FileJob(pool, pool.jobs.Front());
        pool.jobs.DropFront();
    }
    // A scan that ended for want of memory did not reach the document's end.
    if (pool.scanEnded && pool.jobs.Empty())
        EndTable(pool, pool.archive.scan.objects.unavailable ? Status::OutOfMemory : Status::End);
}

// Whether a thread may take the next stream now. Lock held.
bool MayTakeJob(const DecodePool& pool) {
    return !pool.scanEnded && !pool.archive.tableEnded && pool.jobs.Size() < pool.jobsAhead;
}

// Whether a worker should wait for the host before it takes another stream:
// with half the chunks held by entries waiting for the host, what it decodes
// now would likely find none free, be only counted and be decoded again at
// its extraction; with as many kept bytes ahead of the host as the chunks
// hold, running further ahead only costs memory. Only what waits for the
// host counts (what the other workers hold while decoding is theirs to give
// back), and the host's header calls, which pass those entries, wake the
// workers; they never wait for a worker so held back, as they decode
// themselves. Lock held.
bool HeldBackByTheHost(const DecodePool& pool) {
    return pool.holdAhead &&
           (pool.archive.keptAhead > DecodeAheadBytes || QueuedAheadBytes(pool.archive) >= DecodeAheadBytes / 2);
}

// Takes the next stream of the scan as a job, or null when there is none or
// no more entries can be filed. Lock held.
DecodeJob* TakeJob(DecodePool& pool, ThreadSpace& space) {
    if (!MayTakeJob(pool)) return nullptr;
    FoundStream found{};
    if (!FindNextStream(pool.archive.scan, found)) {
        pool.scanEnded = true;
        FileFinishedJobs(pool);
        return nullptr;
    }
    DecodeJob& job = pool.jobs.Add();
    job.found = found;
    // A job keeps only while keeping has not ended; one that could not
    // fit would only leave its bytes behind as a hole in the slab.
    job.keep = !pool.keepingEnded && pool.budgetLeft > 0 && ReadySlab(pool.archive, space.slab, KeptEntryLimit + 1);
    return &job;
}

// Decodes a job taken by this thread and files what is finished; called and
// left with the lock held.
void RunJob(DecodePool& pool, ThreadSpace& space, DecodeJob& job, std::unique_lock<std::mutex>& held) {
    const Status status = Decode(pool, space, job, held);
    // Its block is not reused while the job waits to be filed.
    if (job.captured != nullptr && !job.view) ++pool.archive.keptBlocks[job.capturedBlock].entries;
    job.status = status;
    job.done = true;
    FileFinishedJobs(pool);
    pool.changed.notify_all();
}

// The loop every worker runs until the scan or the table ends.
void RunJobs(DecodePool& pool, uint32_t thread) noexcept {
    ThreadSpace& space = pool.spaces[thread];
    std::unique_lock<std::mutex> held(pool.archive.tableLock);
    for (;;) {
        pool.changed.wait(held, [&] {
            return pool.scanEnded || pool.archive.tableEnded || (MayTakeJob(pool) && !HeldBackByTheHost(pool));
        });
        DecodeJob* job = TakeJob(pool, space);
        if (job == nullptr) break;
        RunJob(pool, space, *job, held);
    }
    pool.changed.notify_all();
}

}  // namespace

void DecodePoolStopper::operator()(DecodePool* pool) const {
    Archive& archive = pool->archive;
    {
        std::lock_guard<std::mutex> held(archive.tableLock);
        pool->stopping = true;
        EndTable(*pool, Status::Aborted);
    }
    pool->changed.notify_all();
    for (std::thread& worker : pool->workers) worker.join();
    for (ThreadSpace& space : pool->spaces) RetireSlab(archive, space.slab);
    delete pool;
}

Status StartEntries(Archive& archive) {
    uint32_t threads = archive.settings.threads;
    if (threads < 1) threads = 1;
    if (threads > MaxDecodeThreads) threads = MaxDecodeThreads;
    archive.settings.threads = threads;
    try {
        archive.pool.reset(new DecodePool(archive, threads));
        archive.pool->spaces.resize(threads);
        archive.pool->workers.reserve(threads - 1);
    } catch (const std::bad_alloc&) {
        archive.pool.reset();
        return Status::OutOfMemory;
    }
    DecodePool& pool = *archive.pool;
    if (!pool.jobs.Make(pool.jobsAhead)) {
        archive.pool.reset();
        return Status::OutOfMemory;
    }
    for (ThreadSpace& space : pool.spaces) {
        if (!space.scratch.Allocate(SinkWindowBytes)) {
            archive.pool.reset();
            return Status::OutOfMemory;
        }
    }
    try {
        for (uint32_t i = 1; i < threads; ++i) pool.workers.emplace_back(RunJobs, std::ref(pool), i);
    } catch (...) {
        // Fewer workers, or none, when the system refuses more: only slower.
    }
    return Status::Ok;
}

void FinishEntries(Archive& archive) {
    DecodePool* pool = archive.pool.get();
    if (pool == nullptr) return;
    {
        std::unique_lock<std::mutex> held(archive.tableLock);
        while (!archive.tableEnded) {
            DecodeJob* job = TakeJob(*pool, pool->spaces[0]);
            if (job != nullptr) {
                RunJob(*pool, pool->spaces[0], *job, held);
            } else if (!archive.tableEnded) {
                pool->changed.wait(held);
            }
        }
    }
    archive.pool.reset();
}

void MakeEntries(Archive& archive) {
    if (StartEntries(archive) != Status::Ok) {
        std::lock_guard<std::mutex> held(archive.tableLock);
        archive.tableEnded = true;
        archive.tableStatus = Status::OutOfMemory;
        return;
    }
    FinishEntries(archive);
}

int64_t HandOutNextEntry(Archive& archive) {
    std::unique_lock<std::mutex> held(archive.tableLock);
    DecodePool* pool = archive.pool.get();
    const uint32_t next = archive.handedOut;
    while (pool != nullptr && next >= archive.entries.size() && !archive.tableEnded) {
        DecodeJob* job = TakeJob(*pool, pool->spaces[0]);
        if (job != nullptr) {
            RunJob(*pool, pool->spaces[0], *job, held);
        } else if (next >= archive.entries.size() && !archive.tableEnded) {
            pool->changed.wait(held);
        }
    }
    if (next >= archive.entries.size()) {
        // The pool's work is done: its threads go now rather than at the close.
        held.unlock();
        archive.pool.reset();
        return -1;
    }
    ++archive.handedOut;
    // The host is done with the entries before this one, unless it comes back
    // by name: what they hold goes, and their blocks and chunks are reused.
    for (; archive.rowsPassed < next; ++archive.rowsPassed) PassKeptEntry(archive, archive.entries[archive.rowsPassed]);
    PassOverDecodedAhead(archive, next);
    // Workers held back until the host went on may go on now.
    if (pool != nullptr) pool->changed.notify_all();
    return next;
}
