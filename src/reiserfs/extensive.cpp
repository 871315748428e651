// The Extensive collection: every block of the volume read once, in order.
#include "reiserfs/block_bitmap.h"
#include "reiserfs/carving.h"
#include "reiserfs/disk_order.h"
#include "reiserfs/mount.h"
#include "reiserfs/structures.h"

#include <algorithm>
#include <memory>
#include <unordered_map>

namespace dorvak {
namespace {

// The scan reads the volume in requests of this many bytes.
constexpr std::size_t kScanRequestBytes = 1 << 20;

} // namespace

// What the scan learns and what the passes after it share.
struct VolumeMount::ExtensiveScan {
    explicit ExtensiveScan(std::uint64_t blocks) : live(blocks) {}
    // Blocks known to be in the live tree: asked for every block of the
    // scan, so a bit each (a hash set would miss the cache every time).
    BlockBitmap live;
    BlockSet done;  // live leaves the walk handed over itself
    LeafStore kept; // leaves not known to be live, in ascending block order
    std::unordered_map<std::uint64_t, std::vector<std::uint64_t>> nodes; // met, not live yet
    std::vector<std::uint64_t> behind; // live blocks the scan had passed when named
    // Carving: the blocks that nodes, leaves and the indirect items of any
    // leaf claim, and those whose first bytes match a format's signature.
    std::unique_ptr<BlockBitmap> claimed;
    std::unique_ptr<BlockBitmap> starts;
};

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
    const std::uint64_t blocks = volume_.sectorCount == 0 ? 0 : volumeBlocks();
    if (!isValidBlockSize(std::uint32_t(volume_.blockSize())) || blocks == 0) {
        WalkTree(); // a volume of unknown size: its live tree is all there is
        return;
    }
    ExtensiveScan scan(blocks);
    if (carve_ && !walkers_.empty()) {
        scan.claimed = std::make_unique<BlockBitmap>(blocks);
        scan.starts = std::make_unique<BlockBitmap>(blocks);
    }
    walkLevels(&scan.live, 3);
    for (std::uint64_t sector : liveLeaves_)
        scan.done.insert((sector - volume_.startSector) / volume_.sectorsPerBlock);
    if (result_.stopped) {
        catalog_.releasePending();
        return;
    }
    scanBlocks(scan);
    completeLiveTree(scan);
    replayDeleted(scan);
    if (scan.claimed && !result_.stopped && !stopRequested_) {
        claimListedData(reader_, volume_, catalog_, *scan.claimed, stopRequested_);
        CarvingPass carving(reader_, volume_, catalog_, *scan.claimed, *scan.starts, walkers_,
                            stopRequested_, progress_);
        if (!carving.run()) result_.stopped = true;
    }
}

void VolumeMount::scanBlocks(ExtensiveScan& scan) {
    const std::size_t blockSize = volume_.blockSize();
    const std::uint64_t blocks = volumeBlocks();
    const std::uint64_t perChunk = std::max<std::uint64_t>(1, kScanRequestBytes / blockSize);
    std::vector<std::uint8_t> chunk(perChunk * blockSize);
    std::vector<std::uint8_t> block(blockSize);
    // What the scan looks at of a block that is no node or leaf: its head,
    // and the first bytes that carving tests for a format's signature.
    const std::size_t look = std::min(blockSize, scan.claimed ? kCarveHeadBytes : kBlockHeadSize);
    for (std::uint64_t first = 0; first < blocks && !result_.stopped; first += perChunk) {
        const std::uint64_t n = std::min(perChunk, blocks - first);
        const std::uint64_t sector = volume_.blockSector(first);
        const auto sectors = std::uint32_t(n * volume_.sectorsPerBlock);
        std::uint64_t k = 0;
        if (reader_.beginMappedRun(sector, sectors)) {
            for (; k < n && !stopRequested_; ++k) {
                const std::uint64_t at = volume_.blockSector(first + k) * kSectorSize;
                if (!reader_.copyMapped(at, block.data(), look)) break;
                auto head = ReadBlockHead(Bytes(block.data(), look));
                const bool tree = head && head->level >= 1 && head->level <= kMaxLevel;
                if (tree && look < blockSize &&
                    !reader_.copyMapped(at + look, block.data() + look, blockSize - look))
                    break;
                // Only the bytes copied: the rest of the buffer is another block's.
                scanBlock(scan, first + k, Bytes(block.data(), tree ? blockSize : look));
            }
            if (k == n) continue;
        }
        if (k < n && !stopRequested_) // not mapped, or a page of it could not be read
            reader_.ReadSectors(sector, sectors, chunk.data());
        for (; k < n; ++k) {
            if (stopRequested_) {
                result_.stopped = true;
                break;
            }
            scanBlock(scan, first + k, Bytes(chunk.data() + k * blockSize, blockSize));
        }
    }
}

