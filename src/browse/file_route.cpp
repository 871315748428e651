// The copy-out's route: the leaves and small files' data blocks it reads in
// one ascending sweep (see FileContents::addToRoute).
#include "browse/file_contents.h"

#include "disk/bytes.h"

#include <algorithm>

namespace dorvak {
namespace {

// A gap of up to this many sectors between two stretches of the route is
// read through: on a rotating disk, reading a megabyte costs about what one
// seek does.
constexpr std::uint64_t kRouteGapSectors = 2048;
// The most the route holds in leaves and blocks that later files still need.
constexpr std::size_t kHeldMaxBytes = std::size_t(16) << 20;
// Files up to this size have their data blocks on the route; a larger file's
// blocks are read at its turn, where its long runs cost a seek or two for
// much more transfer.
constexpr std::uint64_t kRoutedFileMax = 64 * 1024;

} // namespace

std::uint64_t FileContents::addToRoute(const CatalogEntry& file) {
    const auto items = itemsOf(file);
    const auto ticket = std::uint64_t(routeFiles_.size());
    std::uint64_t last = items.empty() ? ~std::uint64_t(0) : 0;
    for (std::uint32_t code : items)
        last = std::max(last, itemOf(code).leafSector);
    routeFiles_.push_back({&file, last});
    for (std::uint32_t code : items) {
        // A file's items mostly share a leaf: one stop for them.
        const std::uint64_t leaf = itemOf(code).leafSector;
        if (!route_.empty() && route_.back().sector == leaf && route_.back().until == ticket &&
            !route_.back().data)
            continue;
        route_.push_back({leaf, ticket, volume_.sectorsPerBlock, false});
    }
    return ticket;
}

// Reads, in one ascending sweep, the leaves that hold the indirect items of
// the small files on the route, and puts those files' data blocks on the
// route as runs of adjacent blocks, each file's order moved to its last run.
void FileContents::collectDataRuns(std::vector<std::pair<std::uint64_t, std::uint32_t>>& items) {
    std::sort(items.begin(), items.end(), [&](const auto& a, const auto& b) {
        const std::uint64_t la = itemOf(a.second).leafSector, lb = itemOf(b.second).leafSector;
        return la != lb ? la < lb : a < b;
    });
    CachedLeaf leaf;
    for (const auto& [ticket, code] : items) {
        const DataItemRef& ref = itemOf(code);
        if (leaf.sector != ref.leafSector) readRoute(ref.leafSector, volume_.sectorsPerBlock, leaf);
        RouteFile& rf = routeFiles_[ticket];
        if (ref.keyOffset == 0) continue; // offsets are 1-based: damage
        const std::uint64_t begin = ref.keyOffset - 1;
        for (std::uint32_t i = 0; i < ref.itemLength / 4u; ++i) {
            const std::size_t at = ref.itemLocation + std::size_t(4) * i;
            if (begin + std::uint64_t(i) * blockSize_ >= rf.file->size || at + 4 > leaf.data.size())
                break;
            if (!leafBytesReadable(leaf, at, 4)) continue;
            const std::uint32_t block = le32(leaf.data, at);
            if (block == 0 || (volumeBlocks_ != 0 && block >= volumeBlocks_)) continue;
            const std::uint64_t sector = volume_.blockSector(block);
            RouteStop& back = route_.back();
            if (back.data && back.until == ticket && back.sector + back.sectors == sector &&
                back.sectors < kRoutedFileMax / kSectorSize) {
                back.sectors += volume_.sectorsPerBlock;
            } else {
                route_.push_back({sector, ticket, volume_.sectorsPerBlock, true});
                rf.order = std::max(rf.order, sector);
            }
        }
    }
    runPrimed_ = false; // the copy's sweep starts afresh
    run_ = {};
    runUnreadable_.clear();
}

void FileContents::planRoute() {
    if (routeSorted_) return;
    routeSorted_ = true;
    if (isValidBlockSize(blockSize_) && volume_.sectorsPerBlock != 0) {
        std::vector<std::pair<std::uint64_t, std::uint32_t>> items; // (ticket, code)
        for (std::uint64_t t = 0; t < routeFiles_.size(); ++t) {
            const CatalogEntry& f = *routeFiles_[t].file;
            if (f.size > kRoutedFileMax || catalog_.carvedFile(f)) continue;
            for (std::uint32_t code : itemsOf(f))
                if (code & kIndirect) items.emplace_back(t, code);
        }
        collectDataRuns(items);
    }
    for (RouteStop& stop : route_)
        stop.until = routeFiles_[stop.until].order;
    std::sort(route_.begin(), route_.end(), [](const RouteStop& a, const RouteStop& b) {
        if (a.sector != b.sector) return a.sector < b.sector;
        return a.data != b.data ? b.data : a.until < b.until;
    });
    // One stop a leaf, and one a run start: the longest, until its latest file.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < route_.size(); ++i) {
        RouteStop& prev = route_[kept - (kept > 0)];
        if (kept > 0 && prev.sector == route_[i].sector && prev.data == route_[i].data) {
            prev.until = std::max(prev.until, route_[i].until);
            prev.sectors = std::max(prev.sectors, route_[i].sectors);
        } else {
            route_[kept++] = route_[i];
        }
    }
    route_.resize(kept);
}

