#pragma once
// Builds disks and ReiserFS volumes byte by byte for tests: partition
// tables, superblocks, internal nodes and leaves with stat data, directory,
// direct and indirect items in either key format, and raw data blocks. What
// the kernel cannot make (8192-byte blocks, loops, damaged heads) is made
// here. Nothing checks that a tree is sorted or consistent: tests build
// damaged and hostile volumes on purpose. A whole small file system from
// folders and files is tree_builder.h.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace dorvak::test {

// Little-endian stores into a byte vector, bounds-checked.
inline void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b.at(at) = std::uint8_t(v);
    b.at(at + 1) = std::uint8_t(v >> 8);
}
inline void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.at(at + i) = std::uint8_t(v >> (8 * i));
}
inline void put64(std::vector<std::uint8_t>& b, std::size_t at, std::uint64_t v) {
    put32(b, at, std::uint32_t(v));
    put32(b, at + 4, std::uint32_t(v >> 32));
}

// A disk (or partition) image: bytes written at absolute offsets.
class DiskImage {
public:
    explicit DiskImage(std::size_t bytes) : data(bytes, 0) {}
    std::vector<std::uint8_t> data;

    void put8(std::size_t at, std::uint8_t v) { data.at(at) = v; }
    void put16(std::size_t at, std::uint16_t v) { test::put16(data, at, v); }
    void put32(std::size_t at, std::uint32_t v) { test::put32(data, at, v); }
    void put64(std::size_t at, std::uint64_t v) { test::put64(data, at, v); }
    void putBytes(std::size_t at, const std::vector<std::uint8_t>& bytes) {
        if (at > data.size() || bytes.size() > data.size() - at)
            throw std::out_of_range("putBytes");
        std::memcpy(data.data() + at, bytes.data(), bytes.size());
    }
};

struct PartEntry {
    std::uint8_t type = 0;
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};

// A partition table (MBR or EBR) in `sector`, entries 0-3, with the 55 AA
// signature unless told otherwise.
inline void writePartitionTable(DiskImage& img, std::uint64_t sector,
                                const std::vector<PartEntry>& entries, bool signature = true) {
    const std::size_t base = sector * 512;
    for (std::size_t i = 0; i < entries.size() && i < 4; ++i) {
        const std::size_t at = base + 446 + 16 * i;
        img.put8(at + 4, entries[i].type);
        img.put32(at + 8, entries[i].first);
        img.put32(at + 12, entries[i].count);
    }
    if (signature) {
        img.put8(base + 510, 0x55);
        img.put8(base + 511, 0xAA);
    }
}

// The superblock of a volume starting at `volumeStart`, 64 KiB in.
inline void writeSuperblock(DiskImage& img, std::uint64_t volumeStart, std::uint32_t blockSize,
                            std::uint32_t blockCount, std::uint32_t rootBlock,
                            std::uint16_t treeHeight, const char* magic = "ReIsEr2Fs") {
    const std::size_t at = volumeStart * 512 + 65536;
    img.put32(at + 0, blockCount);
    img.put32(at + 8, rootBlock);
    img.put16(at + 44, std::uint16_t(blockSize));
    std::vector<std::uint8_t> m(magic, magic + std::strlen(magic));
    img.putBytes(at + 52, m);
    img.put16(at + 68, treeHeight);
}

inline constexpr std::uint16_t kModeDir = 0x41ED;  // directory, 0755
inline constexpr std::uint16_t kModeFile = 0x81A4; // regular file, 0644

enum class ItemKind { Stat, Directory, Direct, Indirect };

// One item of a leaf: its key, its head fields and its body.
struct LeafItem {
    std::uint32_t dirId = 0;
    std::uint32_t objectId = 0;
    std::uint64_t offset = 0; // 1-based byte offset for data items
    ItemKind kind = ItemKind::Stat;
    std::uint16_t keyFormat = 1;  // 0: 3.5 keys, 1: 3.6 keys; others are damage
    std::uint16_t entryCount = 0; // names of a directory item; 0xFFFF for direct items
    std::vector<std::uint8_t> body;
};

