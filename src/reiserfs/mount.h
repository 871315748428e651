#pragma once
// Mounting a volume: collecting its items into the catalog, either by walking
// the tree from the root block (Normal) or by testing every block of the
// volume for a leaf (Extensive, which also finds leaves the live tree no
// longer reaches), then the lost-folder pass and the folder tree. Both read
// in disk order (see disk_order.h): the walk a level at a time, Extensive in
// one pass after the internal nodes.

#include "carve/format_walker.h"
#include "disk/progress.h"
#include "disk/sector_reader.h"
#include "disk/volume_info.h"
#include "reiserfs/block_bitmap.h"
#include "reiserfs/catalog.h"
#include "reiserfs/disk_order.h"
#include "reiserfs/index_table.h"
#include "reiserfs/journal.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace dorvak {

inline constexpr const char* kOutOfMemoryText =
    "Out of memory, close other applications and run again";
// The program ends after that message with this status: a run that lost its
// catalog is a failure to whatever started it.
inline constexpr int kOutOfMemoryExitStatus = 2;

struct MountResult {
    bool stopped = false;     // collection ended early on request
    bool outOfMemory = false; // the catalog holds what fitted
    std::uint64_t leavesRead = 0;
    std::uint64_t nodesSkipped = 0; // implausible or repeated nodes
    // Tree nodes that could not be read, taken from their journal copy.
    std::uint64_t nodesFromJournal = 0;
    // Leaves the Normal walk read ahead of their turn in a sweep of a level,
    // dropped for room and read again at their turn (a level it reads a
    // window at a time reads every block once).
    std::uint64_t leavesReadTwice = 0;
};

// Where an Extensive scan of every block got to. A stopped scan goes on from
// `nextBlock`; the blocks before it that held a node or a leaf head, or a
// carved file's first bytes, are all
// it needs to read again to stand where it stood (the others held nothing
// the scan keeps).
struct ScanPosition {
    std::uint64_t nextBlock = 0;
    // Ascending: the nodes and leaves met, and the blocks carving may start
    // a file at (what a scan that goes on must see again).
    std::vector<std::uint32_t> treeBlocks;
};

// What the Normal walk may hold, by default, of blocks read ahead of their
// turn in the tree order, in MiB: leaves held compact by a sweep of a level,
// or a window of a level's blocks held raw in a quarter of it (see
// VolumeMount::walkLevel). 8 MiB of raw window stays in the processor's
// last cache (a window of 32 MiB took half as much CPU time again on a
// million files) and already reads a volume grown all over its key space
// in a few thousand requests.
inline constexpr std::size_t kDefaultReadAheadMiB = 32;

class VolumeMount {
public:
    VolumeMount(SectorReader& reader, const VolumeInfo& volume, Catalog& catalog,
                std::atomic<bool>& stopRequested, ProgressSink& progress = nullProgress());

    // The whole mount: clear, collect in `mode`, lost folders, folder tree.
    // The starter clears the stop flag before the worker runs; the mount
    // clears it only between its own phases, so that a stopped collection
    // still gets its lost folders and tree.
    // Extensive mode reads the internal nodes, then every block once; what
    // only leaves outside the live tree hold is marked deleted.
    MountResult MountSelectedVolume(RecoveryMode mode);

    // The format walkers an Extensive mount carves with and types lost
    // files by (none by default), and whether it carves at all: files that
    // no name reaches are listed either way.
    void setWalkers(std::span<const carve::FormatWalker> walkers) {
        walkers_ = walkers;
        signatures_ = carve::SignatureTest(walkers);
    }
    void setCarving(bool carve) { carve_ = carve; }
    // The most the walk holds of blocks read ahead of their turn, in bytes
    // (a setting in MiB): leaves held compact by a sweep of a level (past
    // it, the furthest ahead are dropped and read again at their turn), or
    // four times the window of a level read at a time, sorted by block.
    void setReadAheadBytes(std::size_t bytes) { readAheadBytes_ = bytes; }
    // An Extensive mount that goes on from where a stopped scan of this
    // volume ended (null: from the first block). Kept by reference.
    void setResume(const ScanPosition* from) { resume_ = from; }
    // Where the last Extensive scan got to (every block once it ran whole).
    const ScanPosition& scanPosition() const { return scanned_; }

