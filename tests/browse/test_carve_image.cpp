// Carving on a kernel-made volume (carve.img): real files of many formats
// written, some deleted, then thousands of small files written over the
// freed leaves, and files written together in small appends, then deleted.
// The guest's history gives each deleted file's SHA-256 and the SHA-256 of
// its prefixes of whole blocks.
// And the versions of files written together (versions.img): small appends,
// each synced, then deleted with nothing written after, so every leaf that
// held a version survives.
#include "browse/file_contents.h"
#include "browse/versions.h"
#include "carve/format_walker.h"
#include "reiserfs/mount.h"
#include "sha256.h"
#include "test_images.h"

#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

using namespace dorvak;
using namespace dorvak::test;

namespace {

constexpr std::uint64_t kBlock = 4096;

struct Deleted {
    std::string path;
    std::uint64_t size = 0;
    std::string sha256;
    std::vector<std::string> prefixes; // of 1, 2, ... whole blocks
};

std::vector<Deleted> readHistory() {
    std::vector<Deleted> out;
    std::ifstream in(testImage("carve.history.jsonl"));
    for (std::string line; std::getline(in, line);) {
        const nlohmann::json v = nlohmann::json::parse(line);
        out.push_back({v.at("path").get<std::string>(), v.at("size").get<std::uint64_t>(),
                       v.at("sha256").get<std::string>(),
                       v.at("prefixSha256").get<std::vector<std::string>>()});
    }
    return out;
}

struct Collected : ContentSink {
    std::vector<std::uint8_t> data;
    bool write(std::uint64_t at, const std::uint8_t* p, std::size_t n) override {
        if (data.size() < at + n) data.resize(at + n);
        std::copy_n(p, n, data.begin() + std::ptrdiff_t(at));
        return true;
    }
    bool proceed(std::uint64_t) override { return true; }
};

struct Image {
    explicit Image(const char* name = "carve.img") {
        reader.OpenSelectedDisk(testImage(name).string());
        volume.sectorsPerBlock = kBlock / 512;
        volume.sectorCount = reader.totalSectors();
    }
    MountResult mount(Catalog& catalog, RecoveryMode mode, bool carve) {
        std::vector<std::uint8_t> super(512);
        reader.ReadSectors(128, 1, super.data());
        volume.rootBlock = le32(super, 8);
        std::atomic<bool> stop{false};
        VolumeMount m(reader, volume, catalog, stop);
        if (carve) m.setWalkers(carve::formatWalkers());
        return m.MountSelectedVolume(mode);
    }
    SectorReader reader;
    VolumeInfo volume;
};

// Every block an indirect item of the live tree names.
std::set<std::uint32_t> liveDataBlocks(Image& image) {
    Catalog live;
    image.mount(live, RecoveryMode::Normal, false);
    std::set<std::uint32_t> blocks;
    std::vector<std::uint8_t> leaf(kBlock);
    for (const DataItemRef& ref : live.IndirectItems()) {
        image.reader.ReadSectors(ref.leafSector, kBlock / 512, leaf.data());
        for (std::size_t at = ref.itemLocation; at + 4 <= ref.itemLocation + ref.itemLength;
             at += 4)
            if (const std::uint32_t b = le32(leaf, at); b != 0) blocks.insert(b);
    }
    return blocks;
}

} // namespace

