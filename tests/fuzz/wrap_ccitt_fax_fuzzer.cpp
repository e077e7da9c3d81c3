// The CCITT fax stage with the dictionary text and the fax data both taken
// from the input (split at its first NUL), run as the chain runs it: a
// survey, then the writing with its figures. Both passes must agree in every
// window, and the writing must give the header and exactly the bytes the
// survey counted.
#include "decode/ccitt_fax.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CapHeapRequests();
    const DictionaryAndData parts = SplitAtNul(data, size);
    const FaxParameters parameters = ReadFaxParameters(parts.dictionaryText);
    const std::string input(reinterpret_cast<const char*>(parts.data), parts.size);
    const StageWindows small = SmallWindows(parts.data, parts.size);

    FaxFigures figures[2];
    StageRun surveys[2];
    for (int i = 0; i < 2; ++i) {
        auto stage = std::make_unique<FaxStage>();
        StartFax(*stage, parameters, FaxPass::Survey, FaxFigures{});
        surveys[i] = RunStage(*stage, RunFax, input, i == 0 ? StageWindows{} : small);
        figures[i] = SurveyedFigures(*stage);
    }
    FuzzSameRuns(surveys[0], surveys[1]);
    if (surveys[0].status == Status::OutOfMemory) return 0;
    FuzzCheck(surveys[0].status == Status::End, "a survey failed");
    FuzzCheck(surveys[0].bytes.empty(), "a survey wrote bytes");
    FuzzCheck(figures[0].rewriteRows == figures[1].rewriteRows && figures[0].dataLength == figures[1].dataLength,
              "small windows surveyed other figures");

    StageRun writings[2];
    for (int i = 0; i < 2; ++i) {
        auto stage = std::make_unique<FaxStage>();
        StartFax(*stage, parameters, FaxPass::Emit, figures[0]);
        writings[i] = RunStage(*stage, RunFax, input, i == 0 ? StageWindows{} : small);
    }
    FuzzSameRuns(writings[0], writings[1]);
    if (writings[0].status == Status::OutOfMemory) return 0;
    FuzzCheck(writings[0].status == Status::End, "a writing with the survey's figures failed");
    FuzzCheck(writings[0].bytes.size() == FaxHeaderSize(parameters) + figures[0].dataLength,
              "the writing's length differs from the survey's");
    if (!figures[0].rewriteRows) {
        FuzzCheck(writings[0].bytes.compare(FaxHeaderSize(parameters), std::string::npos, input) == 0,
                  "data kept as stored was changed");
    }
    return 0;
}
