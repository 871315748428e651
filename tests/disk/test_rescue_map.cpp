#include "disk/rescue_map.h"
#include "disk/sector_reader.h"

#include "common/memory_source.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

using namespace dorvak;
using dorvak::test::MemorySource;

namespace {

// As GNU ddrescue 1.27 writes one in the middle of a run.
constexpr const char* kDdrescueMap = "# Mapfile. Created by GNU ddrescue version 1.27\n"
                                     "# Command line: ddrescue /dev/sdb disk.img disk.map\n"
                                     "# current_pos  current_status  current_pass\n"
                                     "0x00003000     /               1\n"
                                     "#      pos        size  status\n"
                                     "0x00000000  0x00002000  +\n"
                                     "0x00002000  0x00000400  -\n"
                                     "0x00002400  0x00000C00  /\n"
                                     "0x00003000  0x00001000  *\n"
                                     "0x00004000  0x00004000  ?\n";

std::string blocksText(const RescueMap& map) {
    std::string out;
    for (const MapBlock& b : map.blocks())
        out += std::to_string(b.pos) + "+" + std::to_string(b.size) + b.status + " ";
    return out;
}

} // namespace

TEST(RescueMap, ReadsDdrescuesMapAndWritesOneThatReadsBackTheSame) {
    auto map = RescueMap::parse(kDdrescueMap);
    ASSERT_TRUE(map) << map.error().text;
    EXPECT_EQ(map->currentPos, 0x3000u);
    EXPECT_EQ(map->currentStatus, '/');
    EXPECT_EQ(blocksText(*map), "0+8192+ 8192+1024- 9216+3072/ 12288+4096* 16384+16384? ");
    EXPECT_TRUE(map->finished(0, 8192));
    EXPECT_FALSE(map->finished(4096, 8192));
    EXPECT_FALSE(map->finished(0x8000, 1)); // past the last block: never tried
    auto again = RescueMap::parse(map->format());
    ASSERT_TRUE(again) << again.error().text;
    EXPECT_EQ(blocksText(*again), blocksText(*map));
    EXPECT_EQ(again->currentStatus, '/');
    // Decimal numbers and a status line without the pass, as older
    // versions wrote it.
    auto old = RescueMap::parse("0 +\n0 1024 +\n  1024\t512 -\n");
    ASSERT_TRUE(old) << old.error().text;
    EXPECT_EQ(blocksText(*old), "0+1024+ 1024+512- ");
}

TEST(RescueMap, RefusesWhatIsNotAMapfileNamingTheLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"", "line 0: no current position and status: not a mapfile"},
        {"# only comments\n", "line 0: no current position and status: not a mapfile"},
        {"hello world\n", "line 1: not the current position and status of a mapfile"},
        {"0 +\n0 512 x\n", "line 2: unknown block status"},
        {"0 +\n0 1024 +\n512 512 -\n", "line 3: the block overlaps or precedes the one before it"},
        {"0 +\n0 0x8000000000000000 +\n", "line 2: not a position and size"},
        {"0 +\n0x7fffffffffffffff 2 +\n", "line 2: not a position and size"},
        {"0 +\n0 512\n", "line 2: not a block (position, size, status)"},
    };
    for (const auto& c : cases) {
        const auto map = RescueMap::parse(c.text);
        ASSERT_FALSE(map) << c.text;
        EXPECT_EQ(map.error().text, c.error) << c.text;
        EXPECT_EQ(map.error().code, 0) << c.text;
    }
}

