#include "reiserfs/mount.h"

#include "reiserfs/disk_order.h"
#include "reiserfs/structures.h"

#include <algorithm>
#include <deque>
#include <new>
#include <unordered_map>
#include <unordered_set>

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
        addItem(leaf.sector, item.head, store.arena(), item.body);
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
    liveLeaves_.clear();
    liveLeafSet_.clear();
    const std::size_t blockSize = volume_.blockSize();
    if (!isValidBlockSize(std::uint32_t(blockSize)) || !blockInVolume(volume_.rootBlock)) return;

    std::vector<std::uint8_t> node(blockSize);
    const std::uint64_t rootSector = volume_.blockSector(volume_.rootBlock);
    reader_.ReadSectors(rootSector, volume_.sectorsPerBlock, node.data());
    auto head = ReadBlockHead(node);
    if (head && head->level == 1) { // a tree that is a single leaf
        liveLeaves_.push_back(rootSector);
        ProcessLeaf(rootSector, node, true);
        return;
    }
    if (!head || head->level < 2 || head->level > kMaxLevel) {
        ++result_.nodesSkipped;
        return;
    }
    std::unordered_set<std::uint64_t> seen{volume_.rootBlock};
    std::vector<std::vector<std::uint64_t>> parents{childrenOf(node)};
    LeafStore store;
    while (!parents.empty()) {
        if (stopRequested_) {
            result_.stopped = true;
            return;
        }
        // This level: the children of the last one, in walk order.
        std::vector<std::uint64_t> level;
        for (const auto& kids : parents)
            for (std::uint64_t block : kids) {
                if (!blockInVolume(block) || !seen.insert(block).second)
                    ++result_.nodesSkipped;
                else
                    level.push_back(block);
            }
        parents.clear();
        std::vector<std::uint64_t> sorted = level;
        std::sort(sorted.begin(), sorted.end());
        // What each block of the level turned out to be, by block number.
        struct Found {
            bool leaf = false;
            std::uint32_t stored = 0;
            std::vector<std::uint64_t> kids;
        };
        std::unordered_map<std::uint64_t, Found> found;
        found.reserve(level.size());
        const bool whole = readBlocksInOrder(
            reader_, volume_, sorted, stopRequested_, [&](std::uint64_t b, Bytes data) {
                auto h = ReadBlockHead(data);
                if (h && h->level == 1) { // one that does not look like a leaf is ignored
                    found[b] =
                        Found{true,
                              looksLikeLeaf(*h, blockSize) ? store.add(volume_.blockSector(b), data)
                                                           : kNotKept,
                              {}};
                } else if (h && h->level >= 2 && h->level <= kMaxLevel) {
                    found[b] = Found{false, 0, childrenOf(data)};
                }
            });
        for (std::uint64_t block : level) {
            auto it = found.find(block);
            if (it == found.end()) {
                if (whole) ++result_.nodesSkipped; // neither leaf nor node
                continue;
            }
            if (!it->second.leaf) {
                parents.push_back(std::move(it->second.kids));
                continue;
            }
            if (stopRequested_) break;
            liveLeaves_.push_back(volume_.blockSector(block));
            if (it->second.stored != kNotKept) replayLeaf(store, it->second.stored);
        }
        store.clear();
        if (!whole || stopRequested_) {
            result_.stopped = true;
            return;
        }
    }
}

void VolumeMount::ScanAllBlocks() {
    const std::size_t blockSize = volume_.blockSize();
    const std::uint64_t blocks = volume_.sectorCount == 0 ? 0 : volumeBlocks();
    if (!isValidBlockSize(std::uint32_t(blockSize)) || blocks == 0) {
        catalog_.releasePending();
        return;
    }
    // Blocks are tested in ascending order from a large sequential read; a
    // block taken for a leaf is decoded from the same buffer.
    // Leaves the live tree walk has processed already add nothing new (and
    // would record their data items twice).
    const std::unordered_set<std::uint64_t> live(liveLeaves_.begin(), liveLeaves_.end());
    const std::uint64_t perChunk = std::max<std::uint64_t>(1, kReadAheadBytes / blockSize);
    std::vector<std::uint8_t> chunk(perChunk * blockSize);
    for (std::uint64_t first = 0; first < blocks; first += perChunk) {
        const std::uint64_t n = std::min(perChunk, blocks - first);
        reader_.ReadSectors(volume_.blockSector(first), std::uint32_t(n * volume_.sectorsPerBlock),
                            chunk.data());
        for (std::uint64_t k = 0; k < n; ++k) {
            if (stopRequested_) {
                result_.stopped = true;
                catalog_.releasePending();
                return;
            }
            const std::uint64_t done = (first + k) * volume_.sectorsPerBlock;
            const std::uint64_t sector = volume_.startSector + done;
            progress_.percent(
                unsigned(std::min<std::uint64_t>(done * 100 / volume_.sectorCount, 99)));
            progress_.currentSector(sector);
            Bytes block(chunk.data() + k * blockSize, blockSize);
            // Leaves packed full (free space 0) are common, so free space is
            // only required to lie within the block.
            auto head = ReadBlockHead(block);
            if (head && looksLikeLeaf(*head, blockSize) && !live.count(sector))
                ProcessLeaf(sector, block, false);
        }
    }
    catalog_.releasePending();
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
        WalkTree();
        if (mode == RecoveryMode::Extensive && !result_.stopped) {
            // The live tree goes first, so that the current version of every
            // folder and file is the one met first (the first folder per
            // object id wins); whatever the block scan adds on top was not
            // reached by the live tree: deleted entries and older versions.
            const std::size_t liveFolders = catalog_.FolderList.size();
            const std::size_t liveFiles = catalog_.FileList.size();
            ScanAllBlocks();
            for (std::size_t i = liveFolders; i < catalog_.FolderList.size(); ++i)
                catalog_.FolderList[i].deleted = true;
            for (std::size_t i = liveFiles; i < catalog_.FileList.size(); ++i)
                catalog_.FileList[i].deleted = true;
        }
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
    return result_;
}

} // namespace dorvak
