#include "browse/liveness.h"

#include "reiserfs/mount.h"
#include "reiserfs/structures.h"

#include <cstring>
#include <unordered_map>

namespace dorvak {
namespace {

std::string fileIdentity(const CatalogEntry& e) {
    std::string id(20, '\0');
    std::memcpy(id.data(), &e.parentId, 4);
    std::memcpy(id.data() + 4, &e.objectId, 4);
    std::memcpy(id.data() + 8, &e.keyDirId, 4);
    std::memcpy(id.data() + 12, &e.size, 8);
    return id + e.name;
}

} // namespace

void markDeletedEntries(Catalog& catalog, const Catalog& liveCatalog) {
    std::unordered_map<std::uint32_t, const CatalogEntry*> liveFolders;
    for (const auto& f : liveCatalog.FolderList) liveFolders.emplace(f.objectId, &f);
    std::unordered_map<std::string, std::uint32_t> liveFiles;
    for (const auto& f : liveCatalog.FileList) liveFiles.emplace(fileIdentity(f), f.modifiedTime);

    bool moved = false;
    for (auto& f : catalog.FolderList) {
        auto it = liveFolders.find(f.objectId);
        f.deleted = it == liveFolders.end();
        if (f.deleted) continue;
        // The scan keeps the first copy of a folder it meets, which may be a
        // stale one from before the folder was moved or renamed: a live
        // folder takes its place and name from the live tree.
        const CatalogEntry& live = *it->second;
        moved |= f.parentId != live.parentId || f.name != live.name;
        f.parentId = live.parentId;
        f.name = live.name;
        f.modifiedTime = live.modifiedTime;
    }
    for (auto& f : catalog.FileList) {
        auto it = liveFiles.find(fileIdentity(f));
        f.deleted = it == liveFiles.end();
        if (!f.deleted) f.modifiedTime = it->second;
    }
    if (moved) {
        catalog.treeFillCount = 0;
        catalog.BuildFolderTree(kRootObjectId);
    }
}

LiveState markDeletedEntries(SectorReader& reader, const VolumeInfo& volume, Catalog& catalog,
                             std::atomic<bool>& stopRequested, bool* stopped) {
    LiveState state;
    state.extensive = catalog.recoveryMode == RecoveryMode::Extensive;
    if (!state.extensive) {
        for (auto& f : catalog.FolderList) f.deleted = false;
        for (auto& f : catalog.FileList) f.deleted = false;
        if (stopped) *stopped = false;
        return state;
    }
    Catalog live;
    live.recoveryMode = RecoveryMode::Extensive; // join every name with every stat data
    VolumeMount walk(reader, volume, live, stopRequested);
    walk.WalkTree();
    if (stopped) *stopped = stopRequested.load();
    state.leafSectors.insert(walk.liveLeaves().begin(), walk.liveLeaves().end());
    markDeletedEntries(catalog, live);
    return state;
}

} // namespace dorvak
