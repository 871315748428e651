#pragma once
// Builds small ReiserFS volumes in memory for tests: a superblock at 64 KiB,
// internal nodes, leaves packed with stat data, directory, direct and
// indirect items in either key format, and raw data blocks. Nothing checks
// that the tree is sorted or consistent: tests build damaged and hostile
// volumes on purpose.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace dorvak::test {

enum class ItemKind { Stat, Directory, Direct, Indirect };

struct BuiltItem {
    std::uint32_t dirId = 0;
    std::uint32_t objectId = 0;
    std::uint64_t offset = 0; // 1-based byte offset for data items
    ItemKind kind = ItemKind::Stat;
    std::uint16_t keyFormat = 1; // 0: 3.5 keys, 1: 3.6 keys
    std::uint16_t entryCount = 0;
    std::vector<std::uint8_t> body;
};

struct DirName {
    std::string name;
    std::uint32_t dirId;
    std::uint32_t objectId;
};

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

inline constexpr std::uint16_t kModeDir = 0x41ED;  // directory, 0755
inline constexpr std::uint16_t kModeFile = 0x81A4; // regular file, 0644

// Stat data: 44 bytes (new) or 32 bytes (old).
inline BuiltItem statItem(std::uint32_t dirId, std::uint32_t objectId, std::uint16_t mode,
                          std::uint64_t size, std::uint32_t mtime, bool newLayout = true) {
    BuiltItem it{dirId, objectId, 0, ItemKind::Stat, std::uint16_t(newLayout ? 1 : 0), 0, {}};
    it.body.assign(newLayout ? 44 : 32, 0);
    put16(it.body, 0, mode);
    if (newLayout) {
        put64(it.body, 8, size);
        put32(it.body, 28, mtime);
    } else {
        put32(it.body, 8, std::uint32_t(size));
        put32(it.body, 16, mtime);
    }
    return it;
}

// A directory item listing `names` (entry 0's name lies last in the body).
inline BuiltItem dirItem(std::uint32_t dirId, std::uint32_t objectId,
                         const std::vector<DirName>& names, std::uint16_t keyFormat = 1) {
    BuiltItem it{dirId, objectId, 1, ItemKind::Directory, keyFormat, std::uint16_t(names.size()),
                 {}};
    std::size_t total = 16 * names.size();
    for (const auto& n : names)
        total += std::max<std::size_t>(n.name.size(), 1);
    it.body.assign(total, 0);
    std::size_t end = total;
    for (std::size_t j = 0; j < names.size(); ++j) {
        const std::size_t span = std::max<std::size_t>(names[j].name.size(), 1);
        end -= span;
        std::memcpy(it.body.data() + end, names[j].name.data(), names[j].name.size());
        put32(it.body, 16 * j, std::uint32_t(j + 3)); // hash offset: not read
        put32(it.body, 16 * j + 4, names[j].dirId);
        put32(it.body, 16 * j + 8, names[j].objectId);
        put16(it.body, 16 * j + 12, std::uint16_t(end));
    }
    return it;
}

inline BuiltItem directItem(std::uint32_t dirId, std::uint32_t objectId, std::uint64_t offset,
                            const std::vector<std::uint8_t>& bytes, std::uint16_t keyFormat = 1) {
    return {dirId, objectId, offset, ItemKind::Direct, keyFormat, 0, bytes};
}

inline BuiltItem indirectItem(std::uint32_t dirId, std::uint32_t objectId, std::uint64_t offset,
                              const std::vector<std::uint32_t>& blocks,
                              std::uint16_t keyFormat = 1) {
    BuiltItem it{dirId, objectId, offset, ItemKind::Indirect, keyFormat, 0, {}};
    it.body.assign(4 * blocks.size(), 0);
    for (std::size_t i = 0; i < blocks.size(); ++i)
        put32(it.body, 4 * i, blocks[i]);
    return it;
}

class VolumeBuilder {
public:
    VolumeBuilder(std::uint32_t blockSize, std::uint32_t blockCount)
        : blockSize_(blockSize), blockCount_(blockCount),
          image(std::size_t(blockSize) * blockCount, 0),
          nextFree_((65536 + 512 + blockSize - 1) / blockSize) {
        superblock(0);
    }

