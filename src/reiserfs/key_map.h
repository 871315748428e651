#pragma once
// KeyMap: an open-addressed map from 64-bit object keys to 32-bit codes,
// for the joins of the catalog, which look a key up for every name and every
// stat data of a volume. A node-based map costs an allocation per key, a
// division per lookup and a cache miss per bucket and node; here a lookup is
// a multiply and, nearly always, one cache line. Linear probing, at most
// half full; erasing shifts the probe chain back instead of leaving marks,
// so a map whose keys come and go (names waiting for their stat data) never
// fills up with them.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace dorvak {

class KeyMap {
public:
    // No key maps to this code: it marks a free slot.
    static constexpr std::uint32_t kFree = ~std::uint32_t(0);

    // The code of `key`, or null. Valid until the next insert or erase.
    std::uint32_t* find(std::uint64_t key) {
        if (count_ == 0) return nullptr;
        for (std::size_t at = home(key);; at = (at + 1) & mask_) {
            Slot& s = slots_[at];
            if (s.code == kFree) return nullptr;
            if (s.key == key) return &s.code;
        }
    }
    // Asks for the cache line where a lookup of `key` starts: a leaf's keys
    // are asked for together before its items are joined one by one.
    void prefetch(std::uint64_t key) const {
        if (count_ != 0) __builtin_prefetch(&slots_[home(key)]);
    }
    // Adds `key` with `code` (not kFree), which must not be in the map yet;
    // returns where its code lives, valid until the next insert or erase.
    std::uint32_t* insert(std::uint64_t key, std::uint32_t code) {
        if ((count_ + 1) * 2 > slots_.size()) grow();
        ++count_;
        return place(key, code);
    }
    // Removes `key`, when it is there.
    void erase(std::uint64_t key) {
        if (count_ == 0) return;
        std::size_t hole = home(key);
        for (;; hole = (hole + 1) & mask_) {
            if (slots_[hole].code == kFree) return;
            if (slots_[hole].key == key) break;
        }
        --count_;
        // Moves back every later slot of the chain whose home does not lie
        // between the hole and it, so that no probe meets a gap early.
        for (std::size_t at = (hole + 1) & mask_; slots_[at].code != kFree; at = (at + 1) & mask_) {
            const std::size_t want = home(slots_[at].key);
            const bool stays = hole < at ? hole < want && want <= at : hole < want || want <= at;
            if (stays) continue;
            slots_[hole] = slots_[at];
            hole = at;
        }
        slots_[hole].code = kFree;
    }
    // Calls `visit(key, code)` for every key, in no particular order.
    template <class Visit> void forEach(Visit&& visit) const {
        for (const Slot& s : slots_)
            if (s.code != kFree) visit(s.key, s.code);
    }
    std::size_t size() const { return count_; }
    // Forgets every key and gives the memory back.
    void clear() {
        std::vector<Slot>().swap(slots_);
        count_ = 0;
        mask_ = 0;
        shift_ = 64;
    }

private:
    struct Slot {
        std::uint64_t key = 0;
        std::uint32_t code = kFree;
    };
    // The top bits of the key's product with the golden ratio: object ids
    // count up, and a multiply spreads them over the table.
    std::size_t home(std::uint64_t key) const {
        return std::size_t((key * 0x9E3779B97F4A7C15ull) >> shift_) & mask_;
    }
    std::uint32_t* place(std::uint64_t key, std::uint32_t code) {
        std::size_t at = home(key);
        while (slots_[at].code != kFree)
            at = (at + 1) & mask_;
        slots_[at] = {key, code};
        return &slots_[at].code;
    }
    void grow() {
        const std::size_t size = slots_.empty() ? 1024 : slots_.size() * 2;
        std::vector<Slot> old(size);
        old.swap(slots_);
        mask_ = size - 1;
        shift_ = 64;
        for (std::size_t n = size; n > 1; n >>= 1)
            --shift_;
        for (const Slot& s : old)
            if (s.code != kFree) place(s.key, s.code);
    }

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
    std::size_t mask_ = 0;
    unsigned shift_ = 64;
};

} // namespace dorvak
