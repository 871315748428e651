#pragma once
// Liveness: which catalog entries the live tree still holds. The catalog of
// an Extensive mount mixes live entries with deleted files and older versions
// found in stale leaves, and does not mark which is which. This pass walks
// the live tree from the root block again, into a scratch catalog that joins
// names and stat data the way an Extensive mount does (so hard links and
// versions line up one to one), and compares:
//   - a file is live when the live tree holds a name in the same folder with
//     the same key (keyDirId, objectId), the same name and the same size;
//   - a folder is live when the live tree holds a folder with its object id.
// Every other entry is marked `deleted`: a deleted file, or an older version
// of a file (another size) that the block scan found. A live entry also takes
// the live modification time, and a live folder its live parent and name
// (the folder tree is rebuilt when one moved): the scan keeps the first copy
// it meets, which may be an older one.
//
// The walk's leaves are returned too: FileContents prefers their items for
// live files. After a Normal mount everything is live and no walk is needed.

#include "browse/file_contents.h"
#include "disk/sector_reader.h"
#include "reiserfs/catalog.h"
#include "volume/volume_table.h"

#include <atomic>

namespace dorvak {

// Marks `catalog` (from an Extensive mount of `volume`) and returns the live
// leaves. A stop request ends the walk early; what it has not reached is then
// taken for deleted, and `stopped` says so.
LiveState markDeletedEntries(SectorReader& reader, const VolumeInfo& volume, Catalog& catalog,
                             std::atomic<bool>& stopRequested, bool* stopped = nullptr);

// The same comparison against a catalog of the live tree that the caller
// built (and its leaves), for callers that walked already.
void markDeletedEntries(Catalog& catalog, const Catalog& liveCatalog);

} // namespace dorvak