// One entry of a directory item: the key of the object it names.
struct DirName {
    std::uint32_t dirId;
    std::uint32_t objectId;
    std::string name;
};

// Stat data: 44 bytes (new layout) or 32 (old). The key format follows the
// layout unless given.
inline LeafItem statItem(std::uint32_t dirId, std::uint32_t objectId, std::uint16_t mode,
                         std::uint64_t size, std::uint32_t mtime, bool newLayout = true,
                         std::optional<std::uint16_t> keyFormat = std::nullopt) {
    LeafItem it{dirId, objectId, 0, ItemKind::Stat, keyFormat.value_or(newLayout ? 1 : 0), 0, {}};
    it.body.assign(newLayout ? 44 : 32, 0);
    put16(it.body, 0, mode);
    if (newLayout) {
        put64(it.body, 8, size);
        put32(it.body, 28, mtime);
        put32(it.body, 36, std::uint32_t((size + 511) / 512)); // blocks
    } else {
        put32(it.body, 8, std::uint32_t(size));
        put32(it.body, 16, mtime);
        put32(it.body, 28, 0xFFFFFFFFu); // first direct byte: none
    }
    return it;
}

// Sets the link count of stat data, in either layout.
inline void setLinkCount(LeafItem& stat, std::uint32_t count) {
    if (stat.body.size() == 44)
        put32(stat.body, 4, count);
    else
        put16(stat.body, 2, std::uint16_t(count));
}

// A directory item listing `names` (no "." and ".." unless given). Names are
// packed from the end of the body, entry 0's last; an empty name still takes
// one byte, so that name positions keep falling strictly.
inline LeafItem dirItem(std::uint32_t dirId, std::uint32_t objectId,
                        const std::vector<DirName>& names, std::uint16_t keyFormat = 1) {
    LeafItem it{dirId, objectId, 1, ItemKind::Directory, keyFormat, std::uint16_t(names.size()),
                {}};
    std::size_t total = 16 * names.size();
    for (const auto& n : names)
        total += std::max<std::size_t>(n.name.size(), 1);
    it.body.assign(total, 0);
    std::size_t end = total;
    for (std::size_t j = 0; j < names.size(); ++j) {
        end -= std::max<std::size_t>(names[j].name.size(), 1);
        std::memcpy(it.body.data() + end, names[j].name.data(), names[j].name.size());
        put32(it.body, 16 * j, std::uint32_t(j + 1) << 7); // hash offset: not read
        put32(it.body, 16 * j + 4, names[j].dirId);
        put32(it.body, 16 * j + 8, names[j].objectId);
        put16(it.body, 16 * j + 12, std::uint16_t(end));
    }
    return it;
}

inline LeafItem directItem(std::uint32_t dirId, std::uint32_t objectId, std::uint64_t offset,
                           const std::vector<std::uint8_t>& bytes, std::uint16_t keyFormat = 1) {
    return {dirId, objectId, offset, ItemKind::Direct, keyFormat, 0xFFFF, bytes};
}

inline LeafItem indirectItem(std::uint32_t dirId, std::uint32_t objectId, std::uint64_t offset,
                             const std::vector<std::uint32_t>& blocks,
                             std::uint16_t keyFormat = 1) {
    LeafItem it{dirId, objectId, offset, ItemKind::Indirect, keyFormat, 0, {}};
    it.body.assign(4 * blocks.size(), 0);
    for (std::size_t i = 0; i < blocks.size(); ++i)
        put32(it.body, 4 * i, blocks[i]);
    return it;
}

// One leaf node. Items are laid out as the kernel does: heads from offset 24,
// bodies packed from the end of the block in item order.
class LeafBuilder {
public:
    explicit LeafBuilder(std::size_t blockSize, std::vector<LeafItem> list = {})
        : items(std::move(list)), blockSize_(blockSize) {}

