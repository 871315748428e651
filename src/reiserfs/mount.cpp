#include "reiserfs/mount.h"

#include "reiserfs/disk_order.h"
#include "reiserfs/structures.h"

#include <algorithm>
#include <malloc.h>
#include <new>
#include <queue>
#include <unordered_map>

namespace dorvak {
VolumeMount::VolumeMount(SectorReader& reader, const VolumeInfo& volume, Catalog& catalog,
                         std::atomic<bool>& stopRequested, ProgressSink& progress)
    : reader_(reader), volume_(volume), catalog_(catalog), stopRequested_(stopRequested),
      progress_(progress) {}

std::uint64_t VolumeMount::volumeBlocks() const {
    if (volume_.sectorsPerBlock == 0) return 0;
    // A volume of unknown size (sectorCount 0) may be walked wherever its
    // tree points, but never past the end of the source: a damaged partition
    // entry can claim far more than the disk holds, and blocks past its end
    // would only be retried one sector at a time for nothing.
    std::uint64_t sectors = volume_.sectorCount ? volume_.sectorCount : UINT64_MAX;
    if (const std::uint64_t total = reader_.totalSectors(); total != 0)
        sectors = std::min(sectors, total > volume_.startSector ? total - volume_.startSector : 0);
    return sectors / volume_.sectorsPerBlock;
}

bool VolumeMount::blockInVolume(std::uint64_t block) const {
    return block < volumeBlocks();
}

bool VolumeMount::readJournalCopy(std::uint64_t block, std::span<std::uint8_t> data) {
    if (!journal_)
        journal_ =
            std::make_unique<JournalIndex>(JournalIndex::read(reader_, volume_, stopRequested_));
    const auto copy = journal_->copyOf(block);
    if (!copy || !blockInVolume(*copy)) return false;
    std::vector<std::uint8_t> bytes(data.size());
    std::vector<std::uint64_t> unreadable;
    const std::uint64_t sector = volume_.blockSector(*copy);
    reader_.ReadSectors(sector, volume_.sectorsPerBlock, bytes.data(), &unreadable);
    if (!unreadable.empty()) return false;
    std::copy(bytes.begin(), bytes.end(), data.begin());
    // The Extensive scan meets a node the walk above it mended already.
    if (fromJournal_.insert_or_assign(block, sector).second) ++result_.nodesFromJournal;
    return true;
}

std::uint64_t VolumeMount::nodeSector(std::uint64_t block) const {
    auto it = fromJournal_.find(block);
    return it != fromJournal_.end() ? it->second : volume_.blockSector(block);
}

// The object keys of a leaf's item heads (24 bytes each after the 24-byte
// block head; the key's first two words), asked of the catalog ahead of the
// items themselves.
void VolumeMount::prefetchKeys(Bytes block, std::uint32_t itemCount) {
    const std::size_t heads =
        std::min<std::size_t>(itemCount, block.size() < 24 ? 0 : (block.size() - 24) / 24);
    for (std::size_t i = 0; i < heads; ++i) {
        const std::size_t at = 24 + 24 * i;
        catalog_.prefetchObject(le32(block, at), le32(block, at + 4));
    }
}

void VolumeMount::ProcessLeaf(std::uint64_t sector, Bytes block, bool testHead) {
    auto head = ReadBlockHead(block);
    if (!head) return;
    if (testHead) {
        if (!looksLikeLeaf(*head, block.size())) return;
        progress_.currentSector(sector);
    }
    ++result_.leavesRead;
    prefetchKeys(block, head->itemCount);
    // The item bodies, all asked for at once: read one after another, each
    // line would be a miss of its own.
    const std::size_t bodies = 24 + 24 * std::size_t(head->itemCount) + head->freeSpace;
    for (std::size_t at = bodies / 64 * 64; at < block.size(); at += 64)
        __builtin_prefetch(block.data() + at);
    for (std::uint32_t i = 0; i < head->itemCount; ++i) {
        auto item = ReadItemHead(block, i);
        if (!item) break; // heads past the block: the rest is damage
        if (item->objectId < 2 || item->dirId == 0 || !item->knownFormat()) continue;
        if ((item->type == ItemType::Direct || item->type == ItemType::Indirect) &&
            !item->bodyFits(block.size()))
            continue;
        addItem(sector, *item, block, item->itemLocation);
    }
}

// One item of a leaf read from `sector`; stat data and directory bodies lie
// at `bodyAt` in `bodies` (the leaf itself, or the arena of a LeafStore).
void VolumeMount::addItem(std::uint64_t sector, const ItemHead& item, Bytes bodies,
                          std::size_t bodyAt) {
    switch (item.type) {
    case ItemType::StatData:
        catalog_.AddStatData(bodyAt, bodies, item.itemLength, item.dirId, item.objectId);
        break;
    case ItemType::Directory:
        catalog_.AddDirectoryItem(item.entryCount, bodyAt, bodies, item.itemLength, item.objectId);
        break;
    case ItemType::Direct:
    case ItemType::Indirect: {
        DataItemRef ref;
        ref.leafSector = sector;
        ref.keyOffset = item.offset;
        ref.objectId = item.objectId;
        ref.dirId = item.dirId;
        ref.itemLocation = item.itemLocation;
        ref.itemLength = item.itemLength;
        catalog_.AddDataItem(item.type, ref);
        break;
    }
    case ItemType::Other:
        break;
    }
}

// A leaf read from `sector`, handed to the catalog now: the items a
// LeafStore would keep, as it would hand them over.
void VolumeMount::replayLeaf(std::uint64_t sector, Bytes block) {
    progress_.currentSector(sector);
    ++result_.leavesRead;
    auto head = ReadBlockHead(block);
    if (head) prefetchKeys(block, head->itemCount);
    for (std::uint32_t i = 0; head && i < head->itemCount; ++i) {
        auto ih = ReadItemHead(block, i);
        if (!ih) break; // heads past the block: the rest is damage
        if (LeafStore::keeps(*ih, block.size())) addItem(sector, *ih, block, ih->itemLocation);
    }
}

// A leaf read from `sector` and kept compact, handed to the catalog now.
void VolumeMount::replayLeaf(std::uint64_t sector, const KeptLeaf& leaf) {
    progress_.currentSector(sector);
    ++result_.leavesRead;
    for (const LeafStore::Item& item : leaf.items)
        catalog_.prefetchObject(item.dirId, item.objectId);
    for (const LeafStore::Item& item : leaf.items) {
        const bool hasBody = item.type == ItemType::StatData || item.type == ItemType::Directory;
        addItem(sector, item.head(), hasBody ? Bytes(leaf.bodies) : Bytes(), item.body);
    }
}

// A leaf kept in `store`, handed to the catalog now.
void VolumeMount::replayLeaf(const LeafStore& store, std::uint32_t index) {
    const LeafStore::Leaf& leaf = store.leaf(index);
    // The store knows a leaf by its own place; one taken from its journal
    // copy is read from there.
    const std::uint64_t sector =
        fromJournal_.empty()
            ? leaf.sector
            : nodeSector((leaf.sector - volume_.startSector) / volume_.sectorsPerBlock);
    progress_.currentSector(sector);
    ++result_.leavesRead;
    for (std::uint32_t i = 0; i < leaf.itemCount; ++i) {
        const LeafStore::Item& item = store.item(leaf.firstItem + i);
        catalog_.prefetchObject(item.dirId, item.objectId);
    }
    for (std::uint32_t i = 0; i < leaf.itemCount; ++i) {
        const LeafStore::Item& item = store.item(leaf.firstItem + i);
        const bool hasBody = item.type == ItemType::StatData || item.type == ItemType::Directory;
        addItem(sector, item.head(), hasBody ? store.chunkOf(item) : Bytes(),
                LeafStore::offsetOf(item));
    }
}

// The child pointers of an internal node; an array that reaches past the
// block is damage and gives none.
std::vector<std::uint64_t> VolumeMount::childrenOf(Bytes node) {
    std::vector<std::uint64_t> kids;
    auto head = ReadBlockHead(node);
    for (std::uint32_t i = 0; head && i <= head->itemCount; ++i) {
        auto child = ChildBlock(node, i);
        if (!child) {
            ++result_.nodesSkipped;
            return {};
        }
        kids.push_back(*child);
    }
    return kids;
}

// The tree is read a level at a time, each level's blocks in disk order (in
// one sweep, or a window of the walk order at a time: see walkLevel), so
// that a rotating disk serves the walk in a few sweeps instead of a seek per
// node. Blocks are handed to the catalog in the order a breadth-first walk
// in pointer order would meet them: each level's nodes in the order of their
// parents, children in pointer order. That order fixes the catalog's,
// whatever the order of reading.
void VolumeMount::WalkTree() {
    walkLevels(nullptr, 0);
}

// A block of the walk whose turn has come: a leaf to the catalog, a node's
// children to the next level (`parents`).
void VolumeMount::handOverBlock(std::uint64_t block, Bytes data, std::vector<WalkParent>& parents) {
    auto h = ReadBlockHead(data);
    if (h && h->level == 1) {
        const std::uint64_t sector = nodeSector(block);
        liveLeaves_.push_back(sector);
        if (looksLikeLeaf(*h, data.size()))
            replayLeaf(sector, data);
        else
            ++result_.nodesSkipped; // a tree pointer to something that is no leaf
    } else if (h && h->level >= 2 && h->level <= kMaxLevel) {
        parents.push_back({h->level, childrenOf(data)});
    } else {
        ++result_.nodesSkipped; // neither leaf nor node
    }
}

// The blocks of one level of the walk, handed over in walk order whatever the
// order of reading. What each block turned out to be is kept by its place in
// the walk order until the walk order reaches it; blocks are handed over as
// soon as every block before them in walk order has been read, so only those
// read ahead of their turn wait (on a volume written in order, few do). The
// leaves waiting are held compact and under a cap: past it, those furthest
// ahead are dropped and read again, on their own, when their turn comes.
class VolumeMount::LevelHandOver {
public:
    // `level`: the level's blocks in walk order; the nodes among them are
    // appended to `parents` as they are handed over.
    LevelHandOver(VolumeMount& mount, const std::vector<std::uint64_t>& level,
                  std::vector<WalkParent>& parents)
        : mount_(mount), level_(level), parents_(parents), slot_(level.size(), kNoSlot),
          held_(level.size()), dropped_(level.size()) {}
    // Block `position` of the level (in walk order) has been read into `data`.
    void found(std::uint32_t position, Bytes data) {
        if (position == cursor_ && !mount_.stopRequested_) {
            handOverNow(position, data);
            ++cursor_;
            handOver();
            return;
        }
        Found f = classify(data);
        if (f.kind == Kind::Leaf && f.looksLikeLeaf && !makeRoom(position, f.kept.bytes())) {
            dropped_[position] = true;
            recycle(f.kept);
            return;
        }
        if (f.kind == Kind::Leaf && f.looksLikeLeaf) {
            heldBytes_ += f.kept.bytes();
            held_[position] = true;
            heldOrder_.push(position);
        }
        keep(position, std::move(f));
    }
    // Hands over every block whose turn has come and that has been read; a
    // leaf dropped for room is read again now.
    void handOver() {
        for (; cursor_ < level_.size() && !mount_.stopRequested_; ++cursor_) {
            if (slot_[cursor_] != kNoSlot) {
                Found& f = pool_[slot_[cursor_]];
                if (held_[cursor_]) heldBytes_ -= f.kept.bytes();
                held_[cursor_] = false;
                handOver(cursor_, f);
                forget(cursor_);
            } else if (dropped_[cursor_]) {
                std::vector<std::uint8_t> block(mount_.volume_.blockSize());
                mount_.reader_.ReadSectors(mount_.nodeSector(level_[cursor_]),
                                           mount_.volume_.sectorsPerBlock, block.data());
                ++mount_.result_.leavesReadTwice;
                handOverNow(cursor_, block);
            } else {
                return; // not read yet
            }
        }
    }

private:
    enum class Kind { None, Leaf, Node };
    struct Found {
        Kind kind = Kind::None;
        bool looksLikeLeaf = false;
        KeptLeaf kept;
        WalkParent node;
    };
    Found classify(Bytes data) {
        auto h = ReadBlockHead(data);
        Found f;
        if (h && h->level == 1) { // one that does not look like a leaf is ignored
            f.kind = Kind::Leaf;
            f.looksLikeLeaf = looksLikeLeaf(*h, data.size());
            if (f.looksLikeLeaf) {
                if (!spare_.empty()) {
                    spareBytes_ -= spare_.back().bytes();
                    f.kept = std::move(spare_.back());
                    spare_.pop_back();
                }
                f.kept.fill(data);
            }
        } else if (h && h->level >= 2 && h->level <= kMaxLevel) {
            f.kind = Kind::Node;
            f.node = {h->level, mount_.childrenOf(data)};
        }
        return f;
    }
    // Room for `bytes` more ahead of the turn at `position`: the leaves held
    // further ahead than it go first. False: it is the furthest ahead.
    bool makeRoom(std::uint32_t position, std::size_t bytes) {
        while (heldBytes_ + bytes > mount_.readAheadBytes_) {
            while (!heldOrder_.empty() && !held_[heldOrder_.top()])
                heldOrder_.pop(); // handed over since
            if (heldOrder_.empty() || heldOrder_.top() < position) return false;
            const std::uint32_t furthest = heldOrder_.top();
            heldOrder_.pop();
            heldBytes_ -= pool_[slot_[furthest]].kept.bytes();
            forget(furthest);
            held_[furthest] = false;
            dropped_[furthest] = true;
        }
        return true;
    }
    // A held leaf's memory, kept for the next leaf read ahead: a leaf's
    // worth of allocations for every leaf would cost more than the walk.
    // Spares and held leaves together stay under the cap.
    void recycle(KeptLeaf& kept) {
        const std::size_t bytes = kept.bytes();
        if (spareBytes_ + heldBytes_ + bytes > mount_.readAheadBytes_) return;
        spareBytes_ += bytes;
        spare_.push_back(std::move(kept));
    }
    // What block `position` turned out to be, kept until its turn.
    void keep(std::uint32_t position, Found&& f) {
        std::uint32_t at;
        if (!freeSlots_.empty()) {
            at = freeSlots_.back();
            freeSlots_.pop_back();
            pool_[at] = std::move(f);
        } else {
            at = std::uint32_t(pool_.size());
            pool_.push_back(std::move(f));
        }
        slot_[position] = at;
    }
    // Lets go of what keep() kept for `position`; its leaf's memory is kept
    // for the next leaf read ahead.
    void forget(std::size_t position) {
        Found& f = pool_[slot_[position]];
        recycle(f.kept);
        f = Found{};
        freeSlots_.push_back(slot_[position]);
        slot_[position] = kNoSlot;
    }
    // A block whose turn it is, handed over from where it was read.
    void handOverNow(std::size_t position, Bytes data) {
        mount_.handOverBlock(level_[position], data, parents_);
    }
    void handOver(std::size_t position, Found& f) {
        const std::uint64_t block = level_[position];
        if (f.kind == Kind::Node) {
            parents_.push_back(std::move(f.node));
        } else if (f.kind == Kind::None) {
            ++mount_.result_.nodesSkipped; // neither leaf nor node
        } else {
            mount_.liveLeaves_.push_back(mount_.nodeSector(block));
            if (f.looksLikeLeaf)
                mount_.replayLeaf(mount_.nodeSector(block), f.kept);
            else
                ++mount_.result_.nodesSkipped; // a tree pointer to something that is no leaf
        }
    }

