#include "document/explain.h"

#include "document/scanner.h"
#include "document/sinks.h"
#include "document/stream_decoding.h"

OpenOutcome ExplainDocument(const WCHAR* path, std::string_view password, DocumentReport& report) {
    report = DocumentReport{};
    std::unique_ptr<Archive> archive;
    OpenOutcome outcome = ReadDocument(path, OpenRequest{DecodeSettings{1, 0}, password}, archive);
    if (outcome.status != Status::Ok) return outcome;
    HeapBlock scratch;
    if (!scratch.Allocate(SinkWindowBytes)) {
        outcome.status = Status::OutOfMemory;
        return outcome;
    }
    ScanReport scanReport;
    archive->scan.report = &scanReport;
    FoundStream found{};
    while (FindNextStream(archive->scan, found)) {
        ++report.streamsFound;
        const StreamInput input = StreamInputFor(*archive, found.dataBegin, found.dataEnd, found.dictionary,
                                                 found.objectNumber, found.generation);
        const ChainPlan plan = PlanChain(input);
        if (plan.steps == 0) continue;
        CountSink counter;
        StartCountSink(counter, scratch.Data());
        FaxRun fax;
        fax.pass = plan.fax ? FaxPass::Survey : FaxPass::Emit;
        ChainOutcome chained;
        const Status status = RunChain(input, plan, fax, counter.sink, chained);
        if (status == Status::Ok) continue;
        const bool inDecryption = plan.decrypts && chained.failedStep == 0;
        const uint32_t filter = chained.failedStep - (plan.decrypts ? 1 : 0);
        report.leftOut.push_back(LeftOutStream{found.objectNumber, found.generation,
                                               archive->bodyOffset + static_cast<uint64_t>(found.dataBegin - archive->body.Data()),
                                               status, inDecryption, inDecryption ? FilterCode::Flate : plan.filters[filter]});
    }
    archive->scan.report = nullptr;
    if (archive->scan.objects.unavailable) outcome.status = Status::OutOfMemory;
    report.notWhole = std::move(scanReport.problems);
    for (ScanProblem& problem : report.notWhole) problem.offset += archive->bodyOffset;
    return outcome;
}