void FileContents::advanceTo(std::uint64_t sector) {
    planRoute();
    // Stretches whose last file is behind this one.
    while (!heldUntil_.empty() && std::get<0>(heldUntil_.top()) < sector) {
        const auto [until, at, data] = heldUntil_.top();
        if (data) {
            if (auto h = heldData_.find(at); h != heldData_.end()) {
                heldBytes_ -= h->second.data.size();
                heldData_.erase(h);
            }
        } else if (auto h = held_.find(at); h != held_.end()) {
            heldBytes_ -= h->second.data.size();
            held_.erase(h);
        }
        heldUntil_.pop();
    }
    for (; routeNext_ < route_.size() && route_[routeNext_].sector <= sector; ++routeNext_) {
        const RouteStop stop = route_[routeNext_];
        const std::size_t bytes = std::size_t(stop.sectors) * kSectorSize;
        if (heldBytes_ + bytes > kHeldMaxBytes) continue;
        CachedLeaf& slot = stop.data ? heldData_[stop.sector] : held_[stop.sector];
        readRoute(stop.sector, stop.sectors, slot);
        heldBytes_ += slot.data.size();
        heldUntil_.emplace(stop.until, stop.sector, stop.data);
    }
}

const FileContents::CachedLeaf* FileContents::held(std::uint64_t sector) const {
    auto it = held_.find(sector);
    return it == held_.end() ? nullptr : &it->second;
}

const std::uint8_t* FileContents::heldData(std::uint64_t sector, std::uint32_t sectors) const {
    auto it = heldData_.upper_bound(sector);
    if (it == heldData_.begin()) return nullptr;
    --it;
    const CachedLeaf& run = it->second;
    if (sector + sectors > run.sector + run.data.size() / kSectorSize) return nullptr;
    for (std::uint64_t bad : run.unreadable)
        if (bad >= sector && bad < sector + sectors) return nullptr;
    return run.data.data() + (sector - run.sector) * kSectorSize;
}

void FileContents::readRoute(std::uint64_t sector, std::uint32_t sectors, CachedLeaf& out) {
    const std::uint32_t step = std::max<std::uint32_t>(1, sectorsPerRead);
    const std::uint64_t volumeEnd = volume_.startSector + volume_.sectorCount;
    out.sector = sector;
    out.data.assign(std::size_t(sectors) * kSectorSize, 0);
    out.unreadable.clear();
    if (sectors == 0 || sector < volume_.startSector || sector + sectors > volumeEnd) {
        // Not a stretch this volume can hold: read as asked, the reader reports it.
        for (std::uint32_t done = 0; done < sectors; done += step)
            reader_.ReadSectors(sector + done, std::min(step, sectors - done),
                                out.data.data() + std::size_t(done) * kSectorSize, &out.unreadable);
        return;
    }
    auto end = [&] { return runStart_ + run_.size() / kSectorSize; };
    if (!runPrimed_ || sector < runStart_ || sector > end() + kRouteGapSectors) {
        run_.clear();
        runUnreadable_.clear();
        runStart_ = sector;
        runPrimed_ = true;
    } else if (sector > runStart_) {
        // What lies before this stretch is done with.
        const std::uint64_t drop = std::min(sector, end()) - runStart_;
        run_.erase(run_.begin(), run_.begin() + std::ptrdiff_t(drop * kSectorSize));
        runStart_ += drop;
        std::erase_if(runUnreadable_, [&](std::uint64_t s) { return s < runStart_; });
    }
    while (sector + sectors > end()) {
        const std::uint64_t from = end();
        const auto n = std::uint32_t(std::min<std::uint64_t>(step, volumeEnd - from));
        const std::size_t at = run_.size();
        run_.resize(at + std::size_t(n) * kSectorSize);
        reader_.ReadSectors(from, n, run_.data() + at, &runUnreadable_);
    }
    std::copy_n(run_.data() + (sector - runStart_) * kSectorSize,
                std::size_t(sectors) * kSectorSize, out.data.data());
    for (std::uint64_t bad : runUnreadable_)
        if (bad >= sector && bad < sector + sectors) out.unreadable.push_back(bad);
}

} // namespace dorvak
