#pragma once
// FileContents: assembles a file's bytes from the direct and indirect items
// the mount recorded, and hands them to a sink in requests of at most
// `sectorsPerRead` sectors.
//
// A file's data items carry its own key: (keyDirId, objectId), the directory
// id of its stat data, which for a moved file is not the folder that lists it.
// Each item covers a byte range of the file (key offsets are 1-based):
//   direct   [offset - 1, offset - 1 + length)        the body is file bytes
//   indirect [offset - 1, offset - 1 + n × blockSize)  the body is n u32 block
//                                                     numbers, 0 for a hole
// The whole is cut to the size from the stat data. Holes are never written
// (the sink's file stays sparse); a range no item covers is reported as
// missing and left as a hole too.
//
// A carved file has no items: its bytes are the block runs the catalog
// keeps for it.
//
// Choosing among copies. A Normal mount reads each leaf once, so every range
// has one item. An Extensive mount also reads stale and journal copies of
// leaves, so one key can carry several items for the same range, from
// different versions of the file. Ranges are filled in this order, a range
// taken by an earlier item never being replaced:
//   0. items in leaves the live tree reaches, when the entry is the live
//      version of the file (so a live file comes out as in a Normal mount);
//   1. items in a leaf that also holds the file's stat data with this
//      entry's size and modification time (the same snapshot of the file);
//   2. items in a leaf holding the stat data with this size but another
//      time, the newest time first;
//   3. items in a leaf without the file's stat data (middle parts of large
//      files), live leaves first;
//   4. items in a leaf whose stat data has another size, or that reach past
//      this size (they belong to another version; last resort).
// Within a tier, live leaves come before stale ones and lower sectors first.

#include "disk/sector_reader.h"
#include "disk/volume_info.h"
#include "reiserfs/catalog.h"
#include "reiserfs/index_table.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <queue>
#include <span>
#include <string>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace dorvak {

struct ByteRange {
    std::uint64_t begin = 0;
    std::uint64_t end = 0; // one past the last byte
    bool operator==(const ByteRange&) const = default;
};

enum class DamageKind {
    Unreadable,    // a sector could not be read
    OutsideVolume, // a block number past the end of the volume
    Missing,       // no item holds these bytes
    // A carved file whose format broke off at `range.begin` and whose rest
    // was not found (an empty range: the file was written up to there).
    Incomplete,
};
struct Damage {
    ByteRange range;
    DamageKind kind;
};
const char* damageText(DamageKind kind);

// Where the bytes go. `write` may be called in any order of offsets; a false
// return ends the copy (the sink keeps its error). `proceed` is asked between
// read requests with the file bytes handled so far; false abandons the file.
class ContentSink {
public:
    virtual ~ContentSink() = default;
    virtual bool write(std::uint64_t offset, const std::uint8_t* data, std::size_t length) = 0;
    virtual bool proceed(std::uint64_t bytesHandled) = 0;
};

// NoData: the file has bytes but no item of it was found at all; nothing was
// written to the sink.
enum class ContentResult { Done, Abandoned, WriteFailed, NoData };

// Leaves of the live tree and whether the catalog came from an Extensive
// mount; built by the liveness pass. The leaves are kept sorted: a large
// volume has hundreds of thousands, and a sorted array is built and
// searched faster than a hash set is filled (and takes a fifth of its
// memory), which a saved scan's load pays for each time.
struct LiveState {
    bool extensive = false;
    std::vector<std::uint64_t> leafSectors; // first sectors, ascending, each once

    // The leaves at `sectors`, in any order.
    void setLeaves(std::vector<std::uint64_t> sectors) {
        // Most come sorted already (a mount's list, a saved scan's).
        if (!std::is_sorted(sectors.begin(), sectors.end()))
            std::sort(sectors.begin(), sectors.end());
        sectors.erase(std::unique(sectors.begin(), sectors.end()), sectors.end());
        leafSectors = std::move(sectors);
    }
    bool isLiveLeaf(std::uint64_t sector) const {
        return std::binary_search(leafSectors.begin(), leafSectors.end(), sector);
    }
};

class FileContents {
public:
    // `live` may be null for a Normal mount: every item is then live.
    FileContents(SectorReader& reader, const VolumeInfo& volume, const Catalog& catalog,
                 const LiveState* live);

    std::uint32_t sectorsPerRead = 60;

    // One piece of the chosen layout: bytes [begin, end) of the file come
    // from `item` (null: no item, missing).
    struct Segment {
        ByteRange range;
        const DataItemRef* item = nullptr;
        bool direct = false;
    };
    std::vector<Segment> layout(const CatalogEntry& file);

