#include "fuzz_carve_body.h"

#include "carve/format_walker.h"
#include "common/carve_bytes.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace dorvak::fuzz {

namespace {

// The input as the walkers see it, with every read checked against size():
// a walker must never ask for bytes at or past the end.
class StrictInput : public test::CarveBytes {
public:
    using CarveBytes::CarveBytes;
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (offset >= size() || out.empty()) {
            std::fprintf(stderr, "walker read at %llu of %llu\n", (unsigned long long)offset,
                         (unsigned long long)size());
            std::abort();
        }
        return CarveBytes::read(offset, out);
    }
};

} // namespace

int carveBytes(const std::uint8_t* data, std::size_t size) {
    // Walked as a first walk and as a continuation try that skips the
    // checks of the first half (hostile lengths must not slip through there).
    StrictInput first(std::vector<std::uint8_t>(data, data + size));
    StrictInput again(std::vector<std::uint8_t>(data, data + size), size / 2);
    const std::span<const std::uint8_t> head(data, size < 512 ? size : 512);
    int recognised = 0;
    for (const carve::FormatWalker& w : carve::formatWalkers()) {
        w.matches(head);
        for (const StrictInput* in : {&first, &again}) {
            const carve::WalkResult r = w.walk(*in);
            if (r.status == carve::WalkStatus::NotThisFormat) continue;
            if (r.length > size) {
                std::fprintf(stderr, "%s walker claims %llu of %zu bytes\n", w.extension.data(),
                             (unsigned long long)r.length, size);
                std::abort();
            }
            recognised += in == &first;
        }
    }
    carve::walkerFor(head);
    return recognised;
}

} // namespace dorvak::fuzz
