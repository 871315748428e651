#include "reiserfs/mount.h"

#include "common/mount_helpers.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <set>

using namespace dorvak;
using namespace dorvak::test;

namespace {

constexpr std::uint32_t kBlocks = 64;

// A volume at sector 0 of an in-memory disk; tests place nodes and mount.
struct Volume {
    VolumeBuilder vb;
    explicit Volume(std::uint32_t bs = 4096)
        : vb(bs, kBlocks, std::size_t(bs) * kBlocks + 65536 + 8192) {}
    void put(std::uint32_t block, const std::vector<std::uint8_t>& bytes) { vb.put(block, bytes); }
    void put(std::uint32_t block, const LeafBuilder& leaf) { vb.leaf(block, leaf); }
    std::uint32_t first() const { return vb.firstFreeBlock(); }

    std::unique_ptr<Mounted> mount(std::uint32_t root, RecoveryMode mode,
                                   ProgressSink& progress = nullProgress(),
                                   std::atomic<bool>* stop = nullptr, std::size_t readAhead = 0) {
        return mountBuilt(vb, root, mode, {}, {&progress, stop, readAhead});
    }
};

LeafBuilder leafWith(std::uint32_t objectId, const std::string& name, std::uint64_t size = 1) {
    LeafBuilder b(4096);
    b.directory(1, 2, {{2, objectId, name}}).file(2, objectId, size);
    return b;
}

using Names = std::vector<std::string>;

} // namespace

TEST(Mount, RootAtLevelTwoProcessesLeavesInPointerOrder) {
    Volume v;
    const auto r0 = v.first();
    v.put(r0, internalNode(4096, 2, {r0 + 3, r0 + 1, r0 + 2}));
    v.put(r0 + 1, leafWith(11, "b"));
    v.put(r0 + 2, leafWith(12, "c"));
    v.put(r0 + 3, leafWith(10, "a"));
    auto r = v.mount(r0, RecoveryMode::Normal);
    EXPECT_EQ(r->fileNames(), (Names{"a", "b", "c"}));
    EXPECT_EQ(r->result.leavesRead, 3u);
}

// Leaves laid out against the pointer order (as a volume grown by inserts
// in front ends up): the walk reads each level in disk order, so the seeks
// follow the levels and the gaps, not the leaves, and the catalog keeps the
// pointer order.
TEST(Mount, LeavesInReverseOrderCostOneSeekPerLevel) {
    // The level-2 nodes before their leaves, then after them (the scan meets
    // the leaves before it knows they are live).
    for (const std::uint32_t left : {21u, 62u}) {
        SCOPED_TRACE(left);
        Volume v;
        const std::uint32_t root = 20, right = left + 1;
        std::vector<std::uint32_t> leftLeaves, rightLeaves;
        Names expected;
        for (std::uint32_t i = 0; i < 30; ++i) {
            const std::uint32_t block = 59 - i; // pointer order runs down the disk
            (i < 15 ? leftLeaves : rightLeaves).push_back(block);
            expected.push_back("f" + std::to_string(i));
            v.put(block, leafWith(100 + i, expected.back()));
        }
        v.put(root, internalNode(4096, 3, {left, right}));
        v.put(left, internalNode(4096, 2, leftLeaves));
        v.put(right, internalNode(4096, 2, rightLeaves));
        auto r = v.mount(root, RecoveryMode::Normal);
        EXPECT_EQ(r->fileNames(), expected);
        EXPECT_EQ(r->result.leavesRead, 30u);
        EXPECT_LE(r->reader.stats().seeks, 3u); // the root, the two nodes, the leaves
        // Extensive: the root, then one pass over the volume.
        auto e = v.mount(root, RecoveryMode::Extensive);
        const Names found = e->fileNames();
        EXPECT_EQ(std::set<std::string>(found.begin(), found.end()),
                  std::set<std::string>(expected.begin(), expected.end()));
        for (const auto& f : e->catalog.FileList())
            EXPECT_FALSE(f.deleted) << f.name;
        EXPECT_LE(e->reader.stats().seeks, 2u);
    }
}

