#include "document/image_entries.h"

#include <algorithm>
#include <mutex>

#include "document/image_plan.h"
#include "document/sinks.h"

namespace {

constexpr uint8_t LastPngFilter = 4;

// Counts the filters' bytes into scratch room and, with a PNG predictor,
// checks each row's filter byte.
struct RowsCheck {
    Sink sink;
    uint8_t* scratch = nullptr;
    uint64_t rowStride = 0;       // a row and its filter byte; 0 when rows carry none
    uint64_t counted = 0;
    bool filtersValid = true;
};

Status TakeChecked(Sink& sink, const uint8_t* written, size_t count, bool) {
    auto& check = *static_cast<RowsCheck*>(sink.owner);
    if (check.rowStride != 0) {
        // The filter bytes stand at the multiples of the stride.
        uint64_t next = (check.rowStride - check.counted % check.rowStride) % check.rowStride;
        for (; next < count; next += check.rowStride) check.filtersValid = check.filtersValid && written[next] <= LastPngFilter;
    }
    check.counted += count;
    sink.room = check.scratch;
    sink.roomLeft = SinkWindowBytes;
    return Status::Ok;
}

ContentKind KindOf(const ImageRun& run) {
    return run.layout.format == ImageFileFormat::Png ? ContentKind::Png : ContentKind::Tiff;
}

// Runs the image's own chain, which decodes its rows and writes the file.
Status ListDecoded(const StreamInput& input, const ImageListing& where, EntryRow& row, ListedImage& image) {
    const ChainPlan plan = PlanImageChain(input, image.run);
    ChainOutcome outcome;
    const uint64_t size = ImageFileSize(image.run.layout);
    const Status status = RunChain(input, plan, FaxRun{}, *where.output, outcome);
    if (status == Status::OutOfMemory) return status;
    // Rows the data does not hold, or a predictor it does not follow: as the default mode lists it.
    if (status != Status::Ok || outcome.size != size) {
        image = ListedImage{};
        return Status::Ok;
    }
    row.decodedSize = outcome.size;
    row.kind = KindOf(image.run);
    image.listed = true;
    image.written = true;
    return Status::Ok;
}

}  // namespace

Status ListImage(const Archive& archive, const StreamInput& input, const ImageListing& where, EntryRow& row,
                 ListedImage& image) {
    image = ListedImage{};
    if (archive.viewable == nullptr) return Status::Ok;
    const bool planned = PlanImage(archive, *archive.viewable, input, image.run);
    // A plan made short of memory may differ from the one memory would give.
    if (archive.viewable->resolver.outOfMemory) return Status::OutOfMemory;
    if (!planned) return Status::Ok;
    if (image.run.decodes) return ListDecoded(input, where, row, image);

    RowsCheck check;
    check.scratch = where.scratch;
    check.rowStride = IsPngPredictor(image.run.predictor.predictor) ? RowBytes(image.run.layout) + 1 : 0;
    check.sink = Sink{where.scratch, SinkWindowBytes, TakeChecked, &check};
    const ChainPlan plan = PlanChain(input);
    ChainOutcome outcome;
    const Status status = RunChain(input, plan, FaxRun{}, check.sink, outcome);
    if (status != Status::Ok) return status;
    if (outcome.size == WrappedRowsBytes(image.run) && check.filtersValid) {
        ImageLayout& layout = image.run.layout;
        layout.dataLength = plan.decrypts ? outcome.decryptedSize : static_cast<uint64_t>(input.end - input.begin);
        const uint64_t size = ImageFileSize(layout);
        if (size != 0) {
            row.decodedSize = size;
            row.kind = KindOf(image.run);
            image.listed = true;
            return Status::Ok;
        }
    }
    image.run = DecodedRun(image.run);
    if (ImageFileSize(image.run.layout) == 0) {
        image = ListedImage{};
        return Status::Ok;
    }
    return ListDecoded(input, where, row, image);
}

bool FindImageRun(Archive& archive, uint32_t row, ImageRun& run) {
    if (archive.viewable == nullptr) return false;
    // The pool files plans as it files rows, under the same lock.
    std::lock_guard<std::mutex> held(archive.tableLock);
    const std::vector<ImagePlanRow>& plans = archive.viewable->plans;
    const auto found = std::lower_bound(plans.begin(), plans.end(), row,
                                        [](const ImagePlanRow& plan, uint32_t wanted) { return plan.row < wanted; });
    if (found == plans.end() || found->row != row) return false;
    run = found->run;
    return true;
}
