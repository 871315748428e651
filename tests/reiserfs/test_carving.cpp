// The carving pass and the lost files of an Extensive mount, on built volumes
// with a test-only format: "TSTF", the length and an id in the first block;
// every later block starts with the id and its index in the file, so that a
// walker can tell a foreign block.
#include "browse/file_contents.h"
#include "reiserfs/carving.h"
#include "reiserfs/mount.h"

#include "common/memory_source.h"
#include "common/volume_builder.h"

#include <gtest/gtest.h>
#include <map>

using namespace dorvak;
using namespace dorvak::test;

namespace {

constexpr std::uint32_t kBlockSize = 4096;
constexpr std::uint32_t kBlocks = 96;

std::uint32_t u32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

bool testMatches(std::span<const std::uint8_t> head) {
    return head.size() >= 12 && std::equal(head.begin(), head.begin() + 4, "TSTF");
}

carve::WalkResult testWalk(const carve::CarveInput& in) {
    std::uint8_t head[12];
    if (in.read(0, head) < 12) return {};
    const std::uint64_t length = u32(head + 4);
    const std::uint32_t id = u32(head + 8);
    for (std::uint64_t i = 1; i * kBlockSize < length; ++i) {
        std::uint8_t mark[8];
        if (in.read(i * kBlockSize, mark) < 8 || u32(mark) != id || u32(mark + 4) != i)
            return {carve::WalkStatus::Interrupted, i * kBlockSize, {}, {}};
    }
    if (length > in.size()) return {carve::WalkStatus::Interrupted, in.size(), {}, {}};
    return {carve::WalkStatus::Complete, length, {}, {}};
}

const carve::FormatWalker kTestWalkers[] = {{"tst", "Test file", testMatches, testWalk}};
// The same format, as one whose walk a foreign block inside does not fail.
const carve::FormatWalker kUncheckedWalkers[] = {
    {"tst", "Test file", testMatches, testWalk, false}};

// A test file's bytes: `blocks` blocks' worth less 100 bytes.
std::vector<std::uint8_t> testFile(std::uint32_t id, std::uint32_t blocks) {
    std::vector<std::uint8_t> bytes = pattern(blocks * kBlockSize - 100, id);
    std::copy_n("TSTF", 4, bytes.begin());
    put32(bytes, 4, std::uint32_t(bytes.size()));
    put32(bytes, 8, id);
    for (std::uint32_t i = 1; i < blocks; ++i) {
        put32(bytes, i * kBlockSize, id);
        put32(bytes, i * kBlockSize + 4, i);
    }
    return bytes;
}

struct Built {
    VolumeBuilder vb{kBlockSize, kBlocks};
    std::map<std::string, std::vector<std::uint8_t>> files;
    // Places file `id` in the blocks given, in order.
    void place(const std::string& name, std::uint32_t id, std::vector<std::uint32_t> blocks) {
        files[name] = testFile(id, std::uint32_t(blocks.size()));
        for (std::size_t i = 0; i < blocks.size(); ++i)
            vb.data(blocks[i], files[name], i * kBlockSize);
    }
};

// Live: "/live.tst" in blocks 30-31. No name: object 77 in blocks 33-34.
// Deleted, named by nothing: a contiguous file at 40-42, two files
// interleaved at 50-55, one whose second block was overwritten at 60.
Built builtVolume() {
    Built b;
    b.place("live", 1, {30, 31});
    b.place("lost", 2, {33, 34});
    b.place("contiguous", 3, {40, 41, 42});
    b.place("odd", 4, {50, 52, 54});
    b.place("even", 5, {51, 53, 55});
    b.place("cut", 6, {60, 61, 62});
    b.vb.data(61, pattern(kBlockSize, 99)); // another file's data since
    const std::uint32_t root = b.vb.alloc(), leaf = b.vb.alloc();
    b.vb.superblock(root);
    b.vb.internal(root, {leaf});
    LeafBuilder l(kBlockSize);
    l.folder(1, 2).directory(1, 2, {{2, 10, "live.tst"}});
    l.file(2, 10, b.files["live"].size()).indirect(2, 10, 1, {30, 31});
    l.file(2, 77, b.files["lost"].size(), 5000).indirect(2, 77, 1, {33, 34});
    b.vb.leaf(leaf, l);
    return b;
}

struct Mounted {
    explicit Mounted(const Built& b, bool carve = true,
                     std::span<const carve::FormatWalker> walkers = kTestWalkers) {
        reader.openSource(std::make_unique<MemorySource>(b.vb.image.data));
        volume.sectorsPerBlock = kBlockSize / 512;
        volume.sectorCount = std::uint64_t(kBlocks) * volume.sectorsPerBlock;
        volume.rootBlock = b.vb.firstFreeBlock();
        std::atomic<bool> stop{false};
        VolumeMount mount(reader, volume, catalog, stop);
        mount.setWalkers(walkers);
        mount.setCarving(carve);
        result = mount.MountSelectedVolume(RecoveryMode::Extensive);
    }
    // Files by path, with the entry.
    std::map<std::string, const CatalogEntry*> byPath() const {
        std::map<std::string, const CatalogEntry*> out;
        for (const CatalogEntry& f : catalog.FileList()) {
            std::string path;
            if (catalog.folderPath(f.parentId, path)) out[path + "/" + f.name] = &f;
        }
        return out;
    }
    struct Sink : ContentSink {
        std::vector<std::uint8_t> bytes;
        bool write(std::uint64_t at, const std::uint8_t* data, std::size_t n) override {
            if (bytes.size() < at + n) bytes.resize(at + n);
            std::copy_n(data, n, bytes.begin() + std::ptrdiff_t(at));
            return true;
        }
        bool proceed(std::uint64_t) override { return true; }
    };
    std::vector<std::uint8_t> bytesOf(const CatalogEntry& f, std::vector<Damage>& damage) {
        FileContents contents(reader, volume, catalog, nullptr);
        Sink sink;
        EXPECT_EQ(contents.copy(f, sink, damage), ContentResult::Done);
        return sink.bytes;
    }
    SectorReader reader;
    VolumeInfo volume;
    Catalog catalog;
    MountResult result;
};

} // namespace

