#include "disk/sector_reader.h"

#include <cstring>
#include <limits>

namespace dorvak {

ChsAddress chsFromLinear(std::uint32_t firstSectorLow) {
    return ChsAddress{firstSectorLow / 1008, (firstSectorLow / 63) % 16, firstSectorLow % 63 + 1};
}

bool SectorReader::OpenSelectedDisk(const std::string& path, std::string* error) {
    CloseDisk();
    auto source = FileSectorSource::open(path, error);
    if (!source) return false;
    diskHandle = std::move(source);
    path_ = path;
    return true;
}

void SectorReader::openSource(std::unique_ptr<SectorSource> source) {
    CloseDisk();
    diskHandle = std::move(source);
}

void SectorReader::CloseDisk() {
    diskHandle.reset();
    path_.clear();
}

std::uint64_t SectorReader::totalSectors() const {
    return diskHandle ? diskHandle->sizeBytes() / kSectorSize : 0;
}

int SectorReader::ReadSectors(std::uint64_t firstSector, std::uint32_t count, void* buffer,
                              std::vector<std::uint64_t>* unreadable) {
    if (!diskHandle) return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    constexpr std::uint64_t kMaxSector = std::numeric_limits<std::uint64_t>::max() / kSectorSize;
    const bool addressable = firstSector <= kMaxSector - count;

    if (addressable && count > 0 &&
        diskHandle->readAt(firstSector * kSectorSize, out, std::size_t(count) * kSectorSize))
        return 1;
    if (count == 0) return 0;

    const std::uint16_t retries = badSectorRetries.load(std::memory_order_relaxed);
    bool lastOk = false;
    for (std::uint64_t i = 0; i < count; ++i) {
        unsigned char* slot = out + i * kSectorSize;
        bool ok = false;
        for (std::uint16_t attempt = 0; addressable && attempt < retries && !ok; ++attempt)
            ok = diskHandle->readAt((firstSector + i) * kSectorSize, slot, kSectorSize);
        if (retries > 0) lastOk = ok;
        if (!ok) {
            std::memset(slot, 0, kSectorSize);
            if (unreadable) unreadable->push_back(firstSector + i);
        }
    }
    return lastOk ? 1 : 0;
}

} // namespace dorvak
