#include "browse/copy_out.h"

#include "browse/destination_check.h"
#include "browse/safe_names.h"
#include "browse/temp_file.h"
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
namespace {

// Folders nested deeper than this are not written: each level holds a
// descriptor open while its subtree is written.
constexpr std::size_t kMaxDepth = 256;
// Alternatives tried for one name before the file is given up.
constexpr unsigned kMaxNumbered = 100000;
// Longest target of a symbolic link (PATH_MAX less its NUL).
constexpr std::size_t kMaxLinkTarget = 4095;
// A progress event inside a file after this many bytes.
constexpr std::uint64_t kProgressStep = 1 << 20;

// Errors that say the destination itself cannot take more: going on would
// only fail again for every file.
bool destinationFatal(int err) {
    switch (err) {
    case ENOSPC:
    case EDQUOT:
    case EROFS:
    case EIO:
    case EACCES:
    case EPERM:
    case ENOENT:
    case ENOTDIR:
    case EBADF:
    case EMFILE:
    case ENFILE:
        return true;
    default:
        return false;
    }
}

// What a file system says of a name it will not hold.
bool refusal(int err) {
    return err == EINVAL || err == EILSEQ || err == ENAMETOOLONG;
}

// Longest name tried after the destination answered ENAMETOOLONG: some file
// systems (stacked, encrypted, network) hold fewer bytes than NAME_MAX.
constexpr std::size_t kShortNameMax = 100;

// The bases tried for one raw name: its safe name, then, when the destination
// refuses that, its portable name, then a short portable name.
struct NameLadder {
    explicit NameLadder(const std::string& raw) : raw(raw), base(safeName(raw)) {}
    // True when a more portable base was taken after `err`.
    bool climb(int err) {
        if (!refusal(err) || level == 2) return false;
        level = err == ENAMETOOLONG ? 2 : level + 1;
        base = portableName(raw, level == 1 ? kNameMax : kShortNameMax);
        return true;
    }
    std::string at(unsigned n) const { return n ? numberedName(base, n) : base; }
    const std::string& raw;
    std::string base;
    int level = 0;
};

} // namespace

CopyProgressSink& nullCopyProgress() {
    static CopyProgressSink sink;
    return sink;
}

struct CopyOut::Op {
    enum Kind { Enter, File, Leave } kind;
    long folder = -1;        // Enter: index in FolderList; -1 for a folder of our own
    std::size_t file = 0;    // File: index in FileList
    std::string name;        // Enter: raw folder name
    std::string catalogPath; // Enter: the folder's path; File: its folder's path
    bool eager = false;      // Enter: written even when nothing goes into it
};

// Names this run has written in one destination folder, and where the search
// for a free "name (n)" of each base name goes on.
struct CopyOut::FolderNames {
    std::unordered_set<std::string> written;
    std::unordered_map<std::string, unsigned> nextNumber;
};

struct CopyOut::Frame {
    UniqueFd fd;
    FolderNames* names = nullptr;
    long folder = -1;
    std::string name;
    std::string catalogPath;
    std::string writtenPath; // relative to the destination; "" for the destination
    std::string failure;     // why the folder could not be written
};

CopyOut::CopyOut(SectorReader& reader, const VolumeInfo& volume, const Catalog& catalog,
                 const LiveState* live, const RecoverySettings& settings, CopyRequests& requests,
                 CopyProgressSink& progress)
    : reader_(reader), volume_(volume), catalog_(catalog), live_(live),
      settings_(settings.sanitized()), requests_(requests), progress_(progress) {}

bool CopyOut::takesPart(const CatalogEntry& e) const {
    switch (settings_.deleted()) {
    case DeletedPolicy::Include:
        return true;
    case DeletedPolicy::OnlyDeleted:
        return e.deleted;
    case DeletedPolicy::Exclude:
        return !e.deleted;
    }
    return true;
}

