#pragma once
// Decoders of the ReiserFS 3.5/3.6 on-disk structures the reader uses. Pure
// functions over a block buffer; each checks that what it reads lies inside
// the block and reports damage as an empty result.
//
// Superblock (64 KiB into the volume; first 512 bytes):
//   0 u32 block count      8 u32 root block     44 u16 block size
//   12 journal parameters: 12 u32 first block, 16 u32 device (0: this
//   volume), 20 u32 size in blocks, 24 u32 most blocks a transaction logs,
//   28 u32 magic (the journal header repeats these five)
//   52 10 bytes magic ("ReIsErFs", "ReIsEr2Fs", "ReIsEr3Fs": first 6 compared)
//   68 u16 tree height (root level + 1)
// Block head (every tree node): 0 u16 level, 2 u16 item count, 4 u16 free space
// Internal node: 24-byte head, item count keys of 16 bytes, then item count + 1
//   child pointers of 8 bytes (0 u32 block number).
// Leaf: 24-byte head, item heads of 24 bytes from offset 24, bodies at the end.
// Item head: 0 u32 dir id, 4 u32 object id, 8 offset/type (by key format),
//   16 u16 entry count, 18 u16 length, 20 u16 location, 22 u16 version: key
//   format in the low 12 bits, flags (left by reiserfsck) in the top 4.
//   Key format 0 (3.5): 8 u32 offset, 12 u32 type (0 stat, 500 dir,
//   0xFFFFFFFF direct, 0xFFFFFFFE indirect). Key format 1 (3.6): 8 u64, low
//   60 bits offset, top 4 bits type (0 stat, 1 indirect, 2 direct, 3 dir).
// Stat data, told by its length: 32 bytes (old) or 44 (new).
//          mode  links  size     mtime  aux
//   old:   0 u16 2 u16  8 u32    16 u32 28 u32 (first direct byte)
//   new:   0 u16 4 u32  8 u64    28 u32 36 u32 (block count)
// Directory item: entry heads of 16 bytes (4 u32 dir id, 8 u32 object id,
//   12 u16 name location within the item), names packed from the item's end.

#include "disk/bytes.h"

#include <cstdint>
#include <optional>

