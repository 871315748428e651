#pragma once
// Builds disks and ReiserFS volumes byte by byte for tests: partition
// tables, superblocks, internal nodes and leaves with stat data, directory,
// direct and indirect items, in either key format. What the kernel cannot
// make (8192-byte blocks, loops, damaged heads) is made here.

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace dorvak::test {

class DiskImage {
public:
    explicit DiskImage(std::size_t bytes) : data(bytes, 0) {}
    std::vector<std::uint8_t> data;

    void put8(std::size_t at, std::uint8_t v) { data.at(at) = v; }
    void put16(std::size_t at, std::uint16_t v) {
        for (int i = 0; i < 2; ++i)
            data.at(at + i) = std::uint8_t(v >> (8 * i));
    }
    void put32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            data.at(at + i) = std::uint8_t(v >> (8 * i));
    }
    void put64(std::size_t at, std::uint64_t v) {
        for (int i = 0; i < 8; ++i)
            data.at(at + i) = std::uint8_t(v >> (8 * i));
    }
    void putBytes(std::size_t at, const std::vector<std::uint8_t>& bytes) {
        if (at + bytes.size() > data.size()) throw std::out_of_range("putBytes");
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

inline void writeSuperblock(DiskImage& img, std::uint64_t volumeStart, std::uint32_t blockSize,
                            std::uint32_t blockCount, std::uint32_t rootBlock,
                            std::uint16_t treeHeight, const char* magic = "ReIsEr2Fs") {
    const std::size_t at = volumeStart * 512 + 65536;
    img.put32(at + 0, blockCount);
    img.put32(at + 8, rootBlock);
    img.put16(at + 44, std::uint16_t(blockSize));
    std::memcpy(img.data.data() + at + 52, magic, std::strlen(magic));
    img.put16(at + 68, treeHeight);
}

struct DirName {
    std::uint32_t dirId;
    std::uint32_t objectId;
    std::string name;
};

// One leaf node. Items are laid out as the kernel does: heads from offset 24,
// bodies packed from the end of the block in item order.
class LeafBuilder {
public:
    explicit LeafBuilder(std::size_t blockSize) : blockSize_(blockSize) {}

    struct Item {
        std::uint32_t dirId, objectId;
        std::uint64_t offset;
        std::uint32_t type; // 3.6 type code: 0 stat, 1 indirect, 2 direct, 3 dir
        std::uint16_t entryCount = 0;
        std::uint16_t keyFormat = 1;
        std::vector<std::uint8_t> body;
    };
    std::vector<Item> items;

    LeafBuilder& statData(std::uint32_t dirId, std::uint32_t objectId, std::uint16_t mode,
                          std::uint64_t size, std::uint32_t mtime, bool newLayout = true,
                          std::uint16_t keyFormat = 1) {
        std::vector<std::uint8_t> b(newLayout ? 44 : 32, 0);
        auto p16 = [&](std::size_t o, std::uint16_t v) {
            b[o] = v & 0xFF;
            b[o + 1] = v >> 8;
        };
        auto p32 = [&](std::size_t o, std::uint32_t v) {
            for (int i = 0; i < 4; ++i)
                b[o + i] = std::uint8_t(v >> (8 * i));
        };
        p16(0, mode);
        if (newLayout) {
            p32(8, std::uint32_t(size));
            p32(12, std::uint32_t(size >> 32));
            p32(28, mtime);
            p32(36, std::uint32_t((size + 511) / 512));
        } else {
            p32(8, std::uint32_t(size));
            p32(16, mtime);
            p32(28, 0xFFFFFFFF);
        }
        items.push_back({dirId, objectId, 0, 0, 0, keyFormat, std::move(b)});
        return *this;
    }
    // Sets the link count of the last stat data added.
    LeafBuilder& links(std::uint32_t count) {
        auto& b = items.back().body;
        if (b.size() == 44) {
            for (int i = 0; i < 4; ++i)
                b[4 + i] = std::uint8_t(count >> (8 * i));
        } else {
            b[2] = std::uint8_t(count);
            b[3] = std::uint8_t(count >> 8);
        }
        return *this;
    }
    LeafBuilder& file(std::uint32_t dirId, std::uint32_t objectId, std::uint64_t size,
                      std::uint32_t mtime = 1000) {
        return statData(dirId, objectId, 0x81A4, size, mtime);
    }
    LeafBuilder& folder(std::uint32_t dirId, std::uint32_t objectId, std::uint32_t mtime = 1000) {
        return statData(dirId, objectId, 0x41ED, 48, mtime);
    }
    // A directory item listing `names` (no "." and ".." unless given).
    LeafBuilder& directory(std::uint32_t dirId, std::uint32_t objectId,
                           const std::vector<DirName>& names, std::uint16_t keyFormat = 1) {
        std::size_t namesBytes = 0;
        for (const auto& n : names)
            namesBytes += n.name.size();
        std::vector<std::uint8_t> b(16 * names.size() + namesBytes, 0);
        std::size_t end = b.size();
        for (std::size_t j = 0; j < names.size(); ++j) {
            const std::size_t loc = end - names[j].name.size();
            std::memcpy(b.data() + loc, names[j].name.data(), names[j].name.size());
            auto p32 = [&](std::size_t o, std::uint32_t v) {
                for (int i = 0; i < 4; ++i)
                    b[o + i] = std::uint8_t(v >> (8 * i));
            };
            p32(16 * j + 0, std::uint32_t(j + 1) << 7);
            p32(16 * j + 4, names[j].dirId);
            p32(16 * j + 8, names[j].objectId);
            b[16 * j + 12] = std::uint8_t(loc);
            b[16 * j + 13] = std::uint8_t(loc >> 8);
            end = loc;
        }
        items.push_back(
            {dirId, objectId, 1, 3, std::uint16_t(names.size()), keyFormat, std::move(b)});
        return *this;
    }
    LeafBuilder& direct(std::uint32_t dirId, std::uint32_t objectId, std::uint64_t offset,
                        const std::string& bytes) {
        items.push_back({dirId, objectId, offset, 2, 0xFFFF, 1,
                         std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
        return *this;
    }
    LeafBuilder& indirect(std::uint32_t dirId, std::uint32_t objectId, std::uint64_t offset,
                          const std::vector<std::uint32_t>& blocks) {
        std::vector<std::uint8_t> b(4 * blocks.size());
        for (std::size_t i = 0; i < blocks.size(); ++i)
            for (int k = 0; k < 4; ++k)
                b[4 * i + k] = std::uint8_t(blocks[i] >> (8 * k));
        items.push_back({dirId, objectId, offset, 1, 0, 1, std::move(b)});
        return *this;
    }

    std::vector<std::uint8_t> build() const {
        std::vector<std::uint8_t> block(blockSize_, 0);
        auto p16 = [&](std::size_t o, std::uint16_t v) {
            block.at(o) = v & 0xFF;
            block.at(o + 1) = v >> 8;
        };
        auto p32 = [&](std::size_t o, std::uint32_t v) {
            for (int i = 0; i < 4; ++i)
                block.at(o + i) = std::uint8_t(v >> (8 * i));
        };
        std::size_t end = blockSize_;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const Item& it = items[i];
            const std::size_t head = 24 + 24 * i;
            end -= it.body.size();
            std::memcpy(block.data() + end, it.body.data(), it.body.size());
            p32(head, it.dirId);
            p32(head + 4, it.objectId);
            if (it.keyFormat == 0) {
                static const std::uint32_t v1[] = {0, 0xFFFFFFFEu, 0xFFFFFFFFu, 500};
                p32(head + 8, std::uint32_t(it.offset));
                p32(head + 12, v1[it.type & 3]);
            } else {
                const std::uint64_t v =
                    (it.offset & ((std::uint64_t(1) << 60) - 1)) | (std::uint64_t(it.type) << 60);
                p32(head + 8, std::uint32_t(v));
                p32(head + 12, std::uint32_t(v >> 32));
            }
            p16(head + 16, it.entryCount);
            p16(head + 18, std::uint16_t(it.body.size()));
            p16(head + 20, std::uint16_t(end));
            p16(head + 22, it.keyFormat);
        }
        p16(0, 1);
        p16(2, std::uint16_t(items.size()));
        p16(4, std::uint16_t(end - (24 + 24 * items.size())));
        return block;
    }

private:
    std::size_t blockSize_;
};

// An internal node at `level` pointing at `children` (keys left zero: the
// reader does not read them).
inline std::vector<std::uint8_t> internalNode(std::size_t blockSize, std::uint16_t level,
                                              const std::vector<std::uint32_t>& children) {
    std::vector<std::uint8_t> block(blockSize, 0);
    const std::size_t keys = children.empty() ? 0 : children.size() - 1;
    block[0] = std::uint8_t(level);
    block[2] = std::uint8_t(keys);
    block[3] = std::uint8_t(keys >> 8);
    for (std::size_t i = 0; i < children.size(); ++i) {
        const std::size_t at = 24 + 16 * keys + 8 * i;
        for (int k = 0; k < 4; ++k)
            block.at(at + k) = std::uint8_t(children[i] >> (8 * k));
    }
    return block;
}

// A volume of `blocks` blocks at `startSector` of a disk image: superblock,
// and the caller places nodes with `putBlock`.
class VolumeBuilder {
public:
    VolumeBuilder(DiskImage& img, std::uint64_t startSector, std::uint32_t blockSize,
                  std::uint32_t blocks)
        : img_(img), start_(startSector), blockSize_(blockSize), blocks_(blocks) {}
    void superblock(std::uint32_t rootBlock, std::uint16_t treeHeight) {
        writeSuperblock(img_, start_, blockSize_, blocks_, rootBlock, treeHeight);
    }
    void putBlock(std::uint32_t block, const std::vector<std::uint8_t>& bytes) {
        img_.putBytes(start_ * 512 + std::size_t(block) * blockSize_, bytes);
    }
    std::uint32_t blockSize() const { return blockSize_; }
    // First block after the superblock, free for nodes.
    std::uint32_t firstFreeBlock() const { return 65536 / blockSize_ + 1; }

private:
    DiskImage& img_;
    std::uint64_t start_;
    std::uint32_t blockSize_;
    std::uint32_t blocks_;
};

} // namespace dorvak::test