// The files of a folder that take part, live ones first: when a folder holds
// a live file and older versions of it under the same name, the live file
// keeps the name and the versions get the numbered ones.
std::vector<std::size_t> CopyOut::filesOf(std::uint32_t key) const {
    std::vector<std::size_t> out;
    for (int deleted = 0; deleted < 2; ++deleted)
        for (std::uint32_t i : catalog_.childFiles(key)) {
            const CatalogEntry& f = catalog_.FileList[i];
            if (f.deleted == bool(deleted) && takesPart(f)) out.push_back(i);
        }
    return out;
}

void CopyOut::planFolder(std::size_t index, const std::string& catalogPath, std::vector<Op>& ops,
                         std::vector<std::uint32_t>& path, CopySummary& summary) const {
    const CatalogEntry& f = catalog_.FolderList[index];
    if (std::find(path.begin(), path.end(), f.objectId) != path.end()) return; // a loop
    if (path.size() > kMaxDepth) {
        summary.failed.push_back({catalogPath, "", "folders nested too deep", {}});
        return;
    }
    path.push_back(f.objectId);
    const std::size_t mark = ops.size();
    ops.push_back({Op::Enter, long(index), 0, f.name, catalogPath, takesPart(f)});
    for (std::size_t i : filesOf(f.objectId))
        ops.push_back({Op::File, -1, i, {}, catalogPath, false});
    for (std::uint32_t i : catalog_.childFolders(f.objectId))
        planFolder(i, catalogPath + "/" + catalog_.FolderList[i].name, ops, path, summary);
    if (!ops[mark].eager && ops.size() == mark + 1)
        ops.pop_back(); // nothing of this folder takes part
    else
        ops.push_back({Op::Leave, -1, 0, {}, {}, false});
    path.pop_back();
}

CopySummary CopyOut::RecoverAll(const std::string& destination) {
    CopySummary summary;
    std::vector<Op> ops;
    std::vector<std::uint32_t> path{kRootObjectId};
    for (std::size_t i : filesOf(kRootObjectId))
        ops.push_back({Op::File, -1, i, {}, "", false});
    for (std::uint32_t i : catalog_.childFolders(kRootObjectId))
        planFolder(i, "/" + catalog_.FolderList[i].name, ops, path, summary);

    // Files whose folder the tree does not reach, grouped by that folder.
    std::vector<std::uint32_t> parents;
    std::unordered_map<std::uint32_t, std::vector<std::size_t>> orphans;
    for (std::size_t i = 0; i < catalog_.FileList.size(); ++i) {
        const CatalogEntry& f = catalog_.FileList[i];
        if (f.parentId == kRootObjectId || !takesPart(f)) continue;
        const long folder = catalog_.folderIndex(f.parentId);
        if (folder >= 0 && catalog_.FolderList[folder].treeItem != 0) continue;
        auto& group = orphans[f.parentId];
        if (group.empty()) parents.push_back(f.parentId);
        group.push_back(i);
    }
    for (std::uint32_t parent : parents) {
        const std::string name = "Lost Files " + std::to_string(parent);
        ops.push_back({Op::Enter, -1, 0, name, "/" + name, true});
        for (std::size_t i : orphans[parent])
            ops.push_back({Op::File, -1, i, {}, "/" + name, false});
        ops.push_back({Op::Leave, -1, 0, {}, {}, false});
    }
    return execute(destination, std::move(ops), std::move(summary));
}

CopySummary CopyOut::RecoverSelected(const std::string& destination,
                                     const RecoverySelection& selection) {
    CopySummary summary;
    std::vector<Op> ops;
    for (std::size_t i : selection.folders) {
        if (i >= catalog_.FolderList.size()) continue;
        const CatalogEntry& f = catalog_.FolderList[i];
        std::string path;
        if (!catalog_.folderPath(f.objectId, path)) path = "/" + f.name;
        std::vector<std::uint32_t> onPath;
        planFolder(i, path, ops, onPath, summary);
    }
    for (std::size_t i : selection.files) {
        if (i >= catalog_.FileList.size() || !takesPart(catalog_.FileList[i])) continue;
        std::string path;
        if (!catalog_.folderPath(catalog_.FileList[i].parentId, path)) path.clear();
        ops.push_back({Op::File, -1, i, {}, path, false});
    }
    return execute(destination, std::move(ops), std::move(summary));
}

