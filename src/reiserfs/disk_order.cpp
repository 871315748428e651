#include "reiserfs/disk_order.h"

#include <algorithm>
#include <cstring>
#include <queue>

namespace dorvak {

namespace {

// The requests `blocks` (sorted, no repeats) are read in: the longest runs
// whose gaps are short and whose span fits one request. Calls `run(i, j)`
// for each, blocks [i, j), until it returns false.
template <class Run>
void forEachRun(std::span<const std::uint64_t> blocks, std::size_t blockSize, Run run) {
    const std::uint64_t maxGap = kMaxGapBytes / blockSize;
    const std::uint64_t maxSpan = std::max<std::uint64_t>(1, kMaxRequestBytes / blockSize);
    for (std::size_t i = 0; i < blocks.size();) {
        std::size_t j = i + 1;
        while (j < blocks.size() && blocks[j] - blocks[j - 1] - 1 <= maxGap &&
               blocks[j] - blocks[i] < maxSpan)
            ++j;
        if (!run(i, j)) return;
        i = j;
    }
}

// The one loop under both readers: `blocks` (sorted, no repeats) in runs of
// near neighbours, one request a run. `slot(k)` names where block k is
// read into (null: a buffer of the run's); `visit(k, data)` gets each block
// where it lies, after `mend` had its chance.
template <class Slot, class Visit>
bool readRuns(SectorReader& reader, const VolumeInfo& volume, std::span<const std::uint64_t> blocks,
              const std::atomic<bool>& stop, const BlockMender& mend, Slot slot, Visit visit) {
    const std::size_t blockSize = volume.blockSize();
    if (blockSize == 0) return true;
    std::vector<std::uint8_t> buffer;
    std::vector<std::uint64_t> unreadable;
    std::vector<RunPiece> pieces;
    bool whole = true;
    forEachRun(blocks, blockSize, [&](std::size_t i, std::size_t j) {
        if (stop) return whole = false;
        const std::uint64_t span = blocks[j - 1] - blocks[i] + 1;
        // An image file's run is read with only its blocks copied out, each
        // where it goes: the gaps cost nothing when they are in the page
        // cache.
        pieces.clear();
        buffer.resize((j - i) * blockSize);
        for (std::size_t k = i; k < j; ++k) {
            std::uint8_t* into = slot(k);
            pieces.push_back(RunPiece{std::size_t(blocks[k] - blocks[i]) * blockSize, blockSize,
                                      into ? into : buffer.data() + (k - i) * blockSize});
        }
        if (reader.readPieces(volume.blockSector(blocks[i]),
                              std::uint32_t(span * volume.sectorsPerBlock), pieces)) {
            for (std::size_t k = i; k < j; ++k)
                visit(k, std::span<std::uint8_t>(pieces[k - i].into, blockSize));
            return true;
        }
        buffer.resize(span * blockSize);
        unreadable.clear();
        reader.ReadSectors(volume.blockSector(blocks[i]),
                           std::uint32_t(span * volume.sectorsPerBlock), buffer.data(),
                           mend ? &unreadable : nullptr);
        for (std::size_t k = i; k < j; ++k) {
            const std::span<std::uint8_t> data(buffer.data() + (blocks[k] - blocks[i]) * blockSize,
                                               blockSize);
            const std::uint64_t first = volume.blockSector(blocks[k]);
            if (std::any_of(unreadable.begin(), unreadable.end(), [&](std::uint64_t s) {
                    return s >= first && s < first + volume.sectorsPerBlock;
                }))
                mend(blocks[k], data);
            visit(k, data);
        }
        return true;
    });
    return whole;
}

} // namespace

ReadCost readCost(std::span<const std::uint64_t> sorted, std::size_t blockSize) {
    ReadCost cost;
    if (blockSize == 0) return cost;
    forEachRun(sorted, blockSize, [&](std::size_t i, std::size_t j) {
        ++cost.requests;
        cost.bytes += (sorted[j - 1] - sorted[i] + 1) * blockSize;
        return true;
    });
    return cost;
}

std::uint64_t sweepRereads(std::span<const std::uint32_t> places, std::size_t capacity) {
    const std::size_t n = places.size();
    std::vector<std::uint8_t> state(n, 0);   // 1 held, 2 dropped
    std::priority_queue<std::uint32_t> held; // furthest ahead first; stale ones skipped
    std::size_t heldCount = 0, cursor = 0;
    std::uint64_t rereads = 0;
    for (const std::uint32_t place : places) {
        if (place == cursor) {
            for (++cursor; cursor < n && state[cursor] != 0; ++cursor) {
                if (state[cursor] == 2) ++rereads;
                if (state[cursor] == 1) --heldCount;
            }
            continue;
        }
        if (heldCount >= capacity) {
            while (!held.empty() && state[held.top()] != 1)
                held.pop();
            if (held.empty() || held.top() < place) {
                state[place] = 2; // it is the furthest ahead
                continue;
            }
            state[held.top()] = 2;
            held.pop();
            --heldCount;
        }
        state[place] = 1;
        held.push(place);
        ++heldCount;
    }
    return rereads;
}

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
                    const std::atomic<bool>& stop,
                    const std::function<void(std::size_t k)>& arrived, const BlockMender& mend) {
    const std::size_t blockSize = volume.blockSize();
    return readRuns(
        reader, volume, blocks, stop, mend, [&](std::size_t k) { return into[k]; },
        [&](std::size_t k, Bytes data) {
            if (data.data() != into[k]) std::memcpy(into[k], data.data(), blockSize);
            arrived(k);
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
