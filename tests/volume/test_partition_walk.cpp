#include "volume/partition_walk.h"

#include "common/memory_source.h"
#include "common/volume_builder.h"

#include <gtest/gtest.h>

using namespace dorvak;
using namespace dorvak::test;

namespace {

constexpr std::size_t kDiskSectors = 40000;

// A superblock for a volume at `start`; 4 KiB blocks unless told otherwise.
void reiser(DiskImage& img, std::uint64_t start, std::uint32_t blockSize = 4096,
            const char* magic = "ReIsEr2Fs", std::uint32_t root = 8211) {
    writeSuperblock(img, start, blockSize, 1000, root, 3, magic);
}

VolumeTable walk(DiskImage& img, MemorySource** sourceOut = nullptr) {
    SectorReader reader;
    auto source = std::make_unique<MemorySource>(img.data);
    if (sourceOut) *sourceOut = source.get();
    reader.openSource(std::move(source));
    VolumeTable table;
    WalkPartitionTables(reader, table);
    return table;
}

std::vector<std::uint64_t> starts(const VolumeTable& t) {
    std::vector<std::uint64_t> s;
    for (std::uint32_t i = 0; i < t.volumeCount; ++i)
        s.push_back(t.records[i].startSector);
    return s;
}

} // namespace

TEST(PartitionWalk, PrimariesThenLogicalsInChainOrderNamedByIndex) {
    DiskImage img(kDiskSectors * 512);
    // Junk NTFS-typed partition, a ReiserFS one of type 0x07, an extended
    // partition whose chain holds two logical volumes.
    writePartitionTable(img, 0, {{0x07, 100, 300}, {0x83, 1000, 2000}, {0x05, 5000, 30000}});
    reiser(img, 1000);
    writePartitionTable(img, 5000, {{0x83, 63, 1000}, {0x05, 2000, 3000}});
    reiser(img, 5063, 1024, "ReIsErFs", 77);
    writePartitionTable(img, 7000, {{0x83, 100, 5000}});
    reiser(img, 7100, 512);
    const VolumeTable t = walk(img);
    ASSERT_EQ(t.volumeCount, 3u);
    EXPECT_EQ(starts(t), (std::vector<std::uint64_t>{1000, 5063, 7100}));
    EXPECT_EQ(t.records[0].name, "ReiserFS - 0");
    EXPECT_EQ(t.records[2].name, "ReiserFS - 2");
    EXPECT_EQ(t.records[0].sectorCount, 8000u); // the file system's 1000 blocks
    EXPECT_EQ(t.records[0].sectorsPerBlock, 8u);
    EXPECT_EQ(t.records[0].rootBlock, 8211u);
    EXPECT_EQ(t.records[1].sectorsPerBlock, 2u);
    EXPECT_EQ(t.records[1].rootBlock, 77u);
    EXPECT_EQ(t.records[2].sectorsPerBlock, 1u);
}

// A disk whose primary table is full: the volume in the fourth entry counts.
TEST(PartitionWalk, TheFourthPrimaryEntryIsProbed) {
    DiskImage img(kDiskSectors * 512);
    writePartitionTable(
        img, 0, {{0x07, 100, 300}, {0x0C, 400, 600}, {0x82, 1000, 2000}, {0x83, 30000, 8000}});
    reiser(img, 30000);
    EXPECT_EQ(starts(walk(img)), (std::vector<std::uint64_t>{30000}));
}

// A re-created or damaged table may be smaller than the file system (or say
// 0): the volume still spans every block the superblock counts, but never
// past the end of the source.
TEST(PartitionWalk, AVolumeSpansTheLargerOfItsEntryAndItsSuperblockWithinTheSource) {
    struct Case {
        std::uint32_t entrySectors;
        std::uint32_t blocks; // of 4 KiB: 8 sectors
        std::uint64_t expected;
    };
    for (auto c : {Case{100, 1000, 8000}, Case{0, 1000, 8000}, Case{20000, 1000, 20000},
                   Case{2000, 100000, kDiskSectors - 1000}, Case{60000, 10, kDiskSectors - 1000}}) {
        DiskImage img(kDiskSectors * 512);
        writePartitionTable(img, 0, {{0x83, 1000, c.entrySectors}});
        writeSuperblock(img, 1000, 4096, c.blocks, 20, 2);
        const VolumeTable t = walk(img);
        ASSERT_EQ(t.volumeCount, 1u);
        EXPECT_EQ(t.records[0].sectorCount, c.expected) << c.entrySectors << " " << c.blocks;
    }
}

