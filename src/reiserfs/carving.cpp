#include "reiserfs/carving.h"

#include "reiserfs/disk_order.h"

#include <algorithm>
#include <unordered_map>

namespace dorvak {
namespace {

// A carving input reads through a window of this many bytes.
constexpr std::size_t kWindowBytes = 256 * 1024;
constexpr std::size_t kHeadBytes = kCarveHeadBytes;
// Unclaimed blocks are looked at in batches of this many bytes of the volume.
constexpr std::size_t kBatchBytes = 1 << 20;

unsigned decimalDigits(std::uint64_t n) {
    unsigned d = 1;
    for (; n >= 10; n /= 10)
        ++d;
    return d;
}

} // namespace

const carve::FormatWalker* walkerIn(std::span<const carve::FormatWalker> walkers,
                                    std::span<const std::uint8_t> head) {
    for (const carve::FormatWalker& w : walkers)
        if (w.matches && w.walk && w.matches(head)) return &w;
    return nullptr;
}

BlockRunInput::BlockRunInput(SectorReader& reader, const VolumeInfo& volume,
                             std::vector<BlockRun> runs, std::uint64_t checkedBefore)
    : reader_(reader), volume_(volume), runs_(std::move(runs)), checkedBefore_(checkedBefore) {
    for (const BlockRun& r : runs_) {
        starts_.push_back(size_);
        size_ += std::uint64_t(r.count) * volume_.blockSize();
    }
}

// Reads the window from the block that holds `offset` to at most the end of
// its run.
void BlockRunInput::fill(std::uint64_t offset) const {
    const std::size_t run =
        std::size_t(std::upper_bound(starts_.begin(), starts_.end(), offset) - starts_.begin() - 1);
    const std::uint64_t blockSize = volume_.blockSize();
    const std::uint64_t block = (offset - starts_[run]) / blockSize;
    const std::uint64_t left = (runs_[run].count - block) * blockSize;
    const std::uint64_t length = std::min<std::uint64_t>(left, kWindowBytes);
    windowStart_ = starts_[run] + block * blockSize;
    window_.assign(std::size_t(length), 0);
    // Unreadable sectors come back as zeros, which no format takes for its
    // own structure.
    reader_.ReadSectors(volume_.blockSector(runs_[run].first + block),
                        std::uint32_t(length / kSectorSize), window_.data());
}

std::size_t BlockRunInput::read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (offset >= size_) return 0;
    const std::size_t n = std::size_t(std::min<std::uint64_t>(out.size(), size_ - offset));
    for (std::size_t done = 0; done < n;) {
        const std::uint64_t at = offset + done;
        if (at < windowStart_ || at >= windowStart_ + window_.size()) fill(at);
        const std::size_t from = std::size_t(at - windowStart_);
        const std::size_t take = std::min(n - done, window_.size() - from);
        std::copy_n(window_.data() + from, take, out.data() + done);
        done += take;
    }
    return n;
}

CarvingPass::CarvingPass(SectorReader& reader, const VolumeInfo& volume, Catalog& catalog,
                         BlockBitmap& claimed, std::span<const carve::FormatWalker> walkers,
                         const std::atomic<bool>& stop, ProgressSink& progress,
                         const BlockBitmap* starts)
    : reader_(reader), volume_(volume), catalog_(catalog), claimed_(claimed), walkers_(walkers),
      stop_(stop), progress_(progress), starts_(starts),
      digits_(std::max(7u, decimalDigits(claimed.size() ? claimed.size() - 1 : 0))) {}

bool CarvingPass::run() {
    const std::uint64_t blocks = claimed_.size();
    const std::uint64_t perBatch = std::max<std::uint64_t>(1, kBatchBytes / volume_.blockSize());
    std::vector<std::uint64_t> batch;
    // The next block that may start a file: unclaimed, and a start when the
    // scan marked them.
    const auto next = [&](std::uint64_t b) {
        for (b = claimed_.nextClear(b); starts_ && b < blocks && !starts_->test(b);)
            b = claimed_.nextClear(starts_->nextSet(b));
        return b;
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
                if (const carve::FormatWalker* w = walkerIn(walkers_, head)) candidate(b, *w);
            });
        if (!whole) return false;
        first = end;
    }
    return !stop_;
}