// One copy-out: the folder frames from the destination down to the folder
// being written, and the running totals.
class CopyOut::Run {
public:
    Run(CopyOut& owner, CopySummary& summary, const std::string& destination)
        : o_(owner), s_(summary), destination_(destination),
          contents_(owner.reader_, owner.volume_, owner.catalog_, owner.live_) {
        contents_.sectorsPerRead = owner.settings_.sectorsPerRead;
    }
    void go(const std::vector<Op>& ops);
    void planLinks(const std::vector<Op>& ops);

private:
    enum class Placed { Yes, NameTaken, Error };
    bool ensure(std::size_t frame);
    bool folderError(Frame& frame, const std::string& path, int err);
    bool writeFile(const Op& op);
    bool fileError(int err, const std::string& catalogPath, const std::string& writtenPath);
    struct Prepared {
        std::unique_ptr<TempFile> temp; // null: reported already
        bool goOn = true;
        std::vector<Damage> damage;
    };
    Prepared prepareCopy(const Op& op, const CatalogEntry& f, const Frame& frame,
                         const std::string& catalogPath, std::uint64_t bytesBefore);
    Prepared prepareLink(const CatalogEntry& f, const Frame& frame, const std::string& catalogPath);
    Placed place(TempFile& file, FolderNames& names, const std::string& raw, std::string& name,
                 int& err);
    int refused(const std::string& name) const { return o_.refusesName ? o_.refusesName(name) : 0; }
    FolderNames& namesOf(int fd);
    void leave();
    void report(const std::string& folder, const std::string& name);
    bool stopRequested() const { return o_.requests_.stopSavingRequested.load(); }

    CopyOut& o_;
    CopySummary& s_;
    std::string destination_;
    FileContents contents_;
    std::vector<Frame> frames_;
    // By (device, inode): a folder entered twice (two catalog folders of one
    // name) shares one record.
    std::map<std::pair<dev_t, ino_t>, FolderNames> folderNames_;
    // Hard links: for each op, the op that writes the first name of the same
    // file (kNoLink when it has no other name), and where that first name was
    // written, relative to the destination.
    static constexpr std::size_t kNoLink = ~std::size_t(0);
    const Op* ops_ = nullptr;
    std::vector<std::size_t> linkFirst_;
    std::unordered_map<std::size_t, std::string> firstCopies_;
    CopyProgressEvent event_;
};

CopyOut::FolderNames& CopyOut::Run::namesOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) st = {};
    return folderNames_[{st.st_dev, st.st_ino}];
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
        event_.bytesTotal += o_.catalog_.FileList[op.file].size;
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
                Frame{UniqueFd(), nullptr, op.folder, op.name, op.catalogPath, {}, {}});
            if (op.eager) goOn = ensure(frames_.size() - 1) || s_.fatalError.empty();
        } else if (op.kind == Op::File) {
            goOn = writeFile(op);
        } else {
            leave();
        }
        if (!goOn) break;
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
        const CatalogEntry& f = o_.catalog_.FileList[ops[i].file];
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

void CopyOut::Run::report(const std::string& folder, const std::string& name) {
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
        if (err == 0 && ::mkdirat(parent.fd.get(), name.c_str(), 0777) != 0 && errno != EEXIST)
            err = errno;
        if (ladder.climb(err)) {
            n = ~0u; // start again from the new base's plain name
            continue;
        }
        if (err != 0) return folderError(frame, parent.writtenPath + "/" + name, err);
        const int fd = ::openat(parent.fd.get(), name.c_str(),
                                O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno != ELOOP && errno != ENOTDIR)
            return folderError(frame, parent.writtenPath + "/" + name, errno);
        if (fd < 0) continue;
        frame.fd.reset(fd);
        frame.names = &namesOf(fd);
        frame.writtenPath = parent.writtenPath + "/" + name;
        names.written.insert(name);
        if (name != frame.name)
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
        const std::uint32_t t = o_.catalog_.FolderList[frame.folder].modifiedTime;
        const struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(t), 0}};
        if (t != 0) ::futimens(frame.fd.get(), times);
    }
    frames_.pop_back();
}