    std::uint32_t blockSize() const { return blockSize_; }
    std::uint32_t blockCount() const { return blockCount_; }
    std::uint32_t sectorsPerBlock() const { return blockSize_ / 512; }
    std::uint8_t* block(std::uint32_t n) {
        if (n >= blockCount_) throw std::out_of_range("block past the volume");
        return image.data() + std::size_t(n) * blockSize_;
    }

    // Hands out the next unused block number(s).
    std::uint32_t alloc(std::uint32_t count = 1) {
        const std::uint32_t first = nextFree_;
        nextFree_ += count;
        if (nextFree_ > blockCount_) throw std::out_of_range("volume full");
        return first;
    }

    void superblock(std::uint32_t rootBlock, std::uint16_t treeHeight = 2) {
        std::vector<std::uint8_t> sb(512, 0);
        put32(sb, 0, blockCount_);
        put32(sb, 8, rootBlock);
        put16(sb, 44, std::uint16_t(blockSize_));
        std::memcpy(sb.data() + 52, "ReIsEr2Fs", 9);
        put16(sb, 68, treeHeight);
        std::memcpy(image.data() + 65536, sb.data(), sb.size());
    }

    void internal(std::uint32_t at, const std::vector<std::uint32_t>& children,
                  std::uint16_t level = 2) {
        std::vector<std::uint8_t> b(blockSize_, 0);
        const std::size_t keys = children.size() - 1;
        const std::size_t used = 24 + 16 * keys + 8 * children.size();
        if (used > blockSize_) throw std::length_error("internal node too full");
        put16(b, 0, level);
        put16(b, 2, std::uint16_t(keys));
        put16(b, 4, std::uint16_t(blockSize_ - used));
        for (std::size_t i = 0; i < children.size(); ++i) {
            put32(b, 24 + 16 * keys + 8 * i, children[i]);
            put16(b, 24 + 16 * keys + 8 * i + 4, std::uint16_t(blockSize_ / 2));
        }
        std::memcpy(block(at), b.data(), blockSize_);
    }

    void leaf(std::uint32_t at, const std::vector<BuiltItem>& items) {
        std::vector<std::uint8_t> b(blockSize_, 0);
        std::size_t end = blockSize_;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const BuiltItem& it = items[i];
            if (end < it.body.size() || end - it.body.size() < 24 + 24 * items.size())
                throw std::length_error("leaf too full");
            end -= it.body.size();
            std::memcpy(b.data() + end, it.body.data(), it.body.size());
            const std::size_t h = 24 + 24 * i;
            put32(b, h, it.dirId);
            put32(b, h + 4, it.objectId);
            writeKey(b, h + 8, it);
            put16(b, h + 16, it.kind == ItemKind::Directory ? it.entryCount : 0);
            put16(b, h + 18, std::uint16_t(it.body.size()));
            put16(b, h + 20, std::uint16_t(end));
            put16(b, h + 22, it.keyFormat);
        }
        put16(b, 0, 1);
        put16(b, 2, std::uint16_t(items.size()));
        put16(b, 4, std::uint16_t(end - 24 - 24 * items.size()));
        std::memcpy(block(at), b.data(), blockSize_);
    }

    void data(std::uint32_t at, const std::vector<std::uint8_t>& bytes, std::size_t from = 0) {
        const std::size_t n = std::min<std::size_t>(blockSize_, bytes.size() - from);
        std::memcpy(block(at), bytes.data() + from, n);
    }

private:
    static void writeKey(std::vector<std::uint8_t>& b, std::size_t at, const BuiltItem& it) {
        if (it.keyFormat == 0) {
            static const std::uint32_t codes[] = {0, 500, 0xFFFFFFFFu, 0xFFFFFFFEu};
            put32(b, at, std::uint32_t(it.offset));
            put32(b, at + 4, codes[int(it.kind)]);
        } else {
            static const std::uint64_t codes[] = {0, 3, 2, 1};
            put64(b, at,
                  (it.offset & ((std::uint64_t(1) << 60) - 1)) | (codes[int(it.kind)] << 60));
        }
    }

    std::uint32_t blockSize_;
    std::uint32_t blockCount_;

public:
    std::vector<std::uint8_t> image;

private:
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

// A whole small file system: folders and files added by parent, packed into
// leaves under one internal root when finished. Keys follow the kernel's
// rule: an object's directory id is the folder it was created in.
class TreeBuilder {
public:
    TreeBuilder(std::uint32_t blockSize, std::uint32_t blockCount) : vb(blockSize, blockCount) {
        names_[2];
        items_.push_back(statItem(1, 2, kModeDir, 0, 1000));
    }

