#pragma once
// A carving candidate held in memory, for the walkers' tests and fuzz body.

#include "carve/format_walker.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace dorvak::test {

class CarveBytes : public carve::CarveInput {
public:
    explicit CarveBytes(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return bytes_.size(); }
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (offset >= bytes_.size()) return 0;
        const std::size_t n = std::min<std::uint64_t>(out.size(), bytes_.size() - offset);
        std::memcpy(out.data(), bytes_.data() + offset, n);
        return n;
    }

private:
    std::vector<std::uint8_t> bytes_;
};

} // namespace dorvak::test