TEST(Carving, FilesComeBackWholeAndNoClaimedBlockIsTaken) {
    const Built b = builtVolume();
    Mounted m(b);
    const auto files = m.byPath();
    std::vector<std::string> paths;
    for (const auto& [path, entry] : files)
        paths.push_back(path);
    // The live file and the lost one own their blocks: no carved file starts
    // at 30 or 33, and each carved file is named by its first block.
    EXPECT_EQ(paths, (std::vector<std::string>{
                         "/Carved Files/tst/b0000040.tst", "/Carved Files/tst/b0000050.tst",
                         "/Carved Files/tst/b0000051.tst", "/Carved Files/tst/b0000060.tst",
                         "/Lost Files/77.tst", "/live.tst"}));
    const std::map<std::string, std::string> expected{
        {"/Carved Files/tst/b0000040.tst", "contiguous"},
        {"/Carved Files/tst/b0000050.tst", "odd"},
        {"/Carved Files/tst/b0000051.tst", "even"},
        {"/Lost Files/77.tst", "lost"},
        {"/live.tst", "live"}};
    for (const auto& [path, name] : expected) {
        SCOPED_TRACE(path);
        std::vector<Damage> damage;
        EXPECT_EQ(m.bytesOf(*files.at(path), damage), b.files.at(name));
        EXPECT_TRUE(damage.empty());
        EXPECT_EQ(files.at(path)->deleted, path != "/live.tst");
    }
    const CatalogEntry& lost = *files.at("/Lost Files/77.tst");
    EXPECT_EQ(lost.modifiedTime, 5000u);
    EXPECT_EQ(m.catalog.carvedFile(lost), nullptr);
}

