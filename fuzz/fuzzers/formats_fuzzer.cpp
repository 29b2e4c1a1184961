#include "fuzz/checks/FormatsTarget.h"
#include "fuzz/checks/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return frame::fuzz::RunFuzzInput(frame::fuzz::CheckFormats, data, size);
}
