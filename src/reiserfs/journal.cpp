#include "reiserfs/journal.h"

#include "reiserfs/disk_order.h"
#include "reiserfs/structures.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <numeric>

namespace dorvak {
namespace {

constexpr char kDescriptorMagic[] = "ReIsErLB";
constexpr std::size_t kMagicFromEnd = 12;
// Journals are 8193 blocks by default and far smaller than this at most; a
// larger size is damage, and would cost a long read and its index memory.
constexpr std::uint32_t kMaxJournalBlocks = 1 << 16;

// Where the journal lies, checked against the volume.
struct Area {
    std::uint64_t first = 0;
    std::uint32_t size = 0;
    std::uint32_t transMax = 0;
    std::uint64_t blockCount = 0; // blocks a logged block number may name
    std::size_t blockSize = 0;
    std::size_t listRoom() const { return (blockSize - 24) / 4; }
    std::uint64_t blockAt(std::uint64_t offset) const { return first + offset % size; }
};

struct Transaction {
    std::uint32_t id = 0;
    std::uint32_t offset = 0; // of the descriptor
    std::uint32_t length = 0;
    std::vector<std::uint32_t> real;
};

bool readOneBlock(SectorReader& reader, const VolumeInfo& volume, std::uint64_t block,
                  std::vector<std::uint8_t>& data) {
    data.assign(volume.blockSize(), 0);
    std::vector<std::uint64_t> bad;
    reader.ReadSectors(volume.blockSector(block), volume.sectorsPerBlock, data.data(), &bad);
    return bad.empty();
}

// The volume's superblock: 64 KiB in, or 8 KiB in on the oldest volumes;
// the one that names the root the volume was found with.
std::optional<Superblock> volumeSuperblock(SectorReader& reader, const VolumeInfo& volume) {
    for (const std::uint32_t at : {kSuperblockSector, std::uint32_t(8192 / 512)}) {
        std::vector<std::uint8_t> sector(512);
        std::vector<std::uint64_t> bad;
        reader.ReadSectors(volume.startSector + at, 1, sector.data(), &bad);
        auto sb = ReadSuperblock(sector);
        if (bad.empty() && sb && sb->rootBlock == volume.rootBlock &&
            sb->blockSize == volume.blockSize())
            return sb;
    }
    return std::nullopt;
}

// The journal's place from the superblock, confirmed by the journal header.
std::optional<Area> findArea(SectorReader& reader, const VolumeInfo& volume,
                             std::uint64_t volumeBlocks) {
    const auto sb = volumeSuperblock(reader, volume);
    if (!sb || sb->journalDevice != 0) return std::nullopt;
    Area area;
    area.first = sb->journalFirstBlock;
    area.size = sb->journalSize;
    area.transMax = sb->journalTransMax;
    area.blockCount = std::min<std::uint64_t>(sb->blockCount, volumeBlocks);
    area.blockSize = volume.blockSize();
    // Room for one transaction of one block, and the header inside the volume.
    if (area.first == 0 || area.size < 3 || area.size > kMaxJournalBlocks ||
        area.first + area.size >= area.blockCount)
        return std::nullopt;
    std::vector<std::uint8_t> header;
    if (!readOneBlock(reader, volume, area.first + area.size, header)) return std::nullopt;
    if (le32(header, 12) != area.first || le32(header, 16) != 0 || le32(header, 20) != area.size ||
        le32(header, 28) != sb->journalMagic)
        return std::nullopt;
    return area;
}

// A descriptor block at `offset`, its fields checked; its block list is
// complete only when the length fits in it.
std::optional<Transaction> readDescriptor(const Area& area, std::uint32_t offset, Bytes block) {
    if (std::memcmp(block.data() + block.size() - kMagicFromEnd, kDescriptorMagic, 8) != 0)
        return std::nullopt;
    Transaction t{le32(block, 0), offset, le32(block, 4), {}};
    const std::uint64_t most = area.transMax ? area.transMax : 2 * area.listRoom();
    if (t.id == 0 || t.length == 0 || t.length > most || t.length > 2 * area.listRoom() ||
        std::uint64_t(t.length) + 2 > area.size)
        return std::nullopt;
    for (std::size_t i = 0; i < std::min<std::size_t>(t.length, area.listRoom()); ++i)
        t.real.push_back(le32(block, 12 + 4 * i));
    return t;
}

// Every descriptor of the area that reads cleanly.
std::vector<Transaction> readDescriptors(SectorReader& reader, const VolumeInfo& volume,
                                         const Area& area, const std::atomic<bool>& stop) {
    std::vector<std::uint64_t> blocks(area.size);
    std::iota(blocks.begin(), blocks.end(), area.first);
    std::vector<Transaction> found;
    std::uint64_t failed = ~std::uint64_t(0);
    readBlocksInOrder(
        reader, volume, blocks, stop,
        [&](std::uint64_t block, Bytes data) {
            if (block == failed) return;
            if (auto t = readDescriptor(area, std::uint32_t(block - area.first), data))
                found.push_back(std::move(*t));
        },
        [&](std::uint64_t block, std::span<std::uint8_t>) {
            failed = block;
            return false;
        });
    return found;
}

// Keeps the transactions whose commit block matches; the commit completes
// the block lists of long transactions.
void checkCommits(SectorReader& reader, const VolumeInfo& volume, const Area& area,
                  std::vector<Transaction>& ts) {
    std::vector<Transaction> kept;
    std::vector<std::uint8_t> commit;
    for (Transaction& t : ts) {
        const std::uint64_t block = area.blockAt(std::uint64_t(t.offset) + t.length + 1);
        if (!readOneBlock(reader, volume, block, commit)) continue;
        if (le32(commit, 0) != t.id || le32(commit, 4) != t.length) continue;
        for (std::size_t i = t.real.size(); i < t.length; ++i)
            t.real.push_back(le32(commit, 8 + 4 * (i - area.listRoom())));
        kept.push_back(std::move(t));
    }
    ts = std::move(kept);
}

} // namespace

JournalIndex JournalIndex::read(SectorReader& reader, const VolumeInfo& volume,
                                const std::atomic<bool>& stop) {
    JournalIndex index;
    if (!isValidBlockSize(volume.blockSize())) return index;
    std::uint64_t volumeBlocks = UINT64_MAX;
    if (const std::uint64_t total = reader.totalSectors(); total > volume.startSector)
        volumeBlocks = (total - volume.startSector) / volume.sectorsPerBlock;
    if (volume.sectorCount)
        volumeBlocks = std::min(volumeBlocks, volume.sectorCount / volume.sectorsPerBlock);
    const auto area = findArea(reader, volume, volumeBlocks);
    if (!area) return index;
    std::vector<Transaction> ts = readDescriptors(reader, volume, *area, stop);
    checkCommits(reader, volume, *area, ts);
    // Oldest first, so that newer copies replace older ones; an id met twice
    // cannot be ordered and is dropped.
    std::sort(ts.begin(), ts.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    std::map<std::uint32_t, int> idCount;
    for (const Transaction& t : ts)
        ++idCount[t.id];
    // Which transaction wrote each block of the area last: one whose blocks
    // a newer one has overwritten in part is no longer whole.
    std::vector<std::uint32_t> owner(area->size, 0);
    for (const Transaction& t : ts)
        for (std::uint64_t i = 0; i <= std::uint64_t(t.length) + 1; ++i)
            owner[(t.offset + i) % area->size] = t.id;
    for (const Transaction& t : ts) {
        bool whole = idCount[t.id] == 1;
        for (std::uint64_t i = 0; whole && i <= std::uint64_t(t.length) + 1; ++i)
            whole = owner[(t.offset + i) % area->size] == t.id;
        // A logged block outside the volume or inside the journal is damage.
        for (std::uint32_t r : t.real)
            whole = whole && r != 0 && r < area->blockCount &&
                    (r < area->first || r > area->first + area->size);
        if (!whole) continue;
        for (std::size_t i = 0; i < t.real.size(); ++i)
            index.copies_[t.real[i]] = area->blockAt(std::uint64_t(t.offset) + 1 + i);
    }
    return index;
}

std::optional<std::uint64_t> JournalIndex::copyOf(std::uint64_t block) const {
    auto it = copies_.find(block);
    if (it == copies_.end()) return std::nullopt;
    return it->second;
}

} // namespace dorvak