// The leaves read ahead of their turn are held under a cap; past it the
// furthest ahead are dropped and read again at their turn, and the catalog
// keeps the pointer order whatever was dropped.
TEST(Mount, LeavesReadAheadPastTheCapAreReadAgainAtTheirTurn) {
    Volume v;
    const std::uint32_t root = 20;
    std::vector<std::uint32_t> leaves;
    Names expected;
    for (std::uint32_t i = 0; i < 30; ++i) {
        leaves.push_back(59 - i); // pointer order runs down the disk
        expected.push_back("f" + std::to_string(i));
        v.put(leaves.back(), leafWith(100 + i, expected.back()));
    }
    v.put(root, internalNode(4096, 2, leaves));
    // What a leaf takes held (the others differ by a byte of name or so).
    KeptLeaf one;
    one.fill(Bytes(v.vb.image.data).subspan(40 * 4096, 4096));
    const std::size_t oneLeaf = one.bytes();
    for (const std::size_t cap :
         {std::size_t(1), 5 * oneLeaf + oneLeaf / 2, std::size_t(1) << 20}) {
        SCOPED_TRACE(cap);
        auto r = v.mount(root, RecoveryMode::Normal, nullProgress(), nullptr, cap);
        EXPECT_EQ(r->fileNames(), expected);
        EXPECT_EQ(r->result.leavesRead, 30u);
        // The leaf first in pointer order is read last: every other leaf was
        // read ahead of its turn, and those nearest their turn stay held.
        const std::uint64_t twice = cap == 1 ? 29u : cap < (1u << 20) ? 24u : 0u;
        EXPECT_EQ(r->result.leavesReadTwice, twice);
        EXPECT_EQ(r->reader.stats().requests, 2 + twice);
    }
}

// Where one sweep of a level would drop most of what it read ahead (here
// 500 leaves whose pointer order runs down the disk, a cap of 64 leaves),
// the level is read a window of its walk order at a time instead: every
// leaf once, a request a window, and still in pointer order; with room for
// the whole level, one sweep.
TEST(Mount, ALevelThatOneSweepWouldReadTwiceIsReadAWindowAtATime) {
    constexpr std::uint32_t kLeaves = 500, kFirstLeaf = 100;
    VolumeBuilder vb(4096, kFirstLeaf + kLeaves + 10);
    const std::uint32_t root = 20;
    std::vector<std::uint32_t> nodes, kids;
    Names expected;
    for (std::uint32_t i = 0; i < kLeaves; ++i) {
        const std::uint32_t block = kFirstLeaf + kLeaves - 1 - i;
        kids.push_back(block);
        expected.push_back("f" + std::to_string(i));
        vb.leaf(block, leafWith(1000 + i, expected.back()));
        if (kids.size() == 125) { // four level-2 nodes of 125 leaves
            nodes.push_back(root + 1 + std::uint32_t(nodes.size()));
            vb.put(nodes.back(), internalNode(4096, 2, kids));
            kids.clear();
        }
    }
    vb.put(root, internalNode(4096, 3, nodes));
    struct Case {
        std::size_t cap;
        std::uint64_t requests; // the root, the level-2 nodes, the leaves
    };
    // Windows of 4 blocks (a quarter of the cap, raw); one sweep reads the
    // 500 blocks in 2 requests of at most 1 MiB.
    for (const Case c : {Case{64 * 1024, 1 + 1 + kLeaves / 4}, Case{1 << 20, 1 + 1 + 2}}) {
        SCOPED_TRACE(c.cap);
        auto r = mountBuilt(vb, root, RecoveryMode::Normal, {}, {nullptr, nullptr, c.cap});
        EXPECT_EQ(r->fileNames(), expected);
        EXPECT_EQ(r->result.leavesRead, kLeaves);
        EXPECT_EQ(r->result.leavesReadTwice, 0u);
        EXPECT_EQ(r->reader.stats().requests, c.requests);
    }
}

