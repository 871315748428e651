// Recover All of each input into a folder in a sandbox made once per run; the
// body aborts when anything lands in the sandbox beside that folder.
#include "fuzz_bodies.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const std::string& sandbox() {
    static const std::string dir = [] {
        std::string base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string tmpl = base + "/dorvak-fuzz-XXXXXX";
        if (!mkdtemp(tmpl.data())) std::abort();
        return tmpl;
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dorvak::fuzz::copyOutBytes(data, size, sandbox());
    return 0;
}
