#pragma once
// IndexTable: an open-addressed hash set of 32-bit indices into a list the
// caller owns, hashed and compared through the elements they index. Four
// bytes a slot and at most half full, where a node-based set of a million
// indices costs ten times that. TaggedIndexTable keeps 32 bits of each
// index's hash beside it (eight bytes a slot): a probe then looks at an
// element only when those bits agree, and growing hashes nothing again, for
// a table whose elements are dear to reach or to hash.

#include <cstdint>
#include <type_traits>
#include <vector>

namespace dorvak {

template <bool Tagged> class BasicIndexTable {
public:
    static constexpr std::uint32_t kNone = ~std::uint32_t(0);

    // The first index whose element `matches`, among those hashed alike; or
    // kNone.
    template <class Match> std::uint32_t find(std::size_t hash, Match&& matches) const {
        if (slots_.empty()) return kNone;
        const std::uint32_t tag = tagOf(hash);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = home(tag);; at = (at + 1) & mask) {
            const std::uint32_t index = indexOf(slots_[at]);
            if (index == kNone) return kNone;
            if (sameTag(slots_[at], tag) && matches(index)) return index;
        }
    }
    // Asks for the cache line where a find of `hash` starts.
    void prefetch(std::size_t hash) const {
        if (!slots_.empty()) __builtin_prefetch(&slots_[home(tagOf(hash))]);
    }
    // Adds `index` (not kNone) whose element hashes to `hash`; `hashOf`
    // hashes the elements already in, for when an untagged table grows.
    template <class HashOf> void insert(std::uint32_t index, std::size_t hash, HashOf&& hashOf) {
        if ((count_ + 1) * 2 > slots_.size()) grow(hashOf);
        place(index, tagOf(hash));
        ++count_;
    }
    std::size_t size() const { return count_; }
    void clear() {
        slots_ = {};
        count_ = 0;
        bits_ = 0;
    }

private:
    struct TaggedSlot {
        std::uint32_t index = kNone;
        std::uint32_t tag = 0;
    };
    using Slot = std::conditional_t<Tagged, TaggedSlot, std::uint32_t>;
    static std::uint32_t indexOf(const Slot& s) {
        if constexpr (Tagged)
            return s.index;
        else
            return s;
    }
    static bool sameTag(const Slot& s, std::uint32_t tag) {
        if constexpr (Tagged)
            return s.tag == tag;
        else
            return true;
    }
    // The top bits of a hash's product with the golden ratio, which mixes a
    // weak hash (an integer key) well enough; a slot's home is their top
    // `bits_`.
    static std::uint32_t tagOf(std::size_t hash) {
        return std::uint32_t((std::uint64_t(hash) * 0x9E3779B97F4A7C15ull) >> 32);
    }
    std::size_t home(std::uint32_t tag) const {
        return bits_ <= 32 ? tag >> (32 - bits_) : std::size_t(tag) << (bits_ - 32);
    }
    void place(std::uint32_t index, std::uint32_t tag) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t at = home(tag);
        while (indexOf(slots_[at]) != kNone)
            at = (at + 1) & mask;
        if constexpr (Tagged)
            slots_[at] = {index, tag};
        else
            slots_[at] = index;
    }
    template <class HashOf> void grow(HashOf& hashOf) {
        std::vector<Slot> old(std::size_t(1) << (bits_ ? bits_ + 1 : 10), Slot{kNone});
        old.swap(slots_);
        bits_ = bits_ ? bits_ + 1 : 10;
        for (const Slot& s : old) {
            if (indexOf(s) == kNone) continue;
            if constexpr (Tagged)
                place(s.index, s.tag);
            else
                place(s, tagOf(hashOf(s)));
        }
    }

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
    unsigned bits_ = 0;
};

using IndexTable = BasicIndexTable<false>;
using TaggedIndexTable = BasicIndexTable<true>;

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
