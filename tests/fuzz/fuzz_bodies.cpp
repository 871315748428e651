#include "fuzz_bodies.h"

#include "browse/name_match.h"
#include "common/memory_source.h"
#include "reiserfs/mount.h"
#include "volume/partition_search.h"
#include "volume/partition_walk.h"

#include <string>

namespace dorvak::fuzz {

std::size_t mountBytes(const std::uint8_t* data, std::size_t size) {
    std::size_t found = 0;
    if (size < 5) return found;
    static const std::uint32_t kSizes[] = {512, 1024, 4096, 8192};
    const std::uint32_t blockSize = kSizes[data[0] & 3];
    const std::uint32_t root = std::uint32_t(data[1]) | std::uint32_t(data[2]) << 8 |
                               std::uint32_t(data[3]) << 16 | std::uint32_t(data[4]) << 24;
    std::vector<std::uint8_t> volume(data + 5, data + size);
    volume.resize((volume.size() + blockSize - 1) / blockSize * blockSize);
    for (auto mode : {RecoveryMode::Normal, RecoveryMode::Extensive}) {
        SectorReader reader;
        reader.openSource(std::make_unique<test::MemorySource>(volume));
        VolumeInfo info;
        info.sectorsPerBlock = blockSize / 512;
        info.sectorCount = volume.size() / 512;
        info.rootBlock = root % 64; // keep most roots inside the volume
        Catalog catalog;
        std::atomic<bool> stop{false};
        VolumeMount(reader, info, catalog, stop).MountSelectedVolume(mode);
        std::string path;
        for (const auto& f : catalog.FolderList)
            catalog.folderPath(f.objectId, path);
        found += catalog.FolderList.size() + catalog.FileList.size() + catalog.DirectItems.size() +
                 catalog.IndirectItems.size();
    }
    return found;
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
