#include "cli/recover_plan.h"

#include "browse/copy_out.h"
#include "browse/name_folding.h"
#include "browse/safe_names.h"
#include "browse/temp_file.h"
#include "reiserfs/structures.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unordered_map>

namespace dorvak::cli {
namespace {

// The same bounds as the copy-out's.
constexpr std::size_t kMaxDepth = 256;
constexpr unsigned kMaxNumbered = 100000;

// One folder of the destination as the copy-out would leave it: what is
// there already (through its descriptor, when the folder exists) and what
// the run would have put into it.
struct Place {
    UniqueFd fd;                                  // invalid: a folder the run would create
    std::string writtenPath;                      // "" for the destination itself
    std::map<std::string, bool> planned;          // name (as key() gives it) -> is a folder
    std::unordered_map<std::string, Place*> subs; // folders entered, by written name
    // The folder takes names that fold equal for one (known without writing
    // a probe; a folder the run would make folds as its parent).
    bool folds = false;
    std::string key(const std::string& name) const { return folds ? foldedName(name) : name; }
};

class Planner {
public:
    Planner(const Catalog& c, const RecoverySettings& s, RecoveryPlan& plan,
            const NameDecoder* names)
        : c_(c), s_(s.sanitized()), plan_(plan), names_(names) {}

    bool takesPart(const CatalogEntry& e) const { return dorvak::takesPart(s_.deleted(), e); }

    // The files of a folder that take part, live ones first.
    std::vector<std::size_t> filesOf(std::uint32_t key) const {
        return filesTakingPart(c_, key, s_.deleted());
    }

    // Whether anything of the folder `index` would be written; visits it.
    bool folder(Place& parent, std::size_t index, const std::string& catalogPath,
                std::vector<std::uint32_t>& path) {
        const CatalogEntry& f = c_.FolderList()[index];
        if (std::find(path.begin(), path.end(), f.objectId) != path.end()) return false;
        if (path.size() > kMaxDepth) {
            plan_.summary.failed.push_back({catalogPath, "", "folders nested too deep", {}});
            return false;
        }
        if (!takesPart(f) && !leadsToSomething(f.objectId, path)) return false;
        path.push_back(f.objectId);
        Place* place = enter(parent, writtenName(f.name), catalogPath);
        if (place) {
            for (std::size_t i : filesOf(f.objectId))
                file(*place, i, catalogPath);
            for (std::uint32_t i : c_.childFolders(f.objectId))
                folder(*place, i, childPath(catalogPath, c_.FolderList()[i].name), path);
        }
        path.pop_back();
        return true;
    }

