#pragma once
// Partition table walk: the master boot record, then the chain of extended
// boot records, probing every ordinary partition for a ReiserFS superblock.

#include "disk/sector_reader.h"
#include "reiserfs/structures.h"
#include "volume/volume_table.h"

#include <optional>
#include <string>

namespace dorvak {

// The oldest layout (ReiserFS 3.5 as the first kernels made it, 4 KiB
// blocks only) keeps the superblock 8 KiB into the volume, not 64 KiB.
inline constexpr std::uint32_t kOldSuperblockSector = 8192 / 512;

// Whether the root node `sb` names, in the volume starting at `startSector`,
// sits at the level the superblock's tree height gives. Journal copies of a
// superblock name roots that no longer hold.
bool RootMatches(SectorReader& reader, std::uint64_t startSector, const Superblock& sb);

// The superblock of the volume starting at `startSector`: the one 64 KiB in,
// or the oldest layout's 8 KiB in. When both are there (a journal block of
// an old volume can hold a copy at 64 KiB; a volume made over an old one can
// keep the old one at 8 KiB), the one whose root matches wins, the 64 KiB one
// when both or neither match.
std::optional<Superblock> ReadVolumeSuperblock(SectorReader& reader, std::uint64_t startSector);

// Reads the volume's superblock (ReadVolumeSuperblock) and, when there is one, appends
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
