#include "disk/sector_reader.h"

#include "disk/container_source.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <string>

namespace dorvak {
namespace {
constexpr std::uint64_t kMaxSector = std::numeric_limits<std::uint64_t>::max() / kSectorSize;
}

ChsAddress chsFromLinear(std::uint32_t firstSectorLow) {
    return ChsAddress{firstSectorLow / 1008, (firstSectorLow / 63) % 16, firstSectorLow % 63 + 1};
}

IoResult<> SectorReader::OpenSelectedDisk(const std::string& path) {
    CloseDisk();
    auto source = openSectorSource(path);
    if (!source) return source.error();
    if (auto* file = dynamic_cast<FileSectorSource*>(source->get())) mapped_ = file->mapImage();
    diskHandle = std::move(*source);
    path_ = path;
    return {};
}

IoResult<> SectorReader::openDescriptor(UniqueFd fd, const std::string& path) {
    CloseDisk();
    auto source = FileSectorSource::fromFd(std::move(fd), path);
    if (!source) return source.error();
    mapped_ = (*source)->mapImage();
    diskHandle = std::move(*source);
    path_ = path;
    return {};
}

std::uint32_t SectorReader::logicalSectorSize() const {
    return diskHandle ? diskHandle->logicalSectorSize() : 0;
}

const char* SectorReader::formatName() const {
    return diskHandle ? diskHandle->formatName() : "raw";
}

void SectorReader::openSource(std::unique_ptr<SectorSource> source) {
    CloseDisk();
    diskHandle = std::move(source);
}

void SectorReader::setRescueMap(std::shared_ptr<const RescueMap> map) {
    map_ = std::move(map);
}

void SectorReader::CloseDisk() {
    mapped_.reset();
    mappedRunOffset_ = mappedRunLength_ = 0;
    diskHandle.reset();
    map_.reset();
    path_.clear();
    {
        std::lock_guard lock(statsMutex_);
        stats_ = ReadStats{};
        nextOffset_ = ~std::uint64_t(0);
    }
    std::lock_guard lock(badMutex_);
    badSectors_.clear();
}

ReadStats SectorReader::stats() const {
    std::lock_guard lock(statsMutex_);
    return stats_;
}

void SectorReader::count(std::uint64_t offset, std::size_t length) {
    std::lock_guard lock(statsMutex_);
    ++stats_.requests;
    stats_.bytes += length;
    if (offset != nextOffset_) ++stats_.seeks;
    nextOffset_ = offset + length;
}

IoResult<> SectorReader::readAt(std::uint64_t offset, void* buffer, std::size_t length) {
    count(offset, length);
    return diskHandle->readAt(offset, buffer, length);
}

bool SectorReader::beginMappedRun(std::uint64_t firstSector, std::uint32_t count) {
    if (!mapped_ || count == 0 || firstSector > kMaxSector - count) return false;
    const std::uint64_t offset = firstSector * kSectorSize;
    const std::uint64_t length = std::uint64_t(count) * kSectorSize;
    if (offset > mapped_->size() || length > mapped_->size() - offset) return false;
    if (anyKnownBad(firstSector, count) || mapped_->lost()) return false;
    {
        // The run before is done with (one run is taken at a time): its
        // pages leave this process's resident memory, with those the kernel
        // mapped around them when it faulted one in (up to 64 KiB around,
        // its fault_around_bytes); scattered short runs would leave those.
        std::lock_guard lock(statsMutex_);
        if (mappedRunLength_) {
            constexpr std::uint64_t kAround = 64 * 1024;
            const std::uint64_t from = mappedRunOffset_ / kAround * kAround;
            const std::uint64_t to =
                (mappedRunOffset_ + mappedRunLength_ + kAround - 1) / kAround * kAround;
            mapped_->release(from, to - from);
        }
        mappedRunOffset_ = offset;
        mappedRunLength_ = length;
        mappedRunResident_ = false;
    }
    // Every page read in at once, which also finds a page that cannot be
    // read before anything looks at it; a mapping that gives no views is
    // only asked to read ahead, and copied from.
    if (mapped_->viewable()) {
        if (!mapped_->populate(offset, length)) return false; // a page cannot be read
        mappedRunResident_ = true;
    } else {
        mapped_->willNeed(offset, length);
    }
    this->count(offset, std::size_t(length));
    return true;
}

bool SectorReader::readPieces(std::uint64_t firstSector, std::uint32_t count,
                              std::span<const RunPiece> pieces) {
    // Not a device: on a failing one every read that fails costs the drive's
    // timeout, and a failed run is read again whole below us.
    auto* file = dynamic_cast<FileSectorSource*>(diskHandle.get());
    if (!file || file->isBlockDevice() || count == 0 || firstSector > kMaxSector - count)
        return false;
    if (anyKnownBad(firstSector, count)) return false;
    const std::uint64_t offset = firstSector * kSectorSize;
    const std::size_t length = std::size_t(count) * kSectorSize;
    this->count(offset, length);
    return file->readPieces(offset, length, pieces);
}

std::uint64_t SectorReader::unreadableSectorCount() const {
    std::lock_guard lock(badMutex_);
    return badSectors_.size();
}

namespace {
// A sector that is not asked of the source again: it failed before, or the
// rescue map says it was never read.
IoError knownUnreadable(std::uint64_t sector) {
    return IoError{EIO, "sector " + std::to_string(sector) + " is unreadable"};
}
} // namespace

bool SectorReader::knownBad(std::uint64_t sector) const {
    if (map_ && (sector >= kMaxSector || !map_->finished(sector * kSectorSize, kSectorSize)))
        return true;
    std::lock_guard lock(badMutex_);
    return badSectors_.count(sector) != 0;
}

bool SectorReader::anyKnownBad(std::uint64_t firstSector, std::uint32_t count) const {
    if (map_ && (firstSector >= kMaxSector - count ||
                 !map_->finished(firstSector * kSectorSize, std::uint64_t(count) * kSectorSize)))
        return true;
    std::lock_guard lock(badMutex_);
    auto it = badSectors_.lower_bound(firstSector);
    return it != badSectors_.end() && *it - firstSector < count;
}

std::uint64_t SectorReader::totalSectors() const {
    return diskHandle ? diskHandle->sizeBytes() / kSectorSize : 0;
}

IoResult<> SectorReader::ReadSectors(std::uint64_t firstSector, std::uint32_t count, void* buffer,
                                     std::vector<std::uint64_t>* unreadable) {
    if (!diskHandle) return IoError{EBADF, "no disk is open"};
    auto* out = static_cast<unsigned char*>(buffer);
    if (count == 0) return IoError{EINVAL, "no sectors to read"};
    if (!anyKnownBad(firstSector, count)) return readRun(firstSector, count, out, unreadable);

    // Read around the sectors known to be unreadable, in as few runs as the
    // gaps between them allow.
    IoResult<> last;
    for (std::uint32_t i = 0; i < count;) {
        if (knownBad(firstSector + i)) {
            std::memset(out + std::size_t(i) * kSectorSize, 0, kSectorSize);
            // A sector the map kept us from reading is unreadable all the
            // same, and counted as such.
            if (map_) {
                std::lock_guard lock(badMutex_);
                badSectors_.insert(firstSector + i);
            }
            if (unreadable) unreadable->push_back(firstSector + i);
            last = knownUnreadable(firstSector + i);
            ++i;
            continue;
        }
        std::uint32_t n = 1;
        while (i + n < count && !knownBad(firstSector + i + n))
            ++n;
        last = readRun(firstSector + i, n, out + std::size_t(i) * kSectorSize, unreadable);
        i += n;
    }
    return last;
}

IoResult<> SectorReader::readRun(std::uint64_t firstSector, std::uint32_t count, unsigned char* out,
                                 std::vector<std::uint64_t>* unreadable) {
    // A run whose byte offset does not fit 64 bits lies past any source.
    const bool addressable = firstSector <= kMaxSector - count;
    IoResult<> last = addressable
                          ? readAt(firstSector * kSectorSize, out, std::size_t(count) * kSectorSize)
                          : IoResult<>(pastTheEnd());
    if (last) return last;

    // With no retries the whole run's failure stands.
    const std::uint16_t retries = badSectorRetries.load(std::memory_order_relaxed);
    for (std::uint64_t i = 0; i < count; ++i) {
        unsigned char* slot = out + i * kSectorSize;
        IoResult<> sector = pastTheEnd();
        for (std::uint16_t attempt = 0; addressable && attempt < retries && !sector; ++attempt)
            sector = readAt((firstSector + i) * kSectorSize, slot, kSectorSize);
        const bool ok = sector.ok();
        if (retries > 0) last = std::move(sector);
        if (!ok) {
            std::memset(slot, 0, kSectorSize);
            if (unreadable) unreadable->push_back(firstSector + i);
            // Only a sector that was tried is known to be bad; one past the
            // end of the source is not there at all, and fails at no cost.
            const std::uint64_t size = diskHandle->sizeBytes();
            if (retries > 0 && addressable && (size == 0 || firstSector + i < size / kSectorSize)) {
                std::lock_guard lock(badMutex_);
                badSectors_.insert(firstSector + i);
            }
        }
    }
    return last;
}

} // namespace dorvak
