#pragma once
// The journal as a second copy of the tree. Every change to a tree node is
// first logged whole in the journal area, so a node whose own sectors can no
// longer be read often has an identical copy there. The index says, for each
// block that a committed transaction logged, where its newest copy lies; the
// mount consults it only when a node cannot be read.
//
// Journal area (on the volume itself when the superblock's journal device is
// 0): `size` blocks from `first`, followed by the journal header, which
// repeats the superblock's journal parameters at offset 12. Offsets in the
// area wrap around. A transaction:
//   descriptor: 0 u32 transaction id, 4 u32 length (blocks logged), 8 u32
//     mount id, 12 u32 real block numbers, "ReIsErLB" at block size - 12;
//   the logged blocks, one after another;
//   commit: 0 u32 transaction id, 4 u32 length, 8 u32 the real block numbers
//     that did not fit in the descriptor.
// Each list holds up to (block size - 24) / 4 numbers.

#include "disk/sector_reader.h"
#include "disk/volume_info.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <unordered_map>

namespace dorvak {

class JournalIndex {
public:
    // Reads the journal of `volume` once. A journal that is absent, kept on
    // another device, or whose header disagrees with the superblock gives an
    // empty index; a transaction that fails any check is left out, as is one
    // that a newer transaction has partly overwritten.
    static JournalIndex read(SectorReader& reader, const VolumeInfo& volume,
                             const std::atomic<bool>& stop);

    // The journal block holding the newest committed copy of `block`.
    std::optional<std::uint64_t> copyOf(std::uint64_t block) const;
    std::size_t size() const { return copies_.size(); }

private:
    std::unordered_map<std::uint64_t, std::uint64_t> copies_;
};

} // namespace dorvak
