#include "reiserfs/disk_order.h"

#include <algorithm>

namespace dorvak {

bool readBlocksInOrder(SectorReader& reader, const VolumeInfo& volume,
                       const std::vector<std::uint64_t>& blocks, const std::atomic<bool>& stop,
                       const std::function<void(std::uint64_t, Bytes)>& visit,
                       const BlockMender& mend) {
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
            single.resize(blockSize);
            for (; k < j; ++k) {
                if (!reader.copyMapped(volume.blockSector(blocks[k]) * kSectorSize, single.data(),
                                       blockSize))
                    break; // a page could not be read: the run is read below
                visit(blocks[k], single);
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
            visit(blocks[k], data);
        }
        i = j;
    }
    return true;
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

void KeptLeaf::fill(Bytes block) {
    items.clear();
    bodies.clear();
    auto head = ReadBlockHead(block);
    // Room for what is kept, counted first: growing by doubling would cost
    // a few allocations and copies a leaf, and up to twice the memory.
    std::size_t kept = 0, bodyBytes = 0;
    for (std::uint32_t i = 0; head && i < head->itemCount; ++i) {
        auto ih = ReadItemHead(block, i);
        if (!ih) break;
        if (!LeafStore::keeps(*ih, block.size())) continue;
        ++kept;
        if (ih->type == ItemType::StatData || ih->type == ItemType::Directory)
            bodyBytes += ih->itemLength;
    }
    items.reserve(kept);
    bodies.reserve(bodyBytes);
    for (std::uint32_t i = 0; head && i < head->itemCount; ++i) {
        auto ih = ReadItemHead(block, i);
        if (!ih) break; // heads past the block: the rest is damage
        if (!LeafStore::keeps(*ih, block.size())) continue;
        LeafStore::Item item(*ih);
        if (ih->type == ItemType::StatData || ih->type == ItemType::Directory) {
            item.body = std::uint32_t(bodies.size());
            bodies.insert(bodies.end(), block.data() + ih->itemLocation,
                          block.data() + ih->itemLocation + ih->itemLength);
        }
        items.push_back(item);
    }
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