TEST(PartitionWalk, LinuxExtendedPartitionsAreFollowed) {
    DiskImage img(kDiskSectors * 512);
    writePartitionTable(img, 0, {{0x85, 5000, 30000}});
    writePartitionTable(img, 5000, {{0x83, 63, 1000}, {0x85, 2000, 3000}});
    reiser(img, 5063);
    writePartitionTable(img, 7000, {{0x83, 100, 5000}});
    reiser(img, 7100);
    EXPECT_EQ(starts(walk(img)), (std::vector<std::uint64_t>{5063, 7100}));
}

// A partition image that starts with a boot loader, or a "superfloppy" disk:
// the signature is there, but no entry leads to a volume.
TEST(PartitionWalk, ASignatureWithoutAnyVolumeStillProbesSectorZero) {
    DiskImage img(kDiskSectors * 512);
    writePartitionTable(img, 0, {{0x07, 1, 5}, {0x83, 30000, 100}});
    reiser(img, 0);
    const VolumeTable t = walk(img);
    EXPECT_EQ(starts(t), std::vector<std::uint64_t>{0});
    reiser(img, 30000); // once an entry yields a volume, sector 0 is not probed
    EXPECT_EQ(starts(walk(img)), std::vector<std::uint64_t>{30000});
}

TEST(PartitionWalk, EitherSignatureByteIsEnough) {
    for (auto [b510, b511, expect] :
         {std::tuple{0x55, 0x00, 1u}, std::tuple{0x12, 0xAA, 1u}, std::tuple{0x00, 0x00, 0u}}) {
        DiskImage img(kDiskSectors * 512);
        writePartitionTable(img, 0, {{0x83, 1000, 2000}}, false);
        img.put8(510, std::uint8_t(b510));
        img.put8(511, std::uint8_t(b511));
        reiser(img, 1000);
        // Without a signature the source is probed as one volume at sector 0,
        // which holds none here.
        EXPECT_EQ(walk(img).volumeCount, expect) << b510 << " " << b511;
    }
}

TEST(PartitionWalk, SuperblockChecksBlockSizeAndMagicOnly) {
    struct Case {
        std::uint32_t blockSize;
        const char* magic;
        bool listed;
    };
    for (auto c :
         {Case{512, "ReIsEr2Fs", true}, Case{1024, "ReIsEr3Fs", true}, Case{4096, "ReIsErFs", true},
          Case{8192, "REISER", true}, Case{2048, "ReIsEr2Fs", true}, Case{1536, "ReIsEr2Fs", false},
          Case{4096, "ReIsXr2Fs", false}, Case{0, "ReIsEr2Fs", false}}) {
        DiskImage img(kDiskSectors * 512);
        writePartitionTable(img, 0, {{0x83, 1000, 2000}});
        reiser(img, 1000, c.blockSize, c.magic);
        EXPECT_EQ(walk(img).volumeCount, c.listed ? 1u : 0u) << c.blockSize << " " << c.magic;
    }
}

TEST(PartitionWalk, OnlyEntriesZeroAndOneOfAnExtendedRecordCount) {
    DiskImage img(kDiskSectors * 512);
    writePartitionTable(img, 0, {{0x0F, 2000, 30000}});
    writePartitionTable(img, 2000,
                        {{0x83, 100, 1000}, {0, 0, 0}, {0x83, 3000, 1000}, {0x05, 6000, 100}});
    reiser(img, 2100);
    reiser(img, 5000);
    EXPECT_EQ(starts(walk(img)), std::vector<std::uint64_t>{2100});
}

TEST(PartitionWalk, OnlyTheLastExtendedEntryIsFollowed) {
    DiskImage img(kDiskSectors * 512);
    writePartitionTable(img, 0, {{0x05, 2000, 1000}, {0x05, 9000, 1000}});
    writePartitionTable(img, 2000, {{0x83, 100, 500}});
    writePartitionTable(img, 9000, {{0x83, 100, 500}});
    reiser(img, 2100);
    reiser(img, 9100);
    EXPECT_EQ(starts(walk(img)), std::vector<std::uint64_t>{9100});
}

