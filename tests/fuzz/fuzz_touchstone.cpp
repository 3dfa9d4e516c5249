#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    varnel::fuzz::checkTouchstone(data, size);
    return 0;
}
