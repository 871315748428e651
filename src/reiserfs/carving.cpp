#include "reiserfs/carving.h"

#include "reiserfs/disk_order.h"

#include <algorithm>
#include <unordered_map>

namespace dorvak {
namespace {

constexpr std::size_t kHeadBytes = kCarveHeadBytes;
// Unclaimed blocks are looked at in batches of this many bytes of the volume.
constexpr std::size_t kBatchBytes = 1 << 20;

unsigned decimalDigits(std::uint64_t n) {
    unsigned d = 1;
    for (; n >= 10; n /= 10)
        ++d;
    return d;
}

bool sameRuns(const std::vector<BlockRun>& a, const std::vector<BlockRun>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const BlockRun& x, const BlockRun& y) {
                          return x.first == y.first && x.count == y.count;
                      });
}

} // namespace

const carve::FormatWalker* walkerIn(std::span<const carve::FormatWalker> walkers,
                                    std::span<const std::uint8_t> head) {
    for (const carve::FormatWalker& w : walkers)
        if (w.matches && w.walk && w.matches(head)) return &w;
    return nullptr;
}

std::vector<BlockRun> leadingBlocks(const std::vector<BlockRun>& runs, std::uint64_t blocks) {
    std::vector<BlockRun> out;
    for (const BlockRun& r : runs) {
        if (blocks == 0) break;
        const auto take = std::uint32_t(std::min<std::uint64_t>(r.count, blocks));
        if (!out.empty() && std::uint64_t(out.back().first) + out.back().count == r.first)
            out.back().count += take;
        else
            out.push_back({r.first, take});
        blocks -= take;
    }
    return out;
}

const carve::WalkMemo* WalkMemos::recall(const std::vector<BlockRun>& runs, std::uint64_t size,
                                         std::uint32_t blockSize) {
    Kept* best = nullptr;
    for (Kept& k : kept_) {
        if (k.memo->offset > size || (best && k.memo->offset <= best->memo->offset)) continue;
        const std::uint64_t blocks = (k.memo->offset + blockSize - 1) / blockSize;
        const std::vector<BlockRun> mine = leadingBlocks(runs, blocks);
        if (sameRuns(mine, k.blocks)) best = &k;
    }
    if (!best) return nullptr;
    best->used = ++clock_;
    return best->memo.get();
}

void WalkMemos::remember(const std::vector<BlockRun>& runs, std::uint32_t blockSize,
                         std::unique_ptr<carve::WalkMemo> memo) {
    if (!memo) return;
    Kept k{leadingBlocks(runs, (memo->offset + blockSize - 1) / blockSize), std::move(memo),
           ++clock_};
    // The tries of one prefix each leave a memo where their continuation
    // joins it: the same state of the same bytes, kept once.
    for (Kept& kept : kept_)
        if (kept.memo->offset == k.memo->offset && sameRuns(kept.blocks, k.blocks)) {
            kept.used = k.used;
            return;
        }
    if (kept_.size() < kMax) {
        kept_.push_back(std::move(k));
        return;
    }
    *std::min_element(kept_.begin(), kept_.end(),
                      [](const Kept& a, const Kept& b) { return a.used < b.used; }) = std::move(k);
}

BlockRunInput::BlockRunInput(SectorReader& reader, const VolumeInfo& volume,
                             std::vector<BlockRun> runs, std::uint64_t checkedBefore,
                             WalkMemos* memos, std::uint64_t neededPast)
    : reader_(reader), volume_(volume), runs_(std::move(runs)), checkedBefore_(checkedBefore),
      memos_(memos), neededPast_(neededPast) {
    for (const BlockRun& r : runs_) {
        starts_.push_back(size_);
        size_ += std::uint64_t(r.count) * volume_.blockSize();
    }
}

const carve::WalkMemo* BlockRunInput::recall() const {
    return memos_ ? memos_->recall(runs_, size_, std::uint32_t(volume_.blockSize())) : nullptr;
}

