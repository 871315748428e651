#pragma once
// Progress of a long job (search, mount, imaging), reported as events. A
// front end subscribes by overriding what it shows; the defaults ignore
// everything, so a job can run with no listener. Events come from the job's
// own thread: a GUI forwards them to its thread through queued signals.
//
// The core names what it is doing and counts; the words are the front
// end's: the window and the command line each say a phase in their own way.

#include <cstdint>
#include <string_view>

namespace dorvak {

// The steps of the core's long jobs, in the order they come.
enum class Phase {
    MountingVolume,        // the mount has started (the walk or the block scan)
    SearchingLostData,     // folders and files without a parent get a "DirN"
    CreatingTreeStructure, // the folder tree is laid out
    ReadingSavedScan,      // a saved scan is read in place of a mount
    // The three passes of the imaging (DiskImager).
    CopyingReadableAreas,
    ReadingAroundBadAreas,
    RetryingBadSectors,
};

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // A new phase begins.
    virtual void phase(Phase /*phase*/) {}
    // The partition search is about to read its next run: `scanned` sectors
    // of the range are behind it, of `total`.
    virtual void scanPosition(std::uint64_t /*scanned*/, std::uint64_t /*total*/) {}
    virtual void percent(unsigned /*value*/) {}
    virtual void currentSector(std::uint64_t /*sector*/) {}
    virtual void foldersFound(std::uint32_t /*count*/) {}
    virtual void filesFound(std::uint32_t /*count*/) {}
    virtual void lastName(std::string_view /*name*/) {}
    virtual void volumesFound(std::uint32_t /*count*/) {}
    // The tree walk: internal nodes and leaves read so far, and internal
    // nodes found but not read yet. The walk goes level by level, so once it
    // reaches the nodes above the leaves, internal / (internal + queued) is
    // the share of the tree done.
    virtual void nodesRead(std::uint64_t /*internal*/, std::uint64_t /*leaves*/,
                           std::uint64_t /*queued*/) {}
};

// Shared by every job that has no listener.
inline ProgressSink& nullProgress() {
    static ProgressSink sink;
    return sink;
}

} // namespace dorvak
