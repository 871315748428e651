#pragma once
// Catalog: the in-memory picture of a mounted volume. ReiserFS keeps a name
// (in the parent's directory item) apart from the attributes (in the stat
// data item); the catalog joins the two by the object's key (dirId,
// objectId), whichever comes first, and turns each pair into a folder or file
// entry. After the collection it gives folders and files whose parent never
// turned up a substitute "DirN" folder under the root, and lays out the
// folder tree.
//
// Lists keep the order of addition (the views show children in it). Every
// lookup the joins need goes through a hash index, so a mount costs time
// linear in the items read.

#include "disk/bytes.h"
#include "disk/progress.h"
#include "reiserfs/block_list.h"
#include "reiserfs/byte_arena.h"
#include "reiserfs/index_table.h"
#include "reiserfs/key_map.h"
#include "reiserfs/structures.h"

#include <atomic>
#include <compare>
#include <cstdint>
#include <deque>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace dorvak {

enum class RecoveryMode { Normal = 1, Extensive = 2 };

inline constexpr std::size_t kMaxNameLength = 255;
inline constexpr std::uint32_t kMaxDirEntries = 1000;

inline std::uint64_t objectKey(std::uint32_t dirId, std::uint32_t objectId) {
    return (std::uint64_t(dirId) << 32) | objectId;
}

// The name of a catalog entry: raw bytes from disk, at most 255. It points
// at a length byte and the bytes after it in its catalog's name store, which
// never moves them: a name is valid while the catalog that made it holds its
// entries (until ClearCatalog).
class EntryName {
public:
    EntryName() = default;
    std::size_t size() const { return *at_; }
    bool empty() const { return *at_ == 0; }
    const char* data() const { return reinterpret_cast<const char*>(at_ + 1); }
    std::string_view view() const { return {data(), size()}; }
    operator std::string_view() const { return view(); }
    std::string str() const { return std::string(view()); }
    friend bool operator==(const EntryName& a, const EntryName& b) { return a.view() == b.view(); }
    friend bool operator==(const EntryName& a, std::string_view b) { return a.view() == b; }
    friend std::strong_ordering operator<=>(const EntryName& a, const EntryName& b) {
        return a.view() <=> b.view();
    }
    friend std::string operator+(std::string path, const EntryName& name) {
        return path += name.view();
    }
    friend std::string operator+(const char* path, const EntryName& name) {
        return std::string(path) + name;
    }
    friend std::ostream& operator<<(std::ostream& out, const EntryName& name);

private:
    friend class Catalog;
    explicit EntryName(const std::uint8_t* at) : at_(at) {}
    static constexpr std::uint8_t kEmpty[1] = {0};
    const std::uint8_t* at_ = kEmpty;
};

// Fields ordered for a 48-byte record: a large volume holds millions.
struct CatalogEntry {
    EntryName name;
    std::uint32_t parentId = 0; // object id of the folder that lists it (2 = root)
    std::uint32_t objectId = 0;
    std::uint32_t modifiedTime = 0;
    // The directory id of the object's own key. It names the folder the
    // object was created in, which differs from parentId once the object was
    // moved; file data is found under this key.
    std::uint32_t keyDirId = 0;
    // Folders: the item number in the folder tree (1-based order of
    // placement), 0 while not placed.
    std::uint32_t treeItem = 0;
    // Files only.
    std::uint32_t auxValue = 0;
    std::uint32_t fileNumber = 0;
    // Regular, Symlink (its data is the link's target) or Special (a device,
    // FIFO or socket: no data).
    FileType fileType = FileType::Regular;
    // Found by the Extensive block scan but not in the live tree: a deleted
    // entry or an older version of a live one.
    bool deleted = false;
    // An older version whose bytes begin a newer version of the same file:
    // the same file caught while it was being written, left out of the views.
    bool folded = false;
    std::uint64_t size = 0; // files only
};
static_assert(sizeof(CatalogEntry) == 48 || sizeof(void*) != 8);

