// The Extensive collection: every block of the volume read once, in order.
#include "disk/page_buffer.h"
#include "disk/read_ahead.h"
#include "reiserfs/block_bitmap.h"
#include "reiserfs/carving.h"
#include "reiserfs/disk_order.h"
#include "reiserfs/mount.h"
#include "reiserfs/structures.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <unordered_map>

namespace dorvak {
namespace {

// The scan reads the volume in requests of this many bytes.
constexpr std::size_t kScanRequestBytes = 1 << 20;
// How many blocks ahead of the one tested the scan asks for a block's head.
constexpr std::uint64_t kHeadsAhead = 4;
// The runs an image file is read in each way before the scan chooses one.
constexpr std::uint64_t kTrialRuns = 8;

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
    // leaf claim. The blocks whose first bytes a format walker takes for a
    // file's start join the scan position's list (tested as the scan reads
    // them, so that carving reads only those again).
    std::unique_ptr<BlockBitmap> claimed;
    // Leaves whose items' blocks were claimed as the scan met them (live
    // leaves) or kept in `pending` (the others): a bit each when carving, as
    // every leaf is marked.
    BlockBitmap itemsClaimed{0};
    std::unique_ptr<PendingClaims> pending;
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
    scanned_ = resume_ ? *resume_ : ScanPosition{}; // what a stop before the scan leaves
    ExtensiveScan scan(blocks);
    if (carve_ && !walkers_.empty()) {
        scan.claimed = std::make_unique<BlockBitmap>(blocks);
        scan.itemsClaimed = BlockBitmap(blocks);
        // Runs of 16 bytes: as much as one bitmap of the volume, 1 MiB at least.
        scan.pending =
            std::make_unique<PendingClaims>(std::max<std::uint64_t>(blocks / 128, 1 << 16));
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
        claimListedData(
            reader_, volume_, catalog_, *scan.claimed, stopRequested_,
            [&](std::uint64_t leaf) { return scan.itemsClaimed.contains(leaf); },
            scan.pending.get());
        scan.pending.reset();
        // Carving holds the claims, one bitmap of the volume, and what the
        // candidate in hand needs: what the scan kept goes first.
        scan.live = BlockBitmap(0);
        scan.kept = LeafStore();
        CarvingPass carving(reader_, volume_, catalog_, *scan.claimed, walkers_, stopRequested_,
                            progress_, &scanned_.treeBlocks);
        if (!carving.run()) result_.stopped = true;
    }
}

// A block with a sector that cannot be read is taken from its newest journal
// copy when there is one: a live leaf or level-2 node lost to a bad sector
// would otherwise leave its files to older copies, marked deleted.
void VolumeMount::scanBlocks(ExtensiveScan& scan) {
    const std::size_t blockSize = volume_.blockSize();
    const std::uint64_t blocks = volumeBlocks();
    const std::uint64_t perChunk = std::max<std::uint64_t>(1, kScanRequestBytes / blockSize);
    scanned_ = ScanPosition{};
    const std::uint64_t from = resumeScan(scan);
    const PageBuffer chunkBuffer(perChunk * blockSize); // ordinary reads land here
    const std::span<std::uint8_t> chunk = chunkBuffer.span();
    std::vector<std::uint8_t> block(blockSize);
    std::vector<std::uint64_t> unreadable;
    // How an image file is read: in place from its mapping, where this
    // thread has the kernel map each page, or copied a run ahead by a second
    // thread. Which is faster depends on how the page cache holds the file
    // (large pages are mapped for a fraction of what copying them costs,
    // small ones are not) and on how much the two threads slow each other.
    // The first runs are read each way and timed, the fastest run of each
    // way counting (the first of each has no run before it to overlap), and
    // the rest goes the faster way; the blocks read are the same either way.
    enum class Way { TryAhead, TryMapped, Mapped, Ahead };
    Way way = Way::TryAhead;
    std::uint64_t tried = 0;
    double fastestAhead = 0, fastestMapped = 0;
    std::unique_ptr<ReadAhead> ahead;
    const auto readAhead = [&](std::uint64_t first) {
        ahead = ReadAhead::start(reader_, volume_.blockSector(first), volume_.blockSector(blocks),
                                 std::uint32_t(perChunk * volume_.sectorsPerBlock));
    };
    using Clock = std::chrono::steady_clock;
    Clock::time_point runStart;
    const auto timeRun = [&](double& fastest) {
        const double seconds = std::chrono::duration<double>(Clock::now() - runStart).count();
        if (tried > 0 && (tried == 1 || seconds < fastest)) fastest = seconds;
        ++tried;
    };
    for (std::uint64_t first = from; first < blocks && !result_.stopped; first += perChunk) {
        const std::uint64_t n = std::min(perChunk, blocks - first);
        const std::uint64_t sector = volume_.blockSector(first);
        const auto sectors = std::uint32_t(n * volume_.sectorsPerBlock);
        std::uint64_t k = 0;
        if (way == Way::TryAhead && tried == 0) readAhead(first);
        if (way == Way::TryAhead && (tried == kTrialRuns || !ahead)) {
            way = Way::TryMapped;
            tried = 0;
            ahead.reset(); // its runs after the trial's are not asked for
        } else if (way == Way::TryMapped && tried == kTrialRuns) {
            way = fastestMapped < fastestAhead ? Way::Mapped : Way::Ahead;
            if (way == Way::Ahead) readAhead(first);
        }
        runStart = Clock::now();
        const std::span<const std::uint8_t> run =
            ahead ? ahead->next(sector, sectors) : std::span<const std::uint8_t>();
        if (!run.empty()) {
            for (; k < n; ++k) {
                if (stopRequested_) {
                    result_.stopped = true;
                    break;
                }
                scanBlock(scan, first + k, Bytes(run.data() + k * blockSize, blockSize));
                scanned_.nextBlock = first + k + 1;
            }
            if (way == Way::TryAhead && k == n) timeRun(fastestAhead);
            continue;
        }
        if (way == Way::TryMapped || way == Way::Mapped || (way == Way::Ahead && !ahead)) {
            const bool whole = scanMapped(scan, first, n, block, k);
            // A file that cannot be mapped is read ahead from here on.
            if (way == Way::TryMapped && !whole && k == 0 && !stopRequested_) {
                way = Way::Ahead;
                readAhead(first + perChunk);
            } else if (way == Way::TryMapped && whole) {
                timeRun(fastestMapped);
            }
            if (whole) continue;
        }
        // Not read ahead or mapped, or a page of it could not be read: the
        // rest of the chunk is read the ordinary way, and a block with a
        // sector that cannot be read is taken from the journal when it
        // holds a copy.
        unreadable.clear();
        if (k < n && !stopRequested_)
            reader_.ReadSectors(sector, sectors, chunk.data(), &unreadable);
        for (; k < n; ++k) {
            if (stopRequested_) {
                result_.stopped = true;
                break;
            }
            const std::span<std::uint8_t> data(chunk.data() + k * blockSize, blockSize);
            const std::uint64_t at = volume_.blockSector(first + k);
            if (std::any_of(unreadable.begin(), unreadable.end(), [&](std::uint64_t s) {
                    return s >= at && s < at + volume_.sectorsPerBlock;
                }))
                readJournalCopy(first + k, data);
            scanBlock(scan, first + k, data);
            scanned_.nextBlock = first + k + 1;
        }
    }
}

// The `n` blocks from `first` taken from a mapping of the image, each tested
// in place when the run's pages were all read in as it began, else copied
// (as much as the scan looks at). True when all were; else `k` is the first
// block left to read the ordinary way.
bool VolumeMount::scanMapped(ExtensiveScan& scan, std::uint64_t first, std::uint64_t n,
                             std::vector<std::uint8_t>& block, std::uint64_t& k) {
    const std::size_t blockSize = volume_.blockSize();
    // What the scan looks at of a block that is no node or leaf: its head,
    // and the first bytes that carving tests for a format's signature (none
    // when the head is zeros).
    const std::size_t look = std::min(blockSize, scan.claimed ? kCarveHeadBytes : kBlockHeadSize);
    static_assert(carve::kZeroHeadBytes <= kBlockHeadSize);
    if (!reader_.beginMappedRun(volume_.blockSector(first),
                                std::uint32_t(n * volume_.sectorsPerBlock)))
        return false;
    for (; k < n && !stopRequested_; ++k) {
        const std::uint64_t at = volume_.blockSector(first + k) * kSectorSize;
        const std::uint8_t* in = reader_.viewMapped(at, blockSize);
        // The head of a block a few ahead: each block's first line is a
        // cache miss the hardware does not see coming (it never prefetches
        // across a page).
        if (in && k + kHeadsAhead < n) __builtin_prefetch(in + kHeadsAhead * blockSize);
        if (!in) {
            if (!reader_.copyMapped(at, block.data(), kBlockHeadSize)) return false;
            in = block.data();
        }
        const Bytes head(in, kBlockHeadSize);
        auto h = ReadBlockHead(head);
        const bool tree = h && h->level >= 1 && h->level <= kMaxLevel;
        // A block that a live leaf met before named is no start either.
        const bool noStart =
            carve::zeroHead(head) || (scan.claimed && scan.claimed->test(first + k));
        const std::size_t want = tree ? blockSize : noStart ? kBlockHeadSize : look;
        if (in == block.data() && want > kBlockHeadSize &&
            !reader_.copyMapped(at + kBlockHeadSize, block.data() + kBlockHeadSize,
                                want - kBlockHeadSize))
            return false;
        // Only the bytes looked at: the rest of a copy is another block's.
        scanBlock(scan, first + k, Bytes(in, want));
        // A page of the block was dropped and could not be read again, and
        // read as zeros: the block and the rest of the run are read the
        // ordinary way, which finds the bad sectors.
        if (reader_.mappedPagesLost()) return false;
        scanned_.nextBlock = first + k + 1;
    }
    return k == n;
}

// A scan that goes on from where a stopped one ended: the blocks before that
// point that held a node or a leaf are read again (in block order, mended as
// above) and tested as they were then; every other block there held nothing
// the scan keeps. Returns the block to go on from.
std::uint64_t VolumeMount::resumeScan(ExtensiveScan& scan) {
    if (!resume_) return 0;
    const std::uint64_t from = std::min(resume_->nextBlock, volumeBlocks());
    std::vector<std::uint64_t> again;
    for (std::uint32_t block : resume_->treeBlocks)
        if (block < from && (again.empty() || block > again.back())) again.push_back(block);
    const bool whole = readBlocksInOrder(
        reader_, volume_, again, stopRequested_,
        [&](std::uint64_t block, Bytes data) { scanBlock(scan, block, data); },
        [this](std::uint64_t block, std::span<std::uint8_t> data) {
            return readJournalCopy(block, data);
        });
    if (!whole) {
        // Stopped again before the new part: the old stopping point stands.
        result_.stopped = true;
        scanned_ = *resume_;
        return volumeBlocks();
    }
    scanned_.nextBlock = from;
    return from;
}

// One block of the scan: a live node names more of the live tree, a live leaf
// goes to the catalog now, any other node or leaf is kept for later.
void VolumeMount::scanBlock(ExtensiveScan& scan, std::uint64_t block, Bytes data) {
    const std::uint64_t sector = volume_.blockSector(block);
    progress_.percent(unsigned(
        std::min<std::uint64_t>(block * volume_.sectorsPerBlock * 100 / volume_.sectorCount, 99)));
    progress_.currentSector(sector);
    auto head = ReadBlockHead(data);
    if (head && head->level >= 1 && head->level <= kMaxLevel)
        scanned_.treeBlocks.push_back(std::uint32_t(block));
    if (scan.claimed && !scan.claimed->test(block) && !claimBlocks(scan, block, data, head) &&
        !carve::zeroHead(data)) {
        // Carving reads it again, and so does a scan that goes on from here.
        if (signatures_(data.first(std::min<std::size_t>(data.size(), kCarveHeadBytes))) &&
            (scanned_.treeBlocks.empty() || scanned_.treeBlocks.back() != block))
            scanned_.treeBlocks.push_back(std::uint32_t(block));
    }
    const bool isNode = head && head->level >= 2 && head->level <= kMaxLevel;
    if (scan.live.contains(block)) {
        if (isNode) {
            for (std::uint64_t kid : childrenOf(data))
                if (blockInVolume(kid) && !scan.done.contains(kid) && scan.live.insert(kid) &&
                    kid < block)
                    scan.behind.push_back(kid);
        } else if (head && head->level == 1) {
            // A leaf taken from its journal copy is read from there later.
            liveLeaves_.push_back(nodeSector(block));
            ProcessLeaf(nodeSector(block), data, true);
            if (scan.claimed) {
                // Every file a live leaf holds is listed.
                claimIndirectBlocks(data, *scan.claimed);
                scan.itemsClaimed.insert(block);
            }
        }
        return;
    }
    if (isNode) {
        scan.nodes.emplace(block, childrenOf(data));
    } else if (head && looksLikeLeaf(*head, data.size()) && !scan.done.contains(block)) {
        // Leaves packed full (free space 0) are common, so free space is
        // only required to lie within the block.
        scan.kept.add(sector, data);
        if (scan.pending && scan.pending->keep(data)) scan.itemsClaimed.insert(block);
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
        liveLeaves_.push_back(nodeSector(block));
        replayLeaf(scan.kept, scan.kept.find(volume_.blockSector(block)));
    }
}

// What only the leaves outside the live tree add: marked deleted.
void VolumeMount::replayDeleted(ExtensiveScan& scan) {
    const std::size_t liveFolders = catalog_.FolderList().size();
    const std::size_t liveFiles = catalog_.FileList().size();
    for (std::uint32_t i = 0; !stopRequested_ && i < scan.kept.leafCount(); ++i) {
        const std::uint64_t sector = scan.kept.leaf(i).sector;
        if (!scan.live.contains((sector - volume_.startSector) / volume_.sectorsPerBlock))
            replayLeaf(scan.kept, i);
    }
    const std::vector<Catalog::NamelessStat> nameless = catalog_.namelessStats();
    catalog_.releasePending();
    catalog_.markDeletedFrom(liveFolders, liveFiles);
    if (!stopRequested_) addLostFiles(reader_, volume_, catalog_, nameless, walkers_);
}

// Nodes and leaves are no carving's (the data blocks that items name are
// claimed once the catalog knows which files it lists). Only blocks whose
// free space agrees exactly with what they hold count here: a file's data
// block often starts with a small number that passes for a level, and
// claiming it would hide the file from carving. True when it claimed it.
bool VolumeMount::claimBlocks(ExtensiveScan& scan, std::uint64_t block, Bytes data,
                              const std::optional<BlockHead>& head) {
    if (!head || head->level < 1 || head->level > kMaxLevel) return false;
    const std::size_t heads = 24 + 24 * std::size_t(head->itemCount);
    bool claim = false;
    if (head->level >= 2) {
        const std::size_t used = 24 + 16 * std::size_t(head->itemCount) + 8 * (head->itemCount + 1);
        claim = used <= data.size() && head->freeSpace == data.size() - used;
    } else if (looksLikeLeaf(*head, data.size())) {
        // Only each item's length and location count here (a leaf of small
        // files holds a hundred items): read straight from the heads.
        if (heads > data.size()) return false;
        std::size_t lowest = data.size();
        for (std::size_t at = 24; at < heads; at += 24) {
            const Bytes item = data.subspan(at, 24); // inside `heads`
            const std::size_t length = le16(item, 18), location = le16(item, 20);
            if (location + length > data.size() || location < heads) return false;
            lowest = std::min(lowest, location);
        }
        claim = head->freeSpace == lowest - heads;
    }
    if (claim) scan.claimed->set(block);
    return claim;
}

} // namespace dorvak
