#include "browse/copy_out.h"

#include "browse/copy_out_run.h"
#include "browse/destination_check.h"
#include "reiserfs/structures.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace dorvak {

using namespace copyout;

CopyProgressSink& nullCopyProgress() {
    static CopyProgressSink sink;
    return sink;
}

CopyOut::CopyOut(SectorReader& reader, const VolumeInfo& volume, const Catalog& catalog,
                 const LiveState* live, const RecoverySettings& settings, CopyRequests& requests,
                 CopyProgressSink& progress)
    : reader_(reader), volume_(volume), catalog_(catalog), live_(live),
      settings_(settings.sanitized()), requests_(requests), progress_(progress) {}

bool takesPart(DeletedPolicy policy, const CatalogEntry& e) {
    if (e.folded) return false; // its bytes come out with the newer version
    switch (policy) {
    case DeletedPolicy::Include:
        return true;
    case DeletedPolicy::OnlyDeleted:
        return e.deleted;
    case DeletedPolicy::Exclude:
        return !e.deleted;
    }
    return true;
}

std::vector<std::size_t> filesTakingPart(const Catalog& catalog, std::uint32_t key,
                                         DeletedPolicy policy) {
    std::vector<std::size_t> out;
    for (int deleted = 0; deleted < 2; ++deleted)
        for (std::uint32_t i : catalog.childFiles(key)) {
            const CatalogEntry& f = catalog.FileList()[i];
            if (f.deleted == bool(deleted) && takesPart(policy, f)) out.push_back(i);
        }
    return out;
}

LostFiles lostFilesOf(const Catalog& catalog, DeletedPolicy policy) {
    LostFiles lost;
    for (std::size_t i = 0; i < catalog.FileList().size(); ++i) {
        const CatalogEntry& f = catalog.FileList()[i];
        if (f.parentId == kRootObjectId || !takesPart(policy, f)) continue;
        const long folder = catalog.folderIndex(f.parentId);
        if (folder >= 0 && catalog.FolderList()[folder].treeItem != 0) continue;
        auto& group = lost.files[f.parentId];
        if (group.empty()) lost.parents.push_back(f.parentId);
        group.push_back(i);
    }
    return lost;
}

NameChoice chooseName(DuplicatePolicy policy, const CatalogEntry& file, NameHeld held) {
    if (held == NameHeld::Free) return NameChoice::Take;
    if (held == NameHeld::ThisRun) return NameChoice::Next;
    switch (policy) {
    case DuplicatePolicy::Skip:
        return NameChoice::Skip;
    case DuplicatePolicy::Overwrite:
        return held == NameHeld::Other && !file.deleted ? NameChoice::Replace : NameChoice::Next;
    case DuplicatePolicy::Rename:
        break;
    }
    return NameChoice::Next;
}

bool CopyOut::takesPart(const CatalogEntry& e) const {
    return dorvak::takesPart(settings_.deleted(), e);
}

std::vector<std::size_t> CopyOut::filesOf(std::uint32_t key) const {
    return filesTakingPart(catalog_, key, settings_.deleted());
}

void CopyOut::planFolder(std::size_t index, const std::string& catalogPath, std::vector<Op>& ops,
                         std::vector<std::uint32_t>& path, CopySummary& summary) const {
    const CatalogEntry& f = catalog_.FolderList()[index];
    if (std::find(path.begin(), path.end(), f.objectId) != path.end()) return; // a loop
    if (path.size() > kMaxDepth) {
        summary.failed.push_back({catalogPath, "", "folders nested too deep", {}});
        return;
    }
    path.push_back(f.objectId);
    const std::size_t mark = ops.size();
    auto shared = std::make_shared<const Op::Folder>(Op::Folder{catalogPath, writtenName(f.name)});
    ops.push_back({Op::Enter, takesPart(f), std::int32_t(index), 0, shared});
    for (std::size_t i : filesOf(f.objectId))
        ops.push_back({Op::File, false, -1, std::uint32_t(i), shared});
    for (std::uint32_t i : catalog_.childFolders(f.objectId))
        planFolder(i, childPath(catalogPath, catalog_.FolderList()[i].name), ops, path, summary);
    if (!ops[mark].eager && ops.size() == mark + 1)
        ops.pop_back(); // nothing of this folder takes part
    else
        ops.push_back({Op::Leave, false, -1, 0, nullptr});
    path.pop_back();
}

CopySummary CopyOut::RecoverAll(const std::string& destination) {
    CopySummary summary;
    std::vector<Op> ops;
    std::vector<std::uint32_t> path{kRootObjectId};
    const auto root = std::make_shared<const Op::Folder>();
    for (std::size_t i : filesOf(kRootObjectId))
        ops.push_back({Op::File, false, -1, std::uint32_t(i), root});
    for (std::uint32_t i : catalog_.childFolders(kRootObjectId))
        planFolder(i, childPath("", catalog_.FolderList()[i].name), ops, path, summary);

    // Files whose folder the tree does not reach, grouped by that folder.
    const LostFiles lost = lostFilesOf(catalog_, settings_.deleted());
    for (std::uint32_t parent : lost.parents) {
        const std::string name = "Lost Files " + std::to_string(parent);
        auto shared = std::make_shared<const Op::Folder>(Op::Folder{"/" + name, name});
        ops.push_back({Op::Enter, true, -1, 0, shared});
        for (std::size_t i : lost.files.at(parent))
            ops.push_back({Op::File, false, -1, std::uint32_t(i), shared});
        ops.push_back({Op::Leave, false, -1, 0, nullptr});
    }
    return execute(destination, std::move(ops), std::move(summary));
}

