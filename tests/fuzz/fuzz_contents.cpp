#include "fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dorvak::fuzz::contentsBytes(data, size);
    return 0;
}
