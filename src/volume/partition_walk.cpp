#include "volume/partition_walk.h"

#include "disk/bytes.h"
#include "reiserfs/structures.h"
#include "volume/gpt.h"

#include <algorithm>
#include <array>
#include <unordered_set>
#include <vector>

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

bool RootMatches(SectorReader& reader, std::uint64_t startSector, const Superblock& sb) {
    std::array<std::uint8_t, 512> root{};
    const std::uint64_t perBlock = sb.blockSize / 512;
    if (!reader.ReadSectors(startSector + perBlock * sb.rootBlock, 1, root.data())) return false;
    auto head = ReadBlockHead(root);
    return head && head->level >= 1 && head->level <= 5 && head->itemCount != 0 &&
           sb.treeHeight != 0 && head->level == sb.treeHeight - 1;
}

std::optional<Superblock> ReadVolumeSuperblock(SectorReader& reader, std::uint64_t startSector) {
    auto readAt = [&](std::uint64_t sector) -> std::optional<Superblock> {
        std::array<std::uint8_t, 512> bytes{};
        if (!reader.ReadSectors(startSector + sector, 1, bytes.data())) return std::nullopt;
        return ReadSuperblock(bytes);
    };
    const auto current = readAt(kSuperblockSector);
    if (current && RootMatches(reader, startSector, *current)) return current;
    auto old = readAt(kOldSuperblockSector);
    if (old && old->blockSize != 4096) old.reset();
    if (old && (!current || RootMatches(reader, startSector, *old))) return old;
    return current;
}

bool ProbeSuperblock(SectorReader& reader, VolumeTable& table, std::uint64_t startSector,
                     std::uint64_t sectorCount) {
    if (table.full()) return false;
    auto sb = ReadVolumeSuperblock(reader, startSector);
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

constexpr std::uint8_t kProtectiveType = 0xEE;

const char* const kBackupGptNote =
    "The primary GPT of this disk is damaged: its partitions were read from the backup GPT at "
    "the end of the disk.";
const char* const kDamagedGptNote =
    "The GPT of this disk is damaged and its backup too: only the master boot record was read. "
    "Search Partition may still find the volumes.";

// Logical sectors → 512-byte sectors.
struct Scale {
    std::uint64_t factor;
    std::uint64_t at(std::uint64_t lba) const { return lba * factor; }
};

void walkMbr(SectorReader& reader, VolumeTable& table, Bytes mbr, Scale scale) {
    bool haveExtended = false;
    std::uint64_t extendedBase = 0;
    for (int i = 0; i < 4 && !table.full(); ++i) {
        const PartitionEntry e = entryAt(mbr, i);
        if (e.type == 0) continue;
        if (isExtended(e.type)) {
            haveExtended = true;
            extendedBase = e.first;
        } else {
            ProbeSuperblock(reader, table, scale.at(e.first), scale.at(e.count));
        }
    }
    if (!haveExtended) return;

    std::unordered_set<std::uint64_t> visited;
    std::uint64_t linkOffset = 0;
    for (int records = 0; records < kMaxBootRecords && !table.full(); ++records) {
        const std::uint64_t current = extendedBase + linkOffset;
        if (!visited.insert(current).second) break; // the chain points back
        std::array<std::uint8_t, 512> ebr{};
        reader.ReadSectors(scale.at(current), 1, ebr.data()); // unreadable: zeros end the chain
        bool linked = false;
        for (int i = 0; i < 2; ++i) {
            const PartitionEntry e = entryAt(ebr, i);
            if (e.type == 0) continue;
            if (isExtended(e.type)) {
                linkOffset = e.first; // relative to the extended base
                linked = true;
            } else {
                ProbeSuperblock(reader, table, scale.at(current + e.first), scale.at(e.count));
            }
        }
        if (!linked) break;
    }
}

void walkGpt(SectorReader& reader, VolumeTable& table, const GptTable& gpt, Scale scale) {
    const std::uint64_t total = reader.totalSectors();
    for (const GptEntry& e : gpt.entries) {
        if (table.full()) break;
        // An entry past the end of the disk (or so far that the sector number
        // would wrap) cannot hold a volume we could read.
        if (e.firstLba > (UINT64_MAX >> 20) / scale.factor) continue;
        const std::uint64_t start = scale.at(e.firstLba);
        if (total != 0 && start >= total) continue;
        const std::uint64_t count =
            e.lastLba >= e.firstLba && e.lastLba - e.firstLba < (UINT64_MAX >> 20) / scale.factor
                ? scale.at(e.lastLba - e.firstLba + 1)
                : 0;
        if (!ProbeSuperblock(reader, table, start, count)) continue;
        VolumeInfo& v = table.records[table.volumeCount - 1];
        v.partitionName = e.name;
        v.typeGuid = e.typeGuid;
    }
}

// The tables of sector 0 read with logical sectors of `sectorSize` bytes.
PartitionWalkResult walkTables(SectorReader& reader, VolumeTable& table, Bytes mbr,
                               std::uint32_t sectorSize) {
    PartitionWalkResult result;
    result.sectorSize = sectorSize;
    const Scale scale{sectorSize / kSectorSize};
    bool protective = false;
    for (int i = 0; i < 4; ++i)
        protective = protective || entryAt(mbr, i).type == kProtectiveType;
    if (protective) {
        if (auto gpt = ReadGpt(reader, sectorSize)) {
            // A hybrid MBR's other entries mirror some of the GPT's for old
            // systems; the GPT is the table.
            result.table = PartitionWalkResult::Table::Gpt;
            if (gpt->fromBackup) result.note = kBackupGptNote;
            walkGpt(reader, table, *gpt, scale);
            return result;
        }
        result.note = kDamagedGptNote;
    }
    result.table = PartitionWalkResult::Table::Mbr;
    walkMbr(reader, table, mbr, scale);
    return result;
}

} // namespace

