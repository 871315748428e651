#pragma once
// CopyOut: Recover All and Recover Selected. Writes folders and files of a
// mounted volume into a destination folder the caller names, byte for byte,
// under the recovery settings, and reports what it did.
//
// - The folders written mirror the catalog from the root ("DirN" lost folders
//   included); Recover Selected writes each selected folder with its subtree
//   and each selected file straight into the destination. A file whose
//   folder was never found lies in its "DirN" folder like any other; files
//   whose folder exists but is cut off from the root (a damaged hierarchy
//   that loops) go, for Recover All, into "Lost Files <folder id>".
// - Names are converted to UTF-8 first when an encoding is chosen
//   (nameDecoder), then made safe by safeName(); everything below the
//   destination is opened relative to its folder without following links,
//   so nothing is written outside it.
// - A folder that exists already is written into; a name held by something
//   that is not a folder (a file, a link) gives the folder the next free
//   "name (n)". A name the destination's file system refuses (EINVAL,
//   EILSEQ, ENAMETOOLONG) is written under portableName() instead. Files meet `duplicatePolicy`
//   (rename, overwrite, skip). In a folder that folds letter case (probed
//   once per folder) names that fold equal are one name; a name the
//   destination shortens silently (a trailing dot dropped) is reported as
//   renamed, under the name it got.
// - `deletedPolicy` chooses which files and folders take part; a folder that
//   does not take part is still written when it leads to one that does.
// - A destination that cannot be written (missing, read-only, full, I/O
//   error) ends the copy-out with an error naming the path; other failures
//   (a name the destination's file system refuses, a file too large for it,
//   a symbolic link where links cannot be made) fail that file only.

#include "browse/file_contents.h"
#include "browse/name_decoder.h"
#include "browse/recovery_settings.h"
#include "disk/sector_reader.h"
#include "disk/volume_info.h"
#include "reiserfs/catalog.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace dorvak {

// The requests that pass between the progress dialog and the copy-out. The
// starter clears all three before the worker starts; the copy-out never
// clears them itself, so a stop pressed before it runs is kept.
struct CopyRequests {
    std::atomic<bool> skipFileRequested{false};   // abandon the current file
    std::atomic<bool> stopSavingRequested{false}; // end the copy-out
    std::atomic<bool> saveFinished{false};        // set by the copy-out when it has ended
};

struct CopyProgressEvent {
    std::string folderPath; // the folder being written, "/A/B" from the root
    std::string fileName;   // raw name of the file being written
    std::uint64_t filesDone = 0;
    std::uint64_t filesTotal = 0;
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
};

// Events come from the copy-out's thread: at the start of each file and about
// every MiB within a file. A front end throttles its drawing itself.
class CopyProgressSink {
public:
    virtual ~CopyProgressSink() = default;
    virtual void copyProgress(const CopyProgressEvent& /*event*/) {}
};
CopyProgressSink& nullCopyProgress();

struct FileReport {
    std::string catalogPath; // "/A/B/name" in the volume, raw bytes
    std::string writtenPath; // relative to the destination, as written
    std::string reason;      // skipped or failed: why
    std::vector<Damage> damage;
    std::string target{}; // a symbolic link the destination could not hold: its target
};

struct CopySummary {
    std::uint64_t filesWritten = 0;
    std::uint64_t bytesWritten = 0;  // file sizes, holes included
    std::uint64_t carvedWritten = 0; // of filesWritten: files carved from free blocks
    // Every file written (damaged ones too), when CopyOut::listWritten.
    std::vector<FileReport> written;
    std::vector<FileReport> renamed; // written under another name (files and folders)
    std::vector<FileReport> skipped;
    std::vector<FileReport> damaged; // written, with zeros where data was lost
    std::vector<FileReport> failed;
    bool stopped = false;
    std::string fatalError; // non-empty: the copy-out could not go on
    bool whole() const {
        return fatalError.empty() && !stopped && skipped.empty() && damaged.empty() &&
               failed.empty();
    }
};

// Indices into the catalog's FolderList and FileList.
struct RecoverySelection {
    std::vector<std::size_t> folders;
    std::vector<std::size_t> files;
};

