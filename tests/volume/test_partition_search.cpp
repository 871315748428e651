#include "volume/partition_search.h"

#include "common/memory_source.h"
#include "common/volume_builder.h"

#include <gtest/gtest.h>

using namespace dorvak;
using namespace dorvak::test;

namespace {

// Records what the search reported.
struct Recorder : ProgressSink {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> positions; // scanned, total
    std::vector<std::uint64_t> sectors;
    void scanPosition(std::uint64_t scanned, std::uint64_t total) override {
        positions.emplace_back(scanned, total);
    }
    void currentSector(std::uint64_t s) override { sectors.push_back(s); }
};

// A volume at `start` whose root block sits at `rootLevel`, with the tree
// height the superblock claims.
void volumeAt(DiskImage& img, std::uint64_t start, std::uint16_t rootLevel, std::uint16_t height,
              std::uint32_t blockSize = 512, std::uint32_t root = 200) {
    writeSuperblock(img, start, blockSize, 400, root, height);
    const std::size_t at = start * 512 + std::size_t(root) * blockSize;
    img.put16(at, rootLevel);
    img.put16(at + 2, 3);
}

struct Search {
    SectorReader reader;
    MemorySource* source;
    VolumeTable table;
    Recorder progress;
    std::atomic<bool> stop{false};
    std::vector<std::string> found;
    explicit Search(const DiskImage& img) {
        auto s = std::make_unique<MemorySource>(img.data);
        source = s.get();
        reader.openSource(std::move(s));
    }
    void run(std::uint64_t start, std::uint64_t end, std::uint32_t perRead = 60) {
        SearchPartitions(reader, table, {start, end, perRead}, stop, progress,
                         [&](const VolumeInfo& v) { found.push_back(v.name); });
    }
};

} // namespace

TEST(PartitionSearch, TheLastRunIsReadWholeAndReachesPastTheEnd) {
    DiskImage img(4000 * 512);
    volumeAt(img, 882, 2, 3); // superblock in sector 1010
    Search s(img);
    s.run(0, 1000);
    ASSERT_EQ(s.table.volumeCount, 1u);
    EXPECT_EQ(s.table.records[0].startSector, 882u);
    EXPECT_EQ(s.table.records[0].sectorCount, 400u);
    EXPECT_EQ(s.found, std::vector<std::string>{"ReiserFS - 0"});
    ASSERT_EQ(s.progress.sectors.size(), 17u); // 17 runs of 60
    ASSERT_EQ(s.progress.positions.size(), 17u);
    EXPECT_EQ(s.progress.sectors.back(), 960u);
    // Sectors scanned so far, not the absolute sector, of the range's size.
    using Position = std::pair<std::uint64_t, std::uint64_t>;
    EXPECT_EQ(s.progress.positions.front(), Position(0, 1000));
    EXPECT_EQ(s.progress.positions.back(), Position(960, 1000));
}

TEST(PartitionSearch, TheRootMustSitOneLevelBelowTheTreeHeight) {
    struct Case {
        std::uint16_t level, height;
        bool found;
    };
    for (auto c : {Case{1, 2, true}, Case{2, 3, true}, Case{4, 5, true}, Case{5, 6, true},
                   Case{1, 3, false}, Case{3, 3, false}, Case{6, 7, false}, Case{0, 1, false}}) {
        DiskImage img(2000 * 512);
        volumeAt(img, 300, c.level, c.height);
        Search s(img);
        s.run(0, 2000);
        EXPECT_EQ(s.table.volumeCount, c.found ? 1u : 0u) << c.level << "/" << c.height;
    }
}

TEST(PartitionSearch, CandidatesBelowSector128AreSkipped) {
    DiskImage img(2000 * 512);
    // A superblock-like sector at 100 would put the volume before sector 0.
    writeSuperblock(img, 0, 512, 400, 200, 3);
    std::copy_n(img.data.begin() + 65536, 512, img.data.begin() + 100 * 512);
    img.put16(200 * 512, 2);
    img.put16(200 * 512 + 2, 1);
    Search s(img);
    s.run(0, 2000);
    ASSERT_EQ(s.table.volumeCount, 1u);
    EXPECT_EQ(s.table.records[0].startSector, 0u);
}

TEST(PartitionSearch, StopEndsTheSearchBeforeTheNextSector) {
    DiskImage img(4000 * 512);
    volumeAt(img, 0, 2, 3);
    volumeAt(img, 1000, 2, 3);
    Search s(img);
    struct StopAfterFirst : Recorder {
        std::atomic<bool>* stop;
        void volumesFound(std::uint32_t) override { *stop = true; }
    } progress;
    progress.stop = &s.stop;
    SearchPartitions(s.reader, s.table, {0, 4000, 100}, s.stop, progress);
    EXPECT_EQ(s.table.volumeCount, 1u);
    EXPECT_EQ(progress.sectors.size(), 2u); // the second run was never started
}

// The front end clears the flag before it starts the worker; a stop pressed
// in between must not be lost.
TEST(PartitionSearch, AStopRequestedBeforeTheStartIsKept) {
    DiskImage img(1000 * 512);
    volumeAt(img, 0, 2, 3);
    Search s(img);
    s.stop = true;
    s.run(0, 1000);
    EXPECT_EQ(s.source->requests, 0);
    EXPECT_EQ(s.table.volumeCount, 0u);
}

TEST(PartitionSearch, EmptyRangeReadsNothing) {
    DiskImage img(1000 * 512);
    Search s(img);
    s.run(500, 500);
    EXPECT_EQ(s.source->requests, 0);
    EXPECT_EQ(s.table.volumeCount, 0u);
}

TEST(PartitionSearch, NinetyNineVolumesEndTheSearch) {
    // 150 copies of one superblock, each confirmed by the same root.
    DiskImage img(2000 * 512);
    writeSuperblock(img, 0, 512, 400, 1500, 3);
    img.put16(1500 * 512, 2);
    img.put16(1500 * 512 + 2, 1);
    for (int i = 1; i < 150; ++i)
        std::copy_n(img.data.begin() + 65536, 512, img.data.begin() + (128 + i) * 512);
    // Sector s names root 1500 relative to s - 128: only s = 128 reaches the
    // node written above, so give every copy its own root block at the same place.
    for (int i = 0; i < 150; ++i)
        img.put32((128 + i) * 512 + 8, 1500 - i);
    Search s(img);
    s.run(0, 2000);
    EXPECT_EQ(s.table.volumeCount, kSearchVolumeLimit);
    EXPECT_TRUE(s.stop);
}

TEST(PartitionSearch, AnUnreadableRunCannotRepeatTheLastSuperblock) {
    DiskImage img(2000 * 512);
    volumeAt(img, 0, 2, 3, 512, 400);
    // Where a stale copy of sector 128 seen as sector 188 would find its root.
    img.put16(460 * 512, 2);
    img.put16(460 * 512 + 2, 3);
    Search s(img);
    for (int i = 180; i < 240; ++i)
        s.source->bad.insert(i);
    s.run(120, 300, 60);
    EXPECT_EQ(s.table.volumeCount, 1u);
}

TEST(PartitionSearch, ARangePastTheEndOfTheSourceStopsAtItsEnd) {
    DiskImage img(2000 * 512);
    volumeAt(img, 0, 2, 3);
    Search s(img);
    s.run(0, std::uint64_t(1) << 40);
    EXPECT_EQ(s.table.volumeCount, 1u);
    EXPECT_LT(s.source->requests, 400); // 34 runs and the retries of the last one
}