PartitionWalkResult WalkPartitionTables(SectorReader& reader, VolumeTable& table) {
    table.volumeCount = 0;
    PartitionWalkResult result;
    std::array<std::uint8_t, 512> mbr{};
    if (!reader.ReadSectors(0, 1, mbr.data())) return result;
    // The table is read unless both signature bytes are wrong: one damaged
    // byte must not hide every partition of a disk being recovered.
    if (mbr[510] == 0x55 || mbr[511] == 0xAA) {
        // A device says how long its sectors are. An image does not: most
        // tables count 512-byte sectors, but one written on (or for) a disk
        // with 4096-byte sectors puts every partition eight times further.
        // It is read that way only when 512 makes no sense of it: no GPT
        // header at LBA 1 and no volume where the entries point.
        const std::uint32_t device = reader.logicalSectorSize();
        const std::vector<std::uint32_t> sizes = device != 0
                                                     ? std::vector<std::uint32_t>{device}
                                                     : std::vector<std::uint32_t>{512, 4096};
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            table.volumeCount = 0;
            PartitionWalkResult attempt = walkTables(reader, table, mbr, sizes[i]);
            const bool sensible =
                attempt.table == PartitionWalkResult::Table::Gpt || table.volumeCount > 0;
            if (i == 0 || sensible) result = attempt;
            if (sensible) break;
        }
    }
    // No partition table, or one whose entries hold no volume (a partition
    // image that starts with a boot loader, a "superfloppy" disk): perhaps a
    // file system that fills the source.
    if (table.volumeCount == 0) ProbeSuperblock(reader, table, 0, reader.totalSectors());
    return result;
}

PartitionWalkResult ProbeWholeVolume(SectorReader& reader, VolumeTable& table) {
    table.volumeCount = 0;
    if (ProbeSuperblock(reader, table, 0, reader.totalSectors())) return {};
    return WalkPartitionTables(reader, table);
}

} // namespace dorvak