void BlockRunInput::remember(std::unique_ptr<carve::WalkMemo> memo) const {
    if (memos_) memos_->remember(runs_, std::uint32_t(volume_.blockSize()), std::move(memo));
}

// Reads `out.size()` bytes at `offset` of run `run` (all inside it): whole
// sectors straight into `out`, a sector cut at either end through `sector_`.
void BlockRunInput::readInRun(std::size_t run, std::uint64_t offset,
                              std::span<std::uint8_t> out) const {
    const std::uint64_t first = volume_.blockSector(runs_[run].first) * kSectorSize;
    std::uint64_t at = first + (offset - starts_[run]);
    // Unreadable sectors come back as zeros, which no format takes for its
    // own structure.
    const auto sectors = [&](std::uint64_t byte, std::uint32_t count, std::uint8_t* to) {
        if (!reader_.isOpen()) std::fill_n(to, std::size_t(count) * kSectorSize, 0);
        reader_.ReadSectors(byte / kSectorSize, count, to);
    };
    for (std::size_t done = 0; done < out.size();) {
        const std::size_t inSector = std::size_t(at % kSectorSize);
        const std::size_t left = out.size() - done;
        if (inSector != 0 || left < kSectorSize) {
            sectors(at - inSector, 1, sector_);
            const std::size_t take = std::min(left, kSectorSize - inSector);
            std::copy_n(sector_ + inSector, take, out.data() + done);
            done += take, at += take;
            continue;
        }
        const auto count = std::uint32_t(std::min<std::size_t>(left / kSectorSize, 1u << 16));
        sectors(at, count, out.data() + done);
        done += std::size_t(count) * kSectorSize, at += std::uint64_t(count) * kSectorSize;
    }
}

std::size_t BlockRunInput::read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (offset >= size_) return 0;
    const std::size_t n = std::size_t(std::min<std::uint64_t>(out.size(), size_ - offset));
    std::size_t run =
        std::size_t(std::upper_bound(starts_.begin(), starts_.end(), offset) - starts_.begin() - 1);
    for (std::size_t done = 0; done < n; ++run) {
        const std::uint64_t at = offset + done;
        const std::uint64_t runEnd =
            starts_[run] + std::uint64_t(runs_[run].count) * volume_.blockSize();
        const std::size_t take = std::size_t(std::min<std::uint64_t>(n - done, runEnd - at));
        readInRun(run, at, out.subspan(done, take));
        done += take;
    }
    return n;
}

CarvingPass::CarvingPass(SectorReader& reader, const VolumeInfo& volume, Catalog& catalog,
                         BlockBitmap& claimed, std::span<const carve::FormatWalker> walkers,
                         const std::atomic<bool>& stop, ProgressSink& progress,
                         const std::vector<std::uint32_t>* starts)
    : reader_(reader), volume_(volume), catalog_(catalog), claimed_(claimed), walkers_(walkers),
      signatures_(walkers), stop_(stop), progress_(progress), starts_(starts),
      digits_(std::max(7u, decimalDigits(claimed.size() ? claimed.size() - 1 : 0))) {}