// What takes part in a copy-out, shared by the copy-out and by what plans
// one without writing (the command line's dry run).
bool takesPart(DeletedPolicy policy, const CatalogEntry& e);
// The files of folder `key` that take part, live ones first: when a folder
// holds a live file and older versions of it under the same name, the live
// file keeps the name and the versions get the numbered ones.
std::vector<std::size_t> filesTakingPart(const Catalog& catalog, std::uint32_t key,
                                         DeletedPolicy policy);
// Files of Recover All whose folder the tree does not reach, grouped by that
// folder ("Lost Files <folder id>"), folders in the order first met.
struct LostFiles {
    std::vector<std::uint32_t> parents;
    std::unordered_map<std::uint32_t, std::vector<std::size_t>> files;
};
LostFiles lostFilesOf(const Catalog& catalog, DeletedPolicy policy);

// What holds a name in a destination folder when a file is to take it.
enum class NameHeld : std::uint8_t {
    Free,
    ThisRun, // written (or planned) by this copy-out
    Folder,  // a folder that was there before
    Other,   // a file, link or anything else that was there before
};
enum class NameChoice : std::uint8_t { Take, Replace, Next, Skip };
// The duplicate policy for one file at one name; the copy-out and what plans
// one (the dry run) both decide by it, so a plan is what the run does. A name
// this run wrote is never replaced nor a reason to skip; Overwrite never
// replaces a folder, and never lets a deleted entry (a deleted file or an
// older version) replace what was there: that one takes the next
// "name (n)" instead.
NameChoice chooseName(DuplicatePolicy policy, const CatalogEntry& file, NameHeld held);

class CopyOut {
public:
    // `live` comes from the liveness pass (null for a Normal mount).
    CopyOut(SectorReader& reader, const VolumeInfo& volume, const Catalog& catalog,
            const LiveState* live, const RecoverySettings& settings, CopyRequests& requests,
            CopyProgressSink& progress = nullCopyProgress());

    // Names the destination refuses, for tests: the errno a file system that
    // forbids some names would give (0 when it takes the name). Applied
    // before every folder, file or link name is created.
    std::function<int(const std::string&)> refusesName;
    // Symbolic links the destination refuses, for tests: the errno a file
    // system without them gives (EPERM from vfat, EOPNOTSUPP from others).
    std::function<int()> refusesLinks;
    // For tests: how a destination folder answers the case probe (vfat
    // folds letter case), and the name it keeps for a name it is given
    // (vfat drops trailing dots and spaces). Both as the local file system
    // behaves when unset.
    std::function<bool(int dirFd)> foldsCase;
    std::function<std::string(const std::string&)> keepsName;
    // The encoding names are written in: with one chosen, each name that is
    // not UTF-8 is written (and each link target written) converted to
    // UTF-8; null or the default decoder writes the bytes as they are.
    // Reports keep naming entries by their raw catalog paths.
    const NameDecoder* nameDecoder = nullptr;
    // Whether the summary lists every file written (a report needs it; on a
    // large volume the list costs more memory than the rest of the run).
    bool listWritten = false;

    CopySummary RecoverAll(const std::string& destination);
    CopySummary RecoverSelected(const std::string& destination, const RecoverySelection& selection);

private:
    struct Op;
    std::string writtenName(std::string_view raw) const {
        return nameDecoder ? nameDecoder->converted(raw) : std::string(raw);
    }
    struct FolderNames;
    struct Frame;
    class Run;
    bool takesPart(const CatalogEntry& e) const;
    std::vector<std::size_t> filesOf(std::uint32_t key) const;
    void planFolder(std::size_t index, const std::string& catalogPath, std::vector<Op>& ops,
                    std::vector<std::uint32_t>& path, CopySummary& summary) const;
    CopySummary execute(const std::string& destination, std::vector<Op> ops, CopySummary summary);

    SectorReader& reader_;
    const VolumeInfo& volume_;
    const Catalog& catalog_;
    const LiveState* live_;
    RecoverySettings settings_;
    CopyRequests& requests_;
    CopyProgressSink& progress_;
};

} // namespace dorvak
