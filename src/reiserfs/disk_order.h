#pragma once
// Reading a volume in disk order. On a rotating disk a seek costs about as
// much as reading a megabyte, so the mount reads the blocks it needs sorted
// by block number, near neighbours in one request (the gap between them read
// and thrown away), and keeps what it decodes from leaves compact until it
// can hand the items to the catalog in tree order, which fixes the catalog's
// order whatever the order of reading.

#include "disk/bytes.h"
#include "disk/sector_reader.h"
#include "disk/volume_info.h"
#include "reiserfs/byte_arena.h"
#include "reiserfs/structures.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <vector>

namespace dorvak {

// Blocks closer than this are read in one request with the gap between
// them: on a rotating disk a seek (about 8 ms) costs as much as reading
// about a megabyte (at 150 MB/s), so a shorter gap is cheaper to read.
inline constexpr std::size_t kMaxGapBytes = 1024 * 1024;
// The longest request (the buffer the reads go through). Longer requests
// save a few seeks more but cost their memory: the mount stays under 64 MiB.
inline constexpr std::size_t kMaxRequestBytes = 1 << 20;

// Given a block with a sector that could not be read (zeros there), may put
// the block's contents into `data` from elsewhere; returns whether it did.
using BlockMender = std::function<bool(std::uint64_t block, std::span<std::uint8_t> data)>;

// Reads `blocks` (sorted, no repeats) in ascending order and hands each to
// `visit`, after `mend` has had its chance at a block that did not read
// whole. Stops early, returning false, when `stop` is set between requests.
bool readBlocksInOrder(SectorReader& reader, const VolumeInfo& volume,
                       const std::vector<std::uint64_t>& blocks, const std::atomic<bool>& stop,
                       const std::function<void(std::uint64_t block, Bytes data)>& visit,
                       const BlockMender& mend = {});

// Reads `blocks` (sorted, no repeats) as readBlocksInOrder does, block k
// into `into[k]` (a block's size each), and calls `arrived(k)` once it is
// there: a caller that wants the blocks in another order than the disk's
// reads a batch this way and takes each from there, no copy more than the
// read's own, at once if its turn has come (while it is in the cache).
bool readBlocksInto(SectorReader& reader, const VolumeInfo& volume,
                    std::span<const std::uint64_t> blocks, std::span<std::uint8_t* const> into,
                    const std::atomic<bool>& stop,
                    const std::function<void(std::size_t k)>& arrived,
                    const BlockMender& mend = {});

// The items of leaves kept for later: item heads, and the bodies of stat data
// and directory items copied into one arena (data items are only located,
// never read, at mount time, so their bodies are not kept).
class LeafStore {
public:
    // An item head without its padding (a million-file volume keeps
    // millions), and where its body went.
    struct Item {
        std::uint32_t dirId = 0;
        std::uint32_t objectId = 0;
        std::uint64_t offset = 0;
        std::uint16_t entryCount = 0;
        std::uint16_t itemLength = 0;
        std::uint16_t itemLocation = 0;
        std::uint16_t keyFormat = 0;
        ItemType type = ItemType::Other;
        std::uint32_t body = 0; // stat data and directory items: offset in the arena
        Item() = default;
        explicit Item(const ItemHead& h)
            : dirId(h.dirId), objectId(h.objectId), offset(h.offset), entryCount(h.entryCount),
              itemLength(h.itemLength), itemLocation(h.itemLocation), keyFormat(h.keyFormat),
              type(h.type) {}
        ItemHead head() const {
            ItemHead h;
            h.dirId = dirId;
            h.objectId = objectId;
            h.offset = offset;
            h.type = type;
            h.entryCount = entryCount;
            h.itemLength = itemLength;
            h.itemLocation = itemLocation;
            h.keyFormat = keyFormat;
            return h;
        }
    };
    struct Leaf {
        std::uint64_t sector = 0;
        std::uint32_t firstItem = 0;
        std::uint32_t itemCount = 0;
    };

    static constexpr std::uint32_t kNotKept = ~std::uint32_t(0);

    // Whether an item of a leaf of `blockSize` bytes is one the catalog takes.
    static bool keeps(const ItemHead& ih, std::size_t blockSize);

    // Keeps the items of the leaf `block` (read from `sector`) that the
    // catalog would take; returns the leaf's number in the store.
    std::uint32_t add(std::uint64_t sector, Bytes block);
    const Leaf& leaf(std::uint32_t index) const { return leaves_[index]; }
    // The chunk of the arena that holds an item's body, and where in it.
    Bytes chunkOf(const Item& item) const { return bodies_.chunkOf(item.body); }
    static std::size_t offsetOf(const Item& item) { return ByteArena::offsetOf(item.body); }
    // The number of the leaf read from `sector`, or kNotKept; for a store
    // filled in ascending order of sectors (a binary search).
    std::uint32_t find(std::uint64_t sector) const;
    std::uint32_t leafCount() const { return std::uint32_t(leaves_.size()); }
    const Item& item(std::uint32_t index) const { return items_[index]; }
    // Forgets every leaf; the memory is kept for the next ones.
    void reset();

private:
    // Deques and fixed chunks: the store grows by what it holds, never to
    // twice that as a doubling vector would.
    std::deque<Leaf> leaves_;
    std::deque<Item> items_;
    ByteArena bodies_;
};

// The items of one leaf that the catalog would take (as LeafStore keeps
// them), held on their own: a leaf the walk read ahead of its turn, which
// may be dropped before its turn comes.
struct KeptLeaf {
    std::vector<LeafStore::Item> items;
    std::vector<std::uint8_t> bodies; // Item::body is an offset in here
    // Takes the items of `block` in place of what it held (keeping the
    // memory: the walk reuses a few of these).
    void fill(Bytes block);
    // What it holds in memory, roughly (with its allocations' overhead).
    std::size_t bytes() const {
        return items.capacity() * sizeof(LeafStore::Item) + bodies.capacity() + 64;
    }
};

// What reading a level's blocks costs on a rotating disk, in bytes: each
// request's seek counted as the gap read through instead (kMaxGapBytes),
// plus the bytes read.
struct ReadCost {
    std::uint64_t requests = 0;
    std::uint64_t bytes = 0;
    std::uint64_t total() const { return requests * kMaxGapBytes + bytes; }
};
// The requests readBlocksInOrder makes for `sorted` (ascending, no repeats).
ReadCost readCost(std::span<const std::uint64_t> sorted, std::size_t blockSize);
// How many of a level's blocks a sweep of it in disk order reads twice when
// it may hold `capacity` blocks ahead of their turn (and drops the furthest
// ahead past that): `places` are the level's places in walk order, sorted
// by block.
std::uint64_t sweepRereads(std::span<const std::uint32_t> places, std::size_t capacity);

} // namespace dorvak
