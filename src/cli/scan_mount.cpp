#include "cli/scan_mount.h"

#include "browse/liveness.h"
#include "browse/versions.h"
#include "carve/format_walker.h"
#include "reiserfs/saved_scan.h"
#include "reiserfs/scan_stop.h"
#include "volume/partition_walk.h"

#include <algorithm>
#include <iostream>

namespace dorvak::cli {
namespace {

void printSaveResult(const std::string& path, bool stopped, const std::string& error) {
    if (!error.empty())
        std::cerr << "The scan could not be saved: " << path << " " << error << "\n";
    else if (stopped)
        std::cerr << "Partial scan saved to " << path << "; list --extensive --load-scan " << path
                  << " --save-scan " << path << " goes on with it\n";
    else
        std::cerr << "Scan saved to " << path << "\n";
}

void printNotThisVolume(const std::string& path) {
    std::cerr << "Saved scan " << path
              << " was made of another disk or volume, or of this one before it changed: it is "
                 "not used\n";
}

// The saved scan of `path` when it was made of this volume of this source,
// as it is now; prints why not.
bool savedScanFits(SectorReader& reader, const VolumeInfo& volume, const std::string& path,
                   SavedScan& saved) {
    std::string error;
    if (!readSavedScanHeader(path, saved, error)) {
        std::cerr << "Saved scan " << path << " " << error << "\n";
        return false;
    }
    if (!(identifyScan(reader, volume) == saved.identity)) {
        printNotThisVolume(path);
        return false;
    }
    return true;
}

void saveScan(SectorReader& reader, const VolumeInfo& volume, const Catalog& catalog,
              const MountOptions& options, const CatalogRun& run, const ScanPosition& position) {
    SavedScan saved;
    saved.identity = identifyScan(reader, volume);
    saved.stopped = run.result.stopped;
    saved.versions = HasVersions(catalog);
    saved.result = run.result;
    saved.unreadableSectors = reader.unreadableSectorCount() + run.savedUnreadable;
    saved.liveLeaves = run.live.leafSectors; // ascending
    saved.position = position;
    std::string error;
    writeSavedScan(*options.saveScan, saved, catalog, error);
    printSaveResult(*options.saveScan, saved.stopped, error);
}

} // namespace

bool chooseSavedVolume(SectorReader& reader, const MountOptions& options, VolumeChoice& choice) {
    if (!options.loadScan || choice.index || choice.startSector) return true;
    SavedScan saved;
    std::string error;
    if (!readSavedScanHeader(*options.loadScan, saved, error)) {
        std::cerr << "Saved scan " << *options.loadScan << " " << error << "\n";
        return false;
    }
    if (!ReadVolumeSuperblock(reader, saved.identity.startSector)) {
        printNotThisVolume(*options.loadScan);
        return false;
    }
    choice.startSector = saved.identity.startSector;
    return true;
}

std::optional<CatalogRun> mountCatalog(SectorReader& reader, const VolumeInfo& volume,
                                       Catalog& catalog, const MountOptions& options,
                                       std::atomic<bool>& stop, ProgressSink& progress) {
    CatalogRun run;
    SavedScan saved;
    if (options.loadScan && !savedScanFits(reader, volume, *options.loadScan, saved))
        return std::nullopt;
    // A stopped scan goes on with --extensive; otherwise what it holds is read.
    const bool resume = options.loadScan && saved.stopped && options.extensive;
    ScanPosition position;
    if (options.loadScan && !resume) {
        std::string error;
        if (!readSavedScan(*options.loadScan, saved, catalog, error)) {
            std::cerr << "Saved scan " << *options.loadScan << " " << error << "\n";
            return std::nullopt;
        }
        run.result = saved.result;
        run.loaded = true;
        run.savedUnreadable = saved.unreadableSectors;
        run.versions = saved.versions;
        run.live.extensive = true;
        run.live.setLeaves(std::move(saved.liveLeaves));
        position = saved.position;
        if (saved.stopped)
            std::cerr << "Saved scan " << *options.loadScan << " was stopped at block "
                      << saved.position.nextBlock << " of "
                      << volume.sectorCount / std::max(1u, volume.sectorsPerBlock)
                      << "; add --extensive to go on with it\n";
    } else {
        std::string error;
        if (resume && !readSavedScan(*options.loadScan, saved, catalog, error)) {
            std::cerr << "Saved scan " << *options.loadScan << " " << error << "\n";
            return std::nullopt;
        }
        ScanStopHook hook(progress, stop);
        VolumeMount mount(reader, volume, catalog, stop,
                          options.extensive ? hook.sink() : progress);
        mount.setWalkers(carve::formatWalkers());
        mount.setCarving(options.carve);
        mount.setReadAheadBytes(options.readAheadMiB << 20);
        if (resume) mount.setResume(&saved.position);
        run.result = mount.MountSelectedVolume(options.extensive ? RecoveryMode::Extensive
                                                                 : RecoveryMode::Normal);
        if (run.result.outOfMemory) {
            std::cerr << kOutOfMemoryText << "\n";
            return std::nullopt;
        }
        run.live = liveStateOf(mount, catalog);
        position = mount.scanPosition();
    }
    if (options.saveScan) saveScan(reader, volume, catalog, options, run, position);
    return run;
}

} // namespace dorvak::cli
