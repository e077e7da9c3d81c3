// The pool that decodes an archive's streams while it is opened. Every thread
// runs the same loop: under the pool's lock it scans to the next stream and
// takes it as a job; without the lock it decodes; under the lock again it
// files every finished job at the front of the queue, in scan order. The scan
// never waits for decoding, and filing never waits for the scan.
#include "document/decode_pool.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "decode/filter_chain.h"
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
    bool done = false;                   // decoded; read and written under the pool's lock
    Status status = Status::Ok;          // how decoding went
    EntryRow row{};                      // the entry it makes, once done
    bool view = false;                   // its bytes are the stored ones
    const uint8_t* captured = nullptr;   // its bytes in a kept block, when it kept them
    bool image = false;                  // the viewable mode writes it as an image, as imageRun says
    ImageRun imageRun;
};

// What one thread decodes with, reused for all its jobs.
struct ThreadSpace {
    KeptSlab slab;                       // where its kept entries go
    HeapBlock scratch;                   // counting room for its sinks
};

struct DecodePool {
    DecodePool(Archive& target, uint32_t threadCount)
        : archive(target), threads(threadCount), jobsAhead(JobsAheadPerThread * threadCount),
          budgetLeft(target.budget.Bytes()) {}

    Archive& archive;
    const uint32_t threads;
    const size_t jobsAhead;              // most jobs taken and not yet filed
    std::mutex lock;                     // guards everything below, the scan and the archive
    std::condition_variable changed;     // a job was filed, a decode ended, or the scan ended
    std::deque<DecodeJob> jobs;          // taken and not yet filed, in scan order
    std::vector<ThreadSpace> spaces;     // one per thread
    bool scanEnded = false;              // the scan reached the document's end
    bool tableEnded = false;             // no more entries are filed
    uint64_t budgetLeft;                 // of the archive's share, in scan order
    bool keepingEnded = false;           // an entry did not fit: no later one keeps its bytes
    uint32_t decoding = 0;               // decodes running now
    bool aloneWanted = false;            // a rerun waits for the other decodes to end
};

// The kind of an entry the default rules call `standard`, in the archive's mode.
ContentKind EntryKind(const Archive& archive, DictionaryText dictionary, ContentKind standard, const uint8_t* head,
                      uint64_t size) {
    if (!archive.settings.viewable) return standard;
    const size_t headSize = size < ContentHeadBytes ? static_cast<size_t>(size) : ContentHeadBytes;
    return ChooseViewableKind(standard, dictionary, head, headSize);
}

