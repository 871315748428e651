#include "fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dorvak::fuzz::savedScanBytes(data, size);
    return 0;
}
