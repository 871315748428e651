#pragma once
// Partition search: scans a sector range for ReiserFS superblocks and
// confirms each candidate by the root node it names, for disks whose
// partition tables no longer describe their volumes.

#include "disk/bytes.h"
#include "disk/progress.h"
#include "disk/sector_reader.h"
#include "volume/volume_table.h"

#include <atomic>
#include <functional>
#include <optional>

namespace dorvak {

struct SearchRange {
    std::uint64_t scanStartSector = 0;
    std::uint64_t scanEndSector = 0;   // exclusive
    std::uint32_t sectorsPerRead = 60; // run length, 1 to 100
};

// The search stops itself after this many volumes.
inline constexpr std::uint32_t kSearchVolumeLimit = 99;

// Fills `table` from index 0; `onFound` is told of each volume as it is
// confirmed. Checks `stopRequested` before each run and each sector; the
// caller clears it before the search starts (a stop set already is kept).
void SearchPartitions(SectorReader& reader, VolumeTable& table, const SearchRange& range,
                      std::atomic<bool>& stopRequested, ProgressSink& progress,
                      const std::function<void(const VolumeInfo&)>& onFound = {});

// Whether the superblock candidate in `sector` (at absolute sector `s`) is a
// volume: its root node must sit at the level the superblock's tree height
// gives. Journal copies of a superblock name roots that no longer hold.
std::optional<VolumeInfo> ConfirmCandidate(SectorReader& reader, Bytes sector, std::uint64_t s);

} // namespace dorvak
