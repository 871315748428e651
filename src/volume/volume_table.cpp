#include "volume/volume_table.h"

namespace dorvak {

std::string volumeName(std::uint32_t index) {
    return "ReiserFS - " + std::to_string(index);
}

bool VolumeTable::add(VolumeInfo info) {
    if (full()) return false;
    info.name = volumeName(volumeCount);
    records[volumeCount++] = std::move(info);
    return true;
}

} // namespace dorvak