CopySummary CopyOut::RecoverSelected(const std::string& destination,
                                     const RecoverySelection& selection) {
    CopySummary summary;
    std::vector<Op> ops;
    for (std::size_t i : selection.folders) {
        if (i >= catalog_.FolderList().size()) continue;
        const CatalogEntry& f = catalog_.FolderList()[i];
        std::string path;
        if (!catalog_.folderPath(f.objectId, path)) path = childPath("", f.name);
        std::vector<std::uint32_t> onPath;
        planFolder(i, path, ops, onPath, summary);
    }
    for (std::size_t i : selection.files) {
        if (i >= catalog_.FileList().size() || !takesPart(catalog_.FileList()[i])) continue;
        std::string path;
        if (!catalog_.folderPath(catalog_.FileList()[i].parentId, path)) path.clear();
        ops.push_back({Op::File, false, -1, std::uint32_t(i),
                       std::make_shared<const Op::Folder>(Op::Folder{path, {}})});
    }
    return execute(destination, std::move(ops), std::move(summary));
}

CopyOut::FolderNames& CopyOut::Run::namesOf(int fd, const FolderNames* madeIn) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) st = {};
    auto [it, added] = folderNames_.try_emplace({st.st_dev, st.st_ino});
    FolderNames& names = it->second;
    if (added) {
        names.store = &names_;
        // A folder made by this run folds as the one it was made in: only
        // folders that were there are probed.
        names.setFolds(madeIn         ? madeIn->folds
                       : o_.foldsCase ? o_.foldsCase(fd)
                                      : probeCaseFolding(fd));
    }
    return names;
}

// The name a file or folder placed as `name` got: a destination of the FAT
// family drops trailing dots and spaces without a word, and finds the
// placed entry under either name.
std::string CopyOut::Run::keptName(int dirFd, const std::string& name) const {
    std::size_t end = name.size();
    while (end > 0 && (name[end - 1] == '.' || name[end - 1] == ' '))
        --end;
    if (end == name.size() || end == 0) return name;
    const std::string shorter = name.substr(0, end);
    struct stat asGiven {
    }, asKept{};
    if (::fstatat(dirFd, shorter.c_str(), &asKept, AT_SYMLINK_NOFOLLOW) != 0) return name;
    if (::fstatat(dirFd, name.c_str(), &asGiven, AT_SYMLINK_NOFOLLOW) != 0) return shorter;
    return asGiven.st_ino == asKept.st_ino ? shorter : name;
}

CopySummary CopyOut::execute(const std::string& destination, std::vector<Op> ops,
                             CopySummary summary) {
    reader_.badSectorRetries = settings_.badSectorRetries;
    Run(*this, summary, destination).go(ops);
    requests_.saveFinished = true;
    return summary;
}

