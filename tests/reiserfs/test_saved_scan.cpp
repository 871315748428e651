// Saved scans of the kernel-made images: a stopped scan saved, read back and
// gone on with gives what one whole scan gives; a damaged file is refused.
#include "reiserfs/saved_scan.h"

#include "carve/format_walker.h"
#include "common/mount_helpers.h"
#include "support/test_images.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace dorvak;
using namespace dorvak::test;

namespace {

// Stops the mount once the block scan has passed `percent` of the volume (0:
// before the mount starts).
class StopAt : public ProgressSink {
public:
    StopAt(std::atomic<bool>& stop, unsigned percent) : stop_(stop), percent_(percent) {
        if (percent == 0) stop_ = true;
    }
    void percent(unsigned value) override {
        if (!fired_ && percent_ > 0 && value >= percent_) fired_ = true, stop_ = true;
    }

private:
    std::atomic<bool>& stop_;
    unsigned percent_;
    bool fired_ = false;
};

struct Scan {
    SectorReader reader;
    VolumeInfo volume;
    Catalog catalog;
    MountResult result;
    SavedScan saved; // what --save-scan would write of it
};

// An Extensive mount with carving of volume 0 of `image`, stopped at
// `stopPercent` when given, or going on from `resume`.
std::unique_ptr<Scan> scanImage(const std::string& image, unsigned stopPercent = 101,
                                const ScanPosition* resume = nullptr) {
    auto s = std::make_unique<Scan>();
    if (!s->reader.OpenSelectedDisk(image)) throw std::runtime_error("cannot open " + image);
    VolumeTable table;
    WalkPartitionTables(s->reader, table);
    s->volume = table.records[0];
    std::atomic<bool> stop{false};
    StopAt sink(stop, stopPercent);
    VolumeMount mount(s->reader, s->volume, s->catalog, stop, sink);
    mount.setWalkers(carve::formatWalkers());
    mount.setResume(resume);
    s->result = mount.MountSelectedVolume(RecoveryMode::Extensive);
    s->saved.identity = identifyScan(s->reader, s->volume);
    s->saved.stopped = s->result.stopped;
    s->saved.result = s->result;
    s->saved.liveLeaves = mount.liveLeaves();
    s->saved.position = mount.scanPosition();
    return s;
}

// Everything a listing and a copy-out take from a catalog, one line each.
std::string dump(const Catalog& c) {
    std::ostringstream out;
    for (const auto* list : {&c.FolderList()})
        for (const CatalogEntry& e : *list)
            out << "d " << e.name << ' ' << e.parentId << ' ' << e.objectId << ' ' << e.modifiedTime
                << ' ' << e.keyDirId << ' ' << e.treeItem << ' ' << e.deleted << '\n';
    for (const CatalogEntry& e : c.FileList()) {
        out << "f " << e.name << ' ' << e.parentId << ' ' << e.objectId << ' ' << e.modifiedTime
            << ' ' << e.keyDirId << ' ' << e.auxValue << ' ' << e.fileNumber << ' '
            << int(e.fileType) << ' ' << e.deleted << ' ' << e.size;
        if (const CarvedFile* carved = c.carvedFile(e)) {
            out << ' ' << c.carvedTypeName(*carved) << ' ' << carved->damaged;
            for (const BlockRun& r : c.runsOf(*carved))
                out << ' ' << r.first << '+' << r.count;
        }
        out << '\n';
    }
    for (const auto* items : {&c.DirectItems(), &c.IndirectItems()})
        for (const DataItemRef& r : *items)
            out << "i " << r.leafSector << ' ' << r.keyOffset << ' ' << r.objectId << ' ' << r.dirId
                << ' ' << r.itemLocation << ' ' << r.itemLength << '\n';
    out << c.folderCount() << ' ' << c.fileCount() << '\n';
    return out.str();
}

} // namespace