bool CopyOut::Run::fileError(int err, const std::string& catalogPath,
                             const std::string& writtenPath) {
    if (destinationFatal(err)) {
        s_.fatalError = "Cannot write " + destination_ + writtenPath + ": " + std::strerror(err);
        return false;
    }
    s_.failed.push_back({catalogPath, writtenPath, std::strerror(err), {}});
    return true;
}

// The duplicate policy governs only what was at the destination before the
// run: a name this run has written is never replaced nor a reason to skip,
// so entries of one name (a live file and its older versions, listed live
// first) keep the plain name for the first and "name (n)" for the others.
CopyOut::Run::Placed CopyOut::Run::place(TempFile& file, FolderNames& names, const std::string& raw,
                                         std::string& name, int& err) {
    const DuplicatePolicy policy = o_.settings_.duplicates();
    const bool replace = policy == DuplicatePolicy::Overwrite;
    NameLadder ladder(raw);
    // Every "name (n)" below the base's next number is taken already, by this
    // run or by what was there: k entries of one name cost k tries, not k².
    unsigned* next = &names.nextNumber[ladder.base];
    for (unsigned n = *next; n <= kMaxNumbered; ++n) {
        name = ladder.at(n);
        if (names.written.count(name)) continue;
        err = refused(name);
        if (err == 0) {
            if (file.place(name, replace)) {
                names.written.insert(name);
                *next = std::max(*next, n + 1);
                return Placed::Yes;
            }
            err = file.error();
        }
        if (ladder.climb(err)) {
            next = &names.nextNumber[ladder.base];
            n = *next - 1; // start again from the new base's first free number
            continue;
        }
        // Overwrite cannot replace a folder: that file is renamed instead.
        const bool taken = err == EEXIST || (replace && (err == EISDIR || err == ENOTEMPTY));
        if (!taken) return Placed::Error;
        if (policy == DuplicatePolicy::Skip) return Placed::NameTaken;
    }
    err = EEXIST;
    return Placed::Error;
}

