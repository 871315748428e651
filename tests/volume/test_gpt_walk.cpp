// The partition walk on GUID partition tables and on disks with 4096-byte
// logical sectors, with tables built byte by byte.
#include "volume/gpt.h"
#include "volume/partition_walk.h"

#include "common/gpt_builder.h"
#include "common/memory_source.h"

#include <gtest/gtest.h>

using namespace dorvak;
using namespace dorvak::test;

namespace {

constexpr std::size_t kDiskBytes = 40000 * 512;

void reiser(DiskImage& img, std::uint64_t start512, std::uint32_t root = 8211) {
    writeSuperblock(img, start512, 4096, 1000, root, 3);
}

struct Walked {
    VolumeTable table;
    PartitionWalkResult result;
    std::vector<std::uint64_t> starts() const {
        std::vector<std::uint64_t> s;
        for (std::uint32_t i = 0; i < table.volumeCount; ++i)
            s.push_back(table.records[i].startSector);
        return s;
    }
};

Walked walk(const DiskImage& img, std::uint32_t deviceSectorSize = 0) {
    SectorReader reader;
    auto source = std::make_unique<MemorySource>(img.data);
    source->sectorSize = deviceSectorSize;
    reader.openSource(std::move(source));
    Walked w;
    w.result = WalkPartitionTables(reader, w.table);
    return w;
}

// Volumes in entries 3, 5 and 127 of 128, entry 3 furthest on the disk,
// entry 0 a partition without a file system; entry 5 of a Windows type.
GptLayout gappedLayout(std::uint32_t sectorSize) {
    const std::uint64_t f = sectorSize / 512;
    GptLayout l;
    l.sectorSize = sectorSize;
    l.parts[0] = {2048 / f, 4095 / f, u"empty"};
    l.parts[3] = {24000 / f, 31999 / f, u"third \u00e9\U0001F600"};
    l.parts[5] = {8000 / f, 15999 / f, u"data", kBasicDataGuid};
    l.parts[127] = {16000 / f, 23999 / f, u"last"};
    return l;
}

DiskImage gappedDisk(std::uint32_t sectorSize) {
    DiskImage img(kDiskBytes);
    writeGpt(img, gappedLayout(sectorSize));
    reiser(img, 24000, 11);
    reiser(img, 8000, 12);
    reiser(img, 16000, 13);
    return img;
}

} // namespace

TEST(Gpt, Crc32AndNamesDecode) {
    const std::string check = "123456789";
    EXPECT_EQ(crc32(Bytes(reinterpret_cast<const std::uint8_t*>(check.data()), check.size())),
              0xCBF43926u);
    // "A", a surrogate pair (U+1F600), a lone low surrogate, then NUL ends it.
    const std::uint8_t name[] = {'A', 0, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xDC, 0, 0, 'B', 0};
    EXPECT_EQ(utf16Name(Bytes(name, sizeof name)), "A\xF0\x9F\x98\x80\xEF\xBF\xBD");
    EXPECT_EQ(guidText(Bytes(kLinuxDataGuid.data(), 16)), "0FC63DAF-8483-4772-8E79-3D69D8477DE4");
}

// Every used entry is probed in entry order, whatever its type, at either
// sector size; volumes land in 512-byte sectors.
TEST(Gpt, UsedEntriesAreProbedInEntryOrderAtEitherSectorSize) {
    for (std::uint32_t sectorSize : {512u, 4096u}) {
        const Walked w = walk(gappedDisk(sectorSize));
        SCOPED_TRACE(sectorSize);
        EXPECT_EQ(w.result.table, PartitionWalkResult::Table::Gpt);
        EXPECT_EQ(w.result.sectorSize, sectorSize);
        EXPECT_TRUE(w.result.note.empty());
        ASSERT_EQ(w.starts(), (std::vector<std::uint64_t>{24000, 8000, 16000}));
        const VolumeInfo& first = w.table.records[0];
        EXPECT_EQ(first.name, "ReiserFS - 0");
        EXPECT_EQ(first.rootBlock, 11u);
        EXPECT_EQ(first.sectorCount, 8000u);
        EXPECT_EQ(first.partitionName, "third \xC3\xA9\xF0\x9F\x98\x80");
        EXPECT_EQ(first.typeGuid, "0FC63DAF-8483-4772-8E79-3D69D8477DE4");
        EXPECT_EQ(w.table.records[1].typeGuid, "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");
        EXPECT_EQ(w.table.records[2].partitionName, "last");
    }
}

