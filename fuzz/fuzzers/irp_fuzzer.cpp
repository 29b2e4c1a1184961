#include "fuzz/checks/FuzzCheck.h"
#include "fuzz/checks/IrpTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return frame::fuzz::RunFuzzInput(analysis::fuzz::CheckIrp, data, size);
}