// Where one direct or indirect item lies: re-read from its leaf to copy data.
// Fields ordered for a 32-byte record: a large volume holds millions.
struct DataItemRef {
    std::uint64_t leafSector = 0;
    std::uint64_t keyOffset = 0; // 1-based byte position in the file (60 bits)
    std::uint32_t objectId = 0;
    std::uint32_t dirId = 0;
    std::uint16_t itemLocation = 0;
    std::uint16_t itemLength = 0;
};

// A run of blocks of the volume.
struct BlockRun {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};

// A file carved from blocks that nothing on the volume claims: its bytes are
// its runs, one after another, cut to its entry's size.
struct CarvedFile {
    std::uint32_t firstRun = 0; // its runs: CarvedRuns[firstRun, firstRun + runCount)
    std::uint32_t runCount = 0;
    std::uint32_t type = 0; // in the catalog's carved types
    // The format broke off and no continuation was found: the entry's size
    // is the length that checked good.
    bool damaged = false;
};

// Folders the catalog makes itself, under the root, with object ids no
// volume hands out in practice (ids count up from 2). A carved file's entry
// has keyDirId 0, which no item has, and its index in CarvedFiles as its
// objectId; its folder is kCarvedTypeFolderBase + the index of its type.
inline constexpr std::uint32_t kLostFilesFolderId = 0xFFFFFFF0u;
inline constexpr std::uint32_t kCarvedFilesFolderId = 0xFFFFFFF1u;
inline constexpr std::uint32_t kCarvedTypeFolderBase = 0xFFFF0000u;

class Catalog {
public:
    // The lists, read only: entries are added and changed through the
    // methods below, which keep the indexes over them in step.
    const std::vector<CatalogEntry>& FolderList() const { return folderList_; }
    const BlockList<CatalogEntry>& FileList() const { return fileList_; }
    // True when every file listed is the only one of its object (each went
    // through the Extensive duplicate test, and no object came twice): no
    // two can be versions of one file. False says nothing.
    bool oneFilePerObject() const { return !manyVersions_ && singleFiles_ == fileList_.size(); }
    const BlockList<DataItemRef>& DirectItems() const { return directItems_; }
    const BlockList<DataItemRef>& IndirectItems() const { return indirectItems_; }
    std::uint32_t folderCount() const { return folderCount_; }
    std::uint32_t fileCount() const { return fileCount_; }
    std::uint32_t treeFillCount() const { return treeFillCount_; }

    RecoveryMode recoveryMode = RecoveryMode::Normal;
    ProgressSink* progress = &nullProgress();

    // A catalog can hold millions of entries: it is never copied.
    Catalog() = default;
    Catalog(const Catalog&) = delete;
    Catalog& operator=(const Catalog&) = delete;

    void ClearCatalog();

    // The joins of a large volume look their keys up in tables of megabytes,
    // a cache miss each: the keys of a leaf are asked for together first, so
    // that the misses overlap.
    void prefetchObject(std::uint32_t dirId, std::uint32_t objectId) const {
        const std::uint64_t key = objectKey(dirId, objectId);
        if (objectId < byObject_.size()) __builtin_prefetch(&byObject_[objectId]);
        pending_.prefetch(key);
        joined_.prefetch(key);
    }
    // One stat data item of a leaf.
    void AddStatData(std::size_t location, Bytes block, std::size_t length, std::uint32_t dirId,
                     std::uint32_t objectId);
    // One directory item of a leaf; `directoryId` is the object id of the
    // directory the item lists.
    void AddDirectoryItem(std::uint32_t entryCount, std::size_t location, Bytes block,
                          std::size_t length, std::uint32_t directoryId);
    void AddFolder(std::string_view name, std::uint32_t parentId, std::uint32_t objectId,
                   std::uint32_t modifiedTime, std::uint32_t keyDirId);
    void AddFile(std::string_view name, std::uint32_t parentId, std::uint32_t objectId,
                 std::uint32_t modifiedTime, std::uint32_t auxValue, std::uint64_t size,
                 std::uint32_t keyDirId, FileType fileType = FileType::Regular);
    // A direct or an indirect item (any other type is ignored).
    void AddDataItem(ItemType type, const DataItemRef& ref) {
        if (type == ItemType::Direct) directItems_.push_back(ref);
        if (type == ItemType::Indirect) indirectItems_.push_back(ref);
    }

