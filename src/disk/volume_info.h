#pragma once
// Where one ReiserFS volume lies on the open disk. The partition walk and the
// partition search fill these; the mount and the copy-out read through them.
// It sits with the disk access because every layer above needs it.

#include <cstdint>
#include <string>

namespace dorvak {

struct VolumeInfo {
    std::string name;              // "ReiserFS - " + table index
    std::uint64_t sectorCount = 0; // volume size in sectors
    std::uint64_t startSector = 0; // absolute first sector on the disk
    std::uint32_t sectorsPerBlock = 0;
    std::uint32_t rootBlock = 0;
    // Only for a volume found through a GPT entry: the entry's name (UTF-8)
    // and partition type GUID as text; empty otherwise.
    std::string partitionName;
    std::string typeGuid;

    std::uint32_t blockSize() const { return sectorsPerBlock * 512; }
    // First sector of block n.
    std::uint64_t blockSector(std::uint64_t block) const {
        return startSector + block * sectorsPerBlock;
    }
};

} // namespace dorvak