// A file that is not there, or a folder that is not there to write into:
// the system's errno and a text that names the map.
TEST(RescueMap, FailuresToReadOrWriteCarryErrnoAndTheMapsPath) {
    const std::string missing = ::testing::TempDir() + "no-such-folder/disk.map";
    const auto loaded = RescueMap::load(missing);
    ASSERT_FALSE(loaded);
    EXPECT_EQ(loaded.error().code, ENOENT);
    EXPECT_EQ(loaded.error().text,
              "Cannot read the map " + missing + ": No such file or directory");
    RescueMap map;
    map.set(0, 512, kFinished);
    const auto saved = map.save(missing);
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error().code, ENOENT);
    EXPECT_EQ(saved.error().text.rfind("Cannot write the map " + missing + ": ", 0), 0u)
        << saved.error().text;
    const std::string here = ::testing::TempDir() + "dorvak-map-test.map";
    ASSERT_TRUE(map.save(here));
    const auto back = RescueMap::load(here);
    ASSERT_TRUE(back) << back.error().text;
    EXPECT_EQ(back->format(), map.format());
    std::remove(here.c_str());
}

TEST(RescueMap, SetSplitsAndMergesBlocksAndGapsAreUntried) {
    RescueMap map;
    map.set(0, 4096, kNonTried);
    map.set(1024, 512, kBadSector);
    map.set(0, 1024, kFinished);
    map.set(1536, 2560, kFinished);
    EXPECT_EQ(blocksText(map), "0+1024+ 1024+512- 1536+2560+ ");
    map.set(1024, 512, kFinished);
    EXPECT_EQ(blocksText(map), "0+4096+ ");
    map.set(8192, 512, kBadSector); // a gap before it is written as untried
    EXPECT_EQ(blocksText(map), "0+4096+ 4096+4096? 8192+512- ");
    const auto untried = map.areas(kNonTried, 2048, 10000);
    ASSERT_EQ(untried.size(), 2u);
    EXPECT_EQ((std::pair{untried[0].pos, untried[0].size}),
              (std::pair<std::uint64_t, std::uint64_t>{4096, 4096}));
    EXPECT_EQ((std::pair{untried[1].pos, untried[1].size}),
              (std::pair<std::uint64_t, std::uint64_t>{8704, 1296}));
    EXPECT_EQ(map.bytesIn(kFinished), 4096u);
}

TEST(RescueMap, TheReaderNeverAsksForWhatTheMapDoesNotMarkRead) {
    std::vector<std::uint8_t> bytes(64 * 512);
    for (std::size_t s = 0; s < 64; ++s)
        std::fill_n(bytes.begin() + s * 512, 512, std::uint8_t(s + 1));
    auto owned = std::make_unique<MemorySource>(bytes);
    MemorySource* source = owned.get();
    SectorReader reader;
    reader.openSource(std::move(owned));
    // Read: 0-15 and 24-39. Bad: 16-17. Not scraped: 18-19. Untried:
    // 20-23 (a gap) and everything from 48 on. Not trimmed: 40-47.
    auto map = std::make_shared<RescueMap>();
    map->set(0, 16 * 512, kFinished);
    map->set(16 * 512, 2 * 512, kBadSector);
    map->set(18 * 512, 2 * 512, kNonScraped);
    map->set(24 * 512, 16 * 512, kFinished);
    map->set(40 * 512, 8 * 512, kNonTrimmed);
    reader.setRescueMap(map);

    std::vector<std::uint8_t> buffer(64 * 512, 0x55);
    std::vector<std::uint64_t> unreadable;
    reader.ReadSectors(0, 64, buffer.data(), &unreadable);
    std::vector<std::uint64_t> want;
    for (std::uint64_t s = 16; s < 24; ++s)
        want.push_back(s);
    for (std::uint64_t s = 40; s < 64; ++s)
        want.push_back(s);
    EXPECT_EQ(unreadable, want);
    EXPECT_EQ(reader.unreadableSectorCount(), want.size());
    for (const auto& [offset, length] : source->reads)
        for (std::uint64_t s = offset / 512; s < (offset + length) / 512; ++s)
            EXPECT_TRUE(s < 16 || (s >= 24 && s < 40)) << "sector " << s << " was read";
    // The readable runs came in one request each.
    EXPECT_EQ(source->requests, 2);
    for (std::size_t s = 0; s < 64; ++s) {
        const bool good = s < 16 || (s >= 24 && s < 40);
        EXPECT_EQ(buffer[s * 512], good ? std::uint8_t(s + 1) : 0) << "sector " << s;
    }
}
