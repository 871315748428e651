#include "browse/file_contents.h"

#include "reiserfs/structures.h"

#include <algorithm>
#include <map>
#include <new>

namespace dorvak {
namespace {

// Leaves re-read for direct items and block pointers. Files are copied in
// catalog order, which follows the order the leaves were met, so a few
// recently used leaves serve most small files.
constexpr std::size_t kLeafCacheSize = 16;

ByteRange clip(ByteRange r, std::uint64_t size) {
    return {std::min(r.begin, size), std::min(r.end, size)};
}

std::uint64_t roundUp8(std::uint64_t v) {
    return v > ~std::uint64_t(0) - 7 ? v : (v + 7) & ~std::uint64_t(7);
}

// Puts `proto` into every part of `want` that no earlier candidate holds;
// returns the number of bytes it took.
std::uint64_t fillGaps(std::map<std::uint64_t, FileContents::Segment>& cover, ByteRange want,
                       const FileContents::Segment& proto) {
    std::uint64_t added = 0;
    std::uint64_t cur = want.begin;
    while (cur < want.end) {
        auto it = cover.upper_bound(cur);
        if (it != cover.begin()) {
            auto prev = std::prev(it);
            if (prev->second.range.end > cur) {
                cur = prev->second.range.end;
                continue;
            }
        }
        const std::uint64_t stop = it == cover.end() ? want.end : std::min(want.end, it->first);
        if (stop > cur) {
            FileContents::Segment s = proto;
            s.range = {cur, stop};
            cover.emplace(cur, s);
            added += stop - cur;
        }
        if (it == cover.end()) break;
        cur = std::max(stop, it->second.range.end);
    }
    return added;
}

} // namespace

const char* damageText(DamageKind kind) {
    switch (kind) {
    case DamageKind::Unreadable:
        return "unreadable sectors";
    case DamageKind::OutsideVolume:
        return "block outside the volume";
    case DamageKind::Missing:
        return "no data found on the disk";
    case DamageKind::Incomplete:
        return "the rest of the file was not found";
    }
    return "";
}

void addDamage(std::vector<Damage>& damage, ByteRange range, DamageKind kind) {
    if (range.begin >= range.end) return;
    if (!damage.empty() && damage.back().kind == kind && damage.back().range.end >= range.begin &&
        damage.back().range.begin <= range.begin) {
        damage.back().range.end = std::max(damage.back().range.end, range.end);
        return;
    }
    damage.push_back({range, kind});
}

FileContents::FileContents(SectorReader& reader, const VolumeInfo& volume, const Catalog& catalog,
                           const LiveState* live)
    : reader_(reader), volume_(volume), live_(live), blockSize_(volume.blockSize()),
      volumeBlocks_(volume.sectorsPerBlock ? volume.sectorCount / volume.sectorsPerBlock : 0),
      catalog_(catalog) {
    // Codes reach 2^31 items of each kind: 64 GiB of item records, more than
    // any catalog this process could hold.
    if (catalog.DirectItems().size() >= kIndirect || catalog.IndirectItems().size() >= kIndirect)
        throw std::bad_alloc();
    {
        // Sorted with their keys beside them: a comparison that looked the
        // keys up in the item lists would miss the cache every time.
        std::vector<std::pair<std::uint64_t, std::uint32_t>> sorted;
        sorted.reserve(catalog.DirectItems().size() + catalog.IndirectItems().size());
        for (std::size_t i = 0; i < catalog.DirectItems().size(); ++i)
            sorted.emplace_back(keyOf(std::uint32_t(i)), std::uint32_t(i));
        for (std::size_t i = 0; i < catalog.IndirectItems().size(); ++i)
            sorted.emplace_back(keyOf(kIndirect | std::uint32_t(i)), kIndirect | std::uint32_t(i));
        std::sort(sorted.begin(), sorted.end());
        itemsByKey_.reserve(sorted.size());
        for (const auto& [key, code] : sorted)
            itemsByKey_.push_back(code);
    }
    auto keyAt = [&](std::uint32_t at) { return keyOf(itemsByKey_[at]); };
    for (std::uint32_t at = 0; at < itemsByKey_.size(); ++at)
        if (at == 0 || keyAt(at) != keyAt(at - 1)) firstOfKey_.insert(at, keyAt(at), keyAt);
}

std::span<const std::uint32_t> FileContents::itemsOf(const CatalogEntry& file) const {
    const std::uint64_t key = objectKey(file.keyDirId, file.objectId);
    const std::uint32_t from =
        firstOfKey_.find(key, [&](std::uint32_t at) { return keyOf(itemsByKey_[at]) == key; });
    if (from == IndexTable::kNone) return {};
    std::uint32_t to = from + 1;
    while (to < itemsByKey_.size() && keyOf(itemsByKey_[to]) == key)
        ++to;
    return {itemsByKey_.data() + from, to - from};
}

std::vector<FileContents::Candidate> FileContents::candidates(const CatalogEntry& file) const {
    std::vector<Candidate> out;
    if (!isValidBlockSize(blockSize_)) return out;
    for (std::uint32_t code : itemsOf(file)) {
        const bool direct = (code & kIndirect) == 0;
        const DataItemRef& ref = itemOf(code);
        if (ref.keyOffset == 0) continue; // offsets are 1-based: damage
        const std::uint64_t begin = ref.keyOffset - 1;
        const std::uint64_t length =
            direct ? ref.itemLength : std::uint64_t(ref.itemLength / 4) * blockSize_;
        if (length == 0) continue;
        const bool live = !live_ || live_->isLiveLeaf(ref.leafSector);
        out.push_back({&ref, direct, {begin, begin + length}, live});
    }
    return out;
}

void FileContents::rank(const CatalogEntry& file, Candidate& c) {
    const std::uint64_t size = file.size;
    // An item that reaches past this size belongs to a longer version: a
    // direct tail may carry padding up to the next multiple of 8, and an
    // indirect item's last block must start inside the file.
    const bool fits = c.direct ? c.range.end <= roundUp8(size) : c.range.end - blockSize_ < size;
    if (!fits) {
        c.tier = 4;
        return;
    }
    const CachedLeaf& l = leaf(c.ref->leafSector);
    auto head = ReadBlockHead(l.data);
    c.tier = 3;
    for (std::uint32_t i = 0; head && i < head->itemCount; ++i) {
        auto ih = ReadItemHead(l.data, i);
        if (!ih) break;
        if (!ih->knownFormat()) continue;
        if (ih->type != ItemType::StatData || ih->dirId != c.ref->dirId ||
            ih->objectId != c.ref->objectId)
            continue;
        auto sd = ReadStatData(l.data, ih->itemLocation, ih->itemLength);
        if (!sd) continue;
        c.snapshotTime = sd->modifiedTime;
        if (sd->size != size)
            c.tier = 4;
        else
            c.tier = sd->modifiedTime == file.modifiedTime ? 1 : 2;
        return;
    }
}

std::vector<FileContents::Segment> FileContents::layout(const CatalogEntry& file) {
    const std::uint64_t size = file.size;
    std::map<std::uint64_t, Segment> cover;
    std::uint64_t covered = 0;
    auto place = [&](const Candidate& c) {
        const ByteRange want = clip(c.range, size);
        if (want.begin >= want.end) return;
        covered += fillGaps(cover, want, Segment{{}, c.ref, c.direct});
    };

    auto cands = candidates(file);
    const bool choose = live_ && live_->extensive;
    std::vector<Candidate> rest;
    for (auto& c : cands) {
        if (!choose || (c.live && !file.deleted))
            place(c);
        else
            rest.push_back(c);
    }
    if (covered < size && !rest.empty()) {
        for (auto& c : rest)
            rank(file, c);
        std::stable_sort(rest.begin(), rest.end(), [](const Candidate& a, const Candidate& b) {
            if (a.tier != b.tier) return a.tier < b.tier;
            if (a.tier == 2 && a.snapshotTime != b.snapshotTime)
                return a.snapshotTime > b.snapshotTime;
            if (a.live != b.live) return a.live;
            return a.ref->leafSector < b.ref->leafSector;
        });
        for (const auto& c : rest) {
            if (covered >= size) break;
            place(c);
        }
    }

    std::vector<Segment> out;
    std::uint64_t at = 0;
    for (const auto& [begin, s] : cover) {
        if (begin > at) out.push_back({{at, begin}, nullptr, false});
        out.push_back(s);
        at = s.range.end;
    }
    if (at < size) out.push_back({{at, size}, nullptr, false});
    return out;
}

const FileContents::CachedLeaf& FileContents::leaf(std::uint64_t sector) {
    if (const CachedLeaf* h = held(sector)) return *h;
    ++useClock_;
    for (auto& l : leaves_) {
        if (l.sector == sector) {
            l.lastUse = useClock_;
            return l;
        }
    }
    CachedLeaf* slot;
    if (leaves_.size() < kLeafCacheSize) {
        slot = &leaves_.emplace_back();
    } else {
        slot = &*std::min_element(
            leaves_.begin(), leaves_.end(),
            [](const CachedLeaf& a, const CachedLeaf& b) { return a.lastUse < b.lastUse; });
    }
    slot->sector = sector;
    slot->lastUse = useClock_;
    slot->data.assign(blockSize_, 0);
    slot->unreadable.clear();
    const std::uint32_t step = std::max<std::uint32_t>(1, sectorsPerRead);
    for (std::uint32_t done = 0; done < volume_.sectorsPerBlock; done += step) {
        const std::uint32_t n = std::min(step, volume_.sectorsPerBlock - done);
        reader_.ReadSectors(sector + done, n, slot->data.data() + std::size_t(done) * kSectorSize,
                            &slot->unreadable);
    }
    return *slot;
}

bool FileContents::leafBytesReadable(const CachedLeaf& l, std::size_t from,
                                     std::size_t length) const {
    for (std::uint64_t s : l.unreadable) {
        const std::uint64_t a = (s - l.sector) * kSectorSize;
        if (a < from + length && a + kSectorSize > from) return false;
    }
    return true;
}

ContentResult FileContents::copyDirect(const Segment& s, ContentSink& sink,
                                       std::vector<Damage>& damage) {
    const CachedLeaf& l = leaf(s.item->leafSector);
    const std::uint64_t skip = s.range.begin - (s.item->keyOffset - 1);
    const std::size_t from = std::size_t(s.item->itemLocation + skip);
    const std::size_t length = std::size_t(s.range.end - s.range.begin);
    if (from + length > l.data.size()) { // cannot happen for a recorded item
        addDamage(damage, s.range, DamageKind::Missing);
        return ContentResult::Done;
    }
    for (std::uint64_t bad : l.unreadable) {
        const std::uint64_t a = std::max<std::uint64_t>((bad - l.sector) * kSectorSize, from);
        const std::uint64_t b =
            std::min<std::uint64_t>((bad - l.sector + 1) * kSectorSize, from + length);
        if (a < b)
            addDamage(damage, {s.range.begin + (a - from), s.range.begin + (b - from)},
                      DamageKind::Unreadable);
    }
    if (!sink.write(s.range.begin, l.data.data() + from, length)) return ContentResult::WriteFailed;
    return sink.proceed(s.range.end) ? ContentResult::Done : ContentResult::Abandoned;
}

ContentResult FileContents::copyIndirect(const Segment& s, ContentSink& sink,
                                         std::vector<Damage>& damage) {
    const std::uint64_t itemBegin = s.item->keyOffset - 1;
    const std::uint64_t first = (s.range.begin - itemBegin) / blockSize_;
    const std::uint64_t last = (s.range.end - 1 - itemBegin) / blockSize_;
    // Copy the pointers out first: reading data must not hold on to a cached
    // leaf that a later leaf read may replace.
    struct Pointer {
        std::uint32_t block;
        bool readable;
    };
    std::vector<Pointer> pointers;
    {
        const CachedLeaf& l = leaf(s.item->leafSector);
        for (std::uint64_t i = first; i <= last; ++i) {
            const std::size_t at = s.item->itemLocation + std::size_t(4 * i);
            pointers.push_back({le32(l.data, at), leafBytesReadable(l, at, 4)});
        }
    }
    std::uint64_t runFile = 0, runDisk = 0, runLength = 0;
    auto flush = [&]() {
        ContentResult r = ContentResult::Done;
        if (runLength) r = copyRun(runFile, runDisk, runLength, sink, damage);
        runLength = 0;
        return r;
    };
    for (std::uint64_t i = first; i <= last; ++i) {
        const Pointer p = pointers[i - first];
        const std::uint64_t blockStart = itemBegin + i * blockSize_;
        const ByteRange piece{std::max(s.range.begin, blockStart),
                              std::min(s.range.end, blockStart + blockSize_)};
        const bool outside = volumeBlocks_ != 0 && p.block >= volumeBlocks_;
        if (!p.readable || p.block == 0 || outside) {
            if (auto r = flush(); r != ContentResult::Done) return r;
            if (!p.readable) addDamage(damage, piece, DamageKind::Unreadable);
            if (p.readable && outside) addDamage(damage, piece, DamageKind::OutsideVolume);
            continue; // a hole, or zeros for what is lost: never written
        }
        const std::uint64_t length = piece.end - piece.begin;
        if (const std::uint8_t* held =
                heldData(volume_.blockSector(p.block), volume_.sectorsPerBlock)) {
            // Read whole on the route; the rest of the block is not this file's.
            if (auto r = flush(); r != ContentResult::Done) return r;
            if (!sink.write(piece.begin, held + (piece.begin - blockStart), std::size_t(length)))
                return ContentResult::WriteFailed;
            continue;
        }
        const std::uint64_t disk =
            volume_.blockSector(p.block) * kSectorSize + (piece.begin - blockStart);
        if (runLength && runFile + runLength == piece.begin && runDisk + runLength == disk) {
            runLength += length;
            continue;
        }
        if (auto r = flush(); r != ContentResult::Done) return r;
        runFile = piece.begin;
        runDisk = disk;
        runLength = length;
    }
    if (auto r = flush(); r != ContentResult::Done) return r;
    return sink.proceed(s.range.end) ? ContentResult::Done : ContentResult::Abandoned;
}

ContentResult FileContents::copyRun(std::uint64_t fileOffset, std::uint64_t diskByte,
                                    std::uint64_t length, ContentSink& sink,
                                    std::vector<Damage>& damage) {
    const std::uint32_t perRead = std::max<std::uint32_t>(1, sectorsPerRead);
    readBuffer_.resize(std::size_t(perRead) * kSectorSize);
    while (length > 0) {
        const std::uint64_t firstSector = diskByte / kSectorSize;
        const std::uint64_t skip = diskByte % kSectorSize;
        const std::uint32_t sectors = std::uint32_t(
            std::min<std::uint64_t>(perRead, (skip + length + kSectorSize - 1) / kSectorSize));
        const std::uint64_t n =
            std::min<std::uint64_t>(length, sectors * std::uint64_t(kSectorSize) - skip);
        unreadable_.clear();
        reader_.ReadSectors(firstSector, sectors, readBuffer_.data(), &unreadable_);
        for (std::uint64_t bad : unreadable_) {
            const std::uint64_t a = std::max(bad * kSectorSize, diskByte);
            const std::uint64_t b = std::min((bad + 1) * kSectorSize, diskByte + n);
            if (a < b)
                addDamage(damage, {fileOffset + (a - diskByte), fileOffset + (b - diskByte)},
                          DamageKind::Unreadable);
        }
        if (!sink.write(fileOffset, readBuffer_.data() + skip, std::size_t(n)))
            return ContentResult::WriteFailed;
        fileOffset += n;
        diskByte += n;
        length -= n;
        if (!sink.proceed(fileOffset)) return ContentResult::Abandoned;
    }
    return ContentResult::Done;
}

std::optional<std::string> FileContents::readSmall(const CatalogEntry& file, std::size_t limit,
                                                   std::vector<Damage>& damage) {
    if (file.size > limit) return std::nullopt;
    struct StringSink : ContentSink {
        std::string bytes;
        bool write(std::uint64_t offset, const std::uint8_t* data, std::size_t length) override {
            if (offset + length > bytes.size()) return false;
            std::copy(data, data + length, bytes.begin() + std::ptrdiff_t(offset));
            return true;
        }
        bool proceed(std::uint64_t) override { return true; }
    } sink;
    sink.bytes.assign(std::size_t(file.size), '\0');
    if (copy(file, sink, damage) != ContentResult::Done) return std::nullopt;
    return std::move(sink.bytes);
}

ContentResult FileContents::copyCarved(const CatalogEntry& file, const CarvedFile& carved,
                                       ContentSink& sink, std::vector<Damage>& damage) {
    std::uint64_t offset = 0;
    for (const BlockRun& run : catalog_.runsOf(carved)) {
        if (offset >= file.size) break;
        const std::uint64_t length =
            std::min<std::uint64_t>(std::uint64_t(run.count) * blockSize_, file.size - offset);
        if (volumeBlocks_ != 0 && std::uint64_t(run.first) + run.count > volumeBlocks_) {
            addDamage(damage, {offset, offset + length}, DamageKind::OutsideVolume);
        } else if (auto r = copyRun(offset, volume_.blockSector(run.first) * kSectorSize, length,
                                    sink, damage);
                   r != ContentResult::Done) {
            return r;
        }
        offset += length;
    }
    if (carved.damaged) damage.push_back({{file.size, file.size}, DamageKind::Incomplete});
    return ContentResult::Done;
}

ContentResult FileContents::copy(const CatalogEntry& file, ContentSink& sink,
                                 std::vector<Damage>& damage) {
    if (const CarvedFile* carved = catalog_.carvedFile(file))
        return copyCarved(file, *carved, sink, damage);
    const std::vector<Segment> segments = layout(file);
    if (file.size > 0 && std::none_of(segments.begin(), segments.end(),
                                      [](const Segment& s) { return s.item != nullptr; }))
        return ContentResult::NoData;
    for (const Segment& s : segments) {
        ContentResult r = ContentResult::Done;
        if (!s.item)
            addDamage(damage, s.range, DamageKind::Missing);
        else
            r = s.direct ? copyDirect(s, sink, damage) : copyIndirect(s, sink, damage);
        if (r != ContentResult::Done) return r;
    }
    return ContentResult::Done;
}

} // namespace dorvak