    // Copies the file into `sink`; `damage` receives the ranges that are
    // zeros because they could not be read or found.
    ContentResult copy(const CatalogEntry& file, ContentSink& sink, std::vector<Damage>& damage);
    // The copy-out's route over the leaves and the data blocks of small
    // files. Every file to be copied is added first, which gives it a
    // ticket; `planRoute` then reads the leaves that hold the files' block
    // pointers (in one ascending sweep) and gives each ticket its order: the
    // sector of the last leaf or data block the file needs (all ones: none).
    // Files are then copied in ascending order, each after `advanceTo` its
    // order. The route reads its leaves and blocks in ascending order, whole
    // blocks, forward through short gaps in requests of sectorsPerRead, and
    // holds each until the copy-out has passed the last file that needs it:
    // a file whose items or data lie far apart costs no seek back, and the
    // rest of a block a file does not own is read through, not sought over.
    // A leaf or block off the route, or one the held ones had no room for,
    // is read on its own.
    std::uint64_t addToRoute(const CatalogEntry& file);
    void planRoute();
    std::uint64_t routeOrder(std::uint64_t ticket) const {
        return ticket < routeFiles_.size() ? routeFiles_[ticket].order : ~std::uint64_t(0);
    }
    void advanceTo(std::uint64_t sector);
    // The whole of a small file (a link's target) into `out`: nothing when it
    // is longer than `limit` or no data of it was found.
    std::optional<std::string> readSmall(const CatalogEntry& file, std::size_t limit,
                                         std::vector<Damage>& damage);

private:
    struct Candidate {
        const DataItemRef* ref;
        bool direct;
        ByteRange range;
        bool live;
        int tier = 0;
        std::uint32_t snapshotTime = 0;
    };
    struct CachedLeaf {
        std::uint64_t sector = ~std::uint64_t(0);
        std::vector<std::uint8_t> data;
        std::vector<std::uint64_t> unreadable;
        std::uint64_t lastUse = 0;
    };
    std::vector<Candidate> candidates(const CatalogEntry& file) const;
    void rank(const CatalogEntry& file, Candidate& c);
    const CachedLeaf& leaf(std::uint64_t sector);
    bool leafBytesReadable(const CachedLeaf& leaf, std::size_t from, std::size_t length) const;
    ContentResult copyDirect(const Segment& s, ContentSink& sink, std::vector<Damage>& damage);
    ContentResult copyIndirect(const Segment& s, ContentSink& sink, std::vector<Damage>& damage);
    ContentResult copyCarved(const CatalogEntry& file, const CarvedFile& carved, ContentSink& sink,
                             std::vector<Damage>& damage);
    ContentResult copyRun(std::uint64_t fileOffset, std::uint64_t diskByte, std::uint64_t length,
                          ContentSink& sink, std::vector<Damage>& damage);

    SectorReader& reader_;
    const VolumeInfo& volume_;
    const LiveState* live_;
    std::uint32_t blockSize_;
    std::uint64_t volumeBlocks_;
    const Catalog& catalog_;
    // Every data item, as its index in DirectItems or, with kIndirect set,
    // in IndirectItems, sorted by the item's key (dirId, objectId) and then
    // by that code: a file's items are one run of it, whose start a hash
    // table of positions finds. About twelve bytes an item, where a map of
    // lists per key cost eight times that on a volume of small files.
    std::vector<std::uint32_t> itemsByKey_;
    IndexTable firstOfKey_; // where each key's run begins in itemsByKey_
    static constexpr std::uint32_t kIndirect = 1u << 31;
    const DataItemRef& itemOf(std::uint32_t code) const {
        return code & kIndirect ? catalog_.IndirectItems()[code & ~kIndirect]
                                : catalog_.DirectItems()[code];
    }
    std::uint64_t keyOf(std::uint32_t code) const {
        const DataItemRef& r = itemOf(code);
        return objectKey(r.dirId, r.objectId);
    }
    // The codes of a file's items.
    std::span<const std::uint32_t> itemsOf(const CatalogEntry& file) const;
    std::vector<CachedLeaf> leaves_;
    std::uint64_t useClock_ = 0;
    std::vector<std::uint8_t> readBuffer_;
    std::vector<std::uint64_t> unreadable_;
    const CachedLeaf* held(std::uint64_t sector) const;
    // The held copy of `sectors` sectors from `sector`, when the route read
    // them all readable as one data block run.
    const std::uint8_t* heldData(std::uint64_t sector, std::uint32_t sectors) const;
    void readRoute(std::uint64_t sector, std::uint32_t sectors, CachedLeaf& out);
    void collectDataRuns(std::vector<std::pair<std::uint64_t, std::uint32_t>>& items);
    // A file on the route: its entry and, once planned, its order.
    struct RouteFile {
        const CatalogEntry* file;
        std::uint64_t order;
    };
    std::vector<RouteFile> routeFiles_;
    // A stretch the route reads: a leaf or a run of a file's data blocks,
    // and until when it is held (a ticket until the route is planned, then
    // the order of the last file that needs it).
    struct RouteStop {
        std::uint64_t sector;
        std::uint64_t until;
        std::uint32_t sectors;
        bool data;
        auto operator<=>(const RouteStop&) const = default;
    };
    std::deque<RouteStop> route_; // grows by what it holds
    bool routeSorted_ = false;
    std::size_t routeNext_ = 0; // route_[routeNext_] is the next stretch to read
    std::unordered_map<std::uint64_t, CachedLeaf> held_;
    std::map<std::uint64_t, CachedLeaf> heldData_; // by first sector
    // Held stretches by the last file that needs them, soonest first.
    std::priority_queue<std::tuple<std::uint64_t, std::uint64_t, bool>,
                        std::vector<std::tuple<std::uint64_t, std::uint64_t, bool>>, std::greater<>>
        heldUntil_;
    std::size_t heldBytes_ = 0;
    // The forward run the route reads in: sectors [runStart_, runStart_ +
    // run_.size() / 512), with the unreadable ones among them.
    bool runPrimed_ = false;
    std::uint64_t runStart_ = 0;
    std::vector<std::uint8_t> run_;
    std::vector<std::uint64_t> runUnreadable_;
};

// Merges touching ranges of the same kind (reports stay short).
void addDamage(std::vector<Damage>& damage, ByteRange range, DamageKind kind);

} // namespace dorvak
