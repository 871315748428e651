#pragma once
// One bit per block of a volume: which blocks something on the volume
// claims (tree nodes, data blocks that an item names, carved files), or
// which blocks the block scan knows to be in the live tree. A terabyte of
// 4 KiB blocks costs 32 MiB.

#include <algorithm>
#include <cstdint>
#include <vector>

namespace dorvak {

class BlockBitmap {
public:
    explicit BlockBitmap(std::uint64_t blocks) : blocks_(blocks), words_((blocks + 63) / 64) {}
    std::uint64_t size() const { return blocks_; }
    // Blocks past the end are claimed: nothing may be carved from them.
    bool test(std::uint64_t block) const {
        return block >= blocks_ || (words_[block / 64] >> (block % 64) & 1) != 0;
    }
    void set(std::uint64_t block) {
        if (block < blocks_) words_[block / 64] |= std::uint64_t(1) << (block % 64);
    }
    void set(std::uint64_t first, std::uint64_t count) {
        for (std::uint64_t b = first; b < first + count && b < blocks_; ++b)
            set(b);
    }
    // The same bits as a set of the volume's blocks, where a block past the
    // end is never held. insert: whether `block` was not held before (and
    // is now).
    bool insert(std::uint64_t block) {
        if (block >= blocks_ || test(block)) return false;
        set(block);
        return true;
    }
    bool contains(std::uint64_t block) const { return block < blocks_ && test(block); }
    // The first claimed block at or after `from` (size() when none).
    std::uint64_t nextSet(std::uint64_t from) const {
        while (from < blocks_) {
            const std::uint64_t word = words_[from / 64] >> (from % 64);
            if (word != 0) return std::min(blocks_, from + std::uint64_t(__builtin_ctzll(word)));
            from = (from / 64 + 1) * 64;
        }
        return blocks_;
    }
    // The first unclaimed block at or after `from` (size() when none).
    std::uint64_t nextClear(std::uint64_t from) const {
        while (from < blocks_) {
            const std::uint64_t word = ~words_[from / 64] >> (from % 64);
            if (word != 0) return std::min(blocks_, from + std::uint64_t(__builtin_ctzll(word)));
            from = (from / 64 + 1) * 64;
        }
        return blocks_;
    }

private:
    std::uint64_t blocks_;
    std::vector<std::uint64_t> words_;
};

} // namespace dorvak