// Stopped before the block scan, a third of the way and two thirds: the
// file holds what the stopped scan found, and the scan that goes on from it
// ends with the catalog and live leaves of one whole scan, having read again
// only the tree blocks behind the stopping point.
TEST(SavedScan, AStoppedScanSavedAndGoneOnWithEqualsAWholeScan) {
    for (const char* name : {"deleted.img", "carve.img"}) {
        DORVAK_SKIP_WITHOUT_IMAGE(name);
        SCOPED_TRACE(name);
        const std::string image = testImage(name).string();
        const auto whole = scanImage(image);
        ASSERT_FALSE(whole->result.stopped);
        for (const unsigned at : {0u, 33u, 66u}) {
            SCOPED_TRACE(at);
            const auto stopped = scanImage(image, at);
            ASSERT_TRUE(stopped->result.stopped);
            const std::vector<std::uint8_t> file =
                encodeSavedScan(stopped->saved, stopped->catalog);
            SavedScan back;
            Catalog shown;
            std::string error;
            ASSERT_TRUE(decodeSavedScan(file, back, shown, error)) << error;
            EXPECT_TRUE(back.stopped);
            EXPECT_EQ(back.identity, whole->saved.identity);
            EXPECT_EQ(dump(shown), dump(stopped->catalog));

            const auto resumed = scanImage(image, 101, &back.position);
            EXPECT_FALSE(resumed->result.stopped);
            EXPECT_EQ(dump(resumed->catalog), dump(whole->catalog));
            EXPECT_EQ(resumed->saved.liveLeaves, whole->saved.liveLeaves);
            EXPECT_EQ(resumed->saved.position.treeBlocks, whole->saved.position.treeBlocks);
            if (at > 0) {
                EXPECT_GE(back.position.nextBlock, whole->saved.position.nextBlock * at / 100);
                EXPECT_LT(resumed->reader.stats().bytes, whole->reader.stats().bytes);
            }
        }
    }
}

// Cut short, altered, of another format version, or with records that do not
// add up under a sound hash: each refused with its reason, nothing loaded.
TEST(SavedScan, DamagedFilesAreRefusedAndLoadNothing) {
    DORVAK_SKIP_WITHOUT_IMAGE("deleted.img");
    const auto s = scanImage(testImage("deleted.img").string());
    const std::vector<std::uint8_t> good = encodeSavedScan(s->saved, s->catalog);
    const Bytes payload = Bytes(good).subspan(kSavedScanHeaderBytes);
    auto withCount = [&](std::size_t at, std::uint8_t value) {
        std::vector<std::uint8_t> p(payload.begin(), payload.end());
        p[at] = value;
        return frameSavedScan(s->saved, p);
    };
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> cases;
    for (const std::size_t n : {std::size_t(0), std::size_t(7), std::size_t(79), std::size_t(80),
                                good.size() / 2, good.size() - 1})
        cases.emplace_back("cut to " + std::to_string(n),
                           std::vector<std::uint8_t>(good.begin(), good.begin() + long(n)));
    auto flipped = good;
    flipped[good.size() / 2] ^= 0x10;
    cases.emplace_back("a byte altered", flipped);
    auto version = good;
    version[8] = 9;
    cases.emplace_back("version 9", version);
    auto longer = good;
    longer.push_back(0);
    cases.emplace_back("a byte added", longer);
    // After five 8-byte counts, the length of the names' run and the names;
    // then the folder count and the folders (17 bytes each, the flag last).
    const std::size_t folderCount = 48 + std::size_t(le64(payload, 40));
    ASSERT_LT(folderCount + 4 + 17, payload.size());
    // Each made wrong, the hash redone.
    cases.emplace_back("names past the file", withCount(40 + 7, 0x7F));
    cases.emplace_back("folder count past the file", withCount(folderCount + 3, 0x7F));
    // The first folder's name made longer than the records leave room for.
    cases.emplace_back("name length", withCount(48, 0xFF));
    cases.emplace_back("a flag of 2", withCount(folderCount + 4 + 16, 2));
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        SavedScan back;
        Catalog catalog;
        std::string error;
        EXPECT_FALSE(decodeSavedScan(bytes, back, catalog, error));
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(catalog.FolderList().empty() && catalog.FileList().empty());
    }
    SavedScan back;
    Catalog catalog;
    std::string error;
    ASSERT_TRUE(decodeSavedScan(good, back, catalog, error)) << error;
    EXPECT_EQ(dump(catalog), dump(s->catalog));
    decodeSavedScan(version, back, catalog, error);
    EXPECT_NE(error.find("version 9"), std::string::npos) << error;
}