    std::vector<LeafItem> items;

    LeafBuilder& add(LeafItem item) {
        items.push_back(std::move(item));
        return *this;
    }
    LeafBuilder& statData(std::uint32_t dirId, std::uint32_t objectId, std::uint16_t mode,
                          std::uint64_t size, std::uint32_t mtime, bool newLayout = true,
                          std::optional<std::uint16_t> keyFormat = std::nullopt) {
        return add(statItem(dirId, objectId, mode, size, mtime, newLayout, keyFormat));
    }
    // Sets the link count of the last stat data added.
    LeafBuilder& links(std::uint32_t count) {
        setLinkCount(items.back(), count);
        return *this;
    }
    LeafBuilder& file(std::uint32_t dirId, std::uint32_t objectId, std::uint64_t size,
                      std::uint32_t mtime = 1000) {
        return statData(dirId, objectId, kModeFile, size, mtime);
    }
    LeafBuilder& folder(std::uint32_t dirId, std::uint32_t objectId, std::uint32_t mtime = 1000) {
        return statData(dirId, objectId, kModeDir, 48, mtime);
    }
    LeafBuilder& directory(std::uint32_t dirId, std::uint32_t objectId,
                           const std::vector<DirName>& names, std::uint16_t keyFormat = 1) {
        return add(dirItem(dirId, objectId, names, keyFormat));
    }
    LeafBuilder& direct(std::uint32_t dirId, std::uint32_t objectId, std::uint64_t offset,
                        const std::string& bytes) {
        return add(directItem(dirId, objectId, offset,
                              std::vector<std::uint8_t>(bytes.begin(), bytes.end())));
    }
    LeafBuilder& indirect(std::uint32_t dirId, std::uint32_t objectId, std::uint64_t offset,
                          const std::vector<std::uint32_t>& blocks) {
        return add(indirectItem(dirId, objectId, offset, blocks));
    }

    std::vector<std::uint8_t> build() const {
        std::vector<std::uint8_t> block(blockSize_, 0);
        const std::size_t heads = 24 + 24 * items.size();
        std::size_t end = blockSize_;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const LeafItem& it = items[i];
            if (end < it.body.size() || end - it.body.size() < heads)
                throw std::length_error("leaf too full");
            end -= it.body.size();
            std::memcpy(block.data() + end, it.body.data(), it.body.size());
            const std::size_t h = 24 + 24 * i;
            put32(block, h, it.dirId);
            put32(block, h + 4, it.objectId);
            writeKey(block, h + 8, it);
            put16(block, h + 16, it.entryCount);
            put16(block, h + 18, std::uint16_t(it.body.size()));
            put16(block, h + 20, std::uint16_t(end));
            put16(block, h + 22, it.keyFormat);
        }
        put16(block, 0, 1);
        put16(block, 2, std::uint16_t(items.size()));
        put16(block, 4, std::uint16_t(end - heads));
        return block;
    }

private:
    // Offset and type: 3.5 keys keep them in two u32, 3.6 keys in one u64
    // (60 bits of offset, the type in the top 4). The format is the low 12
    // bits of the version field; flags may sit above them.
    static void writeKey(std::vector<std::uint8_t>& b, std::size_t at, const LeafItem& it) {
        if ((it.keyFormat & 0x0FFF) == 0) {
            static const std::uint32_t codes[] = {0, 500, 0xFFFFFFFFu, 0xFFFFFFFEu};
            put32(b, at, std::uint32_t(it.offset));
            put32(b, at + 4, codes[int(it.kind)]);
        } else {
            static const std::uint64_t codes[] = {0, 3, 2, 1};
            put64(b, at,
                  (it.offset & ((std::uint64_t(1) << 60) - 1)) | (codes[int(it.kind)] << 60));
        }
    }

    std::size_t blockSize_;
};

