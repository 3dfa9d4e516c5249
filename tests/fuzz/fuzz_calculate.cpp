#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    varnel::fuzz::checkCalculate(data, size);
    return 0;
}