    // Carved files, grey under "Carved Files" in a folder per extension,
    // named by their first block ("b0035907.bz2", at least `digits` digits).
    void AddCarvedFile(std::span<const BlockRun> runs, std::uint64_t size,
                       std::string_view extension, std::string_view typeName, bool damaged,
                       unsigned digits);
    // A file whose stat data no name reaches, grey under "Lost Files".
    void AddLostFile(std::string_view name, std::uint32_t dirId, std::uint32_t objectId,
                     std::uint32_t modifiedTime, std::uint32_t auxValue, std::uint64_t size);
    // The carved file an entry stands for, or null.
    const CarvedFile* carvedFile(const CatalogEntry& entry) const;
    std::span<const BlockRun> runsOf(const CarvedFile& file) const {
        return std::span<const BlockRun>(carvedRuns_).subspan(file.firstRun, file.runCount);
    }
    // "JPEG image" for a carved JPEG.
    const std::string& carvedTypeName(const CarvedFile& file) const {
        return carvedTypes_[file.type].second;
    }
    std::size_t carvedFileCount() const { return carvedFiles_.size(); }
    // A nameless stat data of a regular file that no name joined: what the
    // lost-file pass needs of it.
    struct NamelessStat {
        std::uint32_t dirId, objectId, modifiedTime, auxValue;
        std::uint64_t size;
    };
    // The newest such stat data of each key that joined no name; called
    // before the waiting lists are released.
    std::vector<NamelessStat> namelessStats() const;

    // Gives a folder or a file a new name (at most 255 bytes kept).
    void renameFolder(std::size_t index, std::string_view name) {
        folderList_.at(index).name = keepEntryName(name);
    }
    void renameFile(std::size_t index, std::string_view name) {
        fileList_.at(index).name = keepEntryName(name);
    }
    // Marks the folders and files added since the lists held `folders` and
    // `files` entries as deleted (what the Extensive scan found outside the
    // live tree).
    void markDeletedFrom(std::size_t folders, std::size_t files);
    // Leaves an older version out of the views: its bytes begin a newer one.
    void fold(std::size_t file) { fileList_.at(file).folded = true; }
    // Gives every folder and file whose parent is missing a "DirN" parent
    // under the root (folders' ones first).
    void FindLostFolders(const std::atomic<bool>& stopRequested);
    // Numbers the folders reachable from `key` in tree order (children in
    // FolderList order, depth first) and records each one's treeItem.
    void BuildFolderTree(std::uint32_t key = 2);
    // Names and stat data that never met a partner (hard links, damage).
    void releasePending();
    // Names still waiting for their stat data.
    std::size_t pendingNameCount() const;

    // Views, valid after BuildFolderTree.
    const std::vector<std::uint32_t>& childFolders(std::uint32_t key) const;
    const std::vector<std::uint32_t>& childFiles(std::uint32_t key) const;
    // Replaces the files a folder lists (the version pass orders a file's
    // versions and leaves out the folded ones).
    void setChildFiles(std::uint32_t key, std::vector<std::uint32_t> files) {
        fileChildren_[key] = std::move(files);
    }
    // Index in FolderList of the folder with this object id, or -1.
    long folderIndex(std::uint32_t objectId) const;
    // "/A/B" from the root for a folder key (2 = ""), or false when the
    // folder is not reachable from the root. Names are appended by
    // appendPathName.
    bool folderPath(std::uint32_t key, std::string& path, char separator = '/') const;

private:
    friend class SavedScanCodec; // a saved scan's catalog, written and read back
    // The long lists never move what they hold as they grow: a vector
    // moving to a larger block would need both at once (a volume of a million
    // files), and the records are reached by index from the views.
    std::vector<CatalogEntry> folderList_;
    BlockList<CatalogEntry> fileList_;
    BlockList<DataItemRef> directItems_;
    BlockList<DataItemRef> indirectItems_;
    std::uint32_t folderCount_ = 0;
    std::uint32_t fileCount_ = 0;
    std::uint32_t treeFillCount_ = 0;