void CopyOut::Run::go(const std::vector<Op>& ops) {
    if (!o_.reader_.diskPath().empty()) {
        s_.fatalError = destinationOnSourceDisk(o_.reader_.diskPath(), destination_);
        if (!s_.fatalError.empty()) return;
    }
    UniqueFd root(::open(destination_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.valid()) {
        s_.fatalError =
            "Cannot open the destination folder " + destination_ + ": " + std::strerror(errno);
        return;
    }
    for (const Op& op : ops) {
        if (op.kind != Op::File) continue;
        ++event_.filesTotal;
        event_.bytesTotal += o_.catalog_.FileList()[op.file].size;
    }
    planLinks(ops);
    frames_.push_back(Frame{std::move(root), nullptr, -1, {}, {}, {}, {}});
    frames_.back().names = &namesOf(frames_.back().fd.get());
    for (const Op& op : ops) {
        if (stopRequested()) {
            s_.stopped = true;
            break;
        }
        bool goOn = true;
        if (op.kind == Op::Enter) {
            frames_.push_back(
                Frame{UniqueFd(), nullptr, op.folder, op.in->name, op.in->catalogPath, {}, {}});
            if (op.eager) goOn = ensure(frames_.size() - 1) || s_.fatalError.empty();
        } else if (op.kind == Op::File) {
            goOn = planFile(op);
        } else {
            leave();
        }
        if (!goOn) break;
    }
    if (!s_.stopped && s_.fatalError.empty()) copyFiles();
    setFolderTimes();
}

// Each folder's time once all its files are in (writing a file changes it).
void CopyOut::Run::setFolderTimes() {
    for (const auto& [path, t] : folderTimes_) {
        UniqueFd fd(::openat(frames_[0].fd.get(), path.c_str(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        const struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(t), 0}};
        if (fd.valid()) ::futimens(fd.get(), times);
    }
}

// Entries of one object with one size and time are names of one file (hard
// links). Sorting the file ops by that identity finds them in n log n with
// no map over every file.
void CopyOut::Run::planLinks(const std::vector<Op>& ops) {
    ops_ = ops.data();
    linkFirst_.assign(ops.size(), kNoLink);
    struct Key {
        std::uint64_t object;
        std::uint64_t size;
        std::uint32_t time;
        std::size_t op;
        auto tie() const { return std::tie(object, size, time, op); }
    };
    std::vector<Key> keys;
    for (std::size_t i = 0; i < ops.size(); ++i) {
        if (ops[i].kind != Op::File) continue;
        const CatalogEntry& f = o_.catalog_.FileList()[ops[i].file];
        if (f.fileType == FileType::Special) continue;
        keys.push_back({objectKey(f.keyDirId, f.objectId), f.size, f.modifiedTime, i});
    }
    std::sort(keys.begin(), keys.end(),
              [](const Key& a, const Key& b) { return a.tie() < b.tie(); });
    for (std::size_t i = 1; i < keys.size(); ++i) {
        const Key &a = keys[i - 1], &b = keys[i];
        if (a.object != b.object || a.size != b.size || a.time != b.time) continue;
        const std::size_t first = linkFirst_[a.op] == kNoLink ? a.op : linkFirst_[a.op];
        linkFirst_[a.op] = first;
        linkFirst_[b.op] = first;
    }
}

void CopyOut::Run::report(const std::string& folder, std::string_view name) {
    event_.folderPath = folder.empty() ? "/" : folder;
    event_.fileName = name;
    o_.progress_.copyProgress(event_);
}

bool CopyOut::Run::folderError(Frame& frame, const std::string& path, int err) {
    frame.failure = "cannot create the folder " + destination_ + path + ": " + std::strerror(err);
    if (destinationFatal(err))
        s_.fatalError =
            "Cannot create the folder " + destination_ + path + ": " + std::strerror(err);
    return false;
}

// Creates (or opens) the folder of frame `i` and those above it. A name held
// by anything but a real folder (a file, a link to a folder) is passed over
// for the next "name (n)": links at the destination are never followed.
bool CopyOut::Run::ensure(std::size_t i) {
    Frame& frame = frames_[i];
    if (frame.fd.valid()) return true;
    if (!frame.failure.empty()) return false;
    if (!ensure(i - 1)) {
        frame.failure = frames_[i - 1].failure;
        return false;
    }
    const Frame& parent = frames_[i - 1];
    FolderNames& names = *parent.names;
    NameLadder ladder(frame.name);
    for (unsigned n = 0; n <= kMaxNumbered; ++n) {
        const std::string name = ladder.at(n);
        int err = refused(name);
        bool made = false;
        if (err == 0) {
            made = ::mkdirat(parent.fd.get(), given(name).c_str(), 0777) == 0;
            if (!made && errno != EEXIST) err = errno;
        }
        if (ladder.climb(err)) {
            n = ~0u; // start again from the new base's plain name
            continue;
        }
        if (err != 0) return folderError(frame, parent.writtenPath + "/" + name, err);
        const std::string kept = made ? keptName(parent.fd.get(), name) : name;
        const int fd = ::openat(parent.fd.get(), kept.c_str(),
                                O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno != ELOOP && errno != ENOTDIR)
            return folderError(frame, parent.writtenPath + "/" + name, errno);
        if (fd < 0) continue;
        frame.fd.reset(fd);
        frame.names = &namesOf(fd, made ? &names : nullptr);
        if (made) frame.names->fresh = true;
        frame.writtenPath = parent.writtenPath + "/" + kept;
        names.write(name);
        if (kept != name) names.write(kept);
        if (kept != shownName(frame.name))
            s_.renamed.push_back({frame.catalogPath, frame.writtenPath, "folder", {}});
        return true;
    }
    frame.failure = "no free name for the folder " + frame.catalogPath;
    return false;
}

void CopyOut::Run::leave() {
    Frame& frame = frames_.back();
    if (frame.fd.valid() && frame.folder >= 0) {
        // A lost folder has no time of its own (0): it keeps today's.
        const std::uint32_t t = o_.catalog_.FolderList()[frame.folder].modifiedTime;
        if (t != 0) folderTimes_.emplace_back(frame.writtenPath.substr(1), t);
    }
    frames_.pop_back();
}

// `alone`: the error says nothing of the destination, whatever it is.
bool CopyOut::Run::fileError(int err, const std::string& catalogPath,
                             const std::string& writtenPath, bool alone) {
    if (!alone && destinationFatal(err)) {
        s_.fatalError = "Cannot write " + destination_ + writtenPath + ": " + std::strerror(err);
        return false;
    }
    s_.failed.push_back({catalogPath, writtenPath, std::strerror(err), {}});
    return true;
}

} // namespace dorvak
