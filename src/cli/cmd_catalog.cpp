// list and find: mount a volume and print its catalog.
#include "cli/commands.h"

#include "browse/file_contents.h"
#include "browse/liveness.h"
#include "browse/name_match.h"
#include "cli/progress_bar.h"
#include "reiserfs/mount.h"
#include "reiserfs/structures.h"

#include <algorithm>
#include <iostream>
#include <unordered_set>

namespace dorvak::cli {
namespace {

struct Mounted {
    SectorReader reader;
    VolumeInfo volume;
    Catalog catalog;
    MountResult result;
    LiveState live;
    std::unique_ptr<FileContents> links; // made when the first link is listed
};

// Opens SOURCE, chooses the volume and mounts it; nullptr after printing why.
// Ctrl-C and SIGTERM stop the mount; what it found so far is kept.
std::unique_ptr<Mounted> mountVolume(const MountOptions& options,
                                     const ProgressOptions& progressOptions, StopOnSignal& signal) {
    auto mounted = std::make_unique<Mounted>();
    if (!openSource(mounted->reader, options.source)) return nullptr;
    auto chosen = chooseVolume(mounted->reader, options.volume);
    if (!chosen) return nullptr;
    mounted->volume = *chosen;

    std::atomic<bool> stop{false};
    ProgressBar bar(progressOptions);
    MountProgress progress(bar, signal, mounted->volume);
    signal.watch(&stop);
    VolumeMount mount(mounted->reader, mounted->volume, mounted->catalog, stop, progress);
    mounted->result = mount.MountSelectedVolume(options.extensive ? RecoveryMode::Extensive
                                                                  : RecoveryMode::Normal);
    signal.watch(nullptr);
    bar.finish();
    mounted->live = liveStateOf(mount, mounted->catalog);
    // A signal after the last check still ends the command early.
    if (signal.interrupted()) mounted->result.stopped = true;
    if (mounted->result.outOfMemory) {
        std::cerr << kOutOfMemoryText << "\n";
        return nullptr;
    }
    return mounted;
}

std::string pathOf(const Catalog& c, std::uint32_t parent, const std::string& name, bool& ok) {
    std::string path;
    ok = c.folderPath(parent, path);
    return path + "/" + name;
}

void printFolder(const Catalog& c, const CatalogEntry& f) {
    bool ok = false;
    const std::string path = pathOf(c, f.parentId, f.name, ok);
    std::cout << "{\"kind\":\"dir\",\"path\":" << (ok && f.treeItem ? jsonString(path) : "null")
              << ",\"name\":" << jsonString(f.name) << ",\"objectId\":" << f.objectId
              << ",\"parentId\":" << f.parentId << ",\"dirId\":" << f.keyDirId
              << ",\"mtime\":" << f.modifiedTime << ",\"size\":0,\"treeItem\":" << f.treeItem
              << (f.deleted ? ",\"deleted\":true" : "") << "}\n";
}

// A file row; a symbolic link also carries its target, read from the volume.
void printFile(Mounted& m, const CatalogEntry& f) {
    const Catalog& c = m.catalog;
    bool ok = false;
    const std::string path = pathOf(c, f.parentId, f.name, ok);
    std::string target;
    if (f.fileType == FileType::Symlink) {
        if (!m.links) m.links = std::make_unique<FileContents>(m.reader, m.volume, c, &m.live);
        std::vector<Damage> damage;
        auto bytes = m.links->readSmall(f, 4095, damage);
        target = bytes ? jsonString(*bytes) : "null";
    }
    const char* kind = f.fileType == FileType::Symlink   ? "symlink"
                       : f.fileType == FileType::Special ? "special"
                                                         : "file";
    std::cout << "{\"kind\":\"" << kind << "\",\"path\":" << (ok ? jsonString(path) : "null")
              << ",\"name\":" << jsonString(f.name) << ",\"objectId\":" << f.objectId
              << ",\"parentId\":" << f.parentId << ",\"dirId\":" << f.keyDirId
              << ",\"mtime\":" << f.modifiedTime << ",\"size\":" << f.size
              << ",\"fileNumber\":" << f.fileNumber
              << (target.empty() ? "" : ",\"target\":" + target)
              << (f.deleted ? ",\"deleted\":true" : "") << "}\n";
}

// What one `list --path P --depth N` shows: indices into FolderList and
// FileList, in list order, of the entries 1 to N levels below P.
struct Subtree {
    std::vector<std::uint32_t> folders, files;
};

// The folders of the tree at `path` ("/" is the root); an Extensive mount can
// hold more than one (a deleted folder beside a live one of the same name).
std::vector<std::uint32_t> foldersAt(const Catalog& c, std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path == "/" || path.empty()) return {kRootObjectId};
    std::vector<std::uint32_t> keys;
    std::string p;
    for (const auto& f : c.FolderList)
        if (f.treeItem && c.folderPath(f.objectId, p) && p == path) keys.push_back(f.objectId);
    return keys;
}

Subtree subtreeOf(const Catalog& c, const std::vector<std::uint32_t>& start, std::uint32_t depth) {
    Subtree out;
    std::unordered_set<std::uint32_t> seen(start.begin(), start.end());
    std::vector<std::uint32_t> level = start;
    for (std::uint32_t d = 0; d < depth && !level.empty(); ++d) {
        std::vector<std::uint32_t> next;
        for (std::uint32_t key : level) {
            const auto& files = c.childFiles(key);
            out.files.insert(out.files.end(), files.begin(), files.end());
            for (std::uint32_t i : c.childFolders(key)) {
                if (!seen.insert(c.FolderList[i].objectId).second) continue; // a loop
                out.folders.push_back(i);
                next.push_back(c.FolderList[i].objectId);
            }
        }
        level = std::move(next);
    }
    std::sort(out.folders.begin(), out.folders.end());
    std::sort(out.files.begin(), out.files.end());
    return out;
}

} // namespace

