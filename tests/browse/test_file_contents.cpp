// File contents on crafted volumes: item layout at every block size, holes
// and 60-bit offsets, the 3.5 format, unreadable sectors, and the choice among
// copies of a file after an Extensive mount.
#include "browse/copy_out.h"
#include "browse_fixtures.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace dorvak::test {
namespace {

CopySummary recoverAll(Mounted& m, const std::string& dest, RecoverySettings settings = {}) {
    CopyRequests requests;
    CopyOut copy(m.reader, m.volume, m.catalog, &m.live, settings, requests);
    return copy.RecoverAll(dest);
}

std::string damageList(const CopySummary& s) {
    std::string out;
    for (const auto& f : s.damaged)
        for (const auto& d : f.damage)
            out += f.catalogPath + " " + std::to_string(d.range.begin) + "-" +
                   std::to_string(d.range.end) + " " + damageText(d.kind) + "\n";
    return out;
}

class BlockSizes : public ::testing::TestWithParam<std::uint32_t> {};

// One file of three blocks, the middle one a hole, and a direct tail, read
// with small requests.
TEST_P(BlockSizes, IndirectBlocksHolesAndTailComeOutInPlace) {
    const std::uint32_t bs = GetParam();
    VolumeBuilder b(bs, 65536 / bs + 64);
    const auto data = pattern(3 * bs + 100, bs);
    std::vector<std::uint8_t> expected = data;
    std::fill(expected.begin() + bs, expected.begin() + 2 * bs, 0);
    const std::uint32_t d0 = b.alloc(), d2 = b.alloc(), leaf = b.alloc(), root = b.alloc();
    b.data(d0, data, 0);
    b.data(d2, data, 2 * bs);
    std::vector<std::uint8_t> tail(data.begin() + 3 * bs, data.end());
    b.leaf(leaf, {statItem(1, 2, kModeDir, 0, 5), dirItem(1, 2, {{2, 10, "file.bin"}}),
                  statItem(2, 10, kModeFile, data.size(), 77), indirectItem(2, 10, 1, {d0, 0, d2}),
                  directItem(2, 10, 3 * bs + 1, tail)});
    b.internal(root, {leaf});
    b.superblock(root);

    for (RecoveryMode mode : {RecoveryMode::Normal, RecoveryMode::Extensive}) {
        auto m = mountBuilt(b, root, mode);
        ASSERT_EQ(m->catalog.FileList().size(), 1u);
        m->source->largest = 0;
        ScratchDir dest;
        RecoverySettings settings;
        settings.sectorsPerRead = 1;
        const CopySummary s = recoverAll(*m, dest.str(), settings);
        EXPECT_TRUE(s.whole()) << damageList(s) << s.fatalError;
        EXPECT_EQ(readFile(dest.path() / "file.bin"), str(expected));
        EXPECT_LE(m->source->largest, 512u); // every request within sectorsPerRead
        struct stat st {};
        ASSERT_EQ(::stat((dest.path() / "file.bin").c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, 77);
    }
}

INSTANTIATE_TEST_SUITE_P(AllSizes, BlockSizes, ::testing::Values(512u, 1024u, 2048u, 4096u, 8192u));

// A hole of 1 MiB between two blocks stays a hole in the output.
TEST(FileContents, AHoleIsNeverWritten) {
    const std::uint32_t bs = 4096, holeBlocks = 256;
    VolumeBuilder b(bs, 64);
    const auto data = pattern(std::size_t(holeBlocks + 2) * bs, 1);
    const std::uint32_t d0 = b.alloc(), d1 = b.alloc(), leaf = b.alloc(), root = b.alloc();
    b.data(d0, data, 0);
    b.data(d1, data, std::uint64_t(holeBlocks + 1) * bs);
    std::vector<std::uint32_t> pointers(holeBlocks + 2, 0);
    pointers.front() = d0;
    pointers.back() = d1;
    b.leaf(leaf, {statItem(1, 2, kModeDir, 0, 5), dirItem(1, 2, {{2, 10, "holey.bin"}}),
                  statItem(2, 10, kModeFile, data.size(), 9), indirectItem(2, 10, 1, pointers)});
    b.internal(root, {leaf});
    b.superblock(root);
    auto m = mountBuilt(b, root, RecoveryMode::Normal);
    ScratchDir dest;
    const CopySummary s = recoverAll(*m, dest.str());
    ASSERT_TRUE(s.whole()) << damageList(s) << s.fatalError;
    std::string expected = str(data);
    std::fill(expected.begin() + bs, expected.end() - bs, '\0');
    EXPECT_EQ(readFile(dest.path() / "holey.bin"), expected);
    struct stat st {};
    ASSERT_EQ(::stat((dest.path() / "holey.bin").c_str(), &st), 0);
    EXPECT_LT(std::uint64_t(st.st_blocks) * 512, 256u * 1024);
}

// A file past 4 GiB: items whose offsets need more than 32 bits land where
// their 60-bit offset says, the output stays sparse, and the range no item
// covers is reported as missing.
TEST(FileContents, OffsetsBeyondFourGibAndSparseOutput) {
    const std::uint32_t bs = 4096;
    VolumeBuilder b(bs, 64);
    const std::uint64_t gib4 = std::uint64_t(1) << 32;
    const std::uint64_t size = gib4 + 2 * bs + 300;
    const auto head = pattern(bs, 1), across = pattern(2 * bs, 2), tail = pattern(300, 3);
    const std::uint32_t h = b.alloc(), a1 = b.alloc(), a2 = b.alloc(), leaf = b.alloc(),
                        root = b.alloc();
    b.data(h, head);
    b.data(a1, across, 0);
    b.data(a2, across, bs);
    // The second item starts one block below 4 GiB with a hole and crosses it.
    b.leaf(leaf, {statItem(1, 2, kModeDir, 0, 5), dirItem(1, 2, {{2, 10, "big.bin"}}),
                  statItem(2, 10, kModeFile, size, 9), indirectItem(2, 10, 1, {h}),
                  indirectItem(2, 10, gib4 - bs + 1, {0, a1, a2}),
                  directItem(2, 10, gib4 + 2 * bs + 1, tail)});
    b.internal(root, {leaf});
    b.superblock(root);
    auto m = mountBuilt(b, root, RecoveryMode::Normal);
    ScratchDir dest;
    const CopySummary s = recoverAll(*m, dest.str());
    ASSERT_TRUE(s.fatalError.empty()) << s.fatalError;
    ASSERT_EQ(s.damaged.size(), 1u);
    ASSERT_EQ(s.damaged[0].damage.size(), 1u);
    EXPECT_EQ(s.damaged[0].damage[0].kind, DamageKind::Missing);
    EXPECT_EQ(s.damaged[0].damage[0].range, (ByteRange{bs, gib4 - bs}));

    const auto path = dest.path() / "big.bin";
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(std::uint64_t(st.st_size), size);
    EXPECT_LT(std::uint64_t(st.st_blocks) * 512, std::uint64_t(1) << 20); // sparse
    std::ifstream in(path, std::ios::binary);
    std::string got(bs, '\0');
    in.read(got.data(), bs);
    EXPECT_EQ(got, str(head));
    std::string block(bs, '\0');
    in.seekg(std::streamoff(gib4 - bs));
    in.read(block.data(), bs);
    EXPECT_EQ(block, std::string(bs, '\0'));
    std::string rest(2 * bs + 300, '\0');
    in.read(rest.data(), std::streamsize(rest.size()));
    EXPECT_EQ(rest, str(across) + str(tail));
}

// 3.5 keys and old stat data.
TEST(FileContents, OldFormatItems) {
    const std::uint32_t bs = 4096;
    VolumeBuilder b(bs, 64);
    const auto data = pattern(2 * bs + 10, 7);
    const std::uint32_t d0 = b.alloc(), d1 = b.alloc(), leaf = b.alloc(), root = b.alloc();
    b.data(d0, data, 0);
    b.data(d1, data, bs);
    std::vector<std::uint8_t> tail(data.end() - 10, data.end());
    b.leaf(leaf, {statItem(1, 2, kModeDir, 0, 5, false), dirItem(1, 2, {{2, 10, "old-file"}}, 0),
                  statItem(2, 10, kModeFile, data.size(), 9, false),
                  indirectItem(2, 10, 1, {d0, d1}, 0), directItem(2, 10, 2 * bs + 1, tail, 0)});
    b.internal(root, {leaf});
    b.superblock(root);
    auto m = mountBuilt(b, root, RecoveryMode::Normal);
    ScratchDir dest;
    EXPECT_TRUE(recoverAll(*m, dest.str()).whole());
    EXPECT_EQ(readFile(dest.path() / "old-file"), str(data));
}

// Unreadable sectors: inside a data block (the rest of the file is right, the
// bad range is zeros and named), and under a leaf's block pointers (the
// blocks they name are lost, never taken for holes).
TEST(FileContents, UnreadableSectorsBecomeZerosAndAreReported) {
    const std::uint32_t bs = 4096, spb = 8;
    TreeBuilder t(bs, 128);
    const auto data = pattern(4 * bs, 11);
    t.file(2, "data.bin", data);
    const std::uint32_t root = t.finish();
    // data.bin's blocks are the first ones allocated after the superblock.
    const std::uint32_t firstData = (65536 + 512 + bs - 1) / bs;
    const std::uint64_t bad = std::uint64_t(firstData + 1) * spb + 3; // block 1, sector 3

    auto m = mountBuilt(t.vb, root, RecoveryMode::Normal, {bad});
    ScratchDir dest;
    const CopySummary s = recoverAll(*m, dest.str());
    std::vector<std::uint8_t> expected = data;
    std::fill(expected.begin() + bs + 3 * 512, expected.begin() + bs + 4 * 512, 0);
    EXPECT_EQ(readFile(dest.path() / "data.bin"), str(expected));
    ASSERT_EQ(s.damaged.size(), 1u) << damageList(s);
    EXPECT_EQ(s.damaged[0].catalogPath, "/data.bin");
    ASSERT_EQ(s.damaged[0].damage.size(), 1u);
    EXPECT_EQ(s.damaged[0].damage[0].range, (ByteRange{bs + 1536, bs + 2048}));
    EXPECT_EQ(s.damaged[0].damage[0].kind, DamageKind::Unreadable);
    EXPECT_EQ(s.filesWritten, 1u);

    // The indirect item alone in a leaf: its body lies in the leaf's last
    // sector, its head in the first.
    VolumeBuilder b(bs, 64);
    const std::uint32_t d0 = b.alloc(), d1 = b.alloc(), l1 = b.alloc(), l2 = b.alloc(),
                        r = b.alloc();
    b.data(d0, data, 0);
    b.data(d1, data, bs);
    b.leaf(l1, {statItem(1, 2, kModeDir, 0, 5), dirItem(1, 2, {{2, 10, "f"}}),
                statItem(2, 10, kModeFile, 2 * bs + 5, 9),
                directItem(2, 10, 2 * bs + 1, {'t', 'a', 'i', 'l', '!'})});
    b.leaf(l2, {indirectItem(2, 10, 1, {d0, d1})});
    b.internal(r, {l1, l2});
    b.superblock(r);
    auto m2 = mountBuilt(b, r, RecoveryMode::Normal, {std::uint64_t(l2) * spb + spb - 1});
    ScratchDir dest2;
    const CopySummary s2 = recoverAll(*m2, dest2.str());
    EXPECT_EQ(readFile(dest2.path() / "f"), std::string(2 * bs, '\0') + "tail!");
    ASSERT_EQ(s2.damaged.size(), 1u);
    EXPECT_EQ(s2.damaged[0].damage[0].range, (ByteRange{0, 2 * bs}));
    EXPECT_EQ(s2.damaged[0].damage[0].kind, DamageKind::Unreadable);
}

// A volume where files were deleted and rewritten. Stale leaves lie below the
// live ones, so the block scan meets the old copies first.
//   keep.txt  live, 40 bytes; a stale copy of the same size and other bytes
//   new.txt   live at 30 bytes; an older version of 12 bytes in a stale leaf
//   gone.txt  deleted; its blocks in one stale leaf, its tail in another
struct RewrittenVolume {
    VolumeBuilder b{1024, 160};
    std::uint32_t root = 0;
    std::vector<std::uint8_t> keepLive = pattern(40, 1), keepStale = pattern(40, 2);
    std::vector<std::uint8_t> new30 = pattern(30, 3), old12 = pattern(12, 4);
    std::vector<std::uint8_t> gone = pattern(2 * 1024 + 5, 5);

    RewrittenVolume() {
        const std::uint32_t s1 = b.alloc(), s2 = b.alloc(), g0 = b.alloc(), g1 = b.alloc();
        const std::uint32_t live = b.alloc();
        root = b.alloc();
        b.data(g0, gone, 0);
        b.data(g1, gone, 1024);
        const std::vector<DirName> oldNames{
            {2, 10, "keep.txt"}, {2, 11, "new.txt"}, {2, 12, "gone.txt"}};
        b.leaf(s1,
               {statItem(1, 2, kModeDir, 0, 5), dirItem(1, 2, oldNames),
                statItem(2, 10, kModeFile, 40, 100), directItem(2, 10, 1, keepStale),
                statItem(2, 11, kModeFile, 12, 200), directItem(2, 11, 1, old12),
                statItem(2, 12, kModeFile, gone.size(), 300), indirectItem(2, 12, 1, {g0, g1})});
        b.leaf(s2,
               {directItem(2, 12, 2049, std::vector<std::uint8_t>(gone.end() - 5, gone.end()))});
        b.leaf(live, {statItem(1, 2, kModeDir, 0, 6),
                      dirItem(1, 2, {{2, 10, "keep.txt"}, {2, 11, "new.txt"}}),
                      statItem(2, 10, kModeFile, 40, 101), directItem(2, 10, 1, keepLive),
                      statItem(2, 11, kModeFile, 30, 201), directItem(2, 11, 1, new30)});
        b.internal(root, {live});
        b.superblock(root);
    }
};

TEST(FileContents, ExtensiveChoosesTheLiveCopyAndEachVersionsOwnBytes) {
    RewrittenVolume v;
    auto normal = mountBuilt(v.b, v.root, RecoveryMode::Normal);
    ScratchDir normalDest;
    ASSERT_TRUE(recoverAll(*normal, normalDest.str()).whole());
    EXPECT_EQ(listTree(normalDest.path()), (std::vector<std::string>{"keep.txt", "new.txt"}));

    auto ext = mountBuilt(v.b, v.root, RecoveryMode::Extensive);
    // keep.txt was edited in place: same size, another time, another version.
    ASSERT_EQ(ext->catalog.FileList().size(), 5u);
    std::map<std::string, bool> deleted;
    for (const auto& f : ext->catalog.FileList())
        deleted[f.name.str() + "/" + std::to_string(f.size) + "/" +
                std::to_string(f.modifiedTime)] = f.deleted;
    EXPECT_EQ(deleted, (std::map<std::string, bool>{{"keep.txt/40/101", false},
                                                    {"keep.txt/40/100", true},
                                                    {"new.txt/30/201", false},
                                                    {"new.txt/12/200", true},
                                                    {"gone.txt/2053/300", true}}));
    ScratchDir dest;
    const CopySummary s = recoverAll(*ext, dest.str());
    EXPECT_TRUE(s.damaged.empty() && s.failed.empty()) << damageList(s);
    // Live files exactly as the Normal mount gives them, live time included.
    EXPECT_EQ(readFile(dest.path() / "keep.txt"), readFile(normalDest.path() / "keep.txt"));
    EXPECT_EQ(readFile(dest.path() / "keep.txt"), str(v.keepLive));
    EXPECT_EQ(readFile(dest.path() / "new.txt"), str(v.new30));
    struct stat st {};
    ASSERT_EQ(::stat((dest.path() / "keep.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 101);
    // The older version keeps its own bytes; the live one keeps the name.
    EXPECT_EQ(readFile(dest.path() / "new (1).txt"), str(v.old12));
    EXPECT_EQ(readFile(dest.path() / "keep (1).txt"), str(v.keepStale));
    EXPECT_EQ(readFile(dest.path() / "gone.txt"), str(v.gone));
}

// A file rewritten in place at the same size twice, then grown. The oldest
// version's stat data survives without its data; of the two same-size
// snapshots that could stand in, the newer is the nearer to it (the stale
// leaf of time 200 lies first on the disk, so the scan order alone picks the
// wrong one).
TEST(FileContents, SameSizeVersionsBorrowFromTheNewestSnapshot) {
    VolumeBuilder b(1024, 160);
    const auto bytes200 = pattern(40, 6), bytes300 = pattern(40, 7), bytes400 = pattern(50, 8);
    const std::uint32_t s100 = b.alloc(), s200 = b.alloc(), s300 = b.alloc(), live = b.alloc();
    const std::uint32_t root = b.alloc();
    b.leaf(s100, {statItem(1, 2, kModeDir, 0, 5), dirItem(1, 2, {{2, 10, "f.txt"}}),
                  statItem(2, 10, kModeFile, 40, 100)});
    b.leaf(s200, {statItem(2, 10, kModeFile, 40, 200), directItem(2, 10, 1, bytes200)});
    b.leaf(s300, {statItem(2, 10, kModeFile, 40, 300), directItem(2, 10, 1, bytes300)});
    b.leaf(live, {statItem(1, 2, kModeDir, 0, 6), dirItem(1, 2, {{2, 10, "f.txt"}}),
                  statItem(2, 10, kModeFile, 50, 400), directItem(2, 10, 1, bytes400)});
    b.internal(root, {live});
    b.superblock(root);

    auto m = mountBuilt(b, root, RecoveryMode::Extensive);
    std::map<std::uint32_t, const CatalogEntry*> byTime;
    for (const auto& f : m->catalog.FileList())
        byTime[f.modifiedTime] = &f;
    ASSERT_EQ(byTime.count(100), 1u);
    FileContents contents(m->reader, m->volume, m->catalog, &m->live);
    std::vector<Damage> damage;
    EXPECT_EQ(contents.readSmall(*byTime[100], 100, damage), str(bytes300));
    EXPECT_TRUE(damage.empty());
}

TEST(FileContents, DeletedPolicyChoosesTheFilesThatTakePart) {
    RewrittenVolume v;
    auto ext = mountBuilt(v.b, v.root, RecoveryMode::Extensive);
    RecoverySettings only;
    only.deletedPolicy = 2;
    ScratchDir d1;
    recoverAll(*ext, d1.str(), only);
    EXPECT_EQ(listTree(d1.path()), (std::vector<std::string>{"gone.txt", "keep.txt", "new.txt"}));
    EXPECT_EQ(readFile(d1.path() / "new.txt"), str(v.old12));
    EXPECT_EQ(readFile(d1.path() / "keep.txt"), str(v.keepStale));

    RecoverySettings exclude;
    exclude.deletedPolicy = 3;
    ScratchDir d2;
    recoverAll(*ext, d2.str(), exclude);
    EXPECT_EQ(listTree(d2.path()), (std::vector<std::string>{"keep.txt", "new.txt"}));
    EXPECT_EQ(readFile(d2.path() / "new.txt"), str(v.new30));
}

} // namespace
} // namespace dorvak::test
