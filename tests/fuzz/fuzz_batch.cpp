#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    varnel::fuzz::checkBatch(data, size);
    return 0;
}
