#pragma once
// Carving: after an Extensive scan, the blocks that nothing on the volume
// claims (no tree node, no block that a live or stale indirect item names)
// are tested in ascending order for the start of a known file format. A file
// starts at a block boundary on this file system, so only a block's first
// bytes are tested; the format walker finds the file's length from the
// format itself. A file the format shows to be interrupted is followed into
// the next unclaimed runs (files written together interleave their runs,
// and blocks are handed out in ascending order), and kept as a damaged
// partial file when no continuation checks good. A carved file claims its
// blocks: no block goes to two files.
//
// Also here: files whose stat data and items survive but that no name
// reaches, listed under "Lost Files" by object id.

#include "carve/format_walker.h"
#include "disk/progress.h"
#include "disk/sector_reader.h"
#include "disk/volume_info.h"
#include "reiserfs/block_bitmap.h"
#include "reiserfs/catalog.h"

#include <atomic>
#include <functional>
#include <span>
#include <vector>

namespace dorvak {

// The head a walker's signature test sees: a block's first bytes.
inline constexpr std::size_t kCarveHeadBytes = 512;

// The first walker of `walkers` whose signature matches `head`, or null.
const carve::FormatWalker* walkerIn(std::span<const carve::FormatWalker> walkers,
                                    std::span<const std::uint8_t> head);

// The first `blocks` blocks of `runs`, adjacent runs joined.
std::vector<BlockRun> leadingBlocks(const std::vector<BlockRun>& runs, std::uint64_t blocks);

// The memos the walks of one candidate leave, each with the blocks its bytes
// came from, so that a later walk gets only a memo of the bytes it shares.
// The ones recalled least lately go first: a memo that a wrong continuation
// left past the break is never recalled again.
class WalkMemos {
public:
    static constexpr std::size_t kMax = 32;
    const carve::WalkMemo* recall(const std::vector<BlockRun>& runs, std::uint64_t size,
                                  std::uint32_t blockSize);
    void remember(const std::vector<BlockRun>& runs, std::uint32_t blockSize,
                  std::unique_ptr<carve::WalkMemo> memo);
    void clear() { kept_.clear(); }

private:
    struct Kept {
        std::vector<BlockRun> blocks; // those that hold the bytes before the memo's offset
        std::unique_ptr<carve::WalkMemo> memo;
        std::uint64_t used = 0;
    };
    std::vector<Kept> kept_;
    std::uint64_t clock_ = 0;
};

// The bytes of runs of blocks, one after another. A walker reads through a
// window of its own, so a read goes straight to the sectors.
class BlockRunInput final : public carve::CarveInput {
public:
    BlockRunInput(SectorReader& reader, const VolumeInfo& volume, std::vector<BlockRun> runs,
                  std::uint64_t checkedBefore = 0, WalkMemos* memos = nullptr,
                  std::uint64_t neededPast = 0);
    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) const override;
    std::uint64_t checkedBefore() const override { return checkedBefore_; }
    const carve::WalkMemo* recall() const override;
    void remember(std::unique_ptr<carve::WalkMemo> memo) const override;
    std::uint64_t joinedAt() const override { return runs_.size() > 1 ? starts_.back() : 0; }
    std::uint64_t neededPast() const override { return neededPast_; }
    const std::vector<BlockRun>& runs() const { return runs_; }

private:
    void readInRun(std::size_t run, std::uint64_t offset, std::span<std::uint8_t> out) const;
    SectorReader& reader_;
    const VolumeInfo& volume_;
    std::vector<BlockRun> runs_;
    std::vector<std::uint64_t> starts_; // each run's first byte in the input
    std::uint64_t size_ = 0;
    std::uint64_t checkedBefore_ = 0;
    WalkMemos* memos_;
    std::uint64_t neededPast_ = 0;
    mutable std::uint8_t sector_[kSectorSize];
};

class CarvingPass {
public:
    // How far a fragmented file is followed: continuations tried at each
    // break, and breaks followed.
    static constexpr unsigned kTriesPerBreak = 48;
    static constexpr unsigned kMaxFragments = 32;
    // Blocks past the break that may still be the file's own.
    static constexpr unsigned kPrefixSlack = 3;
    // Formats that vouch only for the structures before the last one that
    // checked (a ZIP entry, a JPEG scan) may break well past where their
    // good bytes end: longer prefixes still, each with a few near tries.
    static constexpr unsigned kFarSlack = 16;
    static constexpr unsigned kFarTries = 8;
    // Every try walks the file again from its start: a file longer than this
    // at its break is kept as it is, and one candidate gets at most
    // kMaxWalks walks, whatever its breaks, and its tries together walk at
    // most kMaxTriedBytes before their breaks (a large file damaged where
    // no continuation can check good would otherwise be read hundreds of
    // times over).
    static constexpr std::uint64_t kMaxFollowedBytes = 64ull << 20;
    static constexpr unsigned kMaxWalks = 256;
    static constexpr std::uint64_t kMaxTriedBytes = 64ull << 20;