TEST(Mount, TreesOfEveryHeightAreWalkedIncludingASingleLeaf) {
    // The walk's last progress: every internal node and the leaf read, none left.
    struct Walk : ProgressSink {
        std::uint64_t internal = 99, leaves = 99, queued = 99;
        void nodesRead(std::uint64_t i, std::uint64_t l, std::uint64_t q) override {
            internal = i, leaves = l, queued = q;
        }
    };
    for (std::uint16_t height : {1, 2, 3, 4, 5}) {
        Volume v;
        std::uint32_t block = v.first();
        // A chain of internal nodes from level `height` down to one leaf.
        for (std::uint16_t level = height; level > 1; --level, ++block)
            v.put(block, internalNode(4096, level, {block + 1}));
        v.put(block, leafWith(10, "deep"));
        Walk walk;
        auto r = v.mount(v.first(), RecoveryMode::Normal, walk);
        EXPECT_EQ(r->fileNames(), Names{"deep"}) << "height " << height;
        EXPECT_EQ(walk.internal, height - 1u) << "height " << height;
        EXPECT_EQ(walk.leaves, 1u) << "height " << height;
        EXPECT_EQ(walk.queued, 0u) << "height " << height;
    }
}

TEST(Mount, ATreeThatPointsBackToItselfEnds) {
    Volume v;
    const auto r0 = v.first();
    v.put(r0, internalNode(4096, 3, {r0 + 1, r0}));
    v.put(r0 + 1, internalNode(4096, 2, {r0 + 2, r0, r0 + 1, r0 + 2}));
    v.put(r0 + 2, leafWith(10, "once"));
    auto r = v.mount(r0, RecoveryMode::Normal);
    EXPECT_EQ(r->fileNames(), Names{"once"});
    // Four pointers to nodes already visited.
    EXPECT_EQ(r->result.nodesSkipped, 4u);
}

TEST(Mount, DamagedNodesAndChildrenAreSkipped) {
    Volume v;
    const auto r0 = v.first();
    v.put(r0, internalNode(4096, 2, {r0 + 1, r0 + 2, r0 + 3, 5000, r0 + 4}));
    v.put(r0 + 1, std::vector<std::uint8_t>(4096, 0)); // level 0: no node
    auto huge = internalNode(4096, 2, {r0 + 4});
    huge[2] = 0xFF; // 255 keys: pointers past the block
    huge[3] = 0x01;
    v.put(r0 + 2, huge);
    auto badLeaf = leafWith(11, "bad").build();
    badLeaf[4] = 0xFF; // free space 65535 > block size
    badLeaf[5] = 0xFF;
    v.put(r0 + 3, badLeaf);
    v.put(r0 + 4, leafWith(10, "good"));
    auto r = v.mount(r0, RecoveryMode::Normal);
    EXPECT_EQ(r->fileNames(), Names{"good"});
    // The empty block, the node whose pointers run past its end, the leaf
    // with impossible free space and the block past the volume.
    EXPECT_EQ(r->result.nodesSkipped, 4u);
}

// The version field carries the key format in its low 12 bits; reiserfsck
// leaves flags in the top 4 after an interrupted rebuild.
TEST(Mount, KeyFormatIsTheLowTwelveBitsAndAnUnknownOneSkipsOnlyItsItem) {
    Volume v;
    LeafBuilder leaf(4096);
    leaf.directory(1, 2, {{2, 10, "kept"}, {2, 11, "unknown"}, {2, 12, "flagged"}});
    leaf.file(2, 10, 1);
    leaf.statData(0, 11, 0x81A4, 1, 0); // directory id 0: skipped
    leaf.statData(2, 1, 0x81A4, 1, 0);  // object id 1: skipped
    leaf.file(2, 11, 1);
    leaf.items.back().keyFormat = 2; // no such format: this item only is skipped
    leaf.file(2, 12, 1);
    leaf.items.back().keyFormat = 0xF001; // format 1 with flags set
    v.put(v.first(), leaf);
    auto r = v.mount(v.first(), RecoveryMode::Normal);
    EXPECT_EQ(r->fileNames(), (Names{"kept", "flagged"}));
}