bool CarvingPass::run() {
    const std::uint64_t blocks = claimed_.size();
    const std::uint64_t perBatch = std::max<std::uint64_t>(1, kBatchBytes / volume_.blockSize());
    std::vector<std::uint64_t> batch;
    // The next block that may start a file at or after `b`: unclaimed, and
    // on the scan's list when it kept one (asked in ascending order; a block
    // claimed once stays claimed).
    std::size_t listed = 0;
    const auto next = [&](std::uint64_t b) -> std::uint64_t {
        if (!starts_) return claimed_.nextClear(b);
        while (listed < starts_->size() &&
               ((*starts_)[listed] < b || claimed_.test((*starts_)[listed])))
            ++listed;
        return listed < starts_->size() ? std::min<std::uint64_t>((*starts_)[listed], blocks)
                                        : blocks;
    };
    for (std::uint64_t first = next(0); first < blocks; first = next(first)) {
        if (stop_) return false;
        progress_.percent(unsigned(std::min<std::uint64_t>(first * 100 / blocks, 99)));
        progress_.currentSector(volume_.blockSector(first));
        const std::uint64_t end = std::min(blocks, first + perBatch);
        batch.clear();
        for (std::uint64_t b = next(first); b < end; b = next(b + 1))
            batch.push_back(b);
        const bool whole =
            readBlocksInOrder(reader_, volume_, batch, stop_, [&](std::uint64_t b, Bytes data) {
                if (claimed_.test(b) || stop_) return; // taken by a file carved just now
                const auto head = data.first(std::min(data.size(), kHeadBytes));
                if (const carve::FormatWalker* w = signatures_(head)) candidate(b, *w);
            });
        if (!whole) return false;
        first = end;
    }
    return !stop_;
}

CarvingPass::Walk CarvingPass::walk(const carve::FormatWalker& walker, std::vector<BlockRun> runs,
                                    std::uint64_t checked, std::uint64_t neededPast) const {
    ++walks_;
    BlockRunInput in(reader_, volume_, std::move(runs), checked, &memos_, neededPast);
    Walk w;
    w.result = walker.walk(in);
    w.result.length = std::min(w.result.length, in.size()); // a walker never reads past it
    w.runs = in.runs();
    return w;
}

std::vector<BlockRun> CarvingPass::cut(std::vector<BlockRun> runs, std::uint64_t length) const {
    const std::uint64_t blockSize = volume_.blockSize();
    std::uint64_t blocks = (length + blockSize - 1) / blockSize;
    std::size_t kept = 0;
    for (; kept < runs.size() && blocks > 0; ++kept) {
        runs[kept].count = std::uint32_t(std::min<std::uint64_t>(runs[kept].count, blocks));
        blocks -= runs[kept].count;
    }
    runs.resize(kept);
    return runs;
}

// The last block that foreign bytes may start in, when the walk knows (0
// when not). A walk whose structure held until its input ended saw nothing
// foreign: the file's bytes most likely fill its runs (a ZIP entry or a JPEG
// scan cut there checks good only up to its start, well before), and it
// goes on after them.
std::uint64_t CarvingPass::lastForeignBlock(const carve::WalkResult& r, std::uint64_t breakBlocks,
                                            std::uint64_t inRuns) const {
    const std::uint64_t blockSize = volume_.blockSize();
    const std::uint64_t failedAt = r.inputEnded ? inRuns * blockSize + 1 : r.failedAt;
    if (failedAt <= r.length) return 0;
    return std::clamp<std::uint64_t>((failedAt - 1) / blockSize, breakBlocks, inRuns);
}

