// ReiserFS 3.5 volumes of the oldest layout keep their superblock 8 KiB in:
// found by the partition walk and the search, and mounted like the others.
#include "reiserfs/mount.h"
#include "volume/partition_search.h"
#include "volume/partition_walk.h"

#include "common/memory_source.h"
#include "common/tree_builder.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace dorvak;
using namespace dorvak::test;

namespace {

constexpr std::uint64_t kStart = 2048; // the volume's first sector on the disk
constexpr std::uint32_t kBlocks = 64;

struct OldDisk {
    DiskImage disk{(kStart + kBlocks * 8 + 2048) * 512};
    std::uint32_t root = 0;

    OldDisk() {
        TreeBuilder tree(4096, kBlocks);
        tree.file(tree.folder(2, "docs"), "letter.txt", pattern(6000, 1));
        // Enough items for two leaves: a root of one child is not a tree.
        for (int i = 0; i < 40; ++i)
            tree.file(2, "note" + std::to_string(i), pattern(300, std::uint32_t(i + 2)));
        root = tree.finish();
        // The superblock moves from 64 KiB to 8 KiB, with the 3.5 magic.
        auto& v = tree.vb.image.data;
        std::copy_n(v.begin() + 65536, 512, v.begin() + 8192);
        std::fill_n(v.begin() + 65536, 512, 0);
        std::copy_n("ReIsErFs\0\0", 10, v.begin() + 8192 + 52);
        put16(v, 8192 + 68, 3); // the root is an internal node of level 2
        disk.putBytes(kStart * 512, v);
        writePartitionTable(disk, 0, {{0x83, std::uint32_t(kStart), kBlocks * 8}});
    }
    // A superblock 64 KiB in that names a root which does not hold: a
    // journal block's stale copy.
    void staleCopyAt64KiB() {
        writeSuperblock(disk, kStart, 4096, kBlocks, root + 1, 3, "ReIsErFs");
    }
    SectorReader& reader() {
        reader_.openSource(std::make_unique<MemorySource>(disk.data));
        return reader_;
    }

private:
    SectorReader reader_;
};

} // namespace

TEST(OldLayout, TheWalkAndTheSearchFindItAndItMounts) {
    for (bool staleCopy : {false, true}) {
        SCOPED_TRACE(staleCopy ? "with a stale copy 64 KiB in" : "alone");
        OldDisk d;
        if (staleCopy) d.staleCopyAt64KiB();
        VolumeTable walked;
        WalkPartitionTables(d.reader(), walked);
        ASSERT_EQ(walked.volumeCount, 1u);
        const VolumeInfo& v = walked.records[0];
        EXPECT_EQ(v.startSector, kStart);
        EXPECT_EQ(v.sectorsPerBlock, 8u);
        EXPECT_EQ(v.rootBlock, d.root);

        VolumeTable searched;
        std::atomic<bool> stop{false};
        SearchRange range;
        range.scanStartSector = 0;
        range.scanEndSector = d.reader().totalSectors();
        SearchPartitions(d.reader(), searched, range, stop, nullProgress());
        ASSERT_EQ(searched.volumeCount, 1u);
        EXPECT_EQ(searched.records[0].startSector, kStart);
        EXPECT_EQ(searched.records[0].rootBlock, d.root);

        Catalog catalog;
        VolumeMount mount(d.reader(), v, catalog, stop, nullProgress());
        const MountResult r = mount.MountSelectedVolume(RecoveryMode::Normal);
        EXPECT_EQ(r.nodesSkipped, 0u);
        ASSERT_EQ(catalog.FileList().size(), 41u);
        const auto letter =
            std::find_if(catalog.FileList().begin(), catalog.FileList().end(),
                         [](const CatalogEntry& f) { return f.name.str() == "letter.txt"; });
        ASSERT_NE(letter, catalog.FileList().end());
        EXPECT_EQ(letter->size, 6000u);
    }
}

TEST(OldLayout, ANewVolumeOverAnOldOneIsReadFromItsOwnSuperblock) {
    // mkreiserfs of the 3.6 layout over an old volume: the old superblock
    // may stay 8 KiB in, naming a root that no longer holds.
    TreeBuilder tree(4096, kBlocks);
    tree.file(2, "new.txt", pattern(100, 2));
    const std::uint32_t root = tree.finish();
    DiskImage disk(tree.vb.image.data.size());
    disk.putBytes(0, tree.vb.image.data);
    disk.putBytes(8192, std::vector<std::uint8_t>(disk.data.begin() + 65536,
                                                  disk.data.begin() + 65536 + 512));
    disk.put32(8192 + 8, root + 5);
    SectorReader reader;
    reader.openSource(std::make_unique<MemorySource>(disk.data));
    const auto sb = ReadVolumeSuperblock(reader, 0);
    ASSERT_TRUE(sb);
    EXPECT_EQ(sb->rootBlock, root);
}
