#include "document/stream_decoding.h"

#include "document/image_entries.h"
#include "document/image_plan.h"

StreamInput StreamInputFor(const Archive& archive, const uint8_t* begin, const uint8_t* end,
                           DictionaryText dictionary, uint32_t objectNumber, uint32_t generation) {
    StreamInput input;
    input.begin = begin;
    input.end = end;
    input.dictionary = dictionary;
    input.filters = ParseFilterList(dictionary);
    input.key = KeyForStream(archive.security, objectNumber, generation, dictionary);
    return input;
}

Status DecodeEntryAgain(Archive& archive, uint32_t rowIndex, Sink& sink) {
    const EntryRow& row = RowAt(archive, rowIndex);
    const StreamInput input = StreamInputFor(archive, row.storedBegin, row.storedBegin + row.storedLength,
                                             EntryDictionary(row), row.objectNumber, row.generation);
    ImageRun image;
    const bool isImage = (row.flags & EntryImage) != 0 && FindImageRun(archive, rowIndex, image);
    const ChainPlan plan = isImage ? PlanImageChain(input, image) : PlanEntryChain(archive, input);
    FaxRun fax;
    if (plan.fax) {
        fax.figures.rewriteRows = (row.flags & EntryFaxRowsRewritten) != 0;
        fax.figures.headerless = (row.flags & EntryFaxHeaderless) != 0;
        fax.figures.dataLength = row.decodedSize - (fax.figures.headerless ? 0 : FaxHeaderSize(plan.faxParameters));
    }
    ChainOutcome outcome;
    const Status status = RunChain(input, plan, fax, sink, outcome);
    if (status != Status::Ok) return status;
    return outcome.size == row.decodedSize ? Status::Ok : Status::InvalidData;
}
