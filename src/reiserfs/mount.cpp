#include "reiserfs/mount.h"

#include "reiserfs/structures.h"

#include <algorithm>
#include <deque>
#include <new>
#include <unordered_set>

namespace dorvak {
namespace {

// Children that lie next to each other on disk are read in one request of at
// most this many bytes; the order of processing stays the pointer order.
constexpr std::size_t kReadAheadBytes = 1 << 20;
// Internal nodes exist at levels 2 to 5; a root leaf has level 1.
constexpr std::uint16_t kMaxLevel = 5;

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
        if (!looksLikeLeaf(*head, block.size())) {
            ++result_.nodesSkipped; // a tree pointer to something that is no leaf
            return;
        }
        progress_.currentSector(sector);
    }
    ++result_.leavesRead;
    for (std::uint32_t i = 0; i < head->itemCount; ++i) {
        auto item = ReadItemHead(block, i);
        if (!item) break; // heads past the block: the rest is damage
        if (item->objectId < 2 || item->dirId == 0) continue;
        if (!item->knownFormat()) continue;
        switch (item->type) {
        case ItemType::StatData:
            catalog_.AddStatData(item->itemLocation, block, item->itemLength, item->dirId,
                                 item->objectId);
            break;
        case ItemType::Directory:
            catalog_.AddDirectoryItem(item->entryCount, item->itemLocation, block, item->itemLength,
                                      item->objectId);
            break;
        case ItemType::Direct:
        case ItemType::Indirect: {
            if (!item->bodyFits(block.size())) break;
            DataItemRef ref;
            ref.leafSector = sector;
            ref.keyOffset = item->offset;
            ref.objectId = item->objectId;
            ref.dirId = item->dirId;
            ref.itemLocation = item->itemLocation;
            ref.itemLength = item->itemLength;
            catalog_.AddDataItem(item->type == ItemType::Direct ? catalog_.DirectItems
                                                                : catalog_.IndirectItems,
                                 ref);
            break;
        }
        case ItemType::Other:
            break;
        }
    }
}

void VolumeMount::WalkTree() {
    liveLeaves_.clear();
    const std::size_t blockSize = volume_.blockSize();
    if (!isValidBlockSize(std::uint32_t(blockSize)) || !blockInVolume(volume_.rootBlock)) return;

    std::unordered_set<std::uint64_t> seen;
    std::deque<std::uint64_t> NodeQueue;
    std::vector<std::uint8_t> node(blockSize);
    std::vector<std::uint8_t> children(std::max(kReadAheadBytes, blockSize));

    const std::uint64_t rootSector = volume_.blockSector(volume_.rootBlock);
    seen.insert(rootSector);
    reader_.ReadSectors(rootSector, volume_.sectorsPerBlock, node.data());
    if (auto head = ReadBlockHead(node); head && head->level == 1) {
        // A tree that is a single leaf.
        liveLeaves_.push_back(rootSector);
        ProcessLeaf(rootSector, node, true);
        return;
    }
    NodeQueue.push_back(rootSector);
    bool first = true;

    while (!NodeQueue.empty()) {
        if (stopRequested_) {
            result_.stopped = true;
            return;
        }
        const std::uint64_t sector = NodeQueue.front();
        NodeQueue.pop_front();
        if (!first) reader_.ReadSectors(sector, volume_.sectorsPerBlock, node.data());
        first = false;
        auto head = ReadBlockHead(node);
        if (!head || head->level < 2 || head->level > kMaxLevel) {
            ++result_.nodesSkipped;
            continue;
        }
        // Collect the child block numbers; an array that reaches past the
        // block is damage and the node is skipped.
        std::vector<std::uint64_t> kids;
        for (std::uint32_t i = 0; i <= head->itemCount; ++i) {
            auto child = ChildBlock(node, i);
            if (!child) {
                kids.clear();
                ++result_.nodesSkipped;
                break;
            }
            kids.push_back(*child);
        }
        for (std::size_t i = 0; i < kids.size();) {
            // The longest run of consecutive blocks from kids[i] that fits.
            std::size_t n = 1;
            while (i + n < kids.size() && kids[i + n] == kids[i] + n &&
                   (n + 1) * blockSize <= children.size())
                ++n;
            if (!blockInVolume(kids[i] + n - 1)) n = 1;
            if (blockInVolume(kids[i]))
                reader_.ReadSectors(volume_.blockSector(kids[i]),
                                    std::uint32_t(n * volume_.sectorsPerBlock), children.data());
            for (std::size_t k = 0; k < n; ++k) {
                const std::uint64_t block = kids[i + k];
                const std::uint64_t childSector = volume_.blockSector(block);
                if (!blockInVolume(block) || !seen.insert(childSector).second) {
                    ++result_.nodesSkipped;
                    continue;
                }
                Bytes child(children.data() + k * blockSize, blockSize);
                auto childHead = ReadBlockHead(child);
                if (childHead && childHead->level == 1) {
                    liveLeaves_.push_back(childSector);
                    ProcessLeaf(childSector, child, true);
                } else if (childHead && childHead->level >= 2 && childHead->level <= kMaxLevel) {
                    NodeQueue.push_back(childSector);
                } else {
                    ++result_.nodesSkipped;
                }
            }
            i += n;
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
    try {
        stopRequested_ = false;
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