TEST(Carving, AnInterruptedFileKeepsItsGoodLengthAndIsMarkedDamaged) {
    const Built b = builtVolume();
    Mounted m(b);
    const CatalogEntry& cut = *m.byPath().at("/Carved Files/tst/b0000060.tst");
    const CarvedFile* carved = m.catalog.carvedFile(cut);
    ASSERT_NE(carved, nullptr);
    EXPECT_TRUE(carved->damaged);
    EXPECT_EQ(m.catalog.carvedTypeName(*carved), "Test file");
    EXPECT_EQ(cut.size, kBlockSize);
    std::vector<Damage> damage;
    const auto bytes = m.bytesOf(cut, damage);
    EXPECT_EQ(bytes, std::vector<std::uint8_t>(b.files.at("cut").begin(),
                                               b.files.at("cut").begin() + kBlockSize));
    ASSERT_EQ(damage.size(), 1u);
    EXPECT_EQ(damage[0].kind, DamageKind::Incomplete);
    EXPECT_EQ(damage[0].range, (ByteRange{kBlockSize, kBlockSize}));
}

TEST(Carving, AFileJoinedFromRunsItsFormatCannotCheckIsMarkedDamaged) {
    const Built b = builtVolume();
    for (const bool checks : {true, false}) {
        Mounted m(b, true, checks ? std::span(kTestWalkers) : std::span(kUncheckedWalkers));
        const auto files = m.byPath();
        for (const char* path :
             {"/Carved Files/tst/b0000040.tst", "/Carved Files/tst/b0000050.tst"}) {
            const CarvedFile* carved = m.catalog.carvedFile(*files.at(path));
            ASSERT_NE(carved, nullptr) << path;
            // The contiguous file is whole either way; the interleaved one
            // only when the format checked where its runs join.
            const bool joined = std::string(path).find("50") != std::string::npos;
            EXPECT_EQ(carved->damaged, joined && !checks) << path << " checks " << checks;
        }
    }
}

// A leaf outside the live tree: its items' blocks are the listed files' own
// (here a lost file's), or carving's when nothing lists their object.
TEST(Carving, ALeafOutsideTheTreeClaimsTheBlocksOfListedFilesOnly) {
    Built b = builtVolume();
    b.place("stale lost", 7, {70, 71});
    b.place("unlisted", 8, {80, 81});
    LeafBuilder stale(kBlockSize);
    stale.file(2, 88, b.files["stale lost"].size()).indirect(2, 88, 1, {70, 71});
    stale.indirect(2, 99, 1, {80, 81}); // no stat data: a journal copy's leftover
    b.vb.leaf(20, stale);
    Mounted m(b);
    const auto files = m.byPath();
    ASSERT_TRUE(files.count("/Lost Files/88.tst"));
    EXPECT_FALSE(files.count("/Carved Files/tst/b0000070.tst"));
    ASSERT_TRUE(files.count("/Carved Files/tst/b0000080.tst"));
    std::vector<Damage> damage;
    EXPECT_EQ(m.bytesOf(*files.at("/Carved Files/tst/b0000080.tst"), damage),
              b.files.at("unlisted"));
}

TEST(Carving, WithoutCarvingLostFilesStayAndNothingIsCarved) {
    const Built b = builtVolume();
    Mounted m(b, false);
    const auto files = m.byPath();
    EXPECT_EQ(files.size(), 2u);
    EXPECT_TRUE(files.count("/Lost Files/77.tst"));
    EXPECT_EQ(m.catalog.folderIndex(kCarvedFilesFolderId), -1);
}

TEST(Carving, RunInputReadsAcrossRunsAndNeverPastItsEnd) {
    Built b;
    b.place("a", 7, {20, 21, 22});
    SectorReader reader;
    reader.openSource(std::make_unique<MemorySource>(b.vb.image.data));
    VolumeInfo volume;
    volume.sectorsPerBlock = kBlockSize / 512;
    volume.sectorCount = std::uint64_t(kBlocks) * volume.sectorsPerBlock;
    BlockRunInput in(reader, volume, {{22, 1}, {20, 1}});
    EXPECT_EQ(in.size(), 2u * kBlockSize);
    std::vector<std::uint8_t> out(16);
    // The end of block 22 (past the file's last byte: zeros), then block 20.
    EXPECT_EQ(in.read(kBlockSize - 8, out), 16u);
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 8),
              std::vector<std::uint8_t>(8, 0));
    EXPECT_TRUE(std::equal(out.begin() + 8, out.end(), b.files["a"].begin()));
    EXPECT_EQ(in.read(2 * kBlockSize - 4, out), 4u);
    EXPECT_EQ(in.read(2 * kBlockSize, out), 0u);
}