bool CopyOut::Run::writeFile(const Op& op) {
    const CatalogEntry& f = o_.catalog_.FileList[op.file];
    const std::string catalogPath = op.catalogPath + "/" + f.name;
    const std::uint64_t bytesBefore = event_.bytesDone;
    report(op.catalogPath, f.name);
    struct Advance { // counts the file as handled whatever way it ends
        CopyProgressEvent& e;
        std::uint64_t to;
        ~Advance() {
            ++e.filesDone;
            e.bytesDone = to;
        }
    } advance{event_, bytesBefore + f.size};

    if (o_.requests_.skipFileRequested.exchange(false)) {
        s_.skipped.push_back({catalogPath, "", "skipped on request", {}});
        return true;
    }
    if (f.fileType == FileType::Special) { // a device, FIFO or socket has no data
        s_.skipped.push_back({catalogPath, "", "special file", {}});
        return true;
    }
    const std::size_t top = frames_.size() - 1;
    if (!ensure(top)) {
        if (!s_.fatalError.empty()) return false;
        s_.failed.push_back({catalogPath, "", frames_[top].failure, {}});
        return true;
    }
    const Frame& frame = frames_[top];
    const std::string safe = safeName(f.name);
    struct stat st {};
    if (o_.settings_.duplicates() == DuplicatePolicy::Skip && !frame.names->written.count(safe) &&
        ::fstatat(frame.fd.get(), safe.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        s_.skipped.push_back({catalogPath,
                              frame.writtenPath + "/" + safe,
                              "a file of that name exists at the destination",
                              {}});
        return true;
    }
    // A further name of a file written already is linked to that copy; where
    // the destination cannot link (vfat, across devices), it is copied.
    const std::size_t at = std::size_t(&op - ops_);
    const std::size_t first = linkFirst_[at];
    Prepared p;
    if (first != kNoLink && first != at) {
        if (auto it = firstCopies_.find(first); it != firstCopies_.end()) {
            int err = 0;
            p.temp = TempFile::createHardLink(frames_[0].fd.get(), it->second, frame.fd.get(), err);
        }
    }
    if (!p.temp)
        p = f.fileType == FileType::Symlink ? prepareLink(f, frame, catalogPath)
                                            : prepareCopy(op, f, frame, catalogPath, bytesBefore);
    if (!p.temp) return p.goOn;

    int err = 0;
    std::string name;
    const Placed placed = place(*p.temp, *frame.names, f.name, name, err);
    const std::string written = frame.writtenPath + "/" + name;
    if (placed == Placed::NameTaken) {
        s_.skipped.push_back(
            {catalogPath, written, "a file of that name exists at the destination", {}});
        return true;
    }
    if (placed == Placed::Error) return fileError(err, catalogPath, written);
    if (first == at) firstCopies_.emplace(at, written.substr(1));
    ++s_.filesWritten;
    s_.bytesWritten += f.size;
    if (name != f.name) s_.renamed.push_back({catalogPath, written, "", {}});
    if (!p.damage.empty()) s_.damaged.push_back({catalogPath, written, "", std::move(p.damage)});
    return true;
}

// The file's bytes in a finished temporary file.
CopyOut::Run::Prepared CopyOut::Run::prepareCopy(const Op& op, const CatalogEntry& f,
                                                 const Frame& frame, const std::string& catalogPath,
                                                 std::uint64_t bytesBefore) {
    Prepared p;
    const std::string at = frame.writtenPath + "/" + safeName(f.name);
    int err = 0;
    auto temp = TempFile::create(frame.fd.get(), err);
    if (!temp) {
        p.goOn = fileError(err, catalogPath, at);
        return p;
    }
    auto& requests = o_.requests_;
    std::uint64_t reported = 0;
    temp->onProgress = [&](std::uint64_t done) {
        if (stopRequested() || requests.skipFileRequested.load()) return false;
        if (done - reported >= kProgressStep) {
            reported = done;
            event_.bytesDone = bytesBefore + done;
            report(op.catalogPath, f.name);
        }
        return true;
    };
    const ContentResult result = contents_.copy(f, *temp, p.damage);
    if (result == ContentResult::Abandoned) {
        if (stopRequested()) {
            s_.stopped = true;
            p.goOn = false;
            return p;
        }
        requests.skipFileRequested = false;
        s_.skipped.push_back({catalogPath, "", "skipped on request", {}});
        return p;
    }
    if (result == ContentResult::NoData) {
        s_.failed.push_back({catalogPath, "", "no data found", {}});
        return p;
    }
    if (result == ContentResult::WriteFailed || !temp->finish(f.size, f.modifiedTime)) {
        p.goOn = fileError(temp->error(), catalogPath, at);
        return p;
    }
    p.temp = std::move(temp);
    return p;
}

// A symbolic link with the target read from the volume, verbatim.
CopyOut::Run::Prepared CopyOut::Run::prepareLink(const CatalogEntry& f, const Frame& frame,
                                                 const std::string& catalogPath) {
    Prepared p;
    auto target = contents_.readSmall(f, kMaxLinkTarget, p.damage);
    const char* bad = !target           ? "no link target found"
                      : target->empty() ? "empty link target"
                      : target->find('\0') != std::string::npos || !p.damage.empty()
                          ? "damaged link target"
                          : nullptr;
    if (bad) {
        s_.failed.push_back({catalogPath, "", bad, {}});
        return p;
    }
    int err = 0;
    p.temp = TempFile::createSymlink(frame.fd.get(), *target, err);
    if (!p.temp) p.goOn = fileError(err, catalogPath, frame.writtenPath + "/" + safeName(f.name));
    return p;
}

} // namespace dorvak
