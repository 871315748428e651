#include "browse/copy_out_run.h"

#include "reiserfs/structures.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvak {

using namespace copyout;

// The duplicate policy governs only what was at the destination before the
// run: a name this run has written is never replaced nor a reason to skip,
// so entries of one name (a live file and its older versions, listed live
// first) keep the plain name for the first and "name (n)" for the others.
// The name chosen in the first pass is tried first; the search below runs
// only when the destination refuses it or has changed since.
CopyOut::Run::Placed CopyOut::Run::place(TempFile& file, FolderNames& names, const CatalogEntry& f,
                                         std::string_view reserved, std::string& name, int& err) {
    const DuplicatePolicy policy = o_.settings_.duplicates();
    const std::string raw = o_.writtenName(f.name);
    // As chooseName(): a deleted entry never replaces anything.
    const bool replace = policy == DuplicatePolicy::Overwrite && !f.deleted;
    if (!reserved.empty()) {
        name = reserved;
        err = refused(name);
        if (err == 0 && file.place(given(name), replace)) return Placed::Yes;
        if (err == 0) err = file.error();
        if (!refusal(err) && err != EEXIST) return Placed::Error;
    }
    NameLadder ladder(raw);
    for (unsigned n = names.firstFree(ladder.base); n <= kMaxNumbered; ++n) {
        name = ladder.at(n);
        if (names.written.count(name)) continue;
        err = refused(name);
        if (err == 0) {
            if (file.place(given(name), replace)) {
                names.write(name);
                names.taken(ladder.base, n);
                return Placed::Yes;
            }
            err = file.error();
        }
        if (ladder.climb(err)) {
            // Start again from the new base's first free number (n wraps
            // to it at the loop's increment).
            n = names.firstFree(ladder.base) - 1;
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

// First pass: what the file's folder and name will be, or why it is not
// copied at all.
bool CopyOut::Run::planFile(const Op& op) {
    const CatalogEntry& f = o_.catalog_.FileList()[op.file];
    const std::string catalogPath = childPath(op.in->catalogPath, f.name);
    struct Settled { // a file decided here counts as handled
        CopyProgressEvent& e;
        std::uint64_t size;
        bool planned = false;
        ~Settled() {
            if (planned) return;
            ++e.filesDone;
            e.bytesDone += size;
        }
    } settled{event_, f.size};
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
    Frame& frame = frames_[top];
    std::string name;
    if (!reserve(frame, f, name)) {
        s_.skipped.push_back({catalogPath,
                              frame.writtenPath + "/" + name,
                              "a file of that name exists at the destination",
                              {}});
        return true;
    }
    if (frame.planned == Frame::kNotPlanned) {
        frame.planned = std::uint32_t(folders_.size());
        folders_.push_back(frame.writtenPath);
    }
    // No name reserved (none was free): place() searches again and reports.
    const std::string_view reserved = name.empty() ? std::string_view() : frame.names->write(name);
    planned_.push_back(
        {std::uint32_t(&op - ops_), frame.planned, reserved, contents_.addToRoute(f)});
    settled.planned = true;
    return true;
}

// The name a file will take in its folder, as chooseName() decides it for
// what holds each candidate. False: Skip, and something held it.
bool CopyOut::Run::reserve(const Frame& frame, const CatalogEntry& f, std::string& name) {
    const DuplicatePolicy policy = o_.settings_.duplicates();
    FolderNames& names = *frame.names;
    const std::string base = safeName(o_.writtenName(f.name));
    for (unsigned n = names.firstFree(base); n <= kMaxNumbered; ++n) {
        name = n ? numberedName(base, n) : base;
        NameHeld held = NameHeld::ThisRun;
        if (!names.written.count(name)) {
            struct stat st {};
            held = names.fresh ||
                           ::fstatat(frame.fd.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0
                       ? NameHeld::Free
                   : S_ISDIR(st.st_mode) ? NameHeld::Folder
                                         : NameHeld::Other;
        }
        const NameChoice choice = chooseName(policy, f, held);
        if (choice == NameChoice::Skip) return false;
        if (choice == NameChoice::Next) continue;
        names.write(name);
        names.taken(base, n);
        return true;
    }
    name.clear(); // the search in place() reports it
    return true;
}

namespace {

// How many folders the second pass may hold open: half of what the
// open-file limit leaves, after raising the soft limit to the hard one (a
// desktop session's soft limit of 1,024 is far below what it may use).
std::size_t openFolderBudget() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return kOpenFolders;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY) return 1 << 16;
    const auto free = limit.rlim_cur > 256 ? std::size_t(limit.rlim_cur - 256) : 0;
    return std::clamp<std::size_t>(free / 2, 16, 1 << 16);
}

// Opens the folder at `path` ("/A/B", as the first pass wrote it) below
// `root` one name at a time, following no link: something at the
// destination that swapped a folder for a link since then leads nowhere.
int openWritten(int root, const std::string& path) {
    UniqueFd at(::dup(root));
    std::size_t from = 1;
    while (at.valid() && from <= path.size()) {
        const std::size_t slash = std::min(path.find('/', from), path.size());
        const std::string name = path.substr(from, slash - from);
        const int next =
            ::openat(at.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int err = errno;
        at.reset(next);
        if (next < 0) {
            errno = err;
            return -1;
        }
        from = slash + 1;
    }
    return at.release();
}

} // namespace

// Second pass: the planned files in disk order, each into its folder.
bool CopyOut::Run::copyFiles() {
    contents_.planRoute();
    for (Planned& p : planned_)
        p.order = contents_.routeOrder(p.order);
    // By order, then in plan order (ops ascend along the plan): as a stable
    // sort would leave them, without its buffer.
    std::sort(planned_.begin(), planned_.end(), [](const Planned& a, const Planned& b) {
        return a.order != b.order ? a.order < b.order : a.op < b.op;
    });
    // The folders written to, open: files in disk order move between
    // folders all the time, and reopening one costs two system calls.
    std::unordered_map<std::uint32_t, Frame> open;
    const std::size_t budget = openFolderBudget();
    for (const Planned& p : planned_) {
        if (stopRequested()) {
            s_.stopped = true;
            return false;
        }
        auto it = open.find(p.folder);
        if (it == open.end()) {
            if (open.size() >= budget) open.erase(open.begin());
            const std::string& path = folders_[p.folder];
            const int fd = openWritten(frames_[0].fd.get(), path);
            if (fd < 0) {
                s_.fatalError =
                    "Cannot open the folder " + destination_ + path + ": " + std::strerror(errno);
                return false;
            }
            Frame folder;
            folder.fd.reset(fd);
            folder.names = &namesOf(fd);
            folder.writtenPath = path;
            it = open.emplace(p.folder, std::move(folder)).first;
        }
        if (!copyFile(p, it->second)) return false;
    }
    return true;
}

bool CopyOut::Run::copyFile(const Planned& plan, const Frame& frame) {
    const Op& op = ops_[plan.op];
    const CatalogEntry& f = o_.catalog_.FileList()[op.file];
    const std::string catalogPath = childPath(op.in->catalogPath, f.name);
    const std::uint64_t bytesBefore = event_.bytesDone;
    report(op.in->catalogPath, f.name);
    contents_.advanceTo(plan.order);
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
    // A further name of a file written already is linked to that copy; where
    // the destination cannot link (vfat, across devices), it is copied.
    const std::size_t at = plan.op;
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
    const Placed placed = place(*p.temp, *frame.names, f, plan.name, name, err);
    const std::string written = frame.writtenPath + "/" + name;
    if (placed == Placed::NameTaken) {
        s_.skipped.push_back(
            {catalogPath, written, "a file of that name exists at the destination", {}});
        return true;
    }
    // The temporary file was made in this folder: a refusal to give it its
    // name (an immutable file in the way under Overwrite, a file system that
    // will not hold the name) is this file's alone.
    if (placed == Placed::Error)
        return fileError(err, catalogPath, written, err == EPERM || err == EACCES);
    if (const std::string kept = keptName(frame.fd.get(), name); kept != name) {
        frame.names->write(kept);
        return done(plan, catalogPath, frame.writtenPath + "/" + kept, first == at, p, true);
    }
    return done(plan, catalogPath, written, first == at, p,
                name != shownName(o_.writtenName(f.name)));
}

// Counts a file placed at `written` (relative to the destination).
bool CopyOut::Run::done(const Planned& plan, const std::string& catalogPath,
                        const std::string& written, bool firstName, Prepared& p, bool renamed) {
    const CatalogEntry& f = o_.catalog_.FileList()[ops_[plan.op].file];
    if (firstName) firstCopies_.emplace(plan.op, written.substr(1));
    ++s_.filesWritten;
    if (o_.catalog_.carvedFile(f)) ++s_.carvedWritten;
    s_.bytesWritten += f.size;
    if (o_.listWritten) s_.written.push_back({catalogPath, written, "", {}});
    if (renamed) s_.renamed.push_back({catalogPath, written, "", {}});
    if (!p.damage.empty()) s_.damaged.push_back({catalogPath, written, "", std::move(p.damage)});
    return true;
}

// The file's bytes in a finished temporary file.
CopyOut::Run::Prepared CopyOut::Run::prepareCopy(const Op& op, const CatalogEntry& f,
                                                 const Frame& frame, const std::string& catalogPath,
                                                 std::uint64_t bytesBefore) {
    Prepared p;
    const std::string at = frame.writtenPath + "/" + safeName(o_.writtenName(f.name));
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
            report(op.in->catalogPath, f.name);
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
    // A link into folders whose names are converted must name them so.
    if (o_.nameDecoder) *target = o_.nameDecoder->convertedPath(*target);
    int err = o_.refusesLinks ? o_.refusesLinks() : 0;
    if (err == 0) p.temp = TempFile::createSymlink(frame.fd.get(), *target, err);
    if (p.temp) return p;
    // vfat, exFAT and many FUSE file systems hold no links at all: that
    // says nothing of the files, which go on.
    if (err == EPERM || err == EOPNOTSUPP || err == ENOSYS) {
        s_.failed.push_back({catalogPath, "", "cannot hold symbolic links", {}, *target});
        return p;
    }
    p.goOn =
        fileError(err, catalogPath, frame.writtenPath + "/" + safeName(o_.writtenName(f.name)));
    return p;
}

} // namespace dorvak
