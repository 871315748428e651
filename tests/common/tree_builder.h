#pragma once
// A whole small file system for tests: folders and files added by parent,
// their data in blocks of their own or in a tail item, packed into leaves
// under one internal root when finished. Stale copies and hostile entries
// are added as raw items and names. Keys follow the kernel's rule: an
// object's directory id is the folder it was created in.

#include "common/volume_builder.h"

#include <map>
#include <string>
#include <vector>

namespace dorvak::test {

class TreeBuilder {
public:
    TreeBuilder(std::uint32_t blockSize, std::uint32_t blockCount) : vb(blockSize, blockCount) {
        names_[2];
        items_.push_back(statItem(1, 2, kModeDir, 0, 1000));
    }

    std::uint32_t folder(std::uint32_t parent, const std::string& name,
                         std::uint32_t mtime = 1000) {
        const std::uint32_t id = nextId_++;
        names_[parent].push_back({parent, id, name});
        names_[id];
        items_.push_back(statItem(parent, id, kModeDir, 0, mtime));
        return id;
    }

    std::uint32_t file(std::uint32_t parent, const std::string& name,
                       const std::vector<std::uint8_t>& bytes, std::uint32_t mtime = 1000) {
        const std::uint32_t id = nextId_++;
        names_[parent].push_back({parent, id, name});
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
            if (it.kind == ItemKind::Stat && it.objectId == objectId) setLinkCount(it, links);
        names_[parent].push_back({keyOf(objectId), objectId, name});
    }
    // Items added as they are (stale copies, hostile entries).
    void raw(const LeafItem& item) { items_.push_back(item); }
    // Names listed by a folder without any object of their own.
    void name(std::uint32_t parent, const DirName& n) { names_[parent].push_back(n); }

    // Writes leaves and the root; returns the root block.
    std::uint32_t finish() {
        std::vector<LeafItem> all = items_;
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
        std::vector<LeafItem> pending;
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
    std::vector<LeafItem> items_;
    std::vector<std::uint32_t> leaves_;
    std::uint32_t nextId_ = 100;
};

} // namespace dorvak::test
