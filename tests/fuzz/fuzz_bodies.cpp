#include "fuzz_bodies.h"

#include "browse/copy_out.h"
#include "browse/liveness.h"
#include "browse/name_match.h"
#include "carve/format_walker.h"
#include "common/memory_source.h"
#include "common/volume_builder.h"
#include "reiserfs/mount.h"
#include "reiserfs/saved_scan.h"
#include "volume/partition_search.h"
#include "volume/partition_walk.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace dorvak::fuzz {

namespace {

// One fuzz input as a mounted volume: byte 0 picks the block size, bytes 1-4
// the root block, the rest is the volume from block 0 on.
struct FuzzVolume {
    SectorReader reader;
    VolumeInfo info;
    Catalog catalog;
    std::atomic<bool> stop{false};
    std::optional<VolumeMount> mount;

    FuzzVolume(std::vector<std::uint8_t> volume, std::uint32_t blockSize, std::uint32_t root,
               RecoveryMode mode) {
        info.sectorsPerBlock = blockSize / 512;
        info.sectorCount = volume.size() / 512;
        reader.openSource(std::make_unique<test::MemorySource>(std::move(volume)));
        info.rootBlock = root % 64; // keep most roots inside the volume
        mount.emplace(reader, info, catalog, stop);
        // An Extensive mount carves the blocks nothing claims: hostile bytes
        // reach the format walkers and the continuation search too.
        mount->setWalkers(carve::formatWalkers());
        mount->MountSelectedVolume(mode);
    }
};

template <typename Body> void forEachMount(const std::uint8_t* data, std::size_t size, Body body) {
    if (size < 5) return;
    static const std::uint32_t kSizes[] = {512, 1024, 4096, 8192};
    const std::uint32_t blockSize = kSizes[data[0] & 3];
    const std::uint32_t root = std::uint32_t(data[1]) | std::uint32_t(data[2]) << 8 |
                               std::uint32_t(data[3]) << 16 | std::uint32_t(data[4]) << 24;
    std::vector<std::uint8_t> volume(data + 5, data + size);
    volume.resize((volume.size() + blockSize - 1) / blockSize * blockSize);
    for (auto mode : {RecoveryMode::Normal, RecoveryMode::Extensive}) {
        FuzzVolume v(volume, blockSize, root, mode);
        body(v);
    }
}

// Checks every write against the file's size: contents must never reach past
// what the stat data says, whatever the items claim.
class CheckingSink : public ContentSink {
public:
    explicit CheckingSink(std::uint64_t size) : size_(size) {}
    bool write(std::uint64_t offset, const std::uint8_t* data, std::size_t length) override {
        if (offset > size_ || length > size_ - offset) std::abort();
        volatile std::uint8_t touch = length ? data[0] ^ data[length - 1] : 0;
        (void)touch;
        bytes += length;
        return true;
    }
    bool proceed(std::uint64_t) override { return true; }
    std::uint64_t bytes = 0;

private:
    std::uint64_t size_;
};

} // namespace

// Fuzz input layout: block size selector, root block (u32), then the blocks.
std::vector<std::uint8_t> craftedVolume(std::uint32_t blockSize, std::uint8_t selector) {
    using namespace test;
    LeafBuilder a(blockSize), b(blockSize);
    a.folder(1, 2).directory(1, 2, {{1, 2, "."}, {0, 1, ".."}, {2, 10, "docs"}, {2, 11, "a.txt"}});
    a.folder(2, 10).directory(2, 10,
                              {{2, 10, "."}, {1, 2, ".."}, {10, 12, "b.bin"}, {3, 40, "moved"}});
    b.file(2, 11, 5).direct(2, 11, 1, "hello").file(10, 12, 3 * blockSize);
    b.indirect(10, 12, 1, {5, 0, 6}).folder(50, 60).directory(50, 60, {{60, 61, "orphan"}});
    std::vector<std::uint8_t> seed{selector, 1, 0, 0, 0};
    const auto root = internalNode(blockSize, 2, {2, 3});
    std::vector<std::uint8_t> blank(blockSize, 0);
    seed.insert(seed.end(), blank.begin(), blank.end());
    seed.insert(seed.end(), root.begin(), root.end());
    const auto la = a.build(), lb = b.build();
    seed.insert(seed.end(), la.begin(), la.end());
    seed.insert(seed.end(), lb.begin(), lb.end());
    return seed;
}

std::size_t mountBytes(const std::uint8_t* data, std::size_t size) {
    std::size_t found = 0;
    forEachMount(data, size, [&](FuzzVolume& v) {
        std::string path;
        for (const auto& f : v.catalog.FolderList())
            v.catalog.folderPath(f.objectId, path);
        found += v.catalog.FolderList().size() + v.catalog.FileList().size() +
                 v.catalog.DirectItems().size() + v.catalog.IndirectItems().size();
    });
    return found;
}

