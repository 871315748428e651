#pragma once
// A carving candidate held in memory, for the walkers' tests and fuzz body.

#include "carve/format_walker.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace dorvak::test {

class CarveBytes : public carve::CarveInput {
public:
    // `checkedBefore`: as if an earlier walk had checked that many bytes.
    explicit CarveBytes(std::vector<std::uint8_t> bytes, std::uint64_t checkedBefore = 0)
        : bytes_(std::move(bytes)), checkedBefore_(checkedBefore) {}
    std::uint64_t size() const override { return bytes_.size(); }
    std::uint64_t checkedBefore() const override { return checkedBefore_; }
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (offset >= bytes_.size()) return 0;
        const std::size_t n = std::min<std::uint64_t>(out.size(), bytes_.size() - offset);
        std::memcpy(out.data(), bytes_.data() + offset, n);
        return n;
    }

private:
    std::vector<std::uint8_t> bytes_;
    std::uint64_t checkedBefore_;
};

} // namespace dorvak::test