// A device's own sector size is believed: the 4096-byte table of an image
// read through a device that says 512 is not reinterpreted.
TEST(Gpt, ADeviceSectorSizeIsNotSecondGuessed) {
    EXPECT_EQ(walk(gappedDisk(4096), 4096).starts(),
              (std::vector<std::uint64_t>{24000, 8000, 16000}));
    const Walked w = walk(gappedDisk(4096), 512);
    EXPECT_EQ(w.table.volumeCount, 0u);
    EXPECT_EQ(w.result.sectorSize, 512u);
}

// The primary header or its entries damaged: the backup at the last LBA is
// read and the user told. Both damaged: only the MBR is read.
TEST(Gpt, DamageFallsBackToTheBackupAndSaysSo) {
    struct Case {
        const char* what;
        bool header, entries, backup;
        std::size_t volumes;
        const char* note;
    };
    for (const Case c : {Case{"primary header", true, false, false, 3, "backup GPT"},
                         Case{"primary entries", false, true, false, 3, "backup GPT"},
                         Case{"both copies", true, false, true, 0, "its backup too"}}) {
        for (std::uint32_t sectorSize : {512u, 4096u}) {
            DiskImage img = gappedDisk(sectorSize);
            const auto [header, entries] = writeGpt(img, gappedLayout(sectorSize));
            if (c.header) img.put8(header + 40, img.data[header + 40] ^ 1);
            if (c.entries) img.put8(entries + 3 * 128 + 40, 0x77);
            if (c.backup) img.put8(kDiskBytes - sectorSize, 'X'); // its signature
            const Walked w = walk(img);
            SCOPED_TRACE(std::string(c.what) + " " + std::to_string(sectorSize));
            EXPECT_EQ(w.table.volumeCount, c.volumes);
            EXPECT_NE(w.result.note.find(c.note), std::string::npos) << w.result.note;
        }
    }
}

// A hybrid MBR also lists partitions for old systems; the GPT is the table.
// Without a sound GPT the MBR entries are still walked as before.
TEST(Gpt, AHybridMbrFollowsTheGpt) {
    DiskImage img = gappedDisk(512);
    writePartitionTable(img, 0, {{0x83, 32000, 4000}, {0xEE, 1, 2047}});
    reiser(img, 32000, 14);
    EXPECT_EQ(walk(img).starts(), (std::vector<std::uint64_t>{24000, 8000, 16000}));
    img.put8(512, 'X');              // primary header
    img.put8(kDiskBytes - 512, 'X'); // backup header
    EXPECT_EQ(walk(img).starts(), std::vector<std::uint64_t>{32000});
}

// Headers whose counts, sizes or addresses are hostile are refused or
// bounded; entries past the disk are skipped.
TEST(Gpt, HostileHeadersAndEntriesAreBounded) {
    for (const std::uint32_t count : {0u, 0x100000u, 0xFFFFFFFFu}) {
        DiskImage img = gappedDisk(512);
        for (const std::size_t at : {std::size_t(512), kDiskBytes - 512}) {
            img.put32(at + 80, count);
            img.put32(at + 16, 0);
            img.put32(at + 16, crc32(Bytes(img.data.data() + at, 92)));
        }
        EXPECT_EQ(walk(img).table.volumeCount, 0u) << count;
    }
    DiskImage img(kDiskBytes);
    GptLayout l;
    l.parts[0] = {~0ull - 10, ~0ull, u"wraps"};
    l.parts[1] = {1ull << 40, (1ull << 40) + 100, u"past the end"};
    l.parts[2] = {8000, 7000, u"backwards"};
    writeGpt(img, l);
    reiser(img, 8000);
    const Walked w = walk(img);
    EXPECT_EQ(w.starts(), std::vector<std::uint64_t>{8000});
    EXPECT_EQ(w.table.records[0].sectorCount, 8000u); // from the superblock
}

// An MBR written for 4096-byte sectors makes sense of an image only read
// that way; one that makes sense at 512 is never read at 4096.
TEST(Gpt, AnMbrOfFourKibSectorsIsFoundInAnImage) {
    DiskImage img(kDiskBytes);
    writePartitionTable(img, 0, {{0x83, 1000, 500}, {0x05, 2000, 2000}});
    writePartitionTable(img, 2000 * 8, {{0x83, 256, 1000}});
    reiser(img, 1000 * 8);
    reiser(img, (2000 + 256) * 8);
    const Walked w = walk(img);
    EXPECT_EQ(w.starts(), (std::vector<std::uint64_t>{8000, 18048}));
    EXPECT_EQ(w.result.sectorSize, 4096u);
    EXPECT_EQ(w.table.records[0].sectorCount, 8000u);

    reiser(img, 1000);
    EXPECT_EQ(walk(img).starts(), std::vector<std::uint64_t>{1000});
}
