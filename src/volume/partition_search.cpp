#include "volume/partition_search.h"

#include "reiserfs/structures.h"
#include "volume/partition_walk.h"

#include <algorithm>
#include <array>
#include <vector>

namespace dorvak {

std::optional<VolumeInfo> ConfirmCandidate(SectorReader& reader, Bytes sector, std::uint64_t s) {
    auto sb = ReadSuperblock(sector);
    if (!sb) return std::nullopt;
    // 64 KiB into its volume, or in the oldest layout (4 KiB blocks only)
    // 8 KiB in: the root node tells which. A superblock closer to the start
    // of the disk than its offset would put the volume before sector 0.
    std::uint64_t start = 0;
    if (s >= kSuperblockSector && RootMatches(reader, s - kSuperblockSector, *sb))
        start = s - kSuperblockSector;
    else if (sb->blockSize == 4096 && s >= kOldSuperblockSector &&
             RootMatches(reader, s - kOldSuperblockSector, *sb))
        start = s - kOldSuperblockSector;
    else
        return std::nullopt;
    const std::uint32_t perBlock = sb->blockSize / 512;
    VolumeInfo info;
    info.startSector = start;
    info.sectorCount = std::uint64_t(sb->blockCount) * perBlock;
    info.sectorsPerBlock = perBlock;
    info.rootBlock = sb->rootBlock;
    return info;
}

namespace {

// An old-layout volume's journal may hold a copy of its superblock exactly
// 64 KiB in, which names the same volume a second time.
bool alreadyFound(const VolumeTable& table, std::uint64_t startSector) {
    for (std::uint32_t i = 0; i < table.volumeCount; ++i)
        if (table.records[i].startSector == startSector) return true;
    return false;
}

} // namespace

void SearchPartitions(SectorReader& reader, VolumeTable& table, const SearchRange& range,
                      std::atomic<bool>& stopRequested, ProgressSink& progress,
                      const std::function<void(const VolumeInfo&)>& onFound) {
    table.volumeCount = 0;
    const std::uint32_t run = std::clamp<std::uint32_t>(range.sectorsPerRead, 1, 100);
    std::vector<std::uint8_t> buffer(std::size_t(run) * 512, 0);
    if (range.scanStartSector >= range.scanEndSector) return;

    // Sectors past the end of the source cannot be read, only retried.
    std::uint64_t end = range.scanEndSector;
    if (const std::uint64_t size = reader.totalSectors(); size != 0) end = std::min(end, size);
    const std::uint64_t total = range.scanEndSector - range.scanStartSector;
    std::uint64_t current = range.scanStartSector;
    std::uint64_t scanned = 0;
    while (current < end) {
        if (stopRequested) return;
        progress.currentSector(current);
        progress.scanPosition(scanned, total);
        progress.percent(unsigned(scanned * 100 / total));
        // The last run is read whole even past the end of the range. An
        // unreadable sector comes back as zeros, so it cannot repeat a
        // superblock of the previous run.
        reader.ReadSectors(current, run, buffer.data());
        for (std::uint32_t i = 0; i < run && !stopRequested; ++i) {
            Bytes sector(buffer.data() + std::size_t(i) * 512, 512);
            auto found = ConfirmCandidate(reader, sector, current + i);
            if (!found || alreadyFound(table, found->startSector)) continue;
            table.add(std::move(*found));
            progress.volumesFound(table.volumeCount);
            if (onFound) onFound(table.records[table.volumeCount - 1]);
            if (table.volumeCount >= kSearchVolumeLimit) {
                stopRequested = true;
                return;
            }
        }
        current += run;
        scanned += run;
    }
}

} // namespace dorvak