// An interrupted file: the blocks up to the one where its structure broke
// are kept, and the unclaimed blocks after them, nearest first, are tried as
// the next part. The foreign block may lie past the break (a chunk whose
// check comes at its end, a deflate stream that decodes foreign bytes for a
// while): when the walk says where it saw the failure, or that its input
// ended first, the prefixes that end there are tried first, nearest to it
// first; else a few longer prefixes after the break. The try that the format
// follows furthest replaces `best`, and one that is complete or that a check
// over its bytes vouches for past the join at once; false when none gets
// further than the break.
bool CarvingPass::followBreak(const carve::FormatWalker& walker, Walk& best) const {
    if (best.result.length > kMaxFollowedBytes) return false;
    const std::uint64_t blockSize = volume_.blockSize();
    const std::uint64_t breakBlocks =
        std::max<std::uint64_t>(1, (best.result.length + blockSize - 1) / blockSize);
    std::uint64_t inRuns = 0;
    for (const BlockRun& r : best.runs)
        inRuns += r.count;
    const std::uint64_t failBlock = lastForeignBlock(best.result, breakBlocks, inRuns);
    Walk found = best;
    for (unsigned slack = 0; slack <= kFarSlack; ++slack) {
        const std::uint64_t blocks = failBlock ? failBlock - slack : breakBlocks + slack;
        if (blocks > inRuns || blocks < breakBlocks) break;
        const std::vector<BlockRun> prefix = cut(best.runs, blocks * blockSize);
        const std::uint64_t prefixBytes = blocks * blockSize;
        std::uint64_t at = std::uint64_t(prefix.back().first) + prefix.back().count + 1;
        const unsigned tries = slack == 0              ? kTriesPerBreak
                               : slack <= kPrefixSlack ? kTriesPerBreak / 4
                                                       : kFarTries;
        bool decided = false; // by the prefix alone: every try ends alike
        for (unsigned n = 0; n < tries && !stop_ && walks_ < kMaxWalks && tried_ < kMaxTriedBytes;
             ++n, ++at) {
            at = claimed_.nextClear(at);
            if (at >= claimed_.size()) break;
            if (decided) {
                // Counted as the walk would have been, so that the bounds
                // end the search where they would have.
                ++walks_;
                tried_ += prefixBytes;
                continue;
            }
            const std::uint64_t runEnd = std::min(claimed_.nextSet(at), at + 0xFFFFFFFFu);
            std::vector<BlockRun> runs = prefix;
            runs.push_back({std::uint32_t(at), std::uint32_t(runEnd - at)});
            // The try keeps the blocks before the break as they were, so
            // what the last walk checked good stays good. It is kept only
            // when it checks good further than this.
            const std::uint64_t needed = std::max(prefixBytes - blockSize, best.result.length);
            Walk w =
                walk(walker, std::move(runs), std::min(best.result.length, prefixBytes), needed);
            tried_ += prefixBytes;
            decided = w.result.decidedBefore != 0 && w.result.decidedBefore <= prefixBytes;
            if (w.result.status == carve::WalkStatus::NotThisFormat || w.result.length <= needed)
                continue;
            // Complete, or checked good past the join by a check over its
            // bytes: the continuation is taken at once.
            if (w.result.status == carve::WalkStatus::Complete ||
                (walker.checksBytes && w.result.length > prefixBytes)) {
                best = std::move(w);
                return true;
            }
            if (w.result.length > found.result.length) found = std::move(w);
        }
    }
    if (found.result.length <= best.result.length) return false;
    best = std::move(found);
    return true;
}

void CarvingPass::candidate(std::uint64_t block, const carve::FormatWalker& walker) {
    const std::uint64_t end = std::min(claimed_.nextSet(block), block + 0xFFFFFFFFu);
    walks_ = 0;
    tried_ = 0;
    memos_.clear();
    Walk w = walk(walker, {{std::uint32_t(block), std::uint32_t(end - block)}});
    if (w.result.status == carve::WalkStatus::NotThisFormat) return;
    for (unsigned part = 1;
         part < kMaxFragments && !stop_ && w.result.status == carve::WalkStatus::Interrupted;
         ++part)
        if (!followBreak(walker, w)) break;
    if (w.result.length == 0) return;
    const std::vector<BlockRun> runs = cut(w.runs, w.result.length);
    for (const BlockRun& r : runs)
        claimed_.set(r.first, r.count);
    const std::string_view extension =
        w.result.extension.empty() ? walker.extension : std::string_view(w.result.extension);
    const std::string_view typeName =
        w.result.typeName.empty() ? walker.typeName : std::string_view(w.result.typeName);
    const bool unchecked = runs.size() > 1 && !walker.checksJoins;
    catalog_.AddCarvedFile(runs, w.result.length, extension, typeName,
                           w.result.status != carve::WalkStatus::Complete || unchecked, digits_);
}