    VolumeMount& mount_;
    const std::vector<std::uint64_t>& level_;
    std::vector<WalkParent>& parents_;
    // By place in the walk order: where in pool_ its Found is kept, whether
    // it holds a leaf and whether that leaf was dropped for room.
    static constexpr std::uint32_t kNoSlot = ~std::uint32_t(0);
    std::vector<std::uint32_t> slot_;
    std::vector<bool> held_, dropped_;
    std::vector<Found> pool_; // what was read ahead of its turn
    std::vector<std::uint32_t> freeSlots_;
    std::priority_queue<std::uint32_t> heldOrder_; // places held, furthest first
    std::vector<KeptLeaf> spare_;
    std::size_t spareBytes_ = 0;
    std::size_t heldBytes_ = 0;
    std::size_t cursor_ = 0;
};

// The blocks of a level held raw by a window: a quarter of the cap, which
// holds leaves compact (a leaf of small files keeps a quarter of its bytes
// or less), and a window this size stays in the processor's last cache.
std::size_t VolumeMount::windowBlocks() const {
    return std::max<std::size_t>(1, readAheadBytes_ / 4 / volume_.blockSize());
}

// One level of the walk, read one of two ways, whichever costs a rotating
// disk less (every request a seek, every byte read): in one sweep of the
// level in disk order, holding what it reads ahead of its turn under the
// cap and reading again, on its own, what it had to drop (a volume written
// in order, whose walk order only wanders within a region of the disk), or
// a window of the walk order at a time (a volume grown all over its key
// space, where one sweep would drop most of what it read). Both hand over
// in walk order. False: stopped.
bool VolumeMount::walkLevel(const std::vector<std::uint64_t>& level,
                            std::vector<WalkParent>& parents, WalkCounts& counts) {
    const std::size_t blockSize = volume_.blockSize();
    std::vector<std::uint32_t> places(level.size());
    for (std::uint32_t i = 0; i < places.size(); ++i)
        places[i] = i;
    std::sort(places.begin(), places.end(),
              [&](std::uint32_t a, std::uint32_t b) { return level[a] < level[b]; });
    std::vector<std::uint64_t> sorted(level.size());
    for (std::size_t i = 0; i < places.size(); ++i)
        sorted[i] = level[places[i]];
    ReadCost sweep = readCost(sorted, blockSize);
    // What a leaf held compact takes, about: the cap counts these.
    const std::size_t heldLeaf = std::max<std::size_t>(1, blockSize / 4);
    const std::uint64_t rereads =
        sweepRereads(places, std::max<std::size_t>(1, readAheadBytes_ / heldLeaf));
    sweep.requests += rereads;
    sweep.bytes += rereads * blockSize;
    if (rereads != 0) {
        ReadCost windows;
        const std::size_t window = windowBlocks();
        std::vector<std::uint64_t> part;
        for (std::size_t first = 0; first < level.size(); first += window) {
            part.assign(level.begin() + first,
                        level.begin() + std::min(level.size(), first + window));
            std::sort(part.begin(), part.end());
            const ReadCost c = readCost(part, blockSize);
            windows.requests += c.requests;
            windows.bytes += c.bytes;
        }
        if (windows.total() < sweep.total()) return windowLevel(level, parents, counts);
    }
    return sweepLevel(level, places, sorted, parents, counts);
}

// The level in one sweep in disk order (`sorted`, the blocks of `places`).
bool VolumeMount::sweepLevel(const std::vector<std::uint64_t>& level,
                             const std::vector<std::uint32_t>& places,
                             const std::vector<std::uint64_t>& sorted,
                             std::vector<WalkParent>& parents, WalkCounts& counts) {
    LevelHandOver handOver(*this, level, parents);
    std::uint64_t levelRead = 0;
    const bool whole = readBlocksInOrder(
        reader_, volume_, sorted, stopRequested_,
        [&](std::uint64_t, Bytes data) {
            auto h = ReadBlockHead(data);
            ++(h && h->level == 1 ? counts.leaves : counts.internal);
            handOver.found(places[levelRead], data);
            progress_.nodesRead(counts.internal, counts.leaves, sorted.size() - ++levelRead);
        },
        [this](std::uint64_t b, std::span<std::uint8_t> data) { return readJournalCopy(b, data); });
    handOver.handOver();
    return whole;
}

// Reads one level (its blocks in walk order) a window at a time: the window
// sorted by block, read in runs of near neighbours into a buffer of a
// quarter of the read-ahead cap, and handed over in walk order, each block
// as soon as it and those before it have been read (when the window's
// order and the disk's agree, as it arrives, while it is in the cache).
// Where the walk order and the disk's disagree (a volume grown by inserts
// all over its key space) a window still costs a sweep, not a seek a leaf,
// every block is read once, and the memory is the window whatever the
// layout. False: stopped.
bool VolumeMount::windowLevel(const std::vector<std::uint64_t>& level,
                              std::vector<WalkParent>& parents, WalkCounts& counts) {
    const std::size_t blockSize = volume_.blockSize();
    const std::size_t window = std::min(level.size(), windowBlocks());
    std::vector<std::uint8_t> buffer(window * blockSize);
    std::vector<std::uint32_t> places(window);
    std::vector<std::uint64_t> sorted(window);
    std::vector<std::uint8_t*> into(window);
    std::vector<bool> ready(window);
    const auto mend = [this](std::uint64_t b, std::span<std::uint8_t> data) {
        return readJournalCopy(b, data);
    };
    for (std::size_t first = 0; first < level.size(); first += window) {
        const std::size_t n = std::min(window, level.size() - first);
        places.resize(n);
        for (std::uint32_t i = 0; i < n; ++i)
            places[i] = i;
        std::sort(places.begin(), places.end(), [&](std::uint32_t a, std::uint32_t b) {
            return level[first + a] < level[first + b];
        });
        sorted.resize(n);
        into.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            sorted[i] = level[first + places[i]];
            into[i] = buffer.data() + places[i] * blockSize;
        }
        ready.assign(n, false);
        std::size_t next = 0; // the next place of the window to hand over
        const auto arrived = [&](std::size_t k) {
            ready[places[k]] = true;
            for (; next < n && ready[next] && !stopRequested_; ++next) {
                const Bytes data(buffer.data() + next * blockSize, blockSize);
                auto h = ReadBlockHead(data);
                ++(h && h->level == 1 ? counts.leaves : counts.internal);
                handOverBlock(level[first + next], data, parents);
                progress_.nodesRead(counts.internal, counts.leaves,
                                    level.size() - (first + next + 1));
            }
        };
        if (!readBlocksInto(reader_, volume_, sorted, into, stopRequested_, arrived, mend) ||
            next < n)
            return false;
    }
    return true;
}

