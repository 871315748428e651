#include "reiserfs/disk_order.h"

#include <algorithm>
#include <cstring>

namespace dorvak {

namespace {

// The one loop under both readers: `blocks` (sorted, no repeats) in runs of
// near neighbours, one request a run. `slot(k)` names where block k is
// copied from an image file's mapping (null: a scratch block); `visit(k,
// data)` gets each block where it lies, after `mend` had its chance.
template <class Slot, class Visit>
bool readRuns(SectorReader& reader, const VolumeInfo& volume, std::span<const std::uint64_t> blocks,
              const std::atomic<bool>& stop, const BlockMender& mend, Slot slot, Visit visit) {
    const std::size_t blockSize = volume.blockSize();
    if (blockSize == 0) return true;
    const std::uint64_t maxGap = kMaxGapBytes / blockSize;
    const std::uint64_t maxSpan = std::max<std::uint64_t>(1, kMaxRequestBytes / blockSize);
    std::vector<std::uint8_t> buffer, single;
    std::vector<std::uint64_t> unreadable;
    for (std::size_t i = 0; i < blocks.size();) {
        if (stop) return false;
        // The longest run from blocks[i] whose gaps are small and whose span
        // fits one request.
        std::size_t j = i + 1;
        while (j < blocks.size() && blocks[j] - blocks[j - 1] - 1 <= maxGap &&
               blocks[j] - blocks[i] < maxSpan)
            ++j;
        const std::uint64_t span = blocks[j - 1] - blocks[i] + 1;
        // An image file's run is taken from its mapping, block by block:
        // the gaps between them cost nothing when they are in the page cache.
        std::size_t k = i;
        if (reader.beginMappedRun(volume.blockSector(blocks[i]),
                                  std::uint32_t(span * volume.sectorsPerBlock))) {
            for (; k < j; ++k) {
                std::uint8_t* into = slot(k);
                if (!into) {
                    single.resize(blockSize);
                    into = single.data();
                }
                if (!reader.copyMapped(volume.blockSector(blocks[k]) * kSectorSize, into,
                                       blockSize))
                    break; // a page could not be read: the run is read below
                visit(k, std::span<std::uint8_t>(into, blockSize));
            }
            if (k == j) {
                i = j;
                continue;
            }
        }
        buffer.resize(span * blockSize);
        unreadable.clear();
        reader.ReadSectors(volume.blockSector(blocks[i]),
                           std::uint32_t(span * volume.sectorsPerBlock), buffer.data(),
                           mend ? &unreadable : nullptr);
        for (; k < j; ++k) {
            const std::span<std::uint8_t> data(buffer.data() + (blocks[k] - blocks[i]) * blockSize,
                                               blockSize);
            const std::uint64_t first = volume.blockSector(blocks[k]);
            if (std::any_of(unreadable.begin(), unreadable.end(), [&](std::uint64_t s) {
                    return s >= first && s < first + volume.sectorsPerBlock;
                }))
                mend(blocks[k], data);
            visit(k, data);
        }
        i = j;
    }
    return true;
}

} // namespace

bool readBlocksInOrder(SectorReader& reader, const VolumeInfo& volume,
                       const std::vector<std::uint64_t>& blocks, const std::atomic<bool>& stop,
                       const std::function<void(std::uint64_t, Bytes)>& visit,
                       const BlockMender& mend) {
    return readRuns(
        reader, volume, blocks, stop, mend, [](std::size_t) -> std::uint8_t* { return nullptr; },
        [&](std::size_t k, Bytes data) { visit(blocks[k], data); });
}

bool readBlocksInto(SectorReader& reader, const VolumeInfo& volume,
                    std::span<const std::uint64_t> blocks, std::span<std::uint8_t* const> into,
                    const std::atomic<bool>& stop, const BlockMender& mend) {
    const std::size_t blockSize = volume.blockSize();
    return readRuns(
        reader, volume, blocks, stop, mend, [&](std::size_t k) { return into[k]; },
        [&](std::size_t k, Bytes data) {
            if (data.data() != into[k]) std::memcpy(into[k], data.data(), blockSize);
        });
}

std::uint32_t LeafStore::add(std::uint64_t sector, Bytes block) {
    Leaf leaf{sector, std::uint32_t(items_.size()), 0};
    auto head = ReadBlockHead(block);
    for (std::uint32_t i = 0; head && i < head->itemCount; ++i) {
        auto ih = ReadItemHead(block, i);
        if (!ih) break; // heads past the block: the rest is damage
        if (!keeps(*ih, block.size())) continue;
        Item item(*ih);
        if (ih->type == ItemType::StatData || ih->type == ItemType::Directory)
            item.body = bodies_.add(block.data() + ih->itemLocation, ih->itemLength);
        items_.push_back(item);
        ++leaf.itemCount;
    }
    leaves_.push_back(leaf);
    return std::uint32_t(leaves_.size() - 1);
}

bool LeafStore::keeps(const ItemHead& ih, std::size_t blockSize) {
    if (ih.objectId < 2 || ih.dirId == 0 || !ih.knownFormat()) return false;
    return ih.type != ItemType::Other && ih.bodyFits(blockSize);
}

std::uint32_t LeafStore::find(std::uint64_t sector) const {
    auto at = std::lower_bound(leaves_.begin(), leaves_.end(), sector,
                               [](const Leaf& leaf, std::uint64_t s) { return leaf.sector < s; });
    return at != leaves_.end() && at->sector == sector ? std::uint32_t(at - leaves_.begin())
                                                       : kNotKept;
}

void LeafStore::reset() {
    leaves_.clear();
    items_.clear();
    bodies_.clear();
}

} // namespace dorvak