void claimIndirectBlocks(Bytes leaf, BlockBitmap& claimed,
                         const std::function<bool(std::uint64_t key)>& listed) {
    auto head = ReadBlockHead(leaf);
    for (std::uint32_t i = 0; head && i < head->itemCount; ++i) {
        auto item = ReadItemHead(leaf, i);
        if (!item) break;
        if (item->type != ItemType::Indirect || !item->bodyFits(leaf.size()) ||
            (listed && !listed(objectKey(item->dirId, item->objectId))))
            continue;
        for (std::size_t at = item->itemLocation;
             at + 4 <= std::size_t(item->itemLocation) + item->itemLength; at += 4)
            claimed.set(le32(leaf, at));
    }
}

bool PendingClaims::keep(Bytes leaf) {
    const std::size_t before = runs_.size();
    auto head = ReadBlockHead(leaf);
    for (std::uint32_t i = 0; head && i < head->itemCount; ++i) {
        auto item = ReadItemHead(leaf, i);
        if (!item) break;
        if (item->type != ItemType::Indirect || !item->bodyFits(leaf.size())) continue;
        const std::uint64_t key = objectKey(item->dirId, item->objectId);
        for (std::size_t at = item->itemLocation;
             at + 4 <= std::size_t(item->itemLocation) + item->itemLength; at += 4) {
            const std::uint32_t block = le32(leaf, at);
            if (block == 0) continue; // a hole
            if (runs_.size() > before && runs_.back().key == key &&
                runs_.back().first + runs_.back().count == block && runs_.back().count < ~0u) {
                ++runs_.back().count;
                continue;
            }
            if (runs_.size() >= budget_) {
                runs_.resize(before);
                return false;
            }
            runs_.push_back({key, block, 1});
        }
    }
    return true;
}

namespace {

// Object keys, each with a flag: open addressing over a power of two. Key 0
// (no object) is never held and never marked.
class KeyFlags {
public:
    explicit KeyFlags(const std::vector<std::uint64_t>& keys) {
        std::size_t size = 16;
        while (size < 2 * keys.size())
            size *= 2;
        slots_.assign(size, Slot{});
        for (std::uint64_t key : keys)
            if (key != 0) slots_[find(key)].key = key;
    }
    void mark(std::uint64_t key) {
        if (Slot& s = slots_[find(key)]; key != 0 && s.key == key) s.flag = true;
    }
    bool marked(std::uint64_t key) const {
        const Slot& s = slots_[find(key)];
        return key != 0 && s.key == key && s.flag;
    }

private:
    struct Slot {
        std::uint64_t key = 0;
        bool flag = false;
    };
    // The slot that holds `key`, or the empty one where it would go.
    std::size_t find(std::uint64_t key) const {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = std::size_t((key * 0x9E3779B97F4A7C15ull) >> 32) & mask;
        while (slots_[i].key != 0 && slots_[i].key != key)
            i = (i + 1) & mask;
        return i;
    }
    std::vector<Slot> slots_;
};

} // namespace

