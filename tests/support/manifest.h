#pragma once
// Readers for what the image generator writes beside each image:
// NAME.manifest.jsonl (one object per line, every object on the volume),
// NAME.history.jsonl (older versions of deleted and rewritten files, same
// fields plus "event") and the disk layouts NAME.layout.json.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace dorvak::test {

struct ManifestEntry {
    std::string path;              // raw bytes, "/" separated, "/name" for the root's children
    std::string kind;              // dir, file, symlink, fifo, chr, blk, sock
    std::uint64_t size = 0;        // st_size
    std::int64_t mtime = 0;        // seconds since 1970
    std::uint32_t inode = 0;       // object id of the key
    std::uint32_t dirId = 0;       // directory id of the key: the folder the object was created in
    std::uint32_t parentInode = 0; // the folder that holds it now (2 for the root)
    std::uint32_t nlink = 0;
    std::string sha256; // lower-case hex for regular files, empty otherwise
    std::string event;  // history files only: "deleted" or "rewritten"

    std::string name() const;       // last path component
    std::string parentPath() const; // "" for the root's children
};

// Throws std::runtime_error (naming the file and line) on unreadable input.
std::vector<ManifestEntry> readManifest(const std::filesystem::path& file);

struct LayoutVolume {
    unsigned partition = 0; // partition number as Linux counts (5 = first logical)
    std::uint64_t startSector = 0;
    std::uint64_t sectorCount = 0;
    std::uint32_t blockSize = 0;
    std::uint32_t rootBlock = 0;
    std::string format;   // "3.5" or "3.6"
    std::string manifest; // file name beside the layout
};

struct DiskLayout {
    std::uint64_t diskSectors = 0;
    // The partition that holds no file system, if the disk has one.
    std::optional<LayoutVolume> junk;
    // ReiserFS volumes in discovery order: primary entries, then the logical chain.
    std::vector<LayoutVolume> volumes;
};

DiskLayout readDiskLayout(const std::filesystem::path& file);

} // namespace dorvak::test
