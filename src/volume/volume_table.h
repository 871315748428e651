#pragma once
// The table of ReiserFS volumes found on the open disk, filled by the
// partition table walk or by the partition search, and read by the mount.

#include <array>
#include <cstdint>
#include <string>

namespace dorvak {

struct VolumeInfo {
    std::string name;              // "ReiserFS - " + table index
    std::uint64_t sectorCount = 0; // volume size in sectors
    std::uint64_t startSector = 0; // absolute first sector on the disk
    std::uint32_t sectorsPerBlock = 0;
    std::uint32_t rootBlock = 0;
    std::intptr_t treeItem = 0; // the front end's item for this volume

    std::uint32_t blockSize() const { return sectorsPerBlock * 512; }
    // First sector of block n.
    std::uint64_t blockSector(std::uint64_t block) const {
        return startSector + block * sectorsPerBlock;
    }
};

class VolumeTable {
public:
    static constexpr std::uint32_t kCapacity = 100;
    std::array<VolumeInfo, kCapacity> records{};
    std::uint32_t volumeCount = 0;
    std::uint16_t selectedVolume = 0;

    bool full() const { return volumeCount >= kCapacity; }
    // Appends a volume, naming it by its index; false when the table is full.
    bool add(VolumeInfo info);
    const VolumeInfo* selected() const {
        return selectedVolume < volumeCount ? &records[selectedVolume] : nullptr;
    }
};

std::string volumeName(std::uint32_t index);

} // namespace dorvak