// One block of the scan: a live node names more of the live tree, a live leaf
// goes to the catalog now, any other node or leaf is kept for later.
void VolumeMount::scanBlock(ExtensiveScan& scan, std::uint64_t block, Bytes data) {
    const std::uint64_t sector = volume_.blockSector(block);
    progress_.percent(unsigned(
        std::min<std::uint64_t>(block * volume_.sectorsPerBlock * 100 / volume_.sectorCount, 99)));
    progress_.currentSector(sector);
    auto head = ReadBlockHead(data);
    if (scan.claimed) {
        claimBlocks(scan, block, data);
        if (walkerIn(walkers_, data.first(std::min(data.size(), kCarveHeadBytes))))
            scan.starts->set(block);
    }
    const bool isNode = head && head->level >= 2 && head->level <= kMaxLevel;
    if (scan.live.contains(block)) {
        if (isNode) {
            for (std::uint64_t kid : childrenOf(data))
                if (blockInVolume(kid) && !scan.done.contains(kid) && scan.live.insert(kid) &&
                    kid < block)
                    scan.behind.push_back(kid);
        } else if (head && head->level == 1) {
            liveLeaves_.push_back(sector);
            ProcessLeaf(sector, data, true);
        }
        return;
    }
    if (isNode) {
        scan.nodes.emplace(block, childrenOf(data));
    } else if (head && looksLikeLeaf(*head, data.size()) && !scan.done.contains(block)) {
        // Leaves packed full (free space 0) are common, so free space is
        // only required to lie within the block.
        scan.kept.add(sector, data);
    }
}

// The rest of the live tree: nodes and leaves the scan met before it knew
// they were live, handed over in block order.
void VolumeMount::completeLiveTree(ExtensiveScan& scan) {
    std::vector<std::uint64_t> lateLeaves;
    while (!scan.behind.empty()) {
        const std::uint64_t block = scan.behind.back();
        scan.behind.pop_back();
        if (auto node = scan.nodes.find(block); node != scan.nodes.end()) {
            for (std::uint64_t kid : node->second)
                if (blockInVolume(kid) && !scan.done.contains(kid) && scan.live.insert(kid))
                    scan.behind.push_back(kid);
        } else if (scan.kept.find(volume_.blockSector(block)) != LeafStore::kNotKept) {
            lateLeaves.push_back(block);
        }
    }
    scan.nodes.clear();
    std::sort(lateLeaves.begin(), lateLeaves.end());
    for (std::uint64_t block : lateLeaves) {
        liveLeaves_.push_back(volume_.blockSector(block));
        replayLeaf(scan.kept, scan.kept.find(volume_.blockSector(block)));
    }
}

// What only the leaves outside the live tree add: marked deleted.
void VolumeMount::replayDeleted(ExtensiveScan& scan) {
    const std::size_t liveFolders = catalog_.FolderList.size();
    const std::size_t liveFiles = catalog_.FileList.size();
    for (std::uint32_t i = 0; !stopRequested_ && i < scan.kept.leafCount(); ++i) {
        const std::uint64_t sector = scan.kept.leaf(i).sector;
        if (!scan.live.contains((sector - volume_.startSector) / volume_.sectorsPerBlock))
            replayLeaf(scan.kept, i);
    }
    const std::vector<Catalog::NamelessStat> nameless = catalog_.namelessStats();
    catalog_.releasePending();
    for (std::size_t i = liveFolders; i < catalog_.FolderList.size(); ++i)
        catalog_.FolderList[i].deleted = true;
    for (std::size_t i = liveFiles; i < catalog_.FileList.size(); ++i)
        catalog_.FileList[i].deleted = true;
    if (!stopRequested_) addLostFiles(reader_, volume_, catalog_, nameless, walkers_);
}

// Nodes and leaves are no carving's (the data blocks that items name are
// claimed once the catalog knows which files it lists). Only blocks whose
// free space agrees exactly with what they hold count here: a file's data
// block often starts with a small number that passes for a level, and
// claiming it would hide the file from carving.
void VolumeMount::claimBlocks(ExtensiveScan& scan, std::uint64_t block, Bytes data) {
    auto head = ReadBlockHead(data);
    if (!head || head->level < 1 || head->level > kMaxLevel) return;
    const std::size_t heads = 24 + 24 * std::size_t(head->itemCount);
    if (head->level >= 2) {
        const std::size_t used = 24 + 16 * std::size_t(head->itemCount) + 8 * (head->itemCount + 1);
        if (used <= data.size() && head->freeSpace == data.size() - used) scan.claimed->set(block);
        return;
    }
    if (!looksLikeLeaf(*head, data.size())) return;
    std::size_t lowest = data.size();
    for (std::uint32_t i = 0; i < head->itemCount; ++i) {
        auto item = ReadItemHead(data, i);
        if (!item || !item->bodyFits(data.size()) || item->itemLocation < heads) return;
        lowest = std::min<std::size_t>(lowest, item->itemLocation);
    }
    if (head->freeSpace == lowest - heads) scan.claimed->set(block);
}

} // namespace dorvak