// An internal node at `level` pointing at `children` (keys left zero: the
// reader does not read them).
inline std::vector<std::uint8_t> internalNode(std::size_t blockSize, std::uint16_t level,
                                              const std::vector<std::uint32_t>& children) {
    std::vector<std::uint8_t> b(blockSize, 0);
    const std::size_t keys = children.empty() ? 0 : children.size() - 1;
    const std::size_t used = 24 + 16 * keys + 8 * children.size();
    if (used > blockSize) throw std::length_error("internal node too full");
    put16(b, 0, level);
    put16(b, 2, std::uint16_t(keys));
    put16(b, 4, std::uint16_t(blockSize - used));
    for (std::size_t i = 0; i < children.size(); ++i) {
        put32(b, 24 + 16 * keys + 8 * i, children[i]);
        put16(b, 24 + 16 * keys + 8 * i + 4, std::uint16_t(blockSize / 2)); // child's used bytes
    }
    return b;
}

// A volume of `blockCount` blocks at sector 0 of its own image. Nodes and data
// go to chosen blocks, or to blocks handed out in turn after the superblock.
class VolumeBuilder {
public:
    // `diskBytes` makes the image longer than the volume: a disk with room
    // after its last partition.
    VolumeBuilder(std::uint32_t blockSize, std::uint32_t blockCount, std::size_t diskBytes = 0)
        : image(std::max(std::size_t(blockSize) * blockCount, diskBytes)), blockSize_(blockSize),
          blockCount_(blockCount), nextFree_(firstFreeBlock()) {}

    DiskImage image;

    std::uint32_t blockSize() const { return blockSize_; }
    std::uint32_t blockCount() const { return blockCount_; }
    std::uint32_t sectorsPerBlock() const { return blockSize_ / 512; }
    // The first block after the superblock, free for nodes.
    std::uint32_t firstFreeBlock() const { return (65536 + 512 + blockSize_ - 1) / blockSize_; }

    // Hands out the next unused block number(s).
    std::uint32_t alloc(std::uint32_t count = 1) {
        const std::uint32_t first = nextFree_;
        nextFree_ += count;
        if (nextFree_ > blockCount_) throw std::out_of_range("volume full");
        return first;
    }

    void superblock(std::uint32_t rootBlock, std::uint16_t treeHeight = 2) {
        writeSuperblock(image, 0, blockSize_, blockCount_, rootBlock, treeHeight);
    }
    void put(std::uint32_t block, const std::vector<std::uint8_t>& bytes) {
        if (block >= blockCount_) throw std::out_of_range("block past the volume");
        image.putBytes(std::size_t(block) * blockSize_, bytes);
    }
    void leaf(std::uint32_t block, const LeafBuilder& leaf) { put(block, leaf.build()); }
    void leaf(std::uint32_t block, std::vector<LeafItem> items) {
        leaf(block, LeafBuilder(blockSize_, std::move(items)));
    }
    void internal(std::uint32_t block, const std::vector<std::uint32_t>& children,
                  std::uint16_t level = 2) {
        put(block, internalNode(blockSize_, level, children));
    }
    // One block of file data: `bytes` from `from` on, at most a block.
    void data(std::uint32_t block, const std::vector<std::uint8_t>& bytes, std::size_t from = 0) {
        const std::size_t n = std::min<std::size_t>(blockSize_, bytes.size() - from);
        put(block, std::vector<std::uint8_t>(bytes.begin() + std::ptrdiff_t(from),
                                             bytes.begin() + std::ptrdiff_t(from + n)));
    }

private:
    std::uint32_t blockSize_;
    std::uint32_t blockCount_;
    std::uint32_t nextFree_;
};

// Bytes of a file that no leaf test mistakes for a node (first u16 not 1).
inline std::vector<std::uint8_t> pattern(std::size_t length, std::uint32_t seed) {
    std::vector<std::uint8_t> out(length);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& c : out) {
        x = x * 1103515245u + 12345u;
        c = std::uint8_t(x >> 16);
    }
    if (!out.empty()) out[0] = 'P';
    return out;
}

} // namespace dorvak::test
