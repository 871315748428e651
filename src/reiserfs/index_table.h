#pragma once
// IndexTable: an open-addressed hash set of 32-bit indices into a list the
// caller owns, hashed and compared through the elements they index. Four
// bytes a slot and at most half full, where a node-based set of a million
// indices costs ten times that.

#include <cstdint>
#include <vector>

namespace dorvak {

class IndexTable {
public:
    static constexpr std::uint32_t kNone = ~std::uint32_t(0);

    // The first index whose element `matches`, among those hashed alike; or
    // kNone.
    template <class Match> std::uint32_t find(std::size_t hash, Match&& matches) const {
        if (slots_.empty()) return kNone;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = home(hash);; at = (at + 1) & mask) {
            if (slots_[at] == kNone) return kNone;
            if (matches(slots_[at])) return slots_[at];
        }
    }
    // Adds `index` (not kNone) whose element hashes to `hash`; `hashOf`
    // hashes the elements already in, for when the table grows.
    template <class HashOf> void insert(std::uint32_t index, std::size_t hash, HashOf&& hashOf) {
        if ((count_ + 1) * 2 > slots_.size()) grow(hashOf);
        place(index, hash);
        ++count_;
    }
    std::size_t size() const { return count_; }
    void clear() {
        slots_ = {};
        count_ = 0;
        bits_ = 0;
    }

private:
    // The slot a hash starts from: the top bits of its product with the
    // golden ratio, which mixes a weak hash (an integer key) well enough.
    std::size_t home(std::size_t hash) const {
        return std::size_t((std::uint64_t(hash) * 0x9E3779B97F4A7C15ull) >> (64 - bits_));
    }
    void place(std::uint32_t index, std::size_t hash) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t at = home(hash);
        while (slots_[at] != kNone)
            at = (at + 1) & mask;
        slots_[at] = index;
    }
    template <class HashOf> void grow(HashOf& hashOf) {
        std::vector<std::uint32_t> old(std::size_t(1) << (bits_ ? bits_ + 1 : 10), kNone);
        old.swap(slots_);
        bits_ = bits_ ? bits_ + 1 : 10;
        for (std::uint32_t v : old)
            if (v != kNone) place(v, hashOf(v));
    }

    std::vector<std::uint32_t> slots_;
    std::size_t count_ = 0;
    unsigned bits_ = 0;
};

} // namespace dorvak

namespace dorvak {

// A set of block numbers, which are 32-bit on this file system: an
// IndexTable of the numbers themselves, 8 bytes an entry where a node-based
// set costs 40. A number past 32 bits names no block and is never held.
class BlockSet {
public:
    // Whether `block` was not held before (and is now).
    bool insert(std::uint64_t block) {
        if (block >= IndexTable::kNone || contains(block)) return false;
        table_.insert(std::uint32_t(block), block, [](std::uint32_t b) { return b; });
        return true;
    }
    bool contains(std::uint64_t block) const {
        return block < IndexTable::kNone &&
               table_.find(block, [&](std::uint32_t b) { return b == block; }) != IndexTable::kNone;
    }
    std::size_t size() const { return table_.size(); }

private:
    IndexTable table_;
};

} // namespace dorvak