namespace dorvak {

inline constexpr std::uint32_t kSuperblockOffset = 65536;
inline constexpr std::uint32_t kSuperblockSector = kSuperblockOffset / 512;
inline constexpr std::uint32_t kRootObjectId = 2;
inline constexpr std::size_t kMaxBlockSize = 8192;

bool isValidBlockSize(std::uint32_t blockSize);

struct Superblock {
    std::uint32_t blockCount = 0;
    std::uint32_t rootBlock = 0;
    std::uint16_t blockSize = 0;
    std::uint16_t treeHeight = 0;
    std::uint32_t journalFirstBlock = 0;
    std::uint32_t journalDevice = 0;
    std::uint32_t journalSize = 0;
    std::uint32_t journalTransMax = 0;
    std::uint32_t journalMagic = 0;
};
// A superblock with an accepted block size and the "reiser" magic (letter
// case ignored); nothing otherwise.
std::optional<Superblock> ReadSuperblock(Bytes sector);

// Bytes of a node's head, the part every block test reads.
inline constexpr std::size_t kBlockHeadSize = 24;

struct BlockHead {
    std::uint16_t level = 0;
    std::uint16_t itemCount = 0;
    std::uint16_t freeSpace = 0;
};
// Inline: the Extensive scan reads the head of every block.
inline std::optional<BlockHead> ReadBlockHead(Bytes block) {
    if (!fits(block, 0, kBlockHeadSize)) return std::nullopt;
    const Bytes h = block.first(kBlockHeadSize);
    return BlockHead{le16(h, 0), le16(h, 2), le16(h, 4)};
}

// The leaf plausibility test: level 1, free space within the block, at least
// one item and the item heads inside the block.
inline bool looksLikeLeaf(const BlockHead& head, std::size_t blockSize) {
    return head.level == 1 && head.freeSpace <= blockSize && head.itemCount != 0 &&
           24u * head.itemCount + 24u < blockSize;
}

// Child pointer i of an internal node, or nothing when the pointer array
// would reach past the block.
std::optional<std::uint32_t> ChildBlock(Bytes block, std::uint32_t index);

enum class ItemType { StatData, Directory, Direct, Indirect, Other };

struct ItemHead {
    std::uint32_t dirId = 0;
    std::uint32_t objectId = 0;
    std::uint64_t offset = 0; // 60 bits in format 1, 32 in format 0
    ItemType type = ItemType::Other;
    std::uint16_t entryCount = 0;
    std::uint16_t itemLength = 0;
    std::uint16_t itemLocation = 0;
    std::uint16_t keyFormat = 0;
    bool knownFormat() const { return keyFormat <= 1; }
    // The body lies inside a block of `blockSize` bytes.
    bool bodyFits(std::size_t blockSize) const {
        return std::size_t(itemLocation) + itemLength <= blockSize;
    }
};
namespace detail {
inline ItemType typeFromV1(std::uint32_t code) {
    switch (code) {
    case 0:
        return ItemType::StatData;
    case 500:
        return ItemType::Directory;
    case 0xFFFFFFFFu:
        return ItemType::Direct;
    case 0xFFFFFFFEu:
        return ItemType::Indirect;
    default:
        return ItemType::Other;
    }
}
inline ItemType typeFromV2(std::uint32_t code) {
    constexpr ItemType kTypes[] = {ItemType::StatData, ItemType::Indirect, ItemType::Direct,
                                   ItemType::Directory};
    return code < 4 ? kTypes[code] : ItemType::Other;
}
} // namespace detail

// Item head i of a leaf, or nothing when the head reaches past the block. A
// head whose key format is neither 0 nor 1 is returned with knownFormat()
// false and no decoded type; the items after it may still be read. Inline:
// every leaf's every item goes through it.
inline std::optional<ItemHead> ReadItemHead(Bytes block, std::uint32_t index) {
    const std::size_t at = 24 + 24 * std::size_t(index);
    if (!fits(block, at, 24)) return std::nullopt;
    const Bytes h = block.subspan(at, 24); // each field read below lies inside it
    ItemHead item;
    item.dirId = le32(h, 0);
    item.objectId = le32(h, 4);
    item.entryCount = le16(h, 16);
    item.itemLength = le16(h, 18);
    item.itemLocation = le16(h, 20);
    // The low 12 bits are the format; reiserfsck keeps flags in the top 4.
    item.keyFormat = le16(h, 22) & 0x0FFF;
    if (item.keyFormat == 0) {
        item.offset = le32(h, 8);
        item.type = detail::typeFromV1(le32(h, 12));
    } else if (item.keyFormat == 1) {
        const std::uint64_t v = le64(h, 8);
        item.offset = v & ((std::uint64_t(1) << 60) - 1);
        item.type = detail::typeFromV2(std::uint32_t(v >> 60));
    }
    return item;
}

// Special: character and block devices, FIFOs and sockets. Other: a mode no
// file system object has (damage).
enum class FileType : std::uint8_t { Directory, Regular, Symlink, Special, Other };

struct StatData {
    std::uint16_t mode = 0;
    FileType fileType = FileType::Other;
    std::uint32_t linkCount = 0; // names the object has (hard links)
    std::uint64_t size = 0;
    std::uint32_t modifiedTime = 0;
    std::uint32_t auxValue = 0;
};
FileType fileTypeOf(std::uint16_t mode);
// Nothing for a length other than 32 or 44, or a body outside the block.
std::optional<StatData> ReadStatData(Bytes block, std::size_t location, std::size_t length);

struct DirEntry {
    std::uint32_t dirId = 0;
    std::uint32_t objectId = 0;
    std::size_t nameLocation = 0; // absolute in the block
};
// Entry head j of the directory item at `location`; nothing when the head
// reaches past the block.
std::optional<DirEntry> ReadDirEntry(Bytes block, std::size_t location, std::uint32_t index);

} // namespace dorvak