CarvingPass::Walk CarvingPass::walk(const carve::FormatWalker& walker, std::vector<BlockRun> runs,
                                    std::uint64_t checked) const {
    ++walks_;
    BlockRunInput in(reader_, volume_, std::move(runs), checked);
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

// An interrupted file: the blocks up to the one where its structure broke
// are kept, and the unclaimed blocks after them, nearest first, are tried as
// the next part. The foreign block may lie a few blocks past the break (a
// chunk whose check comes at its end), so a few longer prefixes are tried
// too. The try that the format follows furthest (a complete one at once)
// replaces `best`; false when none gets further than the break.
bool CarvingPass::followBreak(const carve::FormatWalker& walker, Walk& best) const {
    if (best.result.length > kMaxFollowedBytes) return false;
    const std::uint64_t blockSize = volume_.blockSize();
    const std::uint64_t breakBlocks =
        std::max<std::uint64_t>(1, (best.result.length + blockSize - 1) / blockSize);
    std::uint64_t inRuns = 0;
    for (const BlockRun& r : best.runs)
        inRuns += r.count;
    Walk found = best;
    for (unsigned slack = 0; slack <= kFarSlack && breakBlocks + slack <= inRuns; ++slack) {
        const std::vector<BlockRun> prefix = cut(best.runs, (breakBlocks + slack) * blockSize);
        const std::uint64_t prefixBytes = (breakBlocks + slack) * blockSize;
        std::uint64_t at = std::uint64_t(prefix.back().first) + prefix.back().count + 1;
        const unsigned tries = slack == 0              ? kTriesPerBreak
                               : slack <= kPrefixSlack ? kTriesPerBreak / 4
                                                       : kFarTries;
        for (unsigned n = 0; n < tries && !stop_ && walks_ < kMaxWalks && tried_ < kMaxTriedBytes;
             ++n, ++at) {
            at = claimed_.nextClear(at);
            if (at >= claimed_.size()) break;
            const std::uint64_t runEnd = std::min(claimed_.nextSet(at), at + 0xFFFFFFFFu);
            std::vector<BlockRun> runs = prefix;
            runs.push_back({std::uint32_t(at), std::uint32_t(runEnd - at)});
            // The try keeps the blocks before the break as they were, so
            // what the last walk checked good stays good.
            Walk w = walk(walker, std::move(runs), std::min(best.result.length, prefixBytes));
            tried_ += prefixBytes;
            if (w.result.status == carve::WalkStatus::NotThisFormat ||
                w.result.length <= std::max(prefixBytes - blockSize, best.result.length))
                continue;
            if (w.result.status == carve::WalkStatus::Complete) {
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
    for (const DataItemRef& ref : catalog.IndirectItems()) {
        if (ref.leafSector < volume.startSector) continue;
        const std::uint64_t block = (ref.leafSector - volume.startSector) / volume.sectorsPerBlock;
        if (claimedBefore && claimedBefore(block)) continue;
        leaves.push_back(block);
        wanted.push_back(objectKey(ref.dirId, ref.objectId));
    }
    if (pending)
        for (const PendingClaims::Run& r : pending->runs_)
            if (wanted.empty() || wanted.back() != r.key) wanted.push_back(r.key);
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    std::vector<char> isListed(wanted.size(), 0);
    for (const CatalogEntry& f : catalog.FileList()) {
        if (f.keyDirId == 0 || wanted.empty()) continue;
        const auto it =
            std::lower_bound(wanted.begin(), wanted.end(), objectKey(f.keyDirId, f.objectId));
        if (it != wanted.end() && *it == objectKey(f.keyDirId, f.objectId))
            isListed[std::size_t(it - wanted.begin())] = 1;
    }
    const auto listed = [&](std::uint64_t key) {
        const auto it = std::lower_bound(wanted.begin(), wanted.end(), key);
        return it != wanted.end() && *it == key && isListed[std::size_t(it - wanted.begin())];
    };
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