    // A name waiting for its stat data; its bytes are in the name arena.
    struct PendingName {
        std::uint32_t parentId;
        std::uint32_t at;    // its handle in the name arena
        std::uint8_t length; // names are at most 255 bytes
    };
    struct PendingStat {
        std::uint64_t size;
        std::uint32_t auxValue;
        std::uint32_t modifiedTime;
        // Normal mode: names this stat data may still join. A file with
        // several links keeps its stat data waiting for its other names.
        std::uint32_t namesLeft = 1;
        FileType type;
        bool sameVersion(const PendingStat& o) const {
            return type == o.type && size == o.size && auxValue == o.auxValue &&
                   modifiedTime == o.modifiedTime;
        }
    };
    // A list that holds its first element in place: nearly every key has
    // one name and one stat data, and an Extensive mount keeps them all.
    template <class T> class SmallList {
    public:
        std::size_t size() const { return many_ ? many_->size() : one_ ? 1 : 0; }
        bool empty() const { return size() == 0; }
        T* begin() { return many_ ? many_->data() : &first_; }
        T* end() { return begin() + size(); }
        const T* begin() const { return many_ ? many_->data() : &first_; }
        const T* end() const { return begin() + size(); }
        T& front() { return *begin(); }
        T& back() { return *(end() - 1); }
        void push_back(const T& v) {
            if (many_) {
                many_->push_back(v);
            } else if (!one_) {
                first_ = v;
                one_ = true;
            } else {
                many_ = std::make_unique<std::vector<T>>(std::vector<T>{first_, v});
            }
        }
        // Removes the first `n` elements.
        void eraseFront(std::size_t n) {
            if (many_)
                many_->erase(many_->begin(), many_->begin() + std::ptrdiff_t(n));
            else if (n > 0)
                one_ = false;
        }

    private:
        T first_{};
        bool one_ = false;
        std::unique_ptr<std::vector<T>> many_;
    };
    void join(std::uint64_t key, std::uint32_t parentId, std::string_view name,
              const PendingStat& stat);
    void addName(std::uint32_t dirId, std::uint32_t objectId, std::uint32_t parentId,
                 std::string_view name);
    std::string_view nameOf(const PendingName& name) const;
    PendingName keepName(std::uint32_t parentId, std::string_view name);
    void indexChildren();
    std::uint32_t carvedTypeFolder(std::string_view extension);
    std::vector<BlockRun> carvedRuns_;
    std::vector<CarvedFile> carvedFiles_;
    std::vector<std::pair<std::string, std::string>> carvedTypes_; // extension, type name
    // The entries' names, each a length byte and its bytes.
    ByteArena entryNames_;
    EntryName keepEntryName(std::string_view name);
    // The name whose length byte is at `at`, in entryNames_.
    static EntryName storedName(const std::uint8_t* at) { return EntryName(at); }
    // What a folder and a file entry share: name, keys and time.
    CatalogEntry makeEntry(std::string_view name, std::uint32_t parentId, std::uint32_t objectId,
                           std::uint32_t modifiedTime, std::uint32_t keyDirId);