TEST(Mount, EightKilobyteBlocksAndDataItemsWithLargeOffsets) {
    Volume v(8192);
    LeafBuilder leaf(8192);
    leaf.directory(1, 2, {{2, 10, "big"}}).file(2, 10, std::uint64_t(5) << 32);
    leaf.indirect(2, 10, 1, {20, 0, 21});
    leaf.direct(2, 10, (std::uint64_t(5) << 32) - 3, "end");
    v.put(9, leaf.build());
    auto r = v.mount(9, RecoveryMode::Normal);
    ASSERT_EQ(r->fileNames(), Names{"big"});
    EXPECT_EQ(r->catalog.FileList()[0].size, std::uint64_t(5) << 32);
    ASSERT_EQ(r->catalog.IndirectItems().size(), 1u);
    ASSERT_EQ(r->catalog.DirectItems().size(), 1u);
    EXPECT_EQ(r->catalog.DirectItems()[0].keyOffset, (std::uint64_t(5) << 32) - 3);
    EXPECT_EQ(r->catalog.IndirectItems()[0].leafSector, 9u * 16);
    EXPECT_EQ(r->catalog.IndirectItems()[0].itemLength, 12u);
}

// Workers and copy-out alike: the starter clears the flags before the thread
// runs, so a stop pressed in between is kept.
TEST(Mount, AStopRequestedBeforeTheStartIsKept) {
    Volume v;
    const auto r0 = v.first();
    v.put(r0, internalNode(4096, 2, {r0 + 1}));
    v.put(r0 + 1, leafWith(10, "file"));
    std::atomic<bool> stop{true};
    auto r = v.mount(r0, RecoveryMode::Extensive, nullProgress(), &stop);
    EXPECT_TRUE(r->result.stopped);
    EXPECT_TRUE(r->fileNames().empty());
    static_assert(!std::is_copy_constructible_v<Catalog> && !std::is_move_constructible_v<Catalog>,
                  "the catalog's hash functors point at the catalog itself");
}

TEST(Mount, StopDuringTheWalkStillBuildsTheTreeOfWhatWasFound) {
    Volume v;
    const auto r0 = v.first();
    v.put(r0, internalNode(4096, 3, {r0 + 1, r0 + 2}));
    v.put(r0 + 1, internalNode(4096, 2, {r0 + 3}));
    v.put(r0 + 2, internalNode(4096, 2, {r0 + 4}));
    LeafBuilder l(4096);
    l.folder(2, 20).directory(1, 2, {{2, 20, "dir"}});
    v.put(r0 + 3, l);
    v.put(r0 + 4, leafWith(10, "later"));
    std::atomic<bool> stop{false};
    struct StopOnFirstFolder : ProgressSink {
        std::atomic<bool>* stop;
        void foldersFound(std::uint32_t) override { *stop = true; }
    } progress;
    progress.stop = &stop;
    auto r = v.mount(r0, RecoveryMode::Normal, progress, &stop);
    EXPECT_TRUE(r->result.stopped);
    ASSERT_EQ(r->folderNames(), Names{"dir"});
    EXPECT_TRUE(r->fileNames().empty());
    EXPECT_EQ(r->catalog.FolderList()[0].treeItem, 1u);
    EXPECT_FALSE(stop); // cleared for the phases after the collection
}

TEST(Mount, ExtensiveScanFindsFullLeavesLeavesOutsideTheTreeAndSingleLeafVolumes) {
    Volume v;
    const auto r0 = v.first();
    v.put(r0, leafWith(10, "live"));
    // A deleted file's old leaf in a free block, and a leaf packed full.
    v.put(r0 + 7, leafWith(11, "deleted", 99));
    auto full = leafWith(12, "full").build();
    full[4] = full[5] = 0;
    v.put(r0 + 9, full);
    auto normal = v.mount(r0, RecoveryMode::Normal);
    EXPECT_EQ(normal->fileNames(), Names{"live"});
    auto extensive = v.mount(r0, RecoveryMode::Extensive);
    EXPECT_EQ(extensive->fileNames(), (Names{"live", "deleted", "full"}));
}