    std::uint32_t folder(std::uint32_t parent, const std::string& name,
                         std::uint32_t mtime = 1000) {
        const std::uint32_t id = nextId_++;
        names_[parent].push_back({name, parent, id});
        names_[id];
        items_.push_back(statItem(parent, id, kModeDir, 0, mtime));
        return id;
    }

    std::uint32_t file(std::uint32_t parent, const std::string& name,
                       const std::vector<std::uint8_t>& bytes, std::uint32_t mtime = 1000) {
        const std::uint32_t id = nextId_++;
        names_[parent].push_back({name, parent, id});
        items_.push_back(statItem(parent, id, kModeFile, bytes.size(), mtime));
        const std::size_t bs = vb.blockSize();
        std::size_t full = bytes.size() / bs;
        std::size_t tail = bytes.size() % bs;
        if (tail > bs / 4) ++full, tail = 0; // a long tail gets a block of its own
        const std::size_t perItem = bs / 8;  // pointers per indirect item
        for (std::size_t first = 0; first < full; first += perItem) {
            std::vector<std::uint32_t> blocks;
            for (std::size_t k = first; k < std::min(full, first + perItem); ++k) {
                blocks.push_back(vb.alloc());
                vb.data(blocks.back(), bytes, k * bs);
            }
            items_.push_back(indirectItem(parent, id, first * bs + 1, blocks));
        }
        if (tail) {
            std::vector<std::uint8_t> t(bytes.end() - tail, bytes.end());
            items_.push_back(directItem(parent, id, full * bs + 1, t));
        }
        return id;
    }

    // Another name for an object, and the link count its stat data says.
    void hardLink(std::uint32_t parent, const std::string& name, std::uint32_t objectId,
                  std::uint32_t links) {
        for (auto& it : items_)
            if (it.kind == ItemKind::Stat && it.objectId == objectId) put32(it.body, 4, links);
        names_[parent].push_back({name, keyOf(objectId), objectId});
    }
    // Items added as they are (stale copies, hostile entries).
    void raw(const BuiltItem& item) { items_.push_back(item); }
    // Names listed by a folder without any object of their own.
    void name(std::uint32_t parent, const DirName& n) { names_[parent].push_back(n); }

    // Writes leaves and the root; returns the root block.
    std::uint32_t finish() {
        std::vector<BuiltItem> all = items_;
        for (auto& [dir, list] : names_) {
            const std::uint32_t dirKey = dir == 2 ? 1 : keyOf(dir);
            std::vector<DirName> chunk;
            std::size_t bytes = 0;
            for (const auto& n : list) {
                if (!chunk.empty() && bytes + 16 + n.name.size() > vb.blockSize() / 2) {
                    all.push_back(dirItem(dirKey, dir, chunk));
                    chunk.clear();
                    bytes = 0;
                }
                chunk.push_back(n);
                bytes += 16 + std::max<std::size_t>(n.name.size(), 1);
            }
            if (!chunk.empty() || list.empty()) all.push_back(dirItem(dirKey, dir, chunk));
        }
        std::vector<std::uint32_t> leaves;
        std::vector<BuiltItem> pending;
        std::size_t used = 24;
        auto flush = [&]() {
            if (pending.empty()) return;
            leaves.push_back(vb.alloc());
            vb.leaf(leaves.back(), pending);
            pending.clear();
            used = 24;
        };
        for (const auto& it : all) {
            if (used + 24 + it.body.size() > vb.blockSize() - 8) flush();
            pending.push_back(it);
            used += 24 + it.body.size();
        }
        flush();
        const std::uint32_t root = vb.alloc();
        vb.internal(root, leaves);
        vb.superblock(root);
        leaves_ = leaves;
        return root;
    }
    const std::vector<std::uint32_t>& leaves() const { return leaves_; }

    VolumeBuilder vb;

private:
    std::uint32_t keyOf(std::uint32_t id) const {
        for (const auto& [dir, list] : names_)
            for (const auto& n : list)
                if (n.objectId == id) return n.dirId;
        return 2;
    }
    std::map<std::uint32_t, std::vector<DirName>> names_;
    std::vector<BuiltItem> items_;
    std::vector<std::uint32_t> leaves_;
    std::uint32_t nextId_ = 100;
};

} // namespace dorvak::test
