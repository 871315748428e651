#include "reiserfs/catalog.h"

#include "reiserfs/structures.h"

#include <algorithm>
#include <cstring>
#include <ostream>

namespace dorvak {
namespace {

const std::vector<std::uint32_t> kNoChildren;

// Records kept per key. Real volumes hold a few versions of an object and
// a few names (hard links); a hostile one could repeat one key in every
// leaf, and every name meets every stat data in Extensive mode, so the
// lists are bounded to keep the joins from growing without end.
constexpr std::size_t kMaxNamesPerKey = 256;
constexpr std::size_t kMaxStatsPerKey = 64;

} // namespace

std::ostream& operator<<(std::ostream& out, const EntryName& name) {
    return out << name.view();
}

EntryName Catalog::keepEntryName(std::string_view name) {
    std::uint8_t run[1 + kMaxNameLength];
    const std::size_t length = std::min(name.size(), kMaxNameLength);
    run[0] = std::uint8_t(length);
    std::memcpy(run + 1, name.data(), length);
    const std::uint32_t at = entryNames_.add(run, 1 + length);
    return EntryName(entryNames_.chunkOf(at).data() + ByteArena::offsetOf(at));
}

std::size_t Catalog::fileIdentity(std::uint32_t index) const {
    const CatalogEntry& e = fileList_[index];
    std::size_t h = std::hash<std::string_view>()(e.name);
    for (std::uint64_t v :
         {std::uint64_t(e.parentId) << 32 | e.objectId, e.size, std::uint64_t(e.modifiedTime)})
        h = (h ^ std::hash<std::uint64_t>()(v)) * 0x9E3779B97F4A7C15ull;
    return h;
}

bool Catalog::sameFile(std::uint32_t a, std::uint32_t b) const {
    const CatalogEntry& x = fileList_[a];
    const CatalogEntry& y = fileList_[b];
    return x.parentId == y.parentId && x.objectId == y.objectId && x.size == y.size &&
           x.modifiedTime == y.modifiedTime && x.name == y.name;
}

bool Catalog::seenBefore(std::uint32_t index) {
    const std::uint32_t id = fileList_[index].objectId;
    if (id < kFirstVersionIds) {
        if (id >= firstVersion_.size())
            firstVersion_.resize(std::max<std::size_t>(id + 1, firstVersion_.size() * 2),
                                 IndexTable::kNone);
        std::uint32_t& first = firstVersion_[id];
        if (first == IndexTable::kNone) {
            first = index; // no file with this id yet
            ++singleFiles_;
            return false;
        }
        if (first != kManyVersions) {
            if (sameFile(first, index)) return true;
            fileSeen_.insert(first, fileIdentity(first),
                             [&](std::uint32_t i) { return fileIdentity(i); });
            first = kManyVersions;
            manyVersions_ = true;
        }
    }
    const std::size_t hash = fileIdentity(index);
    if (fileSeen_.find(hash, [&](std::uint32_t known) { return sameFile(known, index); }) !=
        IndexTable::kNone)
        return true;
    fileSeen_.insert(index, hash, [&](std::uint32_t i) { return fileIdentity(i); });
    return false;
}

Catalog::KeySlot* Catalog::directSlot(std::uint64_t key) {
    const auto objectId = std::uint32_t(key);
    if (recoveryMode != RecoveryMode::Extensive || objectId >= kDirectIds) return nullptr;
    if (objectId >= byObject_.size())
        byObject_.resize(std::min<std::size_t>(
            std::max<std::size_t>({objectId + 1, byObject_.size() * 2, 1024}), kDirectIds));
    KeySlot& s = byObject_[objectId];
    if (s.code == KeyMap::kFree) s.dirId = std::uint32_t(key >> 32);
    return s.dirId == std::uint32_t(key >> 32) ? &s : nullptr;
}

template <class Visit> void Catalog::forEachPending(Visit&& visit) const {
    pending_.forEach(visit);
    for (std::uint32_t id = 0; id < byObject_.size(); ++id) {
        const KeySlot& s = byObject_[id];
        if (s.code != KeyMap::kFree && !(s.code & kJoinedFile))
            visit(objectKey(s.dirId, id), s.code);
    }
}

template <class SameAsFile>
Catalog::Pending* Catalog::listsFor(std::uint64_t key, SameAsFile&& sameAsFile, PendingSlot& slot) {
    slot.key = key;
    if (KeySlot* s = directSlot(key)) {
        slot.direct = true;
        slot.code = &s->code;
        std::uint32_t file = IndexTable::kNone;
        if (s->code == KeyMap::kFree) {
            s->code = kNoLists;
        } else if (s->code & kJoinedFile) {
            file = s->code & ~kJoinedFile;
            if (sameAsFile(fileList_[file])) return nullptr;
            s->code = kNoLists; // the lists take the file's name and stat data
        }
        return &listsOf(*slot.code, file);
    }
    slot.direct = false;
    slot.code = pending_.find(key);
    std::uint32_t file = IndexTable::kNone;
    if (!slot.code) {
        file = joined_.find(key, [&](std::uint32_t i) { return fileKey(i) == key; });
        if (file != IndexTable::kNone && sameAsFile(fileList_[file])) return nullptr;
        slot.code = pending_.insert(key, kNoLists);
    }
    return &listsOf(*slot.code, file);
}

void Catalog::ClearCatalog() {
    folderList_.clear();
    fileList_.clear();
    directItems_.clear();
    indirectItems_.clear();
    releasePending();
    entryNames_.clear();
    folderById_.clear();
    fileSeen_.clear();
    firstVersion_ = {};
    singleFiles_ = 0;
    manyVersions_ = false;
    folderChildren_.clear();
    fileChildren_.clear();
    carvedRuns_.clear();
    carvedFiles_.clear();
    carvedTypes_.clear();
    folderCount_ = fileCount_ = treeFillCount_ = 0;
}

void Catalog::releasePending() {
    // Swapped with empty ones: clear() would keep a deque's blocks and a
    // vector's capacity.
    pending_.clear();
    joined_.clear();
    decltype(byObject_)().swap(byObject_);
    decltype(pendingLists_)().swap(pendingLists_);
    decltype(freeLists_)().swap(freeLists_);
    nameArena_.clear();
    waitingNameBytes_ = 0;
}

void Catalog::forgetNames(const PendingName* begin, const PendingName* end) {
    for (const PendingName* n = begin; n != end; ++n)
        waitingNameBytes_ -= n->length;
}

void Catalog::compactNames() {
    ByteArena old;
    old.swap(nameArena_);
    waitingNameBytes_ = 0;
    for (Pending& p : pendingLists_)
        for (PendingName& n : p.PendingNames)
            n = keepName(n.parentId, old.text(n.at, n.length));
}

Catalog::PendingName Catalog::keepName(std::uint32_t parentId, std::string_view name) {
    waitingNameBytes_ += name.size();
    return PendingName{parentId, nameArena_.add(name.data(), name.size()),
                       std::uint8_t(name.size())};
}

// The lists of a key, made for it when it has none yet (`code` is a new
// map slot); a key whose file was joined gets that file's name and stat data
// in them.
Catalog::Pending& Catalog::listsOf(std::uint32_t& code, std::uint32_t joinedFile) {
    if (code != kNoLists) return pendingLists_[code];
    std::uint32_t index;
    if (!freeLists_.empty()) {
        index = freeLists_.back();
        freeLists_.pop_back();
    } else {
        index = std::uint32_t(pendingLists_.size());
        pendingLists_.emplace_back();
    }
    Pending& p = pendingLists_[index];
    if (joinedFile != IndexTable::kNone) {
        const CatalogEntry& f = fileList_[joinedFile];
        p.PendingNames.push_back(keepName(f.parentId, f.name));
        p.PendingStats.push_back({f.size, f.auxValue, f.modifiedTime, 1, f.fileType});
    }
    code = index;
    return p;
}

void Catalog::freeLists(std::uint32_t code) {
    if (code == kNoLists) return;
    const Pending& p = pendingLists_[code];
    forgetNames(p.PendingNames.begin(), p.PendingNames.end());
    pendingLists_[code] = Pending{};
    freeLists_.push_back(code);
}

// Extensive mode: a key whose only name and stat data have just made a new
// file is kept as that file.
void Catalog::settle(PendingSlot slot, std::size_t filesBefore) {
    const Pending& p = pendingLists_[*slot.code];
    if (p.PendingNames.size() != 1 || p.PendingStats.size() != 1 ||
        fileList_.size() != filesBefore + 1 || fileList_.size() > IndexTable::kNone)
        return;
    if (slot.direct && fileList_.size() > kJoinedFile) return; // left waiting
    const std::uint64_t key = slot.key;
    freeLists(*slot.code);
    if (slot.direct) {
        *slot.code = kJoinedFile | std::uint32_t(fileList_.size() - 1);
        return;
    }
    pending_.erase(key);
    joined_.insert(std::uint32_t(fileList_.size() - 1), key,
                   [&](std::uint32_t i) { return fileKey(i); });
}

std::string_view Catalog::nameOf(const PendingName& name) const {
    return nameArena_.text(name.at, name.length);
}

std::size_t Catalog::pendingNameCount() const {
    std::size_t n = 0;
    forEachPending(
        [&](std::uint64_t, std::uint32_t code) { n += pendingLists_[code].PendingNames.size(); });
    return n;
}

void Catalog::join(std::uint64_t key, std::uint32_t parentId, std::string_view name,
                   const PendingStat& stat) {
    const auto dirId = std::uint32_t(key >> 32);
    const auto objectId = std::uint32_t(key);
    if (stat.type == FileType::Directory)
        AddFolder(name, parentId, objectId, stat.modifiedTime, dirId);
    else
        AddFile(name, parentId, objectId, stat.modifiedTime, stat.auxValue, stat.size, dirId,
                stat.type);
}
// Normal mode joins a stat data with as many names as its link count says (a
// file with hard links has several; a folder's count includes its
// subfolders' "..", so a folder joins one), whichever comes first; names past
// that count stay pending.
// Extensive mode reads several copies of a leaf, so one key meets several
// names and stat data: every name is joined with every stat data met for the
// key, and the duplicate rules of AddFolder/AddFile collapse the repeats.
void Catalog::AddStatData(std::size_t location, Bytes block, std::size_t length,
                          std::uint32_t dirId, std::uint32_t objectId) {
    auto sd = ReadStatData(block, location, length);
    if (!sd) return;
    if (sd->fileType == FileType::Other) return; // no file system object has this mode
    PendingStat stat{sd->size, sd->auxValue, sd->modifiedTime, 1, sd->fileType};
    if (sd->fileType != FileType::Directory)
        stat.namesLeft = std::clamp<std::uint32_t>(sd->linkCount, 1, kMaxNamesPerKey);
    const std::uint64_t key = objectKey(dirId, objectId);
    PendingSlot slot;
    Pending* lists = listsFor(
        key,
        [&](const CatalogEntry& f) {
            return PendingStat{f.size, f.auxValue, f.modifiedTime, 1, f.fileType}.sameVersion(stat);
        },
        slot);
    if (!lists) return;
    Pending& p = *lists;
    std::uint32_t& code = *slot.code;

    if (recoveryMode == RecoveryMode::Normal) {
        const std::size_t joined = std::min<std::size_t>(stat.namesLeft, p.PendingNames.size());
        // Copies: the lists may go before the joins (one name, nearly always).
        const PendingName one = joined == 1 ? p.PendingNames.front() : PendingName{};
        std::vector<PendingName> more;
        if (joined > 1) more.assign(p.PendingNames.begin(), p.PendingNames.begin() + joined);
        const PendingName* names = joined > 1 ? more.data() : &one;
        forgetNames(names, names + joined);
        p.PendingNames.eraseFront(joined);
        stat.namesLeft -= std::uint32_t(joined);
        if (stat.namesLeft > 0 && p.PendingStats.size() < kMaxStatsPerKey)
            p.PendingStats.push_back(stat);
        if (p.PendingNames.empty() && p.PendingStats.empty()) {
            freeLists(code);
            pending_.erase(slot.key); // Normal mode: never a direct slot
        }
        for (std::size_t i = 0; i < joined; ++i)
            join(key, names[i].parentId, nameOf(names[i]), stat);
        return;
    }
    if (p.PendingStats.size() >= kMaxStatsPerKey ||
        std::any_of(p.PendingStats.begin(), p.PendingStats.end(),
                    [&](const PendingStat& known) { return known.sameVersion(stat); }))
        return;
    p.PendingStats.push_back(stat);
    const std::size_t filesBefore = fileList_.size();
    // join() never touches pending_, so the references stay valid.
    for (const PendingName& name : p.PendingNames)
        join(key, name.parentId, nameOf(name), stat);
    settle(slot, filesBefore);
}

void Catalog::addName(std::uint32_t dirId, std::uint32_t objectId, std::uint32_t parentId,
                      std::string_view name) {
    if (nameArena_.size() > 2 * ByteArena::kChunk && waitingNameBytes_ * 2 < nameArena_.size())
        compactNames();
    const std::uint64_t key = objectKey(dirId, objectId);
    PendingSlot slot;
    Pending* lists = listsFor(
        key, [&](const CatalogEntry& f) { return f.parentId == parentId && f.name == name; }, slot);
    if (!lists) return;
    Pending& p = *lists;
    std::uint32_t& code = *slot.code;
    if (recoveryMode == RecoveryMode::Normal) {
        if (!p.PendingStats.empty()) {
            const PendingStat stat = p.PendingStats.front();
            if (--p.PendingStats.front().namesLeft == 0) p.PendingStats.eraseFront(1);
            if (p.PendingNames.empty() && p.PendingStats.empty()) {
                freeLists(code);
                pending_.erase(slot.key); // Normal mode: never a direct slot
            }
            join(key, parentId, name, stat);
        } else if (p.PendingNames.size() < kMaxNamesPerKey) {
            p.PendingNames.push_back(keepName(parentId, name));
        }
        return;
    }
    if (p.PendingNames.size() >= kMaxNamesPerKey) return;
    for (const PendingName& known : p.PendingNames)
        if (known.parentId == parentId && nameOf(known) == name) return;
    p.PendingNames.push_back(keepName(parentId, name));
    const std::size_t filesBefore = fileList_.size();
    for (const PendingStat& stat : p.PendingStats)
        join(key, parentId, name, stat);
    settle(slot, filesBefore);
}

void Catalog::AddDirectoryItem(std::uint32_t entryCount, std::size_t location, Bytes block,
                               std::size_t length, std::uint32_t directoryId) {
    const std::size_t end = location + length;
    if (end > block.size() || entryCount > kMaxDirEntries) return;
    Bytes item = block.first(end);

    // First pass: every entry head inside the item, name positions inside the
    // item and strictly falling; otherwise the whole item is damaged.
    std::vector<DirEntry> entries;
    entries.reserve(entryCount);
    for (std::uint32_t j = 0; j < entryCount; ++j) {
        auto e = ReadDirEntry(item, location, j);
        if (!e || e->nameLocation > end) return;
        if (j > 0 && e->nameLocation >= entries.back().nameLocation) return;
        prefetchObject(e->dirId, e->objectId);
        entries.push_back(*e);
    }

    for (std::uint32_t j = 0; j < entryCount; ++j) {
        const std::size_t from = entries[j].nameLocation;
        const std::size_t spanEnd = j == 0 ? end : entries[j - 1].nameLocation;
        const std::size_t limit = std::min(spanEnd, from + kMaxNameLength);
        std::size_t stop = from;
        while (stop < limit && item[stop] != 0)
            ++stop;
        const std::string_view name(reinterpret_cast<const char*>(item.data() + from), stop - from);
        if (name.empty() || name == "." || name == "..") continue;
        // An entry whose key names another directory is an object moved here
        // after it was created: it still belongs to this directory.
        addName(entries[j].dirId, entries[j].objectId, directoryId, name);
    }
}

CatalogEntry Catalog::makeEntry(std::string_view name, std::uint32_t parentId,
                                std::uint32_t objectId, std::uint32_t modifiedTime,
                                std::uint32_t keyDirId) {
    CatalogEntry e;
    e.name = keepEntryName(name);
    e.parentId = parentId;
    e.objectId = objectId;
    e.modifiedTime = modifiedTime;
    e.keyDirId = keyDirId;
    return e;
}

void Catalog::AddFolder(std::string_view name, std::uint32_t parentId, std::uint32_t objectId,
                        std::uint32_t modifiedTime, std::uint32_t keyDirId) {
    if (folderById_.count(objectId)) return; // the first folder per object id wins
    const CatalogEntry e = makeEntry(name, parentId, objectId, modifiedTime, keyDirId);
    folderById_.emplace(objectId, std::uint32_t(folderList_.size()));
    folderList_.push_back(e);
    ++folderCount_;
    progress->foldersFound(folderCount_);
    progress->lastName(name);
}

void Catalog::AddFile(std::string_view name, std::uint32_t parentId, std::uint32_t objectId,
                      std::uint32_t modifiedTime, std::uint32_t auxValue, std::uint64_t size,
                      std::uint32_t keyDirId, FileType fileType) {
    CatalogEntry e = makeEntry(name, parentId, objectId, modifiedTime, keyDirId);
    e.auxValue = auxValue;
    e.size = size;
    e.fileType = fileType;
    e.fileNumber = fileCount_ + 1;
    fileList_.push_back(e);
    if (recoveryMode == RecoveryMode::Extensive &&
        seenBefore(std::uint32_t(fileList_.size() - 1))) {
        fileList_.pop_back(); // the same version of this file is listed already
        entryNames_.dropLast(1 + e.name.size());
        return;
    }
    ++fileCount_;
    progress->filesFound(fileCount_);
    progress->lastName(name);
}

std::vector<Catalog::NamelessStat> Catalog::namelessStats() const {
    std::vector<NamelessStat> out;
    forEachPending([&](std::uint64_t key, std::uint32_t code) {
        const Pending& p = pendingLists_[code];
        if (!p.PendingNames.empty()) return;
        const PendingStat* newest = nullptr;
        for (const PendingStat& stat : p.PendingStats)
            if (stat.type == FileType::Regular &&
                (!newest || std::pair(stat.modifiedTime, stat.size) >
                                std::pair(newest->modifiedTime, newest->size)))
                newest = &stat;
        if (newest)
            out.push_back({std::uint32_t(key >> 32), std::uint32_t(key), newest->modifiedTime,
                           newest->auxValue, newest->size});
    });
    // The map's order is no order: the lost files are listed by key.
    std::sort(out.begin(), out.end(), [](const NamelessStat& a, const NamelessStat& b) {
        return objectKey(a.dirId, a.objectId) < objectKey(b.dirId, b.objectId);
    });
    return out;
}

void Catalog::AddLostFile(std::string_view name, std::uint32_t dirId, std::uint32_t objectId,
                          std::uint32_t modifiedTime, std::uint32_t auxValue, std::uint64_t size) {
    if (!folderById_.count(kLostFilesFolderId)) {
        AddFolder("Lost Files", kRootObjectId, kLostFilesFolderId, 0, kRootObjectId);
        folderList_.back().deleted = true;
    }
    const std::size_t before = fileList_.size();
    AddFile(name, kLostFilesFolderId, objectId, modifiedTime, auxValue, size, dirId);
    if (fileList_.size() > before) fileList_.back().deleted = true;
}

void Catalog::markDeletedFrom(std::size_t folders, std::size_t files) {
    for (std::size_t i = folders; i < folderList_.size(); ++i)
        folderList_[i].deleted = true;
    for (std::size_t i = files; i < fileList_.size(); ++i)
        fileList_[i].deleted = true;
}

// The folder of a carved type: one per extension (a walker that learnt a
// finer type name, an ODT from a ZIP, keeps its extension's folder), made
// with its parents when first needed.
std::uint32_t Catalog::carvedTypeFolder(std::string_view extension) {
    if (!folderById_.count(kCarvedFilesFolderId)) {
        AddFolder("Carved Files", kRootObjectId, kCarvedFilesFolderId, 0, kRootObjectId);
        folderList_.back().deleted = true;
    }
    std::uint32_t first = 0;
    while (first < carvedTypes_.size() && carvedTypes_[first].first != extension)
        ++first;
    const std::uint32_t folder = kCarvedTypeFolderBase + first;
    if (!folderById_.count(folder)) {
        AddFolder(extension, kCarvedFilesFolderId, folder, 0, kRootObjectId);
        folderList_.back().deleted = true;
    }
    return folder;
}

void Catalog::AddCarvedFile(std::span<const BlockRun> runs, std::uint64_t size,
                            std::string_view extension, std::string_view typeName, bool damaged,
                            unsigned digits) {
    std::uint32_t type = 0;
    while (type < carvedTypes_.size() &&
           (carvedTypes_[type].first != extension || carvedTypes_[type].second != typeName))
        ++type;
    // Type folders take the ids below "Lost Files".
    if (runs.empty() || type >= kLostFilesFolderId - kCarvedTypeFolderBase) return;
    if (type == carvedTypes_.size()) carvedTypes_.emplace_back(extension, typeName);
    const std::uint32_t folder = carvedTypeFolder(extension);
    CarvedFile file;
    file.firstRun = std::uint32_t(carvedRuns_.size());
    file.runCount = std::uint32_t(runs.size());
    file.type = type;
    file.damaged = damaged;
    carvedRuns_.insert(carvedRuns_.end(), runs.begin(), runs.end());
    const auto index = std::uint32_t(carvedFiles_.size());
    carvedFiles_.push_back(file);
    std::string number = std::to_string(runs.front().first);
    if (number.size() < digits) number.insert(0, digits - number.size(), '0');
    std::string name = "b" + number;
    if (!extension.empty()) name += "." + std::string(extension);
    const std::size_t before = fileList_.size();
    AddFile(name, folder, index, 0, 0, size, 0);
    if (fileList_.size() > before) fileList_.back().deleted = true;
}

const CarvedFile* Catalog::carvedFile(const CatalogEntry& entry) const {
    if (entry.keyDirId != 0 || entry.parentId < kCarvedTypeFolderBase ||
        entry.parentId >= kLostFilesFolderId || entry.objectId >= carvedFiles_.size())
        return nullptr;
    return &carvedFiles_[entry.objectId];
}

void Catalog::FindLostFolders(const std::atomic<bool>& stopRequested) {
    progress->phase(Phase::SearchingLostData);
    progress->percent(0);
    std::uint32_t n = 0;
    // FolderList grows while it is walked: lost folders added here are
    // visited too (their parent is the root, so they pass at once).
    for (std::size_t visited = 0; visited < folderList_.size(); ++visited) {
        if (stopRequested) break;
        const std::uint64_t share = folderCount_ ? std::uint64_t(visited) * 100 / folderCount_ : 0;
        progress->percent(unsigned(std::min<std::uint64_t>(share, 99)));
        const std::uint32_t parent = folderList_[visited].parentId;
        if (parent == kRootObjectId || folderById_.count(parent)) continue;
        AddFolder("Dir" + std::to_string(n++), kRootObjectId, parent, 0, kRootObjectId);
    }
    // Files whose folder never turned up get one the same way, numbered on
    // after the folders' ones; without it the tree could not reach them and
    // only a whole-volume copy would ever see them. A file that shares its
    // missing folder with a lost folder joins that folder's "DirN".
    // A folder's files mostly come one after another: the last parent found
    // is not looked up again (a folder once listed stays listed).
    std::uint32_t found = kRootObjectId; // the root needs no folder either
    for (std::size_t i = 0; i < fileList_.size(); ++i) {
        if (i % 4096 == 0 && stopRequested) break;
        const std::uint32_t parent = fileList_[i].parentId;
        if (parent == found || parent == kRootObjectId) continue;
        if (folderById_.count(parent)) {
            found = parent;
            continue;
        }
        AddFolder("Dir" + std::to_string(n++), kRootObjectId, parent, 0, kRootObjectId);
        found = parent;
    }
}

void Catalog::indexChildren() {
    folderChildren_.clear();
    fileChildren_.clear();
    for (std::uint32_t i = 0; i < folderList_.size(); ++i)
        folderChildren_[folderList_[i].parentId].push_back(i);
    // A folder's files mostly come one after another (a leaf lists a
    // directory's entries together): the last parent's list is kept at hand
    // rather than looked up again (a map's element never moves).
    std::uint32_t parent = 0;
    std::vector<std::uint32_t>* children = nullptr;
    std::uint32_t i = 0;
    for (const CatalogEntry& f : fileList_) {
        if (!children || f.parentId != parent) {
            parent = f.parentId;
            children = &fileChildren_[parent];
        }
        children->push_back(i++);
    }
}

void Catalog::BuildFolderTree(std::uint32_t key) {
    if (folderCount_ == 0) folderCount_ = 1;
    indexChildren();
    for (auto& f : folderList_)
        f.treeItem = 0;
    // Depth first, children in FolderList order, as a recursive fill would
    // place them; a key already on the path is placed but not descended into,
    // so a damaged hierarchy cannot loop.
    struct Frame {
        std::uint32_t key;
        std::size_t next;
    };
    std::vector<Frame> stack{{key, 0}};
    std::unordered_set<std::uint32_t> onPath{key};
    while (!stack.empty()) {
        Frame& top = stack.back();
        const auto& kids = childFolders(top.key);
        if (top.next >= kids.size()) {
            onPath.erase(top.key);
            stack.pop_back();
            continue;
        }
        CatalogEntry& f = folderList_[kids[top.next++]];
        if (f.treeItem != 0) continue;
        f.treeItem = ++treeFillCount_;
        progress->percent(unsigned(
            std::min<std::uint64_t>(std::uint64_t(treeFillCount_) * 100 / folderCount_, 99)));
        if (onPath.insert(f.objectId).second) stack.push_back({f.objectId, 0});
    }
}

const std::vector<std::uint32_t>& Catalog::childFolders(std::uint32_t key) const {
    auto it = folderChildren_.find(key);
    return it == folderChildren_.end() ? kNoChildren : it->second;
}

const std::vector<std::uint32_t>& Catalog::childFiles(std::uint32_t key) const {
    auto it = fileChildren_.find(key);
    return it == fileChildren_.end() ? kNoChildren : it->second;
}

long Catalog::folderIndex(std::uint32_t objectId) const {
    auto it = folderById_.find(objectId);
    return it == folderById_.end() ? -1 : long(it->second);
}

bool Catalog::folderPath(std::uint32_t key, std::string& path, char separator) const {
    std::vector<std::string_view> parts;
    while (key != kRootObjectId) {
        const long i = folderIndex(key);
        // A path longer than the folders there are has met one twice: a loop.
        if (i < 0 || folderList_[i].treeItem == 0 || parts.size() >= folderList_.size())
            return false;
        parts.push_back(folderList_[i].name);
        key = folderList_[i].parentId;
    }
    path.clear();
    for (auto it = parts.rbegin(); it != parts.rend(); ++it)
        appendPathName(path, *it, separator);
    return true;
}

void appendPathName(std::string& path, std::string_view name, char separator) {
    path += separator;
    // Runs between the characters that are escaped go in whole (a listing
    // appends a name for every row).
    for (std::size_t from = 0; from < name.size();) {
        std::size_t at = from;
        while (at < name.size() && name[at] != '/' && name[at] != '%')
            ++at;
        path.append(name, from, at - from);
        if (at == name.size()) break;
        path += name[at] == '/' ? "%2F" : "%25";
        from = at + 1;
    }
}

} // namespace dorvak
