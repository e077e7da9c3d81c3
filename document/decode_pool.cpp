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
#include <shared_mutex>
#include <thread>
#include <vector>

#include "decode/filter_chain.h"
#include "decode/results.h"
#include "document/scanner.h"
#include "document/stream_decryption.h"

namespace {

// Jobs that may be taken per thread beyond the oldest one not yet filed: enough
// to keep every thread busy behind one slow stream, few enough that finished
// jobs do not pile up waiting for it.
constexpr size_t JobsAheadPerThread = 2;

enum class JobOutcome : uint8_t {
    Pending,           // being decoded
    Decoded,           // becomes an entry
    Failed,            // invalid data: left out
    OutOfMemory,       // a decoder's block could not be had: left out
    OutOfRuntimeMemory,  // the runtime's allocator failed (LZW table): the list ends here
};

struct DecodeJob {
    FoundStream found{};
    DecodedStream decoded{};
    JobOutcome outcome = JobOutcome::Pending;  // read and written under the pool's lock once decoded
};

struct DecodePool {
    DecodePool(PdfArchive& target, uint32_t threads)
        : archive(target), parallel(threads > 1), jobsAhead(JobsAheadPerThread * threads) {}

    PdfArchive& archive;
    const bool parallel;              // a job that ran out of memory is run again on its own
    const size_t jobsAhead;           // most jobs taken and not yet filed
    std::mutex lock;                  // guards the scan, the queue, the counts, the flags and the entries' bytes
    std::condition_variable jobsFiled;
    std::deque<DecodeJob> jobs;       // taken and not yet filed, in scan order
    uint64_t unfiledBytes = 0;        // decoded bytes that finished jobs in the queue hold
    bool scanEnded = false;           // the scan reached the document's end
    bool listEnded = false;           // no more entries are linked
    std::shared_mutex decodeGate;     // shared by every decode; held alone by a rerun
};

bool RanOutOfMemory(JobOutcome outcome) {
    return outcome == JobOutcome::OutOfMemory || outcome == JobOutcome::OutOfRuntimeMemory;
}

JobOutcome DecodeOnce(const Security& security, DecodeJob& job) {
    try {
        const uint32_t result = DecodeStoredStream(security, job.found.objectNumber, job.found.generation,
                                                   job.found.dataBegin, job.found.dataEnd, job.found.dictionary,
                                                   job.decoded);
        if (result == ResultOk) return JobOutcome::Decoded;
        // zlib that cannot start has run out of memory too.
        if (result == ResultOutOfMemory || result == ResultFlateStartFailed) return JobOutcome::OutOfMemory;
        return JobOutcome::Failed;
    } catch (const std::bad_alloc&) {
        return JobOutcome::OutOfRuntimeMemory;
    }
}

// Whether the entry's bytes lie in one of the archive's kept blocks.
bool ViewsKeptBlocks(const PdfArchive& archive, const StreamEntry& entry) {
    for (const ByteBuffer& block : archive.keptBlocks) {
        if (entry.data.begin >= block.begin && entry.data.begin < block.end) return true;
    }
    return false;
}

// Gives up the bytes every linked entry keeps, to be decoded again when they
// are extracted, and keeps none from now on. Pool lock held.
void GiveUpKeptBytes(DecodePool& pool) {
    PdfArchive& archive = pool.archive;
    for (ListLink* node = archive.entries.next; node != &archive.entries; node = node->next) {
        StreamEntry* entry = EntryFromLink(node);
        if (entry->bytesKept && (entry->data.ownsMemory || ViewsKeptBlocks(archive, *entry))) {
            entry->data.Release();
            entry->bytesKept = false;
            ++archive.entriesNotKept;
        }
    }
    ReleaseKeptBlocks(archive);
    archive.keptBytes = 0;
    archive.settings.keptBytesBudget = 0;
}

// Decodes the job. With other jobs running, memory that ran out may have been
// theirs, so the job is run once more while it runs alone; if memory is still
// short, the entries give up the bytes they keep and it runs a last time.
JobOutcome Decode(DecodePool& pool, DecodeJob& job) {
    JobOutcome outcome;
    {
        std::shared_lock<std::shared_mutex> shared(pool.decodeGate);
        outcome = DecodeOnce(pool.archive.security, job);
    }
    if (!RanOutOfMemory(outcome)) return outcome;
    std::unique_lock<std::shared_mutex> alone(pool.decodeGate);
    if (pool.parallel) outcome = DecodeOnce(pool.archive.security, job);
    if (!RanOutOfMemory(outcome)) return outcome;
    {
        std::lock_guard<std::mutex> held(pool.lock);
        if (pool.archive.keptBytes == 0) return outcome;
        GiveUpKeptBytes(pool);
    }
    return DecodeOnce(pool.archive.security, job);
}

// Turns a finished job into a linked entry, or lets it go. Pool lock held.
void FileJob(DecodePool& pool, DecodeJob& job) {
    ByteBufferGuard bytes(job.decoded.data);  // released unless the entry takes them
    if (pool.listEnded) return;
    if (job.outcome == JobOutcome::OutOfRuntimeMemory) {
        pool.listEnded = true;
        return;
    }
    if (job.outcome != JobOutcome::Decoded) return;
    StreamEntry* entry = nullptr;
    try {
        entry = new StreamEntry{};
    } catch (const std::bad_alloc&) {
        pool.listEnded = true;
        return;
    }
    entry->refCount = 1;
    entry->objectNumber = job.found.objectNumber;
    entry->generation = static_cast<uint16_t>(job.found.generation);
    entry->rawBegin = job.found.dataBegin;
    entry->rawEnd = job.found.dataEnd;
    entry->dictionary = job.found.dictionary;
    entry->filterCount = job.decoded.filterCount;
    entry->extension = job.decoded.extension;
    entry->typeWord = TypeWordStream;
    entry->decodedSize = job.decoded.data.Size();
    // A view of the document costs nothing to keep; a decoded block is kept
    // while it fits in what is left of the budget.
    PdfArchive& archive = pool.archive;
    const bool owned = job.decoded.data.ownsMemory;
    const uint64_t budgetLeft = archive.settings.keptBytesBudget - archive.keptBytes;
    entry->bytesKept = !owned || entry->decodedSize <= budgetLeft;
    if (!entry->bytesKept) {
        ++archive.entriesNotKept;
    } else {
        if (owned) archive.keptBytes += entry->decodedSize;
        // A small decoded block goes back to the heap for the next decode once its bytes are packed.
        if (!owned || entry->decodedSize >= PackedEntryLimit || !PackKeptBytes(archive, job.decoded.data, entry->data)) {
            entry->data = TakeBuffer(job.decoded.data);
        }
    }
    LinkEntry(archive, entry);
    ReleaseEntry(entry);  // the list's reference remains
}

// Files the finished jobs at the front of the queue. Pool lock held.
void FileFinishedJobs(DecodePool& pool) {
    while (!pool.jobs.empty() && pool.jobs.front().outcome != JobOutcome::Pending) {
        pool.unfiledBytes -= pool.jobs.front().decoded.data.Size();
        FileJob(pool, pool.jobs.front());
        pool.jobs.pop_front();
    }
}

// Whether another job may be taken: not while finished jobs already hold
// their share of jobs or bytes waiting for an earlier one. Pool lock held.
bool RoomForAnotherJob(const DecodePool& pool) {
    return pool.jobs.empty() || (pool.jobs.size() < pool.jobsAhead && pool.unfiledBytes < DecodedAheadAllowance);
}

// Takes the next stream of the scan as a job, or null when there is none or
// no more entries can be linked. Pool lock held.
DecodeJob* TakeJob(DecodePool& pool, std::unique_lock<std::mutex>& held) {
    pool.jobsFiled.wait(held, [&] { return pool.scanEnded || pool.listEnded || RoomForAnotherJob(pool); });
    if (pool.scanEnded || pool.listEnded) return nullptr;
    FoundStream found{};
    if (!FindNextStream(pool.archive, found)) {
        pool.scanEnded = true;
        return nullptr;
    }
    try {
        DecodeJob& job = pool.jobs.emplace_back();
        job.found = found;
        return &job;
    } catch (const std::bad_alloc&) {
        pool.listEnded = true;
        return nullptr;
    }
}

// The loop every thread of the pool runs until the scan or the list ends.
void RunJobs(DecodePool& pool) noexcept {
    for (;;) {
        DecodeJob* job = nullptr;
        {
            std::unique_lock<std::mutex> held(pool.lock);
            job = TakeJob(pool, held);
            if (job == nullptr) {
                pool.jobsFiled.notify_all();
                return;
            }
        }
        const JobOutcome outcome = Decode(pool, *job);
        {
            std::lock_guard<std::mutex> held(pool.lock);
            job->outcome = outcome;
            pool.unfiledBytes += job->decoded.data.Size();
            FileFinishedJobs(pool);
        }
        pool.jobsFiled.notify_all();
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
            for (uint32_t i = 0; i < count; ++i) workers_.emplace_back(RunJobs, std::ref(pool));
        } catch (...) {
        }
    }

private:
    std::vector<std::thread> workers_;
};

}  // namespace

void MakeEntries(PdfArchive& archive, DecodeSettings settings) {
    uint32_t threads = settings.threads;
    if (threads < 1) threads = 1;
    if (threads > MaxDecodeThreads) threads = MaxDecodeThreads;
    archive.settings = DecodeSettings{threads, settings.keptBytesBudget};
    archive.keptBytes = 0;
    archive.entriesNotKept = 0;
    try {
        DecodePool pool(archive, threads);
        {
            WorkerThreads workers;
            workers.Start(pool, threads - 1);
            RunJobs(pool);
        }
        CloseKeptBlocks(archive);
    } catch (const std::bad_alloc&) {
        // Only the pool's own queue can fail to start; the list is then empty.
    }
    IndexEntriesByNumber(archive);
}
