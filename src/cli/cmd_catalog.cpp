// list and find: mount a volume and print its catalog.
#include "cli/commands.h"

#include "browse/file_contents.h"
#include "browse/liveness.h"
#include "browse/name_match.h"
#include "reiserfs/mount.h"

#include <iostream>

namespace dorvak::cli {
namespace {

struct Mounted {
    SectorReader reader;
    VolumeInfo volume;
    Catalog catalog;
    MountResult result;
    LiveState live;
    bool stats = false;
};

// Opens SOURCE, chooses the volume and mounts it; nullptr after printing why.
std::unique_ptr<Mounted> mountFromArgs(Args& args, const char* usage, std::size_t positional) {
    const bool quiet = args.flag("--quiet");
    const bool extensive = args.flag("--extensive");
    auto mounted = std::make_unique<Mounted>();
    mounted->stats = args.flag("--stats");
    const VolumeChoice choice = takeVolumeChoice(args);
    if (auto bad = args.unknownOption(); bad || args.rest().size() != positional) {
        std::cerr << usage << "\n";
        return nullptr;
    }
    if (!openSource(mounted->reader, args.rest()[0])) return nullptr;
    auto chosen = chooseVolume(mounted->reader, choice);
    if (!chosen) return nullptr;
    mounted->volume = *chosen;

    std::atomic<bool> stop{false};
    TerminalProgress progress(quiet);
    VolumeMount mount(mounted->reader, mounted->volume, mounted->catalog, stop, progress);
    mounted->result =
        mount.MountSelectedVolume(extensive ? RecoveryMode::Extensive : RecoveryMode::Normal);
    progress.finish();
    mounted->live = liveStateOf(mount, mounted->catalog);
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

int cmdList(Args& args) {
    auto m = mountFromArgs(args,
                           "Usage: dorvak-reiserfs-cli list SOURCE [--volume N | --start-sector S] "
                           "[--extensive] [--quiet]",
                           1);
    if (!m) return kExitFatal;
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
    std::unique_ptr<FileContents> links; // made when the first link is met
    for (const auto& f : c.FileList) {
        const std::string path = pathOf(c, f.parentId, f.name, ok);
        std::string target;
        if (f.fileType == FileType::Symlink) {
            if (!links) links = std::make_unique<FileContents>(m->reader, m->volume, c, &m->live);
            std::vector<Damage> damage;
            auto bytes = links->readSmall(f, 4095, damage);
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
    if (m->result.stopped) std::cerr << "The mount was stopped; the list is partial\n";
    std::cerr << "Unreadable sector(s): " << m->reader.unreadableSectorCount() << "\n";
    if (m->stats) printReadStats(m->reader);
    std::cerr << "Folder(s) Found: " << c.folderCount << "\nFile(s) Found: " << c.fileCount << "\n";
    if (m->result.nodesSkipped != 0)
        std::cerr << "Damaged or repeated tree nodes skipped: " << m->result.nodesSkipped << "\n";
    return kExitOk;
}

int cmdFind(Args& args) {
    auto m = mountFromArgs(args,
                           "Usage: dorvak-reiserfs-cli find SOURCE PATTERN [--volume N | "
                           "--start-sector S] [--extensive] [--quiet]",
                           2);
    if (!m) return kExitFatal;
    const Catalog& c = m->catalog;
    const std::string pattern = upperCase(args.rest()[1]);
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
    std::cerr << "Files Found: " << found << "\n";
    return kExitOk;
}

} // namespace dorvak::cli
