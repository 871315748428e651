// The reader against volumes the kernel wrote: every folder and regular file
// of each manifest must be listed at its path with its size, time and key.
#include "common/mount_helpers.h"
#include "reiserfs/mount.h"
#include "reiserfs/structures.h"
#include "volume/partition_search.h"
#include "volume/partition_walk.h"

#include "manifest.h"
#include "test_images.h"

#include <algorithm>
#include <deque>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <tuple>

using namespace dorvak;
using namespace dorvak::test;

namespace {

struct Listed {
    const CatalogEntry* entry;
    bool folder;
};

struct MountedImage {
    std::unique_ptr<Mounted> m;
    // Reachable entries by "/path" (several for Extensive versions).
    std::multimap<std::string, Listed> byPath;

    MountedImage(const std::string& image, std::uint32_t volume, RecoveryMode mode)
        : m(mountImage(testImage(image), volume, mode)) {
        for (const auto& f : m->catalog.FolderList())
            add(f, true);
        for (const auto& f : m->catalog.FileList())
            add(f, false);
    }
    void add(const CatalogEntry& e, bool folder) {
        std::string parent;
        if (!m->catalog.folderPath(e.parentId, parent)) return;
        const std::string path = parent + "/" + e.name;
        if (path.rfind("/.reiserfs_priv", 0) == 0) return;
        byPath.emplace(path, Listed{&e, folder});
    }
};

struct Volume {
    const char* image;
    std::uint32_t index;
    const char* manifest;
};

void PrintTo(const Volume& v, std::ostream* os) {
    *os << v.image << " volume " << v.index;
}

const Volume kVolumes[] = {
    {"v4096.img", 0, "v4096.manifest.jsonl"},
    {"v1024.img", 0, "v1024.manifest.jsonl"},
    {"v512.img", 0, "v512.manifest.jsonl"},
    {"v35.img", 0, "v35.manifest.jsonl"},
    {"moved.img", 0, "moved.manifest.jsonl"},
    {"deleted.img", 0, "deleted.manifest.jsonl"},
    {"part-disk.img", 0, "part-disk.p2.manifest.jsonl"},
    {"part-disk.img", 1, "part-disk.p5.manifest.jsonl"},
    {"part-disk.img", 2, "part-disk.p6.manifest.jsonl"},
    // The same volume found through a GPT of 4096-byte sectors.
    {"part-gpt4k.img", 2, "part-disk.p6.manifest.jsonl"},
};

std::string describe(const testing::TestParamInfo<Volume>& info) {
    std::string name = std::string(info.param.manifest);
    name = name.substr(0, name.find(".manifest"));
    // A volume read through another disk's table: that disk's name first.
    const std::string image = std::string(info.param.image);
    const std::string disk = image.substr(0, image.find(".img"));
    if (name.rfind(disk, 0) != 0) name = disk + "_" + name;
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

FileType typeOf(const std::string& kind) {
    if (kind == "dir") return FileType::Directory;
    if (kind == "file") return FileType::Regular;
    if (kind == "symlink") return FileType::Symlink;
    if (kind == "fifo" || kind == "chr" || kind == "blk" || kind == "sock")
        return FileType::Special;
    return FileType::Other;
}

bool listable(const ManifestEntry& m) {
    return typeOf(m.kind) != FileType::Other;
}

class KernelImage : public testing::TestWithParam<Volume> {};

} // namespace

TEST_P(KernelImage, NormalMountListsExactlyTheManifest) {
    DORVAK_SKIP_WITHOUT_IMAGE(GetParam().image);
    MountedImage m(GetParam().image, GetParam().index, RecoveryMode::Normal);
    const auto manifest = readManifest(testImage(GetParam().manifest));
    std::size_t expected = 0;
    for (const auto& want : manifest) {
        if (!listable(want)) continue;
        auto [first, last] = m.byPath.equal_range(want.path);
        ++expected; // every name of a file with several links too
        ASSERT_EQ(std::distance(first, last), 1) << want.path;
        const CatalogEntry& got = *first->second.entry;
        EXPECT_EQ(first->second.folder, want.kind == "dir") << want.path;
        if (!first->second.folder) {
            EXPECT_EQ(got.fileType, typeOf(want.kind)) << want.path;
        }
        EXPECT_EQ(got.objectId, want.inode) << want.path;
        // The key's directory id is not checked: the kernel may pack a new
        // object under its grandparent's id, which no user-space call shows.
        EXPECT_EQ(got.parentId, want.parentInode) << want.path;
        EXPECT_EQ(std::int64_t(got.modifiedTime), want.mtime) << want.path;
        if (want.kind == "file" || want.kind == "symlink") {
            EXPECT_EQ(got.size, want.size) << want.path;
        }
        EXPECT_FALSE(got.deleted) << want.path;
    }
    EXPECT_EQ(m.byPath.size(), expected); // nothing else
    EXPECT_FALSE(m.m->result.stopped);
}

TEST_P(KernelImage, ExtensiveMountListsEveryLiveEntryUnmarked) {
    DORVAK_SKIP_WITHOUT_IMAGE(GetParam().image);
    MountedImage m(GetParam().image, GetParam().index, RecoveryMode::Extensive);
    for (const auto& want : readManifest(testImage(GetParam().manifest))) {
        if (!listable(want)) continue;
        auto [first, last] = m.byPath.equal_range(want.path);
        bool live = false;
        for (auto it = first; it != last; ++it) {
            const CatalogEntry& got = *it->second.entry;
            if (got.deleted) continue;
            live = true;
            EXPECT_EQ(got.objectId, want.inode) << want.path;
            if (want.kind == "file") {
                EXPECT_EQ(got.size, want.size) << want.path;
            }
            EXPECT_EQ(std::int64_t(got.modifiedTime), want.mtime) << want.path;
        }
        EXPECT_TRUE(live) << want.path << " is not listed as a live entry";
    }
}

INSTANTIATE_TEST_SUITE_P(Volumes, KernelImage, testing::ValuesIn(kVolumes), describe);

TEST(KernelImages, ExtensiveBringsBackDeletedFilesAndOlderVersions) {
    DORVAK_SKIP_WITHOUT_IMAGE("deleted.img");
    MountedImage m("deleted.img", 0, RecoveryMode::Extensive);
    const auto history = readManifest(testImage("deleted.history.jsonl"));
    int checked = 0;
    for (const auto& old : history) {
        if (old.kind != "file") continue;
        auto [first, last] = m.byPath.equal_range(old.path);
        bool found = false;
        for (auto it = first; it != last; ++it) {
            const CatalogEntry& got = *it->second.entry;
            if (got.size == old.size && got.objectId == old.inode) {
                found = true;
                EXPECT_TRUE(got.deleted) << old.path;
            }
        }
        EXPECT_TRUE(found) << old.event << " " << old.path << " of " << old.size << " bytes";
        ++checked;
    }
    EXPECT_GE(checked, 4);
}

namespace {

// The reference order: a breadth-first walk reading one node at a time,
// leaves handed over as their parent is met, children in pointer order; for
// Extensive, then every other leaf of the volume in block order, marked
// deleted. The mount reads in disk order and must come to the same catalog.
void referenceMount(SectorReader& reader, const VolumeInfo& v, Catalog& c, RecoveryMode mode) {
    c.ClearCatalog();
    c.recoveryMode = mode;
    std::atomic<bool> stop{false};
    VolumeMount mount(reader, v, c, stop);
    const std::size_t bs = v.blockSize();
    const std::uint64_t blocks = v.sectorCount / v.sectorsPerBlock;
    auto read = [&](std::uint64_t block) {
        std::vector<std::uint8_t> b(bs);
        reader.ReadSectors(v.blockSector(block), v.sectorsPerBlock, b.data());
        return b;
    };
    std::set<std::uint64_t> live{v.rootBlock};
    std::deque<std::uint64_t> queue{v.rootBlock};
    while (!queue.empty()) {
        const auto node = read(queue.front());
        queue.pop_front();
        auto head = ReadBlockHead(node);
        if (head->level == 1) mount.ProcessLeaf(v.blockSector(v.rootBlock), node, true);
        for (std::uint32_t i = 0; head->level > 1 && i <= head->itemCount; ++i) {
            const std::uint64_t child = *ChildBlock(node, i);
            if (child >= blocks || !live.insert(child).second) continue;
            const auto b = read(child);
            if (ReadBlockHead(b)->level == 1)
                mount.ProcessLeaf(v.blockSector(child), b, true);
            else
                queue.push_back(child);
        }
    }
    if (mode == RecoveryMode::Extensive) {
        const std::size_t folders = c.FolderList().size(), files = c.FileList().size();
        for (std::uint64_t block = 0; block < blocks; ++block) {
            const auto b = read(block);
            auto head = ReadBlockHead(b);
            if (!live.count(block) && looksLikeLeaf(*head, bs))
                mount.ProcessLeaf(v.blockSector(block), b, false);
        }
        c.releasePending();
        c.markDeletedFrom(folders, files);
    }
    c.FindLostFolders(stop);
    c.BuildFolderTree(kRootObjectId);
}

using Row = std::tuple<std::string, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                       std::uint64_t, std::uint32_t, int, bool, std::uint32_t, std::uint32_t>;
template <class List> std::vector<Row> rows(const List& list, bool inOrder) {
    std::vector<Row> out;
    for (const auto& e : list)
        out.emplace_back(e.name, e.parentId, e.objectId, e.modifiedTime, e.keyDirId, e.size,
                         e.auxValue, int(e.fileType), e.deleted, inOrder ? e.fileNumber : 0,
                         inOrder ? e.treeItem : 0);
    if (!inOrder) std::sort(out.begin(), out.end());
    return out;
}
std::vector<std::tuple<std::uint64_t, std::uint64_t, std::uint32_t, std::uint32_t, std::uint16_t,
                       std::uint16_t>>
refs(const BlockList<DataItemRef>& list, bool inOrder) {
    std::vector<std::tuple<std::uint64_t, std::uint64_t, std::uint32_t, std::uint32_t,
                           std::uint16_t, std::uint16_t>>
        out;
    for (const auto& r : list)
        out.emplace_back(r.leafSector, r.keyOffset, r.objectId, r.dirId, r.itemLocation,
                         r.itemLength);
    if (!inOrder) std::sort(out.begin(), out.end());
    return out;
}

class DiskOrder : public testing::TestWithParam<Volume> {};

} // namespace

// Normal: the same catalog in the same order; Extensive: the same entries,
// marks and items (the order of what the block scan adds may follow the scan).
TEST_P(DiskOrder, MountEqualsTheTreeOrderWalk) {
    DORVAK_SKIP_WITHOUT_IMAGE(GetParam().image);
    for (RecoveryMode mode : {RecoveryMode::Normal, RecoveryMode::Extensive}) {
        SCOPED_TRACE(mode == RecoveryMode::Normal ? "Normal" : "Extensive");
        MountedImage m(GetParam().image, GetParam().index, mode);
        Catalog want;
        referenceMount(m.m->reader, m.m->volume, want, mode);
        const bool inOrder = mode == RecoveryMode::Normal;
        EXPECT_EQ(rows(m.m->catalog.FolderList(), inOrder), rows(want.FolderList(), inOrder));
        EXPECT_EQ(rows(m.m->catalog.FileList(), inOrder), rows(want.FileList(), inOrder));
        EXPECT_EQ(refs(m.m->catalog.DirectItems(), inOrder), refs(want.DirectItems(), inOrder));
        EXPECT_EQ(refs(m.m->catalog.IndirectItems(), inOrder), refs(want.IndirectItems(), inOrder));
        EXPECT_GT(m.m->catalog.FileList().size(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Volumes, DiskOrder, testing::ValuesIn(kVolumes), describe);

// The MBR disk, and the same volumes at the same bytes under a GPT of 512-
// and of 4096-byte sectors (written by util-linux), walk to the same table.
TEST(KernelImages, PartitionWalkFindsTheLayoutsVolumesAndNotTheJunk) {
    struct Disk {
        const char* name;
        PartitionWalkResult::Table table;
        std::uint32_t sectorSize;
    };
    for (const Disk disk : {Disk{"part-disk", PartitionWalkResult::Table::Mbr, 512},
                            Disk{"part-gpt", PartitionWalkResult::Table::Gpt, 512},
                            Disk{"part-gpt4k", PartitionWalkResult::Table::Gpt, 4096}}) {
        SCOPED_TRACE(disk.name);
        const std::string image = std::string(disk.name) + ".img";
        DORVAK_SKIP_WITHOUT_IMAGE(image);
        const DiskLayout layout =
            readDiskLayout(testImage(std::string(disk.name) + ".layout.json"));
        SectorReader reader;
        ASSERT_TRUE(reader.OpenSelectedDisk(testImage(image).string()));
        VolumeTable table;
        const PartitionWalkResult walked = WalkPartitionTables(reader, table);
        EXPECT_EQ(walked.table, disk.table);
        EXPECT_EQ(walked.sectorSize, disk.sectorSize);
        EXPECT_EQ(walked.note, "");
        ASSERT_EQ(table.volumeCount, layout.volumes.size());
        for (std::size_t i = 0; i < layout.volumes.size(); ++i) {
            const auto& want = layout.volumes[i];
            const auto& got = table.records[i];
            EXPECT_EQ(got.name, "ReiserFS - " + std::to_string(i));
            EXPECT_EQ(got.startSector, want.startSector);
            EXPECT_EQ(got.sectorCount, want.sectorCount);
            EXPECT_EQ(got.blockSize(), want.blockSize);
            EXPECT_EQ(got.rootBlock, want.rootBlock);
            EXPECT_EQ(got.typeGuid.empty(), disk.table == PartitionWalkResult::Table::Mbr);
        }
    }
}

TEST(KernelImages, SearchOfTheWholeDiskFindsExactlyTheRealVolumes) {
    DORVAK_SKIP_WITHOUT_IMAGE("part-disk.img");
    const DiskLayout layout = readDiskLayout(testImage("part-disk.layout.json"));
    SectorReader reader;
    ASSERT_TRUE(reader.OpenSelectedDisk(testImage("part-disk.img").string()));
    VolumeTable table;
    std::atomic<bool> stop{false};
    // The journals hold copies of each superblock; only the real ones may pass.
    SearchPartitions(reader, table, {0, reader.totalSectors(), 60}, stop, nullProgress());
    ASSERT_EQ(table.volumeCount, layout.volumes.size());
    for (std::size_t i = 0; i < layout.volumes.size(); ++i) {
        EXPECT_EQ(table.records[i].startSector, layout.volumes[i].startSector);
        EXPECT_EQ(table.records[i].rootBlock, layout.volumes[i].rootBlock);
        EXPECT_LE(table.records[i].sectorCount, layout.volumes[i].sectorCount);
    }
}
