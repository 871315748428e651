#pragma once
// The two ways the tests mount a volume: one built in memory (mountBuilt),
// one in a disk image file (mountImage). Both keep everything the mount
// filled in, with the liveness pass already run, so that a copy-out or a
// look at the catalog can follow.

#include "browse/liveness.h"
#include "common/memory_source.h"
#include "common/volume_builder.h"
#include "reiserfs/mount.h"
#include "volume/partition_walk.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace dorvak::test {

struct Mounted {
    SectorReader reader;
    VolumeInfo volume;
    Catalog catalog;
    MountResult result;
    LiveState live;
    MemorySource* source = nullptr; // the in-memory disk of a built volume

    std::vector<std::string> fileNames() const {
        std::vector<std::string> names;
        for (const auto& f : catalog.FileList())
            names.push_back(f.name.str());
        return names;
    }
    std::vector<std::string> folderNames() const {
        std::vector<std::string> names;
        for (const auto& f : catalog.FolderList())
            names.push_back(f.name.str());
        return names;
    }
};

// What a few tests watch or interrupt during the mount.
struct MountWatch {
    ProgressSink* progress = nullptr;
    std::atomic<bool>* stop = nullptr;
    std::size_t readAheadBytes = 0; // 0: the mount's default
};

namespace detail {
inline void runMount(Mounted& m, RecoveryMode mode, const MountWatch& watch) {
    std::atomic<bool> ownStop{false};
    VolumeMount mount(m.reader, m.volume, m.catalog, watch.stop ? *watch.stop : ownStop,
                      watch.progress ? *watch.progress : nullProgress());
    if (watch.readAheadBytes) mount.setReadAheadBytes(watch.readAheadBytes);
    m.result = mount.MountSelectedVolume(mode);
    m.live = liveStateOf(mount, m.catalog);
}
} // namespace detail

// The builder's volume at sector 0 of an in-memory disk whose `bad` sectors
// cannot be read.
inline std::unique_ptr<Mounted> mountBuilt(const VolumeBuilder& b, std::uint32_t rootBlock,
                                           RecoveryMode mode, std::set<std::uint64_t> bad = {},
                                           MountWatch watch = {}) {
    auto m = std::make_unique<Mounted>();
    auto source = std::make_unique<MemorySource>(b.image.data, std::move(bad));
    m->source = source.get();
    m->reader.openSource(std::move(source));
    m->volume.name = "ReiserFS - 0";
    m->volume.sectorsPerBlock = b.sectorsPerBlock();
    m->volume.rootBlock = rootBlock;
    m->volume.sectorCount = std::uint64_t(b.blockCount()) * b.sectorsPerBlock();
    detail::runMount(*m, mode, watch);
    return m;
}

// Volume `index` of a disk image, in the order the partition walk finds them
// (the program's "ReiserFS - N"). Throws when the image cannot be opened or
// holds fewer volumes.
inline std::unique_ptr<Mounted> mountImage(const std::filesystem::path& image, std::uint32_t index,
                                           RecoveryMode mode) {
    auto m = std::make_unique<Mounted>();
    if (auto opened = m->reader.OpenSelectedDisk(image.string()); !opened)
        throw std::runtime_error(opened.error().text);
    VolumeTable table;
    WalkPartitionTables(m->reader, table);
    if (index >= table.volumeCount)
        throw std::runtime_error("no volume " + std::to_string(index) + " in " + image.string());
    m->volume = table.records[index];
    detail::runMount(*m, mode, {});
    return m;
}

} // namespace dorvak::test
