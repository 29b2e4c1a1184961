#include "fuzz/checks/AnalysisTarget.h"
#include "fuzz/checks/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return frame::fuzz::RunFuzzInput(analysis::fuzz::CheckAnalysis, data, size);
}