// The block scan applies the leaf check of the walk: a block whose free
// space runs one byte past the block is no leaf.
TEST(Mount, ExtensiveScanSkipsABlockWithImpossibleFreeSpace) {
    Volume v;
    const auto r0 = v.first();
    v.put(r0, leafWith(10, "live"));
    auto bad = leafWith(11, "bad").build();
    bad[4] = 0x01; // free space 4097
    bad[5] = 0x10;
    v.put(r0 + 5, bad);
    auto r = v.mount(r0, RecoveryMode::Extensive);
    EXPECT_EQ(r->fileNames(), Names{"live"});
}

TEST(Mount, ExtensiveScanReportsEveryBlockInOrder) {
    Volume v;
    struct Count : ProgressSink {
        std::vector<std::uint64_t> sectors;
        unsigned maxPercent = 0;
        void currentSector(std::uint64_t s) override { sectors.push_back(s); }
        void percent(unsigned p) override { maxPercent = std::max(maxPercent, p); }
    } progress;
    auto r = v.mount(v.first(), RecoveryMode::Extensive, progress);
    ASSERT_EQ(progress.sectors.size(), kBlocks);
    EXPECT_EQ(progress.sectors[1], 8u);
    EXPECT_EQ(progress.sectors.back(), 63u * 8);
    EXPECT_EQ(progress.maxPercent, 98u); // 63 of 64 blocks done before the last
}

TEST(Mount, APartitionEntryLargerThanTheDiskIsScannedOnlyToItsEnd) {
    Volume v;
    v.put(v.first(), leafWith(10, "live"));
    SectorReader reader;
    auto source = std::make_unique<MemorySource>(v.vb.image.data);
    MemorySource* counted = source.get();
    reader.openSource(std::move(source));
    VolumeInfo info;
    info.sectorsPerBlock = 8;
    info.sectorCount = std::uint64_t(1) << 32; // 2 TiB claimed
    info.rootBlock = v.first();
    Catalog catalog;
    std::atomic<bool> stop{false};
    VolumeMount(reader, info, catalog, stop).MountSelectedVolume(RecoveryMode::Extensive);
    EXPECT_EQ(catalog.fileCount(), 1u);
    EXPECT_LT(counted->requests, 200); // not one retry per sector of 2 TiB
}

namespace {

// A journal of 10 blocks from block 30 (header at 40) in a Volume, and the
// transactions written into it.
struct Journal {
    static constexpr std::uint32_t kFirst = 30, kSize = 10, kMagic = 0x5A5A1234;
    Volume& v;
    explicit Journal(Volume& volume) : v(volume) {
        for (const std::size_t at : {std::size_t(65536), std::size_t(kFirst + kSize) * 4096}) {
            if (at == 65536) v.vb.superblock(20);
            v.vb.image.put32(at + 12, kFirst);
            v.vb.image.put32(at + 20, kSize);
            v.vb.image.put32(at + 24, 1024);
            v.vb.image.put32(at + 28, kMagic);
        }
    }
    // Descriptor at `offset`, the copies after it, then the commit block.
    void transaction(std::uint32_t offset, std::uint32_t id, std::vector<std::uint32_t> real,
                     const std::vector<LeafBuilder>& copies, std::uint32_t commitId = 0) {
        std::vector<std::uint8_t> desc(4096, 0), commit(4096, 0);
        put32(desc, 0, id);
        put32(desc, 4, std::uint32_t(real.size()));
        put32(desc, 8, 1);
        for (std::size_t i = 0; i < real.size(); ++i)
            put32(desc, 12 + 4 * i, real[i]);
        std::memcpy(desc.data() + 4096 - 12, "ReIsErLB", 8);
        put32(commit, 0, commitId ? commitId : id);
        put32(commit, 4, std::uint32_t(real.size()));
        v.put(kFirst + offset, desc);
        for (std::size_t i = 0; i < copies.size(); ++i)
            v.put(kFirst + offset + 1 + std::uint32_t(i), copies[i]);
        v.put(kFirst + offset + 1 + std::uint32_t(copies.size()), commit);
    }
};

// Root 20 points at leaves 21 ("a") and 22, whose sectors cannot be read.
std::unique_ptr<Mounted> mountWithLeaf22Unreadable(Volume& v,
                                                   RecoveryMode mode = RecoveryMode::Normal) {
    v.put(20, internalNode(4096, 2, {21, 22}));
    v.put(21, leafWith(10, "a"));
    v.put(22, leafWith(11, "b"));
    std::set<std::uint64_t> bad;
    for (std::uint64_t s = 22 * 8; s < 23 * 8; ++s)
        bad.insert(s);
    return mountBuilt(v.vb, 20, mode, bad);
}

} // namespace

