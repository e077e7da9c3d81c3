#include "document/sinks.h"

namespace {

Status TakeCounted(Sink& sink, const uint8_t*, size_t, bool) {
    auto& counter = *static_cast<CountSink*>(sink.owner);
    sink.room = counter.scratch;
    sink.roomLeft = SinkWindowBytes;
    return Status::Ok;
}

Status TakeIntoMemory(Sink& sink, const uint8_t* written, size_t count, bool ending) {
    auto& memory = *static_cast<MemorySink*>(sink.owner);
    // A byte in the probe is one more than the block was made for.
    if (written == memory.probe && count != 0) return Status::InvalidData;
    memory.filled += count;
    const uint64_t left = memory.size - memory.filled;
    if (ending) return left == 0 ? Status::Ok : Status::InvalidData;
    if (left == 0) {
        // The last step may need room to find that its data has ended.
        sink.room = memory.probe;
        sink.roomLeft = sizeof memory.probe;
        return Status::Ok;
    }
    sink.room = memory.begin + memory.filled;
    sink.roomLeft = left < SIZE_MAX ? static_cast<size_t>(left) : SIZE_MAX;
    return Status::Ok;
}

// One write and its report.
Status WriteOnce(FileSink& output, const uint8_t* bytes, DWORD size) {
    // Wine reports a write that a full disk cut short as done, with fewer
    // bytes and the code of an earlier call left behind; writing the rest
    // fails with the cause.
    for (DWORD done = 0; done < size;) {
        DWORD written = 0;
        const BOOL wrote = WriteFile(output.file, bytes + done, size - done, &written, nullptr);
        if (!wrote || written == 0) {
            output.systemError = wrote ? 0 : GetLastError();
            return Status::IoError;
        }
        done += written;
    }
    output.written += size;
    if (output.progress.report != nullptr && !output.progress.report(output.progress.context, size)) {
        return Status::Aborted;
    }
    return Status::Ok;
}

Status TakeIntoFile(Sink& sink, const uint8_t* written, size_t count, bool) {
    auto& output = *static_cast<FileSink*>(sink.owner);
    if (count != 0) {
        const Status status = WriteOnce(output, written, static_cast<DWORD>(count));
        if (status != Status::Ok) return status;
    }
    sink.room = output.window.Data();
    sink.roomLeft = SinkWindowBytes;
    return Status::Ok;
}

}  // namespace

void StartCountSink(CountSink& counter, uint8_t* scratch) {
    counter.scratch = scratch;
    counter.sink = Sink{scratch, SinkWindowBytes, TakeCounted, &counter};
}

void StartMemorySink(MemorySink& memory, uint8_t* begin, uint64_t size) {
    memory.begin = begin;
    memory.size = size;
    memory.filled = 0;
    memory.sink = Sink{begin, 0, TakeIntoMemory, &memory};
}

Status StartFileSink(FileSink& output, HANDLE file, Progress progress) {
    output.file = file;
    output.progress = progress;
    output.written = 0;
    output.systemError = 0;
    if (!output.window.Allocate(SinkWindowBytes)) return Status::OutOfMemory;
    output.sink = Sink{output.window.Data(), SinkWindowBytes, TakeIntoFile, &output};
    return Status::Ok;
}

Status WriteToFile(FileSink& output, const uint8_t* bytes, uint64_t size) {
    for (uint64_t done = 0; done < size;) {
        const uint64_t left = size - done;
        const DWORD chunk = static_cast<DWORD>(left < SinkWindowBytes ? left : SinkWindowBytes);
        const Status status = WriteOnce(output, bytes + done, chunk);
        if (status != Status::Ok) return status;
        done += chunk;
    }
    return Status::Ok;
}
