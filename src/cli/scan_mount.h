#pragma once
// The catalog of list, find and recover: a mount of the volume, or a saved
// Extensive scan read back (--load-scan) or gone on with when it was stopped
// (--load-scan with --extensive); written out when asked (--save-scan).

#include "browse/file_contents.h"
#include "cli/commands.h"
#include "disk/progress.h"
#include "reiserfs/mount.h"

#include <atomic>
#include <optional>

namespace dorvak::cli {

struct CatalogRun {
    MountResult result;
    LiveState live;
    bool loaded = false; // read from a saved scan, not scanned
    // Unreadable sectors the scan met, when it was read from a saved scan.
    std::uint64_t savedUnreadable = 0;
    // Whether the version pass may have work (a saved scan says when not).
    bool versions = true;
};

// Before the volume is chosen: with --load-scan and no --volume or
// --start-sector, the volume the scan was made of. False after printing why
// the file cannot be used.
bool chooseSavedVolume(SectorReader& reader, const MountOptions& options, VolumeChoice& choice);

// Mounts `volume` into `catalog` as `options` say, or reads it from the
// saved scan; nullopt after printing why (out of memory, or a saved scan that
// is damaged or of another disk or volume).
std::optional<CatalogRun> mountCatalog(SectorReader& reader, const VolumeInfo& volume,
                                       Catalog& catalog, const MountOptions& options,
                                       std::atomic<bool>& stop, ProgressSink& progress);

} // namespace dorvak::cli