    // The live tree's collection on its own (the catalog is not cleared).
    void WalkTree();
    // Decodes one leaf block already read into `block` (its first sector at
    // `sector`). With `testHead`, a block that does not look like a leaf is
    // ignored.
    void ProcessLeaf(std::uint64_t sector, Bytes block, bool testHead);

    // Sectors of the live leaves the last collection handed over.
    const std::vector<std::uint64_t>& liveLeaves() const { return liveLeaves_; }

private:
    void prefetchKeys(Bytes block, std::uint32_t itemCount);
    // A node of the walk and the children it points at.
    struct WalkParent {
        std::uint16_t level = 0;
        std::vector<std::uint64_t> kids;
    };
    // Internal nodes exist at levels 2 to 5; a root leaf has level 1.
    static constexpr std::uint16_t kMaxLevel = 5;
    struct WalkCounts {
        std::uint64_t internal = 1; // the root
        std::uint64_t leaves = 0;
    };
    struct ExtensiveScan;
    void walkLevels(BlockBitmap* later, std::uint16_t laterBelow);
    class LevelHandOver;
    bool walkLevel(const std::vector<std::uint64_t>& level, std::vector<WalkParent>& parents,
                   WalkCounts& counts);
    bool sweepLevel(const std::vector<std::uint64_t>& level,
                    const std::vector<std::uint32_t>& places,
                    const std::vector<std::uint64_t>& sorted, std::vector<WalkParent>& parents,
                    WalkCounts& counts);
    bool windowLevel(const std::vector<std::uint64_t>& level, std::vector<WalkParent>& parents,
                     WalkCounts& counts);
    std::size_t windowBlocks() const;
    void handOverBlock(std::uint64_t block, Bytes data, std::vector<WalkParent>& parents);
    bool walkRoot(std::vector<WalkParent>& parents);
    std::vector<std::uint64_t> nextLevel(std::vector<WalkParent>& parents, BlockSet& seen,
                                         BlockBitmap* later, std::uint16_t laterBelow);
    void collectExtensive();
    void scanBlocks(ExtensiveScan& scan);
    bool scanMapped(ExtensiveScan& scan, std::uint64_t first, std::uint64_t n,
                    std::vector<std::uint8_t>& block, std::uint64_t& k);
    std::uint64_t resumeScan(ExtensiveScan& scan);
    void scanBlock(ExtensiveScan& scan, std::uint64_t block, Bytes data);
    void completeLiveTree(ExtensiveScan& scan);
    void replayDeleted(ExtensiveScan& scan);
    // `head`: the block's, as read.
    bool claimBlocks(ExtensiveScan& scan, std::uint64_t block, Bytes data,
                     const std::optional<BlockHead>& head);
    void addItem(std::uint64_t sector, const ItemHead& item, Bytes bodies, std::size_t bodyAt);
    void replayLeaf(const LeafStore& store, std::uint32_t index);
    void replayLeaf(std::uint64_t sector, const KeptLeaf& leaf);
    void replayLeaf(std::uint64_t sector, Bytes block);
    std::vector<std::uint64_t> childrenOf(Bytes node);
    bool blockInVolume(std::uint64_t block) const;
    // A tree node that could not be read: its newest journal copy into
    // `data`, when the journal has one that reads whole.
    bool readJournalCopy(std::uint64_t block, std::span<std::uint8_t> data);
    // Where the node at `block` was read from: its journal copy, or itself.
    std::uint64_t nodeSector(std::uint64_t block) const;
    std::uint64_t volumeBlocks() const;

    SectorReader& reader_;
    const VolumeInfo& volume_;
    Catalog& catalog_;
    std::atomic<bool>& stopRequested_;
    ProgressSink& progress_;
    MountResult result_;
    std::vector<std::uint64_t> liveLeaves_;
    std::unique_ptr<JournalIndex> journal_; // read at the first node that fails, once a mount
    std::unordered_map<std::uint64_t, std::uint64_t> fromJournal_; // block to its copy's sector
    std::span<const carve::FormatWalker> walkers_;
    carve::SignatureTest signatures_{{}};
    bool carve_ = true;
    std::size_t readAheadBytes_ = kDefaultReadAheadMiB << 20;
    const ScanPosition* resume_ = nullptr;
    ScanPosition scanned_;
};

} // namespace dorvak