// The newest committed copy wins: an older one and a newer uncommitted one
// (its commit block names another transaction) are passed over. The leaf's
// items point at the copy, which the copy-out reads in its place. The
// Extensive scan reads the leaf in its pass over every block and mends it
// the same way: "b" stays live (the journal's own blocks add only deleted
// versions).
TEST(Mount, UnreadableLeafIsTakenFromItsNewestCommittedJournalCopy) {
    for (const RecoveryMode mode : {RecoveryMode::Normal, RecoveryMode::Extensive}) {
        SCOPED_TRACE(mode == RecoveryMode::Normal ? "Normal" : "Extensive");
        Volume v;
        Journal j(v);
        j.transaction(0, 5, {22}, {leafWith(11, "old")});
        j.transaction(3, 7, {21, 22}, {leafWith(10, "a"), leafWith(11, "b").direct(2, 11, 1, "x")});
        j.transaction(7, 9, {22}, {leafWith(11, "uncommitted")}, 8);
        auto r = mountWithLeaf22Unreadable(v, mode);
        Names live;
        for (const auto& f : r->catalog.FileList())
            if (!f.deleted) live.push_back(f.name.str());
        EXPECT_EQ(live, (Names{"a", "b"}));
        EXPECT_EQ(r->result.nodesFromJournal, 1u);
        const std::uint64_t copy = (Journal::kFirst + 5) * 8u;
        ASSERT_FALSE(r->catalog.DirectItems().empty());
        EXPECT_EQ(r->catalog.DirectItems()[0].leafSector, copy);
        if (mode == RecoveryMode::Extensive) {
            EXPECT_TRUE(r->live.isLiveLeaf(copy));
        }
    }
}

// A transaction that fails a check is ignored and the older copy serves; with
// no sound copy left the leaf is lost as before.
TEST(Mount, DamagedJournalTransactionIsIgnored) {
    const std::vector<std::pair<const char*, std::function<void(Volume&)>>> damage = {
        {"block past the volume", [](Volume& v) { v.vb.image.put32(33 * 4096 + 16, 9999); }},
        {"length past the journal", [](Volume& v) { v.vb.image.put32(33 * 4096 + 4, 40); }},
        {"commit of another length", [](Volume& v) { v.vb.image.put32(37 * 4096 + 4, 1); }},
        // Its descriptor and commit survive; the copy of 22 does not.
        {"newer one written over it",
         [](Volume& v) { Journal(v).transaction(4, 8, {21}, {leafWith(10, "a")}); }},
    };
    for (const auto& [what, harm] : damage) {
        SCOPED_TRACE(what);
        Volume v;
        Journal j(v);
        j.transaction(0, 5, {22}, {leafWith(11, "old")});
        j.transaction(3, 7, {21, 22, 23},
                      {leafWith(10, "a"), leafWith(11, "b"), leafWith(12, "c")});
        harm(v);
        auto r = mountWithLeaf22Unreadable(v);
        EXPECT_EQ(r->fileNames(), (Names{"a", "old"}));
    }
    // The only descriptor damaged: nothing is trusted.
    Volume v;
    Journal j(v);
    j.transaction(0, 7, {22}, {leafWith(11, "b")});
    v.vb.image.put8(30 * 4096 + 4096 - 12, 'X');
    auto r = mountWithLeaf22Unreadable(v);
    EXPECT_EQ(r->fileNames(), (Names{"a"}));
    EXPECT_EQ(r->result.nodesFromJournal, 0u);
}