// Reads the root block. A root that is a leaf is handed over at once (false:
// nothing more to walk); a root node gives the first level's parent.
bool VolumeMount::walkRoot(std::vector<WalkParent>& parents) {
    std::vector<std::uint8_t> node(volume_.blockSize());
    std::vector<std::uint64_t> unreadable;
    reader_.ReadSectors(volume_.blockSector(volume_.rootBlock), volume_.sectorsPerBlock,
                        node.data(), &unreadable);
    if (!unreadable.empty()) readJournalCopy(volume_.rootBlock, node);
    const std::uint64_t rootSector = nodeSector(volume_.rootBlock);
    auto head = ReadBlockHead(node);
    if (head && head->level == 1) { // a tree that is a single leaf
        liveLeaves_.push_back(rootSector);
        ProcessLeaf(rootSector, node, true);
        progress_.nodesRead(0, 1, 0);
        return false;
    }
    if (!head || head->level < 2 || head->level > kMaxLevel) {
        ++result_.nodesSkipped;
        return false;
    }
    parents.push_back({head->level, childrenOf(node)});
    return true;
}

// The children of the last level in walk order (`parents` is emptied), less
// those already seen or outside the volume, and less those `later` takes.
std::vector<std::uint64_t> VolumeMount::nextLevel(std::vector<WalkParent>& parents, BlockSet& seen,
                                                  BlockBitmap* later, std::uint16_t laterBelow) {
    std::vector<std::uint64_t> level;
    for (const WalkParent& parent : parents)
        for (std::uint64_t block : parent.kids) {
            if (!blockInVolume(block) || !seen.insert(block))
                ++result_.nodesSkipped;
            else if (later && parent.level <= laterBelow)
                later->insert(block);
            else
                level.push_back(block);
        }
    parents.clear();
    return level;
}