    Place* enter(Place& parent, std::string_view name, const std::string& catalogPath) {
        const std::string base = safeName(name);
        for (unsigned n = 0; n <= kMaxNumbered; ++n) {
            const std::string candidate = n ? numberedName(base, n) : base;
            const NameHeld held = heldAt(parent, candidate);
            // A folder merges into a folder (one of its own or one that was
            // there); anything else is passed over.
            const bool folder = held == NameHeld::Folder || (held == NameHeld::ThisRun &&
                                                             parent.planned[parent.key(candidate)]);
            if (held != NameHeld::Free && !folder) continue;
            Place*& sub = parent.subs[candidate];
            if (!sub) {
                places_.push_back(std::make_unique<Place>());
                sub = places_.back().get();
                sub->writtenPath = parent.writtenPath + "/" + candidate;
                if (held == NameHeld::Folder && parent.fd.valid())
                    sub->fd.reset(::openat(parent.fd.get(), candidate.c_str(),
                                           O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                sub->folds = sub->fd.valid() ? knownCaseFolding(sub->fd.get()) : parent.folds;
                if (held == NameHeld::Free) plan_.newFolders.push_back(sub->writtenPath);
                parent.planned[parent.key(candidate)] = true;
                if (candidate != shownName(name))
                    plan_.summary.renamed.push_back({catalogPath, sub->writtenPath, "folder", {}});
            }
            return sub;
        }
        plan_.summary.failed.push_back(
            {catalogPath, "", "no free name for the folder " + catalogPath, {}});
        return nullptr;
    }

    void file(Place& place, std::size_t index, const std::string& folderPath) {
        const CatalogEntry& f = c_.FileList()[index];
        const std::string catalogPath = childPath(folderPath, f.name);
        const std::string safe = safeName(writtenName(f.name));
        CopySummary& s = plan_.summary;
        for (unsigned n = 0; n <= kMaxNumbered; ++n) {
            const std::string name = n ? numberedName(safe, n) : safe;
            const std::string written = place.writtenPath + "/" + name;
            const NameChoice choice = chooseName(s_.duplicates(), f, heldAt(place, name));
            if (choice == NameChoice::Next) continue;
            if (choice == NameChoice::Skip) {
                s.skipped.push_back(
                    {catalogPath, written, "a file of that name exists at the destination", {}});
                return;
            }
            place.planned[place.key(name)] = false;
            ++s.filesWritten;
            if (c_.carvedFile(f)) ++s.carvedWritten;
            s.bytesWritten += f.size;
            s.written.push_back({catalogPath, written, "", {}});
            if (name != shownName(writtenName(f.name)))
                s.renamed.push_back({catalogPath, written, "", {}});
            return;
        }
        s.failed.push_back({catalogPath, "", "no free name", {}});
    }

    // Lost files of Recover All: "Lost Files <folder id>" per missing folder.
    void lostFiles(Place& root) {
        const LostFiles lost = lostFilesOf(c_, s_.deleted());
        for (std::uint32_t parent : lost.parents) {
            const std::string name = "Lost Files " + std::to_string(parent);
            if (Place* place = enter(root, name, "/" + name))
                for (std::size_t i : lost.files.at(parent))
                    file(*place, i, "/" + name);
        }
    }

private:
    std::string writtenName(std::string_view raw) const {
        return names_ ? names_->converted(raw) : std::string(raw);
    }

    // What holds a name: this run's plan first, then the destination.
    NameHeld heldAt(const Place& place, const std::string& name) const {
        if (place.planned.count(place.key(name))) return NameHeld::ThisRun;
        if (!place.fd.valid()) return NameHeld::Free;
        struct stat st {};
        // As the copy-out: a name that cannot be looked up is tried.
        if (::fstatat(place.fd.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return NameHeld::Free;
        return S_ISDIR(st.st_mode) ? NameHeld::Folder : NameHeld::Other;
    }

    // Whether a folder that does not take part itself holds something that
    // does (the copy-out writes the folders that lead to it).
    bool leadsToSomething(std::uint32_t key, std::vector<std::uint32_t>& path) const {
        if (!filesOf(key).empty()) return true;
        if (path.size() > kMaxDepth) return false;
        path.push_back(key);
        bool found = false;
        for (std::uint32_t i : c_.childFolders(key)) {
            const CatalogEntry& sub = c_.FolderList()[i];
            if (std::find(path.begin(), path.end(), sub.objectId) != path.end()) continue;
            if (takesPart(sub) || leadsToSomething(sub.objectId, path)) {
                found = true;
                break;
            }
        }
        path.pop_back();
        return found;
    }

    const Catalog& c_;
    RecoverySettings s_;
    RecoveryPlan& plan_;
    const NameDecoder* names_;
    std::vector<std::unique_ptr<Place>> places_;
};

} // namespace

RecoveryPlan planRecovery(const Catalog& catalog, const RecoverySettings& settings,
                          const std::string& destination, bool all,
                          const RecoverySelection& selection, const NameDecoder* names) {
    RecoveryPlan plan;
    Place root;
    root.fd.reset(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.fd.valid()) {
        plan.summary.fatalError =
            "Cannot open the destination folder " + destination + ": " + std::strerror(errno);
        return plan;
    }
    root.folds = knownCaseFolding(root.fd.get());
    Planner p(catalog, settings, plan, names);
    if (all) {
        for (std::size_t i : p.filesOf(kRootObjectId))
            p.file(root, i, "");
        std::vector<std::uint32_t> path{kRootObjectId};
        for (std::uint32_t i : catalog.childFolders(kRootObjectId))
            p.folder(root, i, childPath("", catalog.FolderList()[i].name), path);
        p.lostFiles(root);
        return plan;
    }
    for (std::size_t i : selection.folders) {
        if (i >= catalog.FolderList().size()) continue;
        std::string path;
        if (!catalog.folderPath(catalog.FolderList()[i].objectId, path))
            path = childPath("", catalog.FolderList()[i].name);
        std::vector<std::uint32_t> onPath;
        p.folder(root, i, path, onPath);
    }
    for (std::size_t i : selection.files) {
        if (i >= catalog.FileList().size() || !p.takesPart(catalog.FileList()[i])) continue;
        std::string path;
        if (!catalog.folderPath(catalog.FileList()[i].parentId, path)) path.clear();
        p.file(root, i, path);
    }
    return plan;
}

} // namespace dorvak::cli
