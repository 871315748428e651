// list and find: mount a volume and print its catalog.
#include "cli/commands.h"

#include "browse/name_match.h"
#include "cli/progress_bar.h"
#include "reiserfs/mount.h"

#include <iostream>

namespace dorvak::cli {
namespace {

struct Mounted {
    SectorReader reader;
    VolumeInfo volume;
    Catalog catalog;
    MountResult result;
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

} // namespace

int cmdList(const ListOptions& options) {
    StopOnSignal signal;
    auto m = mountVolume(options.mount, options.progress, signal);
    if (!m) return signal.exitStatus(kExitFatal);
    const Catalog& c = m->catalog;
    bool ok = false;
    for (const auto& f : c.FolderList) {
        const std::string path = pathOf(c, f.parentId, f.name, ok);
        std::cout << "{\"kind\":\"dir\",\"path\":" << (ok && f.treeItem ? jsonString(path) : "null")
                  << ",\"name\":" << jsonString(f.name) << ",\"objectId\":" << f.objectId
                  << ",\"parentId\":" << f.parentId << ",\"dirId\":" << f.keyDirId
                  << ",\"mtime\":" << f.modifiedTime << ",\"size\":0,\"treeItem\":" << f.treeItem
                  << (f.deleted ? ",\"deleted\":true" : "") << "}\n";
    }
    for (const auto& f : c.FileList) {
        const std::string path = pathOf(c, f.parentId, f.name, ok);
        std::cout << "{\"kind\":\"file\",\"path\":" << (ok ? jsonString(path) : "null")
                  << ",\"name\":" << jsonString(f.name) << ",\"objectId\":" << f.objectId
                  << ",\"parentId\":" << f.parentId << ",\"dirId\":" << f.keyDirId
                  << ",\"mtime\":" << f.modifiedTime << ",\"size\":" << f.size
                  << ",\"fileNumber\":" << f.fileNumber << (f.deleted ? ",\"deleted\":true" : "")
                  << "}\n";
    }
    if (m->result.stopped) std::cerr << "The mount was stopped; the list is partial\n";
    std::cerr << "Folder(s) Found: " << c.folderCount << "\nFile(s) Found: " << c.fileCount << "\n";
    return signal.exitStatus(kExitOk);
}

int cmdFind(const FindOptions& options) {
    StopOnSignal signal;
    auto m = mountVolume(options.mount, options.progress, signal);
    if (!m) return signal.exitStatus(kExitFatal);
    const Catalog& c = m->catalog;
    const std::string pattern = upperCase(options.pattern);
    std::uint32_t found = 0;
    for (const auto& f : c.FileList) {
        const std::string name = upperCase(f.name);
        if (!NameMatches(name, pattern)) continue;
        // "\" for the root, "\A\B" below it, named from the folder chain.
        std::string path = "\\";
        if (c.folderIndex(f.parentId) >= 0) {
            std::string folder;
            c.folderPath(f.parentId, folder, '\\');
            if (!folder.empty()) path = folder;
        }
        std::cout << name << "\t" << path << "\t" << f.size << "\n";
        ++found;
    }
    if (m->result.stopped) std::cerr << "The mount was stopped; the list is partial\n";
    std::cerr << "Files Found: " << found << "\n";
    return signal.exitStatus(kExitOk);
}

} // namespace dorvak::cli
