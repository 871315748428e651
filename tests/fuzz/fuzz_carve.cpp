#include "fuzz_carve_body.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dorvak::fuzz::carveBytes(data, size);
    return 0;
}