TEST(PartitionWalk, AChainThatLoopsEnds) {
    DiskImage img(kDiskSectors * 512);
    writePartitionTable(img, 0, {{0x05, 2000, 30000}});
    writePartitionTable(img, 2000, {{0x83, 100, 500}, {0x05, 1000, 1}});
    writePartitionTable(img, 3000, {{0x83, 100, 500}, {0x05, 0, 1}}); // back to the first
    reiser(img, 2100);
    reiser(img, 3100);
    EXPECT_EQ(starts(walk(img)), (std::vector<std::uint64_t>{2100, 3100}));
}

TEST(PartitionWalk, ARecordLinkingToItselfEnds) {
    DiskImage img(kDiskSectors * 512);
    writePartitionTable(img, 0, {{0x05, 2000, 30000}});
    writePartitionTable(img, 2000, {{0x83, 100, 500}, {0x05, 0, 1}});
    reiser(img, 2100);
    EXPECT_EQ(walk(img).volumeCount, 1u);
}

TEST(PartitionWalk, TheTableHoldsAtMostOneHundredVolumes) {
    // 120 logical volumes that all point at the same superblock.
    DiskImage img(kDiskSectors * 512);
    writePartitionTable(img, 0, {{0x05, 1000, 30000}});
    reiser(img, 30000);
    for (std::uint32_t i = 0; i < 120; ++i) {
        const std::uint32_t ebr = 1000 + i;
        writePartitionTable(img, ebr, {{0x83, 30000 - ebr, 1000}, {0x05, i + 1, 1}});
    }
    const VolumeTable t = walk(img);
    EXPECT_EQ(t.volumeCount, VolumeTable::kCapacity);
    EXPECT_EQ(t.records[99].name, "ReiserFS - 99");
}

TEST(PartitionWalk, SourceWithoutTableIsProbedAsOneVolume) {
    DiskImage img(kDiskSectors * 512);
    reiser(img, 0);
    const VolumeTable t = walk(img);
    ASSERT_EQ(t.volumeCount, 1u);
    EXPECT_EQ(t.records[0].startSector, 0u);
    EXPECT_EQ(t.records[0].sectorCount, kDiskSectors);
}

TEST(PartitionWalk, UnreadableSectorsNeverProduceVolumes) {
    DiskImage img(kDiskSectors * 512);
    writePartitionTable(img, 0, {{0x83, 1000, 2000}, {0x83, 3000, 2000}});
    reiser(img, 1000);
    reiser(img, 3000);
    MemorySource* source = nullptr;
    SectorReader reader;
    auto s = std::make_unique<MemorySource>(img.data);
    source = s.get();
    reader.openSource(std::move(s));
    source->bad = {1000 + 128};
    VolumeTable table;
    WalkPartitionTables(reader, table);
    EXPECT_EQ(starts(table), std::vector<std::uint64_t>{3000});
    source->bad = {0};
    WalkPartitionTables(reader, table);
    EXPECT_EQ(table.volumeCount, 0u);
}

// An LVM volume or md array holds its file system at sector 0; the stale
// boot sector in the first 64 KiB of that file system must not send the
// probe elsewhere. One that holds no file system there is walked as a disk.
TEST(PartitionWalk, AWholeVolumeIsProbedAtSectorZeroFirst) {
    DiskImage img(kDiskSectors * 512);
    writePartitionTable(img, 0, {{0x83, 20000, 2000}});
    reiser(img, 20000);
    reiser(img, 0, 1024, "ReIsEr2Fs", 5);
    SectorReader reader;
    reader.openSource(std::make_unique<MemorySource>(img.data));
    VolumeTable table;
    ProbeWholeVolume(reader, table);
    EXPECT_EQ(starts(table), std::vector<std::uint64_t>{0});
    EXPECT_EQ(table.records[0].sectorCount, kDiskSectors);
    EXPECT_EQ(table.records[0].rootBlock, 5u);
    WalkPartitionTables(reader, table);
    EXPECT_EQ(starts(table), std::vector<std::uint64_t>{20000});

    img.put8(65536 + 52, 'X'); // no file system at sector 0
    reader.openSource(std::make_unique<MemorySource>(img.data));
    ProbeWholeVolume(reader, table);
    EXPECT_EQ(starts(table), std::vector<std::uint64_t>{20000});
}
