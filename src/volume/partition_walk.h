#pragma once
// Partition table walk: the master boot record, then the chain of extended
// boot records, probing every ordinary partition for a ReiserFS superblock.

#include "disk/sector_reader.h"
#include "volume/volume_table.h"

#include <string>

namespace dorvak {

// Reads sector start + 128 and, when it holds a ReiserFS superblock, appends
// the volume to the table, sized by the larger of `sectorCount` and the
// superblock's block count, within the source. False when the probe fails or the table is full.
bool ProbeSuperblock(SectorReader& reader, VolumeTable& table, std::uint64_t startSector,
                     std::uint64_t sectorCount);

struct PartitionWalkResult {
    enum class Table { None, Mbr, Gpt };
    Table table = Table::None; // the table the volumes were read from
    // Logical sector size the table counts in; volumes are placed in 512-byte
    // sectors whatever it is.
    std::uint32_t sectorSize = 512;
    // Something the user must be told (a damaged GPT); empty otherwise.
    std::string note;
};

// Fills `table` from index 0. A protective MBR (an entry of type 0xEE) leads
// to the GPT, whose used entries are probed in entry order; a hybrid MBR's
// other entries are then ignored. Otherwise extended partitions of type 0x05,
// 0x0F and 0x85 are followed. A block device's tables count in its logical
// sectors; an image is read with 512-byte sectors, and with 4096-byte ones
// when only they make sense of its table. A disk without a partition table
// signature, or whose entries yield no volume, is probed once as a single
// volume starting at sector 0 (a whole-disk file system, or a partition
// image).
PartitionWalkResult WalkPartitionTables(SectorReader& reader, VolumeTable& table);

// For a device that holds a file system directly (an LVM volume, an md
// array, a dm-crypt mapping): sector 0 is probed first as one volume
// spanning the device; only when it holds none are its tables walked (a
// virtual machine's disk on an LVM volume has some).
PartitionWalkResult ProbeWholeVolume(SectorReader& reader, VolumeTable& table);

} // namespace dorvak
