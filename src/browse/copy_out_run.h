#pragma once
// The inside of one copy-out, shared by copy_out.cpp (planning, folders) and
// copy_out_files.cpp (files, names): not part of the interface.

#include "browse/copy_out.h"
#include "browse/name_folding.h"
#include "browse/safe_names.h"
#include "browse/temp_file.h"
#include "reiserfs/byte_arena.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <unordered_set>

namespace dorvak::copyout {

// Folders nested deeper than this are not written: each level holds a
// descriptor open while its subtree is written.
inline constexpr std::size_t kMaxDepth = 256;
// Alternatives tried for one name before the file is given up.
inline constexpr unsigned kMaxNumbered = 100000;
// Longest target of a symbolic link (PATH_MAX less its NUL).
inline constexpr std::size_t kMaxLinkTarget = 4095;
// Folders the second pass keeps open when the open-file limit is unknown;
// otherwise as many as the limit allows (every folder of the run, usually).
inline constexpr std::size_t kOpenFolders = 64;
// A progress event inside a file after this many bytes.
inline constexpr std::uint64_t kProgressStep = 1 << 20;

// Errors that say the destination itself cannot take more: going on would
// only fail again for every file.
inline bool destinationFatal(int err) {
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
inline bool refusal(int err) {
    return err == EINVAL || err == EILSEQ || err == ENAMETOOLONG;
}

// Longest name tried after the destination answered ENAMETOOLONG: some file
// systems (stacked, encrypted, network) hold fewer bytes than NAME_MAX.
inline constexpr std::size_t kShortNameMax = 100;

// The bases tried for one raw name: its safe name, then, when the destination
// refuses that, its portable name, then a short portable name.
struct NameLadder {
    explicit NameLadder(std::string_view raw) : raw(raw), base(safeName(raw)) {}
    // True when a more portable base was taken after `err`.
    bool climb(int err) {
        if (!refusal(err) || level == 2) return false;
        level = err == ENAMETOOLONG ? 2 : level + 1;
        base = portableName(raw, level == 1 ? kNameMax : kShortNameMax);
        return true;
    }
    std::string at(unsigned n) const { return n ? numberedName(base, n) : base; }
    std::string_view raw;
    std::string base;
    int level = 0;
};

} // namespace dorvak::copyout

namespace dorvak {

// One step of a copy-out's plan; there is one a file, so it is kept small.
struct CopyOut::Op {
    // What a folder's ops share (a folder of many files holds it once).
    struct Folder {
        std::string catalogPath;
        std::string name; // the folder's name as it is written (CopyOut::writtenName)
    };
    enum Kind : std::uint8_t { Enter, File, Leave } kind;
    bool eager = false;               // Enter: written even when nothing goes into it
    std::int32_t folder = -1;         // Enter: index in FolderList; -1 for a folder of our own
    std::uint32_t file = 0;           // File: index in FileList
    std::shared_ptr<const Folder> in; // Enter: that folder; File: its folder
};

// Names this run has written in one destination folder, and where the search
// for a free "name (n)" of each base name goes on.
struct CopyOut::FolderNames {
    // Names written here, their bytes in the run's name store (shared by
    // every folder, and by the plan's files, which name them by these views),
    // compared as the folder compares them.
    using NameSet = std::unordered_set<std::string_view, FolderNameKey, FolderNameKey>;
    NameSet written;
    ByteArena* store = nullptr;
    bool folds = false; // the folder takes names that fold equal for one
    void setFolds(bool f) {
        folds = f;
        written = NameSet(0, FolderNameKey{f}, FolderNameKey{f});
    }
    std::string key(const std::string& base) const { return folds ? foldedName(base) : base; }
    // Records `name` as written; the view kept for it.
    std::string_view write(std::string_view name) {
        if (auto it = written.find(name); it != written.end()) return *it;
        const std::uint32_t at = store->add(name.data(), name.size());
        return *written.insert(store->text(at, name.size())).first;
    }
    // Only base names that took a number have an entry: most never do.
    std::unordered_map<std::string, unsigned> nextNumber;
    // The first number worth trying for a base name: every "name (n)" below
    // it is taken already, by this run or by what was there, so k entries of
    // one name cost k tries, not k².
    unsigned firstFree(const std::string& base) const {
        auto it = nextNumber.find(key(base));
        return it == nextNumber.end() ? 0 : it->second;
    }
    void taken(const std::string& base, unsigned n) {
        if (n == 0) return; // the base itself is in `written`
        unsigned& next = nextNumber[key(base)];
        next = std::max(next, n + 1);
    }
    // Made by this run: everything in it is in `written`, so the
    // destination need not be asked whether a name is free.
    bool fresh = false;
};

struct CopyOut::Frame {
    UniqueFd fd;
    FolderNames* names = nullptr;
    long folder = -1;
    std::string name;
    std::string catalogPath;
    std::string writtenPath;             // relative to the destination; "" for the destination
    std::string failure;                 // why the folder could not be written
    std::uint32_t planned = kNotPlanned; // writtenPath's index in Run::folders_
    static constexpr std::uint32_t kNotPlanned = ~std::uint32_t(0);
};

// One copy-out, in two passes. The first walks the plan in tree order: it
// creates the folders and chooses every file's name, as the tree order and
// the duplicate policy give them. The second copies the files in ascending
// order of the last leaf they need, along the route FileContents reads, so
// that a rotating disk is read in one sweep rather than a seek per file; only
// the order of reading changes, never a folder or a name. Folder times are set at the end.
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
    // A file the second pass will copy, under the name the first one chose.
    struct Planned {
        std::uint32_t op;
        std::uint32_t folder;  // in folders_
        std::string_view name; // in names_
        std::uint64_t order;   // the sector of the last leaf it needs
    };
    bool planFile(const Op& op);
    bool reserve(const Frame& frame, const CatalogEntry& f, std::string& name);
    bool copyFiles();
    bool copyFile(const Planned& p, const Frame& frame);
    void setFolderTimes();
    bool fileError(int err, const std::string& catalogPath, const std::string& writtenPath,
                   bool alone = false);
    struct Prepared {
        std::unique_ptr<TempFile> temp; // null: reported already
        bool goOn = true;
        std::vector<Damage> damage;
    };
    Prepared prepareCopy(const Op& op, const CatalogEntry& f, const Frame& frame,
                         const std::string& catalogPath, std::uint64_t bytesBefore);
    Prepared prepareLink(const CatalogEntry& f, const Frame& frame, const std::string& catalogPath);
    bool done(const Planned& plan, const std::string& catalogPath, const std::string& written,
              bool firstName, Prepared& p, bool renamed);
    Placed place(TempFile& file, FolderNames& names, const CatalogEntry& f,
                 std::string_view reserved, std::string& name, int& err);
    int refused(const std::string& name) const { return o_.refusesName ? o_.refusesName(name) : 0; }
    std::string given(const std::string& name) const {
        return o_.keepsName ? o_.keepsName(name) : name;
    }
    // The record of the folder open at `fd`; `madeIn`: the folder this run
    // made it in, whose answer to the case probe it shares.
    FolderNames& namesOf(int fd, const FolderNames* madeIn = nullptr);
    std::string keptName(int dirFd, const std::string& name) const;
    void leave();
    void report(const std::string& folder, std::string_view name);
    bool stopRequested() const { return o_.requests_.stopSavingRequested.load(); }

    CopyOut& o_;
    CopySummary& s_;
    std::string destination_;
    FileContents contents_;
    std::vector<Frame> frames_;
    // By (device, inode): a folder entered twice (two catalog folders of one
    // name) shares one record.
    std::map<std::pair<dev_t, ino_t>, FolderNames> folderNames_;
    ByteArena names_; // the bytes of every name written or planned
    // Hard links: for each op, the op that writes the first name of the same
    // file (kNoLink when it has no other name), and where that first name was
    // written, relative to the destination.
    static constexpr std::size_t kNoLink = ~std::size_t(0);
    const Op* ops_ = nullptr;
    std::vector<std::size_t> linkFirst_;
    std::unordered_map<std::size_t, std::string> firstCopies_;
    std::vector<Planned> planned_;
    std::vector<std::string> folders_; // written paths of the planned files' folders
    std::vector<std::pair<std::string, std::uint32_t>> folderTimes_;
    CopyProgressEvent event_;
};

} // namespace dorvak