TEST(Carving, AMemoIsRecalledOnlyByAWalkOverTheSameBlocksBeforeIt) {
    WalkMemos memos;
    const auto memoAt = [](std::uint64_t offset) {
        auto m = std::make_unique<carve::WalkMemo>();
        m->offset = offset;
        return m;
    };
    // Left by a walk over blocks 10-15: at 2.5 blocks (its bytes lie in
    // blocks 10-12) and at 5 blocks.
    memos.remember({{10, 6}}, kBlockSize, memoAt(kBlockSize * 5 / 2));
    memos.remember({{10, 6}}, kBlockSize, memoAt(kBlockSize * 5));
    const auto recalled = [&](std::vector<BlockRun> runs) -> std::uint64_t {
        std::uint64_t size = 0;
        for (const BlockRun& r : runs)
            size += std::uint64_t(r.count) * kBlockSize;
        const carve::WalkMemo* m = memos.recall(runs, size, kBlockSize);
        return m ? m->offset : 0;
    };
    EXPECT_EQ(recalled({{10, 6}}), kBlockSize * 5u);
    // The same blocks split in two runs are the same bytes.
    EXPECT_EQ(recalled({{10, 3}, {13, 3}}), kBlockSize * 5u);
    EXPECT_EQ(recalled({{10, 3}, {40, 8}}), kBlockSize * 5u / 2);
    // The memo's last block differs, or the input ends before it.
    EXPECT_EQ(recalled({{10, 2}, {40, 8}}), 0u);
    EXPECT_EQ(recalled({{10, 2}}), 0u);
}

namespace {

// The test format as one whose good length stays at the file's start until
// its end checks (a ZIP entry across a break), with a check over its bytes.
unsigned gLaggingWalks = 0;
carve::WalkResult laggingWalk(const carve::CarveInput& in) {
    ++gLaggingWalks;
    carve::WalkResult r = testWalk(in);
    if (r.status != carve::WalkStatus::Interrupted) return r;
    r.inputEnded = r.length == in.size();
    r.length = 0;
    return r;
}
const carve::FormatWalker kLaggingWalkers[] = {
    {"tst", "Test file", testMatches, laggingWalk, true, true}};

} // namespace

TEST(Carving, ABreakWhereTheInputEndedIsTriedAtTheRunsEndFirst) {
    // File 9 in 40-43, then 48-51; a listed file in 44-45 ends its first
    // run, and the deleted blocks 46-47 (another file's, unclaimed) come
    // first after it. Its good length is 0 until its end checks, so the
    // prefix its runs hold whole is the one to try.
    Built b;
    b.place("split", 9, {40, 41, 42, 43, 48, 49, 50, 51});
    b.place("live", 1, {44, 45});
    b.vb.data(46, pattern(2 * kBlockSize, 98));
    const std::uint32_t root = b.vb.alloc(), leaf = b.vb.alloc();
    b.vb.superblock(root);
    b.vb.internal(root, {leaf});
    LeafBuilder l(kBlockSize);
    l.folder(1, 2).directory(1, 2, {{2, 10, "live.tst"}});
    l.file(2, 10, b.files["live"].size()).indirect(2, 10, 1, {44, 45});
    b.vb.leaf(leaf, l);
    gLaggingWalks = 0;
    Mounted m(b, true, kLaggingWalkers);
    const auto files = m.byPath();
    ASSERT_TRUE(files.contains("/Carved Files/tst/b0000040.tst"));
    std::vector<Damage> damage;
    EXPECT_EQ(m.bytesOf(*files.at("/Carved Files/tst/b0000040.tst"), damage), b.files.at("split"));
    EXPECT_TRUE(damage.empty());
    // The first walk, the two foreign blocks, then the right run (from the
    // first prefix block on, more than 40 tries).
    EXPECT_LE(gLaggingWalks, 4u);
}
