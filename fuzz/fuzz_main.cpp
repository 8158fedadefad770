// The libFuzzer entry of one target; FS_FUZZ_BODY names its body.
#include "targets/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FS_FUZZ_BODY(data, size);
    return 0;
}
