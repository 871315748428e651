#include "reiserfs/mount.h"

#include "reiserfs/disk_order.h"
#include "reiserfs/structures.h"

#include <algorithm>
#include <deque>
#include <malloc.h>
#include <new>
#include <unordered_map>

namespace dorvak {
namespace {

// Children that lie next to each other on disk are read in one request of at
// most this many bytes; the order of processing stays the pointer order.
constexpr std::size_t kReadAheadBytes = 1 << 20;
// Internal nodes exist at levels 2 to 5; a root leaf has level 1.
constexpr std::uint16_t kMaxLevel = 5;
constexpr std::uint32_t kNotKept = ~std::uint32_t(0);

} // namespace

VolumeMount::VolumeMount(SectorReader& reader, const VolumeInfo& volume, Catalog& catalog,
                         std::atomic<bool>& stopRequested, ProgressSink& progress)
    : reader_(reader), volume_(volume), catalog_(catalog), stopRequested_(stopRequested),
      progress_(progress) {}

std::uint64_t VolumeMount::volumeBlocks() const {
    if (volume_.sectorsPerBlock == 0) return 0;
    // A volume of unknown size (sectorCount 0) may be walked wherever its
    // tree points, but never past the end of the source: a damaged partition
    // entry can claim far more than the disk holds, and blocks past its end
    // would only be retried one sector at a time for nothing.
    std::uint64_t sectors = volume_.sectorCount ? volume_.sectorCount : UINT64_MAX;
    if (const std::uint64_t total = reader_.totalSectors(); total != 0)
        sectors = std::min(sectors, total > volume_.startSector ? total - volume_.startSector : 0);
    return sectors / volume_.sectorsPerBlock;
}

bool VolumeMount::blockInVolume(std::uint64_t block) const {
    return block < volumeBlocks();
}

void VolumeMount::ProcessLeaf(std::uint64_t sector, Bytes block, bool testHead) {
    auto head = ReadBlockHead(block);
    if (!head) return;
    if (testHead) {
        if (!looksLikeLeaf(*head, block.size())) return;
        progress_.currentSector(sector);
    }
    ++result_.leavesRead;
    for (std::uint32_t i = 0; i < head->itemCount; ++i) {
        auto item = ReadItemHead(block, i);
        if (!item) break; // heads past the block: the rest is damage
        if (item->objectId < 2 || item->dirId == 0 || !item->knownFormat()) continue;
        if ((item->type == ItemType::Direct || item->type == ItemType::Indirect) &&
            !item->bodyFits(block.size()))
            continue;
        addItem(sector, *item, block, item->itemLocation);
    }
}

// One item of a leaf read from `sector`; stat data and directory bodies lie
// at `bodyAt` in `bodies` (the leaf itself, or the arena of a LeafStore).
void VolumeMount::addItem(std::uint64_t sector, const ItemHead& item, Bytes bodies,
                          std::size_t bodyAt) {
    switch (item.type) {
    case ItemType::StatData:
        catalog_.AddStatData(bodyAt, bodies, item.itemLength, item.dirId, item.objectId);
        break;
    case ItemType::Directory:
        catalog_.AddDirectoryItem(item.entryCount, bodyAt, bodies, item.itemLength, item.objectId);
        break;
    case ItemType::Direct:
    case ItemType::Indirect: {
        DataItemRef ref;
        ref.leafSector = sector;
        ref.keyOffset = item.offset;
        ref.objectId = item.objectId;
        ref.dirId = item.dirId;
        ref.itemLocation = item.itemLocation;
        ref.itemLength = item.itemLength;
        catalog_.AddDataItem(
            item.type == ItemType::Direct ? catalog_.DirectItems : catalog_.IndirectItems, ref);
        break;
    }
    case ItemType::Other:
        break;
    }
}

// A leaf kept in `store`, handed to the catalog now.
void VolumeMount::replayLeaf(const LeafStore& store, std::uint32_t index) {
    const LeafStore::Leaf& leaf = store.leaf(index);
    progress_.currentSector(leaf.sector);
    ++result_.leavesRead;
    for (std::uint32_t i = 0; i < leaf.itemCount; ++i) {
        const LeafStore::Item& item = store.item(leaf.firstItem + i);
        const bool hasBody = item.type == ItemType::StatData || item.type == ItemType::Directory;
        addItem(leaf.sector, item.head(), hasBody ? store.chunkOf(item) : Bytes(),
                LeafStore::offsetOf(item));
    }
}

// The child pointers of an internal node; an array that reaches past the
// block is damage and gives none.
std::vector<std::uint64_t> VolumeMount::childrenOf(Bytes node) {
    std::vector<std::uint64_t> kids;
    auto head = ReadBlockHead(node);
    for (std::uint32_t i = 0; head && i <= head->itemCount; ++i) {
        auto child = ChildBlock(node, i);
        if (!child) {
            ++result_.nodesSkipped;
            return {};
        }
        kids.push_back(*child);
    }
    return kids;
}

// The tree is read a level at a time, each level's blocks in disk order, so
// that a rotating disk serves the walk in a few sweeps instead of a seek per
// node. Leaves are kept compact (a LeafStore) and handed to the catalog in
// the order a breadth-first walk in pointer order would meet them: each
// level's nodes in the order of their parents, children in pointer order.
// That order fixes the catalog's, whatever the order of reading.
void VolumeMount::WalkTree() {
    walkLevels(nullptr, 0);
}

// With `later`, the children of nodes at `laterBelow` or lower are not read:
// their block numbers are collected there for the block scan, which reads
// every block anyway. Leaves met above (under a damaged higher node) are read
// and handed over as usual.
void VolumeMount::walkLevels(BlockSet* later, std::uint16_t laterBelow) {
    liveLeaves_.clear();
    const std::size_t blockSize = volume_.blockSize();
    if (!isValidBlockSize(std::uint32_t(blockSize)) || !blockInVolume(volume_.rootBlock)) return;

    std::vector<std::uint8_t> node(blockSize);
    const std::uint64_t rootSector = volume_.blockSector(volume_.rootBlock);
    reader_.ReadSectors(rootSector, volume_.sectorsPerBlock, node.data());
    auto head = ReadBlockHead(node);
    if (head && head->level == 1) { // a tree that is a single leaf
        liveLeaves_.push_back(rootSector);
        ProcessLeaf(rootSector, node, true);
        progress_.nodesRead(0, 1, 0);
        return;
    }
    if (!head || head->level < 2 || head->level > kMaxLevel) {
        ++result_.nodesSkipped;
        return;
    }
    struct Parent {
        std::uint16_t level;
        std::vector<std::uint64_t> kids;
    };
    BlockSet seen;
    seen.insert(volume_.rootBlock);
    std::vector<Parent> parents;
    parents.push_back({head->level, childrenOf(node)});
    LeafStore store;
    std::uint64_t internalRead = 1, leavesRead = 0; // for the progress of the walk
    while (!parents.empty()) {
        if (stopRequested_) {
            result_.stopped = true;
            return;
        }
        // This level: the children of the last one, in walk order.
        std::vector<std::uint64_t> level;
        for (const Parent& parent : parents)
            for (std::uint64_t block : parent.kids) {
                if (!blockInVolume(block) || !seen.insert(block))
                    ++result_.nodesSkipped;
                else if (later && parent.level <= laterBelow)
                    later->insert(block);
                else
                    level.push_back(block);
            }
        parents.clear();
        std::vector<std::uint64_t> sorted = level;
        std::sort(sorted.begin(), sorted.end());
        // What each block of the level turned out to be, by block number,
        // until the walk order reaches it. Blocks are handed over as soon as
        // every block before them in walk order has been read, so only those
        // read ahead of their turn wait in the store (on a volume written in
        // order, few do).
        enum class Kind { None, Leaf, Node };
        struct Found {
            Kind kind = Kind::None;
            std::uint32_t stored = 0;
            Parent node;
        };
        std::unordered_map<std::uint64_t, Found> found;
        found.reserve(level.size());
        std::size_t cursor = 0, waiting = 0;
        auto handOver = [&] {
            for (; cursor < level.size() && !stopRequested_; ++cursor) {
                auto it = found.find(level[cursor]);
                if (it == found.end()) return; // not read yet
                Found& f = it->second;
                if (f.kind == Kind::Node) {
                    parents.push_back(std::move(f.node));
                } else if (f.kind == Kind::None) {
                    ++result_.nodesSkipped; // neither leaf nor node
                } else {
                    liveLeaves_.push_back(volume_.blockSector(level[cursor]));
                    if (f.stored != kNotKept) {
                        replayLeaf(store, f.stored);
                        if (--waiting == 0) store.reset();
                    } else {
                        ++result_.nodesSkipped; // a tree pointer to something that is no leaf
                    }
                }
                found.erase(it);
            }
        };
        std::uint64_t levelRead = 0;
        const bool whole = readBlocksInOrder(
            reader_, volume_, sorted, stopRequested_, [&](std::uint64_t b, Bytes data) {
                auto h = ReadBlockHead(data);
                ++(h && h->level == 1 ? leavesRead : internalRead);
                progress_.nodesRead(internalRead, leavesRead, sorted.size() - ++levelRead);
                Found f;
                if (h && h->level == 1) { // one that does not look like a leaf is ignored
                    f.kind = Kind::Leaf;
                    f.stored = kNotKept;
                    if (looksLikeLeaf(*h, blockSize)) {
                        f.stored = store.add(volume_.blockSector(b), data);
                        ++waiting;
                    }
                } else if (h && h->level >= 2 && h->level <= kMaxLevel) {
                    f.kind = Kind::Node;
                    f.node = {h->level, childrenOf(data)};
                }
                found.emplace(b, std::move(f));
                if (b == level[cursor]) handOver();
            });
        handOver();
        store.reset();
        if (!whole || stopRequested_) {
            result_.stopped = true;
            return;
        }
    }
}

// Extensive in one pass over the disk. The nodes above level 2 (a few dozen
// blocks) are read first; they name the live level-2 nodes. Then every block
// once, in order: a live level-2 node names live leaves, and a live leaf is
// handed to the catalog as the scan meets it. A leaf met before the node
// that points at it is kept compact, as is every other leaf, and each node
// the scan meets keeps its child list, so that after the scan the live tree
// is complete: the leaves it reaches are handed over next, and what only the
// others add comes last and is marked deleted. The live version of every
// folder and file is therefore met first, whatever the layout.
void VolumeMount::collectExtensive() {
    const std::size_t blockSize = volume_.blockSize();
    const std::uint64_t blocks = volume_.sectorCount == 0 ? 0 : volumeBlocks();
    if (!isValidBlockSize(std::uint32_t(blockSize)) || blocks == 0) {
        WalkTree(); // a volume of unknown size: its live tree is all there is
        return;
    }
    BlockSet live; // live blocks the walk left to the scan
    walkLevels(&live, 3);
    BlockSet done; // live leaves the walk handed over itself
    for (std::uint64_t sector : liveLeaves_)
        done.insert((sector - volume_.startSector) / volume_.sectorsPerBlock);
    if (result_.stopped) {
        catalog_.releasePending();
        return;
    }
    // Leaves not known to be live, in ascending block order (the scan's).
    LeafStore kept;
    auto keptAt = [&](std::uint64_t block) {
        const std::uint64_t sector = volume_.blockSector(block);
        std::uint32_t lo = 0, hi = std::uint32_t(kept.leafCount());
        while (lo < hi) {
            const std::uint32_t mid = lo + (hi - lo) / 2;
            if (kept.leaf(mid).sector < sector)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo < kept.leafCount() && kept.leaf(lo).sector == sector ? lo : kNotKept;
    };
    std::unordered_map<std::uint64_t, std::vector<std::uint64_t>> nodes; // met, not live yet
    std::vector<std::uint64_t> behind; // live blocks the scan had passed when named
    auto markLive = [&](std::uint64_t kid, std::uint64_t at) {
        if (blockInVolume(kid) && !done.contains(kid) && live.insert(kid) && kid < at)
            behind.push_back(kid);
    };
    const std::uint64_t perChunk = std::max<std::uint64_t>(1, kReadAheadBytes / blockSize);
    std::vector<std::uint8_t> chunk(perChunk * blockSize);
    for (std::uint64_t first = 0; first < blocks && !result_.stopped; first += perChunk) {
        const std::uint64_t n = std::min(perChunk, blocks - first);
        reader_.ReadSectors(volume_.blockSector(first), std::uint32_t(n * volume_.sectorsPerBlock),
                            chunk.data());
        for (std::uint64_t k = 0; k < n; ++k) {
            if (stopRequested_) {
                result_.stopped = true;
                break;
            }
            const std::uint64_t block = first + k;
            const std::uint64_t sector = volume_.blockSector(block);
            progress_.percent(unsigned(std::min<std::uint64_t>(
                block * volume_.sectorsPerBlock * 100 / volume_.sectorCount, 99)));
            progress_.currentSector(sector);
            Bytes data(chunk.data() + k * blockSize, blockSize);
            auto head = ReadBlockHead(data);
            const bool isNode = head && head->level >= 2 && head->level <= kMaxLevel;
            if (live.contains(block)) {
                if (isNode) {
                    for (std::uint64_t kid : childrenOf(data))
                        markLive(kid, block);
                } else if (head && head->level == 1) {
                    liveLeaves_.push_back(sector);
                    ProcessLeaf(sector, data, true);
                }
                continue;
            }
            if (isNode) {
                nodes.emplace(block, childrenOf(data));
            } else if (head && looksLikeLeaf(*head, blockSize) && !done.contains(block)) {
                // Leaves packed full (free space 0) are common, so free space
                // is only required to lie within the block.
                kept.add(sector, data);
            }
        }
    }
    // The rest of the live tree: nodes and leaves the scan met before it knew.
    std::vector<std::uint64_t> lateLeaves;
    while (!behind.empty()) {
        const std::uint64_t block = behind.back();
        behind.pop_back();
        if (auto node = nodes.find(block); node != nodes.end()) {
            for (std::uint64_t kid : node->second)
                if (blockInVolume(kid) && !done.contains(kid) && live.insert(kid))
                    behind.push_back(kid);
        } else if (keptAt(block) != kNotKept) {
            lateLeaves.push_back(block);
        }
    }
    nodes.clear();
    std::sort(lateLeaves.begin(), lateLeaves.end());
    for (std::uint64_t block : lateLeaves) {
        liveLeaves_.push_back(volume_.blockSector(block));
        replayLeaf(kept, keptAt(block));
    }
    const std::size_t liveFolders = catalog_.FolderList.size();
    const std::size_t liveFiles = catalog_.FileList.size();
    for (std::uint32_t i = 0; !stopRequested_ && i < kept.leafCount(); ++i) {
        const std::uint64_t sector = kept.leaf(i).sector;
        if (!live.contains((sector - volume_.startSector) / volume_.sectorsPerBlock))
            replayLeaf(kept, i);
    }
    catalog_.releasePending();
    for (std::size_t i = liveFolders; i < catalog_.FolderList.size(); ++i)
        catalog_.FolderList[i].deleted = true;
    for (std::size_t i = liveFiles; i < catalog_.FileList.size(); ++i)
        catalog_.FileList[i].deleted = true;
}

MountResult VolumeMount::MountSelectedVolume(RecoveryMode mode) {
    result_ = MountResult{};
    catalog_.ClearCatalog();
    catalog_.recoveryMode = mode;
    catalog_.progress = &progress_;
    progress_.percent(0);
    progress_.status("Mounting volume, please wait...");
    // The stop flag is the starter's to clear before the worker runs: a stop
    // pressed in between must not be lost.
    try {
        if (mode == RecoveryMode::Extensive)
            collectExtensive();
        else
            WalkTree();
        catalog_.releasePending(); // names and stat data that never met a partner
        const bool stopped = result_.stopped;
        stopRequested_ = false;
        catalog_.FindLostFolders(stopRequested_);
        stopRequested_ = false;
        progress_.percent(0);
        progress_.status("Creating Tree Structure, Please wait");
        catalog_.BuildFolderTree(kRootObjectId);
        result_.stopped = stopped;
    } catch (const std::bad_alloc&) {
        result_.outOfMemory = true;
    }
    catalog_.progress = &nullProgress();
#ifdef __GLIBC__
    // The walk's scratch (leaves read ahead, waiting names) is freed by now
    // but mostly lies below what the catalog keeps: hand its pages back, or
    // the memory of whatever follows (a copy-out's plan) adds to it.
    ::malloc_trim(0);
#endif
    return result_;
}

} // namespace dorvak