    // Names waiting for their stat data and stat data waiting for a name,
    // under one key so that each item costs a single lookup.
    struct Pending {
        SmallList<PendingName> PendingNames;
        SmallList<PendingStat> PendingStats;
    };
    // A key's place in the joins: the key and its lists' code there, in
    // byObject_ (`direct`) or in pending_.
    struct PendingSlot {
        std::uint64_t key = 0;
        std::uint32_t* code = nullptr;
        bool direct = false;
    };
    // Per key with lists: their index in pendingLists_.
    KeyMap pending_;
    std::deque<Pending> pendingLists_;
    std::vector<std::uint32_t> freeLists_;                       // in pendingLists_, for reuse
    static constexpr std::uint32_t kNoLists = KeyMap::kFree - 1; // a new slot
    // Extensive mode: the keys whose one name and one stat data have made a
    // file, by that file's index. The file holds both, and most keys of a
    // volume end that way, so they cost no lists and no map node. A key that
    // meets another name or stat data later gets lists again, which then
    // take precedence (pending_ is asked first).
    TaggedIndexTable joined_;
    // Extensive mode, ahead of both: where each key stands, by its object
    // id. The scan meets leaves in disk order, so a name can wait long for
    // its stat data, and the hashed tables grow to megabytes with a cache
    // miss per lookup; object ids are handed out in order and a leaf holds
    // neighbours, so here a leaf's keys share a few cache lines. A slot
    // belongs to the first key of its object id for good (a joined file's
    // key keeps it when the key gets lists again); a key whose id is taken
    // by another, or past kDirectIds, uses the tables above.
    struct KeySlot {
        std::uint32_t dirId = 0;
        std::uint32_t code = KeyMap::kFree; // lists' code, or kJoinedFile | file index
    };
    static constexpr std::uint32_t kDirectIds = 1u << 22;
    static constexpr std::uint32_t kJoinedFile = 1u << 31;
    std::vector<KeySlot> byObject_;
    // The slot of `key` in byObject_, made room for; null when the key is
    // held by the tables (Normal mode, an id past kDirectIds, or one taken by
    // another key).
    KeySlot* directSlot(std::uint64_t key);
    // Calls `visit(key, code)` for every key with lists, in no order.
    template <class Visit> void forEachPending(Visit&& visit) const;
    std::uint64_t fileKey(std::uint32_t index) const {
        return objectKey(fileList_[index].keyDirId, fileList_[index].objectId);
    }
    // The lists of `key` and their map slot, made when it has none; or null
    // when the key's joined file already holds what is coming
    // (`sameAsFile(file)`).
    template <class SameAsFile>
    Pending* listsFor(std::uint64_t key, SameAsFile&& sameAsFile, PendingSlot& slot);
    Pending& listsOf(std::uint32_t& code, std::uint32_t joinedFile);
    void freeLists(std::uint32_t code);
    void settle(PendingSlot slot, std::size_t filesBefore);
    // The bytes of pending names, in chunks that never move. Names that
    // stop waiting leave their bytes behind: once those are more than half
    // the arena, the waiting names are copied into a fresh one.
    ByteArena nameArena_;
    std::size_t waitingNameBytes_ = 0;
    void forgetNames(const PendingName* begin, const PendingName* end);
    void compactNames();
    std::unordered_map<std::uint32_t, std::uint32_t> folderById_;
    // Extensive duplicate test: FileList indexes, hashed and compared by
    // (parentId, objectId, name, size, time) of the entry they point at: a
    // file edited in place keeps its size, so versions differ by either.
    std::size_t fileIdentity(std::uint32_t index) const;
    bool sameFile(std::uint32_t a, std::uint32_t b) const;
    // Whether a file like FileList[index] is listed already; when not, it is
    // recorded.
    bool seenBefore(std::uint32_t index);
    TaggedIndexTable fileSeen_;
    // By object id (the ids below kFirstVersionIds): the only file listed
    // with that id, kNone before any, kManyVersions once fileSeen_ holds
    // them. Most objects have one version: theirs is never hashed.
    static constexpr std::uint32_t kFirstVersionIds = 1u << 22;
    static constexpr std::uint32_t kManyVersions = IndexTable::kNone - 1;
    std::vector<std::uint32_t> firstVersion_;
    std::size_t singleFiles_ = 0; // recorded there as their object's only file
    bool manyVersions_ = false;   // an object came with a second file
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> folderChildren_;
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> fileChildren_;
};

// Appends `separator` and `name` to a path shown to the user or to a script.
// A name from a damaged or hostile disk may hold "/": inside a name "/" and
// "%" are written "%2F" and "%25" (as the copy-out names the file it writes),
// so "/a%2Fb/c" is "c" in the folder "a/b" and never the path of another.
void appendPathName(std::string& path, std::string_view name, char separator = '/');
// A name as a path shows it.
inline std::string shownName(std::string_view name) {
    std::string out;
    appendPathName(out, name);
    return out.substr(1);
}
// The same, as a new string: `parent` + "/" + the escaped name.
inline std::string childPath(std::string_view parent, std::string_view name) {
    std::string out(parent);
    appendPathName(out, name);
    return out;
}

} // namespace dorvak
