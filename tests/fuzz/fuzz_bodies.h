#pragma once
// Bodies of the fuzz targets: arbitrary bytes as a volume (mounted in both
// modes) and as a disk (partition walk and search). They must never crash,
// hang or read out of bounds, whatever the bytes.

#include <cstddef>
#include <cstdint>

namespace dorvak::fuzz {

// Byte 0 picks the block size, bytes 1-4 the root block; the rest is the
// volume from block 0 on.
// Returns the number of catalog entries and data items the mounts found.
std::size_t mountBytes(const std::uint8_t* data, std::size_t size);
// The bytes as a whole disk.
void discoverBytes(const std::uint8_t* data, std::size_t size);

} // namespace dorvak::fuzz
