#pragma once
// The table of ReiserFS volumes found on the open disk, filled by the
// partition table walk or by the partition search, and read by the mount.

#include "disk/volume_info.h"

#include <array>
#include <cstdint>
#include <string>

namespace dorvak {

class VolumeTable {
public:
    static constexpr std::uint32_t kCapacity = 100;
    std::array<VolumeInfo, kCapacity> records{};
    std::uint32_t volumeCount = 0;

    bool full() const { return volumeCount >= kCapacity; }
    // Appends a volume, naming it by its index; false when the table is full.
    bool add(VolumeInfo info);
};

std::string volumeName(std::uint32_t index);

} // namespace dorvak
