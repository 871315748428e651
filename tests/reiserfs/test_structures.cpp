#include "reiserfs/structures.h"

#include "common/volume_builder.h"

#include <gtest/gtest.h>

using namespace dorvak;
using namespace dorvak::test;

TEST(Structures, StatDataLayoutFollowsItsLengthNotTheKeyFormat) {
    LeafBuilder leaf(4096);
    leaf.statData(2, 10, 0x81A4, 0xFFFFFFFFu, 111, /*newLayout=*/false, /*keyFormat=*/1);
    leaf.statData(2, 11, 0x41ED, (std::uint64_t(5) << 32) + 7, 222, /*newLayout=*/true,
                  /*keyFormat=*/0);
    const auto block = leaf.build();
    auto a = ReadItemHead(block, 0);
    auto b = ReadItemHead(block, 1);
    ASSERT_TRUE(a && b);
    auto old = ReadStatData(block, a->itemLocation, a->itemLength);
    auto neu = ReadStatData(block, b->itemLocation, b->itemLength);
    ASSERT_TRUE(old && neu);
    EXPECT_EQ(old->size, 4294967295u); // unsigned, not -1
    EXPECT_EQ(old->modifiedTime, 111u);
    EXPECT_EQ(old->fileType, FileType::Regular);
    EXPECT_EQ(neu->size, (std::uint64_t(5) << 32) + 7);
    EXPECT_EQ(neu->modifiedTime, 222u);
    EXPECT_EQ(neu->fileType, FileType::Directory);
    EXPECT_FALSE(ReadStatData(block, a->itemLocation, 40));
    EXPECT_FALSE(ReadStatData(block, 4090, 32)); // reaches past the block
}

TEST(Structures, FileTypesOtherThanFolderAndFileAreOther) {
    EXPECT_EQ(fileTypeOf(0x6000), FileType::Special); // block device
    EXPECT_EQ(fileTypeOf(0xC000), FileType::Special); // socket
    EXPECT_EQ(fileTypeOf(0x1000), FileType::Special); // FIFO
    EXPECT_EQ(fileTypeOf(0x0000), FileType::Other);
    EXPECT_EQ(fileTypeOf(0xE000), FileType::Other);
    EXPECT_EQ(fileTypeOf(0xA1FF), FileType::Symlink);
}

TEST(Structures, KeyFormatsDecodeTypesAndTheWholeSixtyBitOffset) {
    LeafBuilder leaf(4096);
    leaf.directory(1, 2, {{2, 5, "x"}});                    // 3.6, type 3
    leaf.indirect(2, 5, (std::uint64_t(6) << 32) + 1, {7}); // offset past 4 GiB
    leaf.directory(1, 2, {{2, 6, "y"}}, /*keyFormat=*/0);   // 3.5, type 500
    leaf.add({2, 9, 1, ItemKind::Stat, 2, 0, {0}});         // unknown key format
    const auto block = leaf.build();
    EXPECT_EQ(ReadItemHead(block, 0)->type, ItemType::Directory);
    EXPECT_EQ(ReadItemHead(block, 1)->type, ItemType::Indirect);
    EXPECT_EQ(ReadItemHead(block, 1)->offset, (std::uint64_t(6) << 32) + 1);
    EXPECT_EQ(ReadItemHead(block, 2)->type, ItemType::Directory);
    EXPECT_FALSE(ReadItemHead(block, 3)->knownFormat());
    // Item head 170 would start at 4104: past a 4096-byte block.
    EXPECT_FALSE(ReadItemHead(block, 170));
}

// Flags in the top four bits of the version field leave the format as it
// is; a value in bits 4-11 is no format at all.
TEST(Structures, KeyFormatFlagsAreMaskedOffOnlyInTheTopFourBits) {
    LeafBuilder leaf(4096);
    leaf.directory(1, 2, {{2, 6, "y"}}, /*keyFormat=*/0x3000); // 3.5 with flags
    leaf.add({2, 9, 1, ItemKind::Stat, 0x0011, 0, {0}});       // 17: unknown
    leaf.add({2, 9, 1, ItemKind::Stat, 0x0100, 0, {0}});       // 256: unknown
    const auto block = leaf.build();
    ASSERT_TRUE(ReadItemHead(block, 0)->knownFormat());
    EXPECT_EQ(ReadItemHead(block, 0)->keyFormat, 0u);
    EXPECT_EQ(ReadItemHead(block, 0)->type, ItemType::Directory);
    EXPECT_FALSE(ReadItemHead(block, 1)->knownFormat());
    EXPECT_FALSE(ReadItemHead(block, 2)->knownFormat());
}

TEST(Structures, ChildPointersMustLieInsideTheBlock) {
    auto node = internalNode(512, 2, {10, 11, 12});
    EXPECT_EQ(ChildBlock(node, 2), 12u);
    EXPECT_FALSE(ChildBlock(node, 3));
    node[2] = 40; // 40 keys: the pointer array would end at 24 + 640 + 328
    EXPECT_FALSE(ChildBlock(node, 0));
}

TEST(Structures, SuperblockMagicIgnoresCaseAndChecksTheBlockSize) {
    DiskImage img(70000);
    writeSuperblock(img, 0, 4096, 100, 50, 3, "REISER2FS");
    Bytes sector(img.data.data() + 65536, 512);
    auto sb = ReadSuperblock(sector);
    ASSERT_TRUE(sb);
    EXPECT_EQ(sb->rootBlock, 50u);
    EXPECT_EQ(sb->treeHeight, 3);
    // Every power of two from 512 to 8192 (mkreiserfs -b 2048 makes one);
    // nothing else.
    for (std::uint16_t size : {512, 1024, 2048, 4096, 8192}) {
        img.put16(65536 + 44, size);
        EXPECT_TRUE(ReadSuperblock(sector)) << size;
    }
    for (std::uint16_t size : {0, 256, 1536, 3072, 16384}) {
        img.put16(65536 + 44, size);
        EXPECT_FALSE(ReadSuperblock(sector)) << size;
    }
}
