#pragma once
// Catalog: the in-memory picture of a mounted volume. ReiserFS keeps a name
// (in the parent's directory item) apart from the attributes (in the stat
// data item); the catalog joins the two by the object's key (dirId,
// objectId), whichever comes first, and turns each pair into a folder or file
// entry. After the collection it gives folders whose parent never turned up
// a substitute "DirN" folder under the root, and lays out the folder tree.
//
// Lists keep the order of addition (the views show children in it). Every
// lookup the joins need goes through a hash index, so a mount costs time
// linear in the items read.

#include "disk/bytes.h"
#include "disk/progress.h"
#include "reiserfs/byte_arena.h"
#include "reiserfs/index_table.h"
#include "reiserfs/structures.h"

#include <atomic>
#include <compare>
#include <cstdint>
#include <deque>
#include <iosfwd>
#include <memory>
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

class Catalog {
public:
    // The long lists are deques: they grow by what they hold, never to
    // twice that as a vector does when it moves to a larger block (a volume
    // of a million files would need both blocks at once).
    std::vector<CatalogEntry> FolderList;
    std::deque<CatalogEntry> FileList;
    std::deque<DataItemRef> DirectItems;
    std::deque<DataItemRef> IndirectItems;
    std::uint32_t folderCount = 0;
    std::uint32_t fileCount = 0;
    std::uint32_t treeFillCount = 0;

    RecoveryMode recoveryMode = RecoveryMode::Normal;
    ProgressSink* progress = &nullProgress();

    // A catalog can hold millions of entries: it is never copied.
    Catalog() = default;
    Catalog(const Catalog&) = delete;
    Catalog& operator=(const Catalog&) = delete;

    void ClearCatalog();

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
    void AddDataItem(std::deque<DataItemRef>& list, const DataItemRef& ref) { list.push_back(ref); }

    // Gives an entry of this catalog a new name (at most 255 bytes kept).
    void rename(CatalogEntry& entry, std::string_view name) { entry.name = keepEntryName(name); }
    // Gives every folder whose parent is missing a "DirN" parent under the root.
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
    // Index in FolderList of the folder with this object id, or -1.
    long folderIndex(std::uint32_t objectId) const;
    // "/A/B" from the root for a folder key (2 = ""), or false when the
    // folder is not reachable from the root.
    bool folderPath(std::uint32_t key, std::string& path, char separator = '/') const;

private:
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
    // The entries' names, each a length byte and its bytes.
    ByteArena entryNames_;
    EntryName keepEntryName(std::string_view name);
    // What a folder and a file entry share: name, keys and time.
    CatalogEntry makeEntry(std::string_view name, std::uint32_t parentId, std::uint32_t objectId,
                           std::uint32_t modifiedTime, std::uint32_t keyDirId);

    // Names waiting for their stat data and stat data waiting for a name,
    // under one key so that each item costs a single lookup.
    struct Pending {
        SmallList<PendingName> PendingNames;
        SmallList<PendingStat> PendingStats;
    };
    using PendingSlot = std::unordered_map<std::uint64_t, std::uint32_t>::iterator;
    // Per key with lists: their index in pendingLists_.
    std::unordered_map<std::uint64_t, std::uint32_t> pending_;
    std::deque<Pending> pendingLists_;
    std::vector<std::uint32_t> freeLists_;                       // in pendingLists_, for reuse
    static constexpr std::uint32_t kNoLists = ~std::uint32_t(0); // a new slot
    // Extensive mode: the keys whose one name and one stat data have made a
    // file, by that file's index. The file holds both, and most keys of a
    // volume end that way, so they cost no lists and no map node. A key that
    // meets another name or stat data later gets lists again, which then
    // take precedence (pending_ is asked first).
    IndexTable joined_;
    std::uint64_t fileKey(std::uint32_t index) const {
        return objectKey(FileList[index].keyDirId, FileList[index].objectId);
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
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> folderChildren_;
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> fileChildren_;
};

} // namespace dorvak