std::uint64_t contentsBytes(const std::uint8_t* data, std::size_t size) {
    std::uint64_t handed = 0;
    forEachMount(data, size, [&](FuzzVolume& v) {
        const LiveState live = liveStateOf(*v.mount, v.catalog);
        FileContents contents(v.reader, v.info, v.catalog, &live);
        for (const auto& file : v.catalog.FileList()) {
            CheckingSink sink(file.size);
            std::vector<Damage> damage;
            contents.copy(file, sink, damage);
            for (const auto& d : damage)
                if (d.range.begin > d.range.end || d.range.end > file.size) std::abort();
            handed += sink.bytes;
        }
    });
    return handed;
}

void copyOutBytes(const std::uint8_t* data, std::size_t size, const std::string& sandbox) {
    namespace fs = std::filesystem;
    const fs::path dest = fs::path(sandbox) / "dest";
    forEachMount(data, size, [&](FuzzVolume& v) {
        std::error_code ec;
        fs::remove_all(dest, ec);
        fs::create_directories(dest);
        const LiveState live = liveStateOf(*v.mount, v.catalog);
        RecoverySettings settings;
        CopyRequests requests;
        CopyOut(v.reader, v.info, v.catalog, &live, settings, requests).RecoverAll(dest.string());
        for (const auto& entry : fs::directory_iterator(sandbox))
            if (entry.path().filename() != "dest") std::abort(); // written outside
    });
}

namespace {

// The saved scan of savedScanBytes: a volume of 64 blocks at sector 0.
SavedScan scanHeader(std::uint8_t selector) {
    static const std::uint32_t kSizes[] = {512, 1024, 4096, 8192};
    SavedScan header;
    header.identity.sectorsPerBlock = kSizes[selector & 3] / 512;
    header.identity.sectorCount = 64 * header.identity.sectorsPerBlock;
    header.stopped = (selector & 0x80) != 0;
    return header;
}

} // namespace

std::size_t savedScanBytes(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const SavedScan header = scanHeader(data[0]);
    const Bytes payload(data + 1, size - 1);
    SavedScan scan;
    Catalog catalog;
    std::string error;
    if (!decodeSavedScan(frameSavedScan(header, payload), scan, catalog, error)) {
        if (error.empty() || !catalog.FolderList().empty() || !catalog.FileList().empty())
            std::abort();
        return 0;
    }
    // What list and the copy-out do with it, over a disk made of the input.
    std::string path;
    for (const auto& f : catalog.FolderList()) {
        catalog.folderPath(f.objectId, path);
        for (std::uint32_t i : catalog.childFolders(f.objectId))
            if (i >= catalog.FolderList().size()) std::abort();
        for (std::uint32_t i : catalog.childFiles(f.objectId))
            if (i >= catalog.FileList().size()) std::abort();
    }
    VolumeInfo volume;
    volume.sectorsPerBlock = header.identity.sectorsPerBlock;
    volume.sectorCount = header.identity.sectorCount;
    std::vector<std::uint8_t> disk(volume.sectorCount * 512);
    for (std::size_t i = 0; i < disk.size() && !payload.empty(); ++i)
        disk[i] = payload[i % payload.size()];
    SectorReader reader;
    reader.openSource(std::make_unique<test::MemorySource>(disk));
    LiveState live;
    live.extensive = true;
    live.setLeaves(scan.liveLeaves);
    FileContents contents(reader, volume, catalog, &live);
    for (const auto& file : catalog.FileList()) {
        if (file.size > (1u << 20)) continue; // zeros for a hole of any size take their time
        CheckingSink sink(file.size);
        std::vector<Damage> damage;
        contents.copy(file, sink, damage);
    }
    // A scan that goes on from the file's position.
    Catalog resumed;
    std::atomic<bool> stop{false};
    VolumeMount mount(reader, volume, resumed, stop);
    mount.setResume(&scan.position);
    mount.MountSelectedVolume(RecoveryMode::Extensive);
    return catalog.FolderList().size() + catalog.FileList().size() + 1;
}

std::vector<std::uint8_t> savedScanSeed(std::uint8_t selector) {
    const std::vector<std::uint8_t> seed =
        craftedVolume(scanHeader(selector).identity.sectorsPerBlock * 512, selector);
    FuzzVolume v({seed.begin() + 5, seed.end()},
                 scanHeader(selector).identity.sectorsPerBlock * 512, 1, RecoveryMode::Extensive);
    SavedScan scan = scanHeader(selector);
    scan.liveLeaves = v.mount->liveLeaves();
    scan.position = v.mount->scanPosition();
    const std::vector<std::uint8_t> file = encodeSavedScan(scan, v.catalog);
    std::vector<std::uint8_t> out{selector};
    out.insert(out.end(), file.begin() + kSavedScanHeaderBytes, file.end());
    return out;
}

void discoverBytes(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> disk(data, data + size);
    disk.resize((disk.size() + 511) / 512 * 512);
    SectorReader reader;
    reader.openSource(std::make_unique<test::MemorySource>(disk));
    VolumeTable table;
    WalkPartitionTables(reader, table);
    std::atomic<bool> stop{false};
    SearchPartitions(reader, table, {0, disk.size() / 512, 7}, stop, nullProgress());
    if (size > 2) {
        const std::size_t half = size / 2;
        NameMatches(std::string_view(reinterpret_cast<const char*>(data), half),
                    std::string_view(reinterpret_cast<const char*>(data) + half, size - half));
    }
}

} // namespace dorvak::fuzz
