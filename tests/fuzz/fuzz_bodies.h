#pragma once
// Bodies of the fuzz targets: arbitrary bytes as a volume (mounted in both
// modes, its files assembled and copied out) and as a disk (partition walk
// and search). They must never crash, hang, read out of bounds or write
// outside the destination, whatever the bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dorvak::fuzz {

// Byte 0 picks the block size, bytes 1-4 the root block; the rest is the
// volume from block 0 on.
// Returns the number of catalog entries and data items the mounts found.
std::size_t mountBytes(const std::uint8_t* data, std::size_t size);
// A small volume in that layout whose tree the mount reads in full: a root
// node over two leaves with every item type, a moved file and an orphan.
std::vector<std::uint8_t> craftedVolume(std::uint32_t blockSize, std::uint8_t selector);

// The bytes as a whole disk.
void discoverBytes(const std::uint8_t* data, std::size_t size);

// The volume of mountBytes, mounted in both modes, then every file's contents
// assembled (into a sink that checks each write lies within the file's size).
// Returns the bytes handed to the sink.
std::uint64_t contentsBytes(const std::uint8_t* data, std::size_t size);

// The volume of mountBytes, mounted in both modes, then Recover All into
// `sandbox`/dest. Aborts when anything appears in `sandbox` beside dest: the
// copy-out must never write outside its destination.
void copyOutBytes(const std::uint8_t* data, std::size_t size, const std::string& sandbox);

// Byte 0 picks the block size (and, with bit 7, a stopped scan); the rest is
// the payload of a saved scan of a 64-block volume, framed with a sound
// header. Decoded, its catalog walked and its files assembled over a disk
// made of the input, and a scan gone on with from its position. Returns 0
// when the file was refused.
std::size_t savedScanBytes(const std::uint8_t* data, std::size_t size);
// A saved scan of craftedVolume in that layout.
std::vector<std::uint8_t> savedScanSeed(std::uint8_t selector);

} // namespace dorvak::fuzz