void claimListedData(SectorReader& reader, const VolumeInfo& volume, const Catalog& catalog,
                     BlockBitmap& claimed, const std::atomic<bool>& stop,
                     const std::function<bool(std::uint64_t block)>& claimedBefore,
                     const PendingClaims* pending) {
    // The objects whose listing decides something here (those of the kept
    // runs and of the leaves read again) are few beside the catalog's files:
    // each file is looked up among them, not the other way round. A leaf
    // read again holds no indirect item that the catalog did not take (and
    // so list here) but that of a damaged key, which names no file.
    std::vector<std::uint64_t> leaves, wanted;
    std::uint64_t lastSector = ~std::uint64_t(0);
    bool lastBefore = false; // a leaf's items come one after another
    for (const DataItemRef& ref : catalog.IndirectItems()) {
        if (ref.leafSector < volume.startSector) continue;
        if (ref.leafSector != lastSector) {
            lastSector = ref.leafSector;
            const std::uint64_t block = (lastSector - volume.startSector) / volume.sectorsPerBlock;
            lastBefore = claimedBefore && claimedBefore(block);
            if (!lastBefore) leaves.push_back(block);
        }
        if (!lastBefore) wanted.push_back(objectKey(ref.dirId, ref.objectId));
    }
    if (pending)
        for (const PendingClaims::Run& r : pending->runs_)
            if (wanted.empty() || wanted.back() != r.key) wanted.push_back(r.key);
    KeyFlags listedKeys(wanted);
    if (!wanted.empty())
        for (const CatalogEntry& f : catalog.FileList())
            if (f.keyDirId != 0) listedKeys.mark(objectKey(f.keyDirId, f.objectId));
    const auto listed = [&](std::uint64_t key) { return listedKeys.marked(key); };
    if (pending)
        for (const PendingClaims::Run& r : pending->runs_)
            if (listed(r.key)) claimed.set(r.first, r.count);
    std::sort(leaves.begin(), leaves.end());
    leaves.erase(std::unique(leaves.begin(), leaves.end()), leaves.end());
    readBlocksInOrder(reader, volume, leaves, stop, [&](std::uint64_t, Bytes data) {
        claimIndirectBlocks(data, claimed, listed);
    });
}

namespace {

// The first bytes of a file from its first data item: the body of a direct
// item, or the first block an indirect item names.
std::vector<std::uint8_t> headOf(SectorReader& reader, const VolumeInfo& volume,
                                 const DataItemRef& item, bool direct) {
    std::vector<std::uint8_t> leaf(volume.blockSize());
    reader.ReadSectors(item.leafSector, volume.sectorsPerBlock, leaf.data());
    if (std::size_t(item.itemLocation) + item.itemLength > leaf.size()) return {};
    if (direct) {
        const std::size_t n = std::min<std::size_t>(item.itemLength, kCarveHeadBytes);
        return {leaf.begin() + item.itemLocation, leaf.begin() + item.itemLocation + n};
    }
    if (item.itemLength < 4) return {};
    const std::uint32_t block = le32(leaf, item.itemLocation);
    const std::uint64_t blocks =
        volume.sectorsPerBlock ? volume.sectorCount / volume.sectorsPerBlock : 0;
    if (block == 0 || block >= blocks) return {};
    std::vector<std::uint8_t> head(kCarveHeadBytes);
    reader.ReadSectors(volume.blockSector(block), 1, head.data());
    return head;
}

} // namespace

void addLostFiles(SectorReader& reader, const VolumeInfo& volume, Catalog& catalog,
                  const std::vector<Catalog::NamelessStat>& stats,
                  std::span<const carve::FormatWalker> walkers) {
    // The first data item of each nameless key: the one at offset 1.
    struct First {
        const DataItemRef* item = nullptr;
        bool direct = false;
        bool any = false;
    };
    std::unordered_map<std::uint64_t, First> first;
    for (const Catalog::NamelessStat& s : stats)
        if (s.size > 0) first.emplace(objectKey(s.dirId, s.objectId), First{});
    if (first.empty()) return;
    for (bool direct : {true, false})
        for (const DataItemRef& ref : direct ? catalog.DirectItems() : catalog.IndirectItems()) {
            auto it = first.find(objectKey(ref.dirId, ref.objectId));
            if (it == first.end()) continue;
            it->second.any = true;
            if (ref.keyOffset == 1) it->second = {&ref, direct, true};
        }
    for (const Catalog::NamelessStat& s : stats) {
        auto it = first.find(objectKey(s.dirId, s.objectId));
        if (it == first.end() || !it->second.any) continue;
        std::string name = std::to_string(s.objectId);
        if (it->second.item) {
            const auto head = headOf(reader, volume, *it->second.item, it->second.direct);
            if (const carve::FormatWalker* w = walkerIn(walkers, head))
                name += "." + std::string(w->extension);
        }
        catalog.AddLostFile(name, s.dirId, s.objectId, s.modifiedTime, s.auxValue, s.size);
    }
}

} // namespace dorvak