// With `later`, the children of nodes at `laterBelow` or lower are not read:
// their block numbers are collected there for the block scan, which reads
// every block anyway. Leaves met above (under a damaged higher node) are read
// and handed over as usual.
void VolumeMount::walkLevels(BlockBitmap* later, std::uint16_t laterBelow) {
    liveLeaves_.clear();
    fromJournal_.clear();
    if (!isValidBlockSize(std::uint32_t(volume_.blockSize())) || !blockInVolume(volume_.rootBlock))
        return;
    std::vector<WalkParent> parents;
    if (!walkRoot(parents)) return;
    BlockSet seen;
    seen.insert(volume_.rootBlock);
    WalkCounts counts; // for the progress of the walk
    while (!parents.empty()) {
        if (stopRequested_) {
            result_.stopped = true;
            return;
        }
        const std::vector<std::uint64_t> level = nextLevel(parents, seen, later, laterBelow);
        if (!walkLevel(level, parents, counts) || stopRequested_) {
            result_.stopped = true;
            return;
        }
    }
}

MountResult VolumeMount::MountSelectedVolume(RecoveryMode mode) {
    result_ = MountResult{};
    journal_.reset(); // the disk may have changed since the last mount
    catalog_.ClearCatalog();
    catalog_.recoveryMode = mode;
    catalog_.progress = &progress_;
    progress_.percent(0);
    progress_.phase(Phase::MountingVolume);
    // The stop flag is the starter's to clear before the worker runs: a stop
    // pressed in between must not be lost.
    try {
        if (mode == RecoveryMode::Extensive)
            collectExtensive();
        else
            WalkTree();
        catalog_.releasePending(); // names and stat data that never met a partner
        const bool stopped = result_.stopped;
        stopRequested_ = false;
        catalog_.FindLostFolders(stopRequested_);
        stopRequested_ = false;
        progress_.percent(0);
        progress_.phase(Phase::CreatingTreeStructure);
        catalog_.BuildFolderTree(kRootObjectId);
        result_.stopped = stopped;
    } catch (const std::bad_alloc&) {
        result_.outOfMemory = true;
    }
    catalog_.progress = &nullProgress();
#ifdef __GLIBC__
    // The walk's scratch (leaves read ahead, waiting names) is freed by now
    // but mostly lies below what the catalog keeps: hand its pages back, or
    // the memory of whatever follows (a copy-out's plan) adds to it.
    ::malloc_trim(0);
#endif
    return result_;
}

} // namespace dorvak
