#pragma once
// Partition table walk: the master boot record, then the chain of extended
// boot records, probing every ordinary partition for a ReiserFS superblock.

#include "disk/sector_reader.h"
#include "volume/volume_table.h"

namespace dorvak {

// Reads sector start + 128 and, when it holds a ReiserFS superblock, appends
// the volume to the table, sized by the larger of `sectorCount` and the
// superblock's block count, within the source. False when the probe fails or the table is full.
bool ProbeSuperblock(SectorReader& reader, VolumeTable& table, std::uint64_t startSector,
                     std::uint64_t sectorCount);

// Fills `table` from index 0. Extended partitions of type 0x05, 0x0F and
// 0x85 are followed. A disk without a partition table signature, or whose
// entries yield no volume, is probed once as a single volume starting at
// sector 0 (a whole-disk file system, or a partition image).
void WalkPartitionTables(SectorReader& reader, VolumeTable& table);

} // namespace dorvak