    // `starts`, when given, lists in ascending order the blocks whose heads
    // a walker matched as they were read before (and maybe other blocks);
    // only the unclaimed ones among them are read again. Without it every
    // unclaimed block is read.
    CarvingPass(SectorReader& reader, const VolumeInfo& volume, Catalog& catalog,
                BlockBitmap& claimed, std::span<const carve::FormatWalker> walkers,
                const std::atomic<bool>& stop, ProgressSink& progress,
                const std::vector<std::uint32_t>* starts = nullptr);
    // Carves every unclaimed block in ascending order; false when stopped.
    bool run();

private:
    struct Walk {
        std::vector<BlockRun> runs;
        carve::WalkResult result;
    };
    void candidate(std::uint64_t block, const carve::FormatWalker& walker);
    // `checked`: the bytes an earlier walk of the same prefix checked good;
    // `neededPast`: what the walk must pass to be kept (see CarveInput).
    Walk walk(const carve::FormatWalker& walker, std::vector<BlockRun> runs,
              std::uint64_t checked = 0, std::uint64_t neededPast = 0) const;
    bool followBreak(const carve::FormatWalker& walker, Walk& best) const;
    std::uint64_t lastForeignBlock(const carve::WalkResult& result, std::uint64_t breakBlocks,
                                   std::uint64_t inRuns) const;
    // The blocks of `runs` that hold the first `length` bytes.
    std::vector<BlockRun> cut(std::vector<BlockRun> runs, std::uint64_t length) const;

    SectorReader& reader_;
    const VolumeInfo& volume_;
    Catalog& catalog_;
    BlockBitmap& claimed_;
    std::span<const carve::FormatWalker> walkers_;
    carve::SignatureTest signatures_;
    const std::atomic<bool>& stop_;
    ProgressSink& progress_;
    const std::vector<std::uint32_t>* starts_;
    unsigned digits_ = 7;             // of a carved file's block number in its name
    mutable WalkMemos memos_;         // of the candidate in hand
    mutable unsigned walks_ = 0;      // of the candidate in hand
    mutable std::uint64_t tried_ = 0; // bytes before the breaks its tries walked
};

// The blocks that the indirect items of leaves not known to be live name,
// kept by object as the scan first parses each leaf: whether an object's
// blocks are claimed waits until the catalog knows which objects it lists,
// and this spares reading those leaves a second time. Kept as runs (a file
// written in one go is one run whatever its size), up to a budget; a leaf
// past it is not kept and is read again instead.
class PendingClaims {
public:
    explicit PendingClaims(std::size_t budgetRuns) : budget_(budgetRuns) {}
    // Keeps the runs of `leaf`'s indirect items; false (nothing kept) when
    // they would pass the budget.
    bool keep(Bytes leaf);
    std::size_t size() const { return runs_.size(); }

private:
    friend void claimListedData(SectorReader&, const VolumeInfo&, const Catalog&, BlockBitmap&,
                                const std::atomic<bool>&, const std::function<bool(std::uint64_t)>&,
                                const PendingClaims*);
    struct Run {
        std::uint64_t key = 0; // objectKey of the item's object
        std::uint32_t first = 0;
        std::uint32_t count = 0;
    };
    std::vector<Run> runs_;
    std::size_t budget_;
};

// Claims the blocks that the indirect items of the files the catalog lists
// name (live files, older versions, deleted and lost files: every version
// that can be copied out). The items of objects nothing lists, such as
// journal copies of leaves whose names and stat data are gone, claim
// nothing: their blocks are what carving is for.
// `claimedBefore`, when given, names the leaves whose items were claimed as
// they were read before (live leaves: every file they hold is listed) or
// kept in `pending`; only the others are read again.
void claimListedData(SectorReader& reader, const VolumeInfo& volume, const Catalog& catalog,
                     BlockBitmap& claimed, const std::atomic<bool>& stop,
                     const std::function<bool(std::uint64_t block)>& claimedBefore = {},
                     const PendingClaims* pending = nullptr);

// Claims the blocks that the indirect items of `leaf` name: of every object,
// or of the objects whose keys `listed` takes.
void claimIndirectBlocks(Bytes leaf, BlockBitmap& claimed,
                         const std::function<bool(std::uint64_t key)>& listed = {});

// Lists under "Lost Files" the regular files whose stat data no name joined
// (`stats`, from the catalog before its waiting lists go) and that have data
// items, each named by its object id and the extension its first block
// shows.
void addLostFiles(SectorReader& reader, const VolumeInfo& volume, Catalog& catalog,
                  const std::vector<Catalog::NamelessStat>& stats,
                  std::span<const carve::FormatWalker> walkers);

} // namespace dorvak