TEST(CarveImage, CarvedFilesAreDeletedFilesWholeOrCutAtABreakAndHoldNoLiveBlock) {
    DORVAK_SKIP_WITHOUT_IMAGE("carve.img");
    const std::vector<Deleted> history = readHistory();
    Image image;
    const std::set<std::uint32_t> live = liveDataBlocks(image);
    ASSERT_FALSE(live.empty());
    Catalog catalog;
    image.mount(catalog, RecoveryMode::Extensive, true);
    FileContents contents(image.reader, image.volume, catalog, nullptr);
    std::set<std::string> exact;
    std::size_t carved = 0;
    for (const CatalogEntry& f : catalog.FileList()) {
        const CarvedFile* c = catalog.carvedFile(f);
        if (!c) continue;
        ++carved;
        SCOPED_TRACE(f.name.str());
        for (const BlockRun& r : catalog.runsOf(*c))
            for (std::uint32_t b = r.first; b < r.first + r.count; ++b)
                EXPECT_FALSE(live.count(b)) << "block " << b << " of a live file";
        Collected out;
        std::vector<Damage> damage;
        ASSERT_EQ(contents.copy(f, out, damage), ContentResult::Done);
        ASSERT_EQ(out.data.size(), f.size);
        const std::string sha = sha256Hex(out.data.data(), out.data.size());
        const std::string head =
            sha256Hex(out.data.data(), std::size_t(std::min<std::uint64_t>(kBlock, f.size)));
        for (const Deleted& d : history) {
            if (d.sha256 == sha && d.size == f.size) exact.insert(d.path);
            // A carved file that starts like a deleted file is never longer,
            // and one cut short holds its prefix of whole blocks.
            const bool startsLike =
                d.prefixes.empty() ? d.sha256 == sha : f.size >= kBlock && d.prefixes[0] == head;
            if (!startsLike) continue;
            EXPECT_LE(f.size, d.size) << d.path;
            const std::uint64_t whole = f.size / kBlock;
            if (c->damaged && whole > 0 && whole <= d.prefixes.size())
                EXPECT_EQ(sha256Hex(out.data.data(), whole * kBlock), d.prefixes[whole - 1])
                    << d.path;
        }
    }
    EXPECT_GT(carved, 0u);
    // The deleted files of formats with a walker whose blocks all survive
    // come back byte for byte.
    for (const char* path : {"/gone/notes.txt.gz", "/gone/table.csv.bz2", "/gone/log.xz",
                             "/gone/bundle.zip", "/gone/bundle.tar", "/gone/readme.txt"})
        EXPECT_TRUE(exact.count(path)) << path;
}

TEST(CarveImage, WithoutCarvingNothingIsCarved) {
    DORVAK_SKIP_WITHOUT_IMAGE("carve.img");
    Image image;
    Catalog catalog;
    image.mount(catalog, RecoveryMode::Extensive, false);
    EXPECT_EQ(catalog.carvedFileCount(), 0u);
    EXPECT_EQ(catalog.folderIndex(kCarvedFilesFolderId), -1);
}

TEST(VersionsImage, EachPlainNameHoldsTheFinalContentAndPrefixesFold) {
    DORVAK_SKIP_WITHOUT_IMAGE("versions.img");
    std::map<std::string, std::string> finalSha; // name -> SHA-256
    std::ifstream history(testImage("versions.history.jsonl"));
    for (std::string line; std::getline(history, line);) {
        const nlohmann::json v = nlohmann::json::parse(line);
        const std::string path = v.at("path").get<std::string>();
        finalSha[path.substr(path.rfind('/') + 1)] = v.at("sha256").get<std::string>();
    }
    ASSERT_EQ(finalSha.size(), 4u);
    Image image("versions.img");
    Catalog catalog;
    image.mount(catalog, RecoveryMode::Extensive, false);
    FileContents contents(image.reader, image.volume, catalog, nullptr);
    const auto folder =
        std::find_if(catalog.FolderList().begin(), catalog.FolderList().end(),
                     [](const CatalogEntry& f) { return f.name.str() == "together"; });
    ASSERT_NE(folder, catalog.FolderList().end());
    const std::size_t before = catalog.childFiles(folder->objectId).size();
    std::atomic<bool> stop{false};
    const VersionCounts counts = SettleVersions(contents, catalog, true, stop);
    // The copy-out gives a name's first listed version the plain name.
    std::set<std::string> seen;
    for (std::uint32_t i : catalog.childFiles(folder->objectId)) {
        const CatalogEntry& f = catalog.FileList()[i];
        if (!seen.insert(f.name.str()).second) continue;
        SCOPED_TRACE(f.name.str());
        Collected out;
        std::vector<Damage> damage;
        ASSERT_EQ(contents.copy(f, out, damage), ContentResult::Done);
        EXPECT_EQ(sha256Hex(out.data.data(), out.data.size()), finalSha[f.name.str()]);
    }
    EXPECT_EQ(seen.size(), finalSha.size());
    // Every round of appends left a version behind; all but the final ones
    // are prefixes of it.
    EXPECT_GT(counts.folded, 3 * finalSha.size());
    EXPECT_EQ(catalog.childFiles(folder->objectId).size() + counts.folded, before);
}