// The job's entry and its bytes: counted, or captured in the thread's slab
// when it is a keeping job and they stay within the limit. A CCITT fax
// stream is surveyed first, since its TIFF header needs the figures of the
// whole data, and written only when it is kept.
Status DecodeOnce(const Archive& archive, ThreadSpace& space, DecodeJob& job) {
    const FoundStream& found = job.found;
    const StreamInput input = StreamInputFor(archive, found.dataBegin, found.dataEnd, found.dictionary,
                                             found.objectNumber, found.generation);
    const ChainPlan plan = PlanEntryChain(archive, input);
    EntryRow& row = job.row;
    row = EntryRow{found.dataBegin, static_cast<uint64_t>(found.dataEnd - found.dataBegin), found.dictionary.data(),
                   found.dictionary.size(), 0, nullptr, found.objectNumber, found.generation, ContentKind::Data, 0};
    job.captured = nullptr;
    job.image = false;
    if (archive.viewable != nullptr) {
        ListedImage image;
        const ImageListing where{space.scratch.Data(), job.keep ? &space.slab : nullptr};
        const Status listed = ListImage(archive, input, where, row, image);
        if (listed != Status::Ok || image.listed) {
            job.image = image.listed;
            job.imageRun = image.run;
            job.captured = image.captured;
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

    CountSink counter;
    StartCountSink(counter, space.scratch.Data());
    ChainOutcome outcome;
    FaxRun fax;
    if (plan.fax) {
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
    if (!job.keep) {
        const Status counted = RunChain(input, plan, fax, counter.sink, outcome);
        row.decodedSize = outcome.size;
        row.kind = EntryKind(archive, found.dictionary, KindOf(plan, outcome), outcome.head, outcome.size);
        return counted;
    }
    KeepSink keep;
    StartKeepSink(keep, space.slab, space.scratch.Data());
    const Status kept = RunChain(input, plan, fax, keep.sink, outcome);
    job.captured = FinishKeepSink(keep, kept == Status::Ok);
    row.decodedSize = outcome.size;
    row.kind = EntryKind(archive, found.dictionary, KindOf(plan, outcome), outcome.head, outcome.size);
    return kept;
}

// Lets go of every kept byte: the entries filed so far are decoded again at
// extraction, and no later one keeps its bytes. Pool lock held, no decode running.
void GiveUpKeptBytes(DecodePool& pool) {
    Archive& archive = pool.archive;
    for (EntryRow& row : archive.entries) {
        if ((row.flags & EntryKept) != 0 && row.keptBytes != nullptr && row.keptBytes != row.storedBegin) {
            row.flags = static_cast<uint8_t>(row.flags & ~EntryKept);
            row.keptBytes = nullptr;
            ++archive.entriesNotKept;
        }
    }
    for (DecodeJob& job : pool.jobs) {
        job.captured = nullptr;
        if (!job.done) job.keep = false;
    }
    for (ThreadSpace& space : pool.spaces) space.slab = KeptSlab{};
    archive.keptBlocks.clear();
    archive.keptBytes = 0;
    pool.budgetLeft = 0;
    pool.keepingEnded = true;
}

// Decodes the job. With other jobs running, memory that ran out may have been
// theirs, so the job is run once more while it runs alone; if memory is still
// short, the entries give up the bytes they keep and it runs a last time,
// only counting.
Status Decode(DecodePool& pool, ThreadSpace& space, DecodeJob& job) {
    {
        std::unique_lock<std::mutex> held(pool.lock);
        pool.changed.wait(held, [&] { return !pool.aloneWanted; });
        ++pool.decoding;
    }
    Status status = DecodeOnce(pool.archive, space, job);
    std::unique_lock<std::mutex> held(pool.lock);
    --pool.decoding;
    if (status != Status::OutOfMemory) return status;
    pool.changed.notify_all();
    pool.changed.wait(held, [&] { return !pool.aloneWanted; });
    pool.aloneWanted = true;
    pool.changed.wait(held, [&] { return pool.decoding == 0; });
    if (pool.threads > 1) {
        held.unlock();
        status = DecodeOnce(pool.archive, space, job);
        held.lock();
    }
    if (status == Status::OutOfMemory) {
        GiveUpKeptBytes(pool);
        held.unlock();
        status = DecodeOnce(pool.archive, space, job);
        held.lock();
    }
    pool.aloneWanted = false;
    return status;
}

// Files a finished job as a row of the archive's table, or lets it go. Pool lock held.
void FileJob(DecodePool& pool, DecodeJob& job) {
    if (pool.tableEnded) return;
    if (job.status == Status::OutOfMemory) {
        pool.tableEnded = true;
        return;
    }
    if (job.status != Status::Ok) return;
    Archive& archive = pool.archive;
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
        }
    }
    if (kept) {
        row.flags |= EntryKept;
        row.keptBytes = job.view ? row.storedBegin : job.captured;
    }
    try {
        if (job.image) {
            row.flags |= EntryImage;
            archive.viewable->plans.push_back(ImagePlanRow{static_cast<uint32_t>(archive.entries.size()), job.imageRun});
        }
        try {
            archive.entries.push_back(row);
        } catch (const std::bad_alloc&) {
            if (job.image) archive.viewable->plans.pop_back();
            throw;
        }
    } catch (const std::bad_alloc&) {
        pool.tableEnded = true;
        if (kept && !job.view) archive.keptBytes -= size;
        return;
    }
    if (!kept) ++archive.entriesNotKept;
}

void FileFinishedJobs(DecodePool& pool) {
    while (!pool.jobs.empty() && pool.jobs.front().done) {
        FileJob(pool, pool.jobs.front());
        pool.jobs.pop_front();
    }
}

// Takes the next stream of the scan as a job, or null when there is none or
// no more entries can be filed. Pool lock held.
DecodeJob* TakeJob(DecodePool& pool, ThreadSpace& space, std::unique_lock<std::mutex>& held) {
    pool.changed.wait(held, [&] {
        return pool.scanEnded || pool.tableEnded || pool.jobs.size() < pool.jobsAhead || pool.jobs.front().done;
    });
    FileFinishedJobs(pool);
    if (pool.scanEnded || pool.tableEnded) return nullptr;
    FoundStream found{};
    if (!FindNextStream(pool.archive.scan, found)) {
        pool.scanEnded = true;
        return nullptr;
    }
    try {
        DecodeJob& job = pool.jobs.emplace_back();
        job.found = found;
        // A job keeps only while keeping has not ended; one that could not
        // fit would only leave its bytes behind as a hole in the slab.
        job.keep = !pool.keepingEnded && pool.budgetLeft > 0 &&
                   ReadySlab(pool.archive, space.slab, KeptEntryLimit + 1);
        return &job;
    } catch (const std::bad_alloc&) {
        pool.tableEnded = true;
        return nullptr;
    }
}

// The loop every thread of the pool runs until the scan or the table ends.
void RunJobs(DecodePool& pool, uint32_t thread) noexcept {
    ThreadSpace& space = pool.spaces[thread];
    for (;;) {
        DecodeJob* job = nullptr;
        {
            std::unique_lock<std::mutex> held(pool.lock);
            job = TakeJob(pool, space, held);
            if (job == nullptr) {
                pool.changed.notify_all();
                return;
            }
        }
        const Status status = Decode(pool, space, *job);
        {
            std::lock_guard<std::mutex> held(pool.lock);
            job->status = status;
            job->done = true;
            FileFinishedJobs(pool);
        }
        pool.changed.notify_all();
    }
}

// The pool's extra threads, joined on every way out.
class WorkerThreads {
public:
    WorkerThreads() = default;
    ~WorkerThreads() {
        for (std::thread& worker : workers_) worker.join();
    }
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Starts up to `count` threads running RunJobs; fewer when the system
    // refuses more, which only makes the work slower.
    void Start(DecodePool& pool, uint32_t count) {
        try {
            workers_.reserve(count);
            for (uint32_t i = 1; i <= count; ++i) workers_.emplace_back(RunJobs, std::ref(pool), i);
        } catch (...) {
        }
    }

private:
    std::vector<std::thread> workers_;
};

}  // namespace

void MakeEntries(Archive& archive) {
    uint32_t threads = archive.settings.threads;
    if (threads < 1) threads = 1;
    if (threads > MaxDecodeThreads) threads = MaxDecodeThreads;
    archive.settings.threads = threads;
    try {
        DecodePool pool(archive, threads);
        pool.spaces.resize(threads);
        bool ready = true;
        for (ThreadSpace& space : pool.spaces) ready = ready && space.scratch.Allocate(SinkWindowBytes);
        if (ready) {
            WorkerThreads workers;
            workers.Start(pool, threads - 1);
            RunJobs(pool, 0);
        }
        for (ThreadSpace& space : pool.spaces) RetireSlab(archive, space.slab);
    } catch (const std::bad_alloc&) {
        // Only the pool's own records can fail to be made; the table is then empty.
    }
    archive.budget.KeepOnly(archive.keptBytes);
    IndexEntriesByNumber(archive);
}
