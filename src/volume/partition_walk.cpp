#include "volume/partition_walk.h"

#include "disk/bytes.h"
#include "reiserfs/structures.h"

#include <algorithm>
#include <array>
#include <unordered_set>

namespace dorvak {
namespace {

// One 16-byte entry of a partition table (at 446 + 16 × index):
//   4 u8 type, 8 u32 first sector, 12 u32 sector count.
struct PartitionEntry {
    std::uint8_t type;
    std::uint32_t first;
    std::uint32_t count;
};

PartitionEntry entryAt(Bytes sector, int index) {
    const std::size_t at = 446 + 16 * std::size_t(index);
    return PartitionEntry{sector[at + 4], le32(sector, at + 8), le32(sector, at + 12)};
}

// DOS (CHS and LBA) and Linux extended partitions.
bool isExtended(std::uint8_t type) {
    return type == 0x05 || type == 0x0F || type == 0x85;
}

// A chain of extended boot records is followed at most this far; the visited
// set ends loops, this ends absurdly long chains of distinct sectors.
constexpr int kMaxBootRecords = 4096;

} // namespace

bool ProbeSuperblock(SectorReader& reader, VolumeTable& table, std::uint64_t startSector,
                     std::uint64_t sectorCount) {
    if (table.full()) return false;
    std::array<std::uint8_t, 512> sector{};
    if (reader.ReadSectors(startSector + kSuperblockSector, 1, sector.data()) != 1) return false;
    auto sb = ReadSuperblock(sector);
    if (!sb) return false;
    VolumeInfo info;
    info.startSector = startSector;
    // The partition entry may be smaller than the file system (a table
    // re-created by hand, or damaged; 0 says nothing at all): nodes and
    // blocks past it would be lost. The larger of the two counts, within the
    // source.
    info.sectorCount =
        std::max<std::uint64_t>(sectorCount, std::uint64_t(sb->blockCount) * (sb->blockSize / 512));
    if (const std::uint64_t total = reader.totalSectors(); total != 0)
        info.sectorCount =
            std::min(info.sectorCount, total > startSector ? total - startSector : 0);
    info.sectorsPerBlock = sb->blockSize / 512;
    info.rootBlock = sb->rootBlock;
    return table.add(std::move(info));
}

namespace {

void walkTables(SectorReader& reader, VolumeTable& table, Bytes mbr) {
    bool haveExtended = false;
    std::uint64_t extendedBase = 0;
    for (int i = 0; i < 4 && !table.full(); ++i) {
        const PartitionEntry e = entryAt(mbr, i);
        if (e.type == 0) continue;
        if (isExtended(e.type)) {
            haveExtended = true;
            extendedBase = e.first;
        } else {
            ProbeSuperblock(reader, table, e.first, e.count);
        }
    }
    if (!haveExtended) return;

    std::unordered_set<std::uint64_t> visited;
    std::uint64_t linkOffset = 0;
    for (int records = 0; records < kMaxBootRecords && !table.full(); ++records) {
        const std::uint64_t current = extendedBase + linkOffset;
        if (!visited.insert(current).second) break; // the chain points back
        std::array<std::uint8_t, 512> ebr{};
        reader.ReadSectors(current, 1, ebr.data()); // unreadable: zeros end the chain
        bool linked = false;
        for (int i = 0; i < 2; ++i) {
            const PartitionEntry e = entryAt(ebr, i);
            if (e.type == 0) continue;
            if (isExtended(e.type)) {
                linkOffset = e.first; // relative to the extended base
                linked = true;
            } else {
                ProbeSuperblock(reader, table, current + e.first, e.count);
            }
        }
        if (!linked) break;
    }
}

} // namespace

void WalkPartitionTables(SectorReader& reader, VolumeTable& table) {
    table.volumeCount = 0;
    std::array<std::uint8_t, 512> mbr{};
    if (reader.ReadSectors(0, 1, mbr.data()) != 1) return;
    // The table is read unless both signature bytes are wrong: one damaged
    // byte must not hide every partition of a disk being recovered.
    if (mbr[510] == 0x55 || mbr[511] == 0xAA) walkTables(reader, table, mbr);
    // No partition table, or one whose entries hold no volume (a partition
    // image that starts with a boot loader, a "superfloppy" disk): perhaps a
    // file system that fills the source.
    if (table.volumeCount == 0) ProbeSuperblock(reader, table, 0, reader.totalSectors());
}

} // namespace dorvak
