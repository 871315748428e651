#include "volume/partition_search.h"

#include "reiserfs/structures.h"

#include <algorithm>
#include <array>
#include <vector>

namespace dorvak {

std::optional<VolumeInfo> ConfirmCandidate(SectorReader& reader, Bytes sector, std::uint64_t s) {
    auto sb = ReadSuperblock(sector);
    // A superblock closer than 64 KiB to the start of the disk would put the
    // volume before sector 0.
    if (!sb || s < kSuperblockSector) return std::nullopt;
    const std::uint64_t start = s - kSuperblockSector;
    const std::uint32_t perBlock = sb->blockSize / 512;
    std::array<std::uint8_t, 512> root{};
    if (reader.ReadSectors(start + std::uint64_t(perBlock) * sb->rootBlock, 1, root.data()) != 1)
        return std::nullopt;
    auto head = ReadBlockHead(root);
    if (!head || head->level < 1 || head->level > 5 || head->itemCount == 0) return std::nullopt;
    if (sb->treeHeight == 0 || head->level != sb->treeHeight - 1) return std::nullopt;
    VolumeInfo info;
    info.startSector = start;
    info.sectorCount = std::uint64_t(sb->blockCount) * perBlock;
    info.sectorsPerBlock = perBlock;
    info.rootBlock = sb->rootBlock;
    return info;
}

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
        progress.status("Scanning sector " + std::to_string(scanned) + " Of " +
                        std::to_string(total));
        progress.percent(unsigned(scanned * 100 / total));
        // The last run is read whole even past the end of the range. An
        // unreadable sector comes back as zeros, so it cannot repeat a
        // superblock of the previous run.
        reader.ReadSectors(current, run, buffer.data());
        for (std::uint32_t i = 0; i < run && !stopRequested; ++i) {
            Bytes sector(buffer.data() + std::size_t(i) * 512, 512);
            auto found = ConfirmCandidate(reader, sector, current + i);
            if (!found) continue;
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