int cmdList(const ListOptions& options) {
    StopOnSignal signal;
    auto m = mountVolume(options.mount, options.progress, signal);
    if (!m) return signal.exitStatus(kExitFatal);
    const Catalog& c = m->catalog;
    const auto shown = [&](const CatalogEntry& e) { return !options.deletedOnly || e.deleted; };
    std::uint64_t folders = 0, files = 0;
    if (!options.path && !options.depth) {
        for (const auto& f : c.FolderList)
            if (shown(f)) printFolder(c, f), ++folders;
        for (const auto& f : c.FileList)
            if (shown(f)) printFile(*m, f), ++files;
    } else {
        const std::vector<std::uint32_t> start = foldersAt(c, options.path.value_or("/"));
        if (start.empty()) {
            std::cerr << "No folder at " << jsonString(*options.path) << " in this volume\n";
            return signal.exitStatus(kExitFatal);
        }
        const Subtree t =
            subtreeOf(c, start, options.depth.value_or(options.path ? 1 : UINT32_MAX));
        for (std::uint32_t i : t.folders)
            if (shown(c.FolderList[i])) printFolder(c, c.FolderList[i]), ++folders;
        for (std::uint32_t i : t.files)
            if (shown(c.FileList[i])) printFile(*m, c.FileList[i]), ++files;
    }
    if (!options.path && !options.depth && !options.deletedOnly) {
        // The whole catalog: the mount's own counts.
        folders = c.folderCount;
        files = c.fileCount;
    }
    if (m->result.stopped) std::cerr << "The mount was stopped; the list is partial\n";
    std::cerr << "Unreadable sector(s): " << m->reader.unreadableSectorCount() << "\n";
    if (options.stats) printReadStats(m->reader);
    std::cerr << "Folder(s) Found: " << folders << "\nFile(s) Found: " << files << "\n";
    if (m->result.nodesSkipped != 0)
        std::cerr << "Damaged or repeated tree nodes skipped: " << m->result.nodesSkipped << "\n";
    return signal.exitStatus(kExitOk);
}

int cmdFind(const FindOptions& options) {
    StopOnSignal signal;
    auto m = mountVolume(options.mount, options.progress, signal);
    if (!m) return signal.exitStatus(kExitFatal);
    const Catalog& c = m->catalog;
    // Letter case is ignored in the match only: the rows carry the names as
    // they are on disk, as list prints them.
    const std::string pattern = upperCase(options.pattern);
    std::uint32_t found = 0;
    for (const auto& f : c.FileList) {
        if (!NameMatches(upperCase(f.name), pattern)) continue;
        printFile(*m, f);
        ++found;
    }
    if (m->result.stopped) std::cerr << "The mount was stopped; the list is partial\n";
    std::cerr << "Files Found: " << found << "\n";
    return signal.exitStatus(kExitOk);
}

} // namespace dorvak::cli
